// The debug protocol end to end against the simulated tool in the same
// process: halt at reset, steps, skips, breakpoints, free runs, sleep,
// register writes, program-counter moves; both families.
#include <gtest/gtest.h>

#include <random>

#include "tests/sim/ToolDebugRig.h"

namespace korvid {
namespace {

using test::DebugRig;

std::string Header(const Family& family) {
    return family.is52() ? "" : " DEVICE SX28L, TURBO, STACKX_OPTIONX\n";
}

class ToolDebug : public ::testing::TestWithParam<const Family*> {
protected:
    const Family& family() const { return *GetParam(); }
    // Loads `program` (after the family's DEVICE line) and starts the
    // session: halted at the reset vector.
    bool Started(const std::string& program) { return rig.Load(Header(family()) + program) && rig.Start(); }

    DebugRig rig{family()};
};

std::string FamilyName(const ::testing::TestParamInfo<const Family*>& info) {
    return info.param->is52() ? "Sx52" : "Sx28l";
}

TEST_P(ToolDebug, HaltsAtResetThenStepsIntoTheProgram) {
    ASSERT_TRUE(Started(" ORG 10h\n"
                        "start MOV W,#5\n"      // 10
                        " MOV 0Ch,W\n"          // 11
                        " INC 0Ch\n"            // 12
                        "loop JMP loop\n"       // 13
                        " RESET start\n"));
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(rig.size() - 1));  // the reset vector
    EXPECT_EQ(rig.reg(3) & 0xE0, 0u);
    EXPECT_EQ(rig.reg(2), 0u);  // PC + 1, low byte
    EXPECT_EQ(rig.session.State.IntFlag, 0);
    EXPECT_EQ(rig.session.State.SkipFlag, 0);
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.pc(), 0x10u);
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.session.State.W, 5u);
    ASSERT_TRUE(rig.Step());
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.pc(), 0x13u);
    EXPECT_EQ(rig.reg(0x0C), 6u);
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.pc(), 0x13u);
}

TEST_P(ToolDebug, TakenSkipHaltsOnTheSkippedWordWithTheSkipFlag) {
    ASSERT_TRUE(Started(" ORG 10h\n"
                        "start SETB 0Ch.0\n"    // 10
                        " SB 0Ch.0\n"           // 11
                        " INC 0Dh\n"            // 12 (skipped)
                        " INC 0Eh\n"            // 13
                        "loop JMP loop\n"
                        " RESET start\n"));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.pc(), 0x12u);
    EXPECT_EQ(rig.session.State.SkipFlag, 1);
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.pc(), 0x13u);
    EXPECT_EQ(rig.session.State.SkipFlag, 0);
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.reg(0x0D), 0u);
    EXPECT_EQ(rig.reg(0x0E), 1u);
}

const char* const kCounterLoop =
    " ORG 10h\n"
    "start INC 0Ch\n"   // 10
    " INC 0Dh\n"        // 11
    " JMP start\n"      // 12
    " RESET start\n";

TEST_P(ToolDebug, RunsToTheBreakpointAndToggles) {
    ASSERT_TRUE(Started(kCounterLoop));
    rig.session.ToggleBreakpoint(0x0FF);  // no code there: nothing happens
    EXPECT_EQ(rig.session.State.Breakpoint, kNoBreakpoint);
    rig.session.ToggleBreakpoint(0x11);
    EXPECT_EQ(rig.session.State.Breakpoint, 0x11u);
    for (std::uint32_t round = 1; round <= 2; ++round) {
        rig.session.Resume(kModeToBreak);
        ASSERT_TRUE(rig.WaitHalt());
        EXPECT_EQ(rig.pc(), 0x12u);  // the breakpoint's instruction was executed
        EXPECT_EQ(rig.reg(0x0D), round);
    }
    rig.session.ToggleBreakpoint(0x11);
    EXPECT_EQ(rig.session.State.Breakpoint, kNoBreakpoint);
}

