// Open documents and position arithmetic (Document.h).
#include "lsp/Document.h"

#include "session/SourceText.h"

#include <algorithm>

namespace korvid::lsp {

std::string UnitsFromUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
            out += '?';  // a byte that starts no character
            ++i;
            continue;
        }
        std::uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) ok = false;
            cp = cp << 6 | (d & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp <= 0xFF) out += static_cast<char>(cp);
        else if (cp <= 0xFFFF) out += '?';
        else out += "??";  // two UTF-16 units
    }
    return out;
}

std::string Utf8FromUnits(std::string_view units) {
    std::string out;
    out.reserve(units.size());
    for (char ch : units) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void Document::SetText(std::string_view utf8Text) {
    units_ = UnitsFromUtf8(utf8Text);
    Index();
}

void Document::Replace(const Range& range, std::string_view utf8Text) {
    std::size_t a = OffsetOf(range.start), b = OffsetOf(range.end);
    if (b < a) std::swap(a, b);
    units_.replace(a, b - a, UnitsFromUtf8(utf8Text));
    Index();
}

void Document::Index() {
    lineStarts_.assign(1, 0);
    for (std::size_t i = 0; i < units_.size(); ++i) {
        if (units_[i] == '\r' && i + 1 < units_.size() && units_[i + 1] == '\n') ++i;
        if (units_[i] == '\n' || units_[i] == '\r') lineStarts_.push_back(i + 1);
    }
    asmValid_ = false;
}

std::size_t Document::OffsetOf(const Position& p) const {
    if (p.line < 0) return 0;
    if (p.line >= lineCount()) return units_.size();
    const std::size_t start = lineStarts_[static_cast<std::size_t>(p.line)];
    std::size_t end = p.line + 1 < lineCount() ? lineStarts_[static_cast<std::size_t>(p.line) + 1] : units_.size();
    while (end > start && (units_[end - 1] == '\n' || units_[end - 1] == '\r')) --end;
    const std::size_t c = p.character < 0 ? 0 : static_cast<std::size_t>(p.character);
    return std::min(start + c, end);
}

Position Document::PositionOf(std::size_t offset) const {
    offset = std::min(offset, units_.size());
    auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const auto line = static_cast<int>(it - lineStarts_.begin()) - 1;
    return {line, static_cast<int>(offset - lineStarts_[static_cast<std::size_t>(line)])};
}

const std::string& Document::asmText() const {
    if (asmValid_) return asm_;
    asm_ = AssemblerText(units_, ControlBytes::Blank);
    asmLineStarts_.assign(1, 0);
    for (std::size_t i = 0; i < asm_.size(); ++i)
        if (asm_[i] == '\r') asmLineStarts_.push_back(static_cast<std::uint32_t>(i + 1));
    asmValid_ = true;
    return asm_;
}

Position Document::AsmPosition(std::uint32_t offset) const {
    asmText();
    offset = std::min<std::uint32_t>(offset, static_cast<std::uint32_t>(asm_.size()));
    auto it = std::upper_bound(asmLineStarts_.begin(), asmLineStarts_.end(), offset);
    const auto line = static_cast<int>(it - asmLineStarts_.begin()) - 1;
    return {line, static_cast<int>(offset - asmLineStarts_[static_cast<std::size_t>(line)])};
}

Range Document::AsmRange(std::uint32_t start, std::uint32_t end) const {
    return {AsmPosition(start), AsmPosition(std::max(start, end))};
}

std::uint32_t Document::AsmOffsetOf(const Position& p) const {
    asmText();
    if (p.line < 0) return 0;
    if (p.line >= static_cast<int>(asmLineStarts_.size())) return static_cast<std::uint32_t>(asm_.size());
    const std::uint32_t start = asmLineStarts_[static_cast<std::size_t>(p.line)];
    std::uint32_t end = p.line + 1 < static_cast<int>(asmLineStarts_.size())
                            ? asmLineStarts_[static_cast<std::size_t>(p.line) + 1] - 1
                            : static_cast<std::uint32_t>(asm_.size());
    return std::min<std::uint32_t>(start + static_cast<std::uint32_t>(std::max(p.character, 0)), end);
}

}  // namespace korvid::lsp
