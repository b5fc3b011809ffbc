// `korvid sim --serial`: the echo example talks through its terminal to a
// client that opens the link like a serial port, paced to the baud rate,
// and leaves no link behind when stopped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "tests/e2e/Process.h"

namespace korvid {
namespace {

using Clock = std::chrono::steady_clock;

// A background program whose standard output comes through a pipe.
struct Background {
    pid_t pid = -1;
    int out = -1;
    explicit Background(std::vector<std::string> argv) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> args;
            for (std::string& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
    }
    ~Background() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
    }
    // Reads until `stop` has come or `seconds` have passed.
    std::string ReadUntil(const std::string& stop, double seconds) {
        std::string text;
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (text.find(stop) == std::string::npos && Clock::now() < end) {
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(out, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    int Stop() {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// Reads `count` bytes from `fd` within `seconds`.
std::string ReadBytes(int fd, std::size_t count, double seconds) {
    std::string got;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (got.size() < count && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// Opens the terminal at `path` as the ordinary user (when the tests run as
// root) in a child. With `hold` the child sets the exclusive flag, says so
// on the pipe and waits to be ended; else its status is 0 when it could open.
pid_t OpenAsOrdinaryUser(const std::string& path, bool hold, int ready = -1) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(test::kOrdinaryUid) != 0 ||
                           setuid(test::kOrdinaryUid) != 0))
        _exit(3);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) _exit(1);
    if (!hold) _exit(0);
    if (ioctl(fd, TIOCEXCL) != 0 || write(ready, "x", 1) != 1) _exit(2);
    for (;;) pause();
}

// The chip's serial terminal keeps a descriptor of its own open, so the
// exclusive flag a client sets outlives it: both programs clear it once the
// client is gone (killed or ended), for the next ordinary user.
TEST(SimSerial, ClientEndedWithThePortExclusiveLeavesItFree) {
    test::TempDir dir;
    dir.GiveToOrdinaryUser();
    const std::string echo = std::string(KORVID_SOURCE_DIR) + "/examples/serial_echo.src";
    const std::pair<std::string, std::vector<std::string>> programs[] = {
        {dir.File("sim"), {test::KorvidPath(), "sim", echo, "--for", "1000s", "--serial", "RB.7,RB.6:9600",
                           "--serial-link", dir.File("sim")}},
        {dir.File("tool-serial"), {test::SimPath(), "--serial", "RB.7,RB.6:9600", "--serial-link",
                                   dir.File("tool-serial"), "--link", dir.File("tool")}},
    };
    for (const auto& [link, argv] : programs) {
        Background program(test::AsOrdinaryUser(argv));
        ASSERT_EQ(program.ReadUntil("\n", 20).rfind("/dev/pts/", 0), 0u) << argv[0];
        for (int signal : {SIGKILL, SIGTERM}) {
            int ready[2];
            ASSERT_EQ(pipe(ready), 0);
            const pid_t holder = OpenAsOrdinaryUser(link, true, ready[1]);
            close(ready[1]);
            char byte = 0;
            const ssize_t said = read(ready[0], &byte, 1);
            close(ready[0]);
            if (said != 1) waitpid(holder, nullptr, 0);
            ASSERT_EQ(said, 1) << argv[0] << ": the port could not be taken, signal " << signal;
            kill(holder, signal);
            waitpid(holder, nullptr, 0);
            // Released when the program next looks after its line (a slice
            // of the run, or 200 ms of a quiet line).
            int status = -1;
            for (int tries = 0; tries < 50 && status != 0; ++tries) {
                if (tries) usleep(50'000);
                waitpid(OpenAsOrdinaryUser(link, false), &status, 0);
            }
            EXPECT_EQ(status, 0) << argv[0] << " after signal " << signal;
        }
    }
}

TEST(SimSerial, EchoExampleTalksThroughItsTerminalAtTheBaudRate) {
    test::TempDir dir;
    dir.GiveToOrdinaryUser();
    const std::string link = dir.File("echo");
    Background sim(test::AsOrdinaryUser({test::BinaryPath("apps/korvid/korvid"), "sim",
                                         std::string(KORVID_SOURCE_DIR) + "/examples/serial_echo.src", "--serial",
                                         "RB.7,RB.6:9600", "--serial-link", link}));
    const std::string first = sim.ReadUntil("\n", 20);
    ASSERT_EQ(first.rfind("/dev/pts/", 0), 0u) << first;
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);

    // A line as typed, then a burst of every byte value back to back: the
    // echo receives while it sends, so all of it comes back in order.
    const std::string line = "Korvid echo\n";
    auto start = Clock::now();
    ASSERT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    EXPECT_EQ(ReadBytes(fd, line.size(), 10), line);
    // Paced: twelve frames of ten bits at 9600 baud take 12.5 ms on the wire
    // (the chip may run a millisecond ahead of the clock).
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), 0.0115);

    std::string burst;
    for (int b = 0; b < 256; ++b) burst += static_cast<char>(b);
    ASSERT_EQ(write(fd, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
    EXPECT_EQ(ReadBytes(fd, burst.size(), 20), burst);
    close(fd);

    // Stopped, it reports the state, ends normally and removes its link.
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(sim.ReadUntil("stop interrupted", 5).find("stop interrupted"), std::string::npos);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

// A client that sets nothing (a script's plain open) still finds the
// terminal raw, and one that writes far faster than the baud rate is held
// back by the terminal, not swallowed whole: what it wrote, every byte
// value, comes back complete and in order, no faster than the line runs.
TEST(SimSerial, FastWriterIsHeldBackAndLosesNothing) {
    test::TempDir dir;
    dir.GiveToOrdinaryUser();
    const std::string link = dir.File("echo");
    constexpr double kBytesPerSecond = 120192 / 10.0;  // the echo's rate at 50 MHz, 8N1
    Background sim(test::AsOrdinaryUser({test::BinaryPath("apps/korvid/korvid"), "sim",
                                         std::string(KORVID_SOURCE_DIR) + "/examples/serial_echo.src", "--clock",
                                         "50000000", "--serial", "RB.7,RB.6:120192", "--serial-link", link}));
    ASSERT_EQ(sim.ReadUntil("\n", 20).rfind("/dev/pts/", 0), 0u);
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    // A megabyte on offer: every byte value, in an order that does not
    // repeat every 256 bytes.
    std::string data(1u << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i + i / 251) & 0xFF);
    std::size_t written = 0;
    std::string got;
    auto readSome = [&] {
        char buffer[65536];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    };
    // Half a second of writing as fast as the terminal takes it.
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::milliseconds(500) && written < data.size()) {
        pollfd p{fd, POLLIN | POLLOUT, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        if (p.revents & POLLIN) readSome();
        if (p.revents & POLLOUT) {
            const ssize_t n = write(fd, data.data() + written, std::min<std::size_t>(4096, data.size() - written));
            if (n > 0) written += static_cast<std::size_t>(n);
        }
    }
    // Held back: about half a second of the line, the chip's queue and the
    // terminal's buffer were taken, not the megabyte.
    EXPECT_LT(written, 256u * 1024) << "the writer was not held back";
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (got.size() < written && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) readSome();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    EXPECT_EQ(got.size(), written);
    EXPECT_TRUE(got == data.substr(0, written)) << "the echo differs from what was written";
    EXPECT_GE(seconds, 0.95 * static_cast<double>(written) / kBytesPerSecond) << "faster than the baud rate";
    EXPECT_EQ(sim.Stop(), 0);
}

// korvid-sim: the chip being debugged talks on its own terminal while a
// debug session runs it (here `korvid debug` waiting for a breakpoint that
// never comes, polling as the Debug window does).
TEST(SimSerial, DebuggedChipTalksOnTheSimulatedToolsSecondTerminal) {
    test::TempDir dir;
    test::WriteText(dir.File("echo.src"), test::ReadText(std::string(KORVID_SOURCE_DIR) + "/examples/serial_echo.src") +
                                              "never   JMP     never\n");
    Background tool({test::BinaryPath("apps/korvid-sim/korvid-sim"), "--serial", "RB.7,RB.6:9600", "--serial-link",
                     dir.File("serial"), "--link", dir.File("tool")});
    std::string paths = tool.ReadUntil("\n", 20);
    if (std::count(paths.begin(), paths.end(), '\n') < 2) paths += tool.ReadUntil("\n", 5);
    ASSERT_EQ(std::count(paths.begin(), paths.end(), '\n'), 2) << paths;
    Background debug({"/bin/sh", "-c",
                      "(echo break never; echo run; echo quit) | '" + test::BinaryPath("apps/korvid/korvid") +
                          "' debug '" + dir.File("echo.src") + "' --port '" + dir.File("tool") + "'"});
    // The breakpoint is set after programming; the run starts at once.
    ASSERT_NE(debug.ReadUntil("breakpoint", 60).find("breakpoint"), std::string::npos);
    const int fd = open(dir.File("serial").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    const std::string line = "debugged and talking\n";
    ASSERT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    EXPECT_EQ(ReadBytes(fd, line.size(), 4), line);
    close(fd);
    // Each of its two links is released by its own lock: nothing of either
    // is left once the tool ends.
    EXPECT_EQ(tool.Stop(), 0);
    struct stat st {};
    for (const char* name : {"serial", "serial.lock", "tool", "tool.lock"})
        EXPECT_NE(lstat(dir.File(name).c_str(), &st), 0) << name << " left behind";
}

}  // namespace
}  // namespace korvid
