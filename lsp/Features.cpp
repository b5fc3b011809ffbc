// Editor features over an analysed document (Features.h).
#include "lsp/Features.h"

#include <algorithm>
#include <cstdio>

#include "core/asm/SourceFacts.h"
#include "family/Family.h"
#include "lsp/Reference.h"

namespace korvid::lsp {

namespace {
std::string Hex(std::uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

std::string Binary(std::uint32_t v) {
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>('0' + (v & 1)));
        v >>= 1;
    } while (v);
    return out;
}

// "$1F = 31 = %11111" (negative values also as their 32-bit pattern).
std::string Bases(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    return "`$" + Hex(u, 1) + "` · `" + std::to_string(value) + "` · `%" + Binary(u) + "`";
}

const char* KindName(SymbolKind k) {
    switch (k) {
        case SymbolKind::Label: return "label";
        case SymbolKind::LocalLabel: return "local label";
        case SymbolKind::Constant: return "constant (EQU)";
        case SymbolKind::Variable: return "variable (=)";
        case SymbolKind::Macro: return "macro";
    }
    return "";
}

std::string_view TokenText(const Analysis& a, const Document& doc, const ClassifiedToken& t) {
    (void)a;
    return std::string_view(doc.asmText()).substr(t.token.start, t.token.end - t.token.start);
}

const ClassifiedToken* TokenAtPosition(const Document& doc, const Analysis& a, Position p) {
    return a.TokenAt(doc.AsmOffsetOf(p));
}

// A name's range without the colon a colon label ends with.
Range NameRange(const Document& doc, const Analysis& a, const ClassifiedToken& t) {
    std::uint32_t end = t.token.end;
    if (end > t.token.start + 1 && doc.asmText()[end - 1] == ':' &&
        DialectHas(a.settings.dialect, DialectDifference::ColonLabels))
        --end;
    return doc.AsmRange(t.token.start, end);
}

// The value of a number token as the scanner reads it.
std::optional<std::int64_t> NumberValue(std::string_view s) {
    if (s.empty() || s == "$" || s == "%" || s[0] == '\'') return std::nullopt;
    int base = 10;
    if (s[0] == '$') base = 16, s.remove_prefix(1);
    else if (s[0] == '%') base = 2, s.remove_prefix(1);
    else if (s.back() == 'h' || s.back() == 'H') base = 16, s.remove_suffix(1);
    else if (s.back() == 'b' || s.back() == 'B') base = 2, s.remove_suffix(1);
    std::int64_t v = 0;
    for (char c : s) {
        if (c == '_') continue;
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 99;
        if (d >= base) return std::nullopt;
        v = v * base + d;
    }
    return v;
}

std::string InstructionHover(std::string_view mnemonic) {
    auto forms = FormsOf(mnemonic);
    if (forms.empty()) return "**" + std::string(mnemonic) + "** instruction";
    std::string md = "**" + std::string(mnemonic) + "** instruction\n\n"
                     "| form | words | cycles (turbo / compatible) | flags | does |\n|---|---|---|---|---|\n";
    for (const InstructionForm* f : forms)
        md += "| `" + std::string(f->syntax) + "` | " + std::string(f->words) + " | " + std::string(f->turbo) +
              " / " + std::string(f->compatible) + " | " + std::string(f->flags) + " | " + std::string(f->effect) +
              " |\n";
    return md;
}
}  // namespace

std::vector<Diagnostic> Diagnostics(const Document& doc, const Analysis& a) {
    std::vector<Diagnostic> out;
    if (a.failed) {
        Range r = doc.AsmRange(a.errorStart, a.errorEnd);
        if (r.start == r.end) {  // an empty span marks one character where there is one
            const std::string& text = doc.asmText();
            if (a.errorStart < text.size() && text[a.errorStart] != '\r') r.end.character++;
        }
        std::string message = a.errorMessage;
        if (a.extendedAccepts)
            message += " (the strict dialect refuses this; the extended dialect accepts the source: "
                       "set korvid.dialect to extended or write \"; korvid: dialect=extended\" in the first lines)";
        out.push_back({r, 1, "", message});
    }
    for (const Warning& w : a.warnings) out.push_back({doc.AsmRange(w.start, w.end), 2, w.code, w.message});
    return out;
}

