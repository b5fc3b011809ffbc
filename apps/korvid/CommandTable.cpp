#include "apps/korvid/CommandTable.h"

#include <cstdio>

namespace korvid::cli {

void PrintError(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kProgramName, message.c_str()); }

static std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}

bool RegisterCommand(const Command& command) {
    Table().push_back(command);
    return true;
}

const std::vector<Command>& Commands() { return Table(); }

const Command* FindCommand(std::string_view name) {
    for (const Command& c : Table())
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace korvid::cli
