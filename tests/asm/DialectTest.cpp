// The extended dialect: each construct assembles to the words of its strict
// spelling, and the strict dialect rejects it with its usual message.
#include <string>

#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

enum Families : int { k28 = 1, k52 = 2, kBoth = 3 };

struct Case {
    int families;
    const char* extended;  // accepted by the extended dialect only
    const char* strict;    // the same program in the strict dialect
    const char* strictError;
};

const std::string kLong40 = "A123456789012345678901234567890123456789";

const Case kCases[] = {
    {k28, "DEVICE SX18\nNOP\n", "DEVICE SX18L\nNOP\n", "Expected a DEVICE parameter"},
    {k28, "DEVICE SX20\nNOP\n", "DEVICE SX18L\nNOP\n", "Expected a DEVICE parameter"},
    {k28, "DEVICE SX28, TURBO\nNOP\n", "DEVICE SX28L, TURBO\nNOP\n", "Expected a DEVICE parameter"},
    {k28, "DEVICE SX28AC\nNOP\n", "DEVICE SX28L\nNOP\n", "Expected a DEVICE parameter"},
    {k28, "DEVICE STACKX\nNOP\n", "DEVICE STACKX_OPTIONX\nNOP\n", "Expected a DEVICE parameter"},
    {k28, "DEVICE OPTIONX\nNOP\n", "DEVICE STACKX_OPTIONX\nNOP\n", "Expected a DEVICE parameter"},
    {k52, "DEVICE SX48, SX52BD\nNOP\n", "NOP\n", "Expected a DEVICE parameter"},
    {k52, "DEVICE SX52, STACKX, OPTIONX, TURBO\nNOP\n", "NOP\n", "Expected a DEVICE parameter"},
    {kBoth, "DEVICE BANKS8\nNOP\n", "NOP\n", "Expected a DEVICE parameter"},
    {kBoth, "DEVICE BOROFF\nNOP\n", "NOP\n", "Expected a DEVICE parameter"},
    {k52, "DEVICE WDRT006\nNOP\n", "DEVICE DRT60US\nNOP\n", "Expected a DEVICE parameter"},
    {k52, "DEVICE WDRT060\nNOP\n", "DEVICE DRT60MS\nNOP\n", "Expected a DEVICE parameter"},
    {k52, "DEVICE WDRT960\nNOP\n", "DEVICE DRT960MS\nNOP\n", "Expected a DEVICE parameter"},
    {k52, "DEVICE WDRT18\nNOP\n", "DEVICE DRT18MS\nNOP\n", "Expected a DEVICE parameter"},
    {kBoth, "IF 2 > 1 THEN\nNOP\nENDIF\n", "IF 2 > 1\nNOP\nENDIF\n", "Expected a binary operator or \")\""},
    {kBoth, "X EQU 1\nIFDEF X THEN\nNOP\nENDIF\nIFNDEF X then\nCLC\nENDIF\n", "X EQU 1\nIFDEF X\nNOP\nENDIF\n",
     "Expected end-of-line"},
    {kBoth, "IF 3 == 3\nNOP\nELSE\nCLC\nENDIF\n", "IF 3 = 3\nNOP\nELSE\nCLC\nENDIF\n", "Expected a constant, variable, unary operator, or \"(\""},
    {kBoth, "BANK #$20\nPAGE #$200\n", "BANK $20\nPAGE $200\n", "Expected a constant, variable, unary operator, or \"(\""},
    {kBoth, "loop: NOP\n:in: JMP loop\nJMP :in\n", "loop NOP\n:in JMP loop\nJMP :in\n", "Undefined symbol"},
};

class DialectCase : public ::testing::TestWithParam<Case> {};

