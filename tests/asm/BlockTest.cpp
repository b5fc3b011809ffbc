// IF blocks, REPT repetition and macros.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

struct BlockCase {
    const char* source;
    std::vector<int> words;
};

void ExpectBlocks(const BlockCase* cases, std::size_t n) {
    for (const Family* f : kFamilies)
        for (std::size_t i = 0; i < n; ++i) {
            Assembly a(*f);
            ASSERT_TRUE(a.Run(cases[i].source)) << f->title << ": " << cases[i].source << ": " << a.message()
                                                << " [" << a.span() << "]";
            EXPECT_EQ(a.words(), cases[i].words) << f->title << ": " << cases[i].source;
        }
}

TEST(Block, Conditionals) {
    const BlockCase cases[] = {
        {" IF 0\n DW 1\n ELSE\n DW 2\n ENDIF\n", {2}},
        {" IF 1\n DW 1\n ELSE\n DW 2\n ELSE\n DW 3\n ENDIF\n", {1, 3}},
        {" IF 1\n IF 0\n DW 1\n ELSE\n DW 2\n ENDIF\n DW 3\n ENDIF\n", {2, 3}},
        {" IF 0\n IF 1\n DW 1\n ELSE\n DW 2\n ENDIF\n ELSE\n DW 3\n ENDIF\n", {3}},
        {" IF 0\n IF 1\n ELSE\n ELSE\n DW 9\n ENDIF\n ENDIF\n DW 4\n", {4}},
        {"lab NOP\n IFDEF lab\n DW 1\n ENDIF\n IFNDEF lab\n DW 2\n ENDIF\n", {0, 1}},
        {" IFDEF RA\n DW 1\n ENDIF\n IFDEF 5\n DW 2\n ENDIF\n IFNDEF nothing\n DW 3\n ENDIF\n", {1, 2, 3}},
        {"x = 3\n IF x = 3 AND NOT x = 4\n DW 1\n ENDIF\n", {1}},
        {" IF 0\n mac 1,2,3 this is never looked at\n lab EQU ?\n", {}},
    };
    // The last case is not closed: an unterminated block is an error.
    ExpectBlocks(cases, std::size(cases) - 1);
    Assembly a(Sx28lFamily());
    EXPECT_FALSE(a.Run(cases[std::size(cases) - 1].source));
    EXPECT_EQ(a.message(), "Unrecognized character");  // scanned although skipped
    EXPECT_TRUE(a.Run(" IF 0\n mac 1,2,3 never looked up\n ERROR 'not raised'\n ENDIF\n")) << a.message();
}

TEST(Block, Repetition) {
    const BlockCase cases[] = {
        {" REPT 3\n DW %\n ENDR\n", {1, 2, 3}},
        {" REPT 2\n REPT 3\n DW %\n ENDR\n DW %+10h\n ENDR\n", {1, 2, 3, 0x11, 1, 2, 3, 0x12}},
        {"n = 0\n REPT 4\nn = n + 2\n ENDR\n DW n, %\n", {8, 0}},
        {" REPT 2 ; comment after the count\n NOP ; and here\n ENDR\n", {0, 0}},
        {" REPT 2\n IF % = 2\n DW 7\n ENDIF\n ENDR\n", {7}},
        {" REPT 100000\n ENDR\n", {}},
        {" REPT 60000\n ENDR\n REPT 40000\n ENDR\n", {}},
    };
    ExpectBlocks(cases, std::size(cases));
    std::string nested;
    for (int i = 0; i < 32; ++i) nested += " REPT 1\n";
    nested += " NOP\n";
    for (int i = 0; i < 32; ++i) nested += " ENDR\n";
    Assembly a(Sx52Family());
    EXPECT_TRUE(a.Run(nested)) << a.message();
    EXPECT_EQ(a.words(), (std::vector<int>{0}));
}

