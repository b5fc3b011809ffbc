// The list text, its line maps and AddressLine.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

std::vector<std::string> ListLines(const Assembly& a) {
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < a.state().ListLineCount; ++i) out.push_back(a.listLine(i));
    return out;
}

using Lines = std::vector<std::string>;

TEST(Listing, LineLayouts) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" MOV W,#1\n\n; note\nx EQU 5\n ORG 10h\n MOV 8,#2\n DW 1,2,3,4,5\nlab\n"
                          "v = -1\n\tNOP")) << a.message();
        const Lines expected = {
            "000- C01\t MOV W,#1",
            "",
            "\t\t; note",
            "=00000005\tx EQU 5",
            "010-\t\t ORG 10h",
            "010- C02 028\t MOV 8,#2",
            "012- 001 002\t DW 1,2,3,4,5",
            "014- 003 004",
            "016- 005",
            "017-\t\tlab",
            "=FFFFFFFF\tv = -1",
            "017- 000\t\tNOP",
            "",  // the end-of-text entry
        };
        EXPECT_EQ(ListLines(a), expected) << f->title;
        // A last line without CR gets one; the text is CR-only.
        EXPECT_EQ(a.list().back(), '\r');
        EXPECT_EQ(a.list().find('\n'), std::string::npos);
    }
}

TEST(Listing, LineMaps) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        const std::string src = " NOP\n DW 1,2,3\n; c\n JMP 0\n";
        ASSERT_TRUE(a.Run(src)) << a.message();
        const AssemblyState& s = a.state();
        // Entries: NOP, DW, DW continuation, comment, JMP, end of text.
        ASSERT_EQ(s.ListLineCount, 6u);
        const std::uint32_t sources[] = {0, 5, 5, 15, 19, 26};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(s.ListLineSource[i], sources[i]) << i;
        EXPECT_EQ(s.ListLineOffset[0], 0u);
        EXPECT_EQ(s.ListLineOffset[5], s.ListLength);
        const std::int32_t lines[] = {0, 1, 1, 1, 4, -1};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(s.AddressLine[i], lines[i]) << i;
        EXPECT_EQ(s.AddressLine[kProgramWords - 1], -1);
    }
}

TEST(Listing, RepeatedLines) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" REPT 3\n NOP\n ENDR\n")) << a.message();
        const Lines expected = {"\t\t REPT 3", "000- 000\t NOP", "001- 000\t NOP", "002- 000\t NOP", "\t\t ENDR", ""};
        EXPECT_EQ(ListLines(a), expected);
        EXPECT_EQ(a.state().AddressLine[2], 3);
    }
}

TEST(Listing, MacroExpansion) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        const std::string def = "pair MACRO\n NOP\nx = 1\n DW 7,8,9\n ENDM\n";
        ASSERT_TRUE(a.Run(def + " pair\n")) << a.message();
        const Lines expanded = {"\t\tpair MACRO", "\t\t NOP",       "\t\tx = 1",        "\t\t DW 7,8,9",
                                "\t\t ENDM",      "000-\t\t pair",  "000- 000\t NOP",  "=00000001\tx = 1",
                                "001- 007 008\t DW 7,8,9",          "003- 009",        ""};
        EXPECT_EQ(ListLines(a), expanded);

        // NOEXPAND: the calling line, then only the words of the body.
        ASSERT_TRUE(a.Run(def + " NOEXPAND\n pair\n EXPAND\n pair\n")) << a.message();
        const Lines quiet = {"\t\tpair MACRO", "\t\t NOP",      "\t\tx = 1",      "\t\t DW 7,8,9",
                             "\t\t ENDM",      "\t\t NOEXPAND", "000-\t\t pair", "000- 000\t",
                             "001- 007 008\t", "003- 009",      "\t\t EXPAND",   "004-\t\t pair",
                             "004- 000\t NOP", "=00000001\tx = 1",  "005- 007 008\t DW 7,8,9", "007- 009", ""};
        EXPECT_EQ(ListLines(a), quiet);
        // The debugger still finds the body line of each word.
        EXPECT_EQ(a.state().AddressLine[0], 7);
        EXPECT_EQ(a.state().AddressLine[3], 8);
    }
}

TEST(Listing, OnlyPassTwoSurvivesAFailure) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        // The error shows in pass 2 only (WATCH is read in pass 2).
        ASSERT_FALSE(a.Run(" NOP\n NOP\n WATCH 8,0,UDEC\n NOP\n"));
        EXPECT_EQ(a.message(), "Expected a value from 1 to 32");
        EXPECT_EQ(ListLines(a), (Lines{"000- 000\t NOP", "001- 000\t NOP"}));
    }
}

TEST(Listing, TabsCountTowardsTheColumn) {
    Assembly a(Sx28lFamily());
    ASSERT_TRUE(a.Run(" CSE 8,9\n")) << a.message();
    EXPECT_EQ(ListLines(a), (Lines{"000- 209 088\t CSE 8,9", "002- 743", ""}));
}

}  // namespace
}  // namespace korvid::test
