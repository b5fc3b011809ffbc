// The chip's memory layout as the family and the extended fuse word select
// it: program size and address mask, RAM banks, the FSR bits the smaller
// parts force on, and the named ports. The assembler, the debugger, the
// emulator and the windows all take it from here.
#pragma once

#include <cstdint>

#include "family/Family.h"

namespace korvid {

struct Layout {
    int programSize = 2048;           // program words
    std::uint16_t addressMask = 0x7FF;  // programSize − 1
    int bankCount = 8;                // RAM banks: 28 family 1, 4 or 8 of 32 registers; 52 16 of 16
    std::uint8_t forcedFsrBits = 0;   // FSR bank bits that read as 1 (banks the part lacks)
    int portCount = 3;                // ports RA.. named at 05h..
};

// The FSR bank bits above `bankCount` banks of 32 registers, which read as
// 1: 1 bank E0h, 4 banks 80h, 8 banks (and the 52's 16) none.
constexpr std::uint8_t ForcedFsrBits(int bankCount) { return static_cast<std::uint8_t>((256 - 32 * bankCount) & 0xFF); }

// 28 family: memory code (bits 1..0) 00 512 words and 1 bank, 01 1024 and
// 1, 10 2048 and 4, 11 2048 and 8; bit 10 set gives the 28-pin part's RC.
// 52: the family's fixed layout.
Layout LayoutOf(const Family& family, std::uint16_t extFuse);

// The register an indirect address (FSR) reaches: on the 28 family an
// address with bit 4 clear is one of the 16 global registers.
constexpr int IndirectRegister(const Family& family, std::uint32_t fsr) {
    fsr &= 0xFFu;
    if (!family.globalRegistersMirrored || (fsr & 0x10u)) return static_cast<int>(fsr);
    return static_cast<int>(fsr & 0x0Fu);
}

// The file address of banked register `fr` (its low four bits count) in
// RAM bank `bank`: banks of 1 << bankShift registers, of which the 28
// family's lower 16 mirror the global registers (its banked ones are
// x0h..xFh + 10h); the 52's 16 banks are linear.
constexpr int BankRegisterAddress(const Family& family, int bank, int fr) {
    return (bank << family.bankShift) + (family.globalRegistersMirrored ? 0x10 : 0) + (fr & 0x0F);
}

}  // namespace korvid
