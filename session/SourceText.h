// A source file's text as the assembler takes it, and what a file's name
// says about its kind.
#pragma once

#include <string>
#include <string_view>

namespace korvid {

// What becomes of control bytes other than TAB: the command line removes
// them; an editor makes them spaces, so that every byte keeps its column.
enum class ControlBytes { Remove, Blank };

// CR LF and bare LF become CR (the assembler's line end); control bytes
// other than TAB are removed or blanked (DEL is blanked too, and kept when
// removing, as the two callers always did).
std::string AssemblerText(std::string_view raw, ControlBytes control);

// The listing as a file holds it: the assembler ends its lines with CR, a
// listing file with CR LF (what `korvid asm -l` and the playground write).
std::string ListingForDisk(std::string_view listing);

// The kinds of program file: a source, an SXH (or Intel-HEX) image, or the
// output of the SXC compiler (its .cod file, the listing beside it).
enum class ProgramKind { Source, Hex, Sxc };

// By the name's extension (any case): .sxh, .hex and .obj are hex files,
// .cod the compiler's output, anything else a source.
ProgramKind ProgramKindOf(std::string_view path);
inline bool IsHexFileName(std::string_view path) { return ProgramKindOf(path) == ProgramKind::Hex; }

}  // namespace korvid
