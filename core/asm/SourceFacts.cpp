// Tokens, vocabulary and per-instruction facts for editors (SourceFacts.h).
#include "core/asm/SourceFacts.h"

#include "core/asm/AsmCore.h"
#include "core/asm/Keywords.h"

namespace korvid {

namespace {
constexpr char kCr = 13;

SourceTokenKind KindOf(const char* src, const SourceToken& t, Tok tok) {
    const char c = src[t.start];
    if (c == ';') return SourceTokenKind::Comment;
    if (c == '\'') return SourceTokenKind::String;
    switch (tok) {
        case Tok::Comma: case Tok::OpenParen: case Tok::CloseParen: case Tok::Hash: case Tok::At: case Tok::Bang:
            return SourceTokenKind::Punctuation;
        case Tok::Constant:
            return SourceTokenKind::Number;  // names are not looked up here
        case Tok::Undefined:
            return SourceTokenKind::Name;
        default:
            return SourceTokenKind::Operator;
    }
}

// STATUS bits are entered as constants (bit << 8 | STATUS) like registers.
bool IsStatusBitName(std::string_view name, std::int32_t value) {
    return (value & 0xFF) == 0x003 && name != "STATUS";
}

KeywordClass ClassOf(std::string_view name, Tok kind, std::int32_t value) {
    switch (kind) {
        case Tok::Directive: return KeywordClass::Directive;
        case Tok::Instruction: return KeywordClass::Instruction;
        case Tok::DeviceParam: return KeywordClass::DeviceParam;
        case Tok::WatchFormat: return KeywordClass::WatchFormat;
        case Tok::IrcMode: return KeywordClass::IrcMode;
        case Tok::Constant:
            return IsStatusBitName(name, value) ? KeywordClass::StatusBit : KeywordClass::Register;
        case Tok::Not: case Tok::Logical:
            // NOT, AND, OR and XOR also stand as instructions at a line's start.
            return KeywordClass::Instruction;
        default: return KeywordClass::OperatorWord;
    }
}
}  // namespace

void ScanSourceTokens(AssemblyState& state, std::vector<SourceToken>& out) {
    out.clear();
    AsmWork& w = *state.work;
    const std::uint32_t keepStart = state.ErrorStart, keepEnd = state.ErrorEnd;
    const char* keepMessage = state.ErrorMessage;
    const std::uint8_t keepFlag = state.ErrorFlag;
    w.state = &state;
    w.family = state.family;
    w.dialect = state.dialect;
    w.nameLimit = DialectHas(state.dialect, DialectDifference::LongNames) ? kMaxNameLength : kStrictNameLength;
    w.src = state.SourceText ? state.SourceText : "";
    w.pos = 0;
    w.stringMode = 0;
    w.frame = kNoFrame;
    w.skipLookup = true;
    w.scannedBytes = 0;
    const char* src = w.src;
    for (;;) {
        const std::uint32_t before = w.pos;
        try {
            Tok t = ReadToken(w);
            SourceToken token{state.ErrorStart, state.ErrorEnd, SourceTokenKind::Name, w.value};
            if (t == Tok::EndOfLine) {
                if (src[token.start] == ';') {
                    std::uint32_t end = token.start;
                    while (src[end] != kCr && src[end] != 0) ++end;
                    out.push_back({token.start, end, SourceTokenKind::Comment});
                }
                if (w.atEnd) break;
                continue;
            }
            token.kind = KindOf(src, token, t);
            // A string comes in pieces: one token from quote to quote.
            while (w.stringMode != 0) {
                ReadToken(w);
                if (w.kind != Tok::Comma) token.end = state.ErrorEnd;
            }
            out.push_back(token);
        } catch (const AsmAbort&) {
            // The rest of the line is one error token; scanning goes on
            // with the next line.
            std::uint32_t start = state.ErrorStart, end = start;
            while (src[end] != kCr && src[end] != 0) ++end;
            out.push_back({start, end, SourceTokenKind::Error});
            w.stringMode = 0;
            if (src[end] == 0) break;
            w.pos = end + 1 > before ? end + 1 : before + 1;  // always onwards
        }
    }
    w.skipLookup = false;
    state.ErrorStart = keepStart;
    state.ErrorEnd = keepEnd;
    state.ErrorMessage = keepMessage;
    state.ErrorFlag = keepFlag;
}

std::vector<KeywordEntry> KeywordList(const Family& family, Dialect dialect) {
    std::vector<KeywordEntry> list;
    auto add = [&](std::string_view name, Tok kind, std::int32_t value) {
        list.push_back({name, ClassOf(name, kind, value), value});
    };
    ForEachKeyword(family, add);
    ForEachDialectKeyword(family, dialect, add);
    return list;
}

KeywordClass ClassifyKeyword(const Family& family, Dialect dialect, std::string_view upperName, std::int32_t* value) {
    KeywordClass found = KeywordClass::None;
    auto look = [&](std::string_view name, Tok kind, std::int32_t v) {
        if (found != KeywordClass::None || name != upperName) return;
        found = ClassOf(name, kind, v);
        if (value) *value = v;
    };
    ForEachKeyword(family, look);
    ForEachDialectKeyword(family, dialect, look);
    return found;
}

void NoteCut(AsmWork& w, std::int32_t value, std::int32_t low, std::int32_t high, std::uint32_t stored, int bits,
             bool literal) {
    if (w.pass != 2 || w.unresolved || (value >= low && value <= high)) return;
    if (w.cutCount >= static_cast<std::uint32_t>(kMaxFieldCuts)) return;
    const std::uint32_t start = w.state->ErrorStart, end = w.state->ErrorEnd;
    w.cuts[w.cutCount++] = {start, end, value, stored, static_cast<std::uint8_t>(bits), w.frame != kNoFrame, literal};
}

std::span<const InstructionFact> InstructionFacts(const AssemblyState& state) {
    if (!state.work) return {};
    return {state.work->facts, state.work->factCount};
}

std::span<const FieldCut> FieldCuts(const AssemblyState& state) {
    if (!state.work) return {};
    return {state.work->cuts, state.work->cutCount};
}

}  // namespace korvid
