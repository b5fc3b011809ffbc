// Editor features over an analysed document (Features.h).
#include "lsp/Features.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdio>

#include "core/asm/SourceFacts.h"
#include "family/Family.h"
#include "family/Layout.h"
#include "family/Registers.h"
#include "lsp/Checks.h"
#include "lsp/CycleHints.h"
#include "lsp/KorvidComment.h"
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

// "$1F · 31 · %11111" (negative values also as their 32-bit pattern).
std::string Bases(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    return "$" + Hex(u, 1) + " · " + std::to_string(value) + " · %" + Binary(u);
}

// Hover text in the client's format. Markdown marks names in bold and
// forms as list items and nothing else, so that it also reads well where a
// client shows it unrendered; plain text is the same without the bold.
class HoverWriter {
public:
    explicit HoverWriter(bool markdown) : markdown_(markdown) {}
    HoverWriter& Name(std::string_view name) {
        if (!markdown_) return Text(name);
        text_ += "**";
        // An underscore inside a word emphasises nothing; at its ends it would.
        for (std::size_t i = 0; i < name.size(); ++i) {
            const char c = name[i];
            if (c == '*' || c == '`' || c == '\\' || (c == '_' && (i == 0 || i + 1 == name.size()))) text_ += '\\';
            text_ += c;
        }
        text_ += "**";
        return *this;
    }
    HoverWriter& Text(std::string_view s) {
        text_ += s;
        return *this;
    }
    HoverWriter& Paragraph() { return Text("\n\n"); }
    HoverWriter& Item() { return Text(text_.empty() || text_.back() == '\n' ? "- " : "\n- "); }
    std::string Take() { return std::move(text_); }

private:
    bool markdown_;
    std::string text_;
};

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

// The page bits a LSET stores on this source's part: one for each address
// bit above the 512-word page (the part DEVICE chose decides on the 28L).
int PageBits(const Analysis& a) {
    const std::uint32_t mask = LayoutOf(*a.settings.family, a.state().ChipImage[kExtFuseIndex]).addressMask;
    return std::popcount(mask >> 9);
}

// "28L", "52".
std::string FamilyName(const Family& family) { return UpperName(family.name); }

std::string Plural(int n, std::string_view one) { return std::to_string(n) + " " + std::string(one) + (n == 1 ? "" : "s"); }

// "3 cycles, 4 jumping": one figure of a form, its other case when it has one.
std::string CyclesText(int cycles, int taken, std::string_view when, bool unit) {
    std::string s = unit ? Plural(cycles, "cycle") : std::to_string(cycles);
    if (taken) s += ", " + std::to_string(taken) + " " + std::string(when);
    return s;
}

// An instruction's forms with the words and cycles of this family: the
// 52 runs in turbo mode only, and the long forms store a word per page bit.
void InstructionHover(HoverWriter& out, std::string_view mnemonic, const Analysis& a) {
    out.Name(mnemonic).Text(" instruction");
    const Family& family = *a.settings.family;
    const bool turboOnly = family.fuseField(FuseField::Turbo).mask == 0;
    const int pageBits = PageBits(a);
    const std::vector<const InstructionForm*> forms = FormsOf(mnemonic);
    if (!forms.empty()) out.Paragraph();
    for (const InstructionForm* f : forms) {
        const int grow = f->growth == FormGrowth::PerPageBit ? pageBits : 0;
        const Cycles c{static_cast<std::uint8_t>(f->cycles.turbo + grow), static_cast<std::uint8_t>(f->cycles.compatible + grow)};
        std::string cost = Plural(f->words + grow, "word") + "; ";
        if (turboOnly || (c.turbo == c.compatible && f->taken.turbo == f->taken.compatible))
            cost += CyclesText(c.turbo, f->taken.turbo, f->takenWhen, true);
        else
            cost += "turbo " + CyclesText(c.turbo, f->taken.turbo, f->takenWhen, true) + "; compatible " +
                    CyclesText(c.compatible, f->taken.compatible, f->takenWhen, false);
        if (!f->flags.empty()) cost += "; changes " + std::string(f->flags);
        out.Item().Name(f->syntax).Text(" (" + cost + "): " + std::string(f->effect));
    }
    if (mnemonic == "BANK")
        out.Paragraph().Text("On the " + FamilyName(family) + " family the bank goes to FSR bits " +
                             std::to_string(family.bankShift + 2) + ".." + std::to_string(family.bankShift) + ".");
}
}  // namespace

