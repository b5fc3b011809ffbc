// The editor features over one analysed document, in protocol terms but
// free of JSON: diagnostics, hover, navigation, rename, outline,
// completion and semantic tokens.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lsp/Analysis.h"
#include "lsp/Document.h"

namespace korvid::lsp {

struct Diagnostic {
    Range range;
    int severity;  // 1 error, 2 warning
    std::string code;
    std::string message;
    // A note with a place of its own in the document (relatedInformation).
    std::optional<std::pair<Range, std::string>> related = std::nullopt;
};
std::vector<Diagnostic> Diagnostics(const Document& doc, const Analysis& a);

struct HoverText {
    Range range;
    std::string text;  // markdown or plain text, as asked
};
std::optional<HoverText> HoverAt(const Document& doc, const Analysis& a, Position p, bool markdown = true);

std::optional<Range> DefinitionAt(const Document& doc, const Analysis& a, Position p);

struct Use {
    Range range;
    bool definition;
};
// Every use of the symbol at p (its definition included), in source order.
std::vector<Use> UsesAt(const Document& doc, const Analysis& a, Position p);

struct RenameSpot {
    Range range;
    std::string placeholder;
};
std::optional<RenameSpot> RenameTarget(const Document& doc, const Analysis& a, Position p);
// The edits that rename the symbol at p; `problem` says why not when empty.
std::vector<std::pair<Range, std::string>> RenameEdits(const Document& doc, const Analysis& a, Position p,
                                                       const std::string& newName, std::string& problem);

struct OutlineItem {
    std::string name, detail;
    int kind;  // protocol SymbolKind
    Range range, selection;
    std::vector<OutlineItem> children;
};
std::vector<OutlineItem> Outline(const Document& doc, const Analysis& a);

struct CompletionEntry {
    std::string label;
    int kind;  // protocol CompletionItemKind
    std::string detail;
    std::string insert;  // when it differs from the label
};
std::vector<CompletionEntry> CompletionsAt(const Document& doc, const Analysis& a, Position p);

std::vector<std::string> SemanticTokenTypes();
std::vector<std::string> SemanticTokenModifiers();
std::vector<int> EncodeSemanticTokens(const Document& doc, const Analysis& a);

}  // namespace korvid::lsp
