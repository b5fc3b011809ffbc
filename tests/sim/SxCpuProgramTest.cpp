// Assembled programs on the emulator: the assembler's compare-and-jump
// macros, 16-bit arithmetic with and without CARRYX, an indirect fill of
// all banks, long calls across pages; both families.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/asm/AsmFixture.h"
#include "tests/sim/SxCpuHarness.h"

namespace korvid::testing {
namespace {

// Assembles `body` after a DEVICE line for the family, loads the chip image
// with its configuration and runs until the program settles in `done JMP
// done` (at most `cycles`).
class Assembled {
public:
    Assembled(const Family& family, const std::string& options, const std::string& body) : a_(family), cpu_(family) {
        std::string device;
        if (!family.is52()) device = " DEVICE SX28L, TURBO, STACKX_OPTIONX" + options + "\n";
        else if (!options.empty()) device = " DEVICE " + options.substr(2) + "\n";
        ok_ = a_.Run(device + " RESET start\n" + body + "done JMP done\n");
        if (!ok_) return;
        const AssemblyState& s = a_.state();
        cpu_.Configure(SxCpuConfigFromFuses(family, s.ChipImage[kFuseIndex], s.ChipImage[kExtFuseIndex]));
        std::uint16_t words[kProgramWords];
        for (int i = 0; i < kProgramWords; ++i) words[i] = s.ChipImage[static_cast<std::size_t>(i)] & kWordMask;
        cpu_.LoadProgram(words, kProgramWords);
        cpu_.Reset(SxReset::PowerOn);
    }
    ::testing::AssertionResult Run(std::uint64_t cycles = 200'000) {
        if (!ok_) return ::testing::AssertionFailure() << a_.message() << " at '" << a_.span() << "'";
        cpu_.Run(cycles);
        const std::uint16_t pc = cpu_.pc();
        if (cpu_.ProgramWord(pc) != (0xA00 | (pc & 0x1FF)))
            return ::testing::AssertionFailure() << "not at done: PC " << std::hex << pc;
        return ::testing::AssertionSuccess();
    }
    SxCpu& cpu() { return cpu_; }

private:
    test::Assembly a_;
    SxCpu cpu_;
    bool ok_ = false;
};

class SxCpuProgram : public BothFamilies {};

TEST_P(SxCpuProgram, CompareAndJumpMacros) {
    // Bit i of 0Eh (register forms) and 0Fh (literal forms) is set when the
    // i-th relation holds: =, >, >=, <, <=, <>.
    const std::string tests[6][2] = {{"CJE", "0"}, {"CJA", "1"}, {"CJAE", "2"},
                                     {"CJB", "3"}, {"CJBE", "4"}, {"CJNE", "5"}};
    const int pairs[][2] = {{0, 0}, {5, 3}, {3, 5}, {255, 0}, {0, 255}, {128, 127}, {0x7F, 0x80}, {200, 200}};
    for (const auto& pr : pairs) {
        char head[120];
        std::snprintf(head, sizeof head, "a EQU 0Ch\nb EQU 0Dh\nstart MOV a,#%d\n MOV b,#%d\n CLR 0Eh\n CLR 0Fh\n",
                      pr[0], pr[1]);
        std::string body = head;
        for (const auto& t : tests) {
            body += " " + t[0] + " a,b,r" + t[1] + "\n JMP s" + t[1] + "\nr" + t[1] + " SETB 0Eh." + t[1] + "\n";
            body += "s" + t[1] + " " + t[0] + " a,#" + std::to_string(pr[1]) + ",l" + t[1] + "\n JMP m" + t[1] +
                    "\nl" + t[1] + " SETB 0Fh." + t[1] + "\nm" + t[1] + "\n";
        }
        Assembled program(*GetParam(), "", body);
        ASSERT_TRUE(program.Run());
        const int a = pr[0], b = pr[1];
        const int want = (a == b) | (a > b) << 1 | (a >= b) << 2 | (a < b) << 3 | (a <= b) << 4 | (a != b) << 5;
        EXPECT_EQ(program.cpu().Peek(0x0E), want) << a << " vs " << b;
        EXPECT_EQ(program.cpu().Peek(0x0F), want) << a << " vs #" << b;
    }
}

TEST_P(SxCpuProgram, SixteenBitArithmeticWithAndWithoutCarryX) {
    // (0Dh:0Ch) + (0Fh:0Eh) into 0Dh:0Ch and (0Bh:0Ah) - (0Fh:0Eh) into 0Bh:0Ah.
    const char* const withCarryX =
        " CLC\n MOV W,0Eh\n ADD 0Ch,W\n MOV W,0Fh\n ADD 0Dh,W\n"
        " STC\n MOV W,0Eh\n SUB 0Ah,W\n MOV W,0Fh\n SUB 0Bh,W\n";
    const char* const without =
        " MOV W,0Eh\n ADD 0Ch,W\n ADDB 0Dh,C\n MOV W,0Fh\n ADD 0Dh,W\n"
        " MOV W,0Eh\n SUB 0Ah,W\n SUBB 0Bh,/C\n MOV W,0Fh\n SUB 0Bh,W\n";
    const unsigned values[][2] = {{0x00FF, 0x0001}, {0xFFFF, 0x0001}, {0x1234, 0x0FCD}, {0x0000, 0x0001},
                                  {0x8000, 0x8000}, {0x0100, 0x00FF}};
    for (bool carryX : {true, false}) {
        for (const auto& v : values) {
            char head[200];
            std::snprintf(head, sizeof head,
                          "start MOV 0Ch,#%u\n MOV 0Dh,#%u\n MOV 0Ah,#%u\n MOV 0Bh,#%u\n MOV 0Eh,#%u\n MOV 0Fh,#%u\n",
                          v[0] & 0xFF, v[0] >> 8, v[0] & 0xFF, v[0] >> 8, v[1] & 0xFF, v[1] >> 8);
            Assembled program(*GetParam(), carryX ? ", CARRYX" : "", std::string(head) + (carryX ? withCarryX : without));
            ASSERT_TRUE(program.Run());
            SxCpu& cpu = program.cpu();
            EXPECT_EQ(cpu.config().carryX, carryX);
            const unsigned sum = cpu.Peek(0x0C) | cpu.Peek(0x0D) << 8;
            const unsigned difference = cpu.Peek(0x0A) | cpu.Peek(0x0B) << 8;
            EXPECT_EQ(sum, (v[0] + v[1]) & 0xFFFF) << std::hex << v[0] << "+" << v[1] << " carryX " << carryX;
            EXPECT_EQ(difference, (v[0] - v[1]) & 0xFFFF) << std::hex << v[0] << "-" << v[1] << " carryX " << carryX;
        }
    }
}

TEST_P(SxCpuProgram, IndirectFillOfEveryBank) {
    Assembled program(*GetParam(), "",
                      "start CLR FSR\n"
                      "fill SB FSR.4\n"
                      " SETB FSR.4\n"      // skip the globals
                      " MOV IND,FSR\n"     // each banked register gets its own address
                      " INCSZ FSR\n"
                      " JMP fill\n");
    ASSERT_TRUE(program.Run());
    for (int a = 0x10; a < 0x100; ++a)
        if (a & 0x10) {
            EXPECT_EQ(program.cpu().Peek(a), a) << std::hex << a;
        }
}

TEST_P(SxCpuProgram, LongCallAcrossPagesAndTableLookup) {
    Assembled program(*GetParam(), "",
                      "start MOV W,#2\n"
                      " LCALL lookup\n"
                      " MOV 0Ch,W\n"
                      " LSET done\n"       // done follows the table in page 1
                      " JMP done\n"
                      " ORG 200h\n"
                      "lookup JMP PC+W\n"
                      " RETW 'x', 'y', 'z'\n");
    ASSERT_TRUE(program.Run());
    EXPECT_EQ(program.cpu().Peek(0x0C), 'z');
    EXPECT_EQ(program.cpu().pc() & 0xE00, 0x200);
}

KORVID_BOTH_FAMILIES(SxCpuProgram);

}  // namespace
}  // namespace korvid::testing