TEST(Block, Macros) {
    const BlockCase cases[] = {
        // Value arguments, "\0" and any number of arguments.
        {"two MACRO 2\n DW \\1,\\2\n ENDM\n two 5,6\n two 1+1,later\nlater NOP\n", {5, 6, 2, 4, 0}},
        {"cnt MACRO\n DW \\0\n ENDM\n cnt\n cnt 1\n cnt 1,2,3\n", {0, 1, 3}},
        {"none MACRO 0\n NOP\n ENDM\n none\n", {0}},
        {"neg MACRO 1\n DW -\\1, \\(0+1)\n ENDM\n neg 3\n", {0xFFD, 3}},
        // Local labels are distinct in every call; labels before calls.
        {"loop MACRO\n:l DJNZ 8,:l\n ENDM\n loop\nat loop\n JMP at\n", {0x2E8, 0xA00, 0x2E8, 0xA02, 0xA02}},
        // The caller's global label is back after the call.
        {"mac MACRO\n:x NOP\n ENDM\nlab NOP\n mac\n:x JMP :x\n", {0, 0, 0xA02}},
        // EXITM leaves early; nesting passes arguments on.
        {"early MACRO 1\n DW 1\n IF \\1\n EXITM\n ENDIF\n DW 2\n ENDM\n early 0\n early 1\n ENDIF\n", {1, 2, 1}},
        {"inner MACRO 1\n DW \\1*2\n ENDM\nouter MACRO 1\n inner \\1+1\n DW \\1\n ENDM\n outer 3\n", {8, 3}},
        // Recursion.
        {"down MACRO 1\n DW \\1\n IF \\1 > 1\n down \\1-1\n ENDIF\n ENDM\n down 4\n", {4, 3, 2, 1}},
        // A macro inside REPT, REPT inside a macro.
        {"one MACRO 1\n DW \\1\n ENDM\n REPT 3\n one %\n ENDR\n", {1, 2, 3}},
        {"rep MACRO 1\n REPT \\1\n DW %\n ENDR\n ENDM\n rep 2\n rep 1\n", {1, 2, 1}},
        // Code after the definition follows; macro lines are skipped unchecked.
        {"skp MACRO\n NOP 1 2 3\n ENDM\n DW 9\n", {9}},
    };
    ExpectBlocks(cases, std::size(cases));
}

TEST(Block, MacroErrorsNeedACall) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        // A plain label inside the body is defined twice by two calls.
        EXPECT_FALSE(a.Run("mac MACRO\nhere NOP\n ENDM\n mac\n mac\n"));
        EXPECT_EQ(a.message(), "Label is already defined");
        // A call with arguments before the definition is taken as a label.
        EXPECT_FALSE(a.Run(" later 1\nlater MACRO\n ENDM\n"));
        EXPECT_EQ(a.message(), "Expected a label, directive, or instruction");
    }
}

}  // namespace
}  // namespace korvid::test

namespace korvid::test {
namespace {

// Guards against runaway sources: the number of macro calls per pass and
// the reach of a macro body offset are bounded.
TEST(Block, MacroLimits) {
    std::string src = " NOEXPAND\na0 MACRO\n ENDM\n";
    char line[32];
    for (int level = 1; level <= 6; ++level) {
        std::snprintf(line, sizeof line, "a%d MACRO\n", level);
        src += line;
        std::snprintf(line, sizeof line, " a%d\n", level - 1);
        for (int i = 0; i < 10; ++i) src += line;
        src += " ENDM\n";
    }
    Assembly a(Sx28lFamily());
    EXPECT_FALSE(a.Run(src + " a6\n"));  // 1,111,111 calls
    EXPECT_EQ(a.message(), "Limit of 1,048,576 total MACRO calls exceeded");
    EXPECT_TRUE(a.Run(src + " a5\n a5\n")) << a.message();  // 222,222 calls

    // A long line repeated many times (not listed: inside an expansion
    // under NOEXPAND) stops at the scanning limit instead of running on.
    Assembly slow(Sx28lFamily());
    EXPECT_FALSE(slow.Run("rep MACRO\n REPT 100000\n;" + std::string(20000, 'x') +
                          "\n ENDR\n ENDM\n NOEXPAND\n rep\n"));
    EXPECT_EQ(slow.message(), "Limit of 256 MB of source lines per pass exceeded");

    Assembly far(Sx28lFamily());
    EXPECT_FALSE(far.Run(std::string(0x1000000, ' ') + "mac MACRO\n ENDM\n"));
    EXPECT_EQ(far.message(), "MACRO definition lies beyond 16 MB of source text");
}

}  // namespace
}  // namespace korvid::test
