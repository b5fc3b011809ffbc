// Decodes 8N1 serial frames that the program sends on one pin: idle high, a
// start bit, eight data bits LSB first, a stop bit. Each bit is sampled in
// its middle from the pin levels the simulation reports; a byte is handed
// on once its stop bit has been sampled, a low stop bit is a framing error.
#pragma once

#include <cstdint>
#include <functional>

#include "sim/SimDriver.h"

namespace korvid {

class UartDecoder final : public PinSink {
public:
    // `cyclesPerBit`: instruction cycles of one bit at the baud rate.
    UartDecoder(int port, int bit, double cyclesPerBit) : port_(port), mask_(1u << bit), bitCycles_(cyclesPerBit) {}

    std::function<void(std::uint8_t byte)> onByte;
    // The cycle of the stop bit's sample.
    std::function<void(std::uint64_t cycle)> onFramingError;

    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override;
    void Reached(std::uint64_t cycle) override;

private:
    // Takes the samples due before `cycle` at the current level.
    void SampleUntil(std::uint64_t cycle);

    int port_;
    unsigned mask_;
    double bitCycles_;
    bool level_ = true;     // idle high until the pin says otherwise
    bool known_ = false;
    bool inFrame_ = false;
    std::uint64_t start_ = 0;  // cycle of the start bit's falling edge
    int bit_ = 0;              // next sample: 0 start, 1..8 data, 9 stop
    std::uint8_t byte_ = 0;
};

}  // namespace korvid
