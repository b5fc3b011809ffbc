// Failures of the target link.
//
// LinkFailure carries the message without its final full stop; the window
// guard shows it with "." and an Abort button, the command-line tool prints
// it with "." and exits 1. Where the command line says more than the
// window's established text (a tool that was found and then fell silent),
// the failure carries that text too. SilentAbort ends a command that has
// already told the user (or was cancelled).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace korvid {

class LinkFailure : public std::runtime_error {
public:
    explicit LinkFailure(const std::string& message, std::string commandLine = {})
        : std::runtime_error(message), commandLine_(std::move(commandLine)) {}
    // The text to show: the message and its full stop.
    std::string Text() const { return std::string(what()) + "."; }
    // The command line's text: the same, unless it has more to say.
    std::string CommandLineText() const { return commandLine_.empty() ? Text() : commandLine_ + "."; }

private:
    std::string commandLine_;
};

class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "aborted"; }
};

class Link;

// What went wrong on the link itself (status bytes have their own texts in
// Protocol.h).
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

// The texts of each fault; the port name follows each. The windows keep
// their established texts (a reply that times out is "not found" there);
// the command line says that the link failed once the tool was found.
// nullptr: the same as the window's.
struct LinkFaultText {
    const char* window;
    const char* commandLine;
};
inline constexpr LinkFaultText kLinkFaultText[] = {
    {"Unable to open ", nullptr},
    {"Unable to write to ", nullptr},
    {"Transmit stall on ", nullptr},
    {"Unable to read from ", nullptr},
    {"Korvid not found on ", nullptr},
    {"Korvid not found on ", "Link failed: no answer from Korvid on "},
    {"Korvid not found on ", "Link failed: Korvid answers too slowly on "},
    {"Link failed: unexpected answer from Korvid on ", nullptr},
};

// Closes the link's port if it is open and throws LinkFailure(message).
[[noreturn]] void LinkError(Link& link, const std::string& message);
// The same with the fault's message on the link's port.
[[noreturn]] void LinkError(Link& link, LinkFault fault);

// What the system said of the port at the last open, for a note after the
// failure's message: "COM1 is /dev/ttyUSB0: Permission denied (is your user
// in the dialout group?)", the path alone when a path was given; empty when
// there is nothing to add.
std::string LinkFailureNote(const Link& link);

}  // namespace korvid
