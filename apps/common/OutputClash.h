// The clash rule of every program that writes files: an output may be none
// of the inputs, and no two outputs may be one file (same device and inode,
// links and "./" spellings included). Checked before anything is read or
// written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvid {

// An output file with the option that named it ("-o"), for messages.
struct NamedOutput {
    std::string option;
    std::string path;
};

// The message for the first clash ("--vcd x.vcd is the input file x.vcd"),
// or nothing when the files are distinct. `inputKind` names what the inputs
// are ("the input file", "the port").
std::optional<std::string> OutputClash(const std::vector<std::string>& inputs,
                                       const std::vector<NamedOutput>& outputs,
                                       const std::string& inputKind = "the input file");

}  // namespace korvid
