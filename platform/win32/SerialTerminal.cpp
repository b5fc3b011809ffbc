#include "platform/SerialTerminal.h"

namespace korvid {

// Windows has no pseudo-terminals: the chip's serial port is not shown as a
// port here (a file of bytes serves instead, where a command offers one).
std::unique_ptr<SerialTerminal> OpenSerialTerminal(std::string* reason) {
    if (reason) *reason = "a pseudo-terminal for the chip's serial port is not available on Windows";
    return nullptr;
}

}  // namespace korvid
