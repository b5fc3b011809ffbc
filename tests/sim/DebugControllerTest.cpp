// The debugger's commands and halt rules against the simulated tool in the
// same process, as every front end drives them.
#include <gtest/gtest.h>

#include <vector>

#include "core/image/DebugKernel.h"
#include "core/link/DebugController.h"
#include "tests/sim/ToolDebugRig.h"

namespace korvid {
namespace {

// Two-word lines (MOV fr,#lit is MOV W,#lit then MOV fr,W) at 10h and 12h,
// a one-word line at 14h, then a loop.
constexpr const char* kSource =
    " DEVICE SX28L, TURBO, STACKX_OPTIONX\n"
    " RESET start\n"
    " ORG 10h\n"
    "start MOV 0Ch,#5\n"   // 010, 011
    " MOV 0Dh,#6\n"        // 012, 013
    " INC 0Ch\n"           // 014
    "loop JMP loop\n";     // 015

struct Recorder : DebugObserver {
    void Halted(const DebugHalt& h) override { halts.push_back(h); }
    void Idle() override { ++idles; }
    std::vector<DebugHalt> halts;
    int idles = 0;
};

struct ControllerRig {
    ControllerRig() : rig(Sx28lFamily()), debugger(rig.t.link, *rig.t.state) { debugger.AddObserver(&seen); }

    // Programs the source, opens the link and resets as the Debug window
    // does; true once the halt at reset has been handled.
    bool Start() {
        if (!rig.Load(kSource)) return false;
        rig.t.Run([&] {
            rig.t.link.OpenLink();
            debugger.Begin();
            debugger.Reset();
        });
        return Settle().event == DebugEvent::Shown;
    }

    // Looks until a halt is handled and the chip waits (or gives up).
    DebugHalt Settle() {
        DebugHalt last{};
        for (int i = 0; i < 400; ++i) {
            const DebugEvent e = debugger.Look();
            if (e == DebugEvent::NewHalt) {
                last = debugger.TakeHalts([] { return false; });
                if (!last.resumed) return last;
            }
        }
        ADD_FAILURE() << "no idle halt";
        return last;
    }

    DebugHalt Do(DebugCommand c) {
        debugger.Execute(c);
        return Settle();
    }

    test::DebugRig rig;
    DebugController debugger;
    Recorder seen;
};

TEST(DebugController, StepHopAndResetFollowTheListing) {
    ControllerRig r;
    ASSERT_TRUE(r.Start());
    const int size = r.debugger.Session.ProgramSize;
    EXPECT_EQ(r.debugger.Session.State.ProgramCounter, std::uint32_t(size - 1));  // halted at the reset vector
    // RESET start: the jump to start.
    EXPECT_EQ(r.Do(DebugCommand::Step).programCounter, 0x10u);
    const struct {
        DebugCommand command;
        std::uint32_t pc;
    } steps[] = {
        {DebugCommand::Step, 0x11},  // within the two-word line
        {DebugCommand::Hop, 0x12},   // to the next line
        {DebugCommand::Hop, 0x14},   // over both words of a line
        {DebugCommand::Hop, 0x15},
    };
    for (const auto& s : steps) {
        const DebugHalt h = r.Do(s.command);
        EXPECT_EQ(h.event, DebugEvent::Shown);
        EXPECT_EQ(h.programCounter, s.pc);
    }
    EXPECT_EQ(r.debugger.Session.State.registers[0x0C], 6u);
    EXPECT_EQ(r.debugger.Session.State.registers[0x0D], 6u);
    // A Hop within one line steps silently: the observers see those halts
    // resumed, and idle only once.
    int within = 0;
    for (const DebugHalt& h : r.seen.halts) within += h.event == DebugEvent::WithinLine;
    EXPECT_EQ(within, 1);
    EXPECT_EQ(r.seen.idles, 6);

    // Reset sends the halted chip through the kernel's first word back to
    // the reset vector.
    EXPECT_EQ(KernelStartAddress(size), std::uint32_t(size - 1) & 0xF77u);
    r.debugger.Reset();
    EXPECT_EQ(r.Settle().programCounter, std::uint32_t(size - 1));
}

TEST(DebugController, BreakpointIsShownAndPassedWhileWalkStopsOnStop) {
    ControllerRig r;
    ASSERT_TRUE(r.Start());
    r.Do(DebugCommand::Step);  // at start (010)
    r.debugger.Session.State.Breakpoint = 0x12;
    // Stepping onto the breakpoint shows it and goes on in the last mode.
    r.Do(DebugCommand::Hop);
    const auto& h = r.seen.halts;
    ASSERT_GE(h.size(), 2u);
    EXPECT_EQ(h[h.size() - 2].event, DebugEvent::Breakpoint);
    EXPECT_EQ(h[h.size() - 2].programCounter, 0x12u);
    EXPECT_TRUE(h[h.size() - 2].resumed);
    EXPECT_EQ(h.back().programCounter, 0x13u);
    EXPECT_FALSE(r.debugger.HopFlag);
    // A script or debug adapter stops at the breakpoint instead.
    r.debugger.ContinueAtBreakpoint = false;
    r.debugger.Session.State.Breakpoint = 0x14;
    const DebugHalt stopped = r.Do(DebugCommand::Hop);
    EXPECT_EQ(stopped.event, DebugEvent::Breakpoint);
    EXPECT_FALSE(stopped.resumed);
    EXPECT_EQ(stopped.programCounter, 0x14u);
    r.debugger.ContinueAtBreakpoint = true;

    // Walk shows every halt and goes on until Stop.
    r.debugger.Session.State.Breakpoint = kNoBreakpoint;
    r.debugger.Execute(DebugCommand::Walk);
    int shown = 0;
    for (int i = 0; i < 400 && shown < 3; ++i)
        if (r.debugger.Look() == DebugEvent::NewHalt && r.debugger.TakeHalts([] { return false; }).resumed) ++shown;
    EXPECT_EQ(shown, 3);
    EXPECT_TRUE(r.debugger.WalkFlag);
    const int idles = r.seen.idles;
    r.debugger.Execute(DebugCommand::Stop);
    const DebugHalt last = r.Settle();
    EXPECT_EQ(last.event, DebugEvent::Shown);
    EXPECT_FALSE(last.resumed);
    EXPECT_EQ(r.seen.idles, idles + 1);
}

}  // namespace
}  // namespace korvid
