// The Clock and IRC windows' logic, free of Qt: the frequency typed in the
// Clock window's edit, the track bar position of a frequency and back, the
// edit's text for a frequency and the meaning of the keys the edit takes.
// The IRC window's MHz text lives in core/link/Irc, which the command line
// shares.
#pragma once

#include <cstdint>

#include "core/link/Irc.h"  // FormatIrcMhz: the IRC window's text, shared with the command line

namespace korvid {

inline constexpr int kClockTrackMax = 10960;          // track bar bottom (400 kHz)
inline constexpr int kClockTrackPage = 100;           // page size of the track bar
inline constexpr std::uint32_t kClockTrackStepHz = 10000;  // 10 kHz per position
inline constexpr int kClockEditMaxLength = 7;         // "110.000"

// Clamps to the generator's range, 400 kHz to 110 MHz.
std::uint32_t ClampClockFrequency(std::uint64_t hz);

// The edit's text parsed: before a '.' each digit d makes f = f * 10 +
// d * 1,000,000; after it the first three digits add 100,000, 10,000 and
// 1,000 times the digit and further digits add nothing. Characters other
// than digits and '.' are skipped. The result is clamped (a long number
// saturates at 110 MHz instead of wrapping).
std::uint32_t ParseClockText(const char* text);

// Whole megahertz, '.', three digits of kHz (truncated): "3.579". `out`
// needs 12 bytes.
void FormatClockText(std::uint32_t hz, char out[12]);

// Position 0 at the top (110 MHz) to 10960 at the bottom (400 kHz).
int ClockTrackPosition(std::uint32_t hz);
std::uint32_t ClockFrequencyAtPosition(int position);

// What a key typed into the edit does.
enum class ClockKeyAction : std::uint8_t {
    Edit,         // digits, '.', backspace: the edit takes it
    Enter,        // parse the text and update
    Okay,         // K / k: click Okay
    ToggleOn,     // O / o: toggle the On box
    Reset,        // R / r: reset the chip
    Swallow,      // anything else is dropped
};
ClockKeyAction ClassifyClockKey(char32_t key);


}  // namespace korvid
