#include "platform/Path.h"

#include <windows.h>

#include "platform/win32/SystemText.h"

namespace korvid {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }
bool HasDrive(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

// How much of `path` names where it starts rather than a folder on the
// way: "C:\" 3, "C:" 2 (the drive's current folder), "\\" of a network
// name 2, "\" or "/" 1, a name from the current folder 0.
std::size_t RootLength(const std::string& path) {
    if (HasDrive(path)) return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return 2;
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// Where the last component starts.
std::size_t NameStart(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    const std::size_t afterSeparator = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t root = RootLength(path);
    return afterSeparator > root ? afterSeparator : root;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t start = NameStart(path);
    if (start == 0) return ".";
    const std::size_t root = RootLength(path);
    // "C:\a.src" is in "C:\", "dir\a.src" in "dir" (without its separator).
    if (start <= root) return path.substr(0, root);
    return path.substr(0, start - 1);
}

std::string NameOf(const std::string& path) { return path.substr(NameStart(path)); }

bool IsAbsolutePath(const std::string& path) { return RootLength(path) > 0; }

std::string BesideFile(const std::string& file, const std::string& name) {
    if (IsAbsolutePath(name)) return name;
    return file.substr(0, NameStart(file)) + name;
}

std::string AbsolutePathOf(const std::string& path) {
    const std::wstring name = win32::Widen(path);
    const DWORD n = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = ::GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return path;
    full.resize(got);
    return win32::Narrow(full);
}

}  // namespace korvid
