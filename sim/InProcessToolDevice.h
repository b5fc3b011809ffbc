// A SerialDevice whose other end is the simulated tool in the same process:
// fast, deterministic link tests without a port. The tool answers only
// while the line speed matches its own; closing the port disconnects it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"
#include "core/link/TickSource.h"
#include "sim/ToolFirmware.h"

namespace korvid {

class InProcessToolDevice final : public SerialDevice {
public:
    InProcessToolDevice(ToolFirmware& firmware, TickSource& ticks, std::uint32_t toolBaud = 57600)
        : firmware_(firmware), ticks_(ticks), toolBaud_(toolBaud) {}

    bool Open(const std::string& path, std::string* reason) override;
    bool SetLine(std::uint32_t baud, std::string* reason) override;
    long Write(const std::uint8_t* data, std::size_t size) override;
    long Read(std::uint8_t* data, std::size_t size) override;
    void WaitReadable(std::uint32_t timeoutMs) override;
    void Close() override;

    // Test controls.
    bool failOpen = false;
    long writeLimit = -1;  // accept at most this many bytes per write (-1: all)
    std::size_t readChunk = 0;  // deliver at most this many bytes per read (0: all)
    std::vector<std::uint8_t> written;  // every byte written, raw
    std::string openedPath;
    std::uint32_t lineBaud = 0;
    int opens = 0;

private:
    ToolFirmware& firmware_;
    TickSource& ticks_;
    std::uint32_t toolBaud_;
    bool open_ = false;
};

}  // namespace korvid
