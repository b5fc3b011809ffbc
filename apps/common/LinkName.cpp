#include "apps/common/LinkName.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvid {

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

}  // namespace korvid
