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

std::vector<OptionSpec> OptionsOf(const Command& command) {
    std::vector<OptionSpec> rows;
    bool dialect = false;
    for (const OptionSpec& o : command.options) dialect = dialect || o.name == kDialectOption.name;
    for (const OptionSpec& o : command.options) {
        rows.push_back(o);
        if (o.name == kFamilyOption.name && !dialect) rows.push_back(kDialectOption);
    }
    return rows;
}

// A paragraph in lines of at most 79 characters, broken between words.
static std::string Wrapped(std::string_view text) {
    std::string out, line;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(at, end - at);
        if (!line.empty() && line.size() + 1 + word.size() > 79) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + std::string(word);
        at = end + 1;
    }
    return out + line + "\n";
}

std::string CommandHelp(const Command& command) {
    std::string text = "usage: " + std::string(kProgramName) + " " + std::string(command.name) + " " +
                       std::string(command.usage) + "\n";
    if (!command.summary.empty()) text += "\n" + Wrapped(command.summary);
    std::vector<OptionSpec> rows = OptionsOf(command);
    rows.push_back({"-h", "", "this help", "--help"});
    text += "\noptions:\n" + OptionHelpLines(rows);
    if (command.moreHelp) text += "\n" + command.moreHelp();
    return text;
}

}  // namespace korvid::cli
