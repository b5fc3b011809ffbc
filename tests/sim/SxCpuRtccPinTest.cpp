// RTCC clocked from its pin: edge select, prescaler, the synchroniser delay,
// the sampling limit and roll-overs (interrupt, RTCCOV on the 52).
#include <gtest/gtest.h>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

class SxCpuRtccPin : public CpuOfEachFamily {
protected:
    // OPTION value, then NOPs.
    void LoadWithOption(int option) {
        Program p;
        p.At(0x010, {0xC00 | option, 0x002});
        for (int a = 0x012; a < 0x100; ++a) p.At(a, {0x000});
        Load(cpu, p);
        StepTo(cpu, 0x012);
    }
};

TEST_P(SxCpuRtccPin, CountsTheSelectedEdgesThroughThePrescaler) {
    struct Row {
        const char* what;
        int option;
        int halfPeriod;  // cycles per level; 0: both edges at one instant
        int rtcc, prescaler;
    };
    const Row rows[] = {
        {"rising", 0xE8, 1, 10, 0},
        {"falling", 0xF8, 1, 10, 0},
        {"slow rising", 0xE8, 7, 10, 0},
        {"divide by 2", 0xE0, 2, 5, 0},
        {"divide by 4", 0xE1, 1, 2, 2},
        {"pulses within one cycle", 0xE8, 0, 0, 0},
        {"cycle clock ignores the pin", 0xC8, 1, -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LoadWithOption(row.option);
        const std::uint8_t start = cpu.rtcc();
        const std::uint64_t c0 = cpu.cycles();
        for (int i = 0; i < 10; ++i) {
            cpu.SetRtccPin(true);
            cpu.Run(static_cast<std::uint64_t>(row.halfPeriod));
            cpu.SetRtccPin(false);
            cpu.Run(static_cast<std::uint64_t>(row.halfPeriod));
        }
        cpu.Run(3);  // the last edge passes the synchroniser
        if (row.rtcc < 0) {
            EXPECT_EQ(cpu.rtcc(), static_cast<std::uint8_t>(start + (cpu.cycles() - c0)));
            continue;
        }
        EXPECT_EQ(cpu.rtcc(), static_cast<std::uint8_t>(start + row.rtcc));
        EXPECT_EQ(cpu.prescaler(), row.prescaler);
    }
}

// An edge at the boundary before cycle t reaches RTCC in cycle t + 2 (turbo)
// or t + 1 (compatible): reads by MOV W,RTCC in earlier cycles see the old value.
TEST_P(SxCpuRtccPin, EdgeReachesRtccAfterTheSynchroniser) {
    for (const bool turbo : {true, false}) {
        if (GetParam()->is52() && !turbo) continue;
        SCOPED_TRACE(turbo ? "turbo" : "compatible");
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.turbo = turbo; });
        Program p;
        p.At(0x010, {0xCE8, 0x002});
        for (int a = 0x012; a < 0x020; ++a) p.At(a, {0x201});  // MOV W,RTCC
        Load(cpu, p);
        StepTo(cpu, 0x013);
        const std::uint8_t before = cpu.rtcc();
        cpu.SetRtccPin(true);
        const int delay = turbo ? 2 : 1;
        for (int i = 0; i < delay; ++i) {
            cpu.Step();
            EXPECT_EQ(cpu.w(), before) << i;
        }
        cpu.Step();
        EXPECT_EQ(cpu.w(), static_cast<std::uint8_t>(before + 1));
    }
}

TEST_P(SxCpuRtccPin, PulsesAreLimitedToOneEdgePerTwoClocks) {
    LoadWithOption(0xE8);
    const std::uint8_t start = cpu.rtcc();
    EXPECT_EQ(cpu.PulseRtccPin(5), 1);
    EXPECT_EQ(cpu.PulseRtccPin(), 0);
    cpu.Run(1);
    EXPECT_EQ(cpu.PulseRtccPin(), 0);
    cpu.Run(1);
    EXPECT_EQ(cpu.PulseRtccPin(), 1);
    EXPECT_EQ(cpu.rtcc(), static_cast<std::uint8_t>(start + 2));
}

TEST_P(SxCpuRtccPin, PinRollOverInterruptsAndSetsRtccov) {
    Program p;
    p.At(0x000, {0x2A0 | kR, 0x00E});     // ISR: INC kR; RETI
    p.At(0x010, {0xCE8, 0x002,            // pin clock, interrupt off
                 0xCFF, 0x021,            // RTCC = FFh
                 0xCA8, 0x002,            // interrupt on
                 0xA16});
    Load(cpu, p);
    StepTo(cpu, 0x016);
    cpu.Run(30);
    EXPECT_EQ(cpu.Peek(kR), 0);
    EXPECT_EQ(cpu.rtcc(), 0xFF);
    cpu.SetRtccPin(true);
    cpu.Run(30);
    EXPECT_EQ(cpu.rtcc(), 0x00);
    EXPECT_EQ(cpu.Peek(kR), 1);
    if (GetParam()->is52()) {
        EXPECT_EQ(cpu.timer(0).cntB & 0x80, 0x80);
    }
}

KORVID_BOTH_FAMILIES(SxCpuRtccPin);

}  // namespace
}  // namespace korvid::testing
