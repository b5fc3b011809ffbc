// No terminals: the chip's serial port is shown by the page itself (its
// Serial region reads the UART decoder), never as a device to open.
#include "platform/SerialTerminal.h"

namespace korvid {

std::unique_ptr<SerialTerminal> OpenSerialTerminal(std::string* reason) {
    if (reason) *reason = "this build has no terminals for the chip's serial port";
    return nullptr;
}

}  // namespace korvid
