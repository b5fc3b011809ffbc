#include "model/TextBuffer.h"

#include <algorithm>
#include <cstring>

#include "core/image/FileIo.h"

namespace korvid {

bool IsWordChar(std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '_';
}

TextBuffer::TextBuffer() : source_(new char[SourceArraySize]()) { base = source_.get(); }

bool TextBuffer::CursorLeft() {
    if (caret <= 0) return false;
    --caret;
    return true;
}

bool TextBuffer::CursorRight() {
    if (caret >= length) return false;
    ++caret;
    return true;
}

bool TextBuffer::LineStart() {
    while (caret > 0) {
        if (ByteAt(caret - 1) == CR) return true;
        --caret;
    }
    return false;
}

void TextBuffer::LineEnd() {
    while (caret < length && ByteAt(caret) != CR) ++caret;
}

void TextBuffer::LineUp() {
    LineStart();
    CursorLeft();
    LineStart();
}

void TextBuffer::LineDown() {
    LineEnd();
    CursorRight();
    LineStart();
}

std::int32_t TextBuffer::CursorColumn() const {
    std::int32_t p = caret;
    while (p > 0 && ByteAt(p - 1) != CR) --p;
    std::int32_t column = 0;
    for (; p < caret; ++p) column = AdvanceColumn(column, ByteAt(p));
    return column;
}

void TextBuffer::GoToColumn() {
    LineStart();
    std::int32_t column = 0;
    while (column < desiredColumn && caret < length) {
        std::uint8_t b = ByteAt(caret);
        if (b == CR) break;
        column = AdvanceColumn(column, b);
        ++caret;
    }
    // A TAB that straddles the desired column keeps the caret on the TAB.
    if (column > desiredColumn) --caret;
}

void TextBuffer::MoveGap() {
    std::int32_t k = caret - gapStart;
    if (k == 0) return;
    std::int32_t gapEnd = capacity - length + gapStart;  // first byte after the gap
    if (k > 0)
        std::memmove(base + gapStart, base + gapEnd, std::size_t(k));
    else
        std::memmove(base + gapEnd + k, base + caret, std::size_t(-k));
    gapStart = caret;
}

void TextBuffer::InsertChar(char ch) {
    if (length >= capacity || listMode) return;
    if (!replaying_) history.RecordInsert(caret, ch, caret, anchor, selectionState);
    MoveGap();
    base[caret] = ch;
    ++gapStart;
    ++length;
    ++caret;
    modified = 1;
}

void TextBuffer::DeleteRange(std::int32_t from, std::int32_t to) {
    if (listMode) return;
    if (from < 0) from = 0;
    if (to > length) to = length;
    if (to < from) to = from;
    if (to > from && !replaying_) {
        std::string removed;
        removed.reserve(std::size_t(to - from));
        for (std::int32_t p = from; p < to; ++p) removed.push_back(char(ByteAt(p)));
        history.RecordDelete(from, std::move(removed), caret, anchor, selectionState);
    }
    caret = from;
    MoveGap();
    length -= to - from;
    if (anchor > length) anchor = length;
    selectionState = 0;
    modified = 1;
}

bool TextBuffer::SelectWord() {
    if (caret >= length || !IsWordChar(ByteAt(caret))) return false;
    while (caret > 0 && IsWordChar(ByteAt(caret - 1))) --caret;
    anchor = caret;
    while (caret < length && IsWordChar(ByteAt(caret))) ++caret;
    return true;
}

bool TextBuffer::GetSelection(std::int32_t& start, std::int32_t& end) const {
    start = caret < anchor ? caret : anchor;
    end = caret < anchor ? anchor : caret;
    return HasSelection();
}

bool TextBuffer::DeleteSelection() {
    std::int32_t start, end;
    bool had = GetSelection(start, end);
    if (had) DeleteRange(start, end);
    selectionState = 0;
    return had;
}

void TextBuffer::StartShiftSelection() {
    if (selectionState == 0) anchor = caret;
    selectionState = 2;
}

void TextBuffer::EndKeystroke() {
    selectionState >>= 1;
    verticalState >>= 1;
}

void TextBuffer::TypeChar(char ch) {
    history.BeginTyping(caret, HasSelection(), IsWordChar(std::uint8_t(ch)));
    DeleteSelection();
    InsertChar(ch);
    history.EndTyping();
}

void TextBuffer::Forget() {
    history.Clear();
    savedState_ = 0;
    modified = 0;
}

void TextBuffer::ApplyEdit(std::int32_t pos, std::size_t removeCount, const std::string& insert) {
    DeleteRange(pos, pos + std::int32_t(removeCount));
    for (char c : insert) InsertChar(c);
}

bool TextBuffer::Undo() {
    if (listMode) return false;
    UndoHistory::Step* step = history.PopUndo();
    if (!step) return false;
    replaying_ = true;
    for (auto e = step->edits.rbegin(); e != step->edits.rend(); ++e) ApplyEdit(e->pos, e->inserted.size(), e->removed);
    replaying_ = false;
    caret = std::min(step->caretBefore, length);
    anchor = std::min(step->anchorBefore, length);
    selectionState = step->selectionBefore ? 1 : 0;
    modified = history.StateId() != savedState_;
    return true;
}

bool TextBuffer::Redo() {
    if (listMode) return false;
    UndoHistory::Step* step = history.PopRedo();
    if (!step) return false;
    replaying_ = true;
    for (const UndoHistory::Edit& e : step->edits) ApplyEdit(e.pos, e.removed.size(), e.inserted);
    replaying_ = false;
    caret = anchor = std::min(step->caretAfter, length);
    selectionState = 0;
    modified = history.StateId() != savedState_;
    return true;
}

void TextBuffer::SelectAll() {
    anchor = 0;
    caret = length;
    selectionState = 1;
}

std::int32_t TextBuffer::CaretLine() const {
    std::int32_t line = 1;
    for (std::int32_t p = 0; p < caret; ++p) line += ByteAt(p) == CR;
    return line;
}

void TextBuffer::GoToLine(std::int32_t line) {
    caret = 0;
    for (std::int32_t n = 1; n < line && caret < length; ++caret)
        if (ByteAt(caret) == CR) ++n;
    LineStart();
    anchor = caret;
    selectionState = 0;
    verticalState = 0;
}

void TextBuffer::ClearText() {
    caret = gapStart = length = anchor = desiredColumn = 0;
    selectionState = verticalState = 0;
    if (!listMode) Forget();
}

void TextBuffer::StripControls() {
    caret = 0;
    while (caret < length) {
        std::uint8_t b = ByteAt(caret);
        if (b < 32 && b != TAB && b != CR) {
            std::int32_t before = length;
            DeleteRange(caret, caret + 1);
            if (length == before) ++caret;  // list mode: nothing can be removed
        } else {
            ++caret;
        }
    }
}

FileResult TextBuffer::LoadText(const std::string& name, bool& cleared) {
    cleared = false;
    if (listMode) LeaveListMode();
    const FileStatus st = StatusOf(name);
    if (st.regular && st.size > std::uint64_t(SourceCapacity)) {
        return {false, "The file " + name + " is too large to edit (" + std::to_string(st.size) +
                           " bytes; at most " + std::to_string(SourceCapacity) + ")."};
    }
    // Read aside first, so that a file refused for what it holds leaves the
    // text as it was.
    std::unique_ptr<char[]> bytes(new char[std::size_t(SourceCapacity) + 2]);
    std::size_t size = 0;
    std::string reason;
    ReadResult r = ReadFileWhole(name, bytes.get(), std::size_t(SourceCapacity) + 1, size, &reason);
    if (r == ReadResult::TooLarge)
        return {false, "The file " + name + " is too large to edit (at most " + std::to_string(SourceCapacity) +
                           " bytes)."};
    if (r == ReadResult::Ok && std::memchr(bytes.get(), 0, size) != nullptr)
        return {false, "The file " + name + " is not a text file (it holds NUL bytes); it was not opened."};
    ClearText();
    cleared = true;
    std::memcpy(base, bytes.get(), size);
    length = gapStart = std::int32_t(size);
    // A bare LF (the line end of files written on this platform) ends a
    // line like CR LF does; without this a whole file would become one line.
    bool afterCr = false;
    for (std::int32_t p = 0; p < length; ++p) {
        bool cr = base[p] == CR;
        if (base[p] == LF && !afterCr) base[p] = CR;
        afterCr = cr;
    }
    StripControls();
    Forget();
    caret = anchor = 0;
    switch (r) {
        case ReadResult::Ok: return {};
        case ReadResult::CannotOpen: return {false, "Cannot open file " + name + ". " + reason + "."};
        case ReadResult::TooLarge:
        case ReadResult::ReadError: break;
    }
    return {false, "Error reading file " + name + ". " + reason + "."};
}

// Writes the text with CR LF line ends, built apart from the buffer so that
// a listing (read-only) and a full buffer are saved the same way.
FileResult TextBuffer::SaveText(const std::string& name) {
    std::string out;
    out.reserve(std::size_t(length) + std::size_t(length) / 16 + 1);
    for (std::int32_t p = 0; p < length; ++p) {
        const char b = char(ByteAt(p));
        out.push_back(b);
        if (b == CR) out.push_back(LF);
    }
    std::string reason;
    if (!WriteFileAtomically(name, out, &reason)) return {false, "Cannot save file " + name + ". " + reason + "."};
    if (!listMode) {
        history.Seal();
        savedState_ = history.StateId();
        modified = 0;
    }
    return {};
}

const char* TextBuffer::PrepareForAssembly() {
    std::int32_t keep = caret;
    caret = length;
    MoveGap();
    base[length] = 0;
    caret = keep;
    return base;
}

std::string TextBuffer::SelectionForClipboard() const {
    std::int32_t start, end;
    if (!GetSelection(start, end)) return {};
    std::string out;
    out.reserve(std::size_t(end - start) + 16);
    for (std::int32_t p = start; p < end; ++p) {
        char b = char(ByteAt(p));
        out.push_back(b);
        if (b == CR) out.push_back(LF);
    }
    return out;
}

void TextBuffer::PasteBytes(std::string_view bytes) {
    Group step(*this);
    DeleteSelection();
    for (char c : bytes) {
        if (c == 0) break;
        if (IsStorable(std::uint8_t(c))) InsertChar(c);
    }
}

void TextBuffer::EnterListMode(char* listing, std::int32_t listLength) {
    if (listMode) return;
    savedSourceLength = length;
    savedSourceGapStart = gapStart;
    base = listing;
    capacity = ListingCapacity;
    if (listLength < 0) listLength = 0;
    if (listLength > ListingCapacity) listLength = ListingCapacity;
    length = gapStart = listLength;
    caret = anchor = 0;
    listMode = 1;
}

void TextBuffer::LeaveListMode() {
    if (!listMode) return;
    base = source_.get();
    capacity = SourceCapacity;
    length = savedSourceLength;
    gapStart = savedSourceGapStart;
    caret = anchor = 0;
    listMode = 0;
}

std::string TextBuffer::Text() const {
    std::string out;
    out.reserve(std::size_t(length));
    for (std::int32_t p = 0; p < length; ++p) out.push_back(char(ByteAt(p)));
    return out;
}

void TextBuffer::SetText(std::string_view text) {
    ClearText();
    for (char c : text) {
        if (length >= capacity) break;
        if (IsStorable(std::uint8_t(c))) base[length++] = c;
    }
    gapStart = length;
    Forget();
}

}  // namespace korvid
