#include <gtest/gtest.h>

#include "base/Text.h"
#include "family/Layout.h"
#include "platform/Path.h"
#include "session/Diagnostic.h"
#include "session/SourceText.h"

namespace korvid {
namespace {

TEST(Text, CaseHexAndPaths) {
    EXPECT_EQ(Upper("mov w,#\xe9z"), "MOV W,#\xe9Z");  // only ASCII letters fold
    EXPECT_EQ(Lower("RB.7 Until"), "rb.7 until");
    EXPECT_EQ(Hex(0x7FF, 3), "7FF");
    EXPECT_EQ(Hex(0x1A, 1), "1A");  // at least the digits asked for
    EXPECT_EQ(Hex(5, 2), "05");
    struct Case {
        const char* path;
        const char* folder;
        const char* beside;  // "x.src" next to path
    } cases[] = {
        {"a.test", ".", "x.src"},
        {"/a.test", "/", "/x.src"},
        {"dir/sub/a.test", "dir/sub", "dir/sub/x.src"},
        {"/abs/a.test", "/abs", "/abs/x.src"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(BesideFile(c.path, "x.src"), c.beside) << c.path;
    }
    EXPECT_EQ(BesideFile("dir/a.test", "/elsewhere/x.src"), "/elsewhere/x.src");
}

TEST(SourceText, ControlBytesRemovedOrBlanked) {
    struct Case {
        std::string in, removed, blanked;
    } cases[] = {
        {"a\r\nb\nc\rd", "a\rb\rc\rd", "a\rb\rc\rd"},
        {"x\ty\x01z\x7f", "x\tyz\x7f", "x\ty z "},  // blanking keeps every column
        {std::string("n\0m", 3), "nm", "n m"},
        {"\xe9\r\n\r\n", "\xe9\r\r", "\xe9\r\r"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AssemblerText(c.in, ControlBytes::Remove), c.removed);
        EXPECT_EQ(AssemblerText(c.in, ControlBytes::Blank), c.blanked);
    }
}

TEST(SourceText, KindByExtension) {
    EXPECT_EQ(ProgramKindOf("a.SXH"), ProgramKind::Hex);
    EXPECT_EQ(ProgramKindOf("a.obj"), ProgramKind::Hex);
    EXPECT_EQ(ProgramKindOf("dir/blink.COD"), ProgramKind::Sxc);
    EXPECT_EQ(ProgramKindOf("dir.sxh/blink"), ProgramKind::Source);
    EXPECT_EQ(ProgramKindOf("-"), ProgramKind::Source);
}

TEST(Diagnostic, Text) {
    const Diagnostic located{Severity::Error, "p.src", 3, 7, "Undefined symbol", {DiagnosticNote("accepted with --dialect extended")}};
    EXPECT_EQ(DiagnosticText(located, "korvid: "),
              "p.src:3:7: error: Undefined symbol\np.src:3:7: note: accepted with --dialect extended\n");
    EXPECT_EQ(DiagnosticText({Severity::Warning, "p.sxh", 0, 0, "fuse absent", {}}, "korvid: "),
              "korvid: p.sxh: warning: fuse absent\n");
    EXPECT_EQ(DiagnosticText({Severity::Error, "", 0, 0, "cannot read x", {}}, "korvid: "), "korvid: cannot read x\n");
}

// Register fr of a bank as the chip's file numbers it: the 28 family's
// banks of 32 (the upper 16 banked), the 52's linear banks of 16.
TEST(Layout, BankRegisterAddress) {
    struct Case {
        const Family& family;
        int bank, fr, address;
    } cases[] = {
        {Sx28lFamily(), 0, 0x10, 0x10}, {Sx28lFamily(), 0, 0x1F, 0x1F}, {Sx28lFamily(), 3, 0x12, 0x72},
        {Sx28lFamily(), 7, 0x1F, 0xFF}, {Sx52Family(), 1, 0x10, 0x10},  {Sx52Family(), 3, 0x15, 0x35},
        {Sx52Family(), 15, 0x1F, 0xFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BankRegisterAddress(c.family, c.bank, c.fr), c.address) << c.family.name << " " << c.bank;
}

}  // namespace
}  // namespace korvid
