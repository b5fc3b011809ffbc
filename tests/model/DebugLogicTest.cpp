#include "model/DebugLogic.h"

#include <gtest/gtest.h>

namespace korvid {
namespace {

TEST(DebugLogic, CommandMasks) {
    struct Case {
        DebugCommand command;
        bool breakpoint;
        std::uint8_t mask;
    } cases[] = {
        {DebugCommand::Hop, false, 1},  {DebugCommand::Jog, false, 1},  {DebugCommand::Step, true, 0},
        {DebugCommand::Walk, true, 1},  {DebugCommand::Run, false, 3},  {DebugCommand::Run, true, 0},
        {DebugCommand::Poll, false, 3}, {DebugCommand::Poll, true, 1},  {DebugCommand::Stop, false, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CommandMask(c.command, c.breakpoint), c.mask) << int(c.command);
    EXPECT_EQ(IdleMask(false), kMaskHop | kMaskJog | kMaskStep | kMaskWalk | kMaskRun);
    EXPECT_EQ(IdleMask(true), IdleMask(false) | kMaskPoll);
}

TEST(DebugLogic, ArrangementCentresRegistersAndDebugWindows) {
    DebugArrangement a = ArrangeDebugWindows(1024, 768, 100, 300, 500, 400, 300, 120, true);
    // W = 300 (the Watch window is wider), x = (1024 + 500 - 300) / 2.
    EXPECT_EQ(a.debug.left, 612);
    EXPECT_EQ(a.debug.top, 424 - 300);
    EXPECT_EQ(a.registers.left, 112);
    EXPECT_EQ(a.registers.top, 24);
    EXPECT_EQ(a.code.left, 112);
    EXPECT_EQ(a.code.top, 424);
    EXPECT_EQ(a.code.width, 500);
    EXPECT_EQ(a.code.height, 720 - 424);
    EXPECT_EQ(a.watch.left, 612);
    EXPECT_EQ(a.watch.top, 424);
    // Without the Watch window its width does not count.
    EXPECT_EQ(ArrangeDebugWindows(1024, 768, 100, 300, 500, 400, 300, 120, false).debug.left, 712);
}

}  // namespace
}  // namespace korvid
