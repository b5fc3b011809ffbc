// Cycle hints, lenses and the interrupt budget (CycleHints.h).
#include "lsp/CycleHints.h"

#include <algorithm>

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

}  // namespace

std::vector<CycleHint> CycleHints(const Document& doc, const Analysis& a) {
    std::vector<CycleHint> out;
    if (a.failed) return out;
    const AssemblyState& s = a.state();
    const FlowProgram program = FlowProgramOf(*s.family, s.ChipImage);
    const int mask = program.size - 1;
    for (const InstructionFact& f : InstructionFacts(s)) {
        if (f.expanded || f.words == 0) continue;
        // Straight through every word, and with its first skip taken: the
        // word it annuls costs one cycle instead of its own.
        std::vector<WordTiming> words;
        for (int i = 0; i < f.words; ++i) {
            const int address = static_cast<int>(f.address + static_cast<std::uint32_t>(i)) & mask;
            words.push_back(TimingOfWord(program.words[static_cast<std::size_t>(address)], address, program.mode));
        }
        int straight = 0, skipping = -1;
        for (const WordTiming& t : words) straight += t.cycles;
        for (std::size_t k = 0; k < words.size() && skipping < 0; ++k) {
            if (!words[k].skip) continue;
            skipping = straight + kAnnulledWordCycles - (k + 1 < words.size() ? words[k + 1].cycles : 0);
        }
        std::string label = std::to_string(straight);
        if (skipping >= 0) label += "/" + std::to_string(skipping);
        out.push_back({LineEnd(doc, f.start), std::move(label)});
    }
    return out;
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
