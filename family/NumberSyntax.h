// How numbers are written in the texts people give the tools (debugger
// commands, stimulus files): 0x.. or $.. or ..h hex, %.. binary, else the
// caller's default base. The assembler's scanner has its own, wider rules.
#pragma once

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace korvid {

// Removes the radix prefix or suffix from `text` and returns the base it
// selects, or `base` when it has none.
inline int StripRadix(std::string& text, int base) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.erase(0, 2);
        return 16;
    }
    if (!text.empty() && text[0] == '$') {
        text.erase(0, 1);
        return 16;
    }
    if (!text.empty() && text[0] == '%') {
        text.erase(0, 1);
        return 2;
    }
    if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H')) {
        text.pop_back();
        return 16;
    }
    return base;
}

// A whole number as people type it: a radix mark (above) or `base`, at most
// ten digits, no sign and no blanks; nothing for anything else.
inline std::optional<long> ParseNumber(std::string_view text, int base = 10) {
    std::string t(text);
    base = StripRadix(t, base);
    if (t.empty() || t.size() > 10) return std::nullopt;
    if (!std::isxdigit(static_cast<unsigned char>(t[0]))) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(t.c_str(), &end, base);
    if (!end || *end != '\0') return std::nullopt;
    return value;
}

}  // namespace korvid
