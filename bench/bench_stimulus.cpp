// The stimulus scheduler under load: clock statements by the thousand and
// files of millions of `at` lines, from the text to the events applied to
// the emulated chip. Counters: events per second, and heap bytes a
// statement keeps (parsed statements plus the schedule).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "family/Family.h"
#include "sim/SimDriver.h"
#include "sim/Stimulus.h"
#include "sim/SxCpu.h"

namespace {

using namespace korvid;

// `lines` clock statements on port B, staggered, each with a period of
// 2 x lines cycles: one edge a cycle in all, so 100,000 events take
// 100,000 cycles whatever the count of statements.
std::string Clocks(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "clock RB." + std::to_string(i % 8) + " period " + std::to_string(2 * lines) + "c from " +
                std::to_string(i) + "c\n";
    return text;
}

// The statements of `text` for a 28L chip with port C.
Stimulus Parse(benchmark::State& state, const std::string& text) {
    Stimulus stimulus;
    std::vector<StimulusError> errors;
    if (!ParseStimulus(text, StimulusPins::Of(Sx28lFamily(), 3), stimulus, errors))
        state.SkipWithError("stimulus does not parse");
    return stimulus;
}

// Parse, schedule and run until 100,000 clock events have reached the chip.
void BM_ClockEvents100k(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = Clocks(lines);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        Stimulus stimulus = Parse(state, text);
        SxCpu cpu(Sx28lFamily());
        SimDriver driver(cpu, std::move(stimulus));
        bytes = mallinfo2().uordblks - before;
        driver.RunTo(100'000);
        benchmark::DoNotOptimize(cpu.cycles());
    }
    state.counters["events/s"] = benchmark::Counter(100'000.0 * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["bytes/statement"] = static_cast<double>(bytes) / lines;
}
BENCHMARK(BM_ClockEvents100k)->Arg(1)->Arg(1000)->Arg(20'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// A file of `at` lines (out of order, so the schedule sorts them): parsing
// and building the schedule, and what each line keeps.
void BM_AtLines(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "at " + std::to_string((i * 7919LL) % lines) + "c RB." + std::to_string(i % 8) + " = " +
                std::to_string(i & 1) + "\n";
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        Stimulus stimulus = Parse(state, text);
        StimulusSchedule schedule(stimulus, {});
        bytes = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(schedule.NextCycle());
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
    state.counters["bytes/line"] = static_cast<double>(bytes) / lines;
}
BENCHMARK(BM_AtLines)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// A file that is one line of `megabytes` (a UART text): the stop flag is
// raised 10 ms into parsing; the counter is the time parsing took to answer
// it (what Ctrl-C waits for), next to the time a whole parse takes.
void BM_StopWithinOneLine(benchmark::State& state) {
    const std::string text = "uart RB.7 9600 at 0 \"" + std::string(std::size_t(state.range(0)) << 20, 'x') + "\"";
    const StimulusPins pins = StimulusPins::Of(Sx28lFamily(), 3);
    double worstMs = 0;
    for (auto _ : state) {
        volatile std::sig_atomic_t stop = 0;
        std::chrono::steady_clock::time_point raised;
        std::thread raiser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            raised = std::chrono::steady_clock::now();
            stop = 1;
        });
        Stimulus stimulus;
        std::vector<StimulusError> errors;
        const bool parsed = ParseStimulus(text, pins, stimulus, errors, {}, &stop);
        const auto answered = std::chrono::steady_clock::now();
        raiser.join();
        if (parsed) state.SkipWithError("the parse ended before the flag was raised");
        worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(answered - raised).count());
    }
    state.counters["worst stop ms"] = worstMs;
}
BENCHMARK(BM_StopWithinOneLine)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace
