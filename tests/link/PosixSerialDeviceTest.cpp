// The link on a real pseudo-terminal: line set-up, echo and a slow tool.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "core/link/Link.h"
#include "core/link/LinkError.h"
#include "platform/posix/PosixSerialDevice.h"
#include "core/link/Scrambler.h"

namespace korvid {
namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slave = ptsname(master);
    }
    ~Pty() {
        if (master >= 0) close(master);
    }
    // Reads exactly n bytes within a bounded time.
    std::string ReadBytes(std::size_t n, int timeoutMs = 3000) {
        std::string got;
        auto start = std::chrono::steady_clock::now();
        while (got.size() < n &&
               std::chrono::steady_clock::now() - start < std::chrono::milliseconds(timeoutMs)) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buffer[256];
            ssize_t r = read(master, buffer, std::min(sizeof buffer, n - got.size()));
            if (r > 0) got.append(buffer, std::size_t(r));
        }
        return got;
    }
};

// A link over the device on a fresh pseudo-terminal; the test plays the
// tool on the master side.
class PosixSerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slave.empty());
        link.PortName = pty.slave;
    }
    Pty pty;
    PosixSerialDevice device;
    Link link{device};
};

TEST_F(PosixSerialLine, SlowReplyIsAwaitedWithoutSpinning) {

    std::string seen;
    std::uint32_t speed = 0;
    std::thread tool([&] {
        seen = pty.ReadBytes(7);
        termios t{};
        tcgetattr(pty.master, &t);
        speed = cfgetospeed(&t) == B57600 ? 57600 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        std::string reply = seen + "Korvid";
        reply += char(kLinkKey & 0xFF);  // seed = key: plain stream
        reply += char(kLinkKey >> 8);
        reply += char(5);
        (void)!write(pty.master, reply.data(), reply.size());
    });
    auto wall = std::chrono::steady_clock::now();
    double cpu = ThreadCpuSeconds();
    EXPECT_TRUE(link.ProbePort());
    double cpuUsed = ThreadCpuSeconds() - cpu;
    double wallUsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    tool.join();
    EXPECT_EQ(seen, " Korvid");
    EXPECT_EQ(speed, 57600u);
    EXPECT_EQ(link.FirmwareVersion, 5);
    EXPECT_GT(wallUsed, 0.7);
    EXPECT_LT(cpuUsed, wallUsed / 10);
    link.CloseLink();
}

// A line that hangs up reads 0 bytes like a quiet one; the device reports
// it as a read failure and the link as "Unable to read from", not as a tool
// that is not there. Root hangs the terminal up as a pulled adapter would
// (TIOCVHANGUP on the slave side, which root may open beside the exclusive
// holder); others can only close the other side.
TEST_F(PosixSerialLine, HungUpLineIsAReadFailure) {
    std::thread tool([&] {
        (void)pty.ReadBytes(7);
        const int line = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool hungUp = line >= 0 && ::ioctl(line, TIOCVHANGUP) == 0;
        if (line >= 0) ::close(line);
        if (!hungUp) {
            ::close(pty.master);
            pty.master = -1;
        }
    });
    std::string message;
    auto start = std::chrono::steady_clock::now();
    try {
        link.OpenLink();
    } catch (const LinkFailure& e) {
        message = e.Text();
    }
    tool.join();
    EXPECT_EQ(message, "Unable to read from " + pty.slave + ".");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.9);
    EXPECT_FALSE(link.PortOpen);
}

TEST(PosixSerialDevice, MissingDeviceAndNonTerminal) {
    PosixSerialDevice device;
    std::string reason;
    EXPECT_FALSE(device.Open("/nonexistent/ttyX", &reason));
    EXPECT_EQ(reason, "No such file or directory");
    EXPECT_FALSE(device.Open("/dev/null", &reason));  // not a serial device

    Link link(device);
    link.PortName = "/dev/null";
    try {
        link.OpenLink();
        FAIL() << "opened /dev/null";
    } catch (const LinkFailure& e) {
        EXPECT_EQ(e.Text(), "Unable to open /dev/null.");
    }
    EXPECT_FALSE(link.PortOpen);
}

}  // namespace
}  // namespace korvid
