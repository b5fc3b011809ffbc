// An output written as a stream (a waveform), by the rules of every output
// (FileIo.h): "-" and the names of this process's descriptors are written
// through the descriptor; an existing device or FIFO in place; a regular
// file, or a name that does not exist yet, to an unnamed file in its folder
// that replaces it only at Commit (links followed, the old file's
// permissions kept), so that a failed or killed run leaves nothing
// half-written.
#pragma once

#include <memory>
#include <string>

#include "platform/ByteSink.h"

namespace korvid {

class OutputStream : public ByteSink {
public:
    // True when written where it is (a descriptor, a device, a FIFO): what
    // was written stays there whatever happens.
    virtual bool inPlace() const = 0;
    // The file written: the name as given when in place, else the file the
    // replacement will take the place of (links followed).
    virtual const std::string& target() const = 0;
    // In place: closes it. Else: puts the contents on the disk and the
    // replacement in place of the target. False with the system's reason.
    virtual bool Commit(std::string& reason) = 0;
    // Drops an unfinished replacement (the target stays as it was) or
    // closes the output written in place. The destructor does it too.
    virtual void Discard() = 0;
};

// Opens `path` for writing; null with "cannot write PATH: REASON" in
// `message` when it cannot be.
std::unique_ptr<OutputStream> OpenOutputStream(const std::string& path, std::string& message);

}  // namespace korvid
