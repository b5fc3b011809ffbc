#include "platform/OutputStream.h"

#include <io.h>

#include <cerrno>
#include <cstring>

#include "platform/win32/OutputPlace.h"
#include "platform/win32/ReplacementFile.h"
#include "platform/FileIo.h"

namespace korvid {

namespace {

class Win32OutputStream final : public OutputStream {
public:
    explicit Win32OutputStream(std::string target) : target_(std::move(target)) {}
    ~Win32OutputStream() override { Discard(); }

    // Through a descriptor, a device or a pipe: written where it is.
    void WriteInPlace(int fd) { fd_ = fd; }
    bool CreateReplacement(std::string& reason) { return file_.Create(target_, &reason); }

    bool Write(const char* data, std::size_t size, std::string& reason) override {
        if (fd_ >= 0) return win32::WriteAllTo(fd_, std::string_view(data, size), &reason);
        return file_.Write(std::string_view(data, size), &reason);
    }
    bool inPlace() const override { return fd_ >= 0; }
    const std::string& target() const override { return target_; }
    bool Commit(std::string& reason) override {
        if (fd_ >= 0) {
            const bool closed = ::_close(fd_) == 0;
            if (!closed) reason = std::strerror(errno);
            fd_ = -1;
            return closed;
        }
        if (!file_.isOpen()) return false;
        if (file_.Flush(&reason) && file_.Publish(&reason)) return true;
        file_.Discard();
        return false;
    }
    void Discard() override {
        if (fd_ >= 0) ::_close(fd_);
        fd_ = -1;
        file_.Discard();
    }

private:
    std::string target_;
    ReplacementFile file_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<OutputStream> OpenOutputStream(const std::string& path, std::string& message) {
    int descriptor = -1;
    std::string reason;
    switch (win32::PlaceOf(path, descriptor)) {
        case win32::OutputPlace::Descriptor: {
            const int fd = DuplicateForWriting(descriptor, &reason);
            if (fd < 0) break;
            auto stream = std::make_unique<Win32OutputStream>(path);
            stream->WriteInPlace(fd);
            return stream;
        }
        case win32::OutputPlace::Folder:
            message = "cannot write " + path + ": it is a folder";
            return nullptr;
        case win32::OutputPlace::InPlace: {
            const int fd = win32::OpenInPlace(path, &reason);
            if (fd < 0) break;
            auto stream = std::make_unique<Win32OutputStream>(path);
            stream->WriteInPlace(fd);
            return stream;
        }
        case win32::OutputPlace::Replaced: {
            auto stream = std::make_unique<Win32OutputStream>(path);
            if (!stream->CreateReplacement(reason)) break;
            return stream;
        }
    }
    message = "cannot write " + path + ": " + reason;
    return nullptr;
}

}  // namespace korvid
