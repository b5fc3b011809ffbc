// The keyword table: operators, operand words and marks, directives,
// instructions, the family's DEVICE parameters, watch formats and register
// names, in the order they are entered into the symbol table.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/asm/Tokens.h"
#include "family/Family.h"

namespace korvid {

struct Keyword {
    const char* name;
    Tok kind;
    std::int32_t value;
};

// Keywords entered before and after the family's DEVICE parameters.
extern const Keyword kKeywordsBeforeDevice[];
extern const int kKeywordsBeforeDeviceCount;
extern const Keyword kKeywordsAfterDevice[];
extern const int kKeywordsAfterDeviceCount;
// Keywords of the IRC_CAL directive, entered only where the dialect has it.
extern const Keyword kIrcCalKeywords[];
extern const int kIrcCalKeywordsCount;

// Token value of a DEVICE parameter: bits 25..26 = piece, bit 24 =
// extended fuse word, bits 12..23 = mask, bits 0..11 = XOR pattern.
inline std::int32_t EncodeDeviceParam(const Family::DeviceParam& p) {
    return static_cast<std::int32_t>((std::uint32_t(p.piece & 3) << 25) | (p.extFuse ? 1u << 24 : 0u) |
                                     (std::uint32_t(p.mask & 0xFFF) << 12) | (p.pattern & 0xFFFu));
}

// Calls fn(name, kind, value) for every keyword in table order.
template <typename Fn>
void ForEachKeyword(const Family& family, Fn&& fn) {
    for (int i = 0; i < kKeywordsBeforeDeviceCount; ++i)
        fn(std::string_view(kKeywordsBeforeDevice[i].name), kKeywordsBeforeDevice[i].kind,
           kKeywordsBeforeDevice[i].value);
    for (int i = 0; i < family.deviceParamCount; ++i)
        fn(family.deviceParams[i].name, Tok::DeviceParam, EncodeDeviceParam(family.deviceParams[i]));
    for (int i = 0; i < kKeywordsAfterDeviceCount; ++i)
        fn(std::string_view(kKeywordsAfterDevice[i].name), kKeywordsAfterDevice[i].kind,
           kKeywordsAfterDevice[i].value);
}

}  // namespace korvid
