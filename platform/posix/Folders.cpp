#include "platform/Folders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvid {

bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& reason) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        reason = std::strerror(errno);
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(dir);
    return true;
}

std::optional<std::string> FolderKey(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return std::nullopt;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool CanCreateIn(const std::string& folder, std::string& reason) {
    if (::access(folder.c_str(), W_OK | X_OK) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

}  // namespace korvid
