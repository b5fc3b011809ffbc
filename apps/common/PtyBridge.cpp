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

namespace {
// The locks that make link names this simulator's: each held on PATH.lock
// for the life of the process, so that the system drops it however the
// process ends (kill -9 included). A process may own several links (the
// tool's line and the chip's serial port), each released by its own path.
struct HeldLink {
    std::string lockPath;
    int fd;
};
std::vector<HeldLink> g_heldLinks;

std::string LockPathOf(const std::string& path) { return path + ".lock"; }

// Opens and locks PATH.lock. `existed`: the file was there before (left by a
// simulator that had the name). -1 with errno EWOULDBLOCK when another
// simulator holds it. A lock file that was removed and replaced between the
// open and the lock is taken again, so that two simulators never hold two
// files of one name.
int LockBeside(const std::string& path, bool& existed) {
    const std::string lockPath = LockPathOf(path);
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        existed = fd >= 0;
        if (fd < 0 && errno == ENOENT) fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;  // created meanwhile by another simulator: open that one
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            ::close(fd);
            errno = e;
            return -1;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return fd;
        ::close(fd);  // the file was replaced while we locked it
    }
    errno = EAGAIN;
    return -1;
}
}  // namespace

bool ClaimLink(const std::string& path, const std::string& slave, std::string* reason) {
    auto refuse = [&](const std::string& why) {
        if (reason) *reason = path + " " + why;
        return false;
    };
    std::string target;
    const bool isLink = LinkTarget(path, target);
    bool lockExisted = false;
    const int lock = LockBeside(path, lockExisted);
    if (lock < 0) {
        if (errno == EWOULDBLOCK)
            return refuse("is the link of a running simulator" + (isLink ? " (" + target + ")" : std::string()));
        return refuse("cannot be locked (" + LockPathOf(path) + "): " + std::strerror(errno));
    }
    auto refuseLocked = [&](const std::string& why) {
        // Nothing of ours stays behind: the lock file goes if we made it.
        if (!lockExisted) (void)::unlink(LockPathOf(path).c_str());
        ::close(lock);
        return refuse(why);
    };
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || !isLink || !IsPtsName(target))
            return refuseLocked("exists and is not a simulator's link; not replaced");
        // The lock decides: a simulator that had the name left its lock file,
        // and the lock is free only once that simulator is gone, whatever
        // process has its terminal number now. Without a lock file, a
        // terminal that exists may be someone's: only a vanished one is stale.
        struct stat t {};
        if (!lockExisted && ::stat(target.c_str(), &t) == 0)
            return refuseLocked("is the link of a running simulator (" + target + ")");
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return refuseLocked(std::string("cannot be replaced: ") + std::strerror(errno));
    }
    if (::symlink(slave.c_str(), path.c_str()) != 0)
        return refuseLocked(std::string("cannot be linked: ") + std::strerror(errno));
    g_heldLinks.push_back({LockPathOf(path), lock});
    return true;
}

void ReleaseLink(const std::string& path, const std::string& slave) {
    std::string target;
    if (LinkTarget(path, target) && target == slave) (void)::unlink(path.c_str());
    const auto held = std::find_if(g_heldLinks.begin(), g_heldLinks.end(),
                                   [&](const HeldLink& h) { return h.lockPath == LockPathOf(path); });
    if (held == g_heldLinks.end()) return;
    // Removed while still held: a simulator starting now either locks this
    // file after us and sees it replaced, or makes a new one.
    (void)::unlink(held->lockPath.c_str());
    ::close(held->fd);
    g_heldLinks.erase(held);
}

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
