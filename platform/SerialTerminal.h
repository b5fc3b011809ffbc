// The emulated chip's serial port as the system shows it: a terminal that a
// client (a terminal program, a serial script) opens like a serial port (a
// pseudo-terminal on POSIX), raw (no echo, bytes unchanged), usable while
// clients come and go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvid {

class SerialTerminal {
public:
    virtual ~SerialTerminal() = default;
    // What a client opens.
    virtual const std::string& path() const = 0;
    // What the client wrote, at most `size` bytes, without waiting: the
    // count read, 0 when nothing is there.
    virtual std::size_t Read(std::uint8_t* data, std::size_t size) = 0;
    // One byte to the client; false when the terminal's buffer is full (a
    // client that does not read) or the terminal failed.
    virtual bool Write(std::uint8_t byte) = 0;
    // After a client closed the terminal: clears the exclusive flag it may
    // have left, so that the next client (an ordinary user included) can
    // open the port. A client still holding the port keeps working.
    virtual void ReleaseAfterClientClose() = 0;
};

// A new terminal; null with the system's reason.
std::unique_ptr<SerialTerminal> OpenSerialTerminal(std::string* reason);

}  // namespace korvid
