// The debug adapter's session on the blink example: a step with its stopped
// event and the Registers scope, a step back deep in the history, and a
// continue to a breakpoint 25 million cycles away (compare with
// bench_sxcpu's free-running loop).
#include <benchmark/benchmark.h>

#include "dap/Session.h"
#include "sim/SimSetup.h"

namespace korvid::dap {
namespace {

struct Fixture {
    int seq = 1;
    std::size_t bytes = 0;
    Session session{[this](const Json& m) { bytes += m.dump().size(); }};
    void Request(const char* command, Json args = Json::object()) {
        session.Handle({{"seq", seq++}, {"type", "request"}, {"command", command}, {"arguments", std::move(args)}});
        while (session.running()) session.Advance();
    }
    explicit Fixture(int line) {
        const std::string blink = std::string(KORVID_SOURCE_DIR) + "/examples/blink.src";
        Request("initialize");
        Request("launch", {{"program", blink}, {"stopOnEntry", true}});
        Request("setBreakpoints", {{"source", {{"path", blink}}}, {"breakpoints", Json::array({{{"line", line}}})}});
        Request("configurationDone");
        Request("continue", {{"threadId", 1}});
    }
};

void BM_StepWithRegisters(benchmark::State& state) {
    Fixture f(20);
    for (auto _ : state) {
        f.Request("stepIn", {{"threadId", 1}});
        f.Request("variables", {{"variablesReference", 1}});
    }
}
BENCHMARK(BM_StepWithRegisters)->Unit(benchmark::kMicrosecond);

void BM_StepBack(benchmark::State& state) {
    Fixture f(22);  // after a call of 12.6 million cycles: the history is full
    for (auto _ : state) f.Request("stepBack", {{"threadId", 1}});
}
BENCHMARK(BM_StepBack)->Unit(benchmark::kMicrosecond);

void BM_ContinueToBreakpoint(benchmark::State& state) {
    Fixture f(20);
    for (auto _ : state) f.Request("continue", {{"threadId", 1}});  // one round of main: 25.2 M cycles
}
BENCHMARK(BM_ContinueToBreakpoint)->Unit(benchmark::kMillisecond);

// The same cycles on the bare emulator, without the adapter.
void BM_FreeRun(benchmark::State& state) {
    const Family& family = *FamilyByName("28l");
    DebugProgram program;
    std::string message;
    program.Load(std::string(KORVID_SOURCE_DIR) + "/examples/blink.src", family, Dialect::Strict, message);
    SxCpu cpu(family);
    LoadCpuFromImage(cpu, family, program.image(), 50'000'000);
    for (auto _ : state) cpu.Run(25'239'857);
}
BENCHMARK(BM_FreeRun)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvid::dap
