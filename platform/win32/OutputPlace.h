// Where an output goes on Windows, shared by the whole-file writer and the
// streamed output: "-" is standard output (written through a duplicate of
// its descriptor), a device or a pipe that exists is written where it is,
// and a disk file, or a name that does not exist yet, is replaced whole.
#pragma once

#include <string>
#include <string_view>

namespace korvid::win32 {

enum class OutputPlace { Descriptor, InPlace, Replaced, Folder };

// How `path` is written; `descriptor` the descriptor it stands for.
OutputPlace PlaceOf(const std::string& path, int& descriptor);

// Opens an existing device or pipe for writing, as a descriptor; -1 with
// the reason.
int OpenInPlace(const std::string& path, std::string* reason);

// Writes all of `data` to the descriptor; false with the reason.
bool WriteAllTo(int descriptor, std::string_view data, std::string* reason);

}  // namespace korvid::win32
