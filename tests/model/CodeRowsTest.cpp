#include "model/CodeRows.h"

#include <gtest/gtest.h>

#include <memory>

namespace korvid {
namespace {

TEST(CodeRows, RowCountAndScrollBar) {
    struct Case {
        int height, rowHeight;
        std::uint32_t lines;
        int rows;
        bool bar;
        int maximum;
    } cases[] = {
        {240, 10, 100, 24, true, 75}, {245, 10, 100, 24, true, 75}, {240, 10, 25, 24, false, 0},
        {240, 10, 26, 24, true, 1},   {240, 10, 10, 9, false, 0},   {5, 10, 100, 0, false, 99},
        {99999, 1, 5000, 1000, true, 3999}, {240, 10, 0, 0, false, 0}, {240, 0, 100, 0, false, 99},
    };
    for (const Case& c : cases) {
        int rows = CodeRowCount(c.height, c.rowHeight, c.lines);
        EXPECT_EQ(rows, c.rows) << c.height << " " << c.lines;
        EXPECT_EQ(CodeScrollBarShown(rows, c.lines), c.bar) << c.height << " " << c.lines;
        EXPECT_EQ(CodeScrollMaximum(rows, c.lines), c.maximum);
    }
}

TEST(CodeRows, ScrollToTheCurrentLine) {
    struct Case {
        int position, line, rows;
        std::uint32_t lines;
        int expect;
    } cases[] = {
        {0, -1, 24, 100, 0},  {30, -1, 24, 100, 30},   // no line: unchanged
        {0, 5, 24, 100, 0},   {0, 17, 24, 100, 0},     {0, 18, 24, 100, 1},
        {50, 40, 24, 100, 34}, {50, 56, 24, 100, 50},  {50, 80, 24, 100, 63},
        {0, 99, 24, 100, 75}, {0, 3, 4, 5, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodeScrollToLine(c.position, c.line, c.rows, c.lines), c.expect) << c.position << " " << c.line;
    EXPECT_EQ(CodeWheelStep(24), 4);
    EXPECT_EQ(CodeWheelStep(7), 1);
}

TEST(CodeRows, LinesOfThePcAndTheBreakpoint) {
    auto s = std::make_unique<AssemblyState>(Sx28lFamily());
    // Line 3 produced words 0 and 1, line 5 word 2, line 7 the last word of
    // a 512-word part.
    s->AddressLine[0] = 3;
    s->AddressLine[1] = 3;
    s->AddressLine[2] = 5;
    s->AddressLine[511] = 7;
    s->AddressLine[1000] = 9;  // beyond the program size
    EXPECT_EQ(CodeLineAddress(*s, 3, 512), 0);
    EXPECT_EQ(CodeLineAddress(*s, 5, 512), 2);
    EXPECT_EQ(CodeLineAddress(*s, 4, 512), -1);
    EXPECT_EQ(CodeLineAddress(*s, 9, 512), -1);
    EXPECT_EQ(CodeLineAddress(*s, 9, 2048), 1000);
    EXPECT_EQ(CodeLineAddress(*s, -1, 512), -1);
    EXPECT_EQ(CodeCurrentLine(*s, 1, false, 512), 3);
    EXPECT_EQ(CodeCurrentLine(*s, 1, true, 512), 5);
    EXPECT_EQ(CodeCurrentLine(*s, 511, true, 512), 3);  // wraps to 0
    EXPECT_EQ(CodeBreakpointLine(*s, 2, 512), 5);
    EXPECT_EQ(CodeBreakpointLine(*s, 4096, 512), -1);
    EXPECT_EQ(CodeBreakpointLine(*s, 1000, 512), -1);
    EXPECT_EQ(CodeStyleOf(5, 5, 5), CodeRowStyle::Both);
    EXPECT_EQ(CodeStyleOf(5, 5, -1), CodeRowStyle::Current);
    EXPECT_EQ(CodeStyleOf(5, 3, 5), CodeRowStyle::Breakpoint);
    EXPECT_EQ(CodeStyleOf(-1, -1, -1), CodeRowStyle::Plain);
}

}  // namespace
}  // namespace korvid