TEST_P(ToolDebug, FreeRunUntilInterrupted) {
    ASSERT_TRUE(Started(kCounterLoop));
    rig.session.Resume(kModeFree);
    EXPECT_FALSE(rig.session.StateValid);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(rig.session.Poll());
        EXPECT_EQ(rig.session.LastRunState, 0);
    }
    rig.session.Interrupt();
    ASSERT_TRUE(rig.WaitHalt(1));
    EXPECT_GE(rig.pc(), 0x10u);
    EXPECT_LE(rig.pc(), 0x12u);
    // 3 polls of 20,000 cycles, 5 cycles a round: the counters wrapped.
    EXPECT_EQ(rig.reg(0x0D), (rig.reg(0x0C) - (rig.pc() == 0x11u ? 1 : 0)) & 0xFF);
}

TEST_P(ToolDebug, SleepIsReportedAndResetRecovers) {
    ASSERT_TRUE(Started(" ORG 10h\n"
                        "start INC 0Ch\n"
                        " SLEEP\n"
                        " RESET start\n"));
    rig.session.Resume(kModeFree);
    EXPECT_FALSE(rig.session.Poll());
    EXPECT_EQ(rig.session.LastRunState, 1);
    EXPECT_FALSE(rig.session.Poll());
    EXPECT_EQ(rig.session.LastRunState, 1);
    // Stop halts even a sleeping chip; Reset brings it back to the vector.
    rig.session.Interrupt();
    ASSERT_TRUE(rig.WaitHalt(1));
    EXPECT_EQ(rig.pc(), 0x12u);
    EXPECT_EQ(rig.reg(3) & 0x08, 0u);  // PD cleared by SLEEP
    ASSERT_TRUE(rig.Step());            // awake: debugging goes on
    EXPECT_EQ(rig.pc(), 0x13u);
    rig.Reset();
    ASSERT_TRUE(rig.WaitHalt());
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(rig.size() - 1));
}

TEST_P(ToolDebug, RegisterWritesThenResync) {
    ASSERT_TRUE(Started(kCounterLoop));
    ASSERT_TRUE(rig.Step());
    const std::size_t writes = rig.t.PlainWrites().size();
    rig.session.WriteRegister(4, 0x3F);  // file select: travels with the resume
    EXPECT_EQ(rig.t.PlainWrites().size(), writes);
    rig.session.WriteRegister(8, 0x21);
    ASSERT_EQ(rig.t.PlainWrites().size(), writes + 1);
    EXPECT_EQ(rig.t.PlainWrites().back(), (std::vector<std::uint8_t>{7, 4, 1, 8, 2, 0x21}));
    rig.session.WriteRegister(0x0E, 0x07);
    rig.session.WriteRegister(kRegisterW, 0x99);
    rig.session.WriteRegister(0x30, 0x55);  // a banked register
    rig.session.Resync();
    EXPECT_TRUE(rig.session.StateValid);
    EXPECT_EQ(rig.session.State.W, 0x99u);
    EXPECT_EQ(rig.reg(0x0E), 0x07u);
    EXPECT_EQ(rig.reg(0x30), 0x55u);
    EXPECT_EQ(rig.reg(4) & 0x1F, 0x1Fu);
    if (!family().is52()) {
        EXPECT_EQ(rig.reg(8), 0x21u);  // a port (RD) on the 52 family
    }
    EXPECT_EQ(rig.pc(), 0x10u);
    // Register 0 shows what FSR points at.
    rig.session.WriteRegister(4, 0x30);
    rig.session.Resync();
    EXPECT_EQ(rig.reg(0), 0x55u);
}

TEST_P(ToolDebug, MovingTheProgramCounterSetsThePageBits) {
    const int far = family().is52() ? 0x405 : 0x205;
    char text[160];
    std::snprintf(text, sizeof text,
                  " ORG 10h\nstart JMP start\n ORG %04Xh\nthere NOP\n NOP\n RESET start\n", far);
    ASSERT_TRUE(Started(text));
    rig.session.ToggleBreakpoint(0x10);  // the first click of a double click
    rig.session.MoveProgramCounter(far);
    EXPECT_EQ(rig.session.State.Breakpoint, kNoBreakpoint);  // the toggle was undone
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(far));
    EXPECT_EQ(rig.reg(3) & 0xE0, family().is52() ? 0x40u : 0x20u);
    ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(far + 1));
}

TEST_P(ToolDebug, RunawayIntoTheKernelHalts) {
    // Jumps to the reset vector's stub and on into the kernel entry: that
    // is the halt at reset. A jump onto another kernel word halts there.
    const int size = family().is52() ? 4096 : 2048;
    char text[200];
    std::snprintf(text, sizeof text,
                  " ORG 10h\nstart PAGE %04Xh\n JMP %04Xh\n RESET start\n", size - 512, (size - 100) & 0x1FF);
    ASSERT_TRUE(Started(text));
    rig.session.Resume(kModeFree);
    ASSERT_TRUE(rig.WaitHalt());
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(size - 100));
    ASSERT_TRUE(rig.Step());  // nothing of the kernel runs
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(size - 100));
    rig.Reset();
    ASSERT_TRUE(rig.WaitHalt());
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(size - 1));
}

TEST_P(ToolDebug, RtccInterruptShowsTheIntFlag) {
    ASSERT_TRUE(Started(" ORG 0\n"
                        "isr INC 0Ch\n"         // 0
                        " RETI\n"               // 1
                        " ORG 10h\n"
                        "start MOV W,#88h\n"
                        " MOV !OPTION,W\n"
                        "loop JMP loop\n"
                        " RESET start\n"));
    rig.session.ToggleBreakpoint(0);
    rig.session.Resume(kModeToBreak);
    ASSERT_TRUE(rig.WaitHalt());
    EXPECT_EQ(rig.pc(), 1u);
    EXPECT_EQ(rig.session.State.IntFlag, 1);
    EXPECT_EQ(rig.reg(0x0C), 1u);
    ASSERT_TRUE(rig.Step());  // RETI
    EXPECT_EQ(rig.session.State.IntFlag, 0);
    EXPECT_EQ(rig.pc(), 0x12u);
}

TEST_P(ToolDebug, ResumeAndInterruptBytes) {
    ASSERT_TRUE(Started(kCounterLoop));
    ChipState& s = rig.session.State;
    s.W = 0x12;
    s.SkipFlag = 1;  // not sent at the reset vector
    s.IntFlag = 1;
    s.registers[3] = 0xFF;
    s.registers[4] = 0x44;
    s.registers[13] = 0x0D;
    s.registers[14] = 0x0E;
    s.registers[15] = 0x0F;
    s.M = 0x0A;
    s.Breakpoint = 0x123;
    const int top = rig.size() - 1;
    rig.session.Resume(kModeResync);
    const std::vector<std::uint8_t> want = {
        7, 28, 4, 0x12, 0, static_cast<std::uint8_t>(top >> 8), 8, static_cast<std::uint8_t>((top & 0xFF) - 2),
        0x10, 0xE7 + 16, 0x20, 0x44, 0, 0x0E, 0, 0x0F, 0, 0xF7, 0, 0xF7, 0, 0xF7, 0, 0x01, 0x40, 0x23,
        0, 0x0A, 0x80, 0x0D};
    EXPECT_EQ(rig.t.PlainWrites().back(), want);
    EXPECT_EQ(rig.session.LastMode, kModeResync);
    ASSERT_TRUE(rig.WaitHalt());
    EXPECT_EQ(rig.pc(), static_cast<std::uint32_t>(top));
    rig.session.Interrupt();
    EXPECT_EQ(rig.t.PlainWrites().back(), family().is52() ? (std::vector<std::uint8_t>{7, 2, 0, 0})
                                                          : (std::vector<std::uint8_t>{7, 1, 0}));
}

TEST_P(ToolDebug, WAtAddress1) {
    ASSERT_TRUE(Started(" ORG 10h\n"
                        "start MOV W,#7Fh\n"
                        " MOV !OPTION,W\n"      // RTW = 0: address 1 is W
                        " MOV W,#21h\n"
                        "loop JMP loop\n"
                        " RESET start\n"));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(rig.Step());
    EXPECT_EQ(rig.session.State.WAt1Flag, 1);
    EXPECT_EQ(rig.reg(1), 0x21u);
    const std::size_t writes = rig.t.PlainWrites().size();
    rig.session.WriteRegister(1, 0x33);
    EXPECT_EQ(rig.t.PlainWrites().size(), writes);  // W travels with the resume
    EXPECT_EQ(rig.session.State.W, 0x33u);
    rig.session.Resync();
    EXPECT_EQ(rig.session.State.W, 0x33u);
    EXPECT_EQ(rig.reg(1), 0x33u);
}

