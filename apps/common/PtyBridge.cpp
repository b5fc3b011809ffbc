#include "apps/common/PtyBridge.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/PosixSerialDevice.h"

namespace korvid {

namespace {
void Dump(std::FILE* f, const char* what, const std::uint8_t* data, std::size_t n) {
    if (!f) return;
    std::fprintf(f, "%s %zu:", what, n);
    for (std::size_t i = 0; i < n; ++i) std::fprintf(f, " %02X", data[i]);
    std::fputc('\n', f);
    std::fflush(f);
}

std::uint32_t BaudOf(speed_t s) {
    switch (s) {
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        default: return 0;
    }
}
}  // namespace


PtyBridge::~PtyBridge() {
    if (closeWatch_ >= 0) ::close(closeWatch_);
    if (heldSlave_ >= 0) ::close(heldSlave_);
    if (master_ >= 0) ::close(master_);
}

bool PtyBridge::Open(std::string* reason) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        if (reason) *reason = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        if (reason) *reason = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    int flags = ::fcntl(master_, F_GETFL);
    (void)::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    // Clients open the slave for reading and writing: their closes are the
    // "close after write" events; our own read-only descriptor's are not.
    // Without the watch (or the held descriptor) a client's close still
    // shows as the master's hang-up, only its exclusive flag stays.
    closeWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    heldSlave_ = ::open(slavePath_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (closeWatch_ < 0 || heldSlave_ < 0 || ::inotify_add_watch(closeWatch_, slavePath_.c_str(), IN_CLOSE_WRITE) < 0) {
        if (closeWatch_ >= 0) ::close(closeWatch_);
        if (heldSlave_ >= 0) ::close(heldSlave_);
        closeWatch_ = heldSlave_ = -1;
    }
    return true;
}

bool PtyBridge::SpeedMatches() const {
    // On a pty master, tcgetattr reports the slave's settings: the speed the
    // client set.
    termios t{};
    if (::tcgetattr(master_, &t) != 0) return false;
    return BaudOf(::cfgetospeed(&t)) == baud_;
}

bool PtyBridge::ClientGone() {
    // Only the last close of the slave hangs up the master, and ours is
    // open: clear the flag, let go of the slave and look. With a client
    // still there, its flag comes back at once (the slave reopens: the flag
    // is clear).
    int exclusive = 0;
    (void)::ioctl(heldSlave_, TIOCGEXCL, &exclusive);
    if (exclusive) (void)::ioctl(heldSlave_, TIOCNXCL);
    ::close(heldSlave_);
    pollfd p{master_, 0, 0};
    const bool gone = ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
    heldSlave_ = ::open(slavePath_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (!gone && exclusive && heldSlave_ >= 0) (void)::ioctl(heldSlave_, TIOCEXCL);
    return gone;
}

bool PtyBridge::WriteAll(const std::uint8_t* data, std::size_t size) {
    // A client that does not read: give up after a while rather than hang.
    return WriteWaiting(master_, data, size, 50) == static_cast<long>(size);
}

namespace {
std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
void SleepUntilUs(std::int64_t us) {
    using namespace std::chrono;
    std::this_thread::sleep_until(steady_clock::time_point(microseconds(us)));
}
}  // namespace

bool PtyBridge::Serve(const std::uint8_t* data, std::size_t size, std::int64_t& inBusyUs, std::int64_t& outBusyUs) {
    std::uint8_t out[4096];
    if (!paced_ || baud_ == 0) {
        firmware_.Receive(data, size);
        bool written = true;
        while (std::size_t m = firmware_.TakeOutput(out, sizeof out)) {
            Dump(trace_, "out", out, m);
            written = written && WriteAll(out, m);
        }
        return written;
    }
    // Times on the line in steady-clock microseconds: byte i of the chunk has
    // arrived at `arrival(i)`; an answer byte starts when it was made and the
    // line out is free, and reaches the client ten bits later.
    const std::int64_t start = std::max(inBusyUs, NowUs());
    auto arrival = [&](std::size_t i) { return start + std::int64_t(i + 1) * 10'000'000 / std::int64_t(baud_); };
    const std::int64_t byteUs = 10'000'000 / std::int64_t(baud_);
    struct Pending {
        std::int64_t dueUs;
        std::uint8_t byte;
    };
    std::deque<Pending> pending;
    bool written = true;
    std::size_t i = 0;
    while (i < size || !pending.empty()) {
        if (!pending.empty() && (i == size || pending.front().dueUs <= arrival(i))) {
            SleepUntilUs(pending.front().dueUs);
            // Every answer byte due by now leaves in one write (several when
            // the sleep overran).
            const std::int64_t now = std::max(NowUs(), pending.front().dueUs);
            std::size_t m = 0;
            while (!pending.empty() && pending.front().dueUs <= now && m < sizeof out) {
                out[m++] = pending.front().byte;
                pending.pop_front();
            }
            Dump(trace_, "out", out, m);
            written = written && WriteAll(out, m);
            continue;
        }
        const std::int64_t at = arrival(i);
        SleepUntilUs(at);
        firmware_.Receive(data[i++]);
        while (std::size_t m = firmware_.TakeOutput(out, sizeof out))
            for (std::size_t k = 0; k < m; ++k) {
                outBusyUs = std::max(outBusyUs, at) + byteUs;
                pending.push_back({outBusyUs, out[k]});
            }
    }
    inBusyUs = arrival(size - 1);
    return written;
}

void PtyBridge::Run(volatile std::sig_atomic_t& stop, std::FILE* log) {
    bool connected = false;
    std::uint64_t inAtConnect = 0, outAtConnect = 0;
    std::uint64_t ignored = 0;
    std::uint8_t buffer[4096];
    std::int64_t inBusyUs = 0, outBusyUs = 0;  // the two directions of the line
    auto disconnect = [&] {
        if (!connected) return;
        connected = false;
        firmware_.Disconnect();
        if (log) {
            std::fprintf(log, "korvid-sim: client closed the port (%llu bytes in, %llu bytes out)\n",
                         static_cast<unsigned long long>(firmware_.BytesReceived() - inAtConnect),
                         static_cast<unsigned long long>(firmware_.BytesSent() - outAtConnect));
            if (ignored)
                std::fprintf(log, "korvid-sim: ignored %llu bytes at another line speed\n",
                             static_cast<unsigned long long>(ignored));
            std::fflush(log);
        }
        ignored = 0;
    };
    int recheck = 0;  // quiet rounds left in which a departed client is looked for again
    while (!stop) {
        if (idleWork_) idleWork_();
        pollfd polled[2] = {{master_, POLLIN, 0}, {closeWatch_, POLLIN, 0}};
        pollfd& p = polled[0];
        int r = ::poll(polled, closeWatch_ >= 0 ? 2 : 1, 200);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const bool closed = (polled[1].revents & POLLIN) && !(p.revents & POLLIN);
        if (closed || (r == 0 && recheck > 0)) {
            // A client closed the slave (its last bytes, read first, are
            // served). Events of several closes may arrive as one: the
            // check covers them all. Someone else who had the slave open at
            // the moment of the check (a second descriptor, a passing
            // reader) makes it look taken: looked at again while the line
            // stays quiet.
            std::uint8_t events[4096];
            while (::read(closeWatch_, events, sizeof events) > 0) {
            }
            recheck = closed ? 5 : recheck - 1;
            if (heldSlave_ >= 0 && ClientGone()) {
                recheck = 0;
                if (connected && trace_) std::fprintf(trace_, "hang-up\n");
                disconnect();
            }
            if (heldSlave_ < 0) {  // the slave could not be reopened: back to the master's hang-up
                ::close(closeWatch_);
                closeWatch_ = -1;
            }
            continue;
        }
        if (r == 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        recheck = 0;
        if (p.revents & POLLIN) {
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                Dump(trace_, SpeedMatches() ? "in" : "in (other speed)", buffer, std::size_t(n));
                if (!connected) {
                    connected = true;
                    inAtConnect = firmware_.BytesReceived();
                    outAtConnect = firmware_.BytesSent();
                }
                if (SpeedMatches()) {
                    (void)Serve(buffer, std::size_t(n), inBusyUs, outBusyUs);
                } else {
                    ignored += std::uint64_t(n);
                }
                continue;
            }
            // Nothing to read: go on waiting, unless the client hung up (it
            // may already have opened the port again).
            if (n < 0 && (errno == EAGAIN || errno == EINTR) && !(p.revents & (POLLHUP | POLLERR))) continue;
        }
        // No client has the slave open (or it just closed it): the master
        // reports a hang-up until the next open. Check back shortly.
        if (connected && trace_) std::fprintf(trace_, "hang-up\n");
        disconnect();
        ::usleep(10000);
    }
    disconnect();
}

}  // namespace korvid
