// The extended dialect: each construct assembles to the words of its strict
// spelling, and the strict dialect rejects it with its usual message.
#include <iterator>
#include <string>
#include <vector>

#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

enum Families : int { k28 = 1, k52 = 2, kBoth = 3 };

struct Case {
    int families;
    std::string extended;  // accepted by the extended dialect only
    std::string strict;    // the same program in the strict dialect
    std::string strictError;
};

const std::string kLong40 = "A123456789012345678901234567890123456789";

// DEVICE words of the extended dialect beside their strict spelling ("":
// no DEVICE line at all, the word sets nothing). The strict dialect refuses
// each with "Expected a DEVICE parameter".
struct DeviceWord {
    int families;
    const char* extended;
    const char* strict;
};

const DeviceWord kDeviceWords[] = {
    {k28, "SX18", "SX18L"}, {k28, "SX20", "SX18L"}, {k28, "SX28, TURBO", "SX28L, TURBO"}, {k28, "SX28AC", "SX28L"},
    {k28, "STACKX", "STACKX_OPTIONX"}, {k28, "OPTIONX", "STACKX_OPTIONX"},
    {k28, "STACKX, OPTIONX, TURBO", "STACKX_OPTIONX, TURBO"}, {k52, "SX48, SX52BD", ""},
    {k52, "SX52, STACKX, OPTIONX, TURBO", ""}, {kBoth, "BANKS8", ""}, {kBoth, "BOROFF", ""},
    {k52, "WDRT006", "DRT60US"}, {k52, "WDRT060", "DRT60MS"}, {k52, "WDRT960", "DRT960MS"}, {k52, "WDRT18", "DRT18MS"},
};

const Case kOtherCases[] = {
    {k28, "DEVICE SX28\nDEVICE OPTIONX\nDEVICE STACKX\nNOP\n", "DEVICE SX28L, STACKX_OPTIONX\nNOP\n",
     "Expected a DEVICE parameter"},
    {kBoth, "IF 2 > 1 THEN\nNOP\nENDIF\n", "IF 2 > 1\nNOP\nENDIF\n", "Expected a binary operator or \")\""},
    {kBoth, "X EQU 1\nIFDEF X THEN\nNOP\nENDIF\nIFNDEF X then\nCLC\nENDIF\n", "X EQU 1\nIFDEF X\nNOP\nENDIF\n",
     "Expected end-of-line"},
    {kBoth, "IF 3 == 3\nNOP\nELSE\nCLC\nENDIF\n", "IF 3 = 3\nNOP\nELSE\nCLC\nENDIF\n", "Expected a constant, variable, unary operator, or \"(\""},
    {kBoth, "BANK #$20\nPAGE #$200\n", "BANK $20\nPAGE $200\n", "Expected a constant, variable, unary operator, or \"(\""},
    {kBoth, "loop: NOP\n:in: JMP loop\nJMP :in\n", "loop NOP\n:in JMP loop\nJMP :in\n", "Undefined symbol"},
    {kBoth, "IRC_CAL IRC_4MHZ\nNOP\n", "NOP\n", "Expected a label, directive, or instruction"},
    // Named parameters: by name and by number, \0 the count; names inside
    // longer names and strings stay what they are.
    {kBoth, "sum MACRO a, b\nDW a, \\2, \\0, b\nENDM\nsum 1, 2\n", "sum MACRO 2\nDW \\1, \\2, \\0, \\2\nENDM\nsum 1, 2\n",
     "Undefined symbol"},
    {kBoth, "ab = 7\nba = 8\nput MACRO a, b\nDW ab, ba, 'ab', a\nENDM\nput 1, 2\n", "ab = 7\nba = 8\nDW 7, 8, 'ab', 1\n",
     "Undefined symbol"},
    // Registers and other symbols may name parameters; a call inside a
    // body passes the caller's parameter on.
    {kBoth, "one MACRO c, z\nDW c + z\nENDM\ntwo MACRO x\none x, 1\nDW x\nENDM\ntwo 5\n", "DW 6, 5\n",
     "Expected end-of-line"},
};

