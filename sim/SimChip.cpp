#include "sim/SimChip.h"

#include <cmath>

namespace korvid {

void SimChip::Erase() { flash.fill(0x0FFF); }

void SimChip::ProgramWord(int index, std::uint16_t value) {
    if (index < 0 || index >= kImageWords) return;
    if (index < kProgramWords && index >= family->maxProgramSize) return;
    flash[static_cast<std::size_t>(index)] &= static_cast<std::uint16_t>(value & kWordMask);
}

int SimChip::Trim() const {
    unsigned x = flash[kExtFuseIndex];
    return static_cast<int>(((x >> 8) & 1u) | (((x >> 9) & 1u) << 1) | (((x >> 11) & 1u) << 2));
}

double SimChip::IrcFrequency() const {
    return 4000000.0 * (1.0 + ircOffset) * (1.0 + 0.05 * (3.5 - Trim()));
}

std::uint16_t SimChip::MeasureIrc() const {
    double f = IrcFrequency();
    if (!(f > 0.0)) return 0;
    double count = std::round(1266035968.0 / f);
    if (!(count < 4095.0)) return 0x0FFF;
    return static_cast<std::uint16_t>(count);
}

}  // namespace korvid
