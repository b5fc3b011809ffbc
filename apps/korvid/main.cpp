// korvid: the command-line tool on the same core as the two IDE programs
// (assemble, disassemble, hex files, program, read, verify, erase, clock,
// debug), for makefiles and scripts.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "apps/korvid/CommandTable.h"

namespace korvid::cli {

static void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: korvid COMMAND [ARGS]\n\ncommands:\n");
    std::vector<Command> sorted = Commands();
    std::sort(sorted.begin(), sorted.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const Command& c : sorted)
        std::fprintf(out, "  korvid %.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.usage.size()), c.usage.data());
}

}  // namespace korvid::cli

int main(int argc, char** argv) {
    using namespace korvid::cli;
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : Commands())
        if (c.name == name) return c.run(args);
    std::fprintf(stderr, "korvid: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}
