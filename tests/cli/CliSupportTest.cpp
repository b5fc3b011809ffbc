#include <gtest/gtest.h>

#include "apps/korvid/CliSupport.h"

namespace korvid::cli {
namespace {

TEST(NormalizeSource, LineEndsAndControlBytes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a\r\nb\r\n", "a\rb\r"},
        {"a\nb\n", "a\rb\r"},            // bare LF line ends are kept as lines
        {"a\rb", "a\rb"},
        {"a\r\n\r\nb", "a\r\rb"},
        {"x\ty\x01\x1f\x7f\xe9", "x\ty\x7f\xe9"},  // TAB, DEL and high bytes stay
        {std::string("n\0m", 3), "nm"},
        {"\n\r\n\r", "\r\r\r"},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        NormalizeSource(text);
        EXPECT_EQ(text, c.out);
    }
}

TEST(PositionOf, LinesAndColumnsAreOneBased) {
    const std::string text = "ab\r\tcd\r\rx";
    EXPECT_EQ(PositionOf(text, 0).line, 1);
    EXPECT_EQ(PositionOf(text, 0).column, 1);
    EXPECT_EQ(PositionOf(text, 1).column, 2);
    EXPECT_EQ(PositionOf(text, 3).line, 2);
    EXPECT_EQ(PositionOf(text, 5).column, 3);  // a TAB counts as one column
    EXPECT_EQ(PositionOf(text, 8).line, 4);
    EXPECT_EQ(PositionOf(text, 999).line, 4);  // past the end: clamped
}

TEST(Options, ValuesFlagsAndOperandsInAnyOrder) {
    Options o({"-o", "out.sxh", "prog.src", "--family=52", "--run"}, {"-o", "--family"}, {"--run"});
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_EQ(o.Value("-o").value_or(""), "out.sxh");
    EXPECT_EQ(o.Value("--family").value_or(""), "52");
    EXPECT_TRUE(o.Flag("--run"));
    ASSERT_EQ(o.Operands().size(), 1u);
    EXPECT_EQ(o.Operands()[0], "prog.src");
    EXPECT_FALSE(Options({"--bogus"}, {}).ok());
    EXPECT_FALSE(Options({"-o"}, {"-o"}).ok());
}

TEST(IsHexFileName, Extensions) {
    EXPECT_TRUE(IsHexFileName("a.sxh"));
    EXPECT_TRUE(IsHexFileName("dir/A.SXH"));
    EXPECT_TRUE(IsHexFileName("a.hex"));
    EXPECT_TRUE(IsHexFileName("a.OBJ"));
    EXPECT_FALSE(IsHexFileName("a.src"));
    EXPECT_FALSE(IsHexFileName("dir.sxh/a"));
    EXPECT_FALSE(IsHexFileName("noext"));
}

}  // namespace
}  // namespace korvid::cli
