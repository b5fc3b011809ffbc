// The emulator's span counters (what `cycles A..B` checks read) against a
// reference that single-steps the same program and notes every instruction
// that runs: a program with an interrupt every 47 cycles of two lengths, a
// main loop whose skip annuls a watched word on some passes, a call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "sim/FirmwareTest.h"
#include "tests/asm/AsmFixture.h"

namespace korvid {
namespace {

constexpr const char* kProgram =
    " DEVICE SX28L, TURBO, STACKX_OPTIONX\n"
    " RESET start\n"
    "cnt EQU 08h\n"
    "n EQU 09h\n"
    " ORG 0\n"
    "isr INC cnt\n"
    " SNB cnt.0\n"
    " JMP isr_long\n"
    "isr_end MOV W,#-47\n"
    " RETIW\n"
    "isr_long NOP\n"
    " NOP\n"
    " JMP isr_end\n"
    "start MOV !OPTION,#%1000_1000\n"
    "main MOV n,#5\n"
    "loop CALL task\n"
    " SB n.1\n"
    "skipped NOP\n"
    " DECSZ n\n"
    " JMP loop\n"
    " JMP main\n"
    "task NOP\n"
    " RET\n"
    "never JMP never\n";

constexpr std::uint64_t kEnd = 20'000;

struct SpanCase {
    const char* from;
    const char* to;
    CompareOp op;
    std::uint64_t value;
};

// A == B, B met before A, arrivals at A nested before B (the main loop
// before an interrupt), a watched word a skip annuls, a span still open at
// the end; limits that accept all, some or none of the spans, at the
// edges of their ranges; `!=` a value only a span between the shortest
// and the longest of nested arrivals has.
constexpr SpanCase kCases[] = {
    {"isr", "isr_end", CompareOp::Le, 4},   {"isr", "isr_end", CompareOp::Ge, 4},
    {"isr", "isr", CompareOp::Eq, 47},      {"isr", "isr", CompareOp::Ne, 47},
    {"isr_end", "isr", CompareOp::Gt, 40},  {"isr_end", "isr", CompareOp::Lt, 0},
    {"loop", "isr", CompareOp::Lt, 30},     {"loop", "isr", CompareOp::Gt, ~0ull},
    {"main", "skipped", CompareOp::Ge, 10}, {"skipped", "main", CompareOp::Le, 60},
    {"task", "loop", CompareOp::Le, 1000},  {"task", "never", CompareOp::Le, 1},
    {"loop", "isr", CompareOp::Ne, 55},
};

struct Measured {
    std::uint64_t completed = 0, shortest = ~0ull, longest = 0;
    bool refused = false;
    std::uint64_t refusedSpan = 0, refusedStart = 0;
    bool operator==(const Measured&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Measured& m) {
    return os << "{completed " << m.completed << ", shortest " << m.shortest << ", longest " << m.longest
              << ", refused " << m.refused << " " << m.refusedSpan << " from " << m.refusedStart << "}";
}

class SpanCounters : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(asm_.Run(kProgram)) << asm_.message() << " at " << asm_.span();
        const AssemblyState& s = asm_.state();
        config_ = SxCpuConfigFromFuses(Sx28lFamily(), s.ChipImage[kFuseIndex], s.ChipImage[kExtFuseIndex]);
        for (int i = 0; i < kProgramWords; ++i) words_.push_back(s.ChipImage[static_cast<std::size_t>(i)] & kWordMask);
    }
    void Start(SxCpu& cpu) const {
        cpu.Configure(config_);
        cpu.LoadProgram(words_.data(), kProgramWords);
        cpu.Reset(SxReset::PowerOn);
    }
    int Address(const char* label) const {
        std::string name(label);  // the assembler keeps names in capitals
        for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const auto a = FindSymbol(asm_.state(), name);
        EXPECT_TRUE(a.has_value()) << label;
        return a ? *a : 0;
    }

    // The instructions that ran before kEnd, one step at a time: where and
    // at which cycle each started (interrupt entries and annulled words
    // run none).
    std::vector<std::pair<int, std::uint64_t>> Reference() const {
        SxCpu cpu(Sx28lFamily());
        Start(cpu);
        std::vector<std::pair<int, std::uint64_t>> ran;
        while (cpu.cycles() < kEnd) {
            const int pc = cpu.pc();
            const std::uint64_t at = cpu.cycles(), before = cpu.instructions();
            cpu.Step();
            if (cpu.instructions() != before) ran.emplace_back(pc, at);
        }
        return ran;
    }

    // The arrivals at `from` before each arrival at `to` that ends them: (end, starts).
    std::vector<std::pair<std::uint64_t, std::vector<std::uint64_t>>> Spans(
        const std::vector<std::pair<int, std::uint64_t>>& ran, const char* fromLabel, const char* toLabel) const {
        const int from = Address(fromLabel), to = Address(toLabel);
        std::vector<std::pair<std::uint64_t, std::vector<std::uint64_t>>> spans;
        std::vector<std::uint64_t> starts;
        for (const auto& [pc, at] : ran) {
            if (pc == to && !starts.empty()) {
                spans.emplace_back(at, starts);
                starts.clear();
            }
            if (pc == from) starts.push_back(at);
        }
        return spans;
    }

