// Loading the output of the SXC C compiler for debugging: the .cod file
// (code image, memory map, line table) and its .lst listing.
//
// The .cod file is a sequence of 512-byte blocks; block 0 is the directory.
// Every block the directory names must lie inside the file, or the file is
// refused before anything is changed; single entries that point outside
// the image (line-table addresses of 4096 or more, lines beyond the listing
// capacity) are skipped.
#pragma once

#include <cstdint>
#include <string>

#include "core/asm/AssemblyState.h"

namespace korvid {

inline constexpr std::uint32_t kSxcBlockSize = 512;
inline constexpr std::uint32_t kSxcMinFrequency = 400000;
inline constexpr std::uint32_t kSxcMaxFrequency = 110000000;

// Messages (ErrorMessage) of PrepareEEPROM and PrepareList.
extern const char* const kSxcNoDirectoryMessage;
extern const char* const kSxcCodeOutsideMessage;
extern const char* const kSxcMapOutsideMessage;
extern const char* const kSxcLinesOutsideMessage;
extern const char* const kSxcTooManyLinesMessage;

// Reads the file whole into ListText (a NUL after it, so at most
// ListCapacity - 1 bytes) and sets ListLength. A file that cannot be read or
// does not fit leaves ListLength 0 and returns false with `message`.
bool LoadFile(AssemblyState& state, const std::string& path, std::string& message);

// Builds the chip image's words and flags, ClockFrequency, BreakAddress,
// WatchCount and AddressLine from the .cod bytes in ListText. ErrorFlag 0 on
// success; ErrorFlag 1 and ErrorMessage when the file's directory points
// outside it, in which case nothing in the state has changed.
void PrepareEEPROM(AssemblyState& state);

// Builds ListLineOffset and ListLineCount from the .lst text in ListText: a
// line is counted at its CR and begins after the previous LF. ErrorFlag 1
// with kSxcTooManyLinesMessage when the text has more CRs than there are
// list-line entries (the first 25,000 lines are recorded).
void PrepareList(AssemblyState& state);

// LoadFile(base + ".cod"), PrepareEEPROM, LoadFile(base + ".lst"),
// PrepareList. Both files are checked to exist and fit before the image is
// touched. Returns false with `message` on the first failure.
bool SXCLoad(AssemblyState& state, const std::string& baseName, std::string& message);

}  // namespace korvid
