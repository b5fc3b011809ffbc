// The serial ports of the system the program runs on: a device for the link
// to open (a real port, or korvid-sim's pseudo-terminal), and the release of
// a port this process holds when a signal ends it. The programs (the IDE,
// the command line, the debug adapter) make their device here instead of
// naming the system's device class.
#pragma once

#include <memory>

#include "platform/SerialDevice.h"

namespace korvid {

// A closed device of this system's kind.
std::unique_ptr<SerialDevice> MakeSerialDevice();

// Makes the signals that end the program (Ctrl-C and the like) release the
// port this process holds before they end it as they would have. Signals
// the process ignores stay ignored.
void ReleasePortsOnSignals();

// Whether this system has serial ports at all (a WebAssembly build has
// none: its device commands are refused before they start).
bool HasSerialPorts();

}  // namespace korvid
