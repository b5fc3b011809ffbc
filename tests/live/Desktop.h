// A private X server for tests that use the programs as a person does: Xvfb
// with a small window manager, the IDE and korvid-sim run as an ordinary
// user, real input events through xdotool and window pictures read back
// from the server. Every wait polls with a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "tests/e2e/Process.h"

namespace korvid::live {

// A window's pixels as 0xRRGGBB, row by row.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    bool empty() const { return pixels.empty(); }
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    // Pixels of the colour inside [x0, x1) x [y0, y1) (clipped).
    int Count(std::uint32_t rgb, int x0 = 0, int y0 = 0, int x1 = 1 << 30, int y1 = 1 << 30) const;
    bool operator==(const Picture&) const = default;
    // Writes the picture as a binary PPM file (for looking at a failure).
    bool Save(const std::string& path) const;
};
inline constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// Polls `done` until it is true or `seconds` have passed.
template <typename F>
bool WaitFor(F done, double seconds, int everyMs = 50) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
    }
}
inline void Pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// A child process, killed (and reaped) at destruction.
class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // Starts `argv` with extra environment entries ("NAME=value") in
    // `folder` (this process's own when empty); stdout and (unless
    // `keepStderr`) stderr go to /dev/null.
    void Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool keepStderr = false,
               const std::string& folder = {});
    pid_t Pid() const { return pid_; }
    bool Running();
    void Signal(int signal) const;
    void Kill();

private:
    pid_t pid_ = -1;
};

using WindowId = unsigned long;

// A rectangle on the screen.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Overlaps(const ScreenRect& o) const {
        return x < o.x + o.width && o.x < x + width && y < o.y + o.height && o.y < y + height;
    }
    bool Inside(const ScreenRect& o) const {
        return x >= o.x && y >= o.y && x + width <= o.x + o.width && y + height <= o.y + o.height;
    }
};

// The X server of this test process (started at first use, stopped at exit).
class Desktop {
public:
    // The server with a screen of `size` ("WIDTHxHEIGHT"); a server of
    // another size is stopped first.
    static Desktop& Get(const std::string& size = "1280x1024");
    ~Desktop();
    bool Ok() const { return display_ != nullptr; }
    // Runs xdotool; its output in `out`. False when it failed or timed out.
    bool Xdo(const std::vector<std::string>& args, std::string* out = nullptr, double timeout = 10);
    // The visible window whose whole title is `title`; 0 when none came.
    WindowId WaitWindow(const std::string& title, double timeout = 20);
    bool IsVisible(WindowId w);
    // Gives the window the focus (through the window manager).
    bool Activate(WindowId w);
    bool Key(WindowId w, const std::string& keys);    // "alt+s", "ctrl+s"; several separated by spaces
    bool Type(WindowId w, const std::string& text);
    bool Click(WindowId w, int x, int y, int count = 1);  // left button, presses 80 ms apart
    // Maximises or restores the window as a person does: a double click
    // on its title bar.
    bool ToggleMaximised(WindowId w);
    // Turns the wheel at (x, y) of the window by `notches`, down (towards
    // the user) for a positive count.
    bool Wheel(WindowId w, int x, int y, int notches);
    Picture Grab(WindowId w);
    // The window with the frame the window manager gave it, and the screen.
    ScreenRect Frame(WindowId w);
    ScreenRect Screen();
    // The window's picture once two grabs `gap` seconds apart agree.
    Picture Steady(WindowId w, double gap = 0.3, double timeout = 10);

    // Presses the left button at (x, y) of the window, moves to (toX, toY)
    // in steps and lets go there.
    bool Drag(WindowId w, int x, int y, int toX, int toY);

private:
    explicit Desktop(const std::string& size);
    void* display_ = nullptr;  // Display*
    std::string name_, size_;
    test::TempDir home_;
    Child server_, manager_;
};

// A home folder of the ordinary user with the given files copied in.
class UserHome {
public:
    UserHome();
    // Copies a file into the home folder; returns its new path.
    std::string Add(const std::string& source);
    // Writes a file of the home folder (`name` may hold folders); returns its path.
    std::string Write(const std::string& name, const std::string& text);
    static std::string Read(const std::string& path);
    const std::string& Path() const { return dir_.Path(); }

private:
    test::TempDir dir_;
};

// korvid-sim on a pty as the ordinary user; realistic pace unless `fast`.
class LiveSim {
public:
    LiveSim(const std::string& family, bool fast);
    const std::string& Port() const { return port_; }
    Child& Process() { return child_; }

private:
    Child child_;
    std::string port_;
    test::TempDir dir_;
};

// Korvid28L or Korvid52 on `file` (or the other command-line arguments),
// with COM1 led to `port`.
class LiveIde {
public:
    LiveIde(const std::string& program, const UserHome& home, const std::string& file, const std::string& port,
            const std::vector<std::string>& env = {})
        : LiveIde(program, home, std::vector<std::string>{file}, port, env) {}
    // `env`: extra environment entries ("NAME=value"); `folder`: where it
    // is started (the test's own folder when empty).
    LiveIde(const std::string& program, const UserHome& home, const std::vector<std::string>& arguments,
            const std::string& port, const std::vector<std::string>& env = {}, const std::string& folder = {});
    Child& Process() { return child_; }

private:
    Child child_;
};

}  // namespace korvid::live
