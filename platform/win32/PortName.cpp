#include "platform/PortName.h"

namespace korvid {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// "COMn" with n from 1 to 255 (no leading zero): the Windows port of that
// number.
bool IsComName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0') return false;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 255;
}

}  // namespace

bool IsValidPortName(const std::string& name) {
    return IsComName(name) || (name.size() > kDevicePrefix.size() && name.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0);
}

// COM1 to COM4 (the IDE's choices) and every other COMn are the system's
// ports of those numbers, opened by their device names (needed from COM10
// on); a device name given whole is used as it is.
std::string PortDevicePath(const std::string& name) {
    return IsComName(name) ? std::string(kDevicePrefix) + name : name;
}

}  // namespace korvid
