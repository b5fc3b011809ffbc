// Ending an assembly at its first error.
#include "core/asm/AsmCore.h"

namespace korvid {

void SetSpan(AsmWork& w, std::uint32_t start, std::uint32_t end) {
    w.state->ErrorStart = start;
    w.state->ErrorEnd = end;
}

void NoteWord(AsmWork& w, AsmNote note, std::uint32_t start, std::uint32_t end) {
    w.note = note;
    w.noteStart = start;
    w.noteEnd = end;
}

bool IsKeywordEntry(const AsmWork& w, std::uint32_t entry) { return entry != kNoEntry && entry < w.keywordStorageEnd; }

void NoteMisplacedWord(AsmWork& w, bool valueExpected) {
    // A line that starts with an instruction name and has an instruction or
    // directive after it: the first word was meant as a label ("skip NOP").
    const bool statementWord = w.kind == Tok::Instruction || w.kind == Tok::Directive || w.kind == Tok::Macro;
    if (statementWord && w.lineFirstKind == Tok::Instruction && w.lineFirstStart == w.lineStart &&
        w.lineFirstStart != w.state->ErrorStart) {
        NoteWord(w, AsmNote::ReservedLabel, w.lineFirstStart, w.lineFirstEnd);
        return;
    }
    if (valueExpected && IsKeywordEntry(w, w.entry))
        NoteWord(w, AsmNote::ReservedOperand, w.state->ErrorStart, w.state->ErrorEnd);
}

void Fail(AsmWork& w, AsmMsg msg) {
    w.state->ErrorMessage = AsmMessageText(msg);
    throw AsmAbort{};
}

void FailWithText(AsmWork& w, const char* text) {
    w.state->ErrorMessage = text;
    throw AsmAbort{};
}

}  // namespace korvid
