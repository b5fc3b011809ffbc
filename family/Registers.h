// The register vocabulary every front end shares: the numbers of the
// registers a debugger shows (the 256 file addresses, then M and W, which
// have no address), the names of the special registers, and the names
// people may type for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvid {

// Register numbers beyond the file: M and W.
inline constexpr int kRegisterM = 256;
inline constexpr int kRegisterW = 257;

// A file address (0..255), M or W.
inline constexpr bool IsRegisterNumber(long number) {
    return (number >= 0 && number < 256) || number == kRegisterM || number == kRegisterW;
}

// The special registers at the bottom of the file, by address: the name a
// listing or a register view shows (address 1 reads as WREG while W is
// mapped there).
inline constexpr std::string_view kSpecialRegisterNames[] = {"IND", "RTCC", "PC", "STATUS", "FSR",
                                                             "RA",  "RB",   "RC", "RD",     "RE"};
inline constexpr int kFirstPortRegister = 5;
inline constexpr std::string_view kWAt1Name = "WREG";

// The name of register 1: WREG while W is mapped there, else RTCC.
inline constexpr std::string_view RegisterOneName(bool wAt1) { return wAt1 ? kWAt1Name : kSpecialRegisterNames[1]; }

// A register's number from one of its names, in capitals (IND .. RE, WREG,
// W, M); nothing for any other word.
inline constexpr std::optional<int> RegisterNamed(std::string_view upperName) {
    for (int a = 0; a < int(std::size(kSpecialRegisterNames)); ++a)
        if (upperName == kSpecialRegisterNames[a]) return a;
    if (upperName == kWAt1Name) return 1;
    if (upperName == "W") return kRegisterW;
    if (upperName == "M") return kRegisterM;
    return std::nullopt;
}

}  // namespace korvid
