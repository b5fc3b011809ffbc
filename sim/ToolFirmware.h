// The simulated tool's firmware: a byte-in/byte-out model of the tool's side
// of the link, with no I/O of its own. Every received byte is echoed; the
// detection text " Korvid" is answered with "Korvid", the seed and the
// firmware version; from then on the stream is scrambled from the seed and
// the command bytes 0 to 9 are served against the simulated chip. Debug
// commands (4 to 7) reach the chip runner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/ChipRunner.h"
#include "sim/SimChip.h"

namespace korvid {

struct ToolOptions {
    std::uint16_t seed = 0x5A3C;       // detection seed, low byte sent first
    std::uint8_t firmwareVersion = 2;  // version byte of the detection reply
    bool brandel = false;              // seed = link key: plain stream, no debug or clock

    // Faults for tests (negative = off).
    int failStatus = -1;          // answer this status byte ...
    long failAfterStatuses = 0;   // ... in place of the status after this many good ones (once)
    long silentAfterBytes = -1;   // stop echoing and answering after this many bytes received
    int badDetectIndex = -1;      // send a wrong character at this index of "Korvid"
    long garbageAfterBytes = -1;  // after this many bytes received, add a junk byte after each echo
};

class ToolFirmware {
public:
    ToolFirmware(const Family& family, const ToolOptions& options = {});
    ToolFirmware(const ToolFirmware&) = delete;
    ToolFirmware& operator=(const ToolFirmware&) = delete;

    // A byte from the client's transmit line.
    void Receive(std::uint8_t wire);
    void Receive(const std::uint8_t* data, std::size_t size);
    // Bytes for the client's receive line, oldest first.
    std::size_t TakeOutput(std::uint8_t* out, std::size_t max);
    bool HasOutput() const { return !output_.empty(); }
    // The client closed the port (DTR dropped): the tool waits for a new
    // detection. The chip keeps its flash.
    void Disconnect();

    SimChip& Chip() { return chip_; }
    const ToolOptions& Options() const { return options_; }
    // Installs the debug side (the default keeps the chip halted and idle).
    void SetRunner(ChipRunner* runner) { runner_ = runner ? runner : &defaultRunner_; }
    std::uint16_t ScrambleState() const { return scramble_; }
    bool Connected() const { return connected_; }

    // When set, every byte received after detection is appended here as
    // the tool decoded it (for tests and traces).
    std::vector<std::uint8_t>* plainLog = nullptr;

    // Traffic counters since construction.
    std::uint64_t BytesReceived() const { return bytesIn_; }
    std::uint64_t BytesSent() const { return bytesOut_; }

private:
    enum class Expect : std::uint8_t {
        Command,       // top-level command byte
        EraseLength,   // after 1
        ClockBytes,    // three bytes after 8
        StateCount,    // after 6
        PayloadCount,  // after 7
        PayloadBytes,
        BlockHeader,   // inside a programming sequence
        BlockPulse,
        BlockWords,
        ReadRequest,   // inside a read sequence
    };

    void Process(std::uint8_t plain);
    void Command(std::uint8_t c);
    void Detect(std::uint8_t b);
    void Emit(std::uint8_t plain);  // an answer byte, scrambled
    void EmitWord(std::uint16_t w);
    void EmitStatus(std::uint8_t status);
    void FinishBlock();

    const Family& family_;
    ToolOptions options_;
    SimChip chip_;
    ChipRunner defaultRunner_;
    ChipRunner* runner_ = &defaultRunner_;
    std::deque<std::uint8_t> output_;

    bool connected_ = false;
    std::uint16_t scramble_ = 0;
    int detectMatched_ = 0;
    Expect expect_ = Expect::Command;
    std::uint8_t argBytes_[256] = {};
    std::size_t argCount_ = 0;
    std::size_t argWanted_ = 0;
    std::uint8_t blockHeader_ = 0;
    int programNext_ = 0;  // next program word of the sequence's 32-word blocks
    int readNext_ = 0;     // next program word of the read sequence
    std::uint16_t lastCount_ = 0;
    long statusesSent_ = 0;
    bool faultUsed_ = false;
    std::uint64_t bytesIn_ = 0;
    std::uint64_t bytesOut_ = 0;
    std::uint32_t junk_ = 0x1234567;
};

}  // namespace korvid