std::optional<HoverText> HoverAt(const Document& doc, const Analysis& a, Position p) {
    const ClassifiedToken* t = TokenAtPosition(doc, a, p);
    if (!t) return std::nullopt;
    const std::string upper = UpperName(TokenText(a, doc, *t));
    std::string md;
    std::int32_t value = 0;
    switch (t->cls) {
        case TokenClass::Instruction: md = InstructionHover(upper); break;
        case TokenClass::Directive: md = "**" + upper + "** directive: " + std::string(DirectivePurpose(upper)); break;
        case TokenClass::DeviceWord: md = "**" + upper + "**: a DEVICE option of the " + std::string(a.settings.family->title) + " family"; break;
        case TokenClass::Register:
        case TokenClass::StatusBit: {
            ClassifyKeyword(*a.settings.family, a.settings.dialect, upper, &value);
            if (t->cls == TokenClass::Register) {
                md = "**" + upper + "** register `$" + Hex(static_cast<std::uint32_t>(value), 2) + "`: " +
                     std::string(RegisterPurpose(upper));
                if (auto bits = RegisterBits(upper); !bits.empty()) md += "\n\nbits 7..0: `" + std::string(bits) + "`";
            } else {
                md = "**" + upper + "** " + std::string(RegisterPurpose(upper));
            }
            break;
        }
        case TokenClass::Symbol: {
            const Symbol& s = a.symbols[static_cast<std::size_t>(t->symbol)];
            md = "**" + s.name + "** " + KindName(s.kind);
            if (s.value && s.kind != SymbolKind::Macro) md += " = " + Bases(*s.value);
            md += "\n\ndefined on line " + std::to_string(doc.AsmPosition(s.start).line + 1);
            break;
        }
        case TokenClass::Number:
            if (auto v = NumberValue(TokenText(a, doc, *t))) md = "number " + Bases(static_cast<std::int32_t>(*v));
            break;
        case TokenClass::String:
            // A quoted character is a number too.
            if (t->token.end - t->token.start == 3) md = "character " + Bases(static_cast<unsigned char>(doc.asmText()[t->token.start + 1]));
            break;
        case TokenClass::OperandWord:
            if (auto purpose = RegisterPurpose(upper); !purpose.empty()) {
                md = "**" + upper + "** " + std::string(purpose);
                if (auto bits = RegisterBits(upper); !bits.empty()) md += "\n\nbits 7..0: `" + std::string(bits) + "`";
            }
            break;
        default: break;
    }
    if (md.empty()) return std::nullopt;
    return HoverText{doc.AsmRange(t->token.start, t->token.end), md};
}

std::optional<Range> DefinitionAt(const Document& doc, const Analysis& a, Position p) {
    const ClassifiedToken* t = TokenAtPosition(doc, a, p);
    if (!t || t->cls != TokenClass::Symbol) return std::nullopt;
    for (const ClassifiedToken* u : a.UsesOf(t->symbol))
        if (u->definition) return NameRange(doc, a, *u);
    return std::nullopt;
}

std::vector<Use> UsesAt(const Document& doc, const Analysis& a, Position p) {
    std::vector<Use> out;
    const ClassifiedToken* t = TokenAtPosition(doc, a, p);
    if (!t || t->cls != TokenClass::Symbol) return out;
    for (const ClassifiedToken* u : a.UsesOf(t->symbol)) out.push_back({NameRange(doc, a, *u), u->definition});
    return out;
}

std::optional<RenameSpot> RenameTarget(const Document& doc, const Analysis& a, Position p) {
    const ClassifiedToken* t = TokenAtPosition(doc, a, p);
    if (!t || t->cls != TokenClass::Symbol) return std::nullopt;
    const Range r = NameRange(doc, a, *t);
    const std::string& text = doc.asmText();
    const std::uint32_t s = doc.AsmOffsetOf(r.start), e = doc.AsmOffsetOf(r.end);
    return RenameSpot{r, text.substr(s, e - s)};
}

