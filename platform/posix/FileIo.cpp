#include "platform/FileIo.h"

#include "platform/FileIdentity.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"
#include "platform/posix/ReplacementFile.h"

namespace korvid {

namespace {

std::string Reason(int error) { return std::strerror(error); }

// Opens a file to read; "-" is standard input (not closed afterwards).
int OpenForReading(const std::string& path, std::string* reason) {
    if (path == kStdStreamName) return STDIN_FILENO;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (reason) *reason = Reason(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (reason) *reason = Reason(EISDIR);
        return -1;
    }
    return fd;
}

void CloseRead(int fd) {
    if (fd != STDIN_FILENO) ::close(fd);
}

// read() that retries on EINTR, unless the signal raised `stop`.
ssize_t ReadSome(int fd, char* to, std::size_t n, const volatile std::sig_atomic_t* stop = nullptr) {
    for (;;) {
        ssize_t got = ::read(fd, to, n);
        if (got >= 0 || errno != EINTR || (stop && *stop)) return got;
    }
}

bool WriteAll(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

// The descriptor a name stands for when it names one of this process's open
// descriptors: a number in /proc/<own pid>/fd (or a thread's fd folder),
// which /dev/fd, /dev/stdout, /dev/stderr and /proc/self/fd lead to; else -1.
int DescriptorNamed(const std::string& path) {
    const std::string name = NameOf(path);
    if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) return -1;
    char real[PATH_MAX];
    if (!::realpath(FolderOf(path).c_str(), real)) return -1;
    const std::string own = "/proc/" + std::to_string(::getpid());
    const std::string folder = real;
    if (folder.rfind(own + "/", 0) != 0) return -1;
    const std::string rest = folder.substr(own.size());
    const bool fdFolder = rest == "/fd" || (rest.rfind("/task/", 0) == 0 && rest.size() > 9 &&
                                            rest.compare(rest.size() - 3, 3, "/fd") == 0);
    return fdFolder ? std::stoi(name) : -1;
}

// Follows symbolic links until a name that is not one (it may not exist:
// a dangling link's target is created). False on a loop. A name on the way
// that stands for an open descriptor stops the walk: `descriptor` gets it
// (else -1), since the file behind it must be written through it.
bool FollowLinks(const std::string& path, std::string& target, int* descriptor = nullptr) {
    target = path;
    if (descriptor) *descriptor = path == kStdStreamName ? STDOUT_FILENO : -1;
    if (path == kStdStreamName) return true;
    for (int depth = 0; depth < 40; ++depth) {
        if (descriptor && (*descriptor = DescriptorNamed(target)) >= 0) return true;
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char buffer[PATH_MAX];
        ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) return true;
        std::string link(buffer, std::size_t(n));
        target = BesideFile(target, link);
    }
    errno = ELOOP;
    return false;
}

// How one output is written.
struct Pending {
    std::string target;           // the file replaced or written (links followed)
    ReplacementFile replacement;  // its replacement; not open when written in place
    int fd = -1;                  // in place: the open file
};

// Makes and fills the file that replaces a regular (or new) target.
bool WriteReplacement(Pending& p, std::string_view data, const struct stat* old, std::string* reason) {
    std::string why;
    if (!p.replacement.Create(p.target, old, &why)) {
        if (reason) *reason = "cannot create a temporary file beside " + p.target + ": " + why;
        return false;
    }
    if (!WriteAll(p.replacement.fd(), data)) why = Reason(errno);
    if (!why.empty() || !p.replacement.Flush(&why)) {
        if (reason) *reason = "cannot write " + p.target + ": " + why;
        p.replacement.Discard();
        return false;
    }
    return true;
}

void Abandon(std::vector<Pending>& pending) {
    for (Pending& p : pending) {
        p.replacement.Discard();
        if (p.fd >= 0) ::close(p.fd);
        p.fd = -1;
    }
}


}  // namespace

ReadResult ReadFileWhole(const std::string& path, char* buffer, std::size_t capacity, std::size_t& length,
                         std::string* reason) {
    length = 0;
    int fd = OpenForReading(path, reason);
    if (fd < 0) return ReadResult::CannotOpen;
    std::size_t got = 0;
    for (;;) {
        if (got + 1 >= capacity) {
            // Buffer full (one byte is kept for the NUL): is there more?
            char probe;
            ssize_t n = ReadSome(fd, &probe, 1);
            int saved = errno;
            CloseRead(fd);
            if (n == 0) break;
            if (n < 0) {
                if (reason) *reason = Reason(saved);
                return ReadResult::ReadError;
            }
            if (reason) *reason = "file too large";
            return ReadResult::TooLarge;
        }
        ssize_t n = ReadSome(fd, buffer + got, capacity - 1 - got);
        if (n < 0) {
            if (reason) *reason = Reason(errno);
            CloseRead(fd);
            return ReadResult::ReadError;
        }
        if (n == 0) {
            CloseRead(fd);
            break;
        }
        got += std::size_t(n);
    }
    if (capacity == 0) return ReadResult::TooLarge;
    buffer[got] = '\0';
    length = got;
    return ReadResult::Ok;
}

