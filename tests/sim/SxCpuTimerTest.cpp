// RTCC and its prescaler, interrupts (RTCC roll-over and port B wake-up
// edges), SLEEP and the watchdog, port control through MODE.
#include <gtest/gtest.h>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

class SxCpuTimer : public CpuOfEachFamily {
protected:
    // MODE value that writes a port control register (52: bit 4 set).
    int WriteMode(int low) const { return GetParam()->is52() ? 0x10 | low : low; }
};

TEST_P(SxCpuTimer, RtccCountsCyclesThroughThePrescaler) {
    Program p;
    p.At(0x010, {0xC01, 0x002,   // OPTION = 01h: prescaler to RTCC, divide by 4
                 0xA12});        // JMP $ (3 cycles each)
    Load(cpu, p);
    StepTo(cpu, 0x012);
    const std::uint8_t start = cpu.rtcc();
    const std::uint64_t c0 = cpu.cycles();
    cpu.Run(300);
    const std::uint64_t elapsed = cpu.cycles() - c0;
    EXPECT_EQ(cpu.rtcc(), static_cast<std::uint8_t>(start + elapsed / 4));
    EXPECT_EQ(cpu.prescaler(), elapsed % 4);
}

TEST_P(SxCpuTimer, WritingRtccClearsThePrescaler) {
    Program p;
    p.At(0x010, {0xC83, 0x002,        // OPTION = 83h: RTCC at 01h, divide by 16
                 0x000, 0x000, 0x000,
                 0xC80, 0x021,        // MOV W,#80h; MOV RTCC,W
                 0x000});
    Load(cpu, p);
    StepTo(cpu, 0x017);
    EXPECT_EQ(cpu.rtcc(), 0x80);
    EXPECT_EQ(cpu.prescaler(), 0);
    cpu.Step();
    EXPECT_EQ(cpu.prescaler(), 1);
}

TEST_P(SxCpuTimer, RtccInterruptSavesAndRestoresAndRetiwSetsThePeriod) {
    // ISR at 0: count in kR, check that PA was cleared, RETIW with −100.
    Program p;
    p.At(0x000, {0x2A0 | kR,          // INC kR
                 0x203, 0x020 | kR2,  // MOV W,STATUS; MOV kR2,W
                 0xC9C, 0x00F});      // MOV W,#-100; RETIW
    p.At(0x010, {0xC88, 0x002,        // OPTION = 88h: RTCC interrupt on, no prescaler
                 0x011,               // PAGE 200h (must survive the interrupts)
                 0xC55,               // MOV W,#55h
                 0xA14});             // JMP $ (in page 1 now: 214h)
    p.At(0x214, {0xA14});
    Load(cpu, p);
    cpu.Run(10'000);
    const int count = cpu.Peek(kR);
    // About 100 cycles per interrupt; the exact phase depends on the loop.
    EXPECT_GE(count, 97);
    EXPECT_LE(count, 101);
    EXPECT_EQ(cpu.Peek(kR2) & 0xE0, 0x00);  // PA cleared inside the ISR
    // Outside the ISR everything is as the main program left it.
    cpu.Run(1);
    while (cpu.inInterrupt()) cpu.Step();
    EXPECT_EQ(cpu.w(), 0x55);
    EXPECT_EQ(cpu.status() & 0xE0, 0x20);
    EXPECT_EQ(cpu.pc(), 0x214);
}

TEST_P(SxCpuTimer, RtccInterruptAndStepsAgreeAndInterruptsDoNotNest) {
    // A slow ISR (longer than the RTCC period) must not re-enter itself.
    Program p;
    p.At(0x000, {0x2A0 | kR, 0xB00});                    // INC kR; JMP 100h
    for (int i = 0x100; i < 0x1FF; ++i) p.At(i, {0x000});  // 255 NOPs
    p.At(0x1FF, {0x00E});                                // RETI
    p.At(0x010, {0xC88, 0x002, 0xA12});
    Load(cpu, p);
    bool nested = false;
    int entries = 0;
    for (int i = 0; i < 5000; ++i) {
        const bool before = cpu.inInterrupt();
        cpu.Step();
        if (cpu.pc() == 0 && cpu.inInterrupt()) {
            if (before) nested = true;
            ++entries;
        }
    }
    EXPECT_FALSE(nested);
    EXPECT_GT(entries, 5);
    EXPECT_LE(entries - cpu.Peek(kR), 1);  // the last entry may not have counted yet
    EXPECT_GE(entries - cpu.Peek(kR), 0);
}

TEST_P(SxCpuTimer, RtccInterruptNeedsTheOptionExtensionOnThe28) {
    if (GetParam()->is52()) GTEST_SKIP() << "no such fuse on the 52 family";
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.stackExtension = false; });
    Program p;
    p.At(0x000, {0x2A0 | kR, 0x00E});
    p.At(0x010, {0xC08, 0x002, 0xA12});  // OPTION = 08h: bits 7:6 stay 1
    Load(cpu, p);
    cpu.Run(2000);
    EXPECT_EQ(cpu.option(), 0xC8);
    EXPECT_EQ(cpu.Peek(kR), 0);
}

