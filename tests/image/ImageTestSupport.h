// Helpers of the image tests: a state with its own list buffer, assembling
// "\n"-separated source, and both families for parameterised cases.
#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/asm/Assembler.h"
#include "tests/asm/AsmFixture.h"

namespace korvid::test {

struct ImageSession {
    explicit ImageSession(const Family& family, std::uint32_t capacity = kDefaultListCapacity)
        : state(std::make_unique<AssemblyState>(family)), list(capacity) {
        state->ListText = list.data();
        state->ListCapacity = capacity;
    }

    // Assembles `text` ("\n" line ends); true on success.
    bool Assemble(const std::string& text) { return AssembleText(*state, source, text); }

    std::unique_ptr<AssemblyState> state;
    std::vector<char> list;
    std::string source;
};

inline std::string ReadSourceFile(const std::string& relative) {
    std::ifstream in(std::string(KORVID_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline const Family* const kBothFamilies[] = {&Sx28lFamily(), &Sx52Family()};

}  // namespace korvid::test
