// The file rules of every program: whole-file reading (bounded, from any
// kind of file, opened once) and output writing (all outputs or none,
// regular files replaced atomically, devices and FIFOs written in place,
// links followed). Used by the hex and SXC loaders, the command-line tool
// and the editor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/StopFlag.h"

namespace korvid {

// The name that stands for standard input (as a file to read) or standard
// output (as a file to write).
inline constexpr std::string_view kStdStreamName = "-";

enum class ReadResult { Ok, CannotOpen, TooLarge, ReadError };

// Reads the file at `path` whole into `buffer` (capacity `capacity` bytes)
// and puts a NUL after it, so the file must be at most capacity - 1 bytes.
// The file is opened once and read to its end, so pipes, FIFOs and devices
// work as regular files do; "-" reads standard input. On TooLarge or any
// error the buffer may hold a partial read but `length` is 0; callers must
// not parse it. `reason` receives the system's reason.
ReadResult ReadFileWhole(const std::string& path, char* buffer, std::size_t capacity, std::size_t& length,
                         std::string* reason = nullptr);

// The same into a string that grows as needed up to `maxBytes`; a longer
// file is TooLarge (and `text` is left empty). A signal that sets `stop`
// ends the read, one that waits (a pipe or FIFO with nothing to read) too,
// or a large file between two chunks: ReadError.
ReadResult ReadFileToString(const std::string& path, std::string& text, std::size_t maxBytes,
                            std::string* reason = nullptr, const StopFlag* stop = nullptr);

// What a name leads to before it is read (links followed): `exists` false
// when nothing can be found there, else a folder, a regular file or another
// kind (a device, a FIFO), and its size in bytes.
struct FileStatus {
    bool exists = false;
    bool folder = false;
    bool regular = false;
    std::uint64_t size = 0;
};
FileStatus StatusOf(const std::string& path);

// One output of a command: where it goes ("-" is standard output) and what
// it holds.
struct OutputFile {
    std::string path;
    std::string_view data;
};

// Writes every output or none. A regular file (or a name that does not
// exist yet) is written to an unnamed file in its folder (ReplacementFile),
// flushed, named and renamed over it, keeping the old file's permissions; an existing device or FIFO is
// written in place; a symbolic link is followed and its target replaced, so
// the link stays. "-" and names of this process's open descriptors
// (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, links to them) are
// written through the descriptor, at its position and in its append mode. All temporary files are written before anything is
// replaced: a failure leaves every old file untouched, removes the
// temporaries and returns false with `reason` naming the file.
bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string* reason = nullptr);

// The descriptor of this process an output name stands for: standard
// output for "-", N for /dev/fd/N or /proc/self/fd/N, 1 and 2 for
// /dev/stdout and /dev/stderr (links to them included); -1 for any other
// name. Such an output is written through the descriptor, never replaced.
int OutputDescriptor(const std::string& path);

// A close-on-exec duplicate of `descriptor` to write through (sharing its
// position and append mode); -1, with the system's reason, when it is not
// open for writing.
int DuplicateForWriting(int descriptor, std::string* reason = nullptr);

// WriteFilesAtomically for one file.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* reason = nullptr);

// A clash between the files of a command: output `output` is the same file
// as input `input`, or (input < 0) as output `other`.
struct FileClash {
    std::size_t output;
    int input;       // index into inputs, or -1
    std::size_t other;  // index into outputs when input < 0
};

// Finds an output that names one of the inputs or another output. Files are
// compared by device and inode after following links, so "./a.src", "a.src"
// and a link to it are one file; an output that does not exist yet is
// compared by its folder's device and inode and its name. "-" as an output
// is standard output: it and every descriptor name are the file behind the
// descriptor ("-" and /dev/stdout clash); "-" as an input never clashes.
std::optional<FileClash> FindFileClash(const std::vector<std::string>& inputs,
                                       const std::vector<std::string>& outputs);

}  // namespace korvid
