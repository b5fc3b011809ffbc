// Watch values: reading a WATCH variable out of the chip's register file,
// its display text in each format with digit grouping and prefixes, the
// width template that sizes the Watch window, the parse of a typed value,
// and the masked register writes that store it. No Qt here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/asm/AssemblyState.h"
#include "family/Family.h"

namespace korvid {

inline constexpr int kWatchEditLimit = 50;  // characters of a typed value
inline constexpr int kWatchValueBytes = 5;  // registers a numeric watch covers

// Register that holds watch address `address` (one byte). 28L: a global
// register when bit 4 is clear, else the address placed in the banks that
// were read; 52: the address itself.
int WatchRegister(const Family& family, int bankCount, unsigned address);

// The number of a numeric watch (formats UDEC to SBIN), sign-extended for
// the signed formats; `registers` is the 256-entry register file.
std::int64_t WatchNumber(const Watch& watch, const std::uint32_t* registers, const Family& family, int bankCount);

// Display text of a watch (numbers with "_" grouping and "$"/"%" prefixes,
// strings between single quotes).
std::string WatchText(const Watch& watch, const std::uint32_t* registers, const Family& family, int bankCount);

// The widest text the watch can show, for sizing the window.
std::string WatchTemplate(const Watch& watch);

// Parses a typed number: "$" hex, "%" binary, "-" sign before the first
// digit, "_" skipped, 32-bit accumulation. False for anything else.
bool ParseWatchNumber(std::string_view text, std::uint32_t& value);

// Register writes that store a value into a watch. Numbers change only the
// bits under the watch's mask, in the registers the mask covers; strings
// fill all their registers, zeros after the text.
struct RegisterWrite {
    int address;
    std::uint8_t value;
};
struct WatchWrites {
    RegisterWrite writes[256];
    int count = 0;
};
WatchWrites WatchNumberWrites(const Watch& watch, std::uint32_t value, const std::uint32_t* registers,
                              const Family& family, int bankCount);
WatchWrites WatchStringWrites(const Watch& watch, std::string_view text, const Family& family, int bankCount);

// The typed text of a string watch without the quotes the display adds,
// so that committing the shown value unchanged stores the same characters.
std::string_view WatchStringEntry(std::string_view text);

bool IsStringWatch(const Watch& watch);

}  // namespace korvid
