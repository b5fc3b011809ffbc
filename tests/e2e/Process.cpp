#include "tests/e2e/Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvid::test {

namespace {
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd, int errFd,
            int inFd = -1) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    int in = inFd >= 0 ? inFd : ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    ExecChild(argv, env);
}

// Waits for the child up to `seconds`; kills it after that.
int Reap(pid_t pid, double seconds, rusage* usage) {
    auto start = Clock::now();
    int status = 0;
    for (;;) {
        pid_t r = ::wait4(pid, &status, WNOHANG, usage);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0) return -1;
        if (Since(start) > seconds) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, usage);
            return -1;
        }
        ::usleep(2000);
    }
}

// Appends what a poll found ready on a child's stdout (fds[0]) and stderr
// (fds[1]) to `into`; a pipe that has ended is closed and its entry set to
// -1. Returns how many ended.
int ReadReady(pollfd (&fds)[2], RunResult& into) {
    int ended = 0;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buffer[4096];
        ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? into.out : into.err).append(buffer, std::size_t(n));
        } else {
            ::close(fds[i].fd);
            fds[i].fd = -1;
            ++ended;
        }
    }
    return ended;
}
}  // namespace

std::string SignalWhenCaught(const std::string& pidVariable, int signal, double settleSeconds) {
    const std::string n = std::to_string(signal), p = "$" + pidVariable;
    return "i=0; while [ $i -lt 2000 ] && kill -0 " + p + " 2>/dev/null; do m=$(sed -n 's/^SigCgt:[[:space:]]*//p' /proc/" + p +
           "/status 2>/dev/null); [ -n \"$m\" ] && [ $(( (0x$m >> " + std::to_string(signal - 1) +
           ") & 1 )) = 1 ] && break; i=$((i + 1)); sleep 0.01; done; sleep " + std::to_string(settleSeconds) +
           "; kill -" + n + " " + p;
}

void ExecChild(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

std::string BinaryPath(const std::string& relative) { return std::string(KORVID_BINARY_DIR) + "/" + relative; }

RunResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env, double timeoutSeconds) {
    RunResult result;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return result;
    auto start = Clock::now();
    pid_t pid = Spawn(argv, env, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && Since(start) < timeoutSeconds) {
        if (::poll(fds, 2, 100) <= 0) continue;
        open -= ReadReady(fds, result);
    }
    rusage usage{};
    result.exitCode = Reap(pid, open > 0 ? 0 : timeoutSeconds, &usage);
    for (pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    result.wallSeconds = Since(start);
    result.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return result;
}

Background::Background(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    pid_ = Spawn(argv, env, out[1], err[1], in[0]);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
}

Background::~Background() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_})
        if (fd >= 0) ::close(fd);
}

void Background::Gather(int timeoutMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0) return;
    ReadReady(fds, result_);
    out_ = fds[0].fd;
    err_ = fds[1].fd;
}

bool Background::WaitUntil(const std::function<bool()>& ready, double seconds) {
    auto start = Clock::now();
    while (Since(start) < seconds) {
        if (ready()) return true;
        if (pid_ <= 0 || ::waitpid(pid_, nullptr, WNOHANG | WNOWAIT) == pid_) return false;
        Gather(10);
    }
    return false;
}

bool Background::WaitForOutput(const std::string& text, double seconds) {
    return WaitUntil([&] { return result_.out.find(text) != std::string::npos ||
                                  result_.err.find(text) != std::string::npos; },
                     seconds);
}

void Background::Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

RunResult Background::Finish(double seconds) {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
    auto start = Clock::now();
    int status = 0;
    while (pid_ > 0) {
        Gather(10);
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            termSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            pid_ = -1;
        } else if (Since(start) > seconds) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    while (out_ >= 0 || err_ >= 0) Gather(100);
    return result_;
}

bool PortHeldExclusively(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    int exclusive = 0;
    (void)::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    return exclusive != 0;
}

std::vector<std::string> AsOrdinaryUser(std::vector<std::string> argv) {
    if (::geteuid() != 0) return argv;
    const std::string id = std::to_string(kOrdinaryUid);
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
    return argv;
}

std::string KorvidPath() { return BinaryPath("apps/korvid/korvid"); }
std::string SimPath() { return BinaryPath("apps/korvid-sim/korvid-sim"); }

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string ReadFirstLine(int fd, double seconds) {
    auto start = Clock::now();
    std::string text;
    while (text.find('\n') == std::string::npos && Since(start) < seconds) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c[256];
        ssize_t n = ::read(fd, c, sizeof c);
        if (n <= 0) break;
        text.append(c, std::size_t(n));
    }
    return text;
}

RunResult SimTool::Korvid(std::vector<std::string> args, const std::vector<std::string>& env,
                          double timeoutSeconds) const {
    args.insert(args.begin(), KorvidPath());
    args.insert(args.end(), {"--port", path_});
    return RunChild(args, env, timeoutSeconds);
}

SimTool::SimTool(const std::vector<std::string>& options, const std::vector<std::string>& launcher, bool fast) {
    char name[] = "/tmp/korvid-sim-log-XXXXXX";
    int logFd = ::mkstemp(name);
    logFile_ = name;
    int out[2];
    if (logFd < 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv = launcher;
    argv.insert(argv.end(), {SimPath(), "--verbose"});
    if (fast) argv.push_back("--fast");
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = Spawn(argv, {}, out[1], logFd);
    ::close(out[1]);
    ::close(logFd);
    // The first line is the slave's path.
    const std::string line = ReadFirstLine(out[0], 5);
    ::close(out[0]);
    if (auto nl = line.find('\n'); nl != std::string::npos) path_ = line.substr(0, nl);
}

std::string SimTool::StopAndLog() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        if (Reap(pid_, 3, nullptr) == -1) ::kill(pid_, SIGKILL);
        pid_ = -1;
    }
    std::string log;
    if (FILE* f = std::fopen(logFile_.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) log.append(buffer, n);
        std::fclose(f);
    }
    return log;
}

SimTool::~SimTool() {
    StopAndLog();
    if (!logFile_.empty()) ::unlink(logFile_.c_str());
}

TempDir::TempDir() {
    char name[] = "/tmp/korvid-e2e-XXXXXX";
    if (::mkdtemp(name)) path_ = name;
}

void TempDir::GiveToOrdinaryUser() const {
    if (::geteuid() == 0 && !path_.empty()) (void)!::chown(path_.c_str(), kOrdinaryUid, kOrdinaryUid);
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace korvid::test
