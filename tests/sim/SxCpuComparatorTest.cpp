// The analog comparator on RB2 (+), RB1 (−) and RB0 (output), driven by
// digital levels or a direct input, in both families.
#include <gtest/gtest.h>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

class SxCpuComparator : public CpuOfEachFamily {
protected:
    // TRIS_B = 00h (the comparator must own its pins anyway), then CMP_B is
    // exchanged with `cmp`; the old CMP_B goes to kR; then a loop that
    // exchanges CMP_B with `cmp` again and keeps the value read in kR2.
    void LoadEnabling(int cmp) {
        Program p;
        p.At(0x010, {0xC00, 0x05F, 0x006,           // TRIS_B = 00h, RB latch 0
                     0x058, 0xC00 | cmp, 0x006,      // MODE 08h (52: 18h); exchange
                     0x020 | kR,
                     0xC00 | cmp, 0x006, 0x020 | kR2, 0xA17});
        Load(cpu, p);
        StepTo(cpu, 0x017);
    }
};

TEST_P(SxCpuComparator, ResultFollowsTheInputsAndDrivesRb0) {
    struct Row {
        const char* what;
        std::uint8_t rb;  // outside levels on RB2, RB1
        int direct;       // SetComparatorInput
        bool result;
    };
    const Row rows[] = {
        {"plus high", 0x04, -1, true},  {"both low keeps", 0x00, -1, true}, {"minus high", 0x02, -1, false},
        {"both high keeps", 0x06, -1, false}, {"direct input wins", 0x02, 1, true}, {"back to the pins", 0x02, -1, false},
    };
    LoadEnabling(0x00);
    EXPECT_EQ(cpu.Peek(kR), 0xFE);  // CMP_B after reset, result reads 0 while off
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        cpu.SetComparatorInput(row.direct);
        cpu.SetPortInput(1, row.rb, 0x06);
        cpu.Run(20);
        EXPECT_EQ(cpu.comparatorResult(), row.result);
        EXPECT_EQ(cpu.portPins(1) & 0x01, row.result ? 1 : 0);
        EXPECT_EQ(cpu.Peek(kR2), row.result ? 0x01 : 0x00);
        // RB1 and RB2 are inputs although TRIS_B says output.
        EXPECT_EQ(cpu.portPins(1) & 0x06, row.rb);
    }
}

TEST_P(SxCpuComparator, OutputDisabledOrComparatorOff) {
    struct Row {
        int cmp;
        std::uint8_t rb0;  // RB0 with + above − (latch 0, TRIS output)
        std::uint8_t read;
    };
    for (const Row row : {Row{0x40, 0, 0x41}, Row{0x80, 0, 0x80}, Row{0xC0, 0, 0xC0}}) {
        SCOPED_TRACE(row.cmp);
        LoadEnabling(row.cmp);
        cpu.SetPortInput(1, 0x04, 0x06);
        cpu.Run(20);
        EXPECT_EQ(cpu.portPins(1) & 0x01, row.rb0);
        EXPECT_EQ(cpu.Peek(kR2), row.read);
    }
}

// The output is a pin level like any other: its edges reach the wake-up
// detector and wake a sleeping chip (the comparator keeps running in SLEEP).
TEST_P(SxCpuComparator, OutputEdgeWakesFromSleep) {
    Program p;
    p.At(0x010, {0xC00, 0x05F, 0x006,    // TRIS_B = 00h
                 0xC00, 0x058, 0x006,    // comparator and output on
                 0xC01, 0x05A, 0x006,    // WKED_B = 01h: RB0 falling
                 0xCFE, 0x05B, 0x006,    // WKEN_B = FEh
                 0x003});
    Load(cpu, p);
    cpu.SetPortInput(1, 0x04, 0x06);     // result 1 before the sleep
    EXPECT_EQ(cpu.Run(200), SxStop::Sleep);
    cpu.SetPortInput(1, 0x02, 0x06);     // result 0: RB0 falls
    EXPECT_FALSE(cpu.sleeping());
    EXPECT_EQ(cpu.portControl(1, 1) & 0x01, 0x01);
}

// With a response time the result (and RB0) follows 5 cycles (100 ns at
// 50 MHz) after the inputs; a change that goes back sooner never shows.
TEST_P(SxCpuComparator, ResponseTimeDelaysTheResult) {
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.comparatorDelayNs = 100; c.clockHz = 50'000'000; });
    Program p;
    p.At(0x010, {0x040, 0x058, 0x006});  // comparator and output on
    for (int a = 0x013; a < 0x100; ++a) p.At(a, {0x000});
    Load(cpu, p);
    cpu.SetPortInput(1, 0x02, 0x06);
    StepTo(cpu, 0x020);
    EXPECT_FALSE(cpu.comparatorResult());
    cpu.SetPortInput(1, 0x04, 0x06);
    const std::uint64_t t = cpu.cycles();
    while (cpu.cycles() < t + 5) {
        EXPECT_FALSE(cpu.comparatorResult()) << cpu.cycles() - t;
        cpu.Step();
    }
    EXPECT_TRUE(cpu.comparatorResult());
    EXPECT_EQ(cpu.portPins(1) & 1, 1);
    cpu.SetPortInput(1, 0x02, 0x06);  // a 3-cycle dip
    cpu.Run(3);
    cpu.SetPortInput(1, 0x04, 0x06);
    cpu.Run(20);
    EXPECT_TRUE(cpu.comparatorResult());
    EXPECT_EQ(cpu.portControl(1, 1) & 1, 0) << "RB0 never fell";
}

KORVID_BOTH_FAMILIES(SxCpuComparator);

}  // namespace
}  // namespace korvid::testing
