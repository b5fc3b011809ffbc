#include "tests/live/Desktop.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvid::live {

namespace {
int xError = 0;
int NoteXError(Display*, XErrorEvent* e) {
    xError = e->error_code;
    return 0;
}

std::string Env(const char* name, const std::string& value) { return std::string(name) + "=" + value; }

void GiveToUser(const std::string& path) {
    if (::geteuid() == 0) (void)!::chown(path.c_str(), test::kOrdinaryUid, test::kOrdinaryUid);
}
}  // namespace

int Picture::Count(std::uint32_t rgb, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) n += At(x, y) == rgb;
    return n;
}

bool Picture::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << ' ' << height << "\n255\n";
    for (std::uint32_t p : pixels) out << char(p >> 16) << char(p >> 8) << char(p);
    return bool(out);
}

void Child::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool keepStderr,
                  const std::string& folder) {
    Kill();
    pid_ = ::fork();
    if (pid_ != 0) return;
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
    int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::dup2(devnull, 1);
    if (!keepStderr) ::dup2(devnull, 2);
    ::setpgid(0, 0);
    test::ExecChild(argv, env);
}

bool Child::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void Child::Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

void Child::Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGTERM);
    if (!WaitFor([this] { return !Running(); }, 2, 10)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

Child::~Child() { Kill(); }

Desktop& Desktop::Get(const std::string& size) {
    static std::unique_ptr<Desktop> desktop;
    if (!desktop || desktop->size_ != size) {
        desktop.reset();
        desktop.reset(new Desktop(size));
    }
    return *desktop;
}

Desktop::Desktop(const std::string& size) : size_(size) {
    home_.GiveToOrdinaryUser();
    int fds[2];
    if (::pipe(fds) != 0) return;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    // A screen as large as a small monitor; -ac lets the ordinary user's
    // programs connect without an authority file.
    server_.Start({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", size + "x24",
                          "-nolisten", "tcp", "-ac", "-noreset"},
                         {});
    ::close(fds[1]);
    const std::string number = test::ReadFirstLine(fds[0], 10);
    ::close(fds[0]);
    if (number.empty()) return;
    name_ = std::string(":").append(number, 0, number.find('\n'));
    ::setenv("DISPLAY", name_.c_str(), 1);
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) return;
    XSetErrorHandler(NoteXError);
    manager_.Start(test::AsOrdinaryUser({"/usr/bin/openbox"}), {Env("HOME", home_.Path())});
    // The window manager is up once it owns the screen's manager selection.
    Display* d = static_cast<Display*>(display_);
    Atom wm = XInternAtom(d, "WM_S0", False);
    WaitFor([&] { return XGetSelectionOwner(d, wm) != None; }, 10);
}

Desktop::~Desktop() {
    manager_.Kill();
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
    server_.Kill();
}

bool Desktop::Xdo(const std::vector<std::string>& args, std::string* out, double timeout) {
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    test::RunResult r = test::RunChild(argv, {}, timeout);
    if (out) *out = r.out;
    return r.exitCode == 0;
}

