#include "core/image/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvid {

ReadResult ReadFileWhole(const std::string& path, char* buffer, std::size_t capacity, std::size_t& length,
                         std::string* reason) {
    length = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (reason) *reason = std::strerror(errno);
        return ReadResult::CannotOpen;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (reason) *reason = std::strerror(EISDIR);
        return ReadResult::CannotOpen;
    }
    std::size_t got = 0;
    for (;;) {
        if (got + 1 >= capacity) {
            // Buffer full (one byte is kept for the NUL): is there more?
            char probe;
            ssize_t n = ::read(fd, &probe, 1);
            if (n < 0 && errno == EINTR) continue;
            ::close(fd);
            if (n == 0) break;
            if (n < 0) {
                if (reason) *reason = std::strerror(errno);
                return ReadResult::ReadError;
            }
            if (reason) *reason = "file too large";
            return ReadResult::TooLarge;
        }
        ssize_t n = ::read(fd, buffer + got, capacity - 1 - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (reason) *reason = std::strerror(errno);
            ::close(fd);
            return ReadResult::ReadError;
        }
        if (n == 0) {
            ::close(fd);
            break;
        }
        got += std::size_t(n);
    }
    if (capacity == 0) return ReadResult::TooLarge;
    buffer[got] = '\0';
    length = got;
    return ReadResult::Ok;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason) {
    auto fail = [&](const char* what) {
        if (reason) *reason = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    mode_t mode = 0666 & ~[] { mode_t m = ::umask(0); ::umask(m); return m; }();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

    std::string temp = path + ".tmpXXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail("cannot create a temporary file");
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return fail("cannot write");
        }
        done += std::size_t(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot write");
    }
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot write");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot replace the file");
    }
    return true;
}

}  // namespace korvid
