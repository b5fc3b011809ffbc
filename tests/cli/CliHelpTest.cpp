// The help of every command, and the texts that describe the commands
// outside the program (README.md, the manual page, bash completion), held
// against the command table as `korvid --help` and `korvid CMD --help`
// print it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/support/RunProgram.h"

namespace korvid {
namespace {

using test::RunProgram;

const std::string kKorvid = std::string(KORVID_BINARY_DIR) + "/apps/korvid/korvid";

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string SourceFile(const std::string& relative) {
    std::ifstream in(std::string(KORVID_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The commands of `korvid --help`, from the table.
std::vector<std::string> Commands() {
    const auto r = RunProgram(kKorvid, {"--help"});
    std::vector<std::string> names;
    bool on = false;
    for (const std::string& line : LinesOf(r.out)) {
        if (line == "commands:") {
            on = true;
        } else if (on && line.empty()) {
            break;
        } else if (on) {
            std::istringstream words(line);
            std::string korvid, name;
            words >> korvid >> name;
            names.push_back(name);
        }
    }
    return names;
}

struct OptionRow {
    std::vector<std::string> names;  // with its other spelling
    std::string value;               // empty: a flag
    std::string help;
};

// The rows under "options:" of `korvid CMD --help`.
std::vector<OptionRow> OptionRows(const std::string& help) {
    std::vector<OptionRow> rows;
    bool on = false;
    for (const std::string& line : LinesOf(help)) {
        if (line == "options:") {
            on = true;
            continue;
        }
        if (!on) continue;
        if (line.empty()) break;
        if (line.rfind("  -", 0) != 0) continue;
        const std::size_t gap = line.find("  ", 2);
        OptionRow row;
        row.help = gap == std::string::npos ? "" : line.substr(line.find_first_not_of(' ', gap));
        std::istringstream words(line.substr(2, gap == std::string::npos ? std::string::npos : gap - 2));
        for (std::string word; words >> word;) {
            if (word[0] != '-') {
                row.value = word;
                continue;
            }
            if (word.back() == ',') word.pop_back();
            row.names.push_back(word);
        }
        rows.push_back(row);
    }
    return rows;
}

std::set<std::string> OptionNames(const std::string& command) {
    std::set<std::string> names;
    for (const OptionRow& row : OptionRows(RunProgram(kKorvid, {command, "--help"}).out))
        names.insert(row.names.begin(), row.names.end());
    return names;
}

TEST(CliHelp, CommandListIsTheTable) {
    const std::vector<std::string> commands = Commands();
    for (const char* name : {"asm", "clock", "dap", "debug", "debugimage", "disasm", "erase", "hex", "lsp", "program",
                             "read", "sim", "test", "verify"})
        EXPECT_NE(std::find(commands.begin(), commands.end(), name), commands.end()) << name;
}

// Each command's help lists its options one a line with a text, and the
// scanner takes every one of them (the operands after them are refused
// before anything runs).
TEST(CliHelp, EveryCommandListsItsOptionsAndTakesThem) {
    for (const std::string& command : Commands()) {
        const auto help = RunProgram(kKorvid, {command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind("usage: korvid " + command + " ", 0), 0u) << help.out;
        const std::vector<OptionRow> rows = OptionRows(help.out);
        ASSERT_FALSE(rows.empty()) << command << ":\n" << help.out;
        for (const OptionRow& row : rows) {
            EXPECT_FALSE(row.help.empty()) << command << " " << row.names[0];
            if (row.names[0] == "-h") continue;
            for (const std::string& name : row.names) {
                std::vector<std::string> args = {command, name};
                if (!row.value.empty()) args.push_back("1");
                args.insert(args.end(), {"x", "y", "z"});
                const auto r = RunProgram(kKorvid, args, "", 10000);
                EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << command << " " << name << ": " << r.err;
                EXPECT_EQ(r.err.find("needs a value"), std::string::npos) << command << " " << name << ": " << r.err;
            }
        }
    }
}

// What the old one-line usage did not say.
TEST(CliHelp, DapSimAndDebugExplainTheirOptionsAndWords) {
    struct Expected {
        const char* command;
        std::vector<std::string> options;
    };
    const Expected expected[] = {
        {"dap", {"--port", "--stdio"}},
        {"sim",
         {"--family", "--dialect", "--cycles", "--for", "--until-break", "--clock", "--stimulus", "--vcd",
          "--vcd-limit", "--vcd-reg", "--gtkw", "--uart-out", "--serial", "--serial-link"}},
        {"debug", {"--no-program", "--port", "--family", "--dialect"}},
        {"program", {"--run", "--irc", "--port", "--family", "--dialect"}},
        {"test", {"-j", "--jobs", "--junit", "--vcd-dir"}},
    };
    for (const Expected& e : expected) {
        const std::set<std::string> names = OptionNames(e.command);
        for (const std::string& option : e.options) EXPECT_TRUE(names.count(option)) << e.command << " " << option;
    }
    const std::string dap = RunProgram(kKorvid, {"dap", "--help"}).out;
    EXPECT_NE(dap.find("  --port N "), std::string::npos) << dap;
    EXPECT_NE(dap.find("127.0.0.1"), std::string::npos) << dap;

    const std::string debug = RunProgram(kKorvid, {"debug", "--help"}).out;
    const std::size_t words = debug.find("script commands");
    ASSERT_NE(words, std::string::npos) << debug;
    for (const char* word :
         {"step", "hop", "run", "stop", "break", "pc", "regs", "set", "watch", "reset", "help", "quit"})
        EXPECT_TRUE(debug.find("\n  " + std::string(word) + " ", words) != std::string::npos ||
                    debug.find("\n  " + std::string(word) + ",", words) != std::string::npos)
            << word << "\n"
            << debug;
}

// The manual page names every command in its list, and describes each in
// a section of its own with every option its help lists.
TEST(CliHelp, ManualPageDescribesEveryCommandWithItsOptions) {
    const std::string page = SourceFile("packaging/korvid.1");
    std::set<std::string> listed;
    const std::size_t list = page.find("Commands: ");
    ASSERT_NE(list, std::string::npos);
    std::istringstream names(page.substr(list + 10, page.find('\n', list) - list - 10));
    for (std::string name; std::getline(names, name, ',');) {
        name.erase(0, name.find_first_not_of(' '));
        if (!name.empty() && name.back() == '.') name.pop_back();
        listed.insert(name);
    }
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(listed, std::set<std::string>(commands.begin(), commands.end()));
    for (const std::string& command : commands) {
        const std::size_t at = page.find("\n.SS " + command + "\n");
        ASSERT_NE(at, std::string::npos) << "no section for " << command;
        const std::size_t end = std::min(page.find("\n.SS ", at + 1), page.find("\n.SH ", at + 1));
        const std::string section = page.substr(at, end - at);
        for (const std::string& option : OptionNames(command)) {
            if (option == "-h" || option == "--help") continue;
            std::string escaped;
            for (char c : option) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(section.find("\\fB" + escaped + "\\fR"), std::string::npos) << command << " " << option;
        }
    }
}

TEST(CliHelp, ReadmeListsEveryCommand) {
    std::set<std::string> listed;
    for (const std::string& line : LinesOf(SourceFile("README.md")))
        if (line.rfind("| `korvid ", 0) == 0) listed.insert(line.substr(10, line.find('`', 10) - 10));
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(listed, std::set<std::string>(commands.begin(), commands.end()));
}

// Bash completion as the shell runs it: the words offered for a command
// line that ends in `words` (the last one being completed).
std::set<std::string> Completions(const std::vector<std::string>& words) {
    std::string array = "'" + kKorvid + "'";
    for (const std::string& w : words) array += " '" + w + "'";
    const std::string script = "source '" + std::string(KORVID_SOURCE_DIR) + "/packaging/korvid.bash'\nCOMP_WORDS=(" +
                               array + ")\nCOMP_CWORD=" + std::to_string(words.size()) +
                               "\ncd /nonexistent 2>/dev/null; _korvid\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const auto r = RunProgram("/bin/bash", {"-c", script});
    std::set<std::string> out;
    for (const std::string& line : LinesOf(r.out))
        if (!line.empty()) out.insert(line);
    return out;
}

TEST(CliHelp, BashCompletesEachCommandsOwnOptions) {
    const std::vector<std::string> commands = Commands();
    const std::set<std::string> first = Completions({""});
    for (const std::string& command : commands) EXPECT_TRUE(first.count(command)) << command;
    for (const std::string& command : commands) EXPECT_EQ(Completions({command, "-"}), OptionNames(command)) << command;

    const std::set<std::string> asmOptions = Completions({"asm", "--"});
    EXPECT_TRUE(asmOptions.count("--dialect"));
    EXPECT_FALSE(asmOptions.count("--port"));
    EXPECT_TRUE(Completions({"debug", "--"}).count("--no-program"));
    EXPECT_TRUE(Completions({"program", "--"}).count("--irc"));
    EXPECT_TRUE(Completions({"sim", "--vcd"}).count("--vcd-limit"));
    EXPECT_EQ(Completions({"sim", "--family", ""}), (std::set<std::string>{"28l", "52"}));
    EXPECT_EQ(Completions({"asm", "--dialect", ""}), (std::set<std::string>{"strict", "extended"}));
    EXPECT_EQ(Completions({"program", "--irc", ""}), (std::set<std::string>{"slowest", "4mhz", "fastest"}));
    EXPECT_EQ(Completions({"verify", "--port", "CO"}), (std::set<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(Completions({"help", "di"}), (std::set<std::string>{"disasm"}));
}

}  // namespace
}  // namespace korvid
