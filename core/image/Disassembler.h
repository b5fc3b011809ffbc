// One program word of the chip image as instruction text, and one listing
// line as display text. Both write into a fixed buffer of the core and
// return text that stays valid until the next call of the same service;
// neither allocates nor changes the assembly state.
#pragma once

#include <cstdint>

#include "core/asm/AssemblyState.h"

namespace korvid {

// Longest instruction text ("MOVSZ W,++STATUS").
inline constexpr int kMaxInstructionText = 16;
inline constexpr int kListLineBuffer = 256;

// Program word `address` (0..4095; other values are taken modulo 4096) of
// the chip image in the assembler's mnemonics. `registerOneIsW` nonzero
// names register 1 WREG instead of RTCC. Only the low 12 bits of the word
// are decoded; the address decides how 0x602/0x702 print (SKIP).
const char* DisassembleWord(const AssemblyState& state, int address, std::uint8_t registerOneIsW);

// The same decoding for a bare word, for callers without a chip image.
// `extFuse` gives the pin count (bit 10) of the 28L parts.
const char* DisassembleWord(const Family& family, std::uint16_t extFuse, std::uint16_t word, int address,
                            std::uint8_t registerOneIsW);

// Listing line `line` (counted from 0) with TABs expanded to the next
// multiple of 8 columns, cut at 255 characters, in a 256-byte buffer whose
// rest is NUL. `text` receives the buffer. A line index outside the
// recorded lines, or an offset outside the list text, gives an empty line.
void GetListLine(const AssemblyState& state, int line, const char*& text);

}  // namespace korvid
