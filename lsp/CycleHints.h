// What the editor shows of a program's cycles: each instruction line's
// cycles as an inlay hint, each routine's and the interrupt routine's
// bounds as a code lens, and an `isr-budget` warning where the interrupt
// routine can take longer than its period.
#pragma once

#include <string>
#include <vector>

#include "lsp/Analysis.h"
#include "lsp/Document.h"
#include "lsp/Features.h"

namespace korvid::lsp {

struct CycleHint {
    Position position;  // the end of the instruction's line
    std::string label;  // "3"; "1/2": straight through / a skip taken
};
std::vector<CycleHint> CycleHints(const Document& doc, const Analysis& a);

struct CycleLens {
    Range range;        // the routine's first instruction
    std::string title;  // "8..15 cycles", "interrupt 41..62 of 100 cycles"
};
std::vector<CycleLens> CycleLenses(const Document& doc, const Analysis& a);

std::vector<Diagnostic> CycleDiagnostics(const Document& doc, const Analysis& a);

}  // namespace korvid::lsp
