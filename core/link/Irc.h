// IRC trim settling and calibration: the trim (0 fastest .. 7 slowest) that
// goes into the extended fuse word of every programming run, either fixed or
// measured on the chip so that the internal oscillator comes closest to
// 4 MHz.
#pragma once

#include <array>
#include <cstdint>

#include "core/asm/AssemblyState.h"  // IrcMode
#include "core/link/LinkObserver.h"

namespace korvid {

class Link;

// The link's IRC settings for the life of the process.
struct IrcSettings {
    IrcMode mode = IrcMode::Slowest;
    int trim = 0;
    std::array<std::uint16_t, 8> counts{};
};

inline constexpr std::uint32_t kIrcCountDividend = 1266035968u;
inline constexpr std::uint32_t kIrcTarget = 4000000u;

// Extended fuse word programmed to measure a trim (bits 8, 9, 11 carry it).
std::uint16_t IrcMeasurementWord(int trim);
// Frequency in Hz of a measured count; 0 for a count of 0 (no measurement).
std::uint32_t IrcFrequency(std::uint16_t count);
// The trim nearest 4 MHz: first of the smallest distance in trim order;
// trims without a frequency are never chosen (7, the slowest, if none has).
int ChooseIrcTrim(const std::array<std::uint16_t, 8>& counts);
// The IRC window's (and the command line's) text of a frequency in Hz: MHz
// with two decimals, truncated ("4.01" for 4,012,345 Hz, "0.98" for
// 980 kHz). A frequency of 0 (no measurement) gives "-". `out` needs 16
// bytes.
void FormatIrcMhz(std::uint32_t hz, char out[16]);

// Measures every trim on the chip: erase, trims 7 3 1 0; erase, 5 4;
// erase, 6 2; stores the counts and the chosen trim.
void CalibrateIrc(Link& link, IrcSettings& irc, LinkObserver& observer);
// Sets irc.trim for the next programming run by the IRC mode.
void SettleTrim(Link& link, IrcSettings& irc, IrcMode mode, LinkObserver& observer);

IrcResults MakeIrcResults(const IrcSettings& irc);

}  // namespace korvid
