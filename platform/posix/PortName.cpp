#include "platform/PortName.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <vector>

namespace korvid {

namespace {
std::vector<std::string> DevicesWithPrefix(const char* prefix) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir("/dev")) {
        std::string p(prefix);
        while (dirent* e = ::readdir(dir)) {
            std::string n = e->d_name;
            if (n.size() > p.size() && n.compare(0, p.size(), p) == 0) names.push_back("/dev/" + n);
        }
        ::closedir(dir);
    }
    // Name order with numeric suffixes compared as numbers (ttyUSB2 < ttyUSB10).
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}
}  // namespace

bool IsValidPortName(const std::string& name) {
    if (!name.empty() && name[0] == '/') return true;
    return name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '4';
}

std::string PortDevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (!IsValidPortName(name)) return name;
    int n = name[3] - '0';
    std::string var = "KORVID_" + name;
    if (const char* env = std::getenv(var.c_str()); env && *env) return env;
    std::vector<std::string> usb = DevicesWithPrefix("ttyUSB");
    std::vector<std::string> acm = DevicesWithPrefix("ttyACM");
    usb.insert(usb.end(), acm.begin(), acm.end());
    if (static_cast<std::size_t>(n) <= usb.size()) return usb[static_cast<std::size_t>(n - 1)];
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace korvid
