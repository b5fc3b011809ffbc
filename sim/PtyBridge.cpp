#include "sim/PtyBridge.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

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

namespace {
// The target of the symbolic link at `path`; false when it is none.
bool LinkTarget(const std::string& path, std::string& target) {
    char buffer[4096];
    ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return false;
    target.assign(buffer, std::size_t(n));
    return true;
}

bool IsPtsName(const std::string& target) {
    const std::string prefix = "/dev/pts/";
    if (target.size() <= prefix.size() || target.compare(0, prefix.size(), prefix) != 0) return false;
    for (std::size_t i = prefix.size(); i < target.size(); ++i)
        if (target[i] < '0' || target[i] > '9') return false;
    return true;
}
}  // namespace

bool ClaimLink(const std::string& path, const std::string& slave, std::string* reason) {
    auto refuse = [&](const std::string& why) {
        if (reason) *reason = path + " " + why;
        return false;
    };
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        std::string target;
        if (!S_ISLNK(st.st_mode) || !LinkTarget(path, target) || !IsPtsName(target))
            return refuse("exists and is not a simulator's link; not replaced");
        // A pseudo-terminal's slave exists exactly as long as its master is
        // open: a target that is there belongs to a running simulator (or
        // to whatever has the terminal number now).
        struct stat t {};
        if (::stat(target.c_str(), &t) == 0) return refuse("is the link of a running simulator (" + target + ")");
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return refuse(std::string("cannot be replaced: ") + std::strerror(errno));
    }
    // Another simulator that claimed the name meanwhile wins: no overwrite.
    if (::symlink(slave.c_str(), path.c_str()) != 0) return refuse(std::string("cannot be linked: ") + std::strerror(errno));
    return true;
}

void ReleaseLink(const std::string& path, const std::string& slave) {
    std::string target;
    if (LinkTarget(path, target) && target == slave) (void)::unlink(path.c_str());
}

PtyBridge::~PtyBridge() {
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
    return true;
}

bool PtyBridge::SpeedMatches() const {
    // On a pty master, tcgetattr reports the slave's settings: the speed the
    // client set.
    termios t{};
    if (::tcgetattr(master_, &t) != 0) return false;
    return BaudOf(::cfgetospeed(&t)) == baud_;
}

bool PtyBridge::WriteAll(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    int stalls = 0;
    while (done < size) {
        ssize_t n = ::write(master_, data + done, size - done);
        if (n > 0) {
            done += std::size_t(n);
            stalls = 0;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        // The client does not read: give up after a while rather than hang.
        if (++stalls > 50) return false;
        pollfd p{master_, POLLOUT, 0};
        (void)::poll(&p, 1, 100);
    }
    return true;
}

void PtyBridge::Pace(std::size_t bytes, std::int64_t& busyUntilUs) const {
    if (!paced_ || baud_ == 0) return;
    using namespace std::chrono;
    const std::int64_t now = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    busyUntilUs = std::max(busyUntilUs, now) + std::int64_t(bytes) * 10'000'000 / std::int64_t(baud_);
    std::this_thread::sleep_until(steady_clock::time_point(microseconds(busyUntilUs)));
}

void PtyBridge::Run(volatile std::sig_atomic_t& stop, std::FILE* log) {
    bool connected = false;
    std::uint64_t inAtConnect = 0, outAtConnect = 0;
    std::uint64_t ignored = 0;
    std::uint8_t buffer[4096];
    std::uint8_t out[4096];
    std::int64_t inBusyUs = 0, outBusyUs = 0;  // the two directions of the line
    constexpr std::size_t kSlice = 16;         // bytes written per paced step
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
    while (!stop) {
        pollfd p{master_, POLLIN, 0};
        int r = ::poll(&p, 1, 200);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (r == 0) continue;
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
                    Pace(std::size_t(n), inBusyUs);
                    firmware_.Receive(buffer, std::size_t(n));
                    bool written = true;
                    while (std::size_t m = written ? firmware_.TakeOutput(out, sizeof out) : 0) {
                        Dump(trace_, "out", out, m);
                        for (std::size_t at = 0; written && at < m; at += kSlice) {
                            const std::size_t k = std::min(kSlice, m - at);
                            if (paced_) Pace(k, outBusyUs);
                            written = WriteAll(out + at, k);
                        }
                    }
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