TEST_P(SxCpuTimer, SleepStopsUntilAWakeUpReset) {
    Program p;
    p.At(0x010, {0xCFE, 0x050 | (WriteMode(0x0B) & 0x0F), 0x006,  // WKEN_B = FEh: RB0 enabled
                 0x003,        // SLEEP
                 0x2A0 | kR}); // never reached
    Load(cpu, p);  // the 52 keeps MODE bit 4 (write) from reset
    EXPECT_EQ(cpu.Run(1000), SxStop::Sleep);
    EXPECT_TRUE(cpu.sleeping());
    EXPECT_EQ(cpu.status() & (TO | PD), TO);
    EXPECT_EQ(cpu.pc(), 0x014);
    EXPECT_EQ(cpu.Run(100000), SxStop::Sleep);
    EXPECT_EQ(cpu.Peek(kR), 0);
    // A falling edge on RB0 (the reset default polarity) wakes it with a reset.
    cpu.SetPortInput(1, 0x01);
    cpu.SetPortInput(1, 0x00);
    EXPECT_FALSE(cpu.sleeping());
    EXPECT_EQ(cpu.pc(), cpu.config().programSize - 1);
    EXPECT_EQ(cpu.status() & (TO | PD), TO);
    EXPECT_EQ(cpu.portControl(1, 1) & 0x01, 0x01);  // WKPND_B tells the cause
}

