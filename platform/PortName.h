// Where a port name leads: "COM1" to "COM4" keep their names in every
// message; the device behind COMn is $KORVID_COMn if set, else the n-th USB
// serial device present (/dev/ttyUSB* then /dev/ttyACM*, in name order),
// else /dev/ttyS<n-1>. A name that begins with "/" is a device path.
#pragma once

#include <string>

namespace korvid {

std::string PortDevicePath(const std::string& portName);

// "COM1".."COM4" or a path beginning with "/".
bool IsValidPortName(const std::string& portName);

}  // namespace korvid
