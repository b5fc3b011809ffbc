#include "model/TextSearch.h"

#include <gtest/gtest.h>

namespace korvid {
namespace {

struct FindCase {
    const char* name;
    const char* text;
    std::int32_t caret;
    const char* pattern;
    bool word;
    std::int32_t start, end;  // expected selection; -1: not found
    bool matchCase = false;
};

class FindNextCases : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindNextCases, FindsOrRestores) {
    const FindCase& c = GetParam();
    TextBuffer t;
    t.SetText(c.text);
    t.caret = c.caret;
    t.anchor = 1;
    bool found = FindNext(t, c.pattern, c.word, c.matchCase);
    if (c.start < 0) {
        EXPECT_FALSE(found);
        EXPECT_EQ(t.caret, c.caret);
        EXPECT_EQ(t.anchor, 1);
    } else {
        ASSERT_TRUE(found);
        EXPECT_EQ(t.anchor, c.start);
        EXPECT_EQ(t.caret, c.end);
        EXPECT_EQ(t.selectionState, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Search, FindNextCases,
    ::testing::Values(
        FindCase{"caseless", "x MOVLW y", 0, "movlw", false, 2, 7},
        FindCase{"at the caret", "abcabc", 3, "abc", false, 3, 6},
        FindCase{"forward only", "abc x", 1, "abc", false, -1, -1},
        FindCase{"high bytes not folded", "\xc4 \xe4", 0, "\xe4", false, 2, 3},
        FindCase{"word skips inside words", "count2 my_count count+1", 0, "count", true, 16, 21},
        FindCase{"word at the end", "xcount count", 0, "count", true, 7, 12},
        FindCase{"without word", "count2", 0, "count", false, 0, 5},
        FindCase{"across a line end", "ab\rcd", 0, "b\r\nc", false, 1, 4},
        FindCase{"line break at the end", "ab\r", 0, "ab\r\n", false, 0, 3},
        FindCase{"pattern past the end", "abc", 0, "abcd", false, -1, -1},
        FindCase{"only skipped bytes", "abc", 0, "\x01\n", false, -1, -1},
        // Match Case: the letters as typed; digits, symbols and line ends alike.
        FindCase{"case kept", "x MOVLW y movlw", 0, "movlw", false, 10, 15, true},
        FindCase{"case kept, none", "MOVLW Movlw", 0, "movlw", false, -1, -1, true},
        FindCase{"case kept, word", "Count2 Count count", 0, "Count", true, 7, 12, true},
        FindCase{"case kept across a line end", "aB\rc ab\rC", 0, "b\r\nC", false, 6, 9, true}),
    [](const ::testing::TestParamInfo<FindCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(ReplaceSelection, ReplacesAnySelectionAndFiltersControls) {
    TextBuffer t;
    t.SetText("one two");
    t.caret = 3;
    EXPECT_FALSE(ReplaceSelection(t, "x"));
    EXPECT_EQ(t.Text(), "one two");
    t.anchor = 4;
    t.caret = 7;
    t.selectionState = 1;
    EXPECT_TRUE(ReplaceSelection(t, "a\r\nb\x02"));
    EXPECT_EQ(t.Text(), "one a\rb");
    EXPECT_EQ(t.caret, 7);
    EXPECT_FALSE(t.HasSelection());
    // An empty replacement deletes.
    t.anchor = 0;
    t.caret = 4;
    t.selectionState = 1;
    EXPECT_TRUE(ReplaceSelection(t, ""));
    EXPECT_EQ(t.Text(), "a\rb");
    // Into a full buffer: the selection goes, only what fits comes in.
    t.SetText(std::string(SourceCapacity, 'f'));
    t.anchor = 0;
    t.caret = 2;
    t.selectionState = 1;
    EXPECT_TRUE(ReplaceSelection(t, "xyz"));
    EXPECT_EQ(t.length, SourceCapacity);
    EXPECT_EQ(t.Text().substr(0, 3), "xyf");
}

}  // namespace
}  // namespace korvid
