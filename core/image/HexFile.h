// SXH hex files: the chip image as Intel-HEX text and back.
//
// Neither routine touches a file: SaveHex writes the chip image's text into
// the state's ListText buffer, LoadHex parses the NUL-terminated text at the
// start of ListText into the device image. Neither allocates.
#pragma once

#include <cstddef>
#include <string>

#include "core/asm/AssemblyState.h"

namespace korvid {

// Messages of LoadHex (ErrorMessage). A caller tells the warning from the
// error by its first character, 'W'.
extern const char* const kHexViolationMessage;
extern const char* const kFuseAbsentMessage;
// A record type other than data (00), end of file (01), segment or linear
// extended address (02, 04) and start address (03, 05).
extern const char* const kHexRecordTypeMessage;
// Data moved by an address record (or its own address) beyond the 16-bit
// byte address space the image lives in, or a word that is not erased at
// an address where the chip has none (past its program memory, or outside
// the image and the PIC16C5x conventions).
extern const char* const kHexRangeMessage;

// Largest hex text SaveHex writes (4096 program words), in bytes.
inline constexpr std::size_t kMaxHexTextLength = 19823;

// Writes the chip image as hex text into ListText from offset 0 and sets
// ListLength. Does not change ErrorFlag. Returns false (and writes nothing,
// ListLength 0) only when ListCapacity cannot hold the text.
bool SaveHex(AssemblyState& state);

// Parses the text at ListText into the device image, which it resets first.
// ErrorFlag 0: loaded. ErrorFlag 1 with kHexViolationMessage: rejected (the
// device image holds what was placed before the violation; ErrorStart/ErrorEnd
// mark the record, a byte count shorter than its record included). ErrorFlag 1 with
// kFuseAbsentMessage (28L only): loaded, configuration inferred.
// Address records (02, 04) set a base added to later data addresses: a base
// of 0 (the header many tools write) changes nothing. Start-address records
// (03, 05) are ignored. Erased words (0xFFF) past the program are accepted:
// SaveHex writes them for memory code 11. With kHexRecordTypeMessage or
// kHexRangeMessage the device image is left as it was and
// ErrorStart/ErrorEnd mark the record in ListText.
void LoadHex(AssemblyState& state);

// Whether LoadHex loaded the image: no error, or only the missing-fuse
// warning.
inline bool HexLoaded(const AssemblyState& state) {
    return state.ErrorFlag == 0 || state.ErrorMessage == kFuseAbsentMessage;
}

// 1-based line of ErrorStart in the hex text at ListText (LF, CR LF or CR
// line ends).
int HexErrorLine(const AssemblyState& state);

// Whether the windows name the line of LoadHex's error (the record type and
// range errors; a violation's box keeps its one sentence). HexErrorLine
// applies to every error.
bool HexErrorNamesLine(const AssemblyState& state);

// Empty when the device image's configuration words can belong to the
// state's family (Family::fitsConfig); otherwise one sentence, without a line
// break, saying that they cannot and whether they fit the other family.
std::string ForeignConfigNote(const AssemblyState& state);

// File side of a load: reads the file whole into ListText (NUL after it) and
// runs LoadHex. A file that cannot be read, or does not fit the buffer, is
// refused before parsing: both images stay as they were, ErrorFlag is 1 and
// `message` says why. Returns true when LoadHex ran (check ErrorFlag).
bool LoadHexFile(AssemblyState& state, const std::string& path, std::string& message);

// File side of a save: SaveHex, then the text is written atomically.
bool SaveHexFile(AssemblyState& state, const std::string& path, std::string& message);

}  // namespace korvid
