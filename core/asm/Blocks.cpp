// Conditional assembly (IFDEF, IFNDEF, IF, ELSE, ENDIF), repetition (REPT,
// ENDR) and macros (MACRO, EXITM, ENDM, calls). Nothing is copied: REPT and
// macros move the scanner back to remembered offsets in the source, and
// macro arguments are values kept in frames.
#include <cstring>

#include "core/asm/AsmCore.h"

namespace korvid {

namespace {
constexpr std::uint32_t kMaxMacroCalls = 32u * 32u * 32u * 32u;  // distinct call prefixes
constexpr std::uint32_t kAnyArgumentCount = 0x80;
constexpr std::uint32_t kMaxBodyOffset = 0xFFFFFF;

// Frame layout in the frame area: previous frame, end of this frame,
// argument records (5 bytes: unresolved flag, value; record 0 = count), the
// caller's global-label prefix (length, text), the offset in the calling
// line just before its end of line.
constexpr std::uint32_t kPrevField = 0;
constexpr std::uint32_t kEndField = 4;
constexpr std::uint32_t kRecordsField = 8;
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

void Macro(AsmWork& w) {
    if (!w.hasPendingLabel) Fail(w, AsmMsg::MacroWithoutLabel);
    std::uint32_t count = kAnyArgumentCount;
    if (ReadToken(w) != Tok::EndOfLine) {
        UnreadToken(w);
        std::int32_t c = ReadDefinedExpression(w);
        if (c < 0 || c > 64) Fail(w, AsmMsg::ExpectedValue0To64);
        count = static_cast<std::uint32_t>(c);
    } else {
        UnreadToken(w);
    }
    if (w.pos > kMaxBodyOffset) Fail(w, AsmMsg::MacroTooFarIntoSource);
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

bool IsBlockDirective(int number) {
    switch (number) {
        case kDirIfdef: case kDirIfndef: case kDirIf: case kDirElse: case kDirEndif:
        case kDirRept: case kDirEndr: case kDirMacro: case kDirExitm: case kDirEndm:
            return true;
        default:
            return false;
    }
}

void RunBlockDirective(AsmWork& w, int number) {
    switch (number) {
        case kDirIfdef: IfDefined(w, true); return;
        case kDirIfndef: IfDefined(w, false); return;
        case kDirIf: OpenBlock(w, ReadDefinedExpression(w) != 0); return;
        case kDirElse: Else(w); return;
        case kDirEndif: Endif(w); return;
        case kDirRept: Rept(w); return;
        case kDirEndr: Endr(w); return;
        case kDirMacro: Macro(w); return;
        case kDirExitm:
        case kDirEndm: ReturnFromMacro(w); return;
        default: return;
    }
}

void CallMacro(AsmWork& w, std::int32_t macroValue) {
    const auto value = static_cast<std::uint32_t>(macroValue);
    const std::uint32_t count = value >> 24;
    const std::uint32_t nameStart = w.state->ErrorStart, nameEnd = w.state->ErrorEnd;
    auto overflow = [&]() {
        SetSpan(w, nameStart, nameEnd);
        Fail(w, AsmMsg::MacroStackOverflow);
    };
    const std::uint32_t base = w.frame == kNoFrame ? 0 : Get32(w, w.frame + kEndField);
    if (base + kRecordsField + kRecordSize > kMacroFrameAreaSize) overflow();
    Put32(w, base + kPrevField, w.frame);
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
    if (count == kAnyArgumentCount) {
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
        for (std::uint32_t i = 0; i < count; ++i) {
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