std::vector<Diagnostic> Diagnostics(const Document& doc, const Analysis& a) {
    std::vector<Diagnostic> out;
    if (a.failed) {
        // A span stays on its line: an error at the end of a line (the
        // scanner's end-of-line token) is an empty range there, not one
        // that takes in the line break.
        const std::string& text = doc.asmText();
        const std::size_t lineEnd = std::min(text.find('\r', a.errorStart), text.size());
        const auto end = static_cast<std::uint32_t>(std::max<std::size_t>(a.errorStart, std::min<std::size_t>(a.errorEnd, lineEnd)));
        Range r = doc.AsmRange(a.errorStart, end);
        if (r.start == r.end && a.errorStart < lineEnd) r.end.character++;  // an empty span marks one character where there is one
        std::string message = a.errorMessage;
        if (a.extendedAccepts)
            message += " (the strict dialect refuses this; the extended dialect accepts the source: "
                       "set korvid.dialect to extended or write \"; korvid: dialect=extended\" in the first lines)";
        if (a.otherFamily)
            message += " (the " + FamilyName(*a.otherFamily) + " family assembles this source: set korvid.family to " +
                       std::string(a.otherFamily->name) + " or write \"; korvid: family=" + std::string(a.otherFamily->name) +
                       "\" in the first lines)";
        out.push_back({r, 1, "", message});
    }
    for (const Warning& w : a.warnings) out.push_back({doc.AsmRange(w.start, w.end), 2, w.code, w.message});
    for (Diagnostic& d : CycleDiagnostics(doc, a)) out.push_back(std::move(d));
    return out;
}

// The configuration fields a DEVICE word sets, with what their bits mean.
void DeviceWordHover(HoverWriter& out, const Family& family, std::string_view word) {
    const Family::DeviceParam* param = nullptr;
    for (const auto& [list, count] : {std::pair{family.deviceParams, family.deviceParamCount},
                                      std::pair{family.extendedDeviceParams, family.extendedDeviceParamCount}})
        for (int i = 0; i < count && !param; ++i)
            if (list[i].name == word) param = &list[i];
    if (!param) return;
    const ConfigWord configWord = param->extFuse ? ConfigWord::ExtFuse : ConfigWord::Fuse;
    bool any = false;
    for (int f = 0; f < static_cast<int>(FuseField::Count); ++f) {
        const FuseFieldInfo& field = family.fuseFields[f];
        if (field.word != configWord || (field.mask & param->mask) == 0) continue;
        if (!any) out.Paragraph();
        out.Item().Name(field.name).Text(": ").Text(field.meaning);
        any = true;
    }
    if (!any) out.Paragraph().Text("It sets no configuration bits (accepted as written for other tools).");
}

