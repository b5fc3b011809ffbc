// The command table of the `korvid` command-line tool. Each command lives in
// its own Cmd*.cpp and registers itself with a static KORVID_COMMAND object,
// so that adding a command never touches main.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvid::cli {

// Every error line of the tool starts with the program name (or with
// FILE:LINE:COLUMN: for a place in a file).
inline constexpr const char* kProgramName = "korvid";

// Prints "korvid: MESSAGE" on stderr.
void PrintError(const std::string& message);

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitVerifyMismatch = 3;

using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    std::string_view name;
    std::string_view usage;   // one line: arguments after the command name
    CommandFn run;
};

// Registers a command; called from static initialisers.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();
// The command of that name, or nullptr.
const Command* FindCommand(std::string_view name);

}  // namespace korvid::cli

#define KORVID_CONCAT_INNER(a, b) a##b
#define KORVID_CONCAT(a, b) KORVID_CONCAT_INNER(a, b)
#define KORVID_COMMAND(name, usage, fn) \
    static const bool KORVID_CONCAT(korvidCommand_, __LINE__) = ::korvid::cli::RegisterCommand({name, usage, fn})
