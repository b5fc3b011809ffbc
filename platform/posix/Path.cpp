#include "platform/Path.h"

#include <cstdlib>

namespace korvid {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string BesideFile(const std::string& file, const std::string& name) {
    if (IsAbsolutePath(name)) return name;
    const auto slash = file.rfind('/');
    return slash == std::string::npos ? name : file.substr(0, slash + 1) + name;
}

std::string AbsolutePathOf(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string shown = real ? real : path;
    std::free(real);
    return shown;
}

}  // namespace korvid
