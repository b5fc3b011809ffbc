// Whole-file reading into a caller's fixed buffer and atomic file writing.
// Used by the hex and SXC loaders, the command-line tool and the editor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvid {

enum class ReadResult { Ok, CannotOpen, TooLarge, ReadError };

// Reads the file at `path` whole into `buffer` (capacity `capacity` bytes)
// and puts a NUL after it, so the file must be at most capacity - 1 bytes.
// On TooLarge or any error the buffer may hold a partial read but `length`
// is 0; callers must not parse it. `reason` receives the system's reason.
ReadResult ReadFileWhole(const std::string& path, char* buffer, std::size_t capacity, std::size_t& length,
                         std::string* reason = nullptr);

// Writes `data` to `path` atomically: a temporary file beside the target is
// written, flushed and renamed over it, keeping the old file's permissions.
// A failure leaves the old file untouched and returns false with `reason`.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason = nullptr);

}  // namespace korvid
