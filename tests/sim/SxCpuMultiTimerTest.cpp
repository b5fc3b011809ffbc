// The 52 family's timers T1 (on port B) and T2 (on port C): every mode,
// compare and capture, their pins and interrupts, RTCCOV, reset and sleep.
#include <gtest/gtest.h>

#include <vector>

#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

struct TimerCase {
    const char* name;
    int index;
    int port;  // 1 = RB (T1), 2 = RC (T2)
    int capture1, capture2, output, event;
};
const TimerCase kTimerCases[] = {{"T1", 0, 1, 4, 5, 6, 7}, {"T2", 1, 2, 0, 1, 2, 3}};

// Hand-placed code with helpers for `MOV !port,W` under a chosen MODE.
struct Code {
    Program p;
    int at = 0x010;
    void Op(std::initializer_list<int> words) {
        p.At(at, words);
        at += static_cast<int>(words.size());
    }
    // MODE m (all five bits); W = value; MOV !port,W. Returns the address of
    // the MOV !port,W.
    int Reg(int m, int port, int value) {
        Op({0xC00 | m, 0x043, 0xC00 | (value & 0xFF), 0x005 + port});
        return at - 1;
    }
    // NOPs up to 1FEh and a jump back: every boundary is one cycle apart.
    void Sled() {
        const int start = at;
        while (at < 0x1FF) Op({0x000});
        Op({0xA00 | start});
    }
};

class SxCpuMultiTimer : public ::testing::TestWithParam<TimerCase> {
protected:
    SxCpu cpu{Sx52Family()};
    void SetUp() override { cpu.Configure(TestConfig(cpu)); }
    const TimerCase& T() const { return GetParam(); }
    // Programs R1, R2, CNTA, CNTB, makes the output pin an output and
    // clears the timer; returns the address of the clearing instruction.
    int Setup(Code& code, int r1, int r2, int cntB, int cntA = 0) {
        code.Reg(0x1F, T().port, 0xFF & ~(1 << T().output));
        code.Reg(0x14, T().port, r1 & 0xFF);
        code.Reg(0x15, T().port, r1 >> 8);
        code.Reg(0x12, T().port, r2 & 0xFF);
        code.Reg(0x13, T().port, r2 >> 8);
        code.Reg(0x17, T().port, cntA);
        code.Reg(0x16, T().port, cntB);
        return code.Reg(0x10, T().port, 0);
    }
    // Cycle of the clearing instruction, after which the program runs on.
    std::uint64_t RunPast(int address) {
        StepTo(cpu, address);
        const std::uint64_t c = cpu.cycles();
        cpu.Step();
        return c;
    }
    // Cycles at which the output pin changes, over `cycles` cycles.
    std::vector<std::uint64_t> OutputEdges(std::uint64_t cycles, std::size_t most = 8) {
        std::vector<std::uint64_t> edges;
        const std::uint8_t bit = static_cast<std::uint8_t>(1 << T().output);
        std::uint8_t last = cpu.portPins(T().port) & bit;
        const std::uint64_t end = cpu.cycles() + cycles;
        while (cpu.cycles() < end && edges.size() < most) {
            cpu.Step();
            const std::uint8_t now = cpu.portPins(T().port) & bit;
            if (now != last) edges.push_back(cpu.cycles());
            last = now;
        }
        return edges;
    }
};

// PWM: after Clear Timer in cycle c the output is low for R1 ticks, then
// high for R2 ticks, and so on; a tick is 2^PS cycles.
TEST_P(SxCpuMultiTimer, PwmPhasesFollowR1AndR2) {
    struct Row {
        int ps, r1, r2;
        bool plusOne;
    };
    for (const Row row : {Row{0, 10, 6, false}, Row{2, 3, 5, false}, Row{0, 4, 4, true}, Row{7, 1, 2, false}}) {
        SCOPED_TRACE(::testing::Message() << "PS " << row.ps << " R1 " << row.r1 << " R2 " << row.r2 << " +1 " << row.plusOne);
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.timerPhasePlusOne = row.plusOne; });
        Code code;
        const int clear = Setup(code, row.r1, row.r2, (row.ps << 2) | 1);
        code.Sled();
        Load(cpu, code.p);
        const std::uint64_t c = RunPast(clear);
        const std::uint64_t tick = 1ull << row.ps;
        const std::uint64_t low = (row.r1 + row.plusOne) * tick, high = (row.r2 + row.plusOne) * tick;
        const std::vector<std::uint64_t> edges = OutputEdges(4 * (low + high) + 10, 4);
        const std::vector<std::uint64_t> expected = {c + 1 + low, c + 1 + low + high, c + 1 + 2 * low + high,
                                                     c + 1 + 2 * (low + high)};
        EXPECT_EQ(edges, expected);
        EXPECT_EQ(cpu.timer(T().index).cntA & 0x06, 0x06);  // CMF1 and CMF2
    }
}

// The pin observer is told of timer output edges with their exact cycle,
// also when instruction boundaries do not fall on them (a 3-cycle jump
// loop) and when the run covers many of them at once.
TEST_P(SxCpuMultiTimer, ObserverSeesOutputEdgesAtTheirCycle) {
    struct Recorder final : SxPinObserver {
        int port = 0;
        std::uint8_t bit = 0;
        std::uint8_t last = 0;
        std::vector<std::uint64_t> edges;
        void PinsChanged(int p, std::uint8_t levels, std::uint64_t cycle) override {
            if (p != port || (levels & bit) == last) return;
            last = levels & bit;
            edges.push_back(cycle);
        }
    } rec;
    rec.port = T().port;
    rec.bit = static_cast<std::uint8_t>(1 << T().output);
    Code code;
    const int clear = Setup(code, 7, 4, (1 << 2) | 1);  // PWM, ÷2
    code.Op({0xA00 | code.at});                        // JMP $
    Load(cpu, code.p);
    StepTo(cpu, clear);
    const std::uint64_t c = cpu.cycles();
    cpu.SetPinObserver(&rec);
    cpu.Run(200);
    std::vector<std::uint64_t> expected;
    for (std::uint64_t at = c + 1 + 14, k = 0; at <= c + 200; ++k) {
        expected.push_back(at);
        at += (k % 2 == 0) ? 8 : 14;
    }
    EXPECT_EQ(rec.edges, expected);
    cpu.SetPinObserver(nullptr);
}

// The data sheet's worked example: PWM, PS = 0, R1 = N, CMIE = 1. Clear
// Timer in cycle c, the match at the end of c + N, the first interrupt
// routine instruction in c + N + 4; the same with Run as with steps.
TEST_P(SxCpuMultiTimer, CompareInterruptLatency) {
    for (const bool run : {false, true}) {
        SCOPED_TRACE(run ? "Run" : "Step");
        Code code;
        code.p.At(0x000, {0x2A0 | kR, 0x00E});
        const int clear = Setup(code, 20, 50, 0x01, 0x01);
        code.Sled();
        Load(cpu, code.p);
        const std::uint64_t c = RunPast(clear);
        if (run) {
            cpu.Run(c + 24 - cpu.cycles());
        } else {
            while (!cpu.inInterrupt() && cpu.cycles() < c + 100) cpu.Step();
        }
        EXPECT_TRUE(cpu.inInterrupt());
        EXPECT_EQ(cpu.pc(), 0);
        EXPECT_EQ(cpu.cycles(), c + 24);
        // The routine does not clear CMF1: the request term stays non-zero
        // and later matches interrupt no more.
        cpu.Run(2000);
        EXPECT_EQ(cpu.Peek(kR), 1);
    }
}

// Software timer: flags and interrupts as in PWM, the pin stays I/O.
TEST_P(SxCpuMultiTimer, SoftwareTimerSetsFlagsButLeavesThePin) {
    Code code;
    const int clear = Setup(code, 5, 7, 0x00);
    code.Sled();
    Load(cpu, code.p);
    RunPast(clear);
    EXPECT_TRUE(OutputEdges(100).empty());
    EXPECT_EQ(cpu.timer(T().index).cntA, 0x06);
}

