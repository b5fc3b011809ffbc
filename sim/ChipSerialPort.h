// The emulated chip's serial port on a pseudo-terminal: what a client (a
// terminal program, a serial script) writes to the terminal reaches the
// chip's receive pin as 8N1 frames (a low start bit, eight data bits from
// bit 0, a high stop bit), back to back; what the program sends on its
// transmit pin is decoded and written back to the terminal. The run is
// paced to real time so that the baud rate holds for the client.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/SerialTerminal.h"
#include "platform/StopFlag.h"
#include "sim/SimDriver.h"
#include "sim/UartDecoder.h"

namespace korvid {

struct SerialPins {
    int rxPort = 0, rxBit = 0;  // into the chip
    int txPort = 0, txBit = 0;  // out of it
    std::uint32_t baud = 0;
};

// "RB.7,RB.6:9600": receive pin, transmit pin, baud rate. False when the
// text is not of that form.
bool ParseSerialPins(const std::string& text, SerialPins& pins);

class ChipSerialPort final : public PinSink, public LiveInput {
public:
    ChipSerialPort(const SerialPins& pins, SimTimeBase base);
    ~ChipSerialPort() override;
    ChipSerialPort(const ChipSerialPort&) = delete;
    ChipSerialPort& operator=(const ChipSerialPort&) = delete;

    // Creates the terminal (raw: no echo, bytes unchanged). It stays usable
    // while clients come and go. False with the system's reason.
    bool Open(std::string* reason);
    // Serves a terminal made elsewhere (a page's own, in memory).
    void Open(std::unique_ptr<SerialTerminal> terminal);
    const std::string& SlavePath() const { return slavePath_; }

    // Drives the receive pin idle (high) and becomes the driver's live
    // input and one of its sinks: every run of the driver serves the port.
    void Attach(SimDriver& driver);
    // Reads what the client wrote and queues it; its first start bit comes
    // no earlier than `cycle`. At most kQueueLimit bytes wait: beyond them
    // the bytes stay in the terminal, whose buffer then fills and holds the
    // client's writes back, as flow control would, so that a client that
    // writes faster than the baud rate loses nothing. Releases the port a
    // client left exclusive.
    void Poll(std::uint64_t cycle) override;
    static constexpr std::size_t kQueueLimit = 4096;
    // After a client closed the terminal: clears the exclusive flag it may
    // have left (see Poll).
    void ReleaseAfterClientClose();
    // The cycle of the next level change of the receive pin (~0: none).
    std::uint64_t NextEdge() const override;
    // Drives the receive pin's levels due by `cycle`.
    void Apply(std::uint64_t cycle) override;
    // Bytes written back to the client and bytes that found no room.
    std::uint64_t sent = 0, dropped = 0;
    // "12 bytes that the program sent were dropped: ...", for the end of a session.
    std::string DroppedNote() const;

    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override;
    void Reached(std::uint64_t cycle) override;
    // A new clock, or a power-on reset that restarts the CPU's cycles: the
    // bit time follows, and a frame on the line starts again.
    void TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) override;

    // Runs the chip from its current cycle to `endCycle` (or its break
    // address), no faster than real time, serving the terminal on the way.
    // Stops early (returning Trap) once `stop` is non-zero.
    SxStop RunPaced(SimDriver& driver, SxCpu& cpu, std::uint64_t endCycle, const volatile std::sig_atomic_t* stop);

private:
    void Send(std::uint8_t byte);

    SerialPins pins_;
    SimTimeBase base_;
    double cyclesPerBit_;
    UartDecoder tx_;
    SimDriver* driver_ = nullptr;
    std::unique_ptr<SerialTerminal> terminal_;
    std::string slavePath_;
    std::deque<std::uint8_t> queue_;  // bytes to send into the chip
    bool busy_ = false;               // a frame is on the line
    double frameStart_ = 0;           // its start bit's cycle
    int bit_ = 0;                     // next level: 0 start, 1..8 data, 9 stop
    double lineFree_ = 0;             // the end of the last stop bit
};

}  // namespace korvid
