// The editor's text: one gap buffer of fixed capacity with a caret, an
// anchor and the keyboard selection states. The same machinery shows the
// assembler's listing read-only by pointing the buffer at the shared text
// buffer (list mode). Free of Qt so that it can be tested on its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/UndoHistory.h"

namespace korvid {

inline constexpr std::int32_t SourceCapacity = 250000;
inline constexpr std::int32_t ListingCapacity = 500000;
// The source array has room for the NUL that PrepareForAssembly writes at
// index length, also when the text fills the whole capacity.
inline constexpr std::int32_t SourceArraySize = SourceCapacity + 4;

inline constexpr char CR = 13;
inline constexpr char LF = 10;
inline constexpr char TAB = 9;

// Letters, digits and the underscore; bytes 128..255 are not word characters.
bool IsWordChar(std::uint8_t b);
// Bytes that the source buffer stores: TAB, CR and 32..255.
inline bool IsStorable(std::uint8_t b) { return b == 9 || b == 13 || b >= 32; }
// Display column after a byte: TAB advances to the next multiple of 8.
inline std::int32_t AdvanceColumn(std::int32_t column, std::uint8_t b) {
    return b == 9 ? (column | 7) + 1 : column + 1;
}

// Outcome of a file operation; `message` is set when ok is false.
struct FileResult {
    bool ok = true;
    std::string message;
};

class TextBuffer {
public:
    TextBuffer();

    // Storage.
    char* base = nullptr;
    std::int32_t capacity = SourceCapacity;
    std::int32_t length = 0;
    std::int32_t gapStart = 0;
    // Caret and selection.
    std::int32_t caret = 0;
    std::int32_t anchor = 0;
    std::uint8_t selectionState = 0;  // 0 none, 1 shown, 2 extended by this keystroke
    std::uint8_t verticalState = 0;   // non-zero while Up/Down keep desiredColumn
    std::int32_t desiredColumn = 0;
    std::uint8_t modified = 0;
    std::uint8_t listMode = 0;
    std::int32_t savedSourceLength = 0;
    std::int32_t savedSourceGapStart = 0;

    // Byte at logical position p (0 <= p < length), read through the gap.
    std::uint8_t ByteAt(std::int32_t p) const {
        return std::uint8_t(p < gapStart ? base[p] : base[capacity - length + p]);
    }

    std::uint8_t CharAtCursor() const { return caret < length ? ByteAt(caret) : 0; }
    bool CursorLeft();
    bool CursorRight();
    bool LineStart();
    void LineEnd();
    void LineUp();
    void LineDown();
    std::int32_t CursorColumn() const;
    void GoToColumn();
    void MoveGap();
    void InsertChar(char ch);
    // A typed character: replaces the selection, and joins the typing of the
    // same word in one undo step.
    void TypeChar(char ch);
    void DeleteRange(std::int32_t from, std::int32_t to);
    bool SelectWord();
    bool GetSelection(std::int32_t& start, std::int32_t& end) const;
    bool HasSelection() const { return selectionState != 0 && caret != anchor; }
    bool DeleteSelection();
    void StartShiftSelection();
    void EndKeystroke();
    // Buffer part of clearing the text (the view resets its own fields).
    void ClearText();
    void StripControls();

    // Loads a file (CR LF, LF or CR line ends all become CR); a file larger
    // than SourceCapacity is refused and the
    // text is left as it was (`cleared` false). Otherwise the text is
    // cleared first (`cleared` true) and holds what could be read.
    FileResult LoadText(const std::string& name, bool& cleared);
    // Saves with CR LF line ends, atomically: on failure the old file is
    // intact and the text stays marked modified.
    FileResult SaveText(const std::string& name);
    // Makes the text contiguous with a NUL after it; returns its address.
    const char* PrepareForAssembly();

    // Clipboard text of the selection (LF after each CR); empty without one.
    std::string SelectionForClipboard() const;
    // Pastes clipboard bytes, replacing the selection: TAB, CR and 32..255
    // are inserted, everything else (LF among it) is skipped; stops at NUL.
    void PasteBytes(std::string_view bytes);

    // Undo and Redo of whole steps (false when there is none, and always in
    // list mode). The caret (and a selection) return to where they were.
    bool Undo();
    bool Redo();
    bool CanUndo() const { return !listMode && history.CanUndo(); }
    bool CanRedo() const { return !listMode && history.CanRedo(); }
    // Makes every edit until the returned guard ends one undo step.
    class Group {
    public:
        explicit Group(TextBuffer& t) : h_(t.history) { h_.BeginGroup(); }
        ~Group() { h_.EndGroup(); }
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

    private:
        UndoHistory& h_;
    };
    // Selects the whole text (caret at its end).
    void SelectAll();
    // Line of the caret, counted from 1.
    std::int32_t CaretLine() const;
    // Puts the caret at the start of line `line` (from 1; clamped to the
    // text's lines) without a selection.
    void GoToLine(std::int32_t line);

    // List mode: shows `listing` (its first `listLength` bytes) read-only.
    void EnterListMode(char* listing, std::int32_t listLength);
    void LeaveListMode();

    // The whole text as a string (tests, printing checks).
    std::string Text() const;
    // Replaces the text (used when tests or callers set up a text).
    void SetText(std::string_view text);

    UndoHistory history;

private:
    void Forget();  // a new text: no history, nothing unsaved
    void ApplyEdit(std::int32_t pos, std::size_t removeCount, const std::string& insert);
    std::unique_ptr<char[]> source_;
    std::uint64_t savedState_ = 0;  // history state of the text on disk
    bool replaying_ = false;
};

}  // namespace korvid
