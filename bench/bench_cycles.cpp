// korvid cycles on a full 2,048-word program: the control flow and the
// bounds of every routine (each a counted loop with a skip in it) and of
// the interrupt routine, as the command computes them.
#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/CycleBounds.h"

namespace korvid {
namespace {

// Routines in the first half of each of the 4 pages, main code in the
// second halves calling all of them with PAGE and CALL, an interrupt
// routine at 0.
FlowProgram FullProgram() {
    FlowProgram p;
    p.family = &Sx28lFamily();
    p.size = 2048;
    int a = 0;
    auto emit = [&](int word) {
        p.words[static_cast<std::size_t>(a)] = static_cast<std::uint16_t>(word);
        p.data[static_cast<std::size_t>(a)] = true;
        ++a;
    };
    for (int w : {0x226, 0x643, 0x2A8, 0x706, 0x2A9, 0xC00 | (256 - 100), 0x00F}) emit(w);  // the interrupt routine
    std::vector<int> routines;
    for (int page = 0; page < 4; ++page) {
        a = std::max(a, page * 512);
        while ((a & 0x1FF) + 8 <= 0x100) {
            routines.push_back(a);
            const int loop = a + 2;
            for (int w : {0xC05, 0x030, 0x1F1, 0x706, 0x2B2, 0x2F0, 0xA00 | (loop & 0x1FF), 0x00C}) emit(w);
        }
    }
    std::size_t next = 0;
    for (int page = 0; page < 4; ++page) {
        a = page * 512 + 0x100;
        if (page == 0) emit(0xC88), emit(0x002);  // MOV W,#88h; MOV !OPTION,W
        while ((a & 0x1FF) + 5 <= 0x1FF && next < routines.size()) {
            const int r = routines[next++];
            emit(0x010 | (r >> 9));
            emit(0x900 | (r & 0xFF));
        }
        const int to = page == 3 ? 0x102 : (page + 1) * 512 + 0x100;
        emit(0x010 | (to >> 9));
        emit(0xA00 | (to & 0x1FF));
    }
    p.words[2047] = 0xA00 | 0x100;
    p.data[2047] = true;
    return p;
}

void BM_CyclesEveryRoutine(benchmark::State& state) {
    const FlowProgram program = FullProgram();
    std::size_t routines = 0;
    for (auto _ : state) {
        const ControlFlow flow = AnalyseControlFlow(program);
        for (int r : flow.routines) benchmark::DoNotOptimize(RoutineCycles(flow, r));
        benchmark::DoNotOptimize(InterruptCycles(flow));
        benchmark::DoNotOptimize(InterruptPeriod(flow));
        routines = flow.routines.size();
    }
    state.counters["routines"] = static_cast<double>(routines);
}
BENCHMARK(BM_CyclesEveryRoutine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvid
