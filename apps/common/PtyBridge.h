// Bridges a pseudo-terminal to the simulated tool: the client opens the
// slave side like a serial port; bytes from it go to the firmware, the
// firmware's answers go back. The tool answers only while the client's line
// speed (read from the pty's termios) matches its own; a client that closes
// the slave disconnects the tool, as a dropped DTR line would. Paced (the
// default), bytes reach the firmware and the client no faster than the line
// speed carries them (ten bits a byte, both directions at once), as with a
// real tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "apps/common/LinkName.h"
#include "platform/StopFlag.h"
#include "sim/ToolFirmware.h"

namespace korvid {

class PtyBridge {
public:
    PtyBridge(ToolFirmware& firmware, std::uint32_t baud) : firmware_(firmware), baud_(baud) {}
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // Creates the pty pair; false with the system's reason.
    bool Open(std::string* reason);
    const std::string& SlavePath() const { return slavePath_; }

    // Serves the client until `stop` becomes non-zero. With `log` set, one
    // line per connection and per ignored burst is written to it.
    void Run(volatile std::sig_atomic_t& stop, std::FILE* log);
    // With a trace file, every chunk read and written is dumped in hex.
    void SetTrace(std::FILE* trace) { trace_ = trace; }
    // Unpaced, answers leave at once (for tests that do not need the pace).
    void SetPaced(bool paced) { paced_ = paced; }
    // Work of the same process done between polls of the line, at least
    // every 200 ms while it is quiet (the chip's serial port's upkeep).
    void SetIdleWork(std::function<void()> work) { idleWork_ = std::move(work); }

private:
    bool SpeedMatches() const;
    // After a close of the slave: true when no client has it open any more,
    // with the exclusive flag cleared for the next client. A client still
    // there keeps its flag.
    bool ClientGone();
    bool WriteAll(const std::uint8_t* data, std::size_t size);
    // Hands the bytes the client wrote to the firmware and writes back its
    // answers. Paced, the line is full duplex as a serial line is: each byte
    // reaches the firmware when its ten bits have crossed the line in, each
    // answer byte (an echo among them) leaves once made and the line out is
    // free, so an echo trails its byte by one byte's time. The two marks say
    // until when each direction is busy (steady-clock microseconds). False
    // when the client stopped reading.
    bool Serve(const std::uint8_t* data, std::size_t size, std::int64_t& inBusyUs, std::int64_t& outBusyUs);

    ToolFirmware& firmware_;
    std::uint32_t baud_;
    int master_ = -1;
    int heldSlave_ = -1;    // our own read-only descriptor of the slave
    int closeWatch_ = -1;   // inotify: the slave closed after writing (a client's close)
    std::FILE* trace_ = nullptr;
    bool paced_ = true;
    std::string slavePath_;
    std::function<void()> idleWork_;
};

}  // namespace korvid
