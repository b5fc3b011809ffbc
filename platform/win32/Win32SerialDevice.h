// A serial port through the Win32 communications calls: opened with no
// sharing (a port another program holds fails with the reason), and held
// by a named mutex as well, so that two programs of ours never share a
// port where the system lets them (Wine on a pseudo-terminal); the line
// set by SetCommState, reads through COMMTIMEOUTS (a read that returns at
// once for Read, one that waits for the first byte for WaitReadable; no
// WaitCommEvent, which Wine cannot serve on a pseudo-terminal). A byte that
// a wait brought in is kept for the next Read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/SerialDevice.h"

namespace korvid {

class Win32SerialDevice final : public SerialDevice {
public:
    ~Win32SerialDevice() override;
    bool Open(const std::string& path, std::string* reason) override;
    bool SetLine(std::uint32_t baud, std::string* reason) override;
    long Write(const std::uint8_t* data, std::size_t size) override;
    long Read(std::uint8_t* data, std::size_t size) override;
    void DiscardInput() override;
    void WaitReadable(std::uint32_t timeoutMs) override;
    void Close() override;

    // Makes Ctrl-C, Ctrl-Break and the console closing release the port
    // this process holds before the process ends as it would have.
    static void ReleaseOnConsoleEvents();

private:
    enum class ReadMode { None, AtOnce, Waiting };
    bool SetReadMode(ReadMode mode, std::uint32_t timeoutMs);

    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE claim_ = nullptr;  // the port's named mutex while we hold it
    ReadMode mode_ = ReadMode::None;
    std::uint32_t waitMs_ = 0;
    bool held_ = false;       // a byte a wait read, not yet handed out
    std::uint8_t heldByte_ = 0;
};

}  // namespace korvid
