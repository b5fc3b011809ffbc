// An open source document as the server keeps it: one byte per UTF-16 code
// unit of the client's text (source bytes are 8-bit and read as Latin-1, so
// a character beyond Latin-1 stands as '?'), which makes a byte's column
// the protocol's character offset. The text the assembler reads is derived
// from it with CR line ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvid::lsp {

struct Position {
    int line = 0;
    int character = 0;  // UTF-16 code units
    bool operator==(const Position&) const = default;
};

struct Range {
    Position start, end;
    bool operator==(const Range&) const = default;
};

// UTF-8 (JSON strings) to one byte per UTF-16 code unit and back.
std::string UnitsFromUtf8(std::string_view utf8);
std::string Utf8FromUnits(std::string_view units);

class Document {
public:
    Document() = default;
    explicit Document(std::string_view utf8Text) { SetText(utf8Text); }

    void SetText(std::string_view utf8Text);
    // Replaces a range (clamped to the text) with new text.
    void Replace(const Range& range, std::string_view utf8Text);

    const std::string& units() const { return units_; }
    int lineCount() const { return static_cast<int>(lineStarts_.size()); }
    // Offset in units() of a position, clamped to its line.
    std::size_t OffsetOf(const Position& p) const;
    Position PositionOf(std::size_t offset) const;

    // The text for the assembler: CR line ends, NUL and control bytes other
    // than TAB as spaces, so that every line keeps its columns. Offsets in
    // it map back with AsmPosition.
    const std::string& asmText() const;
    Position AsmPosition(std::uint32_t asmOffset) const;
    Range AsmRange(std::uint32_t start, std::uint32_t end) const;
    // The assembler text's offset of a position.
    std::uint32_t AsmOffsetOf(const Position& p) const;

    int version = 0;

private:
    void Index();
    std::string units_;
    std::vector<std::size_t> lineStarts_;  // in units_, line ends excluded
    mutable std::string asm_;
    mutable std::vector<std::uint32_t> asmLineStarts_;
    mutable bool asmValid_ = false;
};

}  // namespace korvid::lsp
