// Assembling a document and classifying its tokens and symbols (Analysis.h).
#include "lsp/Analysis.h"

#include <algorithm>

#include "base/Text.h"
#include "core/asm/Assembler.h"
#include "family/Family.h"
#include "session/ProgramSettings.h"

namespace korvid::lsp {

namespace {
std::string_view Text(const std::string& text, const SourceToken& t) {
    return std::string_view(text).substr(t.start, t.end - t.start);
}

TokenClass FromKeyword(KeywordClass k) {
    switch (k) {
        case KeywordClass::Instruction: return TokenClass::Instruction;
        case KeywordClass::Directive: return TokenClass::Directive;
        case KeywordClass::DeviceParam: return TokenClass::DeviceWord;
        case KeywordClass::Register: return TokenClass::Register;
        case KeywordClass::StatusBit: return TokenClass::StatusBit;
        case KeywordClass::WatchFormat: return TokenClass::WatchFormat;
        case KeywordClass::IrcMode:
        case KeywordClass::OperatorWord: return TokenClass::OperandWord;
        case KeywordClass::None: break;
    }
    return TokenClass::Undefined;
}

TokenClass FromSourceKind(SourceTokenKind k) {
    switch (k) {
        case SourceTokenKind::Comment: return TokenClass::Comment;
        case SourceTokenKind::String: return TokenClass::String;
        case SourceTokenKind::Number: return TokenClass::Number;
        case SourceTokenKind::Operator: return TokenClass::Operator;
        case SourceTokenKind::Punctuation: return TokenClass::Punctuation;
        case SourceTokenKind::Error: return TokenClass::Error;
        case SourceTokenKind::Name: break;
    }
    return TokenClass::Undefined;
}
}  // namespace

Settings SettingsFromSource(const std::string& units, Settings s) {
    const CommentSettings comment = ReadCommentSettings(units);
    if (comment.family) s.family = FamilyByName(comment.family->value);
    if (comment.dialect) DialectByName(comment.dialect->value, s.dialect);
    return s;
}

Analysis::Analysis() = default;
Analysis::~Analysis() = default;

void Analysis::Run(const Document& doc, Settings defaults) {
    settings = SettingsFromSource(doc.units(), defaults);
    if (!state_ || state_->family != settings.family) {
        state_ = std::make_unique<AssemblyState>(*settings.family);
        list_.assign(kDefaultListCapacity, 0);
        state_->ListText = list_.data();
        state_->ListCapacity = kDefaultListCapacity;
    }
    text_ = doc.asmText();
    state_->SourceText = text_.c_str();
    state_->dialect = settings.dialect;
    state_->ListWanted = false;  // no feature reads the listing: no listing limit applies
    Assemble(*state_);
    failed = state_->ErrorFlag != 0;
    errorMessage = failed ? state_->ErrorMessage : "";
    errorStart = state_->ErrorStart;
    errorEnd = state_->ErrorEnd;
    extendedAccepts = failed && settings.dialect == Dialect::Strict && ExtendedDialectAccepts(*state_);
    otherFamily = failed ? OtherFamilyAccepts(*state_) : nullptr;
    note = ErrorNoteOf(*state_);
    ScanSourceTokens(*state_, raw_);
    Classify();
    RunChecks();
    CheckKorvidComments();
}

void Analysis::Classify() {
    tokens.clear();
    symbols.clear();
    byKey.clear();
    prefixes_.clear();
    if (vocabulary_.empty() || vocabularyOf_.family != settings.family || vocabularyOf_.dialect != settings.dialect) {
        vocabulary_.clear();
        for (const KeywordEntry& k : KeywordList(*settings.family, settings.dialect))
            vocabulary_.emplace(std::string(k.name), k.kind);
        vocabularyOf_ = settings;
    }
    auto keyword = [&](const std::string& upper) {
        auto it = vocabulary_.find(upper);
        return it == vocabulary_.end() ? KeywordClass::None : it->second;
    };
    const Dialect dialect = settings.dialect;
    const bool colonLabels = DialectHas(dialect, DialectDifference::ColonLabels);
    const bool namedParams = DialectHas(dialect, DialectDifference::NamedMacroParams);

    // The lines: [first, last) token ranges.
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    for (std::size_t i = 0; i < raw_.size();) {
        std::size_t j = i + 1;
        auto lineEnd = text_.find('\r', raw_[i].start);
        if (lineEnd == std::string::npos) lineEnd = text_.size();
        while (j < raw_.size() && raw_[j].start < lineEnd) ++j;
        lines.emplace_back(i, j);
        i = j;
    }
    auto nameKey = [&](const SourceToken& t, std::string& display) {
        std::string_view name = Text(text_, t);
        if (colonLabels && name.size() > 1 && name.back() == ':') name.remove_suffix(1);
        display = std::string(name);
        return Upper(name);
    };
    auto isDirective = [&](std::size_t i, std::string_view word) {
        return i < raw_.size() && raw_[i].kind == SourceTokenKind::Name && Upper(Text(text_, raw_[i])) == word;
    };

    // First walk: the definitions, so that uses above them resolve too.
    std::string prefix;
    for (auto [first, last] : lines) {
        const SourceToken& t = raw_[first];
        if (t.kind != SourceTokenKind::Name) continue;
        std::string display, upper = nameKey(t, display);
        if (keyword(upper) != KeywordClass::None) continue;
        const bool local = upper[0] == ':';
        std::string key = local ? prefix + upper : upper;
        auto known = byKey.find(key);
        if (known != byKey.end() && symbols[static_cast<std::size_t>(known->second)].kind == SymbolKind::Macro) continue;
        SymbolKind kind = local ? SymbolKind::LocalLabel : SymbolKind::Label;
        if (isDirective(first + 1, "EQU")) kind = SymbolKind::Constant;
        else if (isDirective(first + 1, "MACRO")) kind = SymbolKind::Macro;
        else if (first + 1 < last && Text(text_, raw_[first + 1]) == "=") kind = SymbolKind::Variable;
        if (!local) {
            prefix = upper;
            prefixes_.emplace_back(t.start, prefix);
        }
        if (known != byKey.end()) continue;
        Symbol s{key, display, kind, t.start, t.end};
        if (local) {
            auto parent = byKey.find(prefix);
            if (parent != byKey.end()) s.parent = parent->second;
        }
        s.value = FindSymbol(*state_, key);
        byKey.emplace(key, static_cast<int>(symbols.size()));
        symbols.push_back(std::move(s));
    }

    // Second walk: every token with its class.
    prefix.clear();
    std::vector<std::string> params;  // named parameters of the macro being defined
    bool inMacro = false;
    for (auto [first, last] : lines) {
        for (std::size_t i = first; i < last; ++i) {
            const SourceToken& t = raw_[i];
            ClassifiedToken c{t, FromSourceKind(t.kind)};
            if (t.kind == SourceTokenKind::Name) {
                std::string display, upper = nameKey(t, display);
                const KeywordClass k = keyword(upper);
                if (k != KeywordClass::None) {
                    c.cls = FromKeyword(k);
                    if (k == KeywordClass::Directive && upper == "ENDM") inMacro = false;
                } else if (inMacro && std::find(params.begin(), params.end(), upper) != params.end()) {
                    c.cls = TokenClass::MacroParameter;
                } else {
                    const bool local = upper[0] == ':';
                    if (i == first && !local) {
                        auto it = byKey.find(upper);
                        const bool call = it != byKey.end() &&
                                          symbols[static_cast<std::size_t>(it->second)].kind == SymbolKind::Macro &&
                                          symbols[static_cast<std::size_t>(it->second)].start != t.start;
                        if (!call) prefix = upper;
                    }
                    c.key = local ? prefix + upper : upper;
                    auto it = byKey.find(c.key);
                    if (it != byKey.end()) {
                        c.cls = TokenClass::Symbol;
                        c.symbol = it->second;
                        c.definition = symbols[static_cast<std::size_t>(it->second)].start == t.start;
                    }
                    if (c.definition && symbols[static_cast<std::size_t>(c.symbol)].kind == SymbolKind::Macro) {
                        inMacro = true;
                        params.clear();
                        if (namedParams)
                            for (std::size_t p = i + 2; p < last; ++p)
                                if (raw_[p].kind == SourceTokenKind::Name)
                                    params.push_back(Upper(Text(text_, raw_[p])));
                    }
                }
            }
            tokens.push_back(std::move(c));
        }
    }
}

const ClassifiedToken* Analysis::TokenAt(std::uint32_t offset) const {
    auto it = std::upper_bound(tokens.begin(), tokens.end(), offset,
                               [](std::uint32_t o, const ClassifiedToken& t) { return o < t.token.start; });
    if (it == tokens.begin()) return nullptr;
    --it;
    if (offset <= it->token.end) return &*it;
    return nullptr;
}

std::vector<const ClassifiedToken*> Analysis::UsesOf(int symbol) const {
    std::vector<const ClassifiedToken*> out;
    for (const ClassifiedToken& t : tokens)
        if (t.cls == TokenClass::Symbol && t.symbol == symbol) out.push_back(&t);
    return out;
}

std::string Analysis::PrefixAt(std::uint32_t offset) const {
    std::string prefix;
    for (const auto& [at, p] : prefixes_) {
        if (at > offset) break;
        prefix = p;
    }
    return prefix;
}

}  // namespace korvid::lsp
