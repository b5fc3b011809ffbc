// Numbers, characters, strings and operators of the expression reader.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

struct ValueCase {
    const char* expr;
    std::int64_t value;
};

TEST(Expression, NumbersInEveryBaseAndForm) {
    const ValueCase cases[] = {
        {"400_000", 400000}, {"$1_0", 16},        {"%10_01", 9},      {"10b", 2},
        {"10h", 16},         {"1Bh", 27},         {"0FFh", 255},      {"1011b", 11},
        {"12", 12},          {"$FF", 255},        {"%1010_0101", 0xA5}, {"4294967295", -1},
        {"0abch", 0xABC},    {"0B", 0},           {"$ffffFFFF", -1},  {"0000000000000000000000000000000000000000000000000000000000000007", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueOf(c.expr), c.value) << c.expr;
}

TEST(Expression, CharactersAndDollarAndPercent) {
    EXPECT_EQ(ValueOf("'A'"), 65);
    EXPECT_EQ(ValueOf("' '"), 32);
    EXPECT_EQ(ValueOf("'A'+1"), 66);
    // "$" is the address of the line, "%" the REPT iteration (0 outside).
    Assembly a(Sx28lFamily());
    ASSERT_TRUE(a.Run(" ORG 20h\n DW $,$+1\n DW %\n REPT 2\n DW %\n ENDR\n")) << a.message();
    EXPECT_EQ(a.words(0x20), (std::vector<int>{0x20, 0x21, 0, 1, 2}));
}

TEST(Expression, OrderOfEvaluation) {
    const ValueCase cases[] = {
        {"2+3*4", 20},           {"(2+3)*4", 20},        {"2+(3*4)", 14},      {"-2*3", -6},
        {"1<<4+1", 17},          {"5 = 5 AND 1 < 2", -1}, {"NOT 0", -1},        {"NOT 3", 0},
        {"NOT NOT 3", -1},       {"NOT 1+1 = 2", 0},      {"1 < 2 = -1", -1},   {"-(-1)", 1},            {"~0", -1},           {"+5", 5},
        {"||-5", 5},             {"|| 5", 5},             {"1 OR 0 AND 0", 0},  {"(1 OR 0) AND 0", 0},
        {"1 OR (0 AND 0)", -1},  {"2 XOR 3", 0},          {"0 XOR 3", -1},      {"(NOT 0) + 1", 0},
        {"((((1))))", 1},        {"3 < = 4", -1},         {"3 > = 4", 0},       {"6 < > 6", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueOf(c.expr), c.value) << c.expr;
}

TEST(Expression, EveryOperator) {
    const ValueCase cases[] = {
        {"12 & 10", 8},          {"12 | 3", 15},          {"12 ^ 10", 6},        {"7 - 9", -2},
        {"65536 * 65536", 0},    {"7/0", 7},              {"-7/2", -3},          {"-7//2", -1},
        {"7//0", 0},             {"7//-2", 1},            {"1 << 31", INT32_MIN}, {"-8 >> 1", -4},
        {"1011b >< 4", 0xD},     {"1 >< 1", 1},           {"6 >< 3", 3},         {"RA.3", 0x305},
        {"123h.9", 0x123},      {"3 <= 3", -1},          {"4 >= 5", 0},         {"5 = 6", 0},
        {"5 <> 6", -1},          {"-1 < 0", -1},          {"-1 > 0", 0},         {"2 AND 4", -1},
        {"0 OR 0", 0},           {"C", 3},                {"PA2", 0x703},        {"WREG", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueOf(c.expr), c.value) << c.expr;
}

// Results that would be undefined in plain 32-bit arithmetic are fixed.
TEST(Expression, DefinedResultsAtTheEdges) {
    const ValueCase cases[] = {
        {"-2147483648 / -1", INT32_MIN}, {"-2147483648 // -1", 0},   {"1 << 32", 0},
        {"1 << 100", 0},                 {"-1 >> 32", -1},           {"5 >> 40", 0},
        {"1 << -1", 0},                  {"-5 >> -1", -1},           {"123 >< 0", 0},
        {"1 >< 32", INT32_MIN},          {"1 >< 33", 0},             {"3 >< 33", INT32_MIN},
        {"-1 >< 64", 0},                 {"-1 >< 1000", 0},          {"||-2147483648", INT32_MIN},
        {"-2147483648 * -1", INT32_MIN}, {"2147483647 + 1", INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueOf(c.expr), c.value) << c.expr;
}

TEST(Expression, CaseSwitch) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        // Under CASE, "mov" is an undefined symbol (a new label), so the
        // line does not parse as an instruction.
        ASSERT_FALSE(a.Run(" CASE\n mov W,#1\n"));
        EXPECT_EQ(a.message(), "Expected a label, directive, or instruction");
        ASSERT_TRUE(a.Run(" CASE\nstart NOP\nSTART NOP\n JMP start\n JMP START\n NOCASE\n jmp Start\n"))
            << a.message();
        EXPECT_EQ(a.words(), (std::vector<int>{0x000, 0x000, 0xA00, 0xA01, 0xA01}));
        EXPECT_FALSE(a.Run("start NOP\nSTART NOP\n"));
        EXPECT_EQ(a.message(), "Label is already defined");
    }
}

TEST(Expression, StringsReadAsCharacterLists) {
    Assembly a(Sx28lFamily());
    ASSERT_TRUE(a.Run(" DW 'AB',0\n DW 'x'\n RETW 'hi'\n")) << a.message();
    EXPECT_EQ(a.words(), (std::vector<int>{65, 66, 0, 'x', 0x800 | 'h', 0x800 | 'i'}));
}

}  // namespace
}  // namespace korvid::test
