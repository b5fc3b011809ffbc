#include "platform/Folders.h"

#include <windows.h>

#include "platform/win32/SystemText.h"

namespace korvid {

bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& reason) {
    names.clear();
    const std::string pattern = folder + (folder.empty() || folder.back() == '\\' || folder.back() == '/' ? "*" : "\\*");
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(win32::Widen(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;  // an empty drive's root
        reason = win32::ReasonOf(error);
        return false;
    }
    do {
        const std::string n = win32::Narrow(found.cFileName);
        if (n != "." && n != "..") names.push_back(n);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return true;
}

std::optional<std::string> FolderKey(const std::string& folder) {
    const HANDLE h = ::CreateFileW(win32::Widen(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    if (!ok) return std::nullopt;
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow);
}

// Windows has no "may create here" question short of trying: a file that
// removes itself at its close is made and closed.
bool CanCreateIn(const std::string& folder, std::string& reason) {
    const std::string probe = folder + "\\.korvid-probe-" + std::to_string(::GetCurrentProcessId());
    const HANDLE h = ::CreateFileW(win32::Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS) return true;
        reason = win32::ReasonOf(error);
        return false;
    }
    ::CloseHandle(h);
    return true;
}

}  // namespace korvid
