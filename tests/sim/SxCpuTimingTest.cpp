// Every instruction word runs on the emulator in each clock mode of each
// family and takes the cycles the instruction set's timing gives it: the
// fast run loop and single steps alike, skips taken and not taken.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "family/InstructionSet.h"
#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

struct Mode {
    const Family* family;
    bool turbo;
};

// Test words sit 4 apart with NOPs after them, so that a skip annuls
// exactly one word.
constexpr int kSpacing = 4;

class SxCpuTiming : public ::testing::TestWithParam<Mode> {};

TEST_P(SxCpuTiming, EveryWordTakesItsTabledCycles) {
    const Mode mode = GetParam();
    SxCpu cpu(*mode.family);
    SxCpuConfig config = TestConfig(cpu);
    config.turbo = mode.turbo;
    cpu.Configure(config);
    const ClockMode clock = mode.turbo ? ClockMode::Turbo : ClockMode::Compatible;
    const int perProgram = (cpu.config().programSize - kSpacing) / kSpacing;
    int failures = 0;
    for (int parity : {0, 1}) {
        for (int first = 0; first < 4096; first += perProgram) {
            Program p;
            for (int a = 0; a < cpu.config().programSize - 1; ++a) p.words[static_cast<std::size_t>(a)] = 0x000;
            for (int j = 0; j < perProgram && first + j < 4096; ++j)
                p.words[static_cast<std::size_t>(kSpacing * j + parity)] = static_cast<std::uint16_t>(first + j);
            Load(cpu, p);
            for (int j = 0; j < perProgram && first + j < 4096 && failures < 10; ++j) {
                const int word = first + j;
                const int address = kSpacing * j + parity;
                const WordTiming t = TimingOfWord(static_cast<std::uint16_t>(word), address, clock);
                bool skipped = false, ranOn = false;
                for (int fill : {0x00, 0x01, 0xFF}) {
                    for (bool fast : {false, true}) {
                        cpu.Reset(SxReset::PowerOn);
                        for (int r = 8; r < 256; ++r) cpu.Poke(r, static_cast<std::uint8_t>(fill));
                        cpu.SetW(static_cast<std::uint8_t>(fill));
                        cpu.SetStatus(static_cast<std::uint8_t>(fill & 0x1F));
                        cpu.SetFsr(0x10);  // IND reaches plain RAM
                        cpu.SetPc(static_cast<std::uint16_t>(address));
                        const std::uint64_t before = cpu.cycles();
                        if (fast) {
                            cpu.Run(1);
                        } else {
                            cpu.Step();
                            if (cpu.skipPending()) cpu.Step();
                        }
                        const std::uint64_t spent = cpu.cycles() - before;
                        const bool skip = t.skip && cpu.pc() == address + 2;
                        (skip ? skipped : ranOn) = true;
                        const std::uint64_t want = t.cycles + (skip ? kAnnulledWordCycles : 0);
                        if (spent != want) {
                            ADD_FAILURE() << "word " << std::hex << word << " at " << address << " (fill " << fill
                                          << (fast ? ", run" : ", step") << "): " << std::dec << spent
                                          << " cycles, the table says " << want;
                            ++failures;
                        }
                        cpu.EndSleep();
                    }
                }
                // A skip on a plain register both skips and runs on over
                // these fills; a word that never skips is no skip.
                const bool plainOperand =
                    RegisterField(static_cast<unsigned>(word)) >= kR;  // past the ports of both families
                const Operation op = MatchInstruction(static_cast<std::uint16_t>(word), address).operation;
                if (t.skip && plainOperand && op != Operation::Unused && !(skipped && ranOn)) {
                    ADD_FAILURE() << "skip word " << std::hex << word << " at " << address
                                  << (skipped ? " never ran on" : " never skipped");
                    ++failures;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SxCpuTiming,
                         ::testing::Values(Mode{&Sx28lFamily(), true}, Mode{&Sx28lFamily(), false},
                                           Mode{&Sx52Family(), true}),
                         [](const ::testing::TestParamInfo<Mode>& info) {
                             return std::string(info.param.family->is52() ? "Sx52" : "Sx28l") +
                                    (info.param.turbo ? "Turbo" : "Compatible");
                         });

// The 52 family has no compatible mode: asked for it, it stays in turbo
// mode and its jumps take the turbo cycles.
TEST(SxCpuTiming52, RunsInTurboModeWhateverTheConfigurationAsks) {
    SxCpu cpu(Sx52Family());
    ConfigureWith(cpu, [&](SxCpuConfig& c) { c.turbo = false; });
    Program p;
    p.At(0x010, {0xA20});  // JMP 020
    Load(cpu, p);
    cpu.SetPc(0x010);
    cpu.Step();
    EXPECT_EQ(cpu.cycles(), static_cast<std::uint64_t>(ClassCycles(TimingClass::Jump, ClockMode::Turbo)));
}

}  // namespace
}  // namespace korvid::testing
