// The editor-facing facts of the assembler: tokens, vocabulary, where each
// instruction landed, and operand values cut to their fields.
#include <gtest/gtest.h>

#include "core/asm/SourceFacts.h"
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

std::string Kinds(Assembly& a, const std::string& text) {
    a.Run(text);
    std::vector<SourceToken> tokens;
    ScanSourceTokens(a.state(), tokens);
    std::string src = text, out;
    for (const SourceToken& t : tokens) {
        static const char* names[] = {"comment", "string", "number", "name", "op", "punct", "error"};
        out += std::string(names[int(t.kind)]) + "[" + src.substr(t.start, t.end - t.start) + "] ";
    }
    return out;
}

TEST(SourceFacts, TokensOfEveryKindAndScannerErrorsKeepScanning) {
    Assembly a(Sx28lFamily(), Dialect::Strict);
    EXPECT_EQ(Kinds(a, "x EQU 1 ; note\n MOV W,#'AB'+$10\n RETW 'abc', 'q'\n"),
              "name[x] name[EQU] number[1] comment[; note] name[MOV] name[W] punct[,] punct[#] string['AB'] "
              "op[+] number[$10] name[RETW] string['abc'] punct[,] string['q'] ");
    // An unterminated string spoils its line only; the error fields of the
    // assembly stay as they were.
    EXPECT_EQ(Kinds(a, " MOV W,#'ab\n NOP ; after\n"),
              "name[MOV] name[W] punct[,] punct[#] error['ab] name[NOP] comment[; after] ");
    EXPECT_EQ(a.state().ErrorFlag, 1);
    EXPECT_EQ(a.message(), "Expected a terminating quote");
}

TEST(SourceFacts, VocabularyByFamilyAndDialect) {
    const struct {
        const Family& family;
        Dialect dialect;
        const char* name;
        KeywordClass kind;
    } rows[] = {
        {Sx28lFamily(), Dialect::Strict, "MOV", KeywordClass::Instruction},
        {Sx28lFamily(), Dialect::Strict, "AND", KeywordClass::Instruction},
        {Sx28lFamily(), Dialect::Strict, "EQU", KeywordClass::Directive},
        {Sx28lFamily(), Dialect::Strict, "STATUS", KeywordClass::Register},
        {Sx28lFamily(), Dialect::Strict, "C", KeywordClass::StatusBit},
        {Sx28lFamily(), Dialect::Strict, "PA2", KeywordClass::StatusBit},
        {Sx28lFamily(), Dialect::Strict, "UHEX", KeywordClass::WatchFormat},
        {Sx28lFamily(), Dialect::Strict, "TURBO", KeywordClass::DeviceParam},
        {Sx28lFamily(), Dialect::Strict, "IRC_CAL", KeywordClass::None},
        {Sx28lFamily(), Dialect::Extended, "IRC_CAL", KeywordClass::Directive},
        {Sx28lFamily(), Dialect::Extended, "IRC_4MHZ", KeywordClass::IrcMode},
        {Sx28lFamily(), Dialect::Strict, "LOOP", KeywordClass::None},
    };
    for (const auto& r : rows) EXPECT_EQ(ClassifyKeyword(r.family, r.dialect, r.name), r.kind) << r.name;
    const auto list = KeywordList(Sx52Family(), Dialect::Strict);
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [](const KeywordEntry& k) { return k.name == "JMP"; }));
}

TEST(SourceFacts, InstructionsWithAddressesWordsAndTargets) {
    Assembly a(Sx28lFamily(), Dialect::Strict);
    ASSERT_TRUE(a.Run(" DEVICE SX28L\n ORG 0\nstart JMP @far\n CJE 8,#3,start\n ORG 600h\nfar NOP\n JMP PC+W\n"))
        << a.message();
    auto facts = InstructionFacts(a.state());
    ASSERT_EQ(facts.size(), 4u);
    EXPECT_EQ(facts[0].address, 0u);
    EXPECT_EQ(facts[0].words, 2);  // PAGE, JMP
    EXPECT_TRUE(facts[0].hasTarget);
    EXPECT_EQ(facts[0].target, 0x600u);
    EXPECT_EQ(facts[1].address, 2u);
    EXPECT_EQ(facts[1].words, 4);
    EXPECT_EQ(facts[1].target, 0u);
    EXPECT_FALSE(facts[3].hasTarget);
    const std::string src = " DEVICE SX28L\n ORG 0\nstart JMP @far\n";
    EXPECT_EQ(src.substr(facts[0].start, facts[0].end - facts[0].start), "JMP");
    EXPECT_EQ(src.substr(facts[0].targetStart, facts[0].targetEnd - facts[0].targetStart), "far");
}

TEST(SourceFacts, OperandsCutToTheirFields) {
    const struct {
        const char* line;
        bool cut;
        std::uint32_t stored;
    } rows[] = {
        {" MOV W,#300", true, 44},  {" MOV W,#255", false, 0}, {" MOV W,#-1", false, 0},
        {" MOV W,#-200", true, 56}, {" MOV 256,W", true, 0},   {" MOV $FF,W", false, 0},
        {" SETB $808", true, 0x08},  {" MOV M,#$1F", true, 15}, {" MODE 15", false, 0},
        {" RETW 1,2,999", true, 0xE7},
    };
    for (const auto& r : rows) {
        Assembly a(Sx28lFamily(), Dialect::Strict);
        ASSERT_TRUE(a.Run(std::string(" DEVICE SX28L\n") + r.line + "\n")) << r.line << ": " << a.message();
        auto cuts = FieldCuts(a.state());
        ASSERT_EQ(cuts.size(), r.cut ? 1u : 0u) << r.line;
        if (r.cut) {
            EXPECT_EQ(cuts[0].stored, r.stored) << r.line;
        }
    }
}

}  // namespace
}  // namespace korvid::test
