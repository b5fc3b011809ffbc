// A serial port through POSIX termios: raw mode, O_NOCTTY, exclusive while
// open (TIOCEXCL, released with TIOCNXCL before the close, and an advisory
// flock, which binds root too), non-blocking reads, poll()-based waiting; a
// hung-up line reads as a failure.
// Control-line ioctls that a device does not support (pseudo-terminals) are
// ignored.
#pragma once

#include "platform/SerialDevice.h"

namespace korvid {

class PosixSerialDevice final : public SerialDevice {
public:
    ~PosixSerialDevice() override;
    bool Open(const std::string& path, std::string* reason) override;
    bool SetLine(std::uint32_t baud, std::string* reason) override;
    long Write(const std::uint8_t* data, std::size_t size) override;
    long Read(std::uint8_t* data, std::size_t size) override;
    void DiscardInput() override;
    void WaitReadable(std::uint32_t timeoutMs) override;
    void Close() override;

    // Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT release the port this
    // process holds (its exclusive flag, which would outlive the process
    // on a pseudo-terminal) before they end the process as they would
    // have. Signals the process ignores stay ignored.
    static void ReleaseOnSignals();

private:
    int fd_ = -1;
    bool exclusive_ = false;  // this open set TIOCEXCL, so its close clears it
};

// Writes `size` bytes to a non-blocking descriptor, waiting up to 100 ms
// for room each time it is full, and gives up after `stallLimit` such waits
// in a row without progress: a reader that stops reading ends as a short
// write rather than a hang. The bytes written, or -1 for an error before any.
long WriteWaiting(int fd, const std::uint8_t* data, std::size_t size, int stallLimit);

}  // namespace korvid
