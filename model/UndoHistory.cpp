#include "model/UndoHistory.h"

#include <utility>

namespace korvid {

void UndoHistory::Clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
    depth_ = 0;
    groupStarted_ = typing_ = false;
}

void UndoHistory::EndGroup() {
    if (depth_ > 0 && --depth_ == 0) {
        if (groupStarted_ && typing_) {
            undo_.back().typing = true;
            undo_.back().lastWasWord = typingWord_;
        }
        groupStarted_ = typing_ = false;
        Trim();
    }
}

void UndoHistory::BeginTyping(std::int32_t caret, bool replacesSelection, bool wordChar) {
    const bool join = depth_ == 0 && !undo_.empty() && redo_.empty() && !replacesSelection && undo_.back().typing &&
                      !undo_.back().sealed && undo_.back().caretAfter == caret &&
                      !(wordChar && !undo_.back().lastWasWord);
    BeginGroup();
    if (depth_ == 1) {
        groupStarted_ = join;
        typing_ = true;
        typingWord_ = wordChar;
    }
}

void UndoHistory::EndTyping() { EndGroup(); }

std::size_t UndoHistory::SizeOf(const Step& s) {
    std::size_t n = sizeof(Step);
    for (const Edit& e : s.edits) n += sizeof(Edit) + e.removed.size() + e.inserted.size();
    return n;
}

UndoHistory::Step& UndoHistory::Current(std::int32_t caret, std::int32_t anchor, std::uint8_t selection) {
    if (depth_ > 0 && groupStarted_) return undo_.back();
    for (const Step& s : redo_) bytes_ -= SizeOf(s);
    redo_.clear();
    Step step;
    step.caretBefore = caret;
    step.anchorBefore = anchor;
    step.selectionBefore = selection;
    step.id = nextId_++;
    bytes_ += sizeof(Step);
    undo_.push_back(std::move(step));
    if (depth_ > 0) groupStarted_ = true;
    return undo_.back();
}

void UndoHistory::RecordInsert(std::int32_t pos, char ch, std::int32_t caret, std::int32_t anchor,
                               std::uint8_t selection) {
    Step& step = Current(caret, anchor, selection);
    if (!step.edits.empty() && step.edits.back().pos + std::int32_t(step.edits.back().inserted.size()) == pos) {
        step.edits.back().inserted.push_back(ch);
    } else {
        step.edits.push_back({pos, {}, std::string(1, ch)});
        bytes_ += sizeof(Edit);
    }
    ++bytes_;
    step.caretAfter = pos + 1;
    if (depth_ == 0) Trim();
}

void UndoHistory::RecordDelete(std::int32_t pos, std::string removed, std::int32_t caret, std::int32_t anchor,
                               std::uint8_t selection) {
    Step& step = Current(caret, anchor, selection);
    bytes_ += sizeof(Edit) + removed.size();
    step.edits.push_back({pos, std::move(removed), {}});
    step.caretAfter = pos;
    if (depth_ == 0) Trim();
}

// The oldest steps go first; the newest step is kept whatever its size.
void UndoHistory::Trim() {
    while (bytes_ > limit_ && !redo_.empty()) {
        bytes_ -= SizeOf(redo_.front());
        redo_.pop_front();
    }
    while (bytes_ > limit_ && undo_.size() > 1) {
        bytes_ -= SizeOf(undo_.front());
        undo_.pop_front();
    }
}

UndoHistory::Step* UndoHistory::PopUndo() {
    if (undo_.empty() || depth_ > 0) return nullptr;
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    return &redo_.back();
}

UndoHistory::Step* UndoHistory::PopRedo() {
    if (redo_.empty() || depth_ > 0) return nullptr;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    undo_.back().sealed = true;
    return &undo_.back();
}

}  // namespace korvid
