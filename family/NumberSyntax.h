// How numbers are written in the texts people give the tools (debugger
// commands, stimulus files): 0x.. or $.. or ..h hex, %.. binary, else the
// caller's default base. The assembler's scanner has its own, wider rules.
#pragma once

#include <string>

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

}  // namespace korvid