std::vector<std::pair<Range, std::string>> RenameEdits(const Document& doc, const Analysis& a, Position p,
                                                       const std::string& newName, std::string& problem) {
    std::vector<std::pair<Range, std::string>> edits;
    const ClassifiedToken* t = TokenAtPosition(doc, a, p);
    if (!t || t->cls != TokenClass::Symbol) {
        problem = "there is no symbol here to rename";
        return edits;
    }
    const Symbol& s = a.symbols[static_cast<std::size_t>(t->symbol)];
    const bool local = s.kind == SymbolKind::LocalLabel;
    std::string name = newName;
    if (local && !name.empty() && name[0] != ':') name = ":" + name;
    const std::size_t limit = DialectHas(a.settings.dialect, DialectDifference::LongNames) ? 64 : 32;
    bool valid = !name.empty() && name.size() <= limit && (name[0] == ':') == local;
    for (std::size_t i = 0; valid && i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c == ':' && i == 0);
        valid = letter || (i > (local ? 1u : 0u) && c >= '0' && c <= '9');
    }
    const std::string upper = UpperName(name);
    if (!valid) {
        problem = "\"" + newName + "\" is not a valid " + (local ? "local label (:name)" : "name");
        return edits;
    }
    if (ClassifyKeyword(*a.settings.family, a.settings.dialect, upper) != KeywordClass::None) {
        problem = "\"" + newName + "\" is a keyword";
        return edits;
    }
    const std::string key = local && s.parent >= 0 ? a.symbols[static_cast<std::size_t>(s.parent)].key + upper : upper;
    if (auto it = a.byKey.find(key); it != a.byKey.end() && it->second != t->symbol) {
        problem = "\"" + newName + "\" is already defined";
        return edits;
    }
    for (const ClassifiedToken* u : a.UsesOf(t->symbol)) edits.emplace_back(NameRange(doc, a, *u), name);
    return edits;
}

std::vector<OutlineItem> Outline(const Document& doc, const Analysis& a) {
    std::vector<OutlineItem> out;
    const std::string& text = doc.asmText();
    auto lineRange = [&](std::uint32_t at) {
        const Position p = doc.AsmPosition(at);
        std::size_t end = text.find('\r', at);
        if (end == std::string::npos) end = text.size();
        return Range{{p.line, 0}, doc.AsmPosition(static_cast<std::uint32_t>(end))};
    };
    int currentLabel = -1;  // index in out of the global label the locals go under
    for (const Symbol& s : a.symbols) {
        OutlineItem item{s.name, "", 12, lineRange(s.start), doc.AsmRange(s.start, s.start + static_cast<std::uint32_t>(s.name.size())), {}};
        if (s.value && s.kind != SymbolKind::Macro) item.detail.append("$").append(Hex(static_cast<std::uint32_t>(*s.value), 3));
        switch (s.kind) {
            case SymbolKind::Label: item.kind = 12; break;
            case SymbolKind::LocalLabel: item.kind = 12; break;
            case SymbolKind::Constant: item.kind = 14; break;
            case SymbolKind::Variable: item.kind = 13; break;
            case SymbolKind::Macro: item.kind = 6; item.detail = "macro"; break;
        }
        if (s.kind == SymbolKind::LocalLabel && currentLabel >= 0 &&
            s.parent >= 0 && a.symbols[static_cast<std::size_t>(s.parent)].name == out[static_cast<std::size_t>(currentLabel)].name) {
            OutlineItem& parent = out[static_cast<std::size_t>(currentLabel)];
            parent.range.end = item.range.end;  // the label's block reaches its last local label
            parent.children.push_back(std::move(item));
            continue;
        }
        out.push_back(std::move(item));
        // Local labels go under their global label, or under the macro whose body holds them.
        if (s.kind == SymbolKind::Label || s.kind == SymbolKind::Macro) currentLabel = static_cast<int>(out.size()) - 1;
        else if (s.kind != SymbolKind::LocalLabel) currentLabel = -1;
    }
    return out;
}

