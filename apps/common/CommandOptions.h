// The option scanner of the command-line programs: options may come in any
// order around the operands, "--name value" or "--name=value".
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvid {

class CommandOptions {
public:
    // `withValue` lists the options that take a value ("--family", "-o"),
    // `flags` those that take none.
    CommandOptions(const std::vector<std::string>& args, const std::vector<std::string>& withValue,
                   const std::vector<std::string>& flags = {});
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // The last value given for the option.
    std::optional<std::string> Value(const std::string& name) const;
    bool Flag(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return operands_; }

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> operands_;
    std::string error_;
};

}  // namespace korvid
