// Malformed sources of every kind end with a message and a span inside the
// text: random token soup and random bytes, both families (run under the
// sanitizers in the checked build).
#include <random>

#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

const char* const kVocabulary[] = {
    "MOV", "W", ",", "#", "1", "$", "%", "'A'", "'AB'", "(", ")", "+", "-", "\\", "\\0", "\\1", "mac",
    "REPT", "ENDR", "IF", "ELSE", "ENDIF", "IFDEF", "MACRO", "ENDM", "EXITM", "DW", "ORG", "=", "EQU",
    "x", ":l", "lab", "END", "ERROR", "WATCH", "UDEC", "DEVICE", "SYNC", "ID", "RESET", "FREQ", "CALL",
    "JMP", "@", "!", "RA", ".", "<<", "><", "NOT", "AND", "-W", ";c", "'", "?", "\t", "NOEXPAND", "CASE",
    "mov", "4294967296", "0FFh", "1011b", "CJE", "MOVB", "/", "++", "--", "LJMP", "BREAK", "DS", "3",
    "-2147483648", "//", "||", "~", "100000", "EXPAND", "RETW", "CLR", "!WDT", "M", "64", "65", "mac 1",
};

TEST(Robustness, RandomTokenSoup) {
    std::mt19937 rng(12345);
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        for (int round = 0; round < 1500; ++round) {
            std::string src;
            int lines = 1 + int(rng() % 25);
            for (int l = 0; l < lines; ++l) {
                int tokens = int(rng() % 6);
                if (rng() % 4 == 0) src += "mac MACRO";
                for (int t = 0; t < tokens; ++t) {
                    src += ' ';
                    src += kVocabulary[rng() % std::size(kVocabulary)];
                }
                src += '\n';
            }
            bool ok = a.Run(src);
            const AssemblyState& s = a.state();
            EXPECT_EQ(ok, s.ErrorFlag == 0);
            EXPECT_LE(s.ErrorStart, s.ErrorEnd) << src;
            EXPECT_LE(s.ErrorEnd, src.size()) << src;
            EXPECT_LE(s.ListLength, s.ListCapacity);
            if (!ok) {
                EXPECT_NE(std::string(s.ErrorMessage), "") << src;
            }
        }
    }
}

TEST(Robustness, RandomBytes) {
    std::mt19937 rng(777);
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        for (int round = 0; round < 500; ++round) {
            std::string src(1 + rng() % 200, ' ');
            for (char& c : src) {
                c = static_cast<char>(rng() % 256);
                if (c == 0) c = '\n';
            }
            a.Run(src);
            EXPECT_LE(a.state().ErrorEnd, src.size());
        }
    }
}

}  // namespace
}  // namespace korvid::test
