#include "platform/win32/SystemText.h"

#include <cstdio>

namespace korvid::win32 {

namespace {

struct ErrorWords {
    DWORD error;
    const char* words;
};
// The errors a file or a port gives, in the words of the messages on the
// other systems, so that a message reads the same wherever it is shown.
constexpr ErrorWords kErrorWords[] = {
    {ERROR_FILE_NOT_FOUND, "No such file or directory"},
    {ERROR_PATH_NOT_FOUND, "No such file or directory"},
    {ERROR_INVALID_DRIVE, "No such file or directory"},
    {ERROR_BAD_NETPATH, "No such file or directory"},
    {ERROR_BAD_PATHNAME, "No such file or directory"},
    {ERROR_INVALID_NAME, "Invalid argument"},
    {ERROR_ACCESS_DENIED, "Permission denied"},
    {ERROR_SHARING_VIOLATION, "Device or resource busy"},
    {ERROR_LOCK_VIOLATION, "Device or resource busy"},
    {ERROR_BUSY, "Device or resource busy"},
    {ERROR_FILE_EXISTS, "File exists"},
    {ERROR_ALREADY_EXISTS, "File exists"},
    {ERROR_DISK_FULL, "No space left on device"},
    {ERROR_HANDLE_DISK_FULL, "No space left on device"},
    {ERROR_WRITE_PROTECT, "Read-only file system"},
    {ERROR_NOT_ENOUGH_MEMORY, "Cannot allocate memory"},
    {ERROR_OUTOFMEMORY, "Cannot allocate memory"},
    {ERROR_BROKEN_PIPE, "Broken pipe"},
    {ERROR_NO_DATA, "Broken pipe"},
    {ERROR_INVALID_HANDLE, "Bad file descriptor"},
    {ERROR_FILENAME_EXCED_RANGE, "File name too long"},
    {ERROR_DIRECTORY, "Not a directory"},
    {ERROR_DIR_NOT_EMPTY, "Directory not empty"},
    {ERROR_NOT_READY, "No such device"},
    {ERROR_DEV_NOT_EXIST, "No such device"},
    {ERROR_GEN_FAILURE, "Input/output error"},
    {ERROR_OPERATION_ABORTED, "Interrupted system call"},
    {ERROR_NOT_SUPPORTED, "Operation not supported"},
    {ERROR_INVALID_PARAMETER, "Invalid argument"},
    {ERROR_INVALID_FUNCTION, "Inappropriate ioctl for device"},
    // Winsock's, for the debug adapter's port.
    {WSAEADDRINUSE, "Address already in use"},
    {WSAEADDRNOTAVAIL, "Cannot assign requested address"},
    {WSAEACCES, "Permission denied"},
    {WSAECONNRESET, "Connection reset by peer"},
    {WSAECONNABORTED, "Software caused connection abort"},
    {WSAEMFILE, "Too many open files"},
    {WSAENOBUFS, "No buffer space available"},
    {WSAENETDOWN, "Network is down"},
};

std::wstring Convert(UINT codePage, DWORD flags, const std::string& text) {
    const int n = ::MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(std::size_t(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

}  // namespace

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    std::wstring wide = Convert(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    return wide.empty() ? Convert(CP_ACP, 0, text) : wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string narrow(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

std::string ReasonOf(DWORD error) {
    for (const ErrorWords& e : kErrorWords)
        if (e.error == error) return e.words;
    wchar_t* message = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::string text = n ? Narrow(std::wstring(message, n)) : std::string();
    if (message) ::LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "system error " + std::to_string(error);
    return text;
}

}  // namespace korvid::win32
