#include "platform/SerialPorts.h"

#include "platform/win32/Win32SerialDevice.h"

namespace korvid {

std::unique_ptr<SerialDevice> MakeSerialDevice() { return std::make_unique<Win32SerialDevice>(); }

void ReleasePortsOnSignals() { Win32SerialDevice::ReleaseOnConsoleEvents(); }

bool HasSerialPorts() { return true; }

}  // namespace korvid
