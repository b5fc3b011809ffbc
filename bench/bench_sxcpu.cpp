// Free-run speed of the SX emulator in simulated instructions per second.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "family/Family.h"
#include "sim/SxCpu.h"

namespace {

using korvid::SxCpu;

// Reset jump to 0x010, where the main loop starts; an RTCC interrupt
// routine at 0 counts and reloads RTCC for a period of about 100 cycles.
std::array<std::uint16_t, 4096> TightLoop(int size, bool withInterrupt) {
    std::array<std::uint16_t, 4096> p{};
    p.fill(0x0FFF);
    p[0x000] = 0x2AE;  // INC 0Eh
    p[0x001] = 0xC9C;  // MOV W,#-100
    p[0x002] = 0x00F;  // RETIW
    p[0x010] = withInterrupt ? 0xC88 : 0xCFF;  // MOV W,#88h (RTCC interrupt on) / #FFh
    p[0x011] = 0x002;  // MOV !OPTION,W
    p[0x012] = 0x2AB;  // INC 0Bh
    p[0x013] = 0x1EC;  // ADD 0Ch,W
    p[0x014] = 0x2ED;  // DECSZ 0Dh
    p[0x015] = 0xA12;  // JMP 012h
    p[0x016] = 0xA12;  // JMP 012h
    p[size - 1] = 0xA10;  // reset: JMP 010h
    return p;
}

void RunLoop(benchmark::State& state, const korvid::Family& family, bool withInterrupt) {
    SxCpu cpu(family);
    korvid::SxCpuConfig config = cpu.config();
    config.stackExtension = true;  // OPTION bits 7:6 usable on the 28 family
    cpu.Configure(config);
    const int size = family.is52() ? 4096 : 2048;
    const auto program = TightLoop(size, withInterrupt);
    cpu.LoadProgram(program.data(), size);
    cpu.Reset(korvid::SxReset::PowerOn);
    const std::uint64_t before = cpu.instructions();
    for (auto _ : state) cpu.Run(10'000'000);
    state.counters["instr/s"] = benchmark::Counter(static_cast<double>(cpu.instructions() - before),
                                                   benchmark::Counter::kIsRate);
}

void BM_TightLoop28(benchmark::State& state) { RunLoop(state, korvid::Sx28lFamily(), false); }
void BM_TightLoop28Rtcc(benchmark::State& state) { RunLoop(state, korvid::Sx28lFamily(), true); }
void BM_TightLoop52(benchmark::State& state) { RunLoop(state, korvid::Sx52Family(), false); }
void BM_TightLoop52Rtcc(benchmark::State& state) { RunLoop(state, korvid::Sx52Family(), true); }

// A random program without SLEEP: a mix of every decode path.
void BM_RandomProgram(benchmark::State& state) {
    SxCpu cpu(korvid::Sx52Family());
    std::array<std::uint16_t, 4096> p{};
    std::mt19937 rng(1234);
    for (auto& word : p) {
        do word = static_cast<std::uint16_t>(rng() & 0xFFF); while (word == 0x003);
    }
    cpu.LoadProgram(p.data(), 4096);
    cpu.Reset(korvid::SxReset::PowerOn);
    const std::uint64_t before = cpu.instructions();
    for (auto _ : state) cpu.Run(10'000'000);
    state.counters["instr/s"] = benchmark::Counter(static_cast<double>(cpu.instructions() - before),
                                                   benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_TightLoop28);
BENCHMARK(BM_TightLoop28Rtcc);
BENCHMARK(BM_TightLoop52);
BENCHMARK(BM_TightLoop52Rtcc);
BENCHMARK(BM_RandomProgram);
