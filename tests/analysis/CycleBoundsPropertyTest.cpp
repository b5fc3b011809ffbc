// Random programs (straight code, skips, counted loops, calls, table
// look-ups, interrupt routines) run on the emulator from many starting
// states and pin inputs: every span a run measures lies within the static
// bounds, and code whose way does not depend on data takes them exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/CycleBounds.h"
#include "sim/SxCpu.h"

namespace korvid {
namespace {

constexpr int kStart = 0x010;    // main code, page 0
constexpr int kIsrMain = 0x080;  // main code of a program with an interrupt routine
constexpr int kSubs = 0x200;     // routines: the first half of page 1, where CALL reaches with PAGE 1
constexpr int kTables = 0x2C0;   // a RETW table, read through JMP PC+W
constexpr int kCounter = 0x0F;   // the loops' counter, which nothing else writes
constexpr int kPortB = 6;

struct Generated {
    std::vector<std::uint16_t> words = std::vector<std::uint16_t>(kProgramWords, 0x000);
    int start = kStart, end = 0;
    int retiw = -1;        // the interrupt routine's RETIW, when it has one
    bool dataFree = true;  // no way depends on data or inputs
};

class Generator {
public:
    Generator(std::uint32_t seed, const Family& family, bool branches, bool interrupt)
        : rng_(seed), family_(family), branches_(branches), interrupt_(interrupt) {}

    Generated Make(int size) {
        g_.end = 0;
        int subAt = kSubs;
        // Routines first, so that calls know where they are.
        const int subCount = Pick(0, 3);
        for (int i = 0; i < subCount; ++i) {
            subs_.push_back(subAt);
            subAt = Block(subAt, 6, false);
            Emit(subAt, Chance(2) ? 0x00C : 0x800 | Pick(0, 255));  // RET or RETW
        }
        // A table of RETW words, read with JMP PC+W from a routine.
        table_ = kTables;
        int t = table_;
        Emit(t, 0x1E2);  // JMP PC+W
        tableSize_ = Pick(1, 6);
        for (int i = 0; i < tableSize_; ++i) Emit(t, 0x800 | Pick(0, 255));

        int a = interrupt_ ? kIsrMain : kStart;
        g_.start = a;
        if (interrupt_) {
            // The interrupt routine at 0, ending in RETIW with a period of
            // 200 cycles; main code enables the RTCC interrupt and waits.
            int isr = 0;
            isr = Block(isr, 10, false);
            Emit(isr, 0xC00 | (256 - 200));  // MOV W,#-200
            g_.retiw = isr;
            Emit(isr, 0x00F);
            Emit(a, 0xC00 | 0x88);  // MOV W,#88h: RTCC interrupt on, prescaler to the watchdog
            Emit(a, 0x002);         // MOV !OPTION,W
            g_.end = a;
            Emit(a, 0xA00 | (g_.end & 0x1FF));  // JMP $
        } else {
            a = Block(a, 30, true);
            g_.end = a;
            Emit(a, 0xA00 | (g_.end & 0x1FF));  // JMP $
        }
        g_.words[static_cast<std::size_t>(size - 1)] = static_cast<std::uint16_t>(0xA00 | g_.start);
        return g_;
    }

private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int oneIn) { return Pick(1, oneIn) == 1; }
    void Emit(int& a, int word) { g_.words[static_cast<std::size_t>(a++)] = static_cast<std::uint16_t>(word); }
    int Reg() { return Pick(family_.is52() ? 0x0A : 0x08, kCounter - 1); }

    // A plain instruction on W and the work registers.
    int Plain() {
        static constexpr int kOps[] = {0x1C0, 0x1E0, 0x0A0, 0x2A0, 0x0E0, 0x180, 0x1A0,
                                       0x200, 0x020, 0x260, 0x360, 0x320, 0x3A0, 0x060};
        switch (Pick(0, 3)) {
            case 0: return 0xC00 | Pick(0, 255);               // MOV W,#k
            case 1: return 0xD00 | Pick(0, 255);               // OR W,#k
            case 2: return 0x400 | (Pick(0, 7) << 5) | Reg();  // CLRB
            default: return kOps[Pick(0, int(std::size(kOps)) - 1)] | Reg();
        }
    }

    // Straight code with, on request, skips, counted loops, calls and
    // forward branches; returns the address after it.
    int Block(int a, int length, bool structures) {
        for (int i = 0; i < length; ++i) {
            const int kind = Pick(0, 9);
            if (branches_ && kind == 0) {
                // A skip on data or an input, over one word or a PAGE and a word.
                g_.dataFree = false;
                const int pin = Pick(0, 7);
                const int skip = Chance(3) ? (0x600 | (pin << 5) | kPortB)
                                           : (Chance(2) ? 0x2E0 | Reg() : 0x700 | (Pick(0, 7) << 5) | Reg());
                Emit(a, skip);
                if (Chance(3)) Emit(a, 0x010);  // PAGE 0: the skip takes the word after it too
                Emit(a, Plain());
            } else if (structures && kind == 1) {
                // for n passes: a counted loop.
                Emit(a, 0xC00 | Pick(1, 6));  // MOV W,#n
                Emit(a, 0x020 | kCounter);    // MOV counter,W
                const int head = a;
                a = Block(a, Pick(1, 3), false);
                Emit(a, 0x2E0 | kCounter);  // DECSZ counter
                Emit(a, 0xA00 | (head & 0x1FF));
            } else if (structures && kind == 2 && !subs_.empty()) {
                // PAGE 1; CALL; PAGE 0: the routine's page, then back.
                Emit(a, 0x011);
                Emit(a, 0x900 | (subs_[static_cast<std::size_t>(Pick(0, int(subs_.size()) - 1))] & 0xFF));
                Emit(a, 0x010);
            } else if (structures && kind == 3) {
                // A table look-up: W = an entry number, CALL the table
                // (every entry costs the same).
                Emit(a, 0xC00 | Pick(0, tableSize_ - 1));
                Emit(a, 0x011);
                Emit(a, 0x900 | (table_ & 0xFF));
                Emit(a, 0x010);
            } else if (branches_ && structures && kind == 4) {
                // if (input) { ... } : SNB RB.n; JMP over; code; over:
                g_.dataFree = false;
                Emit(a, 0x600 | (Pick(0, 7) << 5) | kPortB);
                const int jump = a;
                Emit(a, 0);
                a = Block(a, Pick(1, 4), false);
                g_.words[static_cast<std::size_t>(jump)] = static_cast<std::uint16_t>(0xA00 | (a & 0x1FF));
            } else {
                Emit(a, Plain());
            }
        }
        return a;
    }

