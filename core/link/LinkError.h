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

// Closes the link's port if it is open and throws LinkFailure(message).
[[noreturn]] void LinkError(Link& link, const std::string& message);

}  // namespace korvid