TEST_P(SxCpuTimer, WatchdogWakesASleepingChip) {
    ConfigureWith(cpu, [&](SxCpuConfig& c) {
        c.watchdog = true;
        c.clockHz = 1'000'000;  // 16 ms = 16,000 cycles
    });
    Program p;
    p.At(0x010, {0x203, 0x020 | kR2,   // MOV W,STATUS; MOV kR2,W (status at each start)
                 0x2A0 | kR,           // INC kR (starts)
                 0xCC8, 0x002,         // OPTION = C8h: watchdog without post-scaler
                 0x004, 0x003});       // CLR !WDT; SLEEP
    Load(cpu, p);
    EXPECT_EQ(cpu.Run(100), SxStop::Sleep);
    EXPECT_EQ(cpu.Peek(kR2) & (TO | PD), TO | PD);
    EXPECT_EQ(cpu.Run(20'000), SxStop::Sleep);  // woke once, sleeps again
    EXPECT_EQ(cpu.Peek(kR), 2);
    EXPECT_EQ(cpu.Peek(kR2) & (TO | PD), 0);  // watchdog wake-up: TO = 0, PD = 0
}

TEST_P(SxCpuTimer, WatchdogResetsARunawayProgram) {
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.watchdog = true; c.clockHz = 1'000'000; });
    Program p;
    p.At(0x00E, {0xCC8, 0x002});       // OPTION = C8h
    p.At(0x010, {0x2A0 | kR, 0xA10});  // INC kR; JMP 010h
    Load(cpu, p, 0x00E);
    cpu.Run(15'000);
    EXPECT_EQ(cpu.status() & TO, TO);
    cpu.Run(2'000);
    EXPECT_EQ(cpu.status() & (TO | PD), PD);
}

TEST_P(SxCpuTimer, PortBEdgeInterruptAndPendingBits) {
    const bool is52 = GetParam()->is52();
    Program p;
    // ISR: read and clear the pending bits into kR2, count in kR.
    if (is52) {
        p.At(0x000, {0xC09, 0x043, 0x006,     // M = 09h: read WKPND_B into W
                     0x020 | kR2,
                     0xC19, 0x043, 0x040,     // M = 19h; CLR W
                     0x006,                   // WKPND_B = 0
                     0x2A0 | kR, 0x00E});     // INC kR; RETI (restores M)
    } else {
        p.At(0x000, {0x059, 0x040, 0x006,     // MODE 09h; CLR W; exchange
                     0x020 | kR2,
                     0x2A0 | kR, 0x00E});
    }
    p.At(0x010, {0xCFD, 0x006,                // WKEN_B = FDh: RB1 enabled
                 0xA12});
    Load(cpu, p);
    cpu.SetMode(static_cast<std::uint8_t>(WriteMode(0x0B)));
    StepTo(cpu, 0x012);
    cpu.Run(50);
    cpu.SetPortInput(1, 0x02);  // rising edge: not the selected polarity (falling)
    cpu.Run(50);
    EXPECT_EQ(cpu.Peek(kR), 0);
    EXPECT_EQ(cpu.portControl(1, 1), 0x00);
    cpu.SetPortInput(1, 0x00);  // falling edge on RB1
    cpu.Run(100);
    EXPECT_EQ(cpu.Peek(kR), 1);
    EXPECT_EQ(cpu.Peek(kR2), 0x02);
    EXPECT_EQ(cpu.portControl(1, 1), 0x00);
    EXPECT_FALSE(cpu.inInterrupt());
    EXPECT_EQ(cpu.pc(), 0x012);
}

TEST_P(SxCpuTimer, PortDirectionAndPins) {
    Program p;
    p.At(0x010, {0xC0F, 0x050 | 0x0F, 0x006,   // MODE 0Fh (52: 1Fh) : TRIS_B = 0Fh
                 0xCA5, 0x026,                  // MOV W,#A5h; MOV RB,W
                 0x206});                       // MOV W,RB
    Load(cpu, p);
    if (GetParam()->is52()) cpu.SetMode(0x1F);
    cpu.SetPortInput(1, 0x0C, 0x0F);            // inputs 3:0 driven to 1100b
    StepTo(cpu, 0x016);
    EXPECT_EQ(cpu.portControl(1, 7), 0x0F);
    EXPECT_EQ(cpu.w(), 0xAC);                   // outputs from the latch, inputs from the pins
    EXPECT_EQ(cpu.portLatch(1), 0xA5);
}

TEST(SxCpuPorts, The52ReadsControlRegistersWithModeBit4Clear) {
    SxCpu cpu(Sx52Family());
    cpu.Configure(TestConfig(cpu));
    Program p;
    p.At(0x010, {0xC3C, 0x006,          // M = 1Fh after reset: TRIS_B = 3Ch
                 0xC0F, 0x043,          // MOV W,#0Fh; MOV M,W (bit 4 cleared)
                 0x040, 0x006});        // CLR W; MOV !RB,W reads TRIS_B
    Load(cpu, p);
    StepTo(cpu, 0x016);
    EXPECT_EQ(cpu.portControl(1, 7), 0x3C);
    EXPECT_EQ(cpu.w(), 0x3C);
}

TEST(SxCpuPorts, The28ExchangesThePendingRegister) {
    SxCpu cpu(Sx28lFamily());
    cpu.Configure(TestConfig(cpu));
    Program p;
    p.At(0x010, {0x059, 0xC00, 0x006});  // MODE 09h; MOV W,#0; MOV !RB,W
    Load(cpu, p);
    cpu.SetPortInput(1, 0xFF);
    cpu.SetPortInput(1, 0x00);  // falling edges on every pin: all pending
    StepTo(cpu, 0x013);
    EXPECT_EQ(cpu.w(), 0xFF);
    EXPECT_EQ(cpu.portControl(1, 1), 0x00);
}

KORVID_BOTH_FAMILIES(SxCpuTimer);

}  // namespace
}  // namespace korvid::testing