// External event: the counter counts the selected edges of the event pin
// (no prescaler) and the output toggles as in PWM.
TEST_P(SxCpuMultiTimer, ExternalEventCountsEdges) {
    for (const bool rising : {true, false}) {
        SCOPED_TRACE(rising ? "rising" : "falling");
        Code code;
        const int clear = Setup(code, 3, 2, (rising ? 0x20 : 0x00) | (7 << 2) | 3);
        code.Sled();
        Load(cpu, code.p);
        RunPast(clear);
        const std::uint8_t bit = static_cast<std::uint8_t>(1 << T().event);
        auto pulse = [&] {
            cpu.SetPortInput(T().port, bit, bit);
            cpu.Run(3);
            cpu.SetPortInput(T().port, 0, bit);
            cpu.Run(3);
        };
        const std::uint8_t out = static_cast<std::uint8_t>(1 << T().output);
        for (int i = 0; i < 2; ++i) pulse();
        EXPECT_EQ(cpu.portPins(T().port) & out, 0);
        EXPECT_EQ(cpu.timer(T().index).counter, 2);
        pulse();
        EXPECT_EQ(cpu.portPins(T().port) & out, out);
        EXPECT_EQ(cpu.timer(T().index).cntA & 0x02, 0x02);
        pulse();
        pulse();
        EXPECT_EQ(cpu.portPins(T().port) & out, 0);
        EXPECT_EQ(cpu.timer(T().index).cntA & 0x06, 0x06);
        cpu.Run(5000);  // time alone does not count
        EXPECT_EQ(cpu.timer(T().index).counter, 0);
    }
}

// Capture/compare: the counter runs free; capture 1 copies it into the
// capture register, capture 2 into R2 (the count before the edge's cycle
// tick, S cycles after the edge with the synchroniser); R1 matches toggle
// the output; FFFFh -> 0 sets OF.
TEST_P(SxCpuMultiTimer, CaptureCompareAndOverflow) {
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "sync" : "no sync");
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.syncInputs = sync; });
        Code code;
        code.p.At(0x000, {0x2A0 | kR, 0x00E});
        const int clear = Setup(code, 300, 0, 0x40 | 2, 0x08);  // rising captures, OIE
        code.Sled();
        Load(cpu, code.p);
        const std::uint64_t c = RunPast(clear);
        cpu.Run(100 - (cpu.cycles() - c));
        const std::uint64_t edge1 = cpu.cycles();
        cpu.SetPortInput(T().port, static_cast<std::uint8_t>(1 << T().capture1));
        cpu.Run(50);
        const std::uint64_t edge2 = cpu.cycles();
        cpu.SetPortInput(T().port, static_cast<std::uint8_t>((1 << T().capture1) | (1 << T().capture2)));
        cpu.Run(20);
        const int depth = sync ? 2 : 0;
        SxTimerState t = cpu.timer(T().index);
        EXPECT_EQ(t.capture, edge1 + static_cast<std::uint64_t>(depth) - (c + 1));
        EXPECT_EQ(t.r2, edge2 + static_cast<std::uint64_t>(depth) - (c + 1));
        EXPECT_EQ(t.cntA & 0xC0, 0xC0);
        EXPECT_EQ(t.cntA & 0x12, 0);
        // Overflow after 65536 ticks, with its interrupt; the counter runs on.
        cpu.Run(65536);
        t = cpu.timer(T().index);
        // The R1 match (at 300) toggled the output once on the way.
        EXPECT_TRUE(t.output);
        EXPECT_EQ(t.cntA & 0x02, 0x02);
        EXPECT_EQ(t.cntA & 0x10, 0x10);
        EXPECT_EQ(cpu.Peek(kR), 1);
        EXPECT_EQ(t.counter, static_cast<std::uint16_t>(cpu.cycles() - (c + 1)));
    }
}

// Registers read back through MODE 00h..07h; the counter itself cannot be
// read. A reset clears everything.
TEST_P(SxCpuMultiTimer, RegistersReadBackAndResetClearsThem) {
    Code code;
    Setup(code, 0x1234, 0xABCD, 0x09, 0x28);
    code.Op({0xC05, 0x043, 0x005 + T().port, 0x020 | kR,     // M = 05h: R1 high
             0xC02, 0x043, 0x005 + T().port, 0x020 | kR2});  // M = 02h: R2 low
    const int after = code.at;
    code.Sled();
    Load(cpu, code.p);
    StepTo(cpu, after);
    EXPECT_EQ(cpu.Peek(kR), 0x12);
    EXPECT_EQ(cpu.Peek(kR2), 0xCD);
    SxTimerState t = cpu.timer(T().index);
    EXPECT_EQ(t.cntB, 0x09);
    EXPECT_EQ(t.cntA, 0x28);
    cpu.Reset(SxReset::External);
    t = cpu.timer(T().index);
    EXPECT_EQ(t.r1, 0);
    EXPECT_EQ(t.r2, 0);
    EXPECT_EQ(t.cntA, 0);
    EXPECT_EQ(t.cntB, 0);
    EXPECT_EQ(t.counter, 0);
}

