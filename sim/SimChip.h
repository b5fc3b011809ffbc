// The chip on the simulated tool: its flash (program words, ID, fuse and
// extended fuse words in the image layout), its internal RC oscillator and
// the clock the tool feeds it. The firmware model and the chip runner
// (debugging) both work on it.
#pragma once

#include <cstdint>

#include "core/asm/AssemblyState.h"

namespace korvid {

struct SimChip {
    explicit SimChip(const Family& f) : family(&f) { Erase(); }

    const Family* family;
    Image flash{};
    // IRC: frequency(trim) = 4 MHz x (1 + ircOffset) x (1 + 0.05 x (3.5 - trim)).
    double ircOffset = 0.03;
    // Clock generator: last setting word and whether the output runs.
    std::uint32_t clockSetting = 0;
    bool clockRunning = false;

    // Every word to 0xFFF.
    void Erase();
    // Programming can only clear bits: new = old AND value. Words outside
    // the chip's program memory are ignored.
    void ProgramWord(int index, std::uint16_t value);
    // Trim (0..7) held in extended fuse bits 8, 9 and 11.
    int Trim() const;
    double IrcFrequency() const;
    // The count the tool measures: 1,266,035,968 / frequency, rounded,
    // within 12 bits.
    std::uint16_t MeasureIrc() const;
};

}  // namespace korvid
