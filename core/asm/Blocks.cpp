// Conditional assembly (IFDEF, IFNDEF, IF, ELSE, ENDIF), repetition (REPT,
// ENDR) and macros (MACRO, EXITM, ENDM, calls). Nothing is copied: REPT and
// macros move the scanner back to remembered offsets in the source, and
// macro arguments are values kept in frames.
#include <cstring>

#include "core/asm/AsmCore.h"
#include "core/asm/Directives.h"

namespace korvid {

namespace {
constexpr std::uint32_t kMaxMacroCalls = 32u * 32u * 32u * 32u;  // distinct call prefixes
constexpr std::uint32_t kMaxBodyOffset = 0xFFFFFF;
constexpr int kMaxMacroParameters = 64;

// The count byte of a macro's symbol value (count << 24 | body offset):
// 0..64 arguments, kAnyArgumentCount for any number, or kNamedParameters
// plus 1..64 for as many named parameters.
constexpr std::uint32_t kAnyArgumentCount = 0x80;
constexpr std::uint32_t kNamedParameters = 0x80;
constexpr bool TakesAnyCount(std::uint32_t countByte) { return countByte == kAnyArgumentCount; }
constexpr bool HasNamedParameters(std::uint32_t countByte) { return countByte > kNamedParameters; }
constexpr std::uint32_t ArgumentCount(std::uint32_t countByte) { return countByte & 0x7F; }

// Frame layout in the frame area: previous frame, end of this frame, the
// called macro's symbol value, argument records (5 bytes: unresolved flag,
// value; record 0 = count), the caller's global-label prefix (length,
// text), the offset in the calling line just before its end of line.
constexpr std::uint32_t kPrevField = 0;
constexpr std::uint32_t kEndField = 4;
constexpr std::uint32_t kMacroField = 8;
constexpr std::uint32_t kRecordsField = 12;
constexpr std::uint32_t kRecordSize = 5;

std::uint32_t Get32(const AsmWork& w, std::uint32_t at) {
    std::uint32_t v;
    std::memcpy(&v, w.frameArea + at, 4);
    return v;
}
void Put32(AsmWork& w, std::uint32_t at, std::uint32_t v) { std::memcpy(w.frameArea + at, &v, 4); }

// THEN at the end of an IF, IFDEF or IFNDEF line, where the dialect has it.
void SkipThen(AsmWork& w) {
    if (!Has(w, DialectDifference::ThenEndsIf)) return;
    ReadToken(w);
    if (!IsThen(w)) UnreadToken(w);
}

void OpenBlock(AsmWork& w, bool condition) {
    SkipThen(w);
    if (condition && w.ifDepth == w.activeDepth) ++w.activeDepth;
    ++w.ifDepth;
}

void IfDefined(AsmWork& w, bool wantDefined) {
    Tok t = ReadToken(w);
    const bool variable = t == Tok::Variable && Has(w, DialectDifference::IfdefOfVariable);
    if (t != Tok::Undefined && t != Tok::Constant && !variable) Fail(w, AsmMsg::ExpectedLabel);
    OpenBlock(w, (t != Tok::Undefined) == wantDefined);
}

void Else(AsmWork& w) {
    if (w.ifDepth == 0) Fail(w, AsmMsg::ElseEndifWithoutIf);
    std::uint32_t d = w.ifDepth - 1;
    if (d == w.activeDepth)
        ++w.activeDepth;
    else if (d < w.activeDepth)
        --w.activeDepth;
}

void Endif(AsmWork& w) {
    if (w.ifDepth == 0) Fail(w, AsmMsg::ElseEndifWithoutIf);
    if (w.ifDepth == w.activeDepth) --w.activeDepth;
    --w.ifDepth;
}

void Rept(AsmWork& w) {
    if (w.reptDepth == kMaxReptDepth) Fail(w, AsmMsg::NestedReptLimit);
    std::int32_t count = ReadDefinedExpression(w);
    if (count <= 0) Fail(w, AsmMsg::ReptCountPositive);
    w.rept[w.reptDepth++] = {1, static_cast<std::uint32_t>(count), w.pos};
}

void Endr(AsmWork& w) {
    if (w.reptDepth == 0) Fail(w, AsmMsg::EndrWithoutRept);
    if (++w.reptTotal > kMaxReptTotal) Fail(w, AsmMsg::TotalReptLimit);
    ReptEntry& top = w.rept[w.reptDepth - 1];
    if (++top.iteration <= top.count) {
        // Back to the REPT line's end of line, then the block again.
        w.pos = top.offset;
        w.stringMode = 0;
        w.listSuppressed = true;
    } else {
        --w.reptDepth;
    }
}

// The key of a named macro parameter in the symbol table: a byte no name
// holds, the macro's body offset in six hex digits, the name.
int MacroParameterKey(std::uint32_t body, const char* name, int length, char* key) {
    key[0] = '\x01';
    for (int i = 0; i < 6; ++i) key[1 + i] = "0123456789ABCDEF"[(body >> (20 - 4 * i)) & 0xF];
    for (int i = 0; i < length; ++i) key[7 + i] = name[i];
    key[7 + length] = 0;
    return 7 + length;
}

// The last token is a name a parameter may take: not a keyword of its own
// kind (registers and other constants may be shadowed).
bool IsParameterName(const AsmWork& w, Tok t) {
    const auto c = static_cast<unsigned char>(w.src[w.state->ErrorStart]);
    const bool name = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    return name && (t == Tok::Undefined || t == Tok::Constant || t == Tok::Variable);
}

// "name MACRO a, b, c" where the dialect has named parameters: a list of
// names, told from a count by its first name being undefined or followed by
// ",". Reads the names and returns how many; 0 (nothing read) for a count.
int ReadParameterNames(AsmWork& w, char (&names)[kMaxMacroParameters][kMaxNameLength + 1], int (&lengths)[kMaxMacroParameters]) {
    if (!Has(w, DialectDifference::NamedMacroParams)) return 0;
    Tok first = ReadToken(w);
    bool list = IsParameterName(w, first);
    if (list && first != Tok::Undefined) {
        list = ReadToken(w) == Tok::Comma;
        UnreadToken(w);
    }
    UnreadToken(w);
    if (!list) return 0;
    int n = 0;
    for (;;) {
        if (!IsParameterName(w, ReadToken(w))) Fail(w, AsmMsg::ExpectedLabel);
        if (n == kMaxMacroParameters) Fail(w, AsmMsg::ExpectedValue0To64);
        for (int i = 0; i < n; ++i)
            if (lengths[i] == w.nameLength && std::memcmp(names[i], w.name, std::size_t(w.nameLength)) == 0)
                Fail(w, AsmMsg::DuplicateMacroParameter);
        std::memcpy(names[n], w.name, std::size_t(w.nameLength) + 1);
        lengths[n++] = w.nameLength;
        Tok t = ReadToken(w);
        if (t == Tok::Comma) continue;
        if (t != Tok::EndOfLine) Fail(w, AsmMsg::ExpectedCommaOrEndOfLine);
        UnreadToken(w);
        return n;
    }
}

void Macro(AsmWork& w) {
    if (!w.hasPendingLabel) Fail(w, AsmMsg::MacroWithoutLabel);
    std::uint32_t count = kAnyArgumentCount;
    char names[kMaxMacroParameters][kMaxNameLength + 1];
    int lengths[kMaxMacroParameters];
    const int named = ReadParameterNames(w, names, lengths);
    if (named > 0) {
        count = kNamedParameters + static_cast<std::uint32_t>(named);
    } else if (ReadToken(w) != Tok::EndOfLine) {
        UnreadToken(w);
        std::int32_t c = ReadDefinedExpression(w);
        if (c < 0 || c > 64) Fail(w, AsmMsg::ExpectedValue0To64);
        count = static_cast<std::uint32_t>(c);
    } else {
        UnreadToken(w);
    }
    if (w.pos > kMaxBodyOffset) Fail(w, AsmMsg::MacroTooFarIntoSource);
    for (int i = 0; i < named; ++i) {
        char key[kMaxKeyLength + 1];
        int length = MacroParameterKey(w.pos, names[i], lengths[i], key);
        EnterSymbol(w, key, length, Tok::MacroParam, i + 1);
    }
    EnterSymbol(w, w.pendingKey, w.pendingKeyLength, Tok::Macro, static_cast<std::int32_t>(count << 24 | w.pos));
    w.hasPendingLabel = false;
    w.defining = true;
}

void ReturnFromMacro(AsmWork& w) {
    if (w.frame == kNoFrame) Fail(w, AsmMsg::ExitmEndmWithoutMacro);
    std::uint32_t f = w.frame;
    std::uint32_t end = Get32(w, f + kEndField);
    std::uint32_t count = Get32(w, f + kRecordsField + 1);
    std::uint32_t at = f + kRecordsField + kRecordSize * (count + 1);
    std::uint32_t length = Get32(w, at);
    SetGlobalPrefix(w, reinterpret_cast<const char*>(w.frameArea + at + 4), static_cast<int>(length));
    w.jumpOffset = Get32(w, end - 4);
    w.jumpPending = true;
    w.frame = Get32(w, f + kPrevField);
    w.listSuppressed = true;
}
}  // namespace

void IfdefDirective(AsmWork& w) { IfDefined(w, true); }
void IfndefDirective(AsmWork& w) { IfDefined(w, false); }
void IfDirective(AsmWork& w) { OpenBlock(w, ReadDefinedExpression(w) != 0); }
void ElseDirective(AsmWork& w) { Else(w); }
void EndifDirective(AsmWork& w) { Endif(w); }
void ReptDirective(AsmWork& w) { Rept(w); }
void EndrDirective(AsmWork& w) { Endr(w); }
void MacroDirective(AsmWork& w) { Macro(w); }
void EndMacroDirective(AsmWork& w) { ReturnFromMacro(w); }

void CallMacro(AsmWork& w, std::int32_t macroValue) {
    const auto value = static_cast<std::uint32_t>(macroValue);
    const std::uint32_t countByte = value >> 24;
    const std::uint32_t nameStart = w.state->ErrorStart, nameEnd = w.state->ErrorEnd;
    auto overflow = [&]() {
        SetSpan(w, nameStart, nameEnd);
        Fail(w, AsmMsg::MacroStackOverflow);
    };
    const std::uint32_t base = w.frame == kNoFrame ? 0 : Get32(w, w.frame + kEndField);
    if (base + kRecordsField + kRecordSize > kMacroFrameAreaSize) overflow();
    Put32(w, base + kPrevField, w.frame);
    Put32(w, base + kMacroField, value);
    w.frameArea[base + kRecordsField] = 0;
    Put32(w, base + kRecordsField + 1, 0);

    // Arguments are read while the caller's frame is still current, so "\n"
    // in an argument refers to the caller's arguments.
    std::uint32_t n = 0;
    auto addArgument = [&](std::int32_t v, bool unresolved) {
        std::uint32_t rec = base + kRecordsField + kRecordSize * (n + 1);
        if (rec + kRecordSize > kMacroFrameAreaSize) overflow();
        w.frameArea[rec] = unresolved ? 1 : 0;
        Put32(w, rec + 1, static_cast<std::uint32_t>(v));
        ++n;
        Put32(w, base + kRecordsField + 1, n);
    };
    if (TakesAnyCount(countByte)) {
        bool any = ReadToken(w) != Tok::EndOfLine;
        UnreadToken(w);
        while (any) {
            std::int32_t v = ReadPassExpression(w);
            addArgument(v, w.unresolved);
            Tok t = ReadToken(w);
            if (t == Tok::Comma) continue;
            if (t != Tok::EndOfLine) Fail(w, AsmMsg::ExpectedCommaOrEndOfLine);
            UnreadToken(w);
            break;
        }
    } else {
        for (std::uint32_t i = 0, count = ArgumentCount(countByte); i < count; ++i) {
            if (i > 0) RequireComma(w);
            std::int32_t v = ReadPassExpression(w);
            addArgument(v, w.unresolved);
        }
    }

    std::uint32_t at = base + kRecordsField + kRecordSize * (n + 1);
    auto length = static_cast<std::uint32_t>(w.prefixLength);
    std::uint32_t end = at + 4 + length + 4;
    if (end > kMacroFrameAreaSize) overflow();
    if (++w.macroCalls > kMaxMacroCalls) Fail(w, AsmMsg::TotalMacroCallLimit);
    Put32(w, at, length);
    std::memcpy(w.frameArea + at + 4, w.prefix, length);
    Put32(w, end - 4, w.pos);
    Put32(w, base + kEndField, end);
    w.frame = base;

    // The call's own local-label prefix: the four counter bytes (1..32 each).
    SetGlobalPrefix(w, reinterpret_cast<const char*>(w.callCounter), 4);
    for (auto& b : w.callCounter) {
        if (++b <= 32) break;
        b = 1;
    }
    w.jumpOffset = value & kMaxBodyOffset;
    w.jumpPending = true;
}

std::uint32_t OutermostCallOffset(const AsmWork& w) {
    std::uint32_t f = w.frame;
    while (Get32(w, f + kPrevField) != kNoFrame) f = Get32(w, f + kPrevField);
    return Get32(w, Get32(w, f + kEndField) - 4);
}

bool FindMacroParameter(const AsmWork& w, const char* name, int length, std::int32_t& number) {
    if (w.frame == kNoFrame) return false;
    const std::uint32_t value = Get32(w, w.frame + kMacroField);
    if (!HasNamedParameters(value >> 24)) return false;
    char key[kMaxKeyLength + 1];
    const int keyLength = MacroParameterKey(value & kMaxBodyOffset, name, length, key);
    const std::uint32_t e = LookupSymbol(w, key, keyLength);
    if (e == kNoEntry) return false;
    number = EntryValue(w, e);
    return true;
}

std::uint32_t FrameArgumentCount(const AsmWork& w) {
    return w.frame == kNoFrame ? 0 : Get32(w, w.frame + kRecordsField + 1);
}

std::int32_t FrameArgument(const AsmWork& w, std::uint32_t n, bool& unresolved) {
    if (w.frame == kNoFrame) {
        unresolved = false;
        return 0;
    }
    std::uint32_t rec = w.frame + kRecordsField + kRecordSize * n;
    unresolved = w.frameArea[rec] != 0;
    return static_cast<std::int32_t>(Get32(w, rec + 1));
}

}  // namespace korvid
