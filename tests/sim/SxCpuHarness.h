// Helpers for the emulator tests: hand-placed program words, a CPU of a
// chosen family with its reset jump to the program's start, and names for
// the STATUS bits.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "family/Family.h"
#include "sim/SxCpu.h"

namespace korvid::testing {

inline constexpr std::uint8_t C = 0x01, DC = 0x02, Z = 0x04, PD = 0x08, TO = 0x10;

// A first free general register of both families (28: 08h.., 52: 0Ah..)
// and a banked one.
inline constexpr int kR = 0x0A;
inline constexpr int kR2 = 0x0B;
inline constexpr int kBanked = 0x10;

struct Program {
    std::array<std::uint16_t, 4096> words;
    Program() { words.fill(0x0FFF); }
    Program& At(int address, std::initializer_list<int> code) {
        for (int w : code) words[static_cast<std::size_t>(address++ & 0xFFF)] = static_cast<std::uint16_t>(w);
        return *this;
    }
};

// A CPU with the given program: 8-level stack, turbo, the reset vector
// jumping to `start` (which must be in the first page).
inline SxCpuConfig TestConfig(SxCpu& cpu) {
    SxCpuConfig c = cpu.config();
    c.programSize = cpu.family().is52() ? 4096 : 2048;
    c.bankCount = cpu.family().is52() ? 16 : 8;
    c.turbo = true;
    c.stackExtension = true;
    c.carryX = false;
    c.watchdog = false;
    return c;
}

// Configures the CPU as TestConfig does, with the settings `change` makes.
template <class Change>
void ConfigureWith(SxCpu& cpu, Change change) {
    SxCpuConfig c = TestConfig(cpu);
    change(c);
    cpu.Configure(c);
}

inline void Load(SxCpu& cpu, Program program, int start = 0x010) {
    const int size = cpu.config().programSize;
    program.words[static_cast<std::size_t>(size - 1)] = static_cast<std::uint16_t>(0xA00 | (start & 0x1FF));
    cpu.LoadProgram(program.words.data(), 4096);
    cpu.Reset(SxReset::PowerOn);
}

// Executes instructions until the program counter reaches `address`
// (at most `limit` steps).
inline void StepTo(SxCpu& cpu, int address, int limit = 10000) {
    for (int i = 0; i < limit && (cpu.pc() != address || cpu.skipPending()); ++i) cpu.Step();
    ASSERT_EQ(cpu.pc(), address);
}

// Both families, for parameterised tests.
class BothFamilies : public ::testing::TestWithParam<const Family*> {};

// A CPU of the test's family, configured by TestConfig before each case.
class CpuOfEachFamily : public BothFamilies {
protected:
    SxCpu cpu{*GetParam()};
    void SetUp() override { cpu.Configure(TestConfig(cpu)); }
};

inline std::string FamilyName(const ::testing::TestParamInfo<const Family*>& info) {
    return info.param->is52() ? "Sx52" : "Sx28l";
}

#define KORVID_BOTH_FAMILIES(suite)                                                                   \
    INSTANTIATE_TEST_SUITE_P(Families, suite,                                                         \
                             ::testing::Values(&::korvid::Sx28lFamily(), &::korvid::Sx52Family()), \
                             ::korvid::testing::FamilyName)

}  // namespace korvid::testing
