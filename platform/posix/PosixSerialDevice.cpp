#include "platform/posix/PosixSerialDevice.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace korvid {

namespace {
// The system's reason, after `what` failed (nullptr: the reason alone).
void SetReason(std::string* reason, const char* what) {
    if (!reason) return;
    *reason = what ? std::string(what) + ": " + std::strerror(errno) : std::string(std::strerror(errno));
}

// The port whose exclusive flag this process set, for the signal handler
// (one a process: the program and the command-line tool have one link).
std::atomic<int> g_exclusivePort{-1};
static_assert(std::atomic<int>::is_always_lock_free);

void ReleaseAndRaise(int signal) {
    const int fd = g_exclusivePort.exchange(-1);
    if (fd >= 0) (void)::ioctl(fd, TIOCNXCL);
    // The rest as the signal would have done it: the exit status says so.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

speed_t SpeedOf(std::uint32_t baud) {
    switch (baud) {
        case 19200: return B19200;
        case 38400: return B38400;
        case 115200: return B115200;
        case 9600: return B9600;
        default: return B57600;
    }
}
}  // namespace

PosixSerialDevice::~PosixSerialDevice() { Close(); }

bool PosixSerialDevice::Open(const std::string& path, std::string* reason) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        SetReason(reason, nullptr);
        return false;
    }
    if (!::isatty(fd_)) {
        errno = ENOTTY;
        SetReason(reason, nullptr);
        Close();
        return false;
    }
    // Not shared, not even with root: every program that opens ports this
    // way takes the lock, which ends with the open file however the
    // process ends.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;
        SetReason(reason, nullptr);
        Close();
        return false;
    }
    // Not shared: a second open of the port by another program fails while
    // this one has it. A port that is exclusive already (a privileged user
    // may open it all the same) stays as its holder set it: clearing the
    // flag at our close would hand that holder's port to everyone.
    int held = 0;
    const bool alreadyExclusive = ::ioctl(fd_, TIOCGEXCL, &held) == 0 && held != 0;
    if (!alreadyExclusive) {
        if (::ioctl(fd_, TIOCEXCL) == 0) {
            exclusive_ = true;
            g_exclusivePort.store(fd_);
        } else if (errno != ENOTTY && errno != EINVAL) {
            SetReason(reason, "TIOCEXCL");
            Close();
            return false;
        }
    }
    // Input left over from an earlier connection is no answer to this one.
    // (Only input: flushing output would drop the last bytes an earlier
    // connection wrote and the tool has not taken yet.)
    (void)::tcflush(fd_, TCIFLUSH);
    return true;
}

bool PosixSerialDevice::SetLine(std::uint32_t baud, std::string* reason) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        SetReason(reason, "tcgetattr");
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, SpeedOf(baud));
    ::cfsetospeed(&t, SpeedOf(baud));
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        SetReason(reason, "tcsetattr");
        return false;
    }
    // DTR on, RTS off; pseudo-terminals have no control lines.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    (void)::ioctl(fd_, TIOCMBIS, &dtr);
    (void)::ioctl(fd_, TIOCMBIC, &rts);
    return true;
}

long PosixSerialDevice::Write(const std::uint8_t* data, std::size_t size) {
    // One write per batch; a stuck port ends as a short write.
    return WriteWaiting(fd_, data, size, 20);
}

long PosixSerialDevice::Read(std::uint8_t* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fd_, data, size);
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        // Nothing read. With VMIN and VTIME 0 a hung-up line (an adapter
        // pulled out, a tool that closed its side) also reads 0 bytes, like
        // a quiet one; only poll tells them apart. A hung-up line is a read
        // failure, not a tool that does not answer.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            errno = EIO;
            return -1;
        }
        return 0;
    }
}

void PosixSerialDevice::DiscardInput() {
    if (fd_ >= 0) (void)::tcflush(fd_, TCIFLUSH);
}

void PosixSerialDevice::WaitReadable(std::uint32_t timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    int ms = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
    int r = ::poll(&p, 1, ms);
    // A hung-up or failing descriptor polls ready at once; the read that
    // follows reports it, but do not let it turn the wait into a spin.
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
        pollfd none{-1, 0, 0};
        (void)::poll(&none, 0, ms < 10 ? ms : 10);
    }
}

void PosixSerialDevice::Close() {
    if (fd_ < 0) return;
    // Exclusive use ends before the close: on a pseudo-terminal the flag
    // belongs to the terminal, which outlives this descriptor, and would turn
    // away every later open by an ordinary user until the other side closes.
    if (exclusive_) {
        int mine = fd_;
        (void)g_exclusivePort.compare_exchange_strong(mine, -1);
        (void)::ioctl(fd_, TIOCNXCL);
    }
    exclusive_ = false;
    ::close(fd_);
    fd_ = -1;
}

void PosixSerialDevice::ReleaseOnSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = ReleaseAndRaise;
        sigemptyset(&sa.sa_mask);
        (void)::sigaction(signal, &sa, nullptr);
    }
}

long WriteWaiting(int fd, const std::uint8_t* data, std::size_t size, int stallLimit) {
    std::size_t done = 0;
    int stalls = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            stalls = 0;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return done ? static_cast<long>(done) : -1;
        if (++stalls > stallLimit) break;
        pollfd p{fd, POLLOUT, 0};
        (void)::poll(&p, 1, 100);
    }
    return static_cast<long>(done);
}

}  // namespace korvid
