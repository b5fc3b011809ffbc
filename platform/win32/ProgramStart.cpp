#include "platform/ProgramStart.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/win32/SystemText.h"

namespace korvid {

// The arguments from the UTF-16 command line, so that a name in any script
// arrives whole whatever the code page; messages with such names show on
// the console as UTF-8.
std::vector<std::string> StartProgram(int argc, char** argv) {
    (void)::SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    if (!wide) {
        for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
        return args;
    }
    for (int i = 1; i < count; ++i) args.push_back(win32::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

void UseStdioAsBytes() {
    std::fflush(stdout);
    (void)::_setmode(::_fileno(stdin), _O_BINARY);
    (void)::_setmode(::_fileno(stdout), _O_BINARY);
}

// A pipe whose reader went away fails the write with an error: nothing to
// ignore.
void IgnoreBrokenPipes() {}

}  // namespace korvid
