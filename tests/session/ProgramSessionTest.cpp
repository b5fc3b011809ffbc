#include <gtest/gtest.h>

#include "core/image/HexFile.h"
#include "session/ProgramSession.h"
#include "tests/support/RunProgram.h"

namespace korvid {
namespace {

using test::TempDir;

// Who decides family and dialect: the user, the comment in the first five
// lines, the DEVICE line, the default; a contradicted comment is warned of.
TEST(ProgramSettings, OrderOfTheChoices) {
    struct Case {
        const char* text;
        const Family* user;
        std::optional<Dialect> userDialect;
        const Family& family;
        SettingFrom from;
        Dialect dialect;
        int warnings;
    } cases[] = {
        {"\tNOP\n", nullptr, {}, Sx28lFamily(), SettingFrom::Default, Dialect::Strict, 0},
        {"; korvid: family=52\n", nullptr, {}, Sx52Family(), SettingFrom::Comment, Dialect::Strict, 0},
        {"; korvid: family=52\r\n", &Sx52Family(), {}, Sx52Family(), SettingFrom::User, Dialect::Strict, 0},
        {"; korvid: family=52\n", &Sx28lFamily(), {}, Sx28lFamily(), SettingFrom::User, Dialect::Strict, 1},
        {" DEVICE OSCHS2, DRT60MS\n", nullptr, {}, Sx52Family(), SettingFrom::Device, Dialect::Strict, 0},
        {" DEVICE SX28L ; DRT60MS\n", nullptr, {}, Sx28lFamily(), SettingFrom::Device, Dialect::Strict, 0},
        {" DEVICE OSCHS2\n", nullptr, {}, Sx28lFamily(), SettingFrom::Default, Dialect::Strict, 0},
        {"; korvid: family=28l\n DEVICE DRT60MS\n",
         nullptr,
         {},
         Sx28lFamily(),
         SettingFrom::Comment,
         Dialect::Strict,
         0},
        {"; korvid: family=99\n DEVICE DRT60MS\n", nullptr, {}, Sx52Family(), SettingFrom::Device, Dialect::Strict, 0},
        {"\n\n\n\n\n; korvid: family=52\n", nullptr, {}, Sx28lFamily(), SettingFrom::Default, Dialect::Strict, 0},
        {"; the korvid: family=52 comment\n", nullptr, {}, Sx28lFamily(), SettingFrom::Default, Dialect::Strict, 0},
        {"; korvid: dialect=extended\n", nullptr, {}, Sx28lFamily(), SettingFrom::Default, Dialect::Extended, 0},
        {"; korvid: dialect=extended\n", nullptr, Dialect::Strict, Sx28lFamily(), SettingFrom::Default, Dialect::Strict,
         1},
        {"; korvid: dialect=extended family=52\n", &Sx28lFamily(), Dialect::Strict, Sx28lFamily(), SettingFrom::User,
         Dialect::Strict, 2},
    };
    for (const Case& c : cases) {
        SettingsRequest request;
        request.family = c.user;
        request.dialect = c.userDialect;
        std::vector<Diagnostic> warnings;
        const ProgramSettings s = ChooseSettings(c.text, request, Sx28lFamily(), "p.src", warnings);
        EXPECT_EQ(s.family, &c.family) << c.text;
        EXPECT_EQ(s.familyFrom, c.from) << c.text;
        EXPECT_EQ(s.dialect, c.dialect) << c.text;
        EXPECT_EQ(int(warnings.size()), c.warnings) << c.text;
    }
    std::vector<Diagnostic> warnings;
    ChooseSettings(";\n  ;  korvid: family=52\n", {&Sx28lFamily(), {}}, Sx28lFamily(), "p.src", warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(DiagnosticText(warnings[0]),
              "p.src:2:14: warning: --family 28l overrides the source's \"korvid: family=52\"\n");
}

constexpr const char* kProgram =
    "; korvid: family=52\n"  // 1
    "        DEVICE DRIVEOFF\n"  // 2
    "        ORG 10h\n"      // 3
    "start   MOV W,#1\n"     // 4
    "\n"                     // 5
    "loop    INC 20h\n"      // 6
    "        JMP loop\n";    // 7

TEST(ProgramSession, SourceLinesAndAddresses) {
    TempDir dir;
    dir.Write("p.src", kProgram);
    ProgramSession session;
    ASSERT_TRUE(session.Load({dir.File("p.src")}));
    EXPECT_TRUE(session.diagnostics().empty());
    EXPECT_EQ(&session.family(), &Sx52Family());
    const ProgramIndex& index = session.index();
    EXPECT_EQ(index.LineOf(0x10), 4);
    EXPECT_EQ(index.LineOf(0x11), 6);
    EXPECT_EQ(index.LineOf(0x12), 7);
    EXPECT_EQ(index.LineOf(0x13), 0);
    EXPECT_EQ(index.LineOf(-1), 0);
    EXPECT_EQ(index.LineOf(5000), 0);
    EXPECT_EQ(index.AddressOf(6), 0x11);
    EXPECT_EQ(index.AddressOf(5), std::nullopt);
    EXPECT_EQ(index.CodeAtOrAfter(5), (std::pair<int, int>{6, 0x11}));
    EXPECT_EQ(index.CodeAtOrAfter(1), (std::pair<int, int>{4, 0x10}));
    EXPECT_EQ(index.CodeAtOrAfter(8), std::nullopt);
    // The listing and the source: the entry of line 6 from either side.
    const AssemblyState& s = session.state();
    const std::uint32_t line6 = index.lineStarts()[5];
    const auto entry = ListEntryOfSource(s, line6);
    ASSERT_TRUE(entry);
    EXPECT_EQ(ListEntryOfListing(s, s.ListLineOffset[*entry]), entry);
    EXPECT_EQ(ListEntryOfSource(s, line6 + 1), std::nullopt);
}

TEST(ProgramSession, FailuresAreDiagnostics) {
    TempDir dir;
    dir.Write("bad.src", "; korvid: family=52\n\tNOP\n\tMOV W,#1 ?\n");
    dir.Write("text.sxh", "hello\n");
    dir.Write("rec.sxh", ":0200000012\n");
    ProgramSession session;
    ASSERT_FALSE(session.Load({dir.File("bad.src"), {&Sx28lFamily(), {}}}));
    // The error with its place first, the overruled comment after it.
    ASSERT_EQ(session.diagnostics().size(), 2u);
    const Diagnostic& e = session.diagnostics()[0];
    EXPECT_EQ(e.severity, Severity::Error);
    EXPECT_EQ(e.file, dir.File("bad.src"));
    EXPECT_EQ(e.line, 3);
    EXPECT_GT(e.column, 1);
    EXPECT_EQ(session.diagnostics()[1].severity, Severity::Warning);

    EXPECT_FALSE(session.Load({dir.File("missing.src")}));
    ASSERT_EQ(session.diagnostics().size(), 1u);
    EXPECT_EQ(session.diagnostics()[0].message.rfind("cannot read " + dir.File("missing.src") + ": ", 0), 0u);

    EXPECT_FALSE(session.Load({dir.File("text.sxh")}));
    ASSERT_EQ(session.diagnostics().size(), 1u);
    EXPECT_NE(session.diagnostics()[0].message.find("is not a hex file"), std::string::npos);

    EXPECT_FALSE(session.Load({dir.File("rec.sxh")}));
    ASSERT_EQ(session.diagnostics().size(), 1u);
    EXPECT_EQ(session.diagnostics()[0].line, 1);
}

// A hex file saved from a 52 assembly (DRIVEOFF: a fuse bit no 28L image
// clears): loaded as the 28L's with a warning that it cannot be one, or as
// the 52's when the image decides.
TEST(ProgramSession, HexImageFamily) {
    TempDir dir;
    dir.Write("p.src", kProgram);
    ProgramSession source;
    ASSERT_TRUE(source.Load({dir.File("p.src")}));
    ASSERT_TRUE(SaveHex(source.state()));
    dir.Write("p.sxh", std::string(source.state().ListText, source.state().ListLength));

    ProgramSession plain;
    ASSERT_TRUE(plain.Load({dir.File("p.sxh")}));
    EXPECT_EQ(&plain.family(), &Sx28lFamily());
    EXPECT_TRUE(plain.index().empty());
    ASSERT_FALSE(plain.diagnostics().empty());
    EXPECT_EQ(plain.diagnostics()[0].severity, Severity::Warning);

    LoadRequest fit{dir.File("p.sxh")};
    fit.familyFromImage = true;
    ProgramSession fitted;
    ASSERT_TRUE(fitted.Load(fit));
    EXPECT_EQ(&fitted.family(), &Sx52Family());
    EXPECT_TRUE(fitted.diagnostics().empty());
    EXPECT_EQ(fitted.state().ChipImage[0x11], source.state().ChipImage[0x11]);
}

}  // namespace
}  // namespace korvid
