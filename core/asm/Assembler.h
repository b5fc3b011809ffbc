// Entry point of the assembler core.
#pragma once

#include "core/asm/AssemblyState.h"

namespace korvid {

// Assembles state.SourceText (CR line ends, NUL at the end) in two passes.
// On return ErrorFlag tells the outcome; on failure ErrorMessage, ErrorStart
// and ErrorEnd describe the first error. Allocates nothing.
void Assemble(AssemblyState& state);

}  // namespace korvid
