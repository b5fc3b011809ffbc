// The assembly driver: two passes over the source and the per-line loop.
#include "core/asm/Assembler.h"

#include <vector>

#include "core/asm/AsmCore.h"
#include "core/asm/Directives.h"

namespace korvid {

namespace {
constexpr char kEmptyText[] = "";

void StartPass(AsmWork& w, int pass) {
    AssemblyState& s = *w.state;
    w.pass = pass;
    w.pos = 0;
    w.stringMode = 0;
    w.skipLookup = false;
    s.ListLength = 0;
    s.ListLineCount = 0;
    w.listedBytes = 0;
    w.noExpand = false;
    w.expandAfterLine = false;
    s.AddressLine.fill(-1);
    BlankImage(s.ChipImage, *w.family);
    w.LocationCounter = 0;
    w.AddressMask = w.family->initialAddressMask;
    w.ifDepth = 0;
    w.activeDepth = 0;
    w.reptDepth = 0;
    w.reptTotal = 0;
    w.frame = kNoFrame;
    for (auto& b : w.callCounter) b = 1;
    w.macroCalls = 0;
    w.jumpPending = false;
    w.defining = false;
    w.usedFuse = 0;
    w.usedExtFuse = 0;
    w.usedPieces = 0;
    w.pieceBits[0] = w.pieceBits[1] = 0;
    s.BreakAddress = kNoBreak;
    w.breakSeen = false;
    w.ircCalibration.reset();
    s.WatchCount = 0;
    s.ClockFrequency = kDefaultClockFrequency;
    w.prefixLength = 0;
    w.prefix[0] = 0;
    w.caseSensitive = false;
    w.endSeen = false;
    w.passWords = 0;
    w.scannedBytes = 0;
    w.factCount = 0;
    w.cutCount = 0;
}

void CopyPendingLabel(AsmWork& w) {
    for (int i = 0; i <= w.keyLength; ++i) w.pendingKey[i] = w.key[i];
    w.pendingKeyLength = w.keyLength;
    w.hasPendingLabel = true;
    w.labelStart = w.state->ErrorStart;
    w.labelEnd = w.state->ErrorEnd;
}

void SetPrefixFromName(AsmWork& w) {
    if (w.name[0] != ':') SetGlobalPrefix(w, w.name, w.nameLength);
}

// A line whose first token is a macro name: a call, or in pass 2 the MACRO
// line that defined it.
void MacroLine(AsmWork& w) {
    std::int32_t macro = w.value;
    char name[kMaxNameLength + 1];
    int length = w.nameLength;
    for (int i = 0; i <= length; ++i) name[i] = w.name[i];
    std::uint32_t start = w.state->ErrorStart, end = w.state->ErrorEnd;
    if (ReadToken(w) == Tok::Directive && w.value == kDirMacro) {
        if (w.pass == 1 || w.hasLabel) {
            SetSpan(w, start, end);
            Fail(w, AsmMsg::LabelAlreadyDefined);
        }
        // Key local labels after the definition alike in both passes.
        if (name[0] != ':') SetGlobalPrefix(w, name, length);
        SkipRestOfLine(w);
        UnreadToken(w);
        w.defining = true;
        return;
    }
    UnreadToken(w);
    SetSpan(w, start, end);  // a frame overflow selects the macro name
    EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
    w.addressShown = true;
    CallMacro(w, macro);
}

// The line does not go on as a statement: notes the word to blame. An
// unknown word followed by what only an operand can be ("MOVX W, 5") was
// meant as an instruction, so the error selects that word.
void NoteStatementWord(AsmWork& w, Tok t, bool newLabel) {
    if (t == Tok::Undefined) {  // a second unknown word after a label
        NoteWord(w, AsmNote::UnknownWord, w.state->ErrorStart, w.state->ErrorEnd);
        return;
    }
    if (!newLabel) {
        // A word of the assembler where a label would stand ("m MACRO").
        if (IsKeywordEntry(w, w.entry) && w.state->ErrorStart == w.lineFirstStart)
            NoteWord(w, AsmNote::ReservedLabel, w.state->ErrorStart, w.state->ErrorEnd);
        return;
    }
    if (IsKeywordEntry(w, w.entry) || t == Tok::Hash || t == Tok::Bang || t == Tok::At)
        SetSpan(w, w.labelStart, w.labelEnd);
    NoteWord(w, AsmNote::UnknownWord, w.labelStart, w.labelEnd);
}

void Statement(AsmWork& w, Tok t) {
    // The label, if any.
    const bool newLabel = t == Tok::Undefined;
    if (newLabel) {
        CopyPendingLabel(w);
        w.hasLabel = true;
        SetPrefixFromName(w);
        t = ReadToken(w);
    } else if (t == Tok::Variable) {
        SetPrefixFromName(w);
        std::uint32_t entry = w.entry;
        if (ReadToken(w) != Tok::Compare || w.value != kOpEq) Fail(w, AsmMsg::VariableWithoutAssign);
        std::int32_t v = ReadDefinedExpression(w);
        SetEntryValue(w, entry, v);
        w.wordsStored = -1;
        w.showValue = static_cast<std::uint32_t>(v);
        return;
    } else if (t == Tok::Constant && w.entry != kNoEntry) {
        if (w.pass == 1) {
            if (IsKeywordEntry(w, w.entry))  // "c NOP": C is the carry bit
                NoteWord(w, AsmNote::ReservedLabel, w.state->ErrorStart, w.state->ErrorEnd);
            Fail(w, AsmMsg::LabelAlreadyDefined);
        }
        SetPrefixFromName(w);
        w.hasLabel = true;
        w.knownLabel = w.entry;
        w.labelStart = w.state->ErrorStart;
        w.labelEnd = w.state->ErrorEnd;
        w.addressShown = true;
        t = ReadToken(w);
    }

    switch (t) {
        case Tok::Compare:
            if (w.value != kOpEq) break;
            RunDirective(w, kDirAssign);
            return;
        case Tok::Logical:
            EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
            w.addressShown = true;
            AssembleInstruction(w, kAnd + (w.value - kOpLogAnd));
            return;
        case Tok::Not:
            EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
            w.addressShown = true;
            AssembleInstruction(w, kNot);
            return;
        case Tok::Directive:
            RunDirective(w, w.value);
            return;
        case Tok::Instruction:
            EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
            w.addressShown = true;
            AssembleInstruction(w, w.value);
            return;
        case Tok::Macro:
            MacroLine(w);
            return;
        case Tok::EndOfLine:
            EnterPendingLabel(w, static_cast<std::int32_t>(w.LocationCounter));
            if (w.hasLabel) w.addressShown = true;
            UnreadToken(w);
            return;
        default:
            break;
    }
    NoteStatementWord(w, t, newLabel);
    Fail(w, AsmMsg::ExpectedLabelDirectiveInstruction);
}

bool IsConditional(Tok t, std::int32_t v) {
    return t == Tok::Directive && v >= 0 && v < kDirCount && kDirectives[v].block == BlockKind::Conditional;
}

// One source line. Returns false at the end of the text.
bool Line(AsmWork& w) {
    if (w.jumpPending) {
        w.jumpPending = false;
        w.pos = w.jumpOffset;
        w.stringMode = 0;
        ReadToken(w);  // the end of line after the saved offset
    }
    w.lineStart = w.pos;
    if (w.scannedBytes > kMaxScannedBytesPerPass) {
        SetSpan(w, w.pos, w.pos);
        Fail(w, AsmMsg::ScanLimit);
    }
    w.showValue = w.LocationCounter;
    w.wordsStored = 0;
    w.addressShown = false;
    w.listSuppressed = false;
    w.lineFrame = w.frame;
    w.percent = w.reptDepth > 0 ? static_cast<std::int32_t>(w.rept[w.reptDepth - 1].iteration) : 0;
    w.dollar = static_cast<std::int32_t>(w.LocationCounter);
    w.hasPendingLabel = false;
    w.hasLabel = false;
    w.knownLabel = kNoEntry;

    Tok t = ReadToken(w);
    if (t == Tok::EndOfLine && w.atEnd) return false;
    w.lineFirstKind = t;
    w.lineFirstStart = w.state->ErrorStart;
    w.lineFirstEnd = w.state->ErrorEnd;

    if (w.defining) {
        if (t == Tok::Directive && w.value == kDirEndm) {
            w.defining = false;
            RequireEndOfLine(w);
        } else if (t != Tok::EndOfLine) {
            SkipRestOfLine(w);
        }
    } else if (IsConditional(t, w.value)) {
        RunDirective(w, w.value);  // no label here: the line starts with it
        RequireEndOfLine(w);
    } else if (w.ifDepth != w.activeDepth) {
        if (t != Tok::EndOfLine) SkipRestOfLine(w);
    } else if (t != Tok::EndOfLine) {
        Statement(w, t);
        RequireEndOfLine(w);
    }
    ListLine(w);
    if (w.expandAfterLine) {
        w.noExpand = false;
        w.expandAfterLine = false;
    }
    return !w.endSeen;
}

void RunPass(AsmWork& w, int pass) {
    StartPass(w, pass);
    while (Line(w)) {
    }
    if (!w.endSeen) {
        if (w.defining) Fail(w, AsmMsg::EndmRequired);
        if (w.ifDepth != 0) Fail(w, AsmMsg::EndifRequired);
        if (w.reptDepth != 0) Fail(w, AsmMsg::EndrRequired);
        RecordListEntry(w, w.pos);
    }
    // The passes store the same code unless an IFDEF or IFNDEF of a symbol
    // defined further down chose differently in them (labels that moved are
    // caught where they stand).
    if (pass == 1) {
        w.passOneWords = w.passWords;
    } else if (w.passWords != w.passOneWords) {
        SetSpan(w, w.pos, w.pos);
        Fail(w, AsmMsg::CodeChangedBetweenPasses);
    }
}
}  // namespace

void Assemble(AssemblyState& s) {
    s.ErrorFlag = 1;
    AsmWork& w = *s.work;
    w.state = &s;
    w.family = s.family;
    w.dialect = s.dialect;
    w.nameLimit = Has(w, DialectDifference::LongNames) ? kMaxNameLength : kStrictNameLength;
    w.src = s.SourceText ? s.SourceText : kEmptyText;
    w.note = AsmNote::None;
    try {
        BuildSymbolTable(w);
        RunPass(w, 1);
        RunPass(w, 2);
        s.ErrorStart = 0;
        s.ErrorEnd = 0;
        if (w.listedBytes == 0) Fail(w, AsmMsg::NothingToAssemble);
        s.DeviceImage = s.ChipImage;
        s.IrcCalibration = w.ircCalibration;
        s.ErrorFlag = 0;
    } catch (const AsmAbort&) {
        w.skipLookup = false;
    }
}

namespace {
// Assembles the failed source again with another family or dialect, into a
// listing buffer of its own; true when that assembly succeeds.
bool TrialAccepts(const AssemblyState& failed, const Family& family, Dialect dialect) {
    AssemblyState trial(family);
    std::vector<char> list(failed.ListWanted ? failed.ListCapacity : 0);  // nothing is listed without
    trial.ListText = list.data();
    trial.ListCapacity = failed.ListCapacity;
    trial.ListWanted = failed.ListWanted;
    trial.SourceText = failed.SourceText;
    trial.dialect = dialect;
    Assemble(trial);
    return trial.ErrorFlag == 0;
}
}  // namespace

bool ExtendedDialectAccepts(const AssemblyState& failed) {
    return failed.dialect != Dialect::Extended && TrialAccepts(failed, *failed.family, Dialect::Extended);
}

const Family* OtherFamilyAccepts(const AssemblyState& failed) {
    for (const Family* other : {&Sx28lFamily(), &Sx52Family()})
        if (other != failed.family && TrialAccepts(failed, *other, failed.dialect)) return other;
    return nullptr;
}

}  // namespace korvid
