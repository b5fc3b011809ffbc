// Assembler dialects. The strict dialect is the default; the extended one
// accepts the wider dialect found in older community sources. Every
// difference is one row of kDialectDifferences (the DEVICE vocabulary that
// only the extended dialect knows is data in the family tables).
#pragma once

#include <cstdint>
#include <string_view>

namespace korvid {

enum class Dialect : std::uint8_t { Strict, Extended };

// One difference between the dialects. The assembler asks for a difference
// by its number; a dialect has it when its bit is set in the row.
enum class DialectDifference : std::uint8_t {
    ExtraDeviceWords,    // family extendedDeviceParams (part aliases, STACKX, BOROFF, WDRT...)
    DoubleEquals,        // "==" compares like "="
    HashBeforeBankPage,  // "#" before the operand of BANK and PAGE is ignored
    ColonLabels,         // "loop:" defines LOOP
    LongNames,           // names up to 64 characters instead of 32
    ThenEndsIf,          // THEN may end an IF, IFDEF or IFNDEF line
    IfdefOfVariable,     // IFDEF/IFNDEF of a symbol made with "="
    BreakOperand,        // BREAK addr puts the breakpoint at addr
    IrcCalDirective,     // IRC_CAL IRC_SLOW|IRC_4MHZ|IRC_FAST (extra keywords)
    NamedMacroParams,    // "name MACRO a, b, c": parameters used by name
    Count
};

struct DialectRow {
    DialectDifference difference;
    std::uint8_t dialects;  // bit 0 strict, bit 1 extended
    std::string_view what;
};

inline constexpr std::uint8_t kExtendedOnly = 1u << static_cast<int>(Dialect::Extended);

inline constexpr DialectRow kDialectDifferences[] = {
    {DialectDifference::ExtraDeviceWords, kExtendedOnly, "extra DEVICE words"},
    {DialectDifference::DoubleEquals, kExtendedOnly, "== compares like ="},
    {DialectDifference::HashBeforeBankPage, kExtendedOnly, "# before BANK/PAGE operand"},
    {DialectDifference::ColonLabels, kExtendedOnly, "labels with a trailing colon"},
    {DialectDifference::LongNames, kExtendedOnly, "names up to 64 characters"},
    {DialectDifference::ThenEndsIf, kExtendedOnly, "THEN ends IF/IFDEF/IFNDEF"},
    {DialectDifference::IfdefOfVariable, kExtendedOnly, "IFDEF/IFNDEF of = symbols"},
    {DialectDifference::BreakOperand, kExtendedOnly, "BREAK with an operand"},
    {DialectDifference::IrcCalDirective, kExtendedOnly, "IRC_CAL directive"},
    {DialectDifference::NamedMacroParams, kExtendedOnly, "named macro parameters"},
};
static_assert(sizeof kDialectDifferences / sizeof kDialectDifferences[0] ==
              static_cast<std::size_t>(DialectDifference::Count));

constexpr bool DialectHas(Dialect dialect, DialectDifference d) {
    const DialectRow& row = kDialectDifferences[static_cast<int>(d)];
    return (row.dialects >> static_cast<int>(dialect)) & 1;
}

// "strict"/"extended" -> dialect; false for anything else.
constexpr bool DialectByName(std::string_view name, Dialect& out) {
    if (name == "strict") out = Dialect::Strict;
    else if (name == "extended") out = Dialect::Extended;
    else return false;
    return true;
}

}  // namespace korvid
