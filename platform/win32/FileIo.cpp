#include "platform/FileIo.h"

#include "platform/FileIdentity.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win32/OutputPlace.h"
#include "platform/win32/ReplacementFile.h"
#include "platform/win32/SystemText.h"
#include "platform/Path.h"

namespace korvid {

namespace {

using win32::LastReason;
using win32::Widen;

// A file to read: "-" is standard input (not closed afterwards).
class Reading {
public:
    explicit Reading(const std::string& path, std::string* reason) {
        if (path == kStdStreamName) {
            handle_ = ::GetStdHandle(STD_INPUT_HANDLE);
            owned_ = false;
            if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
                if (reason) *reason = win32::ReasonOf(ERROR_INVALID_HANDLE);
                handle_ = INVALID_HANDLE_VALUE;
            }
            return;
        }
        const std::wstring name = Widen(path);
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (reason) *reason = "Is a directory";
            return;
        }
        handle_ = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE && reason) *reason = LastReason();
    }
    ~Reading() {
        if (owned_ && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

    // The bytes read (0 at the end), -1 with the reason. The writer of a
    // pipe going away is its end.
    long Some(char* to, std::size_t n, std::string* reason) {
        DWORD got = 0;
        const DWORD want = n > (1u << 30) ? (1u << 30) : DWORD(n);
        if (::ReadFile(handle_, to, want, &got, nullptr)) return long(got);
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
        if (reason) *reason = win32::ReasonOf(error);
        return -1;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool owned_ = true;
};

// How one output is written.
struct Pending {
    std::string target;           // the file replaced or written
    ReplacementFile replacement;  // its replacement; not open when written in place
    int fd = -1;                  // in place: the open descriptor
};

void Abandon(std::vector<Pending>& pending) {
    for (Pending& p : pending) {
        p.replacement.Discard();
        if (p.fd >= 0) ::_close(p.fd);
        p.fd = -1;
    }
}

// A file's identity for the clash checks: the volume's serial number and
// the file's index (IdentityOf gives a new name its folder's, with the name
// in lower case: Windows names ignore case).
std::optional<FileIdentity> IdentityOfHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow, {}};
}

std::optional<FileIdentity> IdentityOfName(const std::string& path) {
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    auto id = IdentityOfHandle(h);
    ::CloseHandle(h);
    return id;
}

std::string LowerCase(const std::string& name) {
    std::wstring wide = Widen(name);
    if (!wide.empty()) ::CharLowerBuffW(wide.data(), DWORD(wide.size()));
    return win32::Narrow(wide);
}


}  // namespace

ReadResult ReadFileWhole(const std::string& path, char* buffer, std::size_t capacity, std::size_t& length,
                         std::string* reason) {
    length = 0;
    Reading file(path, reason);
    if (!file.ok()) return ReadResult::CannotOpen;
    std::size_t got = 0;
    for (;;) {
        if (got + 1 >= capacity) {
            // Buffer full (one byte is kept for the NUL): is there more?
            char probe;
            const long n = file.Some(&probe, 1, reason);
            if (n == 0) break;
            if (n < 0) return ReadResult::ReadError;
            if (reason) *reason = "file too large";
            return ReadResult::TooLarge;
        }
        const long n = file.Some(buffer + got, capacity - 1 - got, reason);
        if (n < 0) return ReadResult::ReadError;
        if (n == 0) break;
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
    Reading file(path, reason);
    if (!file.ok()) return ReadResult::CannotOpen;
    char chunk[65536];
    for (;;) {
        const long n = file.Some(chunk, sizeof chunk, reason);
        if (n < 0) {
            text.clear();
            return ReadResult::ReadError;
        }
        if (n == 0) break;
        if (stop && *stop) {  // a large file read at the disk's pace must not hold up a stop
            text.clear();
            if (reason) *reason = "interrupted";
            return ReadResult::ReadError;
        }
        if (text.size() + std::size_t(n) > maxBytes) {
            text.clear();
            if (reason) *reason = "file too large";
            return ReadResult::TooLarge;
        }
        text.append(chunk, std::size_t(n));
    }
    return ReadResult::Ok;
}

bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string* reason) {
    std::vector<Pending> pending(files.size());
    auto fail = [&](const std::string& message) {
        if (reason) *reason = message;
        Abandon(pending);
        return false;
    };
    // First every replacement is written and every in-place file opened:
    // nothing old is touched until all of them are ready.
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending& p = pending[i];
        p.target = files[i].path;
        int descriptor = -1;
        std::string why;
        switch (win32::PlaceOf(files[i].path, descriptor)) {
            case win32::OutputPlace::Descriptor:
                p.target = files[i].path == kStdStreamName ? "standard output" : files[i].path;
                p.fd = DuplicateForWriting(descriptor, &why);
                if (p.fd < 0) return fail("cannot write " + p.target + ": " + why);
                break;
            case win32::OutputPlace::Folder:
                return fail("cannot write " + files[i].path + ": Is a directory");
            case win32::OutputPlace::InPlace:
                p.fd = win32::OpenInPlace(p.target, &why);
                if (p.fd < 0) return fail("cannot write " + files[i].path + ": " + why);
                break;
            case win32::OutputPlace::Replaced:
                if (!p.replacement.Create(p.target, &why))
                    return fail("cannot create a temporary file beside " + p.target + ": " + why);
                if (!p.replacement.Write(files[i].data, &why) || !p.replacement.Flush(&why))
                    return fail("cannot write " + p.target + ": " + why);
                break;
        }
    }
    // Files written in place go first: one that fails leaves every regular
    // file as it was.
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending& p = pending[i];
        if (p.fd < 0) continue;
        std::fflush(nullptr);  // what the program printed comes first
        std::string why;
        bool ok = win32::WriteAllTo(p.fd, files[i].data, &why);
        if (::_close(p.fd) != 0 && ok) {
            ok = false;
            why = std::strerror(errno);
        }
        p.fd = -1;
        if (!ok) return fail("cannot write " + p.target + ": " + why);
    }
    for (Pending& p : pending) {
        if (!p.replacement.isOpen()) continue;
        std::string why;
        if (!p.replacement.Publish(&why)) return fail("cannot replace " + p.target + ": " + why);
    }
    return true;
}

FileStatus StatusOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return {};
    const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool device = (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0;
    return {true, folder, !folder && !device, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

// Windows has no /dev/fd: "-" alone names a descriptor (standard output).
int OutputDescriptor(const std::string& path) { return path == kStdStreamName ? 1 : -1; }

int DuplicateForWriting(int descriptor, std::string* reason) {
    const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        if (reason) *reason = win32::ReasonOf(ERROR_INVALID_HANDLE);
        return -1;
    }
    const int fd = ::_dup(descriptor);
    if (fd < 0 && reason) *reason = std::strerror(errno);
    return fd;
}

std::optional<FileIdentity> IdentityOf(const std::string& path, bool output) {
    if (path == kStdStreamName && !output) return std::nullopt;
    if (const int descriptor = OutputDescriptor(path); output && descriptor >= 0) {
        const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
        if (auto id = IdentityOfHandle(h); id && ::GetFileType(h) == FILE_TYPE_DISK) return id;
        return FileIdentity{0, 0, "\n(descriptor " + std::to_string(descriptor) + ")"};
    }
    if (auto id = IdentityOfName(path)) return id;
    if (!output) return std::nullopt;
    auto folder = IdentityOfName(FolderOf(path));
    if (!folder) return std::nullopt;
    folder->name = LowerCase(NameOf(path));
    return folder;
}

}  // namespace korvid
