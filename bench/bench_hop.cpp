// A Hop over a DJNZ loop of 256 rounds (512 single steps on one listing
// line) with `korvid debug` against korvid-sim at the pace of its line
// (57600 baud, as a real tool): the cost of each silent step on the wire.
// The program is written to the simulated chip once; each measurement runs
// the same script with and without the Hop (`--no-program`) and reports
// their difference.
#include <benchmark/benchmark.h>

#include <string>

#include "tests/e2e/Process.h"

namespace {

using namespace korvid::test;

const char* const kLoop =
    "        DEVICE  SX28L, TURBO, STACKX_OPTIONX\n"
    "count   EQU     0Ch\n"
    "        RESET   start\n"
    "        ORG     10h\n"
    "start   CLR     count\n"             // 256 rounds
    "inner   DJNZ    count, inner\n"      // DECSZ + JMP: two steps a round
    "        NOP\n";

struct Rig {
    SimTool tool{{"--family", "28l"}, {}, false};  // paced
    TempDir dir;
    bool ok = false;

    Rig() {
        WriteText(dir.File("loop.src"), kLoop);
        ok = Debug("step\nquit\n", false).exitCode == 0;
    }

    RunResult Debug(const std::string& script, bool noProgram = true) const {
        WriteText(dir.File("script.txt"), script);
        const std::string command = "'" + KorvidPath() + "' debug '" + dir.File("loop.src") +
                                    "' --family 28l --port '" + tool.Path() + "'" +
                                    (noProgram ? " --no-program" : "") + " < '" + dir.File("script.txt") + "'";
        return RunChild({"/bin/sh", "-c", command}, {}, 120);
    }
};

void BM_HopOverDjnzLoop(benchmark::State& state) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("korvid debug could not program korvid-sim");
        return;
    }
    double hop = 0;
    for (auto _ : state) {
        const RunResult without = rig.Debug("step 2\nquit\n");
        const RunResult with = rig.Debug("step 2\nhop\nquit\n");
        if (with.exitCode != 0 || with.out.find("PC 013  NOP") == std::string::npos) {
            state.SkipWithError(("the Hop did not land on the NOP: " + with.out).c_str());
            return;
        }
        hop = with.wallSeconds - without.wallSeconds;
        state.SetIterationTime(hop);
    }
    state.counters["hop_s"] = hop;
}
BENCHMARK(BM_HopOverDjnzLoop)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);

}  // namespace
