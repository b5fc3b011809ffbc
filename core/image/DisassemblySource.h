// A chip image as an assembler source that assembles back into the same
// program words, ID and configuration words: a DEVICE line spelling the
// fuse words, the ID, ORG wherever the used addresses jump, each used word
// as its instruction (DW where no instruction has that word), hex operands
// with their suffix, and labels L_xxx at the code that jumps and calls
// reach.
#pragma once

#include <string>
#include <vector>

#include "core/asm/AssemblyState.h"

namespace korvid {

struct DisassemblySource {
    std::string text;  // lines end in LF
    // What the source cannot give as the image has it (configuration bits
    // no DEVICE word sets, an ID that is not characters): the source then
    // differs from the image there, and says so in a comment too.
    std::vector<std::string> problems;
};

// The used program words (those with kDataFlag, within the program size
// the extended fuse word gives), the ID and the fuse words of `image`.
DisassemblySource DisassembleSource(const Family& family, const Image& image);

}  // namespace korvid
