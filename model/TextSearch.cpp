#include "model/TextSearch.h"

namespace korvid {

namespace {
inline std::uint8_t Upper(std::uint8_t b) { return b >= 'a' && b <= 'z' ? std::uint8_t(b - 32) : b; }
inline bool Same(std::uint8_t a, std::uint8_t b, bool matchCase) { return matchCase ? a == b : Upper(a) == Upper(b); }
inline bool Skipped(std::uint8_t b) { return b < 32 && b != 9 && b != 13; }
}  // namespace

bool FindNext(TextBuffer& t, std::string_view pattern, bool wholeWord, bool matchCase) {
    const std::int32_t keepCaret = t.caret;
    const std::int32_t keepAnchor = t.anchor;
    for (std::int32_t start = keepCaret; start < t.length; ++start) {
        t.caret = t.anchor = start;
        std::size_t i = 0;
        bool mismatch = false;
        while (i < pattern.size() && t.caret < t.length) {
            std::uint8_t pb = std::uint8_t(pattern[i]);
            ++i;
            if (Skipped(pb)) continue;
            if (!Same(pb, t.CharAtCursor(), matchCase)) {
                mismatch = true;
                break;
            }
            ++t.caret;
        }
        // Bytes that consume no text may also end the pattern after the text.
        while (i < pattern.size() && Skipped(std::uint8_t(pattern[i]))) ++i;
        if (mismatch || i < pattern.size() || t.caret == start) continue;
        const std::int32_t matchEnd = t.caret;
        if (wholeWord) {
            t.caret = start;
            if (!t.SelectWord() || t.anchor != start || t.caret != matchEnd) continue;
        }
        t.anchor = start;
        t.caret = matchEnd;
        t.selectionState = 1;
        return true;
    }
    t.caret = keepCaret;
    t.anchor = keepAnchor;
    return false;
}

bool ReplaceSelection(TextBuffer& t, std::string_view replacement) {
    TextBuffer::Group step(t);
    if (!t.DeleteSelection()) return false;
    for (char c : replacement)
        if (IsStorable(std::uint8_t(c))) t.InsertChar(c);
    return true;
}

}  // namespace korvid
