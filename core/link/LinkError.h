// Failures of the target link.
//
// LinkFailure carries the message without its final full stop; the window
// guard shows it with "." and an Abort button, the command-line tool prints
// it with "." and exits 1. SilentAbort ends a command that has already told
// the user (or was cancelled).
#pragma once

#include <stdexcept>
#include <string>

namespace korvid {

class LinkFailure : public std::runtime_error {
public:
    explicit LinkFailure(const std::string& message) : std::runtime_error(message) {}
    // The text to show: the message and its full stop.
    std::string Text() const { return std::string(what()) + "."; }
};

class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "aborted"; }
};

class Link;

// What went wrong on the link itself (status bytes have their own texts in
// Protocol.h). Detection failures say the tool was not found; once it has
// answered, a failure says that the link failed.
enum class LinkFault {
    Open,       // the device cannot be opened or set up
    Write,      // the write call failed
    Stall,      // the write call took only part of the batch
    Read,       // the read call failed (a hung-up line included)
    NotFound,   // no tool answered the detection, or a wrong one
    NoReply,    // the tool stopped answering after it was found
    TooSlow,    // a reply took longer than its size allows (a dripping tool)
    BadReply,   // an answer the protocol does not have
};

// The message of each fault; the port name follows it.
inline constexpr const char* kLinkFaultText[] = {
    "Unable to open ",
    "Unable to write to ",
    "Transmit stall on ",
    "Unable to read from ",
    "Korvid not found on ",
    "Link failed: no answer from Korvid on ",
    "Link failed: Korvid answers too slowly on ",
    "Link failed: unexpected answer from Korvid on ",
};

// Closes the link's port if it is open and throws LinkFailure(message).
[[noreturn]] void LinkError(Link& link, const std::string& message);
// The same with the fault's message on the link's port.
[[noreturn]] void LinkError(Link& link, LinkFault fault);

}  // namespace korvid