ReadResult ReadFileToString(const std::string& path, std::string& text, std::size_t maxBytes, std::string* reason,
                            const StopFlag* stop) {
    text.clear();
    int fd = OpenForReading(path, reason);
    if (fd < 0) return ReadResult::CannotOpen;
    char chunk[65536];
    for (;;) {
        ssize_t n = ReadSome(fd, chunk, sizeof chunk, stop);
        if (n < 0) {
            if (reason) *reason = Reason(errno);
            CloseRead(fd);
            text.clear();
            return ReadResult::ReadError;
        }
        if (n == 0) break;
        if (stop && *stop) {  // a large file read at the disk's pace must not hold up a stop
            CloseRead(fd);
            text.clear();
            if (reason) *reason = "interrupted";
            return ReadResult::ReadError;
        }
        if (text.size() + std::size_t(n) > maxBytes) {
            CloseRead(fd);
            text.clear();
            if (reason) *reason = "file too large";
            return ReadResult::TooLarge;
        }
        text.append(chunk, std::size_t(n));
    }
    CloseRead(fd);
    return ReadResult::Ok;
}

bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string* reason) {
    std::vector<Pending> pending(files.size());
    // First every replacement is written and every in-place file opened:
    // nothing old is touched until all of them are ready.
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending& p = pending[i];
        int descriptor = -1;
        if (!FollowLinks(files[i].path, p.target, &descriptor)) {
            if (reason) *reason = "cannot write " + files[i].path + ": " + Reason(errno);
            Abandon(pending);
            return false;
        }
        if (descriptor >= 0) {
            // "-", /dev/stdout, /dev/fd/N: written through the descriptor
            // itself, at its position (appending when it appends), never
            // replacing the file behind it.
            p.target = files[i].path == kStdStreamName ? "standard output" : files[i].path;
            // A duplicate, kept until the writing step.
            std::string why;
            p.fd = DuplicateForWriting(descriptor, &why);
            if (p.fd < 0) {
                if (reason) *reason = "cannot write " + p.target + ": " + why;
                Abandon(pending);
                return false;
            }
            continue;
        }
        struct stat st {};
        const bool exists = ::stat(p.target.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) {
            if (reason) *reason = "cannot write " + files[i].path + ": " + Reason(EISDIR);
            Abandon(pending);
            return false;
        }
        if (exists && !S_ISREG(st.st_mode)) {
            // A device or FIFO is written where it is, never replaced.
            p.fd = ::open(p.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (p.fd < 0) {
                if (reason) *reason = "cannot write " + files[i].path + ": " + Reason(errno);
                Abandon(pending);
                return false;
            }
            continue;
        }
        if (!WriteReplacement(p, files[i].data, exists ? &st : nullptr, reason)) {
            Abandon(pending);
            return false;
        }
    }
    // Files written in place go first: one that fails leaves every regular
    // file as it was.
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending& p = pending[i];
        if (p.fd < 0) continue;
        std::fflush(nullptr);  // what the program printed comes first
        bool ok = WriteAll(p.fd, files[i].data);
        int saved = errno;
        if (::close(p.fd) != 0 && ok) {
            ok = false;
            saved = errno;
        }
        p.fd = -1;
        if (!ok) {
            if (reason) *reason = "cannot write " + p.target + ": " + Reason(saved);
            Abandon(pending);
            return false;
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending& p = pending[i];
        if (!p.replacement.isOpen()) continue;
        std::string why;
        if (!p.replacement.Publish(&why)) {
            if (reason) *reason = "cannot replace " + p.target + ": " + why;
            Abandon(pending);
            return false;
        }
    }
    return true;
}

FileStatus StatusOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, S_ISDIR(st.st_mode), S_ISREG(st.st_mode), std::uint64_t(st.st_size)};
}

int OutputDescriptor(const std::string& path) {
    std::string target;
    int descriptor = -1;
    return FollowLinks(path, target, &descriptor) ? descriptor : -1;
}

int DuplicateForWriting(int descriptor, std::string* reason) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
        if (reason) *reason = Reason(flags < 0 ? errno : EBADF);
        return -1;
    }
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0 && reason) *reason = Reason(errno);
    return fd;
}

// Device and inode; a name that does not exist yet, its folder's with the
// name.
std::optional<FileIdentity> IdentityOf(const std::string& path, bool output) {
    if (path == kStdStreamName && !output) return std::nullopt;
    struct stat st {};
    std::string target;
    int descriptor = -1;
    if (output && !FollowLinks(path, target, &descriptor)) return std::nullopt;
    if (descriptor >= 0) {
        // Written through the descriptor: "-" and /dev/stdout are one output,
        // and the file behind it is what it clashes with.
        if (::fstat(descriptor, &st) == 0) return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
        return FileIdentity{0, 0, "\n(descriptor " + std::to_string(descriptor) + ")"};
    }
    if (::stat(path.c_str(), &st) == 0) return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    if (!output) return std::nullopt;
    if (::stat(FolderOf(target).c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), NameOf(target)};
}

}  // namespace korvid
