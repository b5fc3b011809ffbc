// The instruction set as one table of patterns: which 12-bit words encode
// which operation, where its operand sits in the word, and how the word is
// written in the assembler's mnemonics. The disassembler prints words from
// it and the emulator decodes program memory from it.
#pragma once

#include <cstdint>
#include <span>

namespace korvid {

// What a word does. Aliases (CLC, SKIP, JMP W, TEST W, ...) are rows of
// their own in the table but name the operation they are.
enum class Operation : std::uint8_t {
    Unused,  // no instruction: executes as no operation
    Nop, MovOptionW, Sleep, ClrWdt, MovPortW, Ret, Retp, Reti, Retiw, Page, Bank,
    MovFrW, ClrW, Iread, MovWM, MovMW, MovMLit,
    ClrFr, MovWFrMinusW, SubFrW, MovWDec, DecFr, OrWFr, OrFrW, AndWFr, AndFrW, XorWFr, XorFrW,
    AddWFr, AddFrW, MovWFr, TestFr, MovWNot, NotFr, MovWInc, IncFr, MovSzDec, DecSz,
    MovWRr, RrFr, MovWRl, RlFr, MovWSwap, SwapFr, MovSzInc, IncSz,
    Clrb, Setb, Snb, Sb,
    RetW, Call, Jmp, MovWLit, OrWLit, AndWLit, XorWLit,
    Count
};
inline constexpr int kOperationCount = static_cast<int>(Operation::Count);

// The operand field of a word.
enum class Operand : std::uint8_t {
    None,
    Register,     // fr in bits 4..0 (a port for MOV !port,W)
    RegisterBit,  // fr in bits 4..0, bit number in bits 7..5
    Literal4,     // bits 3..0
    Literal8,     // bits 7..0
    Address8,     // CALL target, bits 7..0
    Address9,     // JMP target, bits 8..0
    Page,         // page number, bits 2..0 (printed as the page's address)
    Bank,         // bank number, bits 2..0 (printed as the bank's address)
};

// Program addresses a row applies at: SKIP is the PC bit 0 test that skips
// the next word whatever the parity of its own address.
enum class Parity : std::uint8_t { Any, Even, Odd };

struct InstructionPattern {
    std::uint16_t mask;
    std::uint16_t value;  // word & mask == value
    Operation operation;
    Operand operand;
    const char* mnemonic;
    // What follows the mnemonic: '%' stands for the operand; a text without
    // '%' spells the operand itself (the aliases). Empty: nothing follows.
    const char* text;
    Parity parity = Parity::Any;
};

// The rows in matching order: the first row that matches a word is its
// instruction. Every 12-bit word at every address matches some row.
std::span<const InstructionPattern> InstructionPatterns();

// The row of program word `word` (low 12 bits) at program address `address`.
const InstructionPattern& MatchInstruction(std::uint16_t word, int address);

// Operand fields of a word.
constexpr unsigned RegisterField(unsigned word) { return word & 0x1F; }
constexpr unsigned BitField(unsigned word) { return (word >> 5) & 7; }

}  // namespace korvid
