// korvid: the command-line tool on the same core as the two IDE programs
// (assemble, disassemble, hex files, program, read, verify, erase, clock,
// debug), for makefiles and scripts.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "apps/korvid/CommandTable.h"
#include "platform/SerialPorts.h"
#include "platform/ProgramStart.h"

namespace korvid::cli {

static void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: korvid COMMAND [ARGS]\n\ncommands:\n");
    std::vector<Command> sorted(Commands().begin(), Commands().end());
    std::sort(sorted.begin(), sorted.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const Command& c : sorted)
        std::fprintf(out, "  korvid %.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.usage.size()), c.usage.data());
    std::fprintf(out,
                 "\n  --dialect strict|extended: the assembler dialect of every command that assembles a\n"
                 "    source (default strict; extended takes the wider dialect of older sources)\n"
                 "  korvid help COMMAND, korvid COMMAND --help: the usage and the options of one command\n"
                 "  korvid --version: the version\n");
}

static void PrintCommandUsage(const Command& c, std::FILE* out) { std::fputs(CommandHelp(c).c_str(), out); }

// A command that talks to the tool takes the serial port option.
static bool NeedsSerialPort(const Command& c) {
    return std::any_of(c.options.begin(), c.options.end(), [](const OptionSpec& o) {
        return o.name == kPortOption.name && o.value == kPortOption.value;
    });
}

}  // namespace korvid::cli

int main(int argc, char** argv) {
    using namespace korvid::cli;
    std::vector<std::string> args = korvid::StartProgram(argc, argv);
    if (args.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = args.front();
    args.erase(args.begin());
    if (name == "--version" || name == "-V") {
        std::printf("%s %s\n", kProgramName, KORVID_VERSION);
        return kExitOk;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        if (name == "help" && !args.empty()) {
            if (const Command* c = FindCommand(args[0])) return PrintCommandUsage(*c, stdout), kExitOk;
            PrintError("unknown command '" + args[0] + "'");
            return kExitUsage;
        }
        PrintUsage(stdout);
        return kExitOk;
    }
    if (const Command* c = FindCommand(name)) {
        // "korvid CMD --help" anywhere among the arguments shows the usage.
        for (const std::string& a : args)
            if (a == "--help" || a == "-h") return PrintCommandUsage(*c, stdout), kExitOk;
        if (NeedsSerialPort(*c) && !korvid::HasSerialPorts()) {
            PrintError(std::string(c->name) + " talks to the tool on a serial port, which this build cannot reach: "
                       "use the native korvid program");
            return kExitFailure;
        }
        return RunCommand(*c, args);
    }
    PrintError("unknown command '" + name + "'");
    PrintUsage(stderr);
    return kExitUsage;
}