    std::mt19937 rng_;
    const Family& family_;
    bool branches_, interrupt_;
    Generated g_;
    std::vector<int> subs_;
    int table_ = kTables, tableSize_ = 1;
};

struct Case {
    const Family* family;
    bool turbo;
    bool branches;
    bool interrupt;
};

class CycleBoundsProperty : public ::testing::TestWithParam<Case> {};

TEST_P(CycleBoundsProperty, RunsStayWithinTheStaticBounds) {
    const Case c = GetParam();
    const Family& family = *c.family;
    const int size = family.is52() ? 4096 : 2048;
    int checked = 0;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        Generator gen(seed * 7919u + (c.branches ? 1 : 0) + (c.interrupt ? 2 : 0), family, c.branches, c.interrupt);
        const Generated g = gen.Make(size);

        FlowProgram program;
        program.family = &family;
        program.mode = c.turbo ? ClockMode::Turbo : ClockMode::Compatible;
        program.size = size;
        for (int a = 0; a < size; ++a) {
            program.words[static_cast<std::size_t>(a)] = g.words[static_cast<std::size_t>(a)];
            program.data[static_cast<std::size_t>(a)] = true;
        }
        const ControlFlow flow = AnalyseControlFlow(program);
        const int from = c.interrupt ? 0 : g.start;
        const int to = c.interrupt ? g.retiw : g.end;
        const CycleBound bound = SpanCycles(flow, from, to);
        ASSERT_TRUE(bound.reached && bound.bounded)
            << "seed " << seed << ": " << (bound.reached ? bound.why : "not reached") << " at " << bound.openAt;

        SxCpu cpu(family);
        SxCpuConfig config = cpu.config();
        config.programSize = size;
        config.bankCount = family.is52() ? 16 : 8;
        config.turbo = c.turbo;
        config.stackExtension = true;
        cpu.Configure(config);
        cpu.LoadProgram(g.words.data(), size);
        std::mt19937 rng(seed);
        for (int run = 0; run < 12; ++run) {
            cpu.Reset(SxReset::PowerOn);
            // RAM only: the 28's debugger addresses with bit 4 clear past 0Fh are its global registers again.
            for (int r = family.is52() ? 0x0A : 0x08; r < 256; ++r)
                if (family.is52() || r < 16 || (r & 0x10)) cpu.Poke(r, static_cast<std::uint8_t>(rng()));
            cpu.SetW(static_cast<std::uint8_t>(rng()));
            cpu.SetPortInput(1, static_cast<std::uint8_t>(rng()));
            const int counter = cpu.AddSpanCounter(from, to);
            // Inputs change while it runs.
            for (int slice = 0; slice < 8; ++slice) {
                cpu.Run(1000);
                cpu.SetPortInput(1, static_cast<std::uint8_t>(rng()));
            }
            const SxSpanResult& r = cpu.spanResult(counter);
            ASSERT_GT(r.completed, 0u) << "seed " << seed << " pc " << std::hex << cpu.pc() << " from " << from
                                       << " to " << to << std::dec << " cycles " << cpu.cycles();
            EXPECT_GE(r.shortest, static_cast<std::uint64_t>(bound.min)) << "seed " << seed << " run " << run;
            EXPECT_LE(r.longest, static_cast<std::uint64_t>(bound.max)) << "seed " << seed << " run " << run;
            if (g.dataFree) {
                EXPECT_EQ(bound.min, bound.max) << "seed " << seed;
                EXPECT_EQ(r.shortest, static_cast<std::uint64_t>(bound.min)) << "seed " << seed;
            }
            cpu.ClearSpanCounters();
            ++checked;
            if (HasFailure()) return;
        }
    }
    EXPECT_EQ(checked, 150 * 12);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CycleBoundsProperty,
    ::testing::Values(Case{&Sx28lFamily(), true, false, false}, Case{&Sx28lFamily(), false, false, false},
                      Case{&Sx28lFamily(), true, true, false}, Case{&Sx28lFamily(), false, true, false},
                      Case{&Sx52Family(), true, true, false}, Case{&Sx28lFamily(), true, true, true},
                      Case{&Sx52Family(), true, false, true}),
    [](const ::testing::TestParamInfo<Case>& info) {
        const Case& c = info.param;
        return std::string(c.family->is52() ? "Sx52" : "Sx28l") + (c.turbo ? "Turbo" : "Compatible") +
               (c.branches ? "Branching" : "Straight") + (c.interrupt ? "Interrupt" : "Main");
    });

}  // namespace
}  // namespace korvid
