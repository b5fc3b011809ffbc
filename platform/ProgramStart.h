// What a command-line program does first: its arguments as UTF-8 (on
// Windows from the system's UTF-16 command line, so that no name is lost to
// the code page), the console made to show UTF-8, and for the protocol
// servers standard input and output as bytes.
#pragma once

#include <string>
#include <vector>

namespace korvid {

// The arguments after the program's name.
std::vector<std::string> StartProgram(int argc, char** argv);

// Standard input and output carry bytes unchanged (no CR LF translation):
// the Content-Length framing counts bytes.
void UseStdioAsBytes();

// A write to a reader that went away fails instead of ending the process.
void IgnoreBrokenPipes();

}  // namespace korvid
