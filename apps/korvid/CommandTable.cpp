#include "apps/korvid/CommandTable.h"

namespace korvid::cli {

static std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}

bool RegisterCommand(const Command& command) {
    Table().push_back(command);
    return true;
}

const std::vector<Command>& Commands() { return Table(); }

}  // namespace korvid::cli
