// The tool's clock generator: the setting word for a frequency and the
// commands that start and stop the clock output.
#pragma once

#include <cstdint>

namespace korvid {

class Link;

inline constexpr std::uint32_t kClockMinHz = 400000;
inline constexpr std::uint32_t kClockMaxHz = 110000000;

// Setting word for frequency F (Hz): multiplier m-3 in bits 15.., bit 14
// set, post-divider exponent in 11..13, divisor d-2 in 4..10, bit 3 when the
// oscillator runs at 40 MHz or more. Searches p 7..0, m 4..130, d 20..100 and
// keeps the last candidate of the smallest error.
std::uint32_t FindClockSetting(std::uint32_t frequency);

// Command 8 with the setting's three low bytes, then a status byte. The
// frequency is held to 400 kHz .. 110 MHz first.
void StartClock(Link& link, std::uint32_t frequency);
// Command 9, no answer.
void StopClock(Link& link);

}  // namespace korvid
