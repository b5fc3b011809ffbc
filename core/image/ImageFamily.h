// Family data of the chip image services (disassembler and debug image),
// kept as one small table per family so that the services never test the
// family themselves.
#pragma once

#include <cstdint>

#include "family/Family.h"

namespace korvid {

struct ImageFamilyData {
    // Highest register address that the disassembler prints by name, by bit
    // 10 of the chip image's extended fuse word (28L: 18-pin part names up to
    // RB, 28-pin up to RC; 52: RE either way).
    std::uint8_t namedRegisterLimit[2];
    // BANK n prints the bank start address n << bankDisplayShift.
    std::uint8_t bankDisplayShift;
    // Debugging oscillator setting: fuse := (fuse & keep) | oscillator.
    std::uint16_t debugFuseKeep;
    std::uint16_t debugFuseOscillator;
    // Turbo mode: always (52) or when fuse bit 11 is clear (28L).
    bool alwaysTurbo;
    // Kernel word 75: SETB FSR.4 where FSR bit 4 selects the banked half of
    // a bank (28L), NOP where FSR is a linear 8-bit address (52).
    std::uint16_t kernelWord75;
};

inline const ImageFamilyData& ImageData(const Family& family) {
    static constexpr ImageFamilyData kSx28l{{6, 7}, 5, 0xF1C, 0x080, false, 0x584};
    static constexpr ImageFamilyData kSx52{{9, 9}, 4, 0xF0C, 0x0A0, true, 0x000};
    return family.is52() ? kSx52 : kSx28l;
}

}  // namespace korvid
