// Entry point of the assembler core.
#pragma once

#include "core/asm/AssemblyState.h"

namespace korvid {

// Assembles state.SourceText (CR line ends, NUL at the end) in two passes.
// On return ErrorFlag tells the outcome; on failure ErrorMessage, ErrorStart
// and ErrorEnd describe the first error. Allocates nothing.
void Assemble(AssemblyState& state);

// After a failed strict assembly: whether the extended dialect accepts the
// same source. Assembles it on a state of its own (with a list buffer as
// large as the given state's); the given state is not changed.
bool ExtendedDialectAccepts(const AssemblyState& failed);

}  // namespace korvid