// One source assembled in the strict and in the extended dialect.
struct BothDialects {
    BothDialects(const Family& family, const std::string& source)
        : strict(family, Dialect::Strict), extended(family, Dialect::Extended), strictOk(strict.Run(source)),
          extendedOk(extended.Run(source)) {}
    Assembly strict, extended;
    bool strictOk, extendedOk;
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

// The DEVICE words as whole programs, then the other constructs.
std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const DeviceWord& w : kDeviceWords) {
        const std::string strict = *w.strict ? std::string("DEVICE ") + w.strict + "\n" : "";
        cases.push_back({w.families, std::string("DEVICE ") + w.extended + "\nNOP\n", strict + "NOP\n",
                         "Expected a DEVICE parameter"});
    }
    cases.insert(cases.end(), std::begin(kOtherCases), std::end(kOtherCases));
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Constructs, DialectCase, ::testing::ValuesIn(AllCases()));

TEST(Dialect, LongNamesComparedInFull) {
    // Two names that differ only after the 32nd character.
    const std::string a = kLong40 + "X", b = kLong40 + "Y";
    const std::string src = a + " EQU 1\n" + b + " EQU 2\nDW " + a + ", " + b + "\n";
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        const BothDialects both(*f, src);
        EXPECT_FALSE(both.strictOk);
        EXPECT_EQ(both.strict.message(), "Symbol exceeds 32 characters");
        ASSERT_TRUE(both.extendedOk) << both.extended.message();
        EXPECT_EQ(both.extended.words(), (std::vector<int>{1, 2}));
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
        const BothDialects ifdef(*f, "V = 1\nIFDEF V\nNOP\nENDIF\nIFNDEF V\nCLC\nENDIF\n");
        EXPECT_FALSE(ifdef.strictOk);
        EXPECT_EQ(ifdef.strict.span(), "V");
        ASSERT_TRUE(ifdef.extendedOk) << ifdef.extended.message();
        EXPECT_EQ(ifdef.extended.words(), (std::vector<int>{0x000}));

        const BothDialects brk(*f, "NOP\nBREAK there\nNOP\nthere NOP\n");
        EXPECT_FALSE(brk.strictOk);
        EXPECT_EQ(brk.strict.message(), "Expected end-of-line");
        ASSERT_TRUE(brk.extendedOk) << brk.extended.message();
        EXPECT_EQ(brk.extended.state().BreakAddress, 2);
        Assembly plainBreak(*f, Dialect::Extended);
        ASSERT_TRUE(plainBreak.Run("NOP\nBREAK\nNOP\n"));
        EXPECT_EQ(plainBreak.state().BreakAddress, 1);
    }
}

TEST(Dialect, IrcCalIsRecordedWithTheDeviceImage) {
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        SCOPED_TRACE(std::string(f->title));
        struct Word {
            const char* word;
            IrcMode mode;
        };
        for (const Word& c : {Word{"IRC_SLOW", IrcMode::Slowest}, Word{"irc_4mhz", IrcMode::FourMhz},
                              Word{"IRC_FAST", IrcMode::Fastest}}) {
            Assembly a(*f, Dialect::Extended);
            ASSERT_TRUE(a.Run(std::string("IRC_CAL ") + c.word + "\nNOP\n")) << a.message();
            EXPECT_EQ(a.state().IrcCalibration, c.mode) << c.word;
            // A failed assembly keeps the choice that goes with the device image.
            EXPECT_FALSE(a.Run("IRC_CAL IRC_FAST\nJMP nowhere\n"));
            EXPECT_EQ(a.state().IrcCalibration, c.mode) << c.word;
            ASSERT_TRUE(a.Run("NOP\n"));
            EXPECT_FALSE(a.state().IrcCalibration.has_value());
        }
        struct Bad {
            const char* source;
            const char* message;
        };
        for (const Bad& c : {Bad{"IRC_CAL\n", "Expected IRC_SLOW, IRC_FAST, or IRC_4MHZ"},
                             Bad{"IRC_CAL 1\n", "Expected IRC_SLOW, IRC_FAST, or IRC_4MHZ"},
                             Bad{"IRC_CAL IRC_FAST, IRC_SLOW\n", "Expected end-of-line"},
                             Bad{"here IRC_CAL IRC_FAST\n", "This directive cannot be preceeded by a symbol"}}) {
            Assembly a(*f, Dialect::Extended);
            EXPECT_FALSE(a.Run(c.source));
            EXPECT_EQ(a.message(), c.message) << c.source;
        }
        // The words are not reserved in the strict dialect.
        Assembly strict(*f, Dialect::Strict);
        ASSERT_TRUE(strict.Run("IRC_FAST EQU 2\nIRC_CAL NOP\nDW IRC_FAST\n")) << strict.message();
        EXPECT_EQ(strict.words(), (std::vector<int>{0x000, 2}));
    }
}

