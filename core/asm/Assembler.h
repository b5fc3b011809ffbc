// Entry point of the assembler core.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/asm/AssemblyState.h"

namespace korvid {

// Assembles state.SourceText (CR line ends, NUL at the end) in two passes.
// On return ErrorFlag tells the outcome; on failure ErrorMessage, ErrorStart
// and ErrorEnd describe the first error. Allocates nothing.
void Assemble(AssemblyState& state);

// The value of a name in the symbol table of the last assembly (a label,
// an EQU or = symbol, or a keyword's code), looked up exactly as written;
// nothing for a name the table does not hold or holds undefined.
std::optional<std::int32_t> FindSymbol(const AssemblyState& state, std::string_view name);

}  // namespace korvid
