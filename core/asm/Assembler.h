// Entry point of the assembler core.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// After a failed assembly: the other family whose assembler accepts the same
// source in the same dialect (a source written for the other chip), or
// nothing. The given state is not changed.
const Family* OtherFamilyAccepts(const AssemblyState& failed);

// What a failed assembly can add to its message: the word behind the
// error (an instruction or other keyword where a label or value was meant,
// an unknown word read as a label, a DEVICE word of the extended dialect)
// or the listing limit it reached. Most errors have none. The message
// itself stays as it is; callers show this as a note of its own.
struct ErrorNote {
    std::uint32_t start, end;  // the word in SourceText (a limit: the error's place)
    std::string text;
    bool limit = false;  // a listing limit, not a word of the source
};
std::optional<ErrorNote> ErrorNoteOf(const AssemblyState& failed);

// The value of a name in the symbol table of the last assembly (a label,
// an EQU or = symbol, or a keyword's code), looked up exactly as written;
// nothing for a name the table does not hold or holds undefined.
std::optional<std::int32_t> FindSymbol(const AssemblyState& state, std::string_view name);

// A register as people type it (a debugger's register writes, a waveform's
// registers): a register name (family/Registers.h), a symbol of the last
// assembly (in capitals, then as written: "add" is a name, not 0xADD), or
// a number, hex unless marked otherwise. A symbol or number outside the
// register file (0..255) gives -1, so that only the names reach M and W;
// IsRegisterNumber tells whether the result is a register.
std::optional<long> FindRegister(const AssemblyState& state, std::string_view text);

}  // namespace korvid