TEST_P(DialectCase, ExtendedMatchesStrictSpelling) {
    const Case& c = GetParam();
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        if (!(c.families & (f->is52() ? k52 : k28))) continue;
        SCOPED_TRACE(std::string(f->title) + ": " + c.extended);
        Assembly strict(*f, Dialect::Strict);
        EXPECT_FALSE(strict.Run(c.extended));
        EXPECT_EQ(strict.message(), c.strictError);

        Assembly reference(*f, Dialect::Strict);
        ASSERT_TRUE(reference.Run(c.strict)) << reference.message();
        Assembly extended(*f, Dialect::Extended);
        ASSERT_TRUE(extended.Run(c.extended)) << extended.message() << " at " << extended.span();
        EXPECT_EQ(extended.words(), reference.words());
        EXPECT_EQ(extended.word(kFuseIndex), reference.word(kFuseIndex));
        EXPECT_EQ(extended.word(kExtFuseIndex), reference.word(kExtFuseIndex));
    }
}

INSTANTIATE_TEST_SUITE_P(Constructs, DialectCase, ::testing::ValuesIn(kCases));

TEST(Dialect, LongNamesComparedInFull) {
    // Two names that differ only after the 32nd character.
    const std::string a = kLong40 + "X", b = kLong40 + "Y";
    const std::string src = a + " EQU 1\n" + b + " EQU 2\nDW " + a + ", " + b + "\n";
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        Assembly strict(*f, Dialect::Strict);
        EXPECT_FALSE(strict.Run(src));
        EXPECT_EQ(strict.message(), "Symbol exceeds 32 characters");
        Assembly extended(*f, Dialect::Extended);
        ASSERT_TRUE(extended.Run(src)) << extended.message();
        EXPECT_EQ(extended.words(), (std::vector<int>{1, 2}));
        Assembly tooLong(*f, Dialect::Extended);
        EXPECT_FALSE(tooLong.Run(std::string(65, 'N') + " EQU 1\n"));
        EXPECT_EQ(tooLong.message(), "Symbol exceeds 64 characters");
    }
}

TEST(Dialect, ExtendedDeviceWordsKeepTheRedundancyCheck) {
    Assembly a(Sx28lFamily(), Dialect::Extended);
    EXPECT_FALSE(a.Run("DEVICE SX28, SX28L\nNOP\n"));
    EXPECT_EQ(a.message(), "Redundant DEVICE parameter");
    Assembly b(Sx52Family(), Dialect::Extended);
    EXPECT_FALSE(b.Run("DEVICE WDRT18, DRT60MS\nNOP\n"));
    EXPECT_EQ(b.message(), "Redundant DEVICE parameter");
}

TEST(Dialect, IfdefOfAssignedSymbolAndBreakOperand) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        SCOPED_TRACE(std::string(f->title));
        const std::string ifdef = "V = 1\nIFDEF V\nNOP\nENDIF\nIFNDEF V\nCLC\nENDIF\n";
        Assembly strict(*f, Dialect::Strict);
        EXPECT_FALSE(strict.Run(ifdef));
        EXPECT_EQ(strict.span(), "V");
        Assembly extended(*f, Dialect::Extended);
        ASSERT_TRUE(extended.Run(ifdef)) << extended.message();
        EXPECT_EQ(extended.words(), (std::vector<int>{0x000}));

        const std::string brk = "NOP\nBREAK there\nNOP\nthere NOP\n";
        Assembly strictBreak(*f, Dialect::Strict);
        EXPECT_FALSE(strictBreak.Run(brk));
        EXPECT_EQ(strictBreak.message(), "Expected end-of-line");
        Assembly extBreak(*f, Dialect::Extended);
        ASSERT_TRUE(extBreak.Run(brk)) << extBreak.message();
        EXPECT_EQ(extBreak.state().BreakAddress, 2);
        Assembly plainBreak(*f, Dialect::Extended);
        ASSERT_TRUE(plainBreak.Run("NOP\nBREAK\nNOP\n"));
        EXPECT_EQ(plainBreak.state().BreakAddress, 1);
    }
}

}  // namespace
}  // namespace korvid::test
