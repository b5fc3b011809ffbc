// The simulator's runs: traps before the instructions where a run may
// stop, slices of cycles between the client's requests, steps instruction
// by instruction, and what the session is asked at each trap.
#include <cstdio>

#include "dap/SimTarget.h"

namespace korvid::dap {
namespace {

// Cycles a running chip executes between looks at the client's requests.
constexpr std::uint64_t kRunSlice = 200'000;
// A line's instructions stepped at most (a line that loops on itself stops).
constexpr int kMaxLineWords = 64;

std::string Hex3(int address) {
    char t[8];
    std::snprintf(t, sizeof t, "$%03X", unsigned(address) & 0xFFF);
    return t;
}

}  // namespace

void SimTarget::StepIn(bool byInstruction, RunHost& host) {
    const int startPc = cpu_->pc();
    const int startLine = host.LineOf(startPc);
    for (int n = 0; n < kMaxLineWords; ++n) {
        StepInstruction();
        const int pc = cpu_->pc();
        if (cpu_->stackFault() != SxCpu::StackFault::None) return host.Stop("exception", *host.Fault(pc));
        if (byInstruction || startLine == 0 || host.LineOf(pc) != startLine || pc == startPc) break;
    }
    host.Stop("step");
}

void SimTarget::StartRun(RunHost& host) {
    // Stopped before a breakpoint's instruction: run it first.
    if (!IsTrap(cpu_->pc())) return;
    StepInstruction();
    if (host.stepStop() == cpu_->pc()) host.Stop("step");
}

void SimTarget::Advance(RunHost& host) {
    if (Run(kRunSlice) != SxStop::Trap) return;
    const int pc = cpu_->pc();
    if (cpu_->stackFault() != SxCpu::StackFault::None) return host.Stop("exception", *host.Fault(pc));
    std::vector<int> hitIds;
    if (host.BreakpointStops(pc, hitIds)) return host.Stop("breakpoint", {}, hitIds);
    if (host.stepStop() == pc) return host.Stop("step");
    if (host.Blank(pc)) return host.Stop("exception", "executing " + Hex3(pc) + ", a word the program did not write");
    if (const auto text = host.Fault(pc)) return host.Stop("exception", *text);
    StepInstruction();  // a breakpoint that does not stop: go on past it
    if (host.stepStop() == cpu_->pc()) host.Stop("step");
}

}  // namespace korvid::dap
