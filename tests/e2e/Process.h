// Child processes for end-to-end tests: the simulated tool on its pty and
// the command-line tool, with bounded waits; children are always killed.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvid::test {

std::string BinaryPath(const std::string& relative);  // under KORVID_BINARY_DIR
std::string KorvidPath();  // the command-line tool
std::string SimPath();     // korvid-sim

// Writes `text` to `path` as it is; the lines of a program's output.
void WriteText(const std::string& path, const std::string& text);
// The whole file as it is ("" when it cannot be read).
std::string ReadText(const std::string& path);
std::vector<std::string> Lines(const std::string& text);
// What `fd` gives until its first newline, its end or `seconds` have passed
// (whatever came with the newline included).
std::string ReadFirstLine(int fd, double seconds);

struct RunResult {
    int exitCode = -1;   // -1: killed or did not exit
    std::string out;
    std::string err;
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user + system of the child
};

// In a child just forked: adds the environment entries ("NAME=value") and
// runs `argv` in place of the child; exits with 127 when that fails.
[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const std::vector<std::string>& env);

// Runs `argv` with extra environment entries ("NAME=value"), killing it after
// `timeoutSeconds`.
RunResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              double timeoutSeconds = 30);

// A shell fragment that waits (up to 20 s) until the process whose pid is
// in the shell variable `pidVariable` catches `signal` (as /proc shows its
// handlers), then waits `settleSeconds` more and sends the signal. A shell
// starts a background job with SIGINT ignored, so a signal sent before the
// program installs its handler would be lost, and the program run on.
std::string SignalWhenCaught(const std::string& pidVariable, int signal, double settleSeconds);

// A child left running while the test acts on it: its stdin is a pipe that
// stays open (a script not yet ended), its output is gathered as it comes.
// Killed at destruction if still running.
class Background {
public:
    explicit Background(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    // Waits up to `seconds` until `ready` holds; false on time-out or when
    // the child ended first.
    bool WaitUntil(const std::function<bool()>& ready, double seconds);
    // Waits up to `seconds` until stdout or stderr contains `text`.
    bool WaitForOutput(const std::string& text, double seconds);
    void Signal(int signal) const;
    pid_t Pid() const { return pid_; }
    // Closes stdin and waits up to `seconds`; exitCode -1 when a signal
    // ended the child (`TermSignal()` says which).
    RunResult Finish(double seconds);
    int TermSignal() const { return termSignal_; }

private:
    void Gather(int timeoutMs);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    int termSignal_ = 0;
    RunResult result_;
};

// korvid-sim with the given options; the pty's slave path is read from its
// first output line. Its stderr goes to a file (Log()). `launcher` comes
// before the program (AsOrdinaryUser's prefix, for one).
class SimTool {
public:
    // `fast`: answers at once; otherwise at the pace of the line.
    explicit SimTool(const std::vector<std::string>& options, const std::vector<std::string>& launcher = {},
                     bool fast = true);
    ~SimTool();
    SimTool(const SimTool&) = delete;
    SimTool& operator=(const SimTool&) = delete;
    const std::string& Path() const { return path_; }
    // Runs `korvid ARGS --port <this tool>`, as RunChild does.
    RunResult Korvid(std::vector<std::string> args, const std::vector<std::string>& env = {},
                     double timeoutSeconds = 30) const;
    // Stops the tool and returns what it wrote on stderr.
    std::string StopAndLog();

private:
    pid_t pid_ = -1;
    std::string path_;
    std::string logFile_;
};

// Whether a client holds the terminal at `path` exclusively (looked at
// through a read-only descriptor of our own, which takes nothing from it).
bool PortHeldExclusively(const std::string& path);

// The command run as an ordinary user: when the tests run as root, through
// setpriv as nobody (uid and gid 65534, no supplementary groups); otherwise
// as it is.
std::vector<std::string> AsOrdinaryUser(std::vector<std::string> argv);
inline constexpr unsigned kOrdinaryUid = 65534;

// A fresh temporary folder, removed with its files at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }
    // Hands the folder to the ordinary user (when the tests run as root).
    void GiveToOrdinaryUser() const;

private:
    std::string path_;
};

}  // namespace korvid::test
