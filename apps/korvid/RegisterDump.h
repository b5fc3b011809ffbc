// The register dump of `korvid debug`'s `regs` command, shared with
// `korvid sim`'s final state.
#pragma once

#include <cstdio>
#include <string>

#include "core/asm/AssemblyState.h"
#include "core/link/Debug.h"

namespace korvid::cli {

// Prints PC, W, M, STATUS with its flags, FSR, the interrupt and skip
// flags, RTCC (or WREG), the ports, the other global registers and one line
// per bank. `bankCount`: banks the 28 family reads (1, 4 or 8).
void PrintRegisters(std::FILE* out, const ChipState& s, const AssemblyState& state, int bankCount);

}  // namespace korvid::cli
