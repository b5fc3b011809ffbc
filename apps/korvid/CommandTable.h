// The command table of the `korvid` command-line tool: one row a command
// with its usage, summary, options and operands (CommandTable.cpp), read by
// the dispatcher, the help and the tests of the README and the manual page.
// Each command's work lives in its own Cmd*.cpp.
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

class Options;
// A command's work, once its options and operands have been checked.
using CommandFn = int (*)(const Options& options);

// How many operands a command takes; `wrong` is the usage message for
// another count (for a command that takes none, "unexpected argument X").
struct OperandCount {
    std::size_t min = 0;
    std::size_t max = 0;
    std::string_view wrong = {};
};
inline constexpr std::size_t kAnyNumber = ~std::size_t{0};

// A command's row. Its options are the rows the command's scanner reads
// (Options::Of, CliSupport.h) and its help prints, one line each;
// `moreHelp`, when set, adds what the options do not say (the script words
// of `korvid debug`).
struct Command {
    std::string_view name;
    std::string_view usage;  // one line: arguments after the command name
    CommandFn run;
    std::string_view summary;  // what the command does, one sentence
    std::span<const OptionSpec> options;
    OperandCount operands;
    std::string (*moreHelp)() = nullptr;
};

std::span<const Command> Commands();
// The command of that name, or nullptr.
const Command* FindCommand(std::string_view name);

// Scans the arguments by the command's options, checks the operand count
// and the family and dialect, then runs it; a usage fault is said with the
// usage line (exit status 2).
int RunCommand(const Command& command, const std::vector<std::string>& args);

// The options a command's scanner takes and its help lists: its rows, with
// --dialect after --family (every command that assembles takes both).
std::vector<OptionSpec> OptionsOf(const Command& command);

// "korvid CMD --help": the usage line, the summary, the options (and
// -h, --help), then the command's own further help.
std::string CommandHelp(const Command& command);

// The commands' work (Cmd*.cpp).
int RunAsm(const Options& options);
int RunClock(const Options& options);
int RunCycles(const Options& options);
int RunDap(const Options& options);
int RunDebug(const Options& options);
int RunDebugImage(const Options& options);
int RunDisasm(const Options& options);
int RunErase(const Options& options);
int RunHex(const Options& options);
int RunLsp(const Options& options);
int RunProgram(const Options& options);
int RunRead(const Options& options);
int RunSim(const Options& options);
int RunTest(const Options& options);
int RunVerify(const Options& options);
// `korvid debug`'s script words as help lines, in the option help's layout.
std::string ScriptWordHelp();

}  // namespace korvid::cli
