// The register vocabulary every front end shares: the numbers of the
// registers a debugger shows (the 256 file addresses, then M and W, which
// have no address), the names of the special registers, and the names
// people may type for them.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
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
inline constexpr int kRtccRegister = 1;
inline constexpr int kPcRegister = 2;
inline constexpr int kStatusRegister = 3;
inline constexpr int kFsrRegister = 4;
inline constexpr int kFirstPortRegister = 5;
inline constexpr std::string_view kWAt1Name = "WREG";
inline constexpr std::string_view kRegisterWName = "W";
inline constexpr std::string_view kRegisterMName = "M";

// The STATUS bits by name, bit 7 first.
inline constexpr std::array<std::string_view, 8> kStatusBitNames = {"PA2", "PA1", "PA0", "TO", "PD", "Z", "DC", "C"};

// OPTION has no file address: MOV !OPTION,W writes it. Its bits by name,
// bit 7 first.
inline constexpr std::string_view kOptionRegisterName = "OPTION";
inline constexpr std::array<std::string_view, 8> kOptionBitNames = {"RTW", "RTE_IE", "RTS", "RTE_ES",
                                                                   "PSA", "PS2",    "PS1", "PS0"};

// The name of register 1: WREG while W is mapped there, else RTCC.
inline constexpr std::string_view RegisterOneName(bool wAt1) { return wAt1 ? kWAt1Name : kSpecialRegisterNames[kRtccRegister]; }

// The name of a register number (IND .. RE, W, M); empty for a file
// address without a name of its own.
inline constexpr std::string_view RegisterName(int number) {
    if (number >= 0 && number < int(std::size(kSpecialRegisterNames))) return kSpecialRegisterNames[number];
    if (number == kRegisterW) return kRegisterWName;
    if (number == kRegisterM) return kRegisterMName;
    return {};
}

// A register's number from one of its names, in capitals (IND .. RE, WREG,
// W, M); nothing for any other word.
inline constexpr std::optional<int> RegisterNamed(std::string_view upperName) {
    for (int a = 0; a < int(std::size(kSpecialRegisterNames)); ++a)
        if (upperName == kSpecialRegisterNames[a]) return a;
    if (upperName == kWAt1Name) return 1;
    if (upperName == kRegisterWName) return kRegisterW;
    if (upperName == kRegisterMName) return kRegisterM;
    return std::nullopt;
}

}  // namespace korvid
