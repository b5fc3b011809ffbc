// Assembler throughput: (a) a generated program of about 20,000 source
// lines (labels, EQUs, variables, macros called many times, REPT,
// conditionals, comments), (b) REPT blocks of 100,000 iterations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/asm/Assembler.h"

namespace {

using namespace korvid;

struct Program {
    std::string text;
    int lines = 0;
    void Line(const std::string& s) {
        text += s;
        text += '\r';
        ++lines;
    }
};

// Program memory holds at most 4,096 words, so most lines define
// constants, are comments or sit in false conditional blocks.
Program GenerateLargeProgram() {
    Program p;
    char buf[96];
    p.Line("; generated program for the assembler benchmark");
    p.Line(" DEVICE SYNC, WATCHDOG");
    p.Line(" FREQ 50_000_000");
    p.Line("DBG = 0");
    p.Line("n = 0");
    p.Line("ld2 MACRO 2");
    p.Line(" MOV \\1,#\\2");
    p.Line(" ENDM");
    p.Line("cnt MACRO 1");
    p.Line(":l DJNZ \\1,:l");
    p.Line(" ENDM");
    p.Line("tab MACRO");
    p.Line(" REPT \\0");
    p.Line(" RETW %");
    p.Line(" ENDR");
    p.Line(" ENDM");
    for (int i = 0; i < 3000; ++i) {
        std::snprintf(buf, sizeof buf, "K%d EQU %d", i, (i * 7) & 0xFF);
        p.Line(buf);
    }
    for (int block = 0; block < 200; ++block) {
        std::snprintf(buf, sizeof buf, "L%d", block);
        p.Line(buf);
        p.Line("; part");
        std::snprintf(buf, sizeof buf, " ld2 8,K%d", block);
        p.Line(buf);
        p.Line(" cnt 9");
        std::snprintf(buf, sizeof buf, " MOV W,K%d+1", block * 3);
        p.Line(buf);
        p.Line(" ADD 8,W");
        std::snprintf(buf, sizeof buf, " JMP L%d", (block + 1) % 200);
        p.Line(buf);
        p.Line("n = n + 1");
        p.Line(" IF DBG");
        for (int k = 0; k < 60; ++k) p.Line(k % 3 ? " NOP" : " MOV W,#1");
        p.Line(" ELSE");
        p.Line(" CLR 8");
        p.Line(" ENDIF");
        if (block % 20 == 0) {
            p.Line(" tab 1,2,3");
            p.Line(" REPT 2");
            p.Line(" INC 8");
            p.Line(" ENDR");
        }
        for (int c = 0; c < 10; ++c) p.Line(";");
    }
    p.Line(" END");
    return p;
}

struct Bench {
    explicit Bench(const Family& family)
        : state(std::make_unique<AssemblyState>(family)), list(kDefaultListCapacity) {
        state->ListText = list.data();
        state->ListCapacity = kDefaultListCapacity;
    }
    std::unique_ptr<AssemblyState> state;
    std::vector<char> list;
};

void RunAssembly(benchmark::State& st, const Family& family, const std::string& text, int lines) {
    Bench b(family);
    b.state->SourceText = text.c_str();
    Assemble(*b.state);
    if (b.state->ErrorFlag) {
        st.SkipWithError(b.state->ErrorMessage);
        return;
    }
    for (auto _ : st) {
        Assemble(*b.state);
        benchmark::DoNotOptimize(b.state->ChipImage[0]);
    }
    st.SetItemsProcessed(std::int64_t(st.iterations()) * lines);
    st.counters["list_lines"] = b.state->ListLineCount;
    st.counters["list_bytes"] = b.state->ListLength;
}

void BM_AssembleLargeProgram(benchmark::State& st) {
    static const Program p = GenerateLargeProgram();
    RunAssembly(st, Sx28lFamily(), p.text, p.lines);
}
BENCHMARK(BM_AssembleLargeProgram)->Unit(benchmark::kMillisecond);

// 100,000 iterations of an empty REPT block: the repetition machinery alone.
void BM_ReptEmpty100000(benchmark::State& st) {
    RunAssembly(st, Sx28lFamily(), " REPT 100000\r ENDR\r", 100000);
}
BENCHMARK(BM_ReptEmpty100000)->Unit(benchmark::kMillisecond);

// 100,000 iterations of one line. Program memory and the list cannot hold
// 100,000 NOPs, so the line is an assignment inside a macro expanded under
// NOEXPAND (lines that store no words are then not listed).
void BM_ReptOneLine100000(benchmark::State& st) {
    RunAssembly(st, Sx28lFamily(),
                "x = 0\rbody MACRO\r REPT 100000\rx = x + 1\r ENDR\r ENDM\r NOEXPAND\r body\r", 100000);
}
BENCHMARK(BM_ReptOneLine100000)->Unit(benchmark::kMillisecond);

}  // namespace
