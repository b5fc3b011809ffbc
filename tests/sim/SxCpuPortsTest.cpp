// Port inputs seen from outside: the input synchroniser, wake-up edges and
// their interrupt latency, weak and strong drive, pull-ups and floating
// inputs, and MCLR.
#include <gtest/gtest.h>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

class SxCpuInputs : public CpuOfEachFamily {
protected:
    bool Is52() const { return GetParam()->is52(); }
    void Configure(bool turbo, bool sync) {
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.turbo = turbo; c.syncInputs = sync; });
    }
};

// A program copies RB.0 to RA.0 in a loop. The pin change must appear on
// RA exactly after the first read that starts S cycles or more after the
// input changed (S = 2 turbo, 1 compatible, 0 without the synchroniser),
// wherever in the loop the edge falls.
TEST_P(SxCpuInputs, CopiedInputFollowsAfterTheSynchroniserDelay) {
    struct Row {
        bool turbo, sync;
        int depth;
    };
    for (const Row row : {Row{true, false, 0}, Row{true, true, 2}, Row{false, true, 1}, Row{false, false, 0}}) {
        if (Is52() && !row.turbo) continue;  // the 52 is turbo only
        const int period = 2 + (row.turbo ? 3 : 2);
        for (int phase = 0; phase < period; ++phase) {
            SCOPED_TRACE(::testing::Message() << "turbo " << row.turbo << " sync " << row.sync << " phase " << phase);
            Configure(row.turbo, row.sync);
            Program p;
            p.At(0x010, {0x040, 0x05F, 0x005,   // TRIS_A = 00h
                         0x206, 0x025, 0xA13});  // loop: MOV W,RB; MOV RA,W; JMP loop
            Load(cpu, p);
            cpu.SetPortInput(1, 0x00);
            StepTo(cpu, 0x013);
            const std::uint64_t firstRead = cpu.cycles();
            while (cpu.cycles() < firstRead + static_cast<std::uint64_t>(period + phase)) cpu.Step();
            const std::uint64_t edge = cpu.cycles();
            cpu.SetPortInput(1, 0x01);
            std::uint64_t read = firstRead;
            while (read < edge + static_cast<std::uint64_t>(row.depth)) read += static_cast<std::uint64_t>(period);
            while (!(cpu.portPins(0) & 1) && cpu.cycles() < edge + 50) cpu.Step();
            EXPECT_EQ(cpu.cycles(), read + 2);  // after the MOV RA,W that follows the read
        }
    }
}

// An edge applied at the boundary before cycle e is latched in e; the
// interrupt is entered at the next boundary and costs 3 cycles, so the
// routine's first instruction runs in cycle e + 4. The pending bit is there
// at once although a port read still sees the old level.
TEST_P(SxCpuInputs, EdgeInterruptLatencyAndAsynchronousPendingBits) {
    Configure(true, true);
    Program p;
    p.At(0x000, {0x2A0 | kR, 0x00E});
    p.At(0x010, {0xCFE, 0x05B, 0x006,   // WKEN_B = FEh (52: M = 1Bh writes)
                 0x000, 0x000, 0x000, 0x000, 0x000, 0x206, 0xA13});
    Load(cpu, p);
    cpu.SetPortInput(1, 0x01);
    StepTo(cpu, 0x015);
    const std::uint64_t e = cpu.cycles();
    cpu.SetPortInput(1, 0x00);  // falling edge (reset polarity)
    EXPECT_EQ(cpu.portControl(1, 1) & 1, 1);
    while (!cpu.inInterrupt() && cpu.cycles() < e + 20) cpu.Step();
    EXPECT_EQ(cpu.pc(), 0);
    EXPECT_EQ(cpu.cycles(), e + 4);

    // Run and single steps agree.
    Load(cpu, p);
    cpu.SetPortInput(1, 0x01);
    StepTo(cpu, 0x015);
    const std::uint64_t e2 = cpu.cycles();
    cpu.SetPortInput(1, 0x00);
    cpu.Run(4);
    EXPECT_TRUE(cpu.inInterrupt());
    EXPECT_EQ(cpu.pc(), 0);
    EXPECT_EQ(cpu.cycles(), e2 + 4);
}