    // What the counter should say: every span from an arrival at `from` to
    // the next at `to`, each judged, the first refused kept.
    Measured Expected(const std::vector<std::pair<int, std::uint64_t>>& ran, const SpanCase& c) const {
        Measured m;
        for (const auto& [at, starts] : Spans(ran, c.from, c.to)) {
            ++m.completed;
            m.longest = std::max(m.longest, at - starts.front());
            m.shortest = std::min(m.shortest, at - starts.back());
            for (const std::uint64_t start : starts) {
                if (m.refused || Compare(at - start, c.op, c.value)) continue;
                m.refused = true;
                m.refusedSpan = at - start;
                m.refusedStart = start;
            }
        }
        return m;
    }

    test::Assembly asm_{Sx28lFamily()};
    SxCpuConfig config_;
    std::vector<std::uint16_t> words_;
};

TEST_F(SpanCounters, AgreeWithSingleStepsWhateverStopsTheRun) {
    const auto ran = Reference();
    // How the counted run is stopped: slices only; halts at every watched
    // address, each resumed by a single step (as a test's label checks do);
    // a break after the called routine's first word.
    enum class Stops { Slices, Halts, Break };
    for (const auto& [stops, name] :
         {std::pair{Stops::Slices, "slices"}, std::pair{Stops::Halts, "halts"}, std::pair{Stops::Break, "break"}}) {
        SCOPED_TRACE(name);
        SxCpu cpu(Sx28lFamily());
        Start(cpu);
        std::vector<int> counters;
        for (const SpanCase& c : kCases) {
            counters.push_back(cpu.AddSpanCounter(Address(c.from), Address(c.to), SpanLimitsOf(c.op, c.value)));
            if (stops == Stops::Halts) {
                cpu.SetHaltBefore(Address(c.from), true);
                cpu.SetHaltBefore(Address(c.to), true);
            }
        }
        if (stops == Stops::Break) cpu.SetBreakAfter(Address("task"), true);
        while (cpu.cycles() < kEnd) {
            if (cpu.Run(std::min<std::uint64_t>(kEnd - cpu.cycles(), 997)) == SxStop::Trap) cpu.Step();
        }
        for (std::size_t i = 0; i < std::size(kCases); ++i) {
            const SpanCase& c = kCases[i];
            SCOPED_TRACE(std::string(c.from) + ".." + c.to + " " + CompareText(c.op) + " " + std::to_string(c.value));
            const SxSpanResult& r = cpu.spanResult(counters[i]);
            EXPECT_EQ((Measured{r.completed, r.shortest, r.longest, r.refused, r.refusedSpan, r.refusedStart}),
                      Expected(ran, c));
        }
    }
}

TEST_F(SpanCounters, SayWhenTooManyNestedArrivalsWereKeptToJudgeEverySpan) {
    // `!= N` keeps the arrivals within N cycles of the last: the main loop's
    // arrivals, broken into short runs by the interrupts, outgrow the limit
    // long before a span could end.
    SxCpu cpu(Sx28lFamily());
    Start(cpu);
    const int counter = cpu.AddSpanCounter(Address("loop"), Address("never"), SpanLimitsOf(CompareOp::Ne, 1u << 30));
    while (cpu.cycles() < (1u << 27) && !cpu.spanResult(counter).undecided) cpu.Run(1u << 20);
    EXPECT_TRUE(cpu.spanResult(counter).undecided);
}

TEST_F(SpanCounters, CoverTheCasesTheyAreMeantFor) {
    // The table above means something only if the program makes it so.
    const auto ran = Reference();
    auto expected = [&](const char* from, const char* to) { return Expected(ran, {from, to, CompareOp::Le, ~0ull}); };
    EXPECT_LT(expected("isr", "isr_end").shortest, expected("isr", "isr_end").longest);       // two paths
    EXPECT_LT(expected("loop", "isr").shortest, expected("loop", "isr").longest);             // nested arrivals
    EXPECT_LT(expected("skipped", "skipped").completed, expected("loop", "loop").completed);  // annulled at times
    EXPECT_EQ(expected("task", "never").completed, 0u);
    EXPECT_GT(expected("isr", "isr").completed, 300u);
    // loop..isr != 55: only a span between the shortest and the longest of
    // its nested arrivals is 55 cycles long.
    bool hidden = false;
    for (const auto& [at, starts] : Spans(ran, "loop", "isr")) {
        EXPECT_NE(at - starts.front(), 55u);
        EXPECT_NE(at - starts.back(), 55u);
        for (const std::uint64_t start : starts) hidden = hidden || at - start == 55;
    }
    EXPECT_TRUE(hidden);
}

TEST_F(SpanCounters, LeaveTheProgramAsItRanWithoutThem) {
    SxCpu plain(Sx28lFamily()), counted(Sx28lFamily());
    Start(plain);
    Start(counted);
    for (const SpanCase& c : kCases) counted.AddSpanCounter(Address(c.from), Address(c.to));
    counted.SetHaltBefore(Address("loop"), true);
    counted.ClearSpanCounters();
    counted.AddSpanCounter(Address("isr"), Address("isr_end"));
    counted.ClearTraps();  // the halt goes, the counter stays
    plain.Run(kEnd);
    counted.Run(kEnd);
    EXPECT_EQ(counted.cycles(), plain.cycles());
    EXPECT_EQ(counted.instructions(), plain.instructions());
    EXPECT_EQ(counted.pc(), plain.pc());
    EXPECT_EQ(counted.Peek(0x08), plain.Peek(0x08));
    EXPECT_EQ(counted.spanResult(0).completed, Expected(Reference(), {"isr", "isr_end", CompareOp::Le, 0}).completed);
}

}  // namespace
}  // namespace korvid
