// Where a stream of bytes goes, a piece at a time (a waveform of many
// megabytes): a file, a page's buffer, a test's string. Header only, so that
// the pure simulation writes to it without linking the platform library.
#pragma once

#include <cstddef>
#include <string>

namespace korvid {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes all `size` bytes; false when they could not all be taken, with
    // the reason (a full disk, a reader that went away).
    virtual bool Write(const char* data, std::size_t size, std::string& reason) = 0;
};

}  // namespace korvid
