// The directive table and the directive handlers: configuration words, ID,
// reset vector, symbols, location counter, data words, listing switches,
// ERROR, END, BREAK, WATCH, FREQ and IRC_CAL. The block directives' handlers
// (IF, REPT, MACRO ...) are in Blocks.cpp.
#include "core/asm/Directives.h"

#include "core/asm/AsmCore.h"
#include "core/asm/Keywords.h"

namespace korvid {

namespace {
// After a list item: "," continues, the end of line ends the list (left for
// the line loop), anything else is an error.
bool NextListItem(AsmWork& w) {
    Tok t = ReadToken(w);
    if (t == Tok::Comma) return true;
    if (t != Tok::EndOfLine) Fail(w, AsmMsg::ExpectedCommaOrEndOfLine);
    UnreadToken(w);
    return false;
}

// The DEVICE words only the extended dialect knows are no keywords: older
// sources also write a part name alone on a line (a label) to test it later
// with IFDEF, as the strict dialect reads them. A name as a DEVICE operand
// is looked up in the family's extra words instead.
const Family::DeviceParam* ExtraDeviceParam(const AsmWork& w) {
    const auto first = static_cast<unsigned char>(w.src[w.state->ErrorStart]);
    const bool name = first == '_' || ((first | 0x20) >= 'a' && (first | 0x20) <= 'z');
    if (!name) return nullptr;
    const std::string_view read(w.name, static_cast<std::size_t>(w.nameLength));
    for (int i = 0; i < w.family->extendedDeviceParamCount; ++i)
        if (w.family->extendedDeviceParams[i].name == read) return &w.family->extendedDeviceParams[i];
    return nullptr;
}

bool ExtraDeviceWord(const AsmWork& w, std::int32_t& code) {
    if (!Has(w, DialectDifference::ExtraDeviceWords)) return false;
    const Family::DeviceParam* param = ExtraDeviceParam(w);
    if (param) code = EncodeDeviceParam(*param);
    return param != nullptr;
}

// A DEVICE word the strict dialect refuses but the extended one knows: the
// note names it (and the strict word of the same setting, ErrorNote).
void NoteExtraDeviceWord(AsmWork& w) {
    if (!Has(w, DialectDifference::ExtraDeviceWords) && ExtraDeviceParam(w))
        NoteWord(w, AsmNote::ExtendedDeviceWord, w.state->ErrorStart, w.state->ErrorEnd);
}

void Device(AsmWork& w) {
    AssemblyState& s = *w.state;
    do {
        std::int32_t value = 0;
        if (ReadToken(w) == Tok::DeviceParam)
            value = w.value;
        else if (!ExtraDeviceWord(w, value)) {
            NoteExtraDeviceWord(w);
            Fail(w, AsmMsg::ExpectedDeviceParameter);
        }
        auto code = static_cast<std::uint32_t>(value);
        bool ext = (code >> 24) & 1;
        auto mask = static_cast<std::uint16_t>((code >> 12) & 0xFFF);
        auto pattern = static_cast<std::uint16_t>(code & 0xFFF);
        const auto piece = static_cast<std::uint8_t>((code >> 25) & 3);
        std::uint16_t& used = ext ? w.usedExtFuse : w.usedFuse;
        if (used & mask) {
            // The other piece of an option written apart adds nothing.
            const bool otherPiece = piece != 0 && (w.usedPieces & piece) == 0 && (w.pieceBits[ext] & mask) == mask;
            if (!otherPiece) Fail(w, AsmMsg::RedundantDeviceParameter);
            w.usedPieces = static_cast<std::uint8_t>(w.usedPieces | piece);
            continue;
        }
        used = static_cast<std::uint16_t>(used | mask);
        if (piece != 0) {
            w.usedPieces = static_cast<std::uint8_t>(w.usedPieces | piece);
            w.pieceBits[ext] = static_cast<std::uint16_t>(w.pieceBits[ext] | mask);
        }
        s.ChipImage[ext ? kExtFuseIndex : kFuseIndex] ^= pattern;
    } while (NextListItem(w));
    if (w.family->memoryFromExtFuse) w.AddressMask = LayoutOf(*w.family, s.ChipImage[kExtFuseIndex]).addressMask;
}

void Id(AsmWork& w) {
    AssemblyState& s = *w.state;
    int n = 0;
    do {
        std::int32_t v = ReadPassExpression(w);
        if (n == 8) Fail(w, AsmMsg::IdTooLong);
        // A forward reference reads 0 in pass 1; pass 2 checks its value.
        if (!w.unresolved && (v < 32 || v > 127)) Fail(w, AsmMsg::IdNotString);
        auto c = static_cast<std::uint32_t>(v) & 0xFF;
        s.ChipImage[kIdBase + 2 * n] = static_cast<std::uint16_t>(0x0FF0 + ((c >> 4) & 0xF));
        s.ChipImage[kIdBase + 2 * n + 1] = static_cast<std::uint16_t>(0x0FF0 + (c & 0xF));
        ++n;
    } while (NextListItem(w));
}

void Reset(AsmWork& w) {
    auto addr = static_cast<std::uint32_t>(ReadPassExpression(w));
    if (addr & 0xE00) Fail(w, AsmMsg::ResetFirstPage);
    EnterPendingLabel(w, static_cast<std::int32_t>(w.AddressMask));
    w.showValue = w.AddressMask;
    w.addressShown = true;
    StoreWordAt(w, w.AddressMask, 0xA00 | (addr & 0x1FF));
}

void Assign(AsmWork& w) {
    if (!w.hasPendingLabel) Fail(w, AsmMsg::AssignWithoutVariable);
    std::int32_t v = ReadDefinedExpression(w);
    EnterSymbol(w, w.pendingKey, w.pendingKeyLength, Tok::Variable, v);
    w.hasPendingLabel = false;
    w.wordsStored = -1;
    w.showValue = static_cast<std::uint32_t>(v);
}

void Equ(AsmWork& w) {
    if (!w.hasLabel) Fail(w, AsmMsg::EquWithoutLabel);
    std::int32_t v = ReadDefinedExpression(w);
    EnterPendingLabel(w, v);
    w.wordsStored = -1;
    w.showValue = static_cast<std::uint32_t>(v);
}

void Org(AsmWork& w) {
    std::int32_t v = ReadDefinedExpression(w);
    w.LocationCounter = static_cast<std::uint32_t>(v) & w.AddressMask;
    EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
    w.showValue = w.LocationCounter;
    w.addressShown = true;
}

void Ds(AsmWork& w) {
    EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
    w.addressShown = true;
    std::int32_t v = ReadDefinedExpression(w);
    w.LocationCounter = (w.LocationCounter + static_cast<std::uint32_t>(v)) & w.AddressMask;
}

void Dw(AsmWork& w) {
    EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
    w.addressShown = true;
    do {
        const std::int32_t v = ReadPassExpression(w);
        NoteCut(w, v, -2048, 0xFFF, static_cast<std::uint32_t>(v) & 0xFFF, 12);  // a program word holds 12 bits
        StoreWord(w, static_cast<std::uint32_t>(v));
    } while (NextListItem(w));
}

void Error(AsmWork& w) {
    int n = 0;
    for (;;) {
        std::int32_t v = ReadDefinedExpression(w);
        if (n == kMaxErrorText) Fail(w, AsmMsg::ErrorMessageTooLong);
        if (v < 32 || v > 255) Fail(w, AsmMsg::ErrorControlCharacters);
        w.errorText[n++] = static_cast<char>(v);
        Tok t = ReadToken(w);
        if (t == Tok::Comma) continue;
        if (t != Tok::EndOfLine) Fail(w, AsmMsg::ExpectedCommaOrEndOfLine);
        break;
    }
    w.errorText[n] = 0;
    // The span is the end of the line; inside a macro expansion, the end of
    // the line that called the outermost macro.
    std::uint32_t at = w.frame != kNoFrame ? OutermostCallOffset(w) : w.state->ErrorStart;
    SetSpan(w, at, at);
    FailWithText(w, w.errorText);
}

void Break(AsmWork& w) {
    EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
    w.addressShown = true;
    if (w.breakSeen) Fail(w, AsmMsg::OnlyOneBreak);
    w.breakSeen = true;
    std::uint32_t at = w.LocationCounter;
    if (Has(w, DialectDifference::BreakOperand)) {
        bool operand = ReadToken(w) != Tok::EndOfLine;
        UnreadToken(w);
        if (operand) at = static_cast<std::uint32_t>(ReadPassExpression(w)) & w.AddressMask;
    }
    w.state->BreakAddress = static_cast<std::uint16_t>(at);
}

void WatchDirective(AsmWork& w) {
    if (w.pass == 1) {
        // Collected in pass 2 only; scanned now so that scanner errors count.
        SkipRestOfLine(w);
        UnreadToken(w);
        return;
    }
    AssemblyState& s = *w.state;
    if (s.WatchCount >= kMaxWatches) Fail(w, AsmMsg::WatchLimit);
    Watch& rec = s.Watches[s.WatchCount];
    std::int32_t address = ReadDefinedExpression(w);
    std::uint32_t from = s.ErrorStart, to = s.ErrorEnd;
    if (to - from > 32) to = from + 32;
    int n = 0;
    for (std::uint32_t i = from; i < to; ++i) rec.name[n++] = w.src[i];
    rec.name[n] = 0;
    rec.address = static_cast<std::uint16_t>(static_cast<std::uint32_t>(address) & 0x7FF);
    RequireComma(w);
    std::int32_t bits = ReadDefinedExpression(w);
    if (bits < 1 || bits > 32) Fail(w, AsmMsg::ExpectedValue1To32);
    rec.bitCount = static_cast<std::uint8_t>(bits);
    RequireComma(w);
    if (ReadToken(w) != Tok::WatchFormat) Fail(w, AsmMsg::ExpectedWatchFormat);
    rec.format = static_cast<std::uint8_t>(w.value);
    ++s.WatchCount;
}

void Freq(AsmWork& w) {
    std::int32_t v = ReadDefinedExpression(w);
    if (v < 400000 || v > 110000000) Fail(w, AsmMsg::ClockFrequencyRange);
    w.state->ClockFrequency = static_cast<std::uint32_t>(v);
}

void IrcCal(AsmWork& w) {
    if (ReadToken(w) != Tok::IrcMode) Fail(w, AsmMsg::ExpectedIrcMode);
    w.ircCalibration = static_cast<IrcMode>(w.value);
}

void Expand(AsmWork& w) { w.expandAfterLine = true; }
void Noexpand(AsmWork& w) {
    w.noExpand = true;
    w.expandAfterLine = false;
}
void Case(AsmWork& w) { w.caseSensitive = true; }
void Nocase(AsmWork& w) { w.caseSensitive = false; }
void End(AsmWork& w) { w.endSeen = true; }

using L = LabelRule;
using B = BlockKind;
}  // namespace

constexpr DirectiveRow kDirectives[kDirCount] = {
    {"DEVICE", kDirDevice, L::NotAllowed, B::None, Device},
    {"ID", kDirId, L::NotAllowed, B::None, Id},
    {"RESET", kDirReset, L::Location, B::None, Reset},
    {"", kDirAssign, L::Own, B::None, Assign},
    {"EQU", kDirEqu, L::Own, B::None, Equ},
    {"ORG", kDirOrg, L::Location, B::None, Org},
    {"DS", kDirDs, L::Location, B::None, Ds},
    {"DW", kDirDw, L::Location, B::None, Dw},
    {"IFDEF", kDirIfdef, L::NotAllowed, B::Conditional, IfdefDirective},
    {"IFNDEF", kDirIfndef, L::NotAllowed, B::Conditional, IfndefDirective},
    {"IF", kDirIf, L::NotAllowed, B::Conditional, IfDirective},
    {"ELSE", kDirElse, L::NotAllowed, B::Conditional, ElseDirective},
    {"ENDIF", kDirEndif, L::NotAllowed, B::Conditional, EndifDirective},
    {"REPT", kDirRept, L::NotAllowed, B::Repeat, ReptDirective},
    {"ENDR", kDirEndr, L::NotAllowed, B::Repeat, EndrDirective},
    {"MACRO", kDirMacro, L::Own, B::Macro, MacroDirective},
    {"EXITM", kDirExitm, L::NotAllowed, B::Macro, EndMacroDirective},
    {"ENDM", kDirEndm, L::NotAllowed, B::Macro, EndMacroDirective},
    {"EXPAND", kDirExpand, L::NotAllowed, B::None, Expand},
    {"NOEXPAND", kDirNoexpand, L::NotAllowed, B::None, Noexpand},
    {"CASE", kDirCase, L::NotAllowed, B::None, Case},
    {"NOCASE", kDirNocase, L::NotAllowed, B::None, Nocase},
    {"ERROR", kDirError, L::NotAllowed, B::None, Error},
    {"END", kDirEnd, L::NotAllowed, B::None, End},
    {"BREAK", kDirBreak, L::Location, B::None, Break},
    {"WATCH", kDirWatch, L::NotAllowed, B::None, WatchDirective},
    {"FREQ", kDirFreq, L::NotAllowed, B::None, Freq},
    {"IRC_CAL", kDirIrcCal, L::NotAllowed, B::None, IrcCal, DialectDifference::IrcCalDirective},
};

namespace {
constexpr bool InNumberOrder() {
    for (int i = 0; i < kDirCount; ++i)
        if (kDirectives[i].number != i) return false;
    return true;
}
static_assert(InNumberOrder(), "kDirectives rows must be in Directive order");
}  // namespace

void RunDirective(AsmWork& w, int number) {
    if (number < 0 || number >= kDirCount) return;
    const DirectiveRow& d = kDirectives[number];
    if (d.label == LabelRule::NotAllowed && w.hasLabel) Fail(w, AsmMsg::DirectiveWithLabel);
    d.run(w);
}

}  // namespace korvid
