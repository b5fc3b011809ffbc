#include "sim/UartDecoder.h"

#include <cmath>

namespace korvid {

void UartDecoder::SampleUntil(std::uint64_t cycle) {
    while (inFrame_) {
        const auto at = static_cast<std::uint64_t>(
            std::floor(static_cast<double>(start_) + (bit_ + 0.5) * bitCycles_));
        if (at >= cycle) return;
        if (bit_ == 0) {
            if (level_) inFrame_ = false;  // a glitch, not a start bit
        } else if (bit_ <= 8) {
            if (level_) byte_ = static_cast<std::uint8_t>(byte_ | (1u << (bit_ - 1)));
        } else {
            inFrame_ = false;
            if (level_) {
                if (onByte) onByte(byte_);
            } else if (onFramingError) {
                onFramingError(at);
            }
            return;
        }
        ++bit_;
    }
}

void UartDecoder::PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) {
    if (port != port_) return;
    const bool level = (levels & mask_) != 0;
    SampleUntil(cycle);
    const bool wasHigh = level_;
    level_ = level;
    if (!known_) {
        known_ = true;
        return;
    }
    if (!inFrame_ && wasHigh && !level) {
        inFrame_ = true;
        start_ = cycle;
        bit_ = 0;
        byte_ = 0;
    }
}

void UartDecoder::Reached(std::uint64_t cycle) { SampleUntil(cycle); }

}  // namespace korvid
