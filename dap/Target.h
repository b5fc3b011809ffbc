// The chip of a debug session, behind one interface: the emulator in this
// process (SimTarget) or the tool on a port (ToolTarget). The session speaks
// the protocol, keeps the breakpoints and decides what a stop means; a
// target runs the chip its own way, says what it cannot do, and asks the
// session (RunHost) wherever a run may stop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dap/Registers.h"
#include "sim/SxCpu.h"

namespace korvid::dap {

// What the chip is doing for the client: nothing launched, stopped, or one
// of the runs that go on between requests.
enum class RunMode { Idle, Stopped, Continue, StepOver, StepOut, StepLine };

// The session as a run sees it.
class RunHost {
public:
    virtual RunMode mode() const = 0;
    // The steppers' own stop address (over a CALL, out of a routine).
    virtual std::optional<int> stepStop() const = 0;
    // The lowest breakpoint address, if any (the tool's one hardware breakpoint).
    virtual std::optional<int> FirstBreakpoint() const = 0;
    // Whether the breakpoints at `address` stop the chip now (conditions,
    // hit counts; a logpoint writes its message and goes on).
    virtual bool BreakpointStops(int address, std::vector<int>& hitIds) = 0;
    // Why the chip stopped at `pc` on its own (a stack fault, a watchdog
    // reset the client wants to see), if it did.
    virtual std::optional<std::string> Fault(int pc) const = 0;
    virtual bool WatchdogTimedOut(int pc) const = 0;
    // Whether program word `address` was left unwritten by the program.
    virtual bool Blank(int address) const = 0;
    virtual int LineOf(int address) const = 0;
    // The chip stopped: the client is told.
    virtual void Stop(const std::string& reason, const std::string& text = {}, std::vector<int> hitIds = {}) = 0;
    // A run of another kind goes on from here (a step that meets a SLEEP
    // becomes a free run).
    virtual void RunAs(RunMode mode) = 0;

protected:
    ~RunHost() = default;
};

class Target {
public:
    virtual ~Target() = default;

    // The chip as it is now (the tool: as read at its last halt).
    virtual SxCpu& cpu() = 0;
    virtual const SxCpu& cpu() const = 0;
    // Register `address` of the file (00h..FFh) as the program reads it.
    virtual std::uint8_t FileByte(int address) const { return cpu().Peek(address); }
    // The registers the Registers scope shows and the client may change.
    virtual std::vector<RegisterInfo> Registers() const = 0;
    virtual std::uint32_t clockHz() const = 0;

    // What the target can tell: the cycles it ran (the Timing scope), the
    // return stack (callers' frames, step out to the return address).
    virtual bool countsCycles() const = 0;
    virtual bool readsReturnStack() const = 0;
    // The history kept for going back ("812 KiB from cycle 0"); nothing
    // when there is none.
    virtual std::optional<std::string> HistoryText() const { return std::nullopt; }
    // Why it cannot go back in time, or write program words: nothing when it can.
    virtual std::optional<std::string> NoHistory() const { return std::nullopt; }
    virtual std::optional<std::string> NoProgramWrites() const { return std::nullopt; }
    // How many breakpoints it can hold (0: any number), what the client is
    // told of one it holds, and why one more is refused.
    virtual std::size_t breakpointLimit() const { return 0; }
    virtual std::string BreakpointNote(int /*address*/) const { return {}; }
    virtual std::string BreakpointRefusal(int /*inUse*/) const { return {}; }

    // The halt read whole, before anything looks at the state.
    virtual void Complete() {}
    // The state was changed from outside (a register, RAM, the program counter).
    virtual void Changed() = 0;
    // Whether a stack over- or underflow stops a run.
    virtual void SetStackTraps(bool /*on*/) {}
    // The addresses a run stops before (breakpoints, the steppers' stops,
    // the reset vector, unwritten words), where the target can stop there.
    virtual void SetTraps(const std::set<int>& /*addresses*/) {}
    // The breakpoints changed while the chip may run.
    virtual void BreakpointsChanged(RunHost& /*host*/) {}
    // From power-on (or the reset vector) again; false with the reason.
    virtual bool Restart(std::string& message) = 0;
    // The session ends: the chip is stopped (or left as it is); false with
    // the reason when something of it could not be completed.
    virtual bool End(bool stopChip, std::string& message) = 0;

    // Runs. StepIn: one instruction or a line; StartRun: the run the host's
    // mode names begins; Advance: a slice of it, between requests; Pause:
    // true when the chip stopped at once (else Advance tells later).
    virtual void StepIn(bool byInstruction, RunHost& host) = 0;
    virtual void StartRun(RunHost& host) = 0;
    virtual void Advance(RunHost& host) = 0;
    virtual bool Pause(RunHost& host) = 0;
    // Back to the previous instruction boundary; back to the latest earlier
    // trap where `accept` holds. False at the start of the history.
    virtual bool StepBack() { return false; }
    virtual bool ReverseContinue(const std::function<bool()>& /*accept*/) { return false; }
    // Program words from `first` on.
    virtual void WriteProgram(int /*first*/, const std::vector<std::uint16_t>& /*words*/) {}
};

}  // namespace korvid::dap
