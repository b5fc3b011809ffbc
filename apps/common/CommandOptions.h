// The option scanner of the command-line programs: options may come in any
// order around the operands, "--name value" or "--name=value"; a one-letter
// option also as "-j4".
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvid {

// One option of a command as its table row: the scanner reads which names
// it knows and which take a value from the same rows that the help prints,
// so that the two cannot drift apart.
struct OptionSpec {
    std::string_view name;        // "--family", "-o"
    std::string_view value;       // what the value is ("28l|52", "OUT.sxh"); empty: a flag
    std::string_view help;        // one line
    std::string_view alias = {};  // another spelling of the same option ("--jobs" for "-j")
};

// The rows as help lines: "  --family 28l|52    the chip family ...", one
// a row, the texts in one column.
std::string OptionHelpLines(std::span<const OptionSpec> options);

class CommandOptions {
public:
    // `withValue` lists the options that take a value ("--family", "-o"),
    // `flags` those that take none.
    CommandOptions(const std::vector<std::string>& args, const std::vector<std::string>& withValue,
                   const std::vector<std::string>& flags = {});
    // The options of a table; an alias is read as its row's name.
    CommandOptions(const std::vector<std::string>& args, std::span<const OptionSpec> options);
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // The last value given for the option.
    std::optional<std::string> Value(const std::string& name) const;
    bool Flag(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return operands_; }

private:
    // How the scanner reads a name: unknown, a flag or an option with a
    // value, under the name the command asks for.
    struct Known {
        bool known = false;
        bool takesValue = false;
        std::string name;
    };
    template <class Lookup>
    void Scan(const std::vector<std::string>& args, Lookup lookup);

    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> operands_;
    std::string error_;
};

}  // namespace korvid
