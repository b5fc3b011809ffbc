#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "model/TextBuffer.h"
#include "model/TextSearch.h"

namespace korvid {
namespace {

void TypeText(TextBuffer& t, std::string_view s) {
    for (char c : s) t.TypeChar(c);
}

// Undoes every step, checking each text against the recorded states
// (newest first), then redoes them all and checks again.
void UndoAndRedoAll(TextBuffer& t, const std::vector<std::string>& states) {
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(t.Undo()) << "step " << i;
        ASSERT_EQ(t.Text(), states[i - 1]) << "after undoing step " << i;
    }
    EXPECT_FALSE(t.Undo());
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(t.Redo()) << "step " << i;
        ASSERT_EQ(t.Text(), states[i]) << "after redoing step " << i;
    }
    EXPECT_FALSE(t.Redo());
}

TEST(Undo, TypingIsOneStepPerWordAndCaretReturns) {
    TextBuffer t;
    TypeText(t, "mov w, #1");
    ASSERT_TRUE(t.Undo());
    EXPECT_EQ(t.Text(), "mov w, #");
    EXPECT_EQ(t.caret, 8);
    ASSERT_TRUE(t.Undo());
    EXPECT_EQ(t.Text(), "mov ");
    // Typing somewhere else starts a step of its own even inside a word.
    t.caret = 1;
    TypeText(t, "x");
    t.caret = 5;
    TypeText(t, "y");
    ASSERT_TRUE(t.Undo());
    EXPECT_EQ(t.Text(), "mxov ");
    ASSERT_TRUE(t.Undo());
    EXPECT_EQ(t.Text(), "mov ");
    EXPECT_EQ(t.caret, 1);
    // A new edit after an undo drops what could have been redone.
    EXPECT_TRUE(t.CanRedo());
    TypeText(t, "z");
    EXPECT_FALSE(t.CanRedo());
}

// Every kind of change, in random order, is taken back exactly, one step
// at a time, and redone exactly.
TEST(Undo, RandomEditsUndoAndRedoExactly) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        TextBuffer t;
        t.SetText("start\rof the text\r");
        std::vector<std::string> states{t.Text()};
        for (int op = 0; op < 40; ++op) {
            const std::int32_t n = t.length;
            const std::size_t steps = t.history.UndoSteps();
            t.caret = std::int32_t(rng() % std::uint32_t(n + 1));
            t.anchor = std::int32_t(rng() % std::uint32_t(n + 1));
            t.selectionState = rng() % 2;
            switch (rng() % 5) {
                case 0: t.TypeChar("ab \r\t"[rng() % 5]); break;
                case 1: t.DeleteRange(t.caret, t.caret + std::int32_t(rng() % 4) + 1); break;
                case 2: t.PasteBytes("pasted\rtext"); break;
                case 3:
                    if (!ReplaceSelection(t, "R")) continue;
                    break;
                case 4: {
                    t.caret = 0;
                    TextBuffer::Group step(t);
                    bool any = false;
                    while (FindNext(t, "a", false)) any = ReplaceSelection(t, "<A>") || any;
                    if (!any) continue;
                    break;
                }
            }
            t.history.Seal();  // one step per operation, also for typing
            if (t.history.UndoSteps() == steps) continue;
            states.push_back(t.Text());
        }
        UndoAndRedoAll(t, states);
        if (HasFailure()) return;
    }
}

TEST(Undo, UnsavedMarkFollowsTheSavedState) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("korvid_undo_" + std::to_string(::getpid()) + ".src")).string();
    TextBuffer t;
    TypeText(t, "abc");
    ASSERT_TRUE(t.SaveText(file).ok);
    EXPECT_FALSE(t.modified);
    // Typing on after the save is a new step: undoing it is the saved text.
    TypeText(t, "d");
    EXPECT_TRUE(t.modified);
    ASSERT_TRUE(t.Undo());
    EXPECT_EQ(t.Text(), "abc");
    EXPECT_FALSE(t.modified);
    ASSERT_TRUE(t.Undo());
    EXPECT_TRUE(t.modified);
    ASSERT_TRUE(t.Redo());
    EXPECT_FALSE(t.modified);
    // A loaded text starts a new history.
    bool cleared = false;
    ASSERT_TRUE(t.LoadText(file, cleared).ok);
    EXPECT_FALSE(t.CanUndo());
    std::filesystem::remove(file);
}

TEST(Undo, ListModeNeitherUndoesNorRecords) {
    TextBuffer t;
    TypeText(t, "src");
    std::string listing = "listing";
    t.EnterListMode(listing.data(), std::int32_t(listing.size()));
    EXPECT_FALSE(t.CanUndo());
    EXPECT_FALSE(t.Undo());
    EXPECT_EQ(t.Text(), "listing");
    t.LeaveListMode();
    ASSERT_TRUE(t.Undo());
    EXPECT_EQ(t.Text(), "");
}

// The history forgets its oldest steps past its byte limit; what it keeps
// still undoes exactly, and the newest step survives whatever its size.
TEST(Undo, MemoryBoundForgetsOldestSteps) {
    UndoHistory h(4096);
    for (int i = 0; i < 200; ++i) {
        h.RecordInsert(i, 'x', i, i, 0);
        h.Seal();
    }
    EXPECT_LE(h.Bytes(), 4096u);
    EXPECT_GT(h.UndoSteps(), 1u);
    EXPECT_LT(h.UndoSteps(), 200u);
    h.RecordDelete(0, std::string(10000, 'y'), 0, 0, 0);
    EXPECT_EQ(h.UndoSteps(), 1u);
    UndoHistory::Step* s = h.PopUndo();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->edits.at(0).removed.size(), 10000u);
}

}  // namespace
}  // namespace korvid
