#include "platform/OutputStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/FileIo.h"
#include "platform/posix/ReplacementFile.h"

namespace korvid {

namespace {

class PosixOutputStream final : public OutputStream {
public:
    explicit PosixOutputStream(std::string target) : target_(std::move(target)) {}
    ~PosixOutputStream() override { Discard(); }

    // Through a descriptor, a device or FIFO: written where it is.
    void WriteInPlace(int fd) {
        fd_ = fd;
        inPlace_ = true;
    }
    bool CreateReplacement(const struct stat* old, std::string& reason) {
        if (!file_.Create(target_, old, &reason)) return false;
        fd_ = file_.fd();
        return true;
    }

    bool Write(const char* data, std::size_t size, std::string& reason) override {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                reason = std::strerror(n < 0 ? errno : ENOSPC);
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool inPlace() const override { return inPlace_; }
    const std::string& target() const override { return target_; }
    bool Commit(std::string& reason) override {
        if (fd_ < 0) return false;
        if (inPlace_) {
            const bool closed = ::close(fd_) == 0;
            if (!closed) reason = std::strerror(errno);
            fd_ = -1;
            return closed;
        }
        fd_ = -1;  // the replacement owns it
        if (file_.Flush(&reason) && file_.Publish(&reason)) return true;
        file_.Discard();
        return false;
    }
    void Discard() override {
        if (inPlace_ && fd_ >= 0) ::close(fd_);
        file_.Discard();
        fd_ = -1;
    }

private:
    std::string target_;
    ReplacementFile file_;  // the replacement of a regular file; owns fd_ then
    int fd_ = -1;
    bool inPlace_ = false;
};

}  // namespace

std::unique_ptr<OutputStream> OpenOutputStream(const std::string& path, std::string& message) {
    // /dev/stdout, /dev/fd/N: through the descriptor the shell set up (after
    // what it holds, appending where it appends), never renamed over.
    if (const int descriptor = OutputDescriptor(path); descriptor >= 0) {
        std::string reason;
        const int fd = DuplicateForWriting(descriptor, &reason);
        if (fd < 0) {
            message = "cannot write " + path + ": " + reason;
            return nullptr;
        }
        auto stream = std::make_unique<PosixOutputStream>(path);
        stream->WriteInPlace(fd);
        return stream;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        message = "cannot write " + path + ": it is a folder";
        return nullptr;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or FIFO is written in place, as every output of the tools.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            message = "cannot write " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        auto stream = std::make_unique<PosixOutputStream>(path);
        stream->WriteInPlace(fd);
        return stream;
    }
    // A link is followed: its target is replaced and the link stays.
    std::string target = path;
    if (exists) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    auto stream = std::make_unique<PosixOutputStream>(target);
    std::string reason;
    if (!stream->CreateReplacement(exists ? &st : nullptr, reason)) {
        message = "cannot write " + path + ": " + reason;
        return nullptr;
    }
    return stream;
}

}  // namespace korvid