// Without the sleep clock the timers stop in SLEEP; with it they count on
// and set flags, but a timer event does not wake the chip.
TEST_P(SxCpuMultiTimer, SleepStopsTheTimersUnlessTheSleepClockRuns) {
    for (const bool sleepClock : {false, true}) {
        SCOPED_TRACE(sleepClock ? "sleep clock" : "no sleep clock");
        ConfigureWith(cpu, [&](SxCpuConfig& c) { c.sleepClock = sleepClock; });
        Code code;
        Setup(code, 100, 100, 0x01, 0x01);
        code.Op({0x003});
        Load(cpu, code.p);
        EXPECT_EQ(cpu.Run(1000), SxStop::Sleep);
        const std::uint16_t counter = cpu.timer(T().index).counter;
        EXPECT_EQ(cpu.Run(5003), SxStop::Sleep);  // not a whole number of 200-cycle periods
        EXPECT_TRUE(cpu.sleeping());
        if (sleepClock) {
            EXPECT_NE(cpu.timer(T().index).counter, counter);
            EXPECT_EQ(cpu.timer(T().index).cntA & 0x06, 0x06);
        } else {
            EXPECT_EQ(cpu.timer(T().index).counter, counter);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Timers, SxCpuMultiTimer, ::testing::ValuesIn(kTimerCases),
                         [](const ::testing::TestParamInfo<TimerCase>& info) { return std::string(info.param.name); });

// RTCCOV (T1CNTB bit 7): set by every RTCC roll-over, interrupt or not,
// cleared by writing T1CNTB with bit 7 = 0.
TEST(SxCpuRtccov, SetByRollOverClearedByWrite) {
    SxCpu cpu(Sx52Family());
    cpu.Configure(TestConfig(cpu));
    Code code;
    code.Op({0xCC8, 0x002});  // RTCC counts cycles, no prescaler, interrupt off
    code.Sled();
    Load(cpu, code.p);
    cpu.Run(100);
    EXPECT_EQ(cpu.timer(0).cntB & 0x80, 0);
    cpu.Run(300);
    EXPECT_EQ(cpu.timer(0).cntB & 0x80, 0x80);
    // Clear it from a program: M = 16h, W = 00h, MOV !RB,W; then read it back.
    Code clear;
    clear.Op({0xCC8, 0x002});
    clear.Op({0x000, 0x000});
    const int wait = clear.at;
    clear.Op({0x000});
    clear.Reg(0x16, 1, 0x00);
    clear.Reg(0x06, 1, 0x00);
    clear.Op({0x020 | kR});
    const int after = clear.at;
    clear.Sled();
    Load(cpu, clear.p);
    StepTo(cpu, wait);
    cpu.SetRtcc(0xF0);
    cpu.Run(40);  // rolls over on the way
    StepTo(cpu, after);
    EXPECT_EQ(cpu.Peek(kR) & 0x80, 0);
}

// PORTRD (T2CNTB bit 7): port reads give the latches of output pins
// instead of their levels.
TEST(SxCpuPortRead, PortrdReadsOutputLatches) {
    SxCpu cpu(Sx52Family());
    cpu.Configure(TestConfig(cpu));
    for (const bool portrd : {false, true}) {
        Code code;
        code.Reg(0x1F, 1, 0xF0);           // RB3:0 outputs
        code.Op({0xC05, 0x026});           // RB = 05h
        code.Reg(0x16, 2, portrd ? 0x80 : 0x00);
        code.Op({0x206, 0x020 | kR});      // MOV W,RB
        const int after = code.at;
        code.Sled();
        Load(cpu, code.p);
        cpu.SetPortInput(1, 0x3A, 0xFF, 0x0F);  // strong drive overrides the outputs
        StepTo(cpu, after);
        EXPECT_EQ(cpu.Peek(kR), portrd ? 0x35 : 0x3A) << portrd;
    }
}

}  // namespace
}  // namespace korvid::testing
