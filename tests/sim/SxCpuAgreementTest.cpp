// The decoded run loop and the general executor (single steps) must agree
// on every instruction: random programs over the whole opcode space, run
// both ways, end in the same state.
#include <gtest/gtest.h>

#include <random>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

struct Variant { bool carryX; bool turbo; bool interrupts; int programSize; bool peripherals = false; };

void ExpectSameState(const SxCpu& a, const SxCpu& b) {
    ASSERT_EQ(a.cycles(), b.cycles());
    EXPECT_EQ(a.instructions(), b.instructions());
    EXPECT_EQ(a.pc(), b.pc());
    EXPECT_EQ(a.w(), b.w());
    EXPECT_EQ(a.status(), b.status());
    EXPECT_EQ(a.fsr(), b.fsr());
    EXPECT_EQ(a.mode(), b.mode());
    EXPECT_EQ(a.option(), b.option());
    EXPECT_EQ(a.rtcc(), b.rtcc());
    EXPECT_EQ(a.inInterrupt(), b.inInterrupt());
    for (int level = 0; level < 8; ++level) EXPECT_EQ(a.stackEntry(level), b.stackEntry(level));
    for (int address = 0; address < 256; ++address) EXPECT_EQ(a.Peek(address), b.Peek(address)) << address;
    for (int port = 0; port < 5; ++port)
        for (int index = 0; index < 8; ++index) EXPECT_EQ(a.portControl(port, index), b.portControl(port, index));
    for (int port = 0; port < 5; ++port) EXPECT_EQ(a.portPins(port), b.portPins(port)) << port;
    for (int index = 0; index < 2; ++index) {
        const SxTimerState ta = a.timer(index), tb = b.timer(index);
        EXPECT_EQ(ta.counter, tb.counter);
        EXPECT_EQ(ta.r2, tb.r2);
        EXPECT_EQ(ta.capture, tb.capture);
        EXPECT_EQ(ta.cntA, tb.cntA);
        EXPECT_EQ(ta.output, tb.output);
    }
}

// 52 family: T1 in PWM mode on RB6 with its compare interrupt, T2 capturing
// with its interrupts, the comparator on, RTCC interrupt. (On the 28 the
// same words only set MODE and a few port registers.)
void PeripheralPrologue(Program& p, int at) {
    const int regs[][3] = {{0x1F, 1, 0x0F}, {0x1F, 2, 0xF3}, {0x14, 1, 20}, {0x12, 1, 30}, {0x16, 1, 0x01},
                           {0x17, 1, 0x01}, {0x16, 2, 0x42}, {0x17, 2, 0x29}, {0x18, 1, 0x00}};
    for (const auto& r : regs) {
        p.At(at, {0xC00 | r[0], 0x043, 0xC00 | r[2], 0x005 + r[1]});
        at += 4;
    }
    p.At(at, {0xC88, 0x002});
}

void RunAgreement(const Family& family, const Variant& v, unsigned seed) {
    std::mt19937 rng(seed);
    Program p;
    for (auto& word : p.words) {
        do word = static_cast<std::uint16_t>(rng() & 0xFFF);
        while (word == 0x003);  // no SLEEP: the run would just stop
    }
    if (v.peripherals) {
        PeripheralPrologue(p, 0x7F0);
    } else if (v.interrupts) {
        p.At(0x7F0 & (v.programSize - 1), {0xC88, 0x002});  // RTCC interrupt on
    }

    SxCpu fast(family), stepped(family);
    for (SxCpu* cpu : {&fast, &stepped}) {
        SxCpuConfig config = TestConfig(*cpu);
        config.carryX = v.carryX;
        config.turbo = v.turbo;
        config.programSize = v.programSize;
        config.bankCount = v.programSize == 512 ? 1 : 8;
        config.syncInputs = v.peripherals;
        cpu->Configure(config);
        cpu->LoadProgram(p.words.data(), 4096);
        cpu->Reset(SxReset::PowerOn);
        if (v.interrupts) cpu->SetPc(static_cast<std::uint16_t>(0x7F0 & (v.programSize - 1)));
        for (int a = 8; a < 256; ++a) cpu->Poke(a, static_cast<std::uint8_t>(a * 37 + seed));
        cpu->SetPortInput(1, static_cast<std::uint8_t>(seed), 0xFF);
    }
    // In slices, so that the comparison also covers the re-entry of the
    // loop; a slice ends at the first instruction boundary past it.
    for (int slice = 0; slice < 20; ++slice) {
        const std::uint64_t target = fast.cycles() + 500 + static_cast<std::uint64_t>(slice);
        fast.Run(target - fast.cycles());
        while (stepped.cycles() < fast.cycles() || stepped.skipPending()) stepped.Step();
        SCOPED_TRACE(::testing::Message() << "seed " << seed << " slice " << slice);
        ExpectSameState(fast, stepped);
        if (::testing::Test::HasFailure()) return;
        if (v.peripherals) {
            const auto level = static_cast<std::uint8_t>(rng());
            for (SxCpu* cpu : {&fast, &stepped}) {
                cpu->SetPortInput(1, level, 0xFF);
                cpu->SetPortInput(2, static_cast<std::uint8_t>(level * 7), 0xFF);
            }
        }
    }
}

class SxCpuAgreement : public BothFamilies {};

TEST_P(SxCpuAgreement, RunLoopMatchesSingleSteps) {
    const bool is52 = GetParam()->is52();
    const Variant variants[] = {
        {false, true, false, is52 ? 4096 : 2048},
        {true, true, false, is52 ? 4096 : 2048},
        {false, !is52 ? false : true, true, is52 ? 4096 : 2048},
        {true, true, true, is52 ? 4096 : 512},
    };
    unsigned seed = 1;
    for (const Variant& v : variants)
        for (int i = 0; i < 6; ++i) RunAgreement(*GetParam(), v, seed++);
    // Peripherals in use: synchronised inputs changing between slices,
    // timers with their pins and interrupts (52), the comparator and
    // wake-up edges as the random code sets them up.
    for (int i = 0; i < 40; ++i) RunAgreement(*GetParam(), {false, true, true, is52 ? 4096 : 2048, true}, seed++);
}

KORVID_BOTH_FAMILIES(SxCpuAgreement);

}  // namespace
}  // namespace korvid::testing
