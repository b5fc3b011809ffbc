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

// How long an instruction takes, in instruction cycles. A turbo-mode
// cycle is one clock, a compatible-mode cycle four; the 52 family runs in
// turbo mode only.
enum class ClockMode : std::uint8_t { Turbo, Compatible };

// What decides an instruction's cycles.
enum class TimingClass : std::uint8_t {
    Single,  // one cycle
    Skip,    // one cycle; when it skips, one more for each annulled word
    Jump,    // loads the PC: jumps, calls, returns
    Read,    // IREAD: a program memory read
};

struct OperationTiming {
    TimingClass timing;
    // The operation writes its register operand: with PC (02h) as that
    // register it loads the PC and costs a jump (JMP W, JMP PC+W, ...),
    // and a skip's skip is lost to the load.
    bool writesRegister;
};

// Cycles of a timing class in a mode: a jump flushes the pipeline (3
// cycles in turbo mode, 2 in compatible mode).
constexpr int ClassCycles(TimingClass timing, ClockMode mode) {
    switch (timing) {
        case TimingClass::Jump: return mode == ClockMode::Turbo ? 3 : 2;
        case TimingClass::Read: return 4;
        default: return 1;
    }
}
// Each word a taken skip annuls costs one cycle more.
constexpr int kAnnulledWordCycles = 1;
// The interrupt's entry costs like a taken jump.
constexpr int InterruptEntryCycles(ClockMode mode) { return ClassCycles(TimingClass::Jump, mode); }

// Each operation's timing.
constexpr OperationTiming TimingOf(Operation operation) {
    using enum Operation;
    // clang-format off
    switch (operation) {
        case Ret: case Retp: case Reti: case Retiw: case RetW: case Call: case Jmp:
            return {TimingClass::Jump, false};
        case Iread:
            return {TimingClass::Read, false};
        case MovSzDec: case MovSzInc: case Snb: case Sb:
            return {TimingClass::Skip, false};
        case DecSz: case IncSz:
            return {TimingClass::Skip, true};
        // TEST fr writes fr back to itself.
        case MovFrW: case ClrFr: case SubFrW: case DecFr: case OrFrW: case AndFrW: case XorFrW: case AddFrW:
        case TestFr: case NotFr: case IncFr: case RrFr: case RlFr: case SwapFr: case Clrb: case Setb:
            return {TimingClass::Single, true};
        default:
            return {TimingClass::Single, false};
    }
    // clang-format on
}

// The cycles of an instruction word (the skip not taken) and whether it
// is a skip, whose taken case adds one cycle per annulled word, or a
// register write that loads the PC.
struct WordTiming {
    std::uint8_t cycles;
    bool skip;
    bool writesPc = false;
};
WordTiming TimingOfWord(std::uint16_t word, int address, ClockMode mode);

// Operand fields of a word.
constexpr unsigned RegisterField(unsigned word) { return word & 0x1F; }
constexpr unsigned BitField(unsigned word) { return (word >> 5) & 7; }

}  // namespace korvid
