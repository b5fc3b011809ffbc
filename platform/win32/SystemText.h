// Text as the system's calls take and give it: names in UTF-16 from the
// program's UTF-8 (a name that is not valid UTF-8 is read in the system
// code page, as a name typed into an older program would be), and the
// reason for an error in the words the program uses on every system.
#pragma once

#include <string>
#include <windows.h>

namespace korvid::win32 {

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
// The reason for `error` (GetLastError), worded as the POSIX side words it
// ("No such file or directory") where there is such a wording, else the
// system's own message.
std::string ReasonOf(DWORD error);
inline std::string LastReason() { return ReasonOf(::GetLastError()); }

}  // namespace korvid::win32
