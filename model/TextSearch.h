// Forward search and replacement on the editor's text buffer (the Find and
// Replace commands of the main window). Free of Qt.
#pragma once

#include <string_view>

#include "model/TextBuffer.h"

namespace korvid {

// Searches forward from the caret (a match may begin at the caret) for
// `pattern`, ASCII letters compared without case unless `matchCase` (other
// bytes are always compared as they are); pattern bytes below 32
// other than TAB and CR match nothing and consume no text. A match is left
// selected (anchor at its start, caret at its end). Without a match caret
// and anchor are restored and the result is false. A match must cover at
// least one byte of text.
bool FindNext(TextBuffer& text, std::string_view pattern, bool wholeWord, bool matchCase = false);

// Replaces any selection by the storable bytes of `replacement` (TAB, CR,
// 32..255); false, and nothing changed, without a selection.
bool ReplaceSelection(TextBuffer& text, std::string_view replacement);

}  // namespace korvid
