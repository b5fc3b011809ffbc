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
    int x = (screenWidth + registersWidth - w) / 2;
    int y = std::max(debugHeight, registersHeight) + screenHeight / 32;
    DebugArrangement a;
    a.debug = {x, y - debugHeight, debugWidth, debugHeight};
    a.registers = {x - registersWidth, y - registersHeight, registersWidth, registersHeight};
    a.code = {x - registersWidth, y, registersWidth, screenHeight * 15 / 16 - y};
    a.watch = {x, y, watchWidth, watchHeight};
    return a;
}

}  // namespace korvid