std::optional<HoverText> HoverAt(const Document& doc, const Analysis& a, Position p, bool markdown) {
    const ClassifiedToken* t = TokenAtPosition(doc, a, p);
    if (!t) return std::nullopt;
    const std::string upper = UpperName(TokenText(a, doc, *t));
    const Family& family = *a.settings.family;
    HoverWriter out(markdown);
    std::int32_t value = 0;
    auto bits = [&](const std::array<std::string_view, 8>& names) {
        out.Paragraph().Text("bits 7..0:");
        for (std::string_view n : names) out.Text(" ").Text(n);
    };
    switch (t->cls) {
        case TokenClass::Instruction: InstructionHover(out, upper, a); break;
        case TokenClass::Directive: out.Name(upper).Text(" directive: ").Text(DirectivePurpose(upper)); break;
        case TokenClass::DeviceWord:
            out.Name(upper).Text(": a DEVICE option of the " + FamilyName(family) + " family");
            DeviceWordHover(out, family, upper);
            break;
        case TokenClass::Register: {
            ClassifyKeyword(family, a.settings.dialect, upper, &value);
            out.Name(upper).Text(" register $" + Hex(static_cast<std::uint32_t>(value), 2));
            if (const std::string_view name = RegisterName(value); !name.empty() && name != upper)
                out.Text(" (").Text(name).Text(")");
            const Layout layout = LayoutOf(family, a.state().ChipImage[kExtFuseIndex]);
            // The port names run RA..RG (05h..0Bh); the part has the first portCount of them.
            constexpr int kPortNames = 7;
            if (const int port = value - kFirstPortRegister; port >= layout.portCount && port < kPortNames)
                out.Text(": not a port on this part (ports " + std::string(RegisterName(kFirstPortRegister)) + " to " +
                         std::string(RegisterName(kFirstPortRegister + layout.portCount - 1)) + "): a file register");
            else if (const std::string_view purpose = RegisterPurpose(value); !purpose.empty())
                out.Text(": ").Text(purpose);
            if (value == kStatusRegister) bits(kStatusBitNames);
            break;
        }
        case TokenClass::StatusBit: {
            ClassifyKeyword(family, a.settings.dialect, upper, &value);
            const int bit = value >> 8;
            out.Name(upper).Text(" ").Text(RegisterName(kStatusRegister)).Text("." + std::to_string(bit) + ": ")
                .Text(StatusBitPurpose(bit));
            break;
        }
        case TokenClass::Symbol: {
            const Symbol& s = a.symbols[static_cast<std::size_t>(t->symbol)];
            out.Name(s.name).Text(" ").Text(KindName(s.kind));
            if (s.value && s.kind != SymbolKind::Macro) out.Text(" = " + Bases(*s.value));
            // A code address's page, and whether a CALL reaches it (the first half of a page only).
            const bool label = s.kind == SymbolKind::Label || s.kind == SymbolKind::LocalLabel;
            if (label && s.value && *s.value >= 0 && *s.value < family.maxProgramSize) {
                const auto address = static_cast<std::uint32_t>(*s.value);
                out.Text(" in page " + std::to_string(address / kPageWords) +
                         (address % kPageWords >= kPageWords / 2 ? ", its second half (out of a CALL's reach)" : ""));
            }
            out.Paragraph().Text("defined on line " + std::to_string(doc.AsmPosition(s.start).line + 1));
            break;
        }
        case TokenClass::Number:
            // "$" and "%" alone are the location and the REPT count: no number to show.
            if (t->token.end - t->token.start > 1 || std::isdigit(static_cast<unsigned char>(doc.asmText()[t->token.start])))
                out.Text("number " + Bases(t->token.value));
            break;
        case TokenClass::String:
            // A quoted character is a number too.
            if (t->token.end - t->token.start == 3)
                out.Text("character " + Bases(t->token.value));
            break;
        case TokenClass::OperandWord:
            if (const std::string_view purpose = OperandWordPurpose(upper); !purpose.empty()) {
                out.Name(upper).Text(" ").Text(purpose);
                if (upper == kRegisterMName)
                    out.Text(" (" + std::to_string(std::popcount(family.modeMask)) + " bits on the " + FamilyName(family) +
                             " family)");
                if (upper == kOptionRegisterName) bits(kOptionBitNames);
            }
            break;
        case TokenClass::Comment: {
            // A korvid comment's word: what the check it silences finds, or the setting.
            const std::string_view comment = TokenText(a, doc, *t);
            const std::uint32_t at = doc.AsmOffsetOf(p) - t->token.start;
            for (const KorvidWord& w : ReadKorvidComment(comment)) {
                const std::size_t length = w.key == "ignore" ? w.value.size() : w.key.size() + 1 + w.value.size();
                if (at < w.at || at > w.at + length) continue;
                if (w.key == "ignore") {
                    for (const CheckInfo& c : Checks())
                        if (c.code == w.value) out.Name(c.code).Text(": silences the SX check for ").Text(c.what).Text(" on this line");
                } else if (w.key == "family" || w.key == "dialect") {
                    out.Name(std::string(w.key) + "=" + std::string(w.value)).Text(": this source is assembled for the ")
                        .Text(FamilyName(family) + " family in the ")
                        .Text(a.settings.dialect == Dialect::Strict ? "strict" : "extended").Text(" dialect");
                }
                break;
            }
            break;
        }
        default: break;
    }
    std::string text = out.Take();
    if (text.empty()) return std::nullopt;
    return HoverText{doc.AsmRange(t->token.start, t->token.end), std::move(text)};
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
    std::vector<SymbolKind> kinds;  // of the items of `out`
    const std::string& text = doc.asmText();
    auto lineEnd = [&](std::uint32_t at) {
        std::size_t end = text.find('\r', at);
        return doc.AsmPosition(static_cast<std::uint32_t>(end == std::string::npos ? text.size() : end));
    };
    auto lineRange = [&](std::uint32_t at) { return Range{{doc.AsmPosition(at).line, 0}, lineEnd(at)}; };
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
            out[static_cast<std::size_t>(currentLabel)].children.push_back(std::move(item));
            continue;
        }
        out.push_back(std::move(item));
        kinds.push_back(s.kind);
        // Local labels go under their global label, or under the macro whose body holds them.
        if (s.kind == SymbolKind::Label || s.kind == SymbolKind::Macro) currentLabel = static_cast<int>(out.size()) - 1;
        else if (s.kind != SymbolKind::LocalLabel) currentLabel = -1;
    }
    // A global label's block runs to the line before the next global label
    // or macro (or the end of the source), so that breadcrumbs and folding
    // take in its code; a macro's runs to its ENDM.
    std::vector<std::uint32_t> endms;
    for (const ClassifiedToken& t : a.tokens)
        if (t.cls == TokenClass::Directive && UpperName(TokenText(a, doc, t)) == "ENDM") endms.push_back(t.token.start);
    const Position sourceEnd = doc.AsmPosition(static_cast<std::uint32_t>(text.size()));
    for (std::size_t i = 0; i < out.size(); ++i) {
        OutlineItem& item = out[i];
        if (kinds[i] == SymbolKind::Macro) {
            const std::uint32_t at = doc.AsmOffsetOf(item.selection.start);
            auto endm = std::lower_bound(endms.begin(), endms.end(), at);
            item.range.end = endm == endms.end() ? sourceEnd : lineEnd(*endm);
        } else if (kinds[i] == SymbolKind::Label) {
            std::size_t next = i + 1;
            while (next < out.size() && kinds[next] != SymbolKind::Label && kinds[next] != SymbolKind::Macro) ++next;
            if (next == out.size()) {
                item.range.end = sourceEnd;
            } else if (const int line = out[next].range.start.line - 1; line > item.range.start.line) {
                item.range.end = lineEnd(doc.AsmOffsetOf({line, 0}));
            }
        }
        for (const OutlineItem& child : item.children)  // a child always lies inside
            if (item.range.end.line < child.range.end.line ||
                (item.range.end.line == child.range.end.line && item.range.end.character < child.range.end.character))
                item.range.end = child.range.end;
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
        else if (k.kind == KeywordClass::OperatorWord && !OperandWordPurpose(name).empty())
            out.push_back({name, 6, "operand word", ""});
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
