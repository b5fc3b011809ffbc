// The keyword table: operators, operand words and marks, directives,
// instructions, the family's DEVICE parameters, watch formats and register
// names, in the order they are entered into the symbol table.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/asm/Directives.h"
#include "core/asm/Tokens.h"
#include "family/Family.h"

namespace korvid {

struct Keyword {
    const char* name;
    Tok kind;
    std::int32_t value;
};

// Operators, operand words and marks: the one list of the operator signs.
// The scanner reads the signs (the rows that do not start with a letter)
// from it; the words (NOT, AND, W, OPTION ...) are names it looks up in the
// symbol table like any other.
inline constexpr Keyword kOperators[] = {
    {"\\", Tok::Prefix, kOpArg},
    {"||", Tok::Prefix, kOpAbs},
    {"~", Tok::Prefix, kOpComplement},
    {"NOT", Tok::Not, kOpNot},
    {"&", Tok::Arith, kOpAnd},
    {"|", Tok::Arith, kOpOr},
    {"^", Tok::Arith, kOpXor},
    {"+", Tok::Arith, kOpAdd},
    {"-", Tok::Arith, kOpSub},
    {"*", Tok::Arith, kOpMul},
    {"/", Tok::Arith, kOpDiv},
    {"//", Tok::Arith, kOpMod},
    {"<<", Tok::Arith, kOpShl},
    {">>", Tok::Arith, kOpShr},
    {"><", Tok::Arith, kOpRev},
    {".", Tok::Arith, kOpDot},
    {"<=", Tok::Compare, kOpLe},
    {">=", Tok::Compare, kOpGe},
    {"=", Tok::Compare, kOpEq},
    {"<>", Tok::Compare, kOpNe},
    {"<", Tok::Compare, kOpLt},
    {">", Tok::Compare, kOpGt},
    {"AND", Tok::Logical, kOpLogAnd},
    {"OR", Tok::Logical, kOpLogOr},
    {"XOR", Tok::Logical, kOpLogXor},
    {"(", Tok::OpenParen, 0},
    {")", Tok::CloseParen, 0},
    {"W", Tok::W, 0},
    {"M", Tok::M, 0},
    {"OPTION", Tok::Option, 0},
    {"WDT", Tok::Wdt, 0},
    {"#", Tok::Hash, 0},
    {"@", Tok::At, 0},
    {"!", Tok::Bang, 0},
    {"++", Tok::IncDec, 0},
    {"--", Tok::IncDec, 1},
};
inline constexpr int kOperatorCount = int(sizeof kOperators / sizeof kOperators[0]);

// Instructions, entered after the directives.
extern const Keyword kInstructionKeywords[];
extern const int kInstructionKeywordsCount;
// Entered after the family's DEVICE parameters.
extern const Keyword kKeywordsAfterDevice[];
extern const int kKeywordsAfterDeviceCount;
// The operands of IRC_CAL, entered where the dialect has the directive.
extern const Keyword kIrcModeKeywords[];
extern const int kIrcModeKeywordsCount;

// Token value of a DEVICE parameter: bits 25..26 = piece, bit 24 =
// extended fuse word, bits 12..23 = mask, bits 0..11 = XOR pattern.
inline std::int32_t EncodeDeviceParam(const Family::DeviceParam& p) {
    return static_cast<std::int32_t>((std::uint32_t(p.piece & 3) << 25) | (p.extFuse ? 1u << 24 : 0u) |
                                     (std::uint32_t(p.mask & 0xFFF) << 12) | (p.pattern & 0xFFFu));
}

// Calls fn(name, kind, value) for every keyword of every dialect, in table
// order: operators, directives, instructions, DEVICE parameters, the rest.
template <typename Fn>
void ForEachKeyword(const Family& family, Fn&& fn) {
    for (const Keyword& k : kOperators) fn(std::string_view(k.name), k.kind, k.value);
    for (const DirectiveRow& d : kDirectives)
        if (!d.name.empty() && d.dialect == DialectDifference::Count) fn(d.name, Tok::Directive, d.number);
    for (int i = 0; i < kInstructionKeywordsCount; ++i)
        fn(std::string_view(kInstructionKeywords[i].name), kInstructionKeywords[i].kind, kInstructionKeywords[i].value);
    for (int i = 0; i < family.deviceParamCount; ++i)
        fn(family.deviceParams[i].name, Tok::DeviceParam, EncodeDeviceParam(family.deviceParams[i]));
    for (int i = 0; i < kKeywordsAfterDeviceCount; ++i)
        fn(std::string_view(kKeywordsAfterDevice[i].name), kKeywordsAfterDevice[i].kind,
           kKeywordsAfterDevice[i].value);
}

// Calls fn(name, kind, value) for the words only a dialect difference
// brings in: the extended DEVICE words, then the directives of a
// difference the dialect has, with IRC_CAL's operands after it. The symbol
// table leaves the DEVICE words out: they are read by name as DEVICE
// operands only and stay free as names elsewhere.
template <typename Fn>
void ForEachDialectKeyword(const Family& family, Dialect dialect, Fn&& fn) {
    if (DialectHas(dialect, DialectDifference::ExtraDeviceWords))
        for (int i = 0; i < family.extendedDeviceParamCount; ++i)
            fn(family.extendedDeviceParams[i].name, Tok::DeviceParam, EncodeDeviceParam(family.extendedDeviceParams[i]));
    for (const DirectiveRow& d : kDirectives)
        if (d.dialect != DialectDifference::Count && DialectHas(dialect, d.dialect)) {
            fn(d.name, Tok::Directive, d.number);
            if (d.number == kDirIrcCal)
                for (int i = 0; i < kIrcModeKeywordsCount; ++i)
                    fn(std::string_view(kIrcModeKeywords[i].name), kIrcModeKeywords[i].kind, kIrcModeKeywords[i].value);
        }
}

}  // namespace korvid
