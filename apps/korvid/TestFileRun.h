// Runs one test file of `korvid test` in this process: reads and parses
// it, loads the program it names, runs it on the emulator and collects the
// checks' results. Messages of the assembler or the loader become part of
// the result rather than going to the terminal.
#pragma once

#include <string>

#include "apps/korvid/TestReport.h"

namespace korvid::cli {

// `shownName`: the file as messages name it. `vcdPath`: a waveform to
// write when the test fails (empty: none).
TestFileResult RunTestFile(const std::string& path, const std::string& shownName, const std::string& vcdPath);

}  // namespace korvid::cli
