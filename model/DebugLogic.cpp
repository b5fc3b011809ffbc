#include "model/DebugLogic.h"

#include <algorithm>

namespace korvid {

std::uint8_t CommandMask(DebugCommand command, bool breakpointSet) {
    switch (command) {
        case DebugCommand::Hop:  // Stop ends a Hop in progress
        case DebugCommand::Jog:
        case DebugCommand::Walk: return kMaskStop;
        case DebugCommand::Run: return breakpointSet ? 0 : kMaskPoll | kMaskStop;
        case DebugCommand::Poll: return breakpointSet ? kMaskStop : kMaskPoll | kMaskStop;
        default: return 0;
    }
}

DebugArrangement ArrangeDebugWindows(int screenWidth, int screenHeight, int debugWidth, int debugHeight,
                                     int registersWidth, int registersHeight, int watchWidth, int watchHeight,
                                     bool watchShown) {
    int w = watchShown ? std::max(debugWidth, watchWidth) : debugWidth;
    registersWidth = std::max(1, std::min(registersWidth, screenWidth - w));
    registersHeight = std::max(1, std::min(registersHeight, screenHeight * 5 / 8));
    int x = (screenWidth + registersWidth - w) / 2;
    int y = std::max(debugHeight, registersHeight) + screenHeight / 32;
    const int bottom = screenHeight * 15 / 16;
    DebugArrangement a;
    a.debug = {x, y - debugHeight, debugWidth, debugHeight};
    a.registers = {x - registersWidth, y - registersHeight, registersWidth, registersHeight};
    a.code = {x - registersWidth, y, registersWidth, bottom - y};
    a.watch = {x, y, watchWidth, std::max(1, std::min(watchHeight, bottom - y))};
    return a;
}

}  // namespace korvid
