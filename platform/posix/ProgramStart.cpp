#include "platform/ProgramStart.h"

#include <csignal>

namespace korvid {

// The arguments are bytes as the shell gave them; the terminal shows UTF-8
// by the user's locale.
std::vector<std::string> StartProgram(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// POSIX streams translate nothing.
void UseStdioAsBytes() {}

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace korvid
