// Working fields of the assembler core (symbol table, scanner state, macro
// frames, REPT stack, per-line list fields). Fixed sizes only: nothing here
// grows during an assembly.
#pragma once

#include <cstdint>

namespace korvid {

struct AsmWork {
    std::uint8_t placeholder = 0;
};

}  // namespace korvid
