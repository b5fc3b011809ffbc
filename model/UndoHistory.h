// The editor's undo and redo history: each step is a list of edits (a
// position, the bytes removed there and the bytes inserted) with the caret
// before and after it. Free of Qt. The text buffer records into it; typing
// merges into one step per word; a command such as Replace All opens a
// group so that it is taken back as one step. The bytes held by both stacks
// are bounded: the oldest steps are forgotten first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace korvid {

// Bytes of removed and inserted text the history keeps at most.
inline constexpr std::size_t UndoByteLimit = std::size_t(16) << 20;

class UndoHistory {
public:
    struct Edit {
        std::int32_t pos = 0;
        std::string removed;
        std::string inserted;
    };
    struct Step {
        std::vector<Edit> edits;
        std::int32_t caretBefore = 0;
        std::int32_t anchorBefore = 0;
        std::uint8_t selectionBefore = 0;
        std::int32_t caretAfter = 0;
        std::uint64_t id = 0;
        bool typing = false;  // typed characters may still join it
        bool lastWasWord = false;
        bool sealed = false;  // nothing joins it any more
    };

    explicit UndoHistory(std::size_t byteLimit = UndoByteLimit) : limit_(byteLimit) {}

    void Clear();
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }

    // Groups: every edit between the outermost Begin and End is one step.
    void BeginGroup() { ++depth_; }
    void EndGroup();

    // Recording (the text buffer calls these before it changes the text).
    // `caret`, `anchor` and `selection` describe the state before the edit.
    void RecordInsert(std::int32_t pos, char ch, std::int32_t caret, std::int32_t anchor, std::uint8_t selection);
    void RecordDelete(std::int32_t pos, std::string removed, std::int32_t caret, std::int32_t anchor,
                      std::uint8_t selection);
    // A typed character's edits (the selection it replaces and the byte):
    // they join the newest step when that holds typing that ended at
    // `caret`, no selection is replaced and the byte does not start a new
    // word; else they make a step of their own.
    void BeginTyping(std::int32_t caret, bool replacesSelection, bool wordChar);
    void EndTyping();
    // Closes the newest step to merging (after a save or a caret move).
    void Seal() {
        if (!undo_.empty()) undo_.back().sealed = true;
    }

    // Moves the newest step between the stacks; the caller applies it.
    Step* PopUndo();
    Step* PopRedo();

    // Identifies the text's state: equal ids mean equal texts.
    std::uint64_t StateId() const { return undo_.empty() ? 0 : undo_.back().id; }
    std::size_t Bytes() const { return bytes_; }
    std::size_t UndoSteps() const { return undo_.size(); }

private:
    Step& Current(std::int32_t caret, std::int32_t anchor, std::uint8_t selection);
    void Trim();
    static std::size_t SizeOf(const Step& s);

    std::deque<Step> undo_;
    std::deque<Step> redo_;
    std::size_t limit_;
    std::size_t bytes_ = 0;
    int depth_ = 0;
    bool groupStarted_ = false;  // the open group has its step already
    bool typing_ = false;        // the open group is a typed character
    bool typingWord_ = false;
    std::uint64_t nextId_ = 1;
};

}  // namespace korvid
