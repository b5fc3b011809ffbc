#include "ui/SyntaxColours.h"

#include <algorithm>

namespace korvid {

SyntaxColourer::SyntaxColourer(const Family& family) : state_(std::make_unique<AssemblyState>(family)) {}

SyntaxColourer::~SyntaxColourer() = default;

SyntaxKind SyntaxColourer::WordKind(std::string_view text, const SourceToken& token, bool lineStart) {
    upper_.assign(text.substr(token.start, token.end - token.start));
    for (char& c : upper_)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    auto found = words_.find(upper_);
    const KeywordClass kind = found == words_.end() ? KeywordClass::None : found->second;
    switch (kind) {
        case KeywordClass::Instruction: return SyntaxKind::Instruction;
        case KeywordClass::Directive:
        case KeywordClass::DeviceParam:
        case KeywordClass::WatchFormat:
        case KeywordClass::IrcMode: return SyntaxKind::Directive;
        case KeywordClass::Register:
        case KeywordClass::StatusBit: return SyntaxKind::Register;
        case KeywordClass::OperatorWord: return SyntaxKind::Plain;
        case KeywordClass::None: break;
    }
    return lineStart ? SyntaxKind::Label : SyntaxKind::Plain;
}

void SyntaxColourer::Colour(std::string_view text, Dialect dialect, int prefixColumns,
                            std::vector<SyntaxKind>& kinds) {
    if (!haveWords_ || wordsDialect_ != dialect) {
        words_.clear();
        for (const KeywordEntry& k : KeywordList(*state_->family, dialect)) words_.emplace(std::string(k.name), k.kind);
        wordsDialect_ = dialect;
        haveWords_ = true;
    }
    kinds.assign(text.size(), SyntaxKind::Plain);
    source_.assign(text);
    // A listing's columns are blanked for the scanner and keep their class.
    // They are display columns: the listing pads them with TABs, so a line's
    // source text may start after two bytes or after sixteen.
    if (prefixColumns > 0) {
        int column = 0;
        for (std::size_t p = 0; p < source_.size(); ++p) {
            if (source_[p] == '\r') {
                column = 0;
            } else if (column < prefixColumns) {
                column = source_[p] == '\t' ? (column + 8) & ~7 : column + 1;
                source_[p] = ' ';
                kinds[p] = SyntaxKind::ListPrefix;
            }
        }
    }
    state_->dialect = dialect;
    state_->SourceText = source_.c_str();
    ScanSourceTokens(*state_, tokens_);
    state_->SourceText = nullptr;
    for (const SourceToken& t : tokens_) {
        const std::uint32_t end = std::min<std::uint32_t>(t.end, std::uint32_t(text.size()));
        if (t.start >= end) continue;
        SyntaxKind kind = SyntaxKind::Plain;
        switch (t.kind) {
            case SourceTokenKind::Comment: kind = SyntaxKind::Comment; break;
            case SourceTokenKind::String: kind = SyntaxKind::String; break;
            case SourceTokenKind::Number: kind = SyntaxKind::Number; break;
            case SourceTokenKind::Error: kind = SyntaxKind::Error; break;
            case SourceTokenKind::Name: {
                const bool lineStart = t.start == 0 || source_[t.start - 1] == '\r' ||
                                       (prefixColumns > 0 && kinds[t.start - 1] == SyntaxKind::ListPrefix);
                kind = WordKind(source_, t, lineStart);
                break;
            }
            case SourceTokenKind::Operator:
            case SourceTokenKind::Punctuation: break;
        }
        std::fill(kinds.begin() + t.start, kinds.begin() + end, kind);
    }
}

}  // namespace korvid
