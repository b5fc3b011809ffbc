// The Debug window's rules without Qt: the command-button mask, the idle
// masks, the mask each command sets, and the arrangement of the Debug,
// Registers, Code and Watch windows on the screen.
#pragma once

#include <cstdint>

#include "core/link/DebugController.h"

namespace korvid {

// Button mask bits; a clear bit disables the button (Reset is always on).
enum DebugButtonBits : std::uint8_t {
    kMaskStop = 1 << 0,
    kMaskPoll = 1 << 1,
    kMaskRun = 1 << 2,
    kMaskWalk = 1 << 3,
    kMaskStep = 1 << 4,
    kMaskJog = 1 << 5,
    kMaskHop = 1 << 6,
};

inline constexpr std::uint8_t IdleMask(bool breakpointSet) { return breakpointSet ? 126 : 124; }

// The mask a command sets before it acts.
std::uint8_t CommandMask(DebugCommand command, bool breakpointSet);

struct WindowRect {
    int left = 0, top = 0, width = 0, height = 0;
};
struct DebugArrangement {
    WindowRect debug, registers, code, watch;
};
// Sizes are the windows' outer sizes. The Code window's size is set by the
// arrangement; the Registers and Watch windows, which scroll, keep theirs
// where the screen has room: the Registers window gets at most the width
// left of the Debug window and five eighths of the screen's height (the
// Code window below it needs room), the Watch window the height below the
// Debug window. The Debug window keeps its size.
DebugArrangement ArrangeDebugWindows(int screenWidth, int screenHeight, int debugWidth, int debugHeight,
                                     int registersWidth, int registersHeight, int watchWidth, int watchHeight,
                                     bool watchShown);

}  // namespace korvid
