#include "platform/posix/ReplacementFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/Path.h"

namespace korvid {

namespace {

constexpr std::string_view kTemporarySuffix = ".tmpXXXXXX";

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Fills the trailing X's of `name` with random letters and digits.
void Randomise(std::string& name) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6] = {};
    if (::getentropy(bytes, sizeof bytes) != 0) {
        static unsigned counter = 0;
        const unsigned seed = unsigned(::getpid()) * 2654435761u + ++counter;
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = (unsigned char)(seed >> (i * 5));
    }
    const std::size_t start = name.size() - sizeof bytes;
    for (std::size_t i = 0; i < sizeof bytes; ++i) name[start + i] = kChars[bytes[i] % (sizeof kChars - 1)];
}

// Gives the unnamed file open as `fd` the name `path`: through /proc (any
// user), else by the descriptor itself (needs privilege, works without /proc).
int LinkUnnamed(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return -1;
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
}

}  // namespace

std::string TemporaryNameFor(const std::string& target) {
    const std::string folder = FolderOf(target);
    long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = NAME_MAX;
    const std::size_t room = std::size_t(limit) - 1 - kTemporarySuffix.size();
    std::string name = NameOf(target);
    if (name.size() > room) name.resize(room);
    return BesideFile(target, "." + name + std::string(kTemporarySuffix));
}

bool ReplacementFile::Fail(std::string* reason, int error) {
    if (reason) *reason = std::strerror(error);
    Discard();
    return false;
}

bool ReplacementFile::Create(const std::string& target, const struct stat* old, std::string* reason, bool unnamed) {
    Discard();
    target_ = target;
    if (unnamed) {
        fd_ = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        // A file system without unnamed files refuses them in one of these
        // ways (an old kernel takes the flag for a folder to open: EISDIR).
        if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(reason, errno);
    }
    if (fd_ < 0) {
        std::string name = TemporaryNameFor(target);
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) return Fail(reason, errno);
        temp_ = std::move(name);
    }
    // Root replacing another user's file keeps its owner; an ordinary user
    // may not change owners, and the file is theirs, as a new file would be.
    if (old) (void)!::fchown(fd_, old->st_uid, old->st_gid);
    if (::fchmod(fd_, old ? (old->st_mode & 07777) : NewFileMode()) != 0) return Fail(reason, errno);
    return true;
}

bool ReplacementFile::Flush(std::string* reason) {
    if (fd_ >= 0 && ::fsync(fd_) == 0) return true;
    if (reason) *reason = std::strerror(fd_ < 0 ? EBADF : errno);
    return false;
}

bool ReplacementFile::Publish(std::string* reason) {
    if (fd_ < 0) return Fail(reason, EBADF);
    if (temp_.empty()) {
        // A fresh name for the finished file; another writer's name is skipped.
        std::string name = TemporaryNameFor(target_);
        for (int tries = 0;; ++tries) {
            Randomise(name);
            if (LinkUnnamed(fd_, name) == 0) break;
            if (errno != EEXIST || tries == 100) return Fail(reason, errno);
        }
        temp_ = std::move(name);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return Fail(reason, errno);
    temp_.clear();
    // The contents were flushed before: a late error of close changes nothing.
    ::close(fd_);
    fd_ = -1;
    return true;
}

void ReplacementFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace korvid