std::vector<CompletionEntry> CompletionsAt(const Document& doc, const Analysis& a, Position p) {
    std::vector<CompletionEntry> out;
    const std::uint32_t offset = doc.AsmOffsetOf(p);
    const std::string& text = doc.asmText();
    const std::size_t lineStart = offset == 0 ? 0 : text.rfind('\r', offset - 1) + 1;  // npos + 1 == 0
    // What stands on the line before the cursor.
    bool afterDevice = false, operand = false, afterWatch = false;
    auto first = std::lower_bound(a.tokens.begin(), a.tokens.end(), lineStart,
                                  [](const ClassifiedToken& t, std::size_t at) { return t.token.start < at; });
    for (auto it = first; it != a.tokens.end(); ++it) {
        const ClassifiedToken& t = *it;
        if (t.token.end >= offset) break;
        const std::string upper = UpperName(std::string_view(text).substr(t.token.start, t.token.end - t.token.start));
        if (t.cls == TokenClass::Directive && upper == "DEVICE") afterDevice = true;
        if (t.cls == TokenClass::Directive && upper == "WATCH") afterWatch = true;
        if (t.cls == TokenClass::Instruction || t.cls == TokenClass::Directive ||
            (t.cls == TokenClass::Symbol && a.symbols[static_cast<std::size_t>(t.symbol)].kind == SymbolKind::Macro))
            operand = true;
    }
    const Family& family = *a.settings.family;
    for (const KeywordEntry& k : KeywordList(family, a.settings.dialect)) {
        const std::string name(k.name);
        if (afterDevice) {
            if (k.kind == KeywordClass::DeviceParam) out.push_back({name, 20, "DEVICE option", ""});
            continue;
        }
        if (!operand) {
            if (k.kind == KeywordClass::Instruction)
                out.push_back({name, 14, "instruction", ""});
            else if (k.kind == KeywordClass::Directive)
                out.push_back({name, 14, "directive", ""});
            continue;
        }
        if (k.kind == KeywordClass::Register)
            out.push_back({name, 6, "register $" + Hex(static_cast<std::uint32_t>(k.value), 2), ""});
        else if (k.kind == KeywordClass::StatusBit)
            out.push_back({name, 6, "STATUS." + std::to_string(k.value >> 8), ""});
        else if (k.kind == KeywordClass::WatchFormat && afterWatch)
            out.push_back({name, 20, "watch format", ""});
    }
    if (afterDevice) return out;
    // Symbols in scope: every global one, and the local labels of the
    // global label in force here.
    const std::string prefix = a.PrefixAt(offset);
    for (const Symbol& s : a.symbols) {
        if (!operand && s.kind != SymbolKind::Macro) continue;
        if (operand && s.kind == SymbolKind::Macro) continue;
        if (s.kind == SymbolKind::LocalLabel && (s.parent < 0 || a.symbols[static_cast<std::size_t>(s.parent)].key != prefix))
            continue;
        std::string detail = KindName(s.kind);
        if (s.value && s.kind != SymbolKind::Macro) detail += " = $" + Hex(static_cast<std::uint32_t>(*s.value), 1);
        const int kind = s.kind == SymbolKind::Constant ? 21 : s.kind == SymbolKind::Variable ? 6
                         : s.kind == SymbolKind::Macro ? 2 : 3;
        out.push_back({s.name, kind, detail, ""});
    }
    return out;
}

namespace {
enum TokenType { kComment, kString, kNumber, kLabel, kInstruction, kDirective, kRegister, kConstant, kVariable,
                 kMacro, kKeyword, kParameter, kTypeCount };
}

std::vector<std::string> SemanticTokenTypes() {
    return {"comment", "string", "number", "label", "instruction", "directive", "register",
            "constant", "variable", "macro", "keyword", "parameter"};
}

std::vector<std::string> SemanticTokenModifiers() { return {"declaration", "local"}; }

std::vector<int> EncodeSemanticTokens(const Document& doc, const Analysis& a) {
    std::vector<int> data;
    data.reserve(a.tokens.size() * 5);
    Position last{0, 0};
    for (const ClassifiedToken& t : a.tokens) {
        int type = -1, modifiers = 0;
        switch (t.cls) {
            case TokenClass::Comment: type = kComment; break;
            case TokenClass::String: type = kString; break;
            case TokenClass::Number: type = kNumber; break;
            case TokenClass::Instruction: type = kInstruction; break;
            case TokenClass::Directive: type = kDirective; break;
            case TokenClass::Register:
            case TokenClass::StatusBit: type = kRegister; break;
            case TokenClass::DeviceWord:
            case TokenClass::OperandWord:
            case TokenClass::WatchFormat: type = kKeyword; break;
            case TokenClass::MacroParameter: type = kParameter; break;
            case TokenClass::Symbol:
                switch (a.symbols[static_cast<std::size_t>(t.symbol)].kind) {
                    case SymbolKind::Label: type = kLabel; break;
                    case SymbolKind::LocalLabel: type = kLabel; modifiers |= 2; break;
                    case SymbolKind::Constant: type = kConstant; break;
                    case SymbolKind::Variable: type = kVariable; break;
                    case SymbolKind::Macro: type = kMacro; break;
                }
                if (t.definition) modifiers |= 1;
                break;
            default: break;
        }
        if (type < 0) continue;
        const Position p = doc.AsmPosition(t.token.start);
        const int length = static_cast<int>(t.token.end - t.token.start);
        data.push_back(p.line - last.line);
        data.push_back(p.line == last.line ? p.character - last.character : p.character);
        data.push_back(length);
        data.push_back(type);
        data.push_back(modifiers);
        last = p;
    }
    return data;
}

}  // namespace korvid::lsp
