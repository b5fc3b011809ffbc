// The tool's runs: the chip has one hardware breakpoint, which halts it
// after the instruction at its address has run; steps that must not show
// each instruction (a line, over a CALL, out of a routine) are taken one by
// one between the client's requests, so that pause and every other request
// are answered meanwhile.
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/image/DebugKernel.h"
#include "dap/ToolTarget.h"

namespace korvid::dap {
namespace {

// How long a run looks at the requests between polls of the tool, and how
// long silent steps go on before it looks again.
constexpr auto kPollPause = std::chrono::milliseconds(10);
constexpr auto kStepSlice = std::chrono::milliseconds(50);

bool IsCall(std::uint16_t word) { return (word & 0xF00) == 0x900; }
// RET, RETP, RETI, RETIW and RETW: the word leaves a routine.
bool IsReturn(std::uint16_t word) { return (word >= 0x00C && word <= 0x00F) || (word & 0xF00) == 0x800; }

std::string Hex3(int address) {
    char t[8];
    std::snprintf(t, sizeof t, "$%03X", unsigned(address) & 0xFFF);
    return t;
}

}  // namespace

std::string ToolTarget::BreakpointNote(int address) const {
    return "the tool's one hardware breakpoint: the chip halts after the instruction at " + Hex3(address) +
           " has run, on the instruction that follows it";
}

std::string ToolTarget::BreakpointRefusal(int inUse) const {
    return "the tool has one hardware breakpoint, and it is in use at " + Hex3(inUse);
}

void ToolTarget::StepIn(bool byInstruction, RunHost& host) {
    stepStart_ = mirror_.pc();
    stepLine_ = host.LineOf(stepStart_);
    if (!byInstruction && stepLine_ != 0) return host.RunAs(RunMode::StepLine);
    // A SLEEP does not halt: the chip runs (sleeping) until a pause.
    if (!StepSilently()) return host.RunAs(RunMode::Continue);
    host.Stop("step");
}

void ToolTarget::StartRun(RunHost& host) {
    // Steps are taken silently between requests (Advance).
    pausing_ = false;
    stepDepth_ = 0;
    if (host.mode() == RunMode::Continue) Run(host.FirstBreakpoint());
}

bool ToolTarget::Pause(RunHost& host) {
    // A running tool halts at its next instruction and Advance reports it;
    // between silent steps it is halted already.
    if (host.mode() != RunMode::Continue) return true;
    Interrupt();
    pausing_ = true;
    return false;
}

void ToolTarget::Advance(RunHost& host) {
    if (host.mode() == RunMode::Continue) {
        if (Halted()) return AfterHalt(host);
        std::this_thread::sleep_for(kPollPause);
        return;
    }
    const auto until = std::chrono::steady_clock::now() + kStepSlice;
    do {
        const int before = mirror_.pc();
        const std::uint16_t word = mirror_.ProgramWord(before);
        // A SLEEP does not halt: the chip runs (sleeping) until a pause.
        if (!StepSilently()) return host.RunAs(RunMode::Continue);
        const int pc = mirror_.pc();
        std::vector<int> hitIds;
        if (host.FirstBreakpoint() == before) {
            Complete();  // a condition may read any register
            if (host.BreakpointStops(before, hitIds)) return host.Stop("breakpoint", {}, hitIds);
        }
        if (host.mode() == RunMode::StepOut) {
            stepDepth_ += IsCall(word) ? 1 : IsReturn(word) ? -1 : 0;
            if (stepDepth_ < 0) return host.Stop("step");
        } else if (host.mode() == RunMode::StepOver) {
            if (pc == host.stepStop()) return host.Stop("step");
        } else if (host.LineOf(pc) != stepLine_ || pc == stepStart_) {
            return host.Stop("step");
        }
    } while (std::chrono::steady_clock::now() < until);
}

// A running tool halted: asked to, at its breakpoint, or on its own (a
// reset, or the program ran into the debug kernel).
void ToolTarget::AfterHalt(RunHost& host) {
    if (pausing_) return host.Stop("pause");
    const int pc = mirror_.pc();
    const int words = mirror_.config().programSize;
    const int reset = words - 1;
    if (const auto text = host.Fault(pc)) return host.Stop("exception", *text);
    if (pc == reset && !host.WatchdogTimedOut(pc))
        return host.Stop("exception", "reset: the chip went through its reset vector");
    if (pc >= int(KernelStartAddress(words)) && pc < reset)
        return host.Stop("exception", "the program ran into the debug kernel at " + Hex3(pc));
    const auto hw = host.FirstBreakpoint();
    std::vector<int> hitIds;
    if (pc != reset && hw && host.BreakpointStops(*hw, hitIds))
        return host.Stop("breakpoint", "halted after the instruction at " + Hex3(*hw) + " ran", hitIds);
    if (pc != reset && !hw) return host.Stop("pause");
    // A watchdog reset the client chose not to see, a condition or hit
    // count that does not hold, or a logpoint: on again.
    Run(hw);
}

// A breakpoint change while the tool runs: it goes with the next resume,
// so the chip is halted and sent on again with it.
void ToolTarget::BreakpointsChanged(RunHost& host) {
    if (host.mode() != RunMode::Continue || pausing_) return;
    Interrupt();
    if (WaitHalt(1000)) Run(host.FirstBreakpoint());
}

}  // namespace korvid::dap
