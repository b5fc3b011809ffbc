// The serial device under the link: open a path, set the line, write, read
// what has arrived, wait for input, close. PosixSerialDevice drives a real
// port (or a pseudo-terminal); InProcessToolDevice (sim/) answers from the
// simulated tool; tests record and script it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvid {

class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    // Opens the device for exclusive read and write; false with the system's
    // reason on failure.
    virtual bool Open(const std::string& path, std::string* reason) = 0;
    // Sets baud, 8N1, no flow control, DTR on, RTS off, raw non-blocking.
    virtual bool SetLine(std::uint32_t baud, std::string* reason) = 0;
    // Writes up to `size` bytes; returns the bytes written or -1 on failure.
    virtual long Write(const std::uint8_t* data, std::size_t size) = 0;
    // Reads what has arrived (at most `size`) without waiting; returns the
    // bytes read (0 when nothing is there) or -1 on failure.
    virtual long Read(std::uint8_t* data, std::size_t size) = 0;
    // Drops input that has arrived but not been read (left over from an
    // earlier connection or noise while the tool powered up).
    virtual void DiscardInput() {}
    // Waits up to `timeoutMs` for input to arrive without spinning.
    virtual void WaitReadable(std::uint32_t timeoutMs) = 0;
    virtual void Close() = 0;
};

}  // namespace korvid
