#include "family/InstructionSet.h"

#include "family/Registers.h"

#include <array>

namespace korvid {

namespace {

using enum Operation;
using O = Operand;

// Specific rows (aliases, fixed words) come before the general row they
// narrow.
constexpr InstructionPattern kPatterns[] = {
    // 0x000..0x01F: fixed words, port directions, PAGE, BANK
    {0xFFF, 0x000, Nop, O::None, "NOP", ""},
    {0xFFF, 0x001, Unused, O::None, "???", ""},
    {0xFFF, 0x002, MovOptionW, O::None, "MOV", "!OPTION,W"},
    {0xFFF, 0x003, Sleep, O::None, "SLEEP", ""},
    {0xFFF, 0x004, ClrWdt, O::None, "CLR", "!WDT"},
    {0xFFF, 0x005, MovPortW, O::Register, "MOV", "!%,W"},
    {0xFFE, 0x006, MovPortW, O::Register, "MOV", "!%,W"},
    {0xFFC, 0x008, MovPortW, O::Register, "MOV", "!%,W"},
    {0xFFF, 0x00C, Ret, O::None, "RET", ""},
    {0xFFF, 0x00D, Retp, O::None, "RETP", ""},
    {0xFFF, 0x00E, Reti, O::None, "RETI", ""},
    {0xFFF, 0x00F, Retiw, O::None, "RETIW", ""},
    {0xFF8, 0x010, Page, O::Page, "PAGE", "%"},
    {0xFF8, 0x018, Bank, O::Bank, "BANK", "%"},
    // 0x020..0x03F
    {0xFFF, 0x022, MovFrW, O::Register, "JMP", "W"},  // MOV PC,W
    {0xFE0, 0x020, MovFrW, O::Register, "MOV", "%,W"},
    // 0x040..0x05F
    {0xFFF, 0x040, ClrW, O::None, "CLR", "W"},
    {0xFFF, 0x041, Iread, O::None, "IREAD", ""},
    {0xFFF, 0x042, MovWM, O::None, "MOV", "W,M"},
    {0xFFF, 0x043, MovMW, O::None, "MOV", "M,W"},
    {0xFF0, 0x040, Unused, O::None, "???", ""},
    {0xFF0, 0x050, MovMLit, O::Literal4, "MOV", "M,#%"},
    // 0x060..0x3FF: register operations by bits 9..5
    {0xFE0, 0x060, ClrFr, O::Register, "CLR", "%"},
    {0xFE0, 0x080, MovWFrMinusW, O::Register, "MOV", "W,%-W"},
    {0xFE0, 0x0A0, SubFrW, O::Register, "SUB", "%,W"},
    {0xFE0, 0x0C0, MovWDec, O::Register, "MOV", "W,--%"},
    {0xFE0, 0x0E0, DecFr, O::Register, "DEC", "%"},
    {0xFE0, 0x100, OrWFr, O::Register, "OR", "W,%"},
    {0xFE0, 0x120, OrFrW, O::Register, "OR", "%,W"},
    {0xFE0, 0x140, AndWFr, O::Register, "AND", "W,%"},
    {0xFE0, 0x160, AndFrW, O::Register, "AND", "%,W"},
    {0xFE0, 0x180, XorWFr, O::Register, "XOR", "W,%"},
    {0xFE0, 0x1A0, XorFrW, O::Register, "XOR", "%,W"},
    {0xFE0, 0x1C0, AddWFr, O::Register, "ADD", "W,%"},
    {0xFFF, 0x1E2, AddFrW, O::Register, "JMP", "PC+W"},  // ADD PC,W
    {0xFE0, 0x1E0, AddFrW, O::Register, "ADD", "%,W"},
    {0xFE0, 0x200, MovWFr, O::Register, "MOV", "W,%"},
    {0xFE0, 0x220, TestFr, O::Register, "TEST", "%"},
    {0xFE0, 0x240, MovWNot, O::Register, "MOV", "W,/%"},
    {0xFE0, 0x260, NotFr, O::Register, "NOT", "%"},
    {0xFE0, 0x280, MovWInc, O::Register, "MOV", "W,++%"},
    {0xFE0, 0x2A0, IncFr, O::Register, "INC", "%"},
    {0xFE0, 0x2C0, MovSzDec, O::Register, "MOVSZ", "W,--%"},
    {0xFE0, 0x2E0, DecSz, O::Register, "DECSZ", "%"},
    {0xFE0, 0x300, MovWRr, O::Register, "MOV", "W,>>%"},
    {0xFE0, 0x320, RrFr, O::Register, "RR", "%"},
    {0xFE0, 0x340, MovWRl, O::Register, "MOV", "W,<<%"},
    {0xFE0, 0x360, RlFr, O::Register, "RL", "%"},
    {0xFE0, 0x380, MovWSwap, O::Register, "MOV", "W,<>%"},
    {0xFE0, 0x3A0, SwapFr, O::Register, "SWAP", "%"},
    {0xFE0, 0x3C0, MovSzInc, O::Register, "MOVSZ", "W,++%"},
    {0xFE0, 0x3E0, IncSz, O::Register, "INCSZ", "%"},
    // 0x400..0x7FF: bit operations, the carry and zero forms, SKIP
    {0xFFF, 0x403, Clrb, O::RegisterBit, "CLC", ""},
    {0xFFF, 0x443, Clrb, O::RegisterBit, "CLZ", ""},
    {0xF00, 0x400, Clrb, O::RegisterBit, "CLRB", "%"},
    {0xFFF, 0x503, Setb, O::RegisterBit, "STC", ""},
    {0xFFF, 0x543, Setb, O::RegisterBit, "STZ", ""},
    {0xF00, 0x500, Setb, O::RegisterBit, "SETB", "%"},
    {0xFFF, 0x603, Snb, O::RegisterBit, "SNC", ""},
    {0xFFF, 0x643, Snb, O::RegisterBit, "SNZ", ""},
    {0xFFF, 0x602, Snb, O::RegisterBit, "SKIP", "", Parity::Odd},  // SNB PC.0
    {0xF00, 0x600, Snb, O::RegisterBit, "SNB", "%"},
    {0xFFF, 0x703, Sb, O::RegisterBit, "SC", ""},
    {0xFFF, 0x743, Sb, O::RegisterBit, "SZ", ""},
    {0xFFF, 0x702, Sb, O::RegisterBit, "SKIP", "", Parity::Even},  // SB PC.0
    {0xF00, 0x700, Sb, O::RegisterBit, "SB", "%"},
    // 0x800..0xFFF: literal forms, CALL, JMP
    {0xF00, 0x800, RetW, O::Literal8, "RETW", "%"},
    {0xF00, 0x900, Call, O::Address8, "CALL", "%"},
    {0xE00, 0xA00, Jmp, O::Address9, "JMP", "%"},
    {0xF00, 0xC00, MovWLit, O::Literal8, "MOV", "W,#%"},
    {0xFFF, 0xD00, OrWLit, O::Literal8, "TEST", "W"},  // OR W,#0
    {0xF00, 0xD00, OrWLit, O::Literal8, "OR", "W,#%"},
    {0xF00, 0xE00, AndWLit, O::Literal8, "AND", "W,#%"},
    {0xFFF, 0xFFF, XorWLit, O::Literal8, "NOT", "W"},  // XOR W,#FF
    {0xF00, 0xF00, XorWLit, O::Literal8, "XOR", "W,#%"},
};

constexpr int kPatternCount = int(sizeof kPatterns / sizeof kPatterns[0]);
static_assert(kPatternCount < 256);

constexpr bool AppliesAt(const InstructionPattern& p, unsigned odd) {
    return p.parity == Parity::Any || (p.parity == Parity::Odd) == (odd != 0);
}

// A row's value lies within its mask (else it would match no word).
constexpr bool RowsAreWellFormed() {
    for (const InstructionPattern& p : kPatterns)
        if (p.value & ~p.mask) return false;
    return true;
}
static_assert(RowsAreWellFormed(), "a pattern value outside its mask");

// Row index by address parity and word, worked out at compile time so that
// a match costs one look-up. Each row writes every word it matches (its
// value with each combination of the bits outside its mask), last row
// first, so the first matching row is the one left. This visits each
// matching (row, word) pair once instead of scanning the rows for every
// word, which keeps the evaluation within every compiler's constexpr
// step limit.
using Index = std::array<std::array<std::uint8_t, 4096>, 2>;
constexpr Index BuildIndex() {
    Index index{};
    for (auto& half : index) half.fill(static_cast<std::uint8_t>(kPatternCount));  // no row yet
    for (int row = kPatternCount - 1; row >= 0; --row) {
        const InstructionPattern& p = kPatterns[row];
        const unsigned free = ~unsigned(p.mask) & 0xFFFu;
        for (unsigned odd = 0; odd < 2; ++odd) {
            if (!AppliesAt(p, odd)) continue;
            for (unsigned bits = free;; bits = (bits - 1) & free) {
                index[odd][p.value | bits] = static_cast<std::uint8_t>(row);
                if (bits == 0) break;
            }
        }
    }
    return index;
}
constexpr Index kIndex = BuildIndex();

constexpr bool EveryWordMatches() {
    for (const auto& half : kIndex)
        for (std::uint8_t row : half)
            if (row >= kPatternCount) return false;
    return true;
}
static_assert(EveryWordMatches(), "a word that no pattern matches");

}  // namespace

WordTiming TimingOfWord(std::uint16_t word, int address, ClockMode mode) {
    const InstructionPattern& p = MatchInstruction(word, address);
    const OperationTiming& t = TimingOf(p.operation);
    const bool loadsPc = t.writesRegister && (p.operand == Operand::Register || p.operand == Operand::RegisterBit) &&
                         RegisterField(word) == kPcRegister;
    if (loadsPc) return {static_cast<std::uint8_t>(ClassCycles(TimingClass::Jump, mode)), false, true};
    return {static_cast<std::uint8_t>(ClassCycles(t.timing, mode)), t.timing == TimingClass::Skip};
}

std::span<const InstructionPattern> InstructionPatterns() { return kPatterns; }

const InstructionPattern& MatchInstruction(std::uint16_t word, int address) {
    return kPatterns[kIndex[unsigned(address) & 1][word & 0xFFF]];
}

}  // namespace korvid
