// The command table of the `korvid` command-line tool. Each command lives in
// its own Cmd*.cpp and registers itself with a static KORVID_COMMAND object,
// so that adding a command never touches main.cpp.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "apps/common/CommandOptions.h"

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

// Options several commands share.
inline constexpr OptionSpec kFamilyOption{"--family", "28l|52",
                                          "the chip family: SX18L/SX28L or SX48/SX52 (default 28l)"};
inline constexpr OptionSpec kDialectOption{"--dialect", "strict|extended",
                                           "the assembler's dialect (default strict; extended reads older sources)"};
inline constexpr OptionSpec kPortOption{"--port", "COMn|PATH",
                                        "the tool's serial port: COM1 to COM4 or a device path (default COM1)"};

using CommandFn = int (*)(const std::vector<std::string>& args);

// A command's row. Its options are the rows the command's scanner reads
// (Options(name, args), CliSupport.h) and its help prints, one line each;
// `moreHelp`, when set, adds what the options do not say (the script words
// of `korvid debug`).
struct Command {
    std::string_view name;
    std::string_view usage;  // one line: arguments after the command name
    CommandFn run;
    std::string_view summary = {};  // what the command does, one sentence
    std::span<const OptionSpec> options = {};
    std::string (*moreHelp)() = nullptr;
};

// Registers a command; called from static initialisers.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();
// The command of that name, or nullptr.
const Command* FindCommand(std::string_view name);

// The options a command's scanner takes and its help lists: its rows, with
// --dialect after --family (every command that assembles takes both).
std::vector<OptionSpec> OptionsOf(const Command& command);

// "korvid CMD --help": the usage line, the summary, the options (and
// -h, --help), then the command's own further help.
std::string CommandHelp(const Command& command);

}  // namespace korvid::cli

#define KORVID_CONCAT_INNER(a, b) a##b
#define KORVID_CONCAT(a, b) KORVID_CONCAT_INNER(a, b)
// KORVID_COMMAND(name, usage, fn[, summary[, options[, moreHelp]]]): the
// fields of Command in order.
#define KORVID_COMMAND(...) \
    static const bool KORVID_CONCAT(korvidCommand_, __LINE__) = ::korvid::cli::RegisterCommand({__VA_ARGS__})
