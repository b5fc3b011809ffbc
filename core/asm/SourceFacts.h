// What the assembler can tell an editor about a source besides its code:
// the source's tokens as the scanner reads them, the keyword vocabulary of
// a family and dialect, and, after an assembly, where each instruction
// landed and which operand values it had to cut to fit their fields.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/asm/AssemblyState.h"

namespace korvid {

enum class SourceTokenKind : std::uint8_t {
    Comment,      // ";" to the end of the line
    String,       // a quoted character or string, quotes included
    Number,       // a number in any base, "$" or "%"
    Name,         // a name (keyword or symbol); a colon label's colon included
    Operator,     // operator signs
    Punctuation,  // , ( ) # @ !
    Error,        // what the scanner refuses, to the end of its line
};

struct SourceToken {
    std::uint32_t start;  // offsets in the source text
    std::uint32_t end;
    SourceTokenKind kind;
    std::int32_t value = 0;  // a Number's or a quoted character's value as the scanner reads it
};

// The tokens of state.SourceText (CR line ends) in order, by the scanner's
// own rules for state.dialect; line ends are not tokens. The state's error
// fields are kept; its symbol table is not used.
void ScanSourceTokens(AssemblyState& state, std::vector<SourceToken>& out);

enum class KeywordClass : std::uint8_t {
    None,
    OperatorWord,  // NOT, AND, OR, XOR, W, M, OPTION, WDT and the operator signs
    Directive,
    Instruction,
    DeviceParam,   // the words that may follow DEVICE
    Register,      // register names and their aliases (value: address)
    StatusBit,     // C, DC, Z, ... (value: bit << 8 | STATUS)
    WatchFormat,
    IrcMode,
};

struct KeywordEntry {
    std::string_view name;  // upper case
    KeywordClass kind;
    std::int32_t value;
};

// Every keyword the family and dialect know, in the symbol table's order.
std::vector<KeywordEntry> KeywordList(const Family& family, Dialect dialect);

// The class of an upper-case name in that vocabulary (None for a symbol).
KeywordClass ClassifyKeyword(const Family& family, Dialect dialect, std::string_view upperName,
                             std::int32_t* value = nullptr);

// One instruction as the last assembly stored it (second pass), in source
// order of assembly; macro expansions and repetitions give one each time.
struct InstructionFact {
    std::uint32_t start, end;         // the mnemonic in the source text
    std::uint32_t address;            // of its first word
    std::uint16_t words;              // words stored
    std::uint8_t number;              // instruction number (the keyword's value)
    bool expanded;                    // stored by a macro expansion
    bool hasTarget;                   // a jump or call with a resolved target
    std::uint32_t target;             // the target address as written (before masking)
    std::uint32_t targetStart, targetEnd;  // the target expression in the source
};

// An operand value the assembler cut to fit its field without an error:
// a literal, register, bit operand or MODE value, either side of REG.BIT,
// a DW word.
struct FieldCut {
    std::uint32_t start, end;  // the expression in the source text
    std::int32_t value;        // as written
    std::uint32_t stored;      // what the field holds
    std::uint8_t bits;         // width of the field
    bool expanded;             // inside a macro expansion
    bool literal = false;      // an 8-bit literal (#value, RETW, compares with #value)
};

inline constexpr int kMaxFieldCuts = 256;

std::span<const InstructionFact> InstructionFacts(const AssemblyState& state);
std::span<const FieldCut> FieldCuts(const AssemblyState& state);

}  // namespace korvid
