// What the editor shows of a program's cycles: each instruction line's
// cycles as an inlay hint, each routine's and the interrupt routine's
// bounds as a code lens, and an `isr-budget` warning where the interrupt
// routine can take longer than its period.
#pragma once

#include <optional>
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

// A selection of several lines: the fewest and most cycles from arriving at
// its first instruction until its last one has run, over every path.
struct SelectionCycles {
    Range range;       // from the first instruction to the end of the last
    std::string text;  // "12..15 cycles from line 10 to the end of line 14"
};
std::optional<SelectionCycles> CyclesOfSelection(const Document& doc, const Analysis& a, const Range& selection);

std::vector<Diagnostic> CycleDiagnostics(const Document& doc, const Analysis& a);

}  // namespace korvid::lsp
