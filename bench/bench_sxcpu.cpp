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

// Loads `program`, resets the chip and runs it in slices of ten million
// cycles, counting the instructions executed per second.
void RunProgram(benchmark::State& state, SxCpu& cpu, const std::uint16_t* program, int size) {
    cpu.LoadProgram(program, size);
    cpu.Reset(korvid::SxReset::PowerOn);
    const std::uint64_t before = cpu.instructions();
    for (auto _ : state) cpu.Run(10'000'000);
    state.counters["instr/s"] = benchmark::Counter(static_cast<double>(cpu.instructions() - before),
                                                   benchmark::Counter::kIsRate);
}

void RunLoop(benchmark::State& state, const korvid::Family& family, bool withInterrupt) {
    SxCpu cpu(family);
    korvid::SxCpuConfig config = cpu.config();
    config.stackExtension = true;  // OPTION bits 7:6 usable on the 28 family
    cpu.Configure(config);
    const int size = family.maxProgramSize;
    const auto program = TightLoop(size, withInterrupt);
    RunProgram(state, cpu, program.data(), size);
}

void BM_TightLoop28(benchmark::State& state) { RunLoop(state, korvid::Sx28lFamily(), false); }
void BM_TightLoop28Rtcc(benchmark::State& state) { RunLoop(state, korvid::Sx28lFamily(), true); }
void BM_TightLoop52(benchmark::State& state) { RunLoop(state, korvid::Sx52Family(), false); }
void BM_TightLoop52Rtcc(benchmark::State& state) { RunLoop(state, korvid::Sx52Family(), true); }

// The 52's tight loop with timer T1 in PWM mode driving RB6 (a phase every
// 50 cycles): the cost of timer events that must be seen as they happen.
void BM_TightLoop52Pwm(benchmark::State& state) {
    SxCpu cpu(korvid::Sx52Family());
    auto p = TightLoop(4096, false);
    // At 0x020: MODE m; W = v; MOV !RB,W for TRIS_B, R1, R2, T1CNTB, clear.
    const int regs[][2] = {{0x1F, 0xBF}, {0x14, 50}, {0x15, 0}, {0x12, 50}, {0x13, 0}, {0x16, 0x01}, {0x10, 0}};
    int at = 0x020;
    for (const auto& r : regs) {
        p[at++] = static_cast<std::uint16_t>(0xC00 | r[0]);
        p[at++] = 0x043;  // MOV M,W
        p[at++] = static_cast<std::uint16_t>(0xC00 | r[1]);
        p[at++] = 0x006;  // MOV !RB,W
    }
    p[at] = 0xA10;            // JMP 010h
    p[4095] = 0xA20;          // reset: JMP 020h
    RunProgram(state, cpu, p.data(), 4096);
}

// A random program without SLEEP: a mix of every decode path.
void BM_RandomProgram(benchmark::State& state) {
    SxCpu cpu(korvid::Sx52Family());
    std::array<std::uint16_t, 4096> p{};
    std::mt19937 rng(1234);
    for (auto& word : p) {
        do word = static_cast<std::uint16_t>(rng() & 0xFFF); while (word == 0x003);
    }
    RunProgram(state, cpu, p.data(), 4096);
}

}  // namespace

BENCHMARK(BM_TightLoop28);
BENCHMARK(BM_TightLoop28Rtcc);
BENCHMARK(BM_TightLoop52);
BENCHMARK(BM_TightLoop52Rtcc);
BENCHMARK(BM_TightLoop52Pwm);
BENCHMARK(BM_RandomProgram);