INSTANTIATE_TEST_SUITE_P(Families, ToolDebug, ::testing::Values(&Sx28lFamily(), &Sx52Family()), FamilyName);

TEST(ToolDebug28, OneBankPartShowsTheBankBitsSet) {
    DebugRig rig(Sx28lFamily());
    ASSERT_TRUE(rig.Load(" DEVICE PIC16C54, TURBO\n ORG 10h\nstart JMP start\n RESET start\n"));
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.size(), 512);
    EXPECT_EQ(rig.session.BankCount, 1);
    EXPECT_EQ(rig.reg(4) & 0xE0, 0xE0u);
    rig.session.WriteRegister(0xF3, 0x12);
    rig.session.Resync();
    EXPECT_EQ(rig.reg(0xF3), 0x12u);
    EXPECT_EQ(rig.pc(), 511u);
}

// Arbitrary flash, payloads and state requests never crash or hang the
// tool's debug side (the sanitizer build checks the memory accesses).
TEST(ToolDebugRobustness, ArbitraryInput) {
    for (const Family* family : {&Sx28lFamily(), &Sx52Family()}) {
        std::mt19937 rng(7);
        SimChip chip(*family);
        ToolDebugRunner runner(*family);
        runner.cyclesPerPoll = 5'000;
        std::uint8_t data[256];
        std::uint8_t out[256];
        for (int round = 0; round < 20; ++round) {
            for (auto& word : chip.flash) word = static_cast<std::uint16_t>(rng());
            if (round % 2) {  // a debug image's reset jump and stub
                const int size = family->is52() ? 4096 : 2048;
                chip.flash[std::size_t(size - 1)] = 0xA00 | 0x1FE;
                chip.flash[0x1FE] = 0x017;
                chip.flash[0x1FF] = 0xB83;
            }
            runner.ChipChanged(chip);
            runner.Release(chip);
            for (int i = 0; i < 50; ++i) {
                const std::size_t size = rng() % 3 == 0 ? 28 : rng() % 40;
                for (std::size_t b = 0; b < size; ++b) data[b] = static_cast<std::uint8_t>(rng());
                runner.Payload(chip, data, size);
                (void)runner.RunState(chip);
                runner.ReadState(chip, static_cast<std::uint8_t>(rng()), out);
            }
        }
        SUCCEED();
    }
}

TEST(ToolDebug28, TheClockSettingSetsTheRealTimePace) {
    DebugRig rig(Sx28lFamily());
    ASSERT_TRUE(rig.Load(std::string(" DEVICE SX28L, TURBO\n FREQ 4_000_000\n") + kCounterLoop));
    ASSERT_TRUE(rig.Start());
    EXPECT_NEAR(rig.runner.clockHz, 4'000'000.0, 4'000.0);
}

TEST(ToolDebug28, BrandelIsRefused) {
    ToolOptions options;
    options.brandel = true;
    DebugRig rig(Sx28lFamily(), options);
    EXPECT_EQ(rig.t.Run([&] { rig.t.link.RequireDebugTool(); }), "Brandel does not support this function.");
}

TEST(ToolDebug28, ResyncFailsWhenTheChipNeverHalts) {
    DebugRig rig(Sx28lFamily());
    ASSERT_TRUE(rig.Load(std::string(" DEVICE SX28L, TURBO\n") + kCounterLoop));
    ASSERT_TRUE(rig.Start());
    // A chip held in reset (its flash changed, as while it is programmed)
    // never halts: the resync gives up after 1000 ms and closes the port.
    rig.t.firmware.Chip().flash[0] = 0;
    rig.runner.ChipChanged(rig.t.firmware.Chip());
    EXPECT_EQ(rig.t.Run([&] { rig.session.Resync(); }), "Chip connection failed.");
    EXPECT_FALSE(rig.t.link.PortOpen);
}

}  // namespace
}  // namespace korvid
