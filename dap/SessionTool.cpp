// The session's side of the tool target: the chip has one hardware
// breakpoint, which halts it after the instruction at its address has run;
// steps that must not show each instruction (a line, over a CALL, out of a
// routine) are taken one by one between the client's requests, so that
// pause and every other request are answered meanwhile.
#include <chrono>
#include <cstdio>
#include <thread>

#include "base/Text.h"
#include "core/image/DebugKernel.h"
#include "dap/Session.h"

namespace korvid::dap {
namespace {

// How long a run looks at the requests between polls of the tool, and how
// long silent steps go on before it looks again.
constexpr auto kPollPause = std::chrono::milliseconds(10);
constexpr auto kStepSlice = std::chrono::milliseconds(50);

bool IsCall(std::uint16_t word) { return (word & 0xF00) == 0x900; }
// RET, RETP, RETI, RETIW and RETW: the word leaves a routine.
bool IsReturn(std::uint16_t word) { return (word >= 0x00C && word <= 0x00F) || (word & 0xF00) == 0x800; }

std::string Hex3(int address) { return "$" + Hex(unsigned(address) & 0xFFF, 3); }

}  // namespace

std::optional<int> Session::HardwareBreak() const {
    for (const auto* breaks : {&lineBreaks_, &instructionBreaks_})
        if (!breaks->empty()) return breaks->begin()->first;
    return std::nullopt;
}

std::string Session::HardwareBreakMessage(int address) const {
    return "the tool's one hardware breakpoint: the chip halts after the instruction at " + Hex3(address) +
           " has run, on the instruction that follows it";
}

std::string Session::HardwareBreakInUse() const {
    return "the tool has one hardware breakpoint, and it is in use at " + Hex3(HardwareBreak().value_or(0));
}

void Session::AdvanceTool() {
    if (mode_ == Mode::Continue) {
        if (tool_->Halted()) return ToolHalted();
        std::this_thread::sleep_for(kPollPause);
        return;
    }
    const auto until = std::chrono::steady_clock::now() + kStepSlice;
    do {
        const int before = Cpu().pc();
        const std::uint16_t word = Cpu().ProgramWord(before);
        // A SLEEP does not halt: the chip runs (sleeping) until a pause.
        if (!tool_->StepSilently()) return StartRun(Mode::Continue, std::nullopt);
        const int pc = Cpu().pc();
        std::vector<int> hitIds;
        if (HardwareBreak() == before) {
            tool_->Complete();  // a condition may read any register
            if (BreakpointStops(before, hitIds)) return Stopped("breakpoint", {}, hitIds);
        }
        if (mode_ == Mode::StepOut) {
            stepDepth_ += IsCall(word) ? 1 : IsReturn(word) ? -1 : 0;
            if (stepDepth_ < 0) return Stopped("step");
        } else if (mode_ == Mode::StepOver) {
            if (pc == stepTrap_) return Stopped("step");
        } else if (program_.LineOf(pc) != stepLine_ || pc == stepStart_) {
            return Stopped("step");
        }
    } while (std::chrono::steady_clock::now() < until);
}

// A running tool halted: asked to, at its breakpoint, or on its own (a
// reset, or the program ran into the debug kernel).
void Session::ToolHalted() {
    if (pausing_) return Stopped("pause");
    const int pc = Cpu().pc();
    const int reset = int(ProgramWords()) - 1;
    if (const auto text = Fault(pc)) return Stopped("exception", *text);
    if (pc == reset && !WatchdogTimedOut(pc)) return Stopped("exception", "reset: the chip went through its reset vector");
    if (pc >= int(KernelStartAddress(int(ProgramWords()))) && pc < reset)
        return Stopped("exception", "the program ran into the debug kernel at " + Hex3(pc));
    const auto hw = HardwareBreak();
    std::vector<int> hitIds;
    if (pc != reset && hw && BreakpointStops(*hw, hitIds))
        return Stopped("breakpoint", "halted after the instruction at " + Hex3(*hw) + " ran", hitIds);
    if (pc != reset && !hw) return Stopped("pause");
    // A watchdog reset the client chose not to see, a condition or hit
    // count that does not hold, or a logpoint: on again.
    tool_->Run(hw);
}

// A breakpoint change while the tool runs: it goes with the next resume,
// so the chip is halted and sent on again with it.
void Session::RearmTool() {
    if (!tool_ || mode_ != Mode::Continue || pausing_) return;
    tool_->Interrupt();
    if (tool_->WaitHalt(1000)) tool_->Run(HardwareBreak());
}

void Session::TargetGone(const std::string& why) {
    Output("the tool is gone, the session ends: " + why + "\n", "stderr");
    tool_.reset();
    launched_ = false;
    mode_ = Mode::Idle;
    Event("terminated");
}

}  // namespace korvid::dap
