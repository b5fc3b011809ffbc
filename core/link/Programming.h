// Erasing, programming and reading a chip over the link, from and into the
// device image of the assembly state.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/asm/AssemblyState.h"
#include "core/link/Irc.h"
#include "core/link/LinkObserver.h"
#include "core/link/Protocol.h"

namespace korvid {

class Link;

// Fixed programming settings.
inline constexpr int kEraseTime = 500;   // sent in chunks of at most 255
inline constexpr std::uint8_t kFusePulse = 50;
inline constexpr std::uint8_t kWordPulse = 20;

// Erase commands for the whole erase time; each chunk answers a status.
// With an observer, the bar advances with the erase time done (32 steps in
// all), for an erase on its own; a programming run's erase stage shows none.
void EraseDevice(Link& link);
void EraseDevice(Link& link, LinkObserver& observer);

// Programs the extended fuse word alone and returns the count the tool
// measured on the chip's IRC.
std::uint16_t ProgramFuseAndMeasure(Link& link, std::uint16_t word);

// The extended fuse and fuse words a programming run sends for an image's
// words and the IRC trim.
std::uint16_t ExtFuseToProgram(const Family& family, std::uint16_t extFuse, int trim);
std::uint16_t FuseToProgram(const Family& family, std::uint16_t fuse);

// Programs the chip from state.DeviceImage; with `run` set, starts the clock
// at state.ClockFrequency before releasing the chip. Opens and closes the
// link itself. The observer's progress is hidden at the end, also after a
// failure; the IRC results reach it after a calibrated (4 MHz) run. The
// IRC mode is state.IrcCalibration where the source chose one, else
// irc.mode (which is left as it is).
void ProgramDevice(Link& link, AssemblyState& state, IrcSettings& irc, LinkObserver& observer, bool run);

// Throws LinkFailure, before anything reaches the tool, when
// state.DeviceImage holds no program word (every word erased and none
// marked as data): programming it would only erase the chip. The commands
// that program call it first; ProgramDevice itself does not.
void RequireProgramData(const AssemblyState& state);

// Reads the chip into state.DeviceImage, showing `message`. On a failure the
// words received so far stay in the image.
void ReadDevice(Link& link, AssemblyState& state, LinkObserver& observer, std::string_view message);

// Command 4 with its status.
void ReleaseChip(Link& link);

// Whether the clock is stopped before programming, by family and firmware.
bool StopsClockBeforeProgramming(const Family& family, std::uint8_t firmwareVersion);

}  // namespace korvid
