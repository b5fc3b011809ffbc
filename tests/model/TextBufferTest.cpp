#include "model/TextBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvid {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary);
    out << data;
}

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("korvid_tb_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

// Types a string at the caret, one InsertChar per byte.
void Type(TextBuffer& t, std::string_view s) {
    for (char c : s) t.InsertChar(c);
}

TEST(TextBuffer, GapMovesBothWaysKeepTheText) {
    TextBuffer t;
    Type(t, "hello world");
    // Jump back and insert: the gap moves left.
    t.caret = 5;
    Type(t, ",");
    EXPECT_EQ(t.gapStart, 6);
    EXPECT_EQ(t.Text(), "hello, world");
    // Jump forward past the gap and insert: the gap moves right.
    t.caret = 12;
    Type(t, "!");
    EXPECT_EQ(t.Text(), "hello, world!");
    t.caret = 0;
    Type(t, ">");
    EXPECT_EQ(t.Text(), ">hello, world!");
    // Deleting in the middle leaves the rest intact in both halves.
    t.DeleteRange(1, 8);
    EXPECT_EQ(t.Text(), ">world!");
    EXPECT_EQ(t.caret, 1);
    t.caret = t.length;
    t.MoveGap();
    EXPECT_EQ(std::string(t.base, size_t(t.length)), ">world!");
}

TEST(TextBuffer, CapacityRefusesInsertAndListModeIsReadOnly) {
    TextBuffer t;
    std::string full(SourceCapacity, 'x');
    t.SetText(full);
    EXPECT_EQ(t.length, SourceCapacity);
    t.caret = 10;
    t.InsertChar('y');
    EXPECT_EQ(t.length, SourceCapacity);
    EXPECT_EQ(t.modified, 0);
    // The terminator fits even with a full buffer.
    const char* s = t.PrepareForAssembly();
    EXPECT_EQ(s[SourceCapacity], 0);
    EXPECT_EQ(t.caret, 10);

    std::unique_ptr<char[]> listing(new char[ListingCapacity + 4]());
    std::memcpy(listing.get(), "LIST\r", 5);
    TextBuffer u;
    u.SetText("src");
    u.EnterListMode(listing.get(), 5);
    EXPECT_EQ(u.Text(), "LIST\r");
    u.InsertChar('z');
    u.DeleteRange(0, 3);
    EXPECT_EQ(u.Text(), "LIST\r");
    EXPECT_EQ(u.modified, 0);
    u.LeaveListMode();
    EXPECT_EQ(u.Text(), "src");
}

TEST(TextBuffer, LineMovesAndColumns) {
    TextBuffer t;
    t.SetText("ab\tc\r\t x\rlast");
    struct Case {
        std::int32_t caret;
        std::int32_t column;
    } cols[] = {{0, 0}, {2, 2}, {3, 8}, {4, 9}, {5, 0}, {6, 8}, {7, 9}, {13, 4}};
    for (auto c : cols) {
        t.caret = c.caret;
        EXPECT_EQ(t.CursorColumn(), c.column) << "caret " << c.caret;
    }
    // TAB at column 5 spans 5..7; TAB at column 8 ends at 16.
    t.SetText("abcde\tX\r12345678\tY");
    t.caret = 6;
    EXPECT_EQ(t.CursorColumn(), 8);
    t.caret = 17;
    EXPECT_EQ(t.CursorColumn(), 16);

    t.SetText("one\rtwo\rthree");
    t.caret = 1;
    t.LineUp();
    EXPECT_EQ(t.caret, 0);
    t.caret = 10;
    t.LineDown();
    EXPECT_EQ(t.caret, 8);  // last line: start of that line
    t.caret = 5;
    t.LineUp();
    EXPECT_EQ(t.caret, 0);
    t.LineDown();
    EXPECT_EQ(t.caret, 4);
    t.caret = 5;
    EXPECT_TRUE(t.LineStart());
    EXPECT_EQ(t.caret, 4);
    t.caret = 2;
    EXPECT_FALSE(t.LineStart());
    t.LineEnd();
    EXPECT_EQ(t.caret, 3);
    t.caret = t.length;
    EXPECT_EQ(t.CharAtCursor(), 0);
}

TEST(TextBuffer, GoToColumnStopsOnStraddlingTabAndAtLineEnd) {
    TextBuffer t;
    t.SetText("\tabc\rxy");
    t.caret = 2;
    t.desiredColumn = 6;
    t.GoToColumn();
    EXPECT_EQ(t.caret, 0);  // on the TAB, not after it
    t.desiredColumn = 9;
    t.GoToColumn();
    EXPECT_EQ(t.caret, 2);
    t.caret = 6;
    t.desiredColumn = 40;
    t.GoToColumn();
    EXPECT_EQ(t.caret, 7);  // end of the last line
    t.caret = 1;
    t.GoToColumn();
    EXPECT_EQ(t.caret, 4);  // stops on the CR
}

TEST(TextBuffer, SelectWordAndSelectionStates) {
    TextBuffer t;
    t.SetText("ab_1+ x");
    t.caret = 1;
    EXPECT_TRUE(t.SelectWord());
    EXPECT_EQ(t.anchor, 0);
    EXPECT_EQ(t.caret, 4);
    t.caret = 4;
    EXPECT_FALSE(t.SelectWord());
    t.SetText("\xe4\xe4 z");
    t.caret = 0;
    EXPECT_FALSE(t.SelectWord());  // high bytes are not word characters

    // Shift+key: state 2 during the key, 1 after; the next plain key still
    // sees it, then it lapses.
    t.SetText("abcdef");
    t.caret = 1;
    t.StartShiftSelection();
    t.CursorRight();
    EXPECT_EQ(t.selectionState, 2);
    t.EndKeystroke();
    EXPECT_EQ(t.selectionState, 1);
    EXPECT_TRUE(t.HasSelection());
    std::int32_t s, e;
    EXPECT_TRUE(t.GetSelection(s, e));
    EXPECT_EQ(s, 1);
    EXPECT_EQ(e, 2);
    // A second shifted key keeps the anchor.
    t.StartShiftSelection();
    t.CursorRight();
    t.EndKeystroke();
    EXPECT_EQ(t.anchor, 1);
    EXPECT_TRUE(t.HasSelection());
    t.EndKeystroke();  // an unshifted key ends
    EXPECT_FALSE(t.HasSelection());
    // A selected span is deleted by DeleteSelection exactly once.
    t.anchor = 0;
    t.caret = 3;
    t.selectionState = 1;
    EXPECT_TRUE(t.DeleteSelection());
    EXPECT_EQ(t.Text(), "def");
    EXPECT_FALSE(t.DeleteSelection());
    EXPECT_EQ(t.Text(), "def");
}

TEST(TextBuffer, StripControlsKeepsTabCrDelAndHighBytes) {
    TextBuffer t;
    std::string in;
    for (int b = 1; b < 256; ++b) in.push_back(char(b));
    // SetText filters; load raw bytes instead.
    std::memcpy(t.base, in.data(), in.size());
    t.length = t.gapStart = std::int32_t(in.size());
    t.StripControls();
    std::string expect = "\t\r";
    for (int b = 32; b < 256; ++b) expect.push_back(char(b));
    EXPECT_EQ(t.Text(), expect);
}

TEST(TextBuffer, LoadAndSaveLineEnds) {
    TempDir dir;
    TextBuffer t;
    bool cleared = false;

    WriteFile(dir / "crlf.src", "a\r\nb\r\n");
    ASSERT_TRUE(t.LoadText((dir / "crlf.src").string(), cleared).ok);
    EXPECT_EQ(t.Text(), "a\rb\r");
    EXPECT_EQ(t.modified, 0);
    t.caret = 2;
    t.InsertChar('c');
    ASSERT_TRUE(t.SaveText((dir / "out.src").string()).ok);
    EXPECT_EQ(ReadFile(dir / "out.src"), "a\r\ncb\r\n");
    EXPECT_EQ(t.Text(), "a\rcb\r");  // LFs removed again
    EXPECT_EQ(t.caret, 3);
    EXPECT_EQ(t.modified, 0);

    // LF-only and mixed line ends end lines too; saving writes CR LF.
    WriteFile(dir / "lf.src", "\nx\ny\r\n\rz\n\n");
    ASSERT_TRUE(t.LoadText((dir / "lf.src").string(), cleared).ok);
    EXPECT_EQ(t.Text(), "\rx\ry\r\rz\r\r");
    ASSERT_TRUE(t.SaveText((dir / "lf.src").string()).ok);
    EXPECT_EQ(ReadFile(dir / "lf.src"), "\r\nx\r\ny\r\n\r\nz\r\n\r\n");

    // A full buffer and a listing are saved with CR LF all the same.
    std::string full(SourceCapacity - 2, 'q');
    full += "\r\r";
    t.SetText(full);
    ASSERT_TRUE(t.SaveText((dir / "full.src").string()).ok);
    EXPECT_EQ(ReadFile(dir / "full.src"), full.substr(0, full.size() - 2) + "\r\n\r\n");
    char listing[] = "0000 L1\r0001 L2\r";
    t.EnterListMode(listing, 16);
    ASSERT_TRUE(t.SaveText((dir / "list.lst").string()).ok);
    EXPECT_EQ(ReadFile(dir / "list.lst"), "0000 L1\r\n0001 L2\r\n");
    EXPECT_EQ(t.length, 16);
}

TEST(TextBuffer, SaveFollowsALinkAndLeavesADeviceInPlace) {
    TempDir dir;
    WriteFile(dir / "real.src", "old\r\n");
    fs::create_symlink("real.src", dir / "link.src");
    TextBuffer t;
    t.SetText("new\r");
    ASSERT_TRUE(t.SaveText((dir / "link.src").string()).ok);
    EXPECT_TRUE(fs::is_symlink(dir / "link.src"));
    EXPECT_EQ(ReadFile(dir / "real.src"), "new\r\n");
    ASSERT_TRUE(t.SaveText("/dev/null").ok);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(TextBuffer, FailedSaveKeepsOldFileAndModifiedFlag) {
    {
        // A target that cannot be replaced (a directory of that name).
        TempDir dir;
        fs::create_directories(dir / "busy.src" / "inner");
        TextBuffer t;
        t.SetText("a\rb");
        t.caret = 1;
        t.InsertChar('x');
        FileResult r = t.SaveText((dir / "busy.src").string());
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(t.modified, 1);
        EXPECT_EQ(t.Text(), "ax\rb");
        EXPECT_EQ(t.caret, 2);
        EXPECT_TRUE(fs::is_directory(dir / "busy.src" / "inner"));
    }
    // A folder the user may not write in. Root ignores folder permissions,
    // so as root the save runs in a child that has become user nobody.
    TempDir dir;
    fs::path target = dir / "keep.src";
    WriteFile(target, "old\r\n");
    auto save = [&target] {
        TextBuffer t;
        t.SetText("new\r");
        t.InsertChar('!');
        const FileResult r = t.SaveText(target.string());
        return !r.ok && !r.message.empty() && t.modified == 1 && t.Text() == "!new\r";
    };
    bool refused = false;
    if (::geteuid() != 0) {
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
        refused = save();
        fs::permissions(dir.path(), fs::perms::owner_all);
    } else {
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && save() ? 0 : 1);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        refused = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    EXPECT_TRUE(refused) << "the save fails with a message and keeps the text modified";
    EXPECT_EQ(ReadFile(target), "old\r\n");
}

TEST(TextBuffer, LoadRefusesTooLargeAndReportsMissingFile) {
    TempDir dir;
    TextBuffer t;
    t.SetText("keep me");
    bool cleared = true;
    WriteFile(dir / "big.src", std::string(SourceCapacity + 1, 'b'));
    FileResult r = t.LoadText((dir / "big.src").string(), cleared);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(cleared);
    EXPECT_EQ(t.Text(), "keep me");

    WriteFile(dir / "exact.src", std::string(SourceCapacity, 'e'));
    EXPECT_TRUE(t.LoadText((dir / "exact.src").string(), cleared).ok);
    EXPECT_EQ(t.length, SourceCapacity);

    r = t.LoadText((dir / "missing.src").string(), cleared);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(t.length, 0);
}

TEST(TextBuffer, LoadRefusesFilesHoldingNulAndKeepsTheText) {
    TempDir dir;
    TextBuffer t;
    t.SetText("keep me");
    t.InsertChar('!');
    WriteFile(dir / "bin.src", std::string("text\0more", 9));
    bool cleared = true;
    FileResult r = t.LoadText((dir / "bin.src").string(), cleared);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("not a text file"), std::string::npos) << r.message;
    EXPECT_FALSE(cleared);
    EXPECT_EQ(t.Text(), "!keep me");
    EXPECT_EQ(t.modified, 1);
    EXPECT_TRUE(t.CanUndo());
}

TEST(TextBuffer, ClipboardRules) {
    TextBuffer t;
    t.SetText("ab\rcd");
    EXPECT_EQ(t.SelectionForClipboard(), "");  // no selection: nothing to copy
    t.anchor = 1;
    t.caret = 4;
    t.selectionState = 1;
    EXPECT_EQ(t.SelectionForClipboard(), "b\r\nc");
    // Paste replaces the selection; LF and other controls are skipped.
    t.PasteBytes(std::string_view("a\r\nb\x01\tz\0tail", 10));
    EXPECT_EQ(t.Text(), "aa\rb\tzd");
    EXPECT_EQ(t.caret, 6);
    // Pasting into a full buffer drops the rest silently.
    t.SetText(std::string(SourceCapacity - 1, 'f'));
    t.caret = 0;
    t.PasteBytes("xyz");
    EXPECT_EQ(t.length, SourceCapacity);
    EXPECT_EQ(t.Text().substr(0, 2), "xf");
}

}  // namespace
}  // namespace korvid