// A pulse shorter than a cycle is caught by the wake-up detector, though
// the synchroniser never shows it to a port read; it wakes a sleeping chip.
TEST_P(SxCpuInputs, ShortPulseLatchesAndWakes) {
    Configure(true, true);
    Program p;
    p.At(0x010, {0x000, 0x000, 0x206,   // MOV W,RB
                 0x040, 0x059, 0x006,   // clear WKPND_B (exchange with W = 0)
                 0xCF7, 0x05B, 0x006,   // WKEN_B = F7h: RB3 enabled
                 0x003});               // SLEEP
    Load(cpu, p);
    cpu.SetPortInput(1, 0xFF);
    StepTo(cpu, 0x011);
    cpu.SetPortInput(1, 0xF7);  // RB3 low and back high at the same instant
    cpu.SetPortInput(1, 0xFF);
    EXPECT_EQ(cpu.portControl(1, 1), 0x08);
    StepTo(cpu, 0x013);
    EXPECT_EQ(cpu.w(), 0xFF);
    EXPECT_EQ(cpu.Run(1000), SxStop::Sleep);
    EXPECT_EQ(cpu.pc(), 0x01A);
    EXPECT_EQ(cpu.portControl(1, 1), 0x00);
    cpu.SetPortInput(1, 0xF7);
    cpu.SetPortInput(1, 0xFF);
    EXPECT_FALSE(cpu.sleeping());
    EXPECT_EQ(cpu.pc(), cpu.config().programSize - 1);
    EXPECT_EQ(cpu.status() & (TO | PD), TO);
    EXPECT_EQ(cpu.portControl(1, 1) & 0x08, 0x08);
}

// Changing the edge polarity while a pin is low: no pending bit with the
// edge detector (the default); the level-XOR detector latches one.
TEST_P(SxCpuInputs, PolarityWriteLatchesOnlyWithTheLevelDetector) {
    for (const bool level : {false, true}) {
        SCOPED_TRACE(level ? "level detector" : "edge detector");
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.miwuLevelDetector = level; });
        Program p;
        p.At(0x010, {0xC00, 0x05A, 0x006,   // WKED_B = 00h: rising edges
                     0x000});
        Load(cpu, p);
        cpu.SetPortInput(1, 0xFE);           // RB0 low, the others high
        StepTo(cpu, 0x013);
        // Pins high under the falling selection, then the rising one: the
        // level detector's output rises on every pin but RB0.
        EXPECT_EQ(cpu.portControl(1, 1), level ? 0xFE : 0x00);
        cpu.SetPortInput(1, 0xFF);           // a real rising edge on RB0
        EXPECT_EQ(cpu.portControl(1, 1), level ? 0xFF : 0x01);
    }
}

// Outside drive is weak unless strong; undriven inputs read their pull-up or
// the configured floating level.
TEST_P(SxCpuInputs, DriveStrengthPullUpsAndFloatingInputs) {
    struct Row {
        SxFloating floating;
        std::uint8_t expected;  // RB7..RB0 after the sequence below
    };
    // RB7:4 outputs with latch 1010; RB3:0 inputs, RB3/RB2 pulled up, RB1/RB0
    // floating. Outside: drives 0x00 on RB7, RB5 (strong), RB3 and RB1.
    for (const Row row : {Row{SxFloating::Low, 0x84}, Row{SxFloating::High, 0x85}, Row{SxFloating::Hold, 0x85}}) {
        SCOPED_TRACE(static_cast<int>(row.floating));
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.floatingInput = row.floating; });
        Program p;
        p.At(0x010, {0xC0F, 0x05F, 0x006,   // TRIS_B = 0Fh
                     0xCF3, 0x05E, 0x006,   // PLP_B = F3h: pull-ups on RB3, RB2
                     0xCA0, 0x026,          // RB = A0h
                     0x206});               // MOV W,RB
        Load(cpu, p);
        cpu.SetPortInput(1, 0x01, 0x01);  // before: RB0 driven high (Hold keeps it)
        StepTo(cpu, 0x018);
        cpu.SetPortInput(1, 0x00, 0xAA, 0x20);
        EXPECT_EQ(cpu.portPins(1), row.expected);
        cpu.Step();
        EXPECT_EQ(cpu.w(), row.expected);
    }
}

// Back-to-back bit operations on output pins: with the delayed read-back
// option the second read-modify-write sees the pins before the first one
// and loses its bit.
TEST_P(SxCpuInputs, DelayedReadBackLosesBackToBackBitWrites) {
    struct Row {
        bool sync, delayed;
        std::uint8_t latch;
    };
    for (const Row row : {Row{true, false, 0x03}, Row{true, true, 0x02}, Row{false, true, 0x03}}) {
        SCOPED_TRACE(::testing::Message() << "sync " << row.sync << " delayed " << row.delayed);
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.syncInputs = row.sync; c.delayedReadBack = row.delayed; });
        Program p;
        p.At(0x010, {0xC00, 0x05F, 0x006,   // TRIS_B = 00h
                     0x000, 0x000,
                     0x506, 0x526,          // SETB RB.0; SETB RB.1
                     0x000});
        Load(cpu, p);
        StepTo(cpu, 0x017);
        EXPECT_EQ(cpu.portLatch(1), row.latch);
    }
}

TEST_P(SxCpuInputs, MclrHoldsTheChipInResetUntilReleased) {
    Program p;
    p.At(0x010, {0xC00, 0x05F, 0x006,   // TRIS_B = 00h
                 0x2A0 | kR, 0xA13});   // loop: INC kR
    Load(cpu, p);
    cpu.Run(100);
    EXPECT_EQ(cpu.portControl(1, 7), 0x00);
    cpu.SetMclr(false);
    EXPECT_TRUE(cpu.inReset());
    EXPECT_EQ(cpu.portControl(1, 7), 0xFF);  // all pins float
    const std::uint8_t count = cpu.Peek(kR);
    const std::uint64_t instructions = cpu.instructions();
    EXPECT_EQ(cpu.Run(10'000), SxStop::Budget);
    cpu.Step();
    EXPECT_EQ(cpu.instructions(), instructions);
    EXPECT_EQ(cpu.pc(), cpu.config().programSize - 1);
    cpu.SetMclr(true);
    EXPECT_FALSE(cpu.inReset());
    cpu.Run(100);
    EXPECT_GT(cpu.Peek(kR), count);

    // With the reset delay: nothing runs for its length after the release.
    SxCpuConfig c = TestConfig(cpu);
    c.applyResetDelay = true;
    c.resetDelayUs = 10;
    c.clockHz = 1'000'000;  // 10 cycles
    cpu.Configure(c);
    Load(cpu, p);
    cpu.Run(50);
    cpu.SetMclr(false);
    cpu.Run(5);
    cpu.SetMclr(true);
    const std::uint64_t released = cpu.cycles();
    const std::uint64_t before = cpu.instructions();
    cpu.Run(9);
    EXPECT_EQ(cpu.instructions(), before);
    cpu.Run(2);
    EXPECT_EQ(cpu.instructions(), before + 1);
    EXPECT_EQ(cpu.cycles(), released + 13);  // the reset vector holds a jump
}

TEST_P(SxCpuInputs, MclrWakesASleepingChipWithAReset) {
    Program p;
    p.At(0x010, {0x003});
    Load(cpu, p);
    EXPECT_EQ(cpu.Run(100), SxStop::Sleep);
    cpu.SetMclr(false);
    cpu.SetMclr(true);
    EXPECT_FALSE(cpu.sleeping());
    EXPECT_EQ(cpu.status() & (TO | PD), TO);
    EXPECT_EQ(cpu.pc(), cpu.config().programSize - 1);
}

KORVID_BOTH_FAMILIES(SxCpuInputs);

}  // namespace
}  // namespace korvid::testing

namespace korvid::testing {
namespace {

// The fuse bits of the input synchroniser, the sleep clock and the reset
// delay.
TEST(SxCpuFuses, PeripheralSettingsComeFromTheFuseWords) {
    struct Row {
        const Family* family;
        std::uint16_t fuse, extFuse;
        bool sync, sleepClock;
        std::uint32_t delayUs;
    };
    const Row rows[] = {
        {&Sx28lFamily(), 0x0BFA, 0x0FFF, true, false, 18000}, {&Sx28lFamily(), 0x0FFA, 0x0BFF, false, false, 18000},
        {&Sx28lFamily(), 0x03FA, 0x0FFF, true, false, 18000},  {&Sx52Family(), 0x03FA, 0x0FFF, true, false, 18000},
        {&Sx52Family(), 0x0FFA, 0x0BFC, false, true, 60000},   {&Sx52Family(), 0x0FFA, 0x0FFD, false, false, 960000},
        {&Sx52Family(), 0x0FFA, 0x0FFE, false, false, 60},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::hex << row.fuse << " " << row.extFuse);
        const SxCpuConfig c = SxCpuConfigFromFuses(*row.family, row.fuse, row.extFuse);
        EXPECT_EQ(c.syncInputs, row.sync);
        EXPECT_EQ(c.sleepClock, row.sleepClock);
        EXPECT_EQ(c.resetDelayUs, row.delayUs);
        EXPECT_FALSE(c.applyResetDelay);
    }
}

}  // namespace
}  // namespace korvid::testing
