#include "platform/SerialPorts.h"

#include "platform/posix/PosixSerialDevice.h"

namespace korvid {

std::unique_ptr<SerialDevice> MakeSerialDevice() { return std::make_unique<PosixSerialDevice>(); }

void ReleasePortsOnSignals() { PosixSerialDevice::ReleaseOnSignals(); }

bool HasSerialPorts() { return true; }

}  // namespace korvid
