// What colour class each byte of a source text has, by the assembler's own
// scanner (ScanSourceTokens) and keyword vocabulary (KeywordList), so that
// the editor's colours never disagree with what the assembler reads. Free
// of Qt; the editing view maps the classes to colours.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "core/asm/SourceFacts.h"

namespace korvid {

enum class SyntaxKind : std::uint8_t {
    Plain,
    Comment,
    String,
    Number,
    Label,        // a name at the start of its line that is not a keyword
    Instruction,
    Directive,    // directives and their operand words (DEVICE words, watch formats)
    Register,     // register names and STATUS bits
    Error,        // what the scanner refuses
    ListPrefix,   // the address and code columns of a listing line
    Count
};

class SyntaxColourer {
public:
    explicit SyntaxColourer(const Family& family);
    ~SyntaxColourer();

    // One class per byte of `text` (CR line ends) into `kinds`. The first
    // `prefixColumns` display columns (TABs to the next multiple of 8) of
    // every line are a listing's columns.
    void Colour(std::string_view text, Dialect dialect, int prefixColumns, std::vector<SyntaxKind>& kinds);

private:
    SyntaxKind WordKind(std::string_view text, const SourceToken& token, bool lineStart);

    std::unique_ptr<AssemblyState> state_;
    std::string source_;
    std::vector<SourceToken> tokens_;
    std::unordered_map<std::string, KeywordClass> words_;
    Dialect wordsDialect_ = Dialect::Strict;
    bool haveWords_ = false;
    std::string upper_;
};

}  // namespace korvid