WindowId Desktop::WaitWindow(const std::string& title, double timeout) {
    std::string out;
    if (!Xdo({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, &out, timeout)) return 0;
    return std::strtoul(out.c_str(), nullptr, 10);
}

bool Desktop::IsVisible(WindowId w) {
    Display* d = static_cast<Display*>(display_);
    XWindowAttributes a{};
    xError = 0;
    if (!XGetWindowAttributes(d, w, &a) || xError) return false;
    return a.map_state == IsViewable;
}

bool Desktop::Activate(WindowId w) { return Xdo({"windowactivate", "--sync", std::to_string(w)}); }

bool Desktop::Key(WindowId w, const std::string& keys) {
    if (!Activate(w)) return false;
    std::vector<std::string> args{"key", "--clearmodifiers", "--delay", "40"};
    std::istringstream in(keys);
    for (std::string k; in >> k;) args.push_back(k);
    return Xdo(args);
}

bool Desktop::Type(WindowId w, const std::string& text) {
    return Activate(w) && Xdo({"type", "--clearmodifiers", "--delay", "40", text});
}

bool Desktop::Click(WindowId w, int x, int y, int count) {
    return Xdo({"mousemove", "--window", std::to_string(w), "--sync", std::to_string(x), std::to_string(y), "click",
                "--repeat", std::to_string(count), "--delay", "80", "1"});
}

bool Desktop::ToggleMaximised(WindowId w) {
    Display* d = static_cast<Display*>(display_);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    const ScreenRect frame = Frame(w);
    if (frame.width == 0 || frame.y >= y) return false;
    return Xdo({"mousemove", "--sync", std::to_string(x + 80), std::to_string((frame.y + y) / 2), "click", "--repeat",
                "2", "--delay", "80", "1"});
}

bool Desktop::Wheel(WindowId w, int x, int y, int notches) {
    return Xdo({"mousemove", "--window", std::to_string(w), "--sync", std::to_string(x), std::to_string(y), "click",
                "--repeat", std::to_string(std::abs(notches)), "--delay", "60", notches > 0 ? "5" : "4"});
}

Picture Desktop::Grab(WindowId w) {
    Picture picture;
    Display* d = static_cast<Display*>(display_);
    XWindowAttributes a{};
    xError = 0;
    if (!XGetWindowAttributes(d, w, &a) || xError || a.map_state != IsViewable) return picture;
    XImage* image = XGetImage(d, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    XSync(d, False);
    if (!image) return picture;
    picture.width = a.width;
    picture.height = a.height;
    picture.pixels.resize(std::size_t(a.width) * std::size_t(a.height));
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            picture.pixels[std::size_t(y) * std::size_t(a.width) + std::size_t(x)] =
                std::uint32_t(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return picture;
}

ScreenRect Desktop::Frame(WindowId w) {
    Display* d = static_cast<Display*>(display_);
    XWindowAttributes a{};
    xError = 0;
    if (!XGetWindowAttributes(d, w, &a) || xError) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    // The frame's widths: left, right, top, bottom.
    long extents[4] = {0, 0, 0, 0};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) == Success &&
        data) {
        if (format == 32 && count == 4)
            for (int i = 0; i < 4; ++i) extents[i] = reinterpret_cast<long*>(data)[i];
        XFree(data);
    }
    return {x - int(extents[0]), y - int(extents[2]), a.width + int(extents[0] + extents[1]),
            a.height + int(extents[2] + extents[3])};
}

ScreenRect Desktop::Screen() {
    Display* d = static_cast<Display*>(display_);
    return {0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
}

bool Desktop::Drag(WindowId w, int x, int y, int toX, int toY) {
    const std::string id = std::to_string(w);
    if (!Xdo({"mousemove", "--window", id, "--sync", std::to_string(x), std::to_string(y), "mousedown", "1"}))
        return false;
    for (int i = 1; i <= 8; ++i) {
        Pause(0.05);
        Xdo({"mousemove", "--window", id, std::to_string(x + (toX - x) * i / 8), std::to_string(y + (toY - y) * i / 8)});
    }
    Pause(0.1);
    return Xdo({"mouseup", "1"});
}

Picture Desktop::Steady(WindowId w, double gap, double timeout) {
    Picture last = Grab(w), steady;
    WaitFor(
        [&] {
            Pause(gap);
            Picture now = Grab(w);
            if (!now.empty() && now == last) steady = now;
            last = now;
            return !steady.empty();
        },
        timeout, 0);
    return steady;
}

UserHome::UserHome() {
    dir_.GiveToOrdinaryUser();
    const std::string run = dir_.File("run");
    ::mkdir(run.c_str(), 0700);
    GiveToUser(run);
}

std::string UserHome::Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    // Folders on the way (".config/korvid/") belong to the user as well.
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        const std::string folder = dir_.File(name.substr(0, slash));
        if (::mkdir(folder.c_str(), 0700) == 0) GiveToUser(folder);
    }
    std::ofstream(path, std::ios::binary) << text;
    GiveToUser(path);
    return path;
}

std::string UserHome::Add(const std::string& source) {
    return Write(std::filesystem::path(source).filename().string(), Read(source));
}

std::string UserHome::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

LiveSim::LiveSim(const std::string& family, bool fast) {
    dir_.GiveToOrdinaryUser();
    port_ = dir_.File("com1");
    std::vector<std::string> argv{test::BinaryPath("apps/korvid-sim/korvid-sim"), "--family", family, "--link", port_};
    if (fast) argv.push_back("--fast");
    child_.Start(test::AsOrdinaryUser(argv), {});
    WaitFor([this] { return ::access(port_.c_str(), F_OK) == 0; }, 10);
}

LiveIde::LiveIde(const std::string& program, const UserHome& home, const std::vector<std::string>& arguments,
                 const std::string& port, const std::vector<std::string>& env, const std::string& folder) {
    std::vector<std::string> argv{test::BinaryPath("apps/" + program + "/" + program)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> all{Env("HOME", home.Path()), Env("XDG_RUNTIME_DIR", home.Path() + "/run"),
                                 Env("XDG_CONFIG_HOME", home.Path() + "/.config"), Env("QT_QPA_PLATFORM", "xcb"),
                                 Env("KORVID_COM1", port)};
    all.insert(all.end(), env.begin(), env.end());
    child_.Start(test::AsOrdinaryUser(argv), all, true, folder);
}

}  // namespace korvid::live
