#include "platform/win32/OutputPlace.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/win32/SystemText.h"
#include "platform/FileIo.h"

namespace korvid::win32 {

OutputPlace PlaceOf(const std::string& path, int& descriptor) {
    descriptor = OutputDescriptor(path);
    if (descriptor >= 0) return OutputPlace::Descriptor;
    const std::wstring name = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return OutputPlace::Folder;
    // What the name leads to, asked without reading or writing it: only a
    // file on a disk is replaced (NUL, CON, a named pipe are written to).
    const HANDLE probe = ::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return OutputPlace::Replaced;
    const DWORD type = ::GetFileType(probe);
    ::CloseHandle(probe);
    return type == FILE_TYPE_DISK ? OutputPlace::Replaced : OutputPlace::InPlace;
}

int OpenInPlace(const std::string& path, std::string* reason) {
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (reason) *reason = LastReason();
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        if (reason) *reason = std::strerror(errno);
    }
    return fd;
}

bool WriteAllTo(int descriptor, std::string_view data, std::string* reason) {
    while (!data.empty()) {
        const unsigned chunk = data.size() > (1u << 30) ? (1u << 30) : unsigned(data.size());
        const int n = ::_write(descriptor, data.data(), chunk);
        if (n <= 0) {
            if (reason) *reason = std::strerror(n < 0 ? errno : ENOSPC);
            return false;
        }
        data.remove_prefix(std::size_t(n));
    }
    return true;
}

}  // namespace korvid::win32
