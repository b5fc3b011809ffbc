// Cycle hints, lenses and the interrupt budget (CycleHints.h).
#include "lsp/CycleHints.h"

#include <algorithm>
#include <optional>

#include "analysis/CycleBounds.h"
#include "core/asm/SourceFacts.h"

namespace korvid::lsp {

namespace {

// The end of the line holding an assembler offset.
Position LineEnd(const Document& doc, std::uint32_t offset) {
    const std::string& text = doc.asmText();
    const std::size_t end = std::min(text.find('\r', offset), text.size());
    return doc.AsmPosition(static_cast<std::uint32_t>(end));
}

std::string BoundText(const CycleBound& b) {
    return std::to_string(b.min) + ".." + (b.bounded ? std::to_string(b.max) : std::string("?"));
}

// The first instruction at an address, as the source wrote it.
const InstructionFact* FactAt(std::span<const InstructionFact> facts, int address) {
    for (const InstructionFact& f : facts)
        if (!f.expanded && f.words > 0 && static_cast<int>(f.address) == address) return &f;
    return nullptr;
}

// An instruction's cycles straight through its words, and with its first
// skip taken (-1: it has none): the word a skip annuls costs one cycle
// instead of its own.
struct InstructionCycles {
    int straight = 0, skipping = -1;
};
InstructionCycles CyclesOf(const FlowProgram& program, const InstructionFact& f) {
    const int mask = program.size - 1;
    std::vector<WordTiming> words;
    for (int i = 0; i < f.words; ++i) {
        const int address = static_cast<int>(f.address + static_cast<std::uint32_t>(i)) & mask;
        words.push_back(TimingOfWord(program.words[static_cast<std::size_t>(address)], address, program.mode));
    }
    InstructionCycles c;
    for (const WordTiming& t : words) c.straight += t.cycles;
    for (std::size_t k = 0; k < words.size() && c.skipping < 0; ++k) {
        if (!words[k].skip) continue;
        c.skipping = c.straight + kAnnulledWordCycles - (k + 1 < words.size() ? words[k + 1].cycles : 0);
    }
    return c;
}

}  // namespace

std::vector<CycleHint> CycleHints(const Document& doc, const Analysis& a) {
    std::vector<CycleHint> out;
    if (a.failed) return out;
    const AssemblyState& s = a.state();
    const FlowProgram program = FlowProgramOf(*s.family, s.ChipImage);
    for (const InstructionFact& f : InstructionFacts(s)) {
        if (f.expanded || f.words == 0) continue;
        const InstructionCycles c = CyclesOf(program, f);
        std::string label = std::to_string(c.straight);
        if (c.skipping >= 0) label += "/" + std::to_string(c.skipping);
        out.push_back({LineEnd(doc, f.start), std::move(label)});
    }
    return out;
}

std::optional<SelectionCycles> CyclesOfSelection(const Document& doc, const Analysis& a, const Range& selection) {
    if (a.failed || selection.end.line <= selection.start.line) return std::nullopt;
    const AssemblyState& s = a.state();
    // The first and the last instruction written on the selected lines.
    const InstructionFact* first = nullptr;
    const InstructionFact* last = nullptr;
    const auto facts = InstructionFacts(s);
    for (const InstructionFact& f : facts) {
        if (f.expanded || f.words == 0) continue;
        const int line = doc.AsmPosition(f.start).line;
        if (line < selection.start.line || line > selection.end.line) continue;
        if (!first || line < doc.AsmPosition(first->start).line) first = &f;
        if (!last || line >= doc.AsmPosition(last->start).line) last = &f;
    }
    if (!first || first == last) return std::nullopt;
    const FlowProgram program = FlowProgramOf(*s.family, s.ChipImage);
    const ControlFlow flow = AnalyseControlFlow(program);
    // From arriving at the first instruction until the last one has run:
    // the span to the last, then the last's own cycles.
    CycleBound b = SpanCycles(flow, static_cast<int>(first->address), static_cast<int>(last->address));
    if (!b.reached) return std::nullopt;
    const InstructionCycles own = CyclesOf(program, *last);
    b.min += own.skipping >= 0 ? std::min(own.straight, own.skipping) : own.straight;
    b.max += std::max(own.straight, own.skipping);
    std::string text = BoundText(b) + " cycles from line " + std::to_string(doc.AsmPosition(first->start).line + 1) +
                       " to the end of line " + std::to_string(doc.AsmPosition(last->start).line + 1);
    if (!b.bounded) text += " (unbounded: " + b.why + ")";
    return SelectionCycles{doc.AsmRange(first->start, last->end), std::move(text)};
}

std::vector<CycleLens> CycleLenses(const Document& doc, const Analysis& a) {
    std::vector<CycleLens> out;
    if (a.failed) return out;
    const AssemblyState& s = a.state();
    const FlowProgram program = FlowProgramOf(*s.family, s.ChipImage);
    const ControlFlow flow = AnalyseControlFlow(program);
    const auto facts = InstructionFacts(s);
    auto lens = [&](int address, std::string title) {
        if (const InstructionFact* f = FactAt(facts, address))
            out.push_back({doc.AsmRange(f->start, f->end), std::move(title)});
    };
    if (flow.reachesInterrupt) {
        const CycleBound b = InterruptCycles(flow);
        const std::int64_t period = InterruptPeriod(flow);
        lens(0,
             "interrupt " + BoundText(b) + (period > 0 ? " of " + std::to_string(period) : std::string()) + " cycles");
    }
    for (int r : flow.routines) lens(r, BoundText(RoutineCycles(flow, r)) + " cycles");
    return out;
}

std::vector<Diagnostic> CycleDiagnostics(const Document& doc, const Analysis& a) {
    std::vector<Diagnostic> out;
    if (a.failed) return out;
    const AssemblyState& s = a.state();
    const FlowProgram program = FlowProgramOf(*s.family, s.ChipImage);
    if (!HasInterruptRoutine(program)) return out;  // the common case stays cheap
    const ControlFlow flow = AnalyseControlFlow(program);
    const std::int64_t period = InterruptPeriod(flow);
    if (period <= 0) return out;
    const CycleBound b = InterruptCycles(flow);
    if (b.bounded && b.max <= period) return out;
    const InstructionFact* f = FactAt(InstructionFacts(s), b.bounded ? b.longestEnd : b.openAt);
    if (!f) f = FactAt(InstructionFacts(s), 0);
    if (!f) return out;
    const std::string what =
        b.bounded ? "can take " + std::to_string(b.max) + " cycles" : "has no bound (" + b.why + ")";
    out.push_back(
        {doc.AsmRange(f->start, f->end), 2, "isr-budget",
         "the interrupt routine " + what + ", longer than its period of " + std::to_string(period) + " cycles"});
    return out;
}

}  // namespace korvid::lsp