TEST(Dialect, OptionPiecesAreNotRedundantWithEachOtherOnly) {
    for (const char* source : {"DEVICE STACKX, STACKX\nNOP\n", "DEVICE STACKX_OPTIONX, OPTIONX\nNOP\n",
                               "DEVICE OPTIONX, STACKX_OPTIONX\nNOP\n", "DEVICE STACKX, OPTIONX, STACKX\nNOP\n"}) {
        Assembly a(Sx28lFamily(), Dialect::Extended);
        EXPECT_FALSE(a.Run(source));
        EXPECT_EQ(a.message(), "Redundant DEVICE parameter") << source;
    }
}

TEST(Dialect, NamedMacroParameterRules) {
    struct Case {
        const char* source;
        std::vector<int> words;  // empty: the assembly fails with `error`
        const char* error;
    };
    const Case cases[] = {
        // A defined name alone is still a count, as in the strict dialect.
        {"N EQU 2\nput MACRO N\nDW \\0, \\2\nENDM\nput 4, 5\n", {2, 5}, ""},
        // An undefined name alone is a parameter; the call gives one argument.
        {"put MACRO n\nDW n\nENDM\nput 4\n", {4}, ""},
        {"put MACRO n\nDW n\nENDM\nput 4, 5\n", {}, "Expected end-of-line"},
        // Parameters are known in their macro's body only.
        {"put MACRO n\nDW n\nENDM\nput 4\nDW n\n", {}, "Undefined symbol"},
        {"put MACRO n\nDW n\nENDM\nget MACRO k\nDW n\nENDM\nget 1\n", {}, "Undefined symbol"},
        {"put MACRO n, n\nENDM\n", {}, "Macro parameter is already named"},
        {"put MACRO n, 3\nENDM\n", {}, "Expected a label"},
        {"put MACRO n, w\nENDM\n", {}, "Expected a label"},
        {"put MACRO n m\nENDM\n", {}, "Expected \",\" or end-of-line"},
        // A forward reference in an argument resolves in pass 2.
        {"put MACRO n\nDW n\nENDM\nput later\nlater DW 9\n", {1, 9}, ""},
    };
    for (const Family* f : {&Sx28lFamily(), &Sx52Family()}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(f->title) + ": " + c.source);
            Assembly a(*f, Dialect::Extended);
            const bool ok = a.Run(c.source);
            EXPECT_EQ(ok, !c.words.empty()) << a.message();
            if (ok)
                EXPECT_EQ(a.words(), c.words);
            else
                EXPECT_EQ(a.message(), c.error);
        }
    }
    // 64 parameters at most.
    std::string names = "p0";
    for (int i = 1; i < 64; ++i) names += ", p" + std::to_string(i);
    Assembly most(Sx28lFamily(), Dialect::Extended);
    EXPECT_TRUE(most.Run("big MACRO " + names + "\nENDM\n")) << most.message();
    Assembly tooMany(Sx28lFamily(), Dialect::Extended);
    EXPECT_FALSE(tooMany.Run("big MACRO " + names + ", p64\nENDM\n"));
    EXPECT_EQ(tooMany.message(), "Expected a value from 0 to 64 or end-of-line");
}

TEST(Dialect, ExtendedDialectAcceptsOnlyWhatStrictRefusesForIt) {
    Assembly a(Sx28lFamily(), Dialect::Strict);
    EXPECT_FALSE(a.Run("loop: JMP loop\n"));
    EXPECT_TRUE(ExtendedDialectAccepts(a.state()));
    EXPECT_EQ(a.message(), "Undefined symbol");  // the failed state is left alone
    EXPECT_FALSE(a.Run("JMP nowhere\n"));
    EXPECT_FALSE(ExtendedDialectAccepts(a.state()));
}

}  // namespace
}  // namespace korvid::test
