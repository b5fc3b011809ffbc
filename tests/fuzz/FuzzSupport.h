// Shared set-up of the fuzz targets: one assembly state per family with the
// main window's list buffer, made once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "core/image/Disassembler.h"

namespace korvid::fuzz {

struct Session {
    explicit Session(const Family& family) : state(family), list(kDefaultListCapacity) {
        state.ListText = list.data();
        state.ListCapacity = kDefaultListCapacity;
    }
    AssemblyState state;
    std::vector<char> list;
};

inline Session& SessionFor(std::uint8_t selector) {
    static Session sx28l(Sx28lFamily());
    static Session sx52(Sx52Family());
    return (selector & 1) ? sx52 : sx28l;
}

// Reads every program word and list line back through the text services,
// so that whatever a loader left in the state is shown safely.
inline void ShowEverything(const AssemblyState& state) {
    for (int a = 0; a < kProgramWords; ++a) DisassembleWord(state, a, std::uint8_t(a & 1));
    const char* text = nullptr;
    for (std::uint32_t line = 0; line < state.ListLineCount && line < std::uint32_t(kMaxListLines); ++line)
        GetListLine(state, int(line), text);
    for (std::int32_t line : state.AddressLine)
        if (line >= 0) GetListLine(state, line, text);
}

}  // namespace korvid::fuzz
