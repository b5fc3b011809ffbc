#include "model/CycleStopwatch.h"
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
    // On a small screen the windows that scroll are made smaller: the
    // Registers window to the width left of the Debug window and 5/8 of
    // the height, the Watch window to the height below the Debug window.
    a = ArrangeDebugWindows(640, 400, 165, 220, 600, 373, 170, 480, true);
    EXPECT_EQ(a.registers.left, 0);
    EXPECT_EQ(a.registers.width, 640 - 170);
    EXPECT_EQ(a.registers.height, 250);
    EXPECT_EQ(a.debug.left, 640 - 170);
    EXPECT_EQ(a.code.top, 250 + 12);
    EXPECT_EQ(a.watch.top + a.watch.height, 375);
}

// The stopwatch over a session: runs between stops, zeroing, a preset
// beyond the cycles counted refused, and the times at the clock.
TEST(CycleStopwatch, RunsZeroAndTimes) {
    CycleStopwatch w;
    w.Start(100);  // a counter that did not start at 0 (a restart)
    struct Step {
        char what;          // 's' stopped at `cycle`, 'z' zero, 'p' preset the last run to `cycle`
        std::uint64_t cycle;
        std::uint64_t sinceStart, lastRun;
        bool accepted = true;
    };
    const Step steps[] = {
        {'s', 103, 3, 3},      {'s', 1103, 1003, 1000}, {'p', 0, 1003, 0},      {'p', 2000, 1003, 0, false},
        {'s', 1200, 1100, 97}, {'z', 0, 0, 0},           {'s', 1210, 10, 10},
    };
    for (const Step& s : steps) {
        bool ok = true;
        if (s.what == 's') w.Stopped(s.cycle);
        if (s.what == 'z') w.Zero();
        if (s.what == 'p') ok = w.SetSinceLastStop(s.cycle);
        EXPECT_EQ(ok, s.accepted) << s.what << s.cycle;
        EXPECT_EQ(w.SinceStart(), s.sinceStart) << s.what << s.cycle;
        EXPECT_EQ(w.SinceLastStop(), s.lastRun) << s.what << s.cycle;
    }
    EXPECT_EQ(CycleTimeText(50, true, 50'000'000), "1.000 us");
    EXPECT_EQ(CycleTimeText(50, false, 50'000'000), "4.000 us");  // four clocks a cycle
    EXPECT_EQ(CycleTimeText(50, true, 0), "\u2014");                 // no clock known
    EXPECT_EQ(StopwatchText(&w, true, 4'000'000), "Cycles 10\n2.500 us\nLast run 10\n2.500 us");
    EXPECT_EQ(StopwatchText(nullptr, true, 4'000'000), "Cycles \u2014\nLast run \u2014");  // the tool
}

// Going back in the history: a stop at an earlier cycle reads as the
// stopwatch did when the chip was last there; never a count that wraps.
TEST(CycleStopwatch, FollowsTheChipBack) {
    CycleStopwatch w;
    w.Start(0);
    struct Step {
        char what;  // 's' stopped at `cycle`, 'z' zero
        std::uint64_t cycle;
        std::uint64_t sinceStart, lastRun;
        bool reset = false;
    };
    const Step steps[] = {
        {'s', 2, 2, 2},   {'s', 5, 5, 3},   {'s', 9, 9, 4},
        {'s', 5, 5, 3},                   // one step back: as at the stop at 5
        {'s', 4, 4, 2},                   // between stops: from the stop before it
        {'s', 7, 7, 3},   {'s', 0, 0, 0},  // back to the start
        {'s', 6, 6, 6},   {'z', 0, 0, 0},  {'s', 8, 2, 2},
        {'s', 3, 0, 0, true},             // before the zero: counting anew from there
        {'s', 10, 7, 7},
    };
    for (const Step& s : steps) {
        if (s.what == 's') w.Stopped(s.cycle);
        if (s.what == 'z') w.Zero();
        EXPECT_EQ(w.SinceStart(), s.sinceStart) << s.what << s.cycle;
        EXPECT_EQ(w.SinceLastStop(), s.lastRun) << s.what << s.cycle;
        EXPECT_EQ(w.WentBackPastStart(), s.reset) << s.what << s.cycle;
    }
    // More stops than are kept: back before the oldest kept, it counts anew.
    w.Start(0);
    for (std::uint64_t c = 1; c <= CycleStopwatch::kMaxStops + 10; ++c) w.Stopped(c);
    w.Stopped(3);
    EXPECT_EQ(w.SinceLastStop(), 0u);
    EXPECT_EQ(w.SinceStart(), 3u);
    EXPECT_TRUE(w.WentBackPastStart());
}

}  // namespace
}  // namespace korvid
