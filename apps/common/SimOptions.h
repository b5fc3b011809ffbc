// The options of a simulation that `korvid sim` and `korvid-sim` both take:
// --stimulus FILE, --vcd OUT.vcd and --vcd-limit SIZE.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "apps/common/CommandOptions.h"
#include "sim/SimSetup.h"

namespace korvid {

// Their rows (the scanner and the help of every program that takes them).
std::span<const OptionSpec> SimFileOptions();
// The names, for the scanner's list of options with a value.
std::vector<std::string> SimFileOptionNames();

// Reads them into `files`. False with a message when a value is unusable:
// an empty or "-" waveform name, a malformed size, the waveform one of
// `inputs` or the stimulus (the same clash rule as every output).
bool ReadSimFiles(const CommandOptions& options, const std::vector<std::string>& inputs, SimFiles& files,
                  std::string& message);

}  // namespace korvid
