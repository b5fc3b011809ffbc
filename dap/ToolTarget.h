// The tool (real, or korvid-sim on a pseudo-terminal) as the chip of a
// debug session: the debugger model (DebugController) over the serial
// link. Each halt's state is read into a mirror CPU, so that registers,
// RAM, watches and expressions are read by one code path for both targets;
// what the session writes into the mirror goes to the chip (Changed).
//
// Link failures leave as LinkFailure (the port is closed then); the
// session ends on them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/asm/AssemblyState.h"
#include "core/link/DebugController.h"
#include "core/link/Link.h"
#include "core/link/SerialDevice.h"
#include "dap/Target.h"
#include "sim/SxCpu.h"

namespace korvid::dap {

class ToolTarget final : public Target {
public:
    // `state`: the assembled program (its debug image is prepared here).
    // `device`: the serial device to the tool (null: the system's port).
    ToolTarget(AssemblyState& state, const Family& family, std::unique_ptr<SerialDevice> device = nullptr);
    ~ToolTarget();
    ToolTarget(const ToolTarget&) = delete;
    ToolTarget& operator=(const ToolTarget&) = delete;

    // Opens `port` (COM1..COM4 or a device path), programs the debug image
    // when `program` is set (attach leaves the chip's program as it is),
    // resets the chip and waits for its halt at the reset vector. False
    // with the link's message when any of it fails.
    bool Start(const std::string& port, bool program, std::string& message);

    // The chip as read at the last halt.
    SxCpu& cpu() override { return mirror_; }
    const SxCpu& cpu() const override { return mirror_; }
    // The ports as the tool read them, in the latches.
    std::uint8_t FileByte(int address) const override;
    // No OPTION, no port directions: the tool reads neither.
    std::vector<RegisterInfo> Registers() const override { return RegistersOf(mirror_, true); }
    std::uint32_t clockHz() const override { return state_.ClockFrequency; }
    // The tool tells no cycles and no return stack, keeps no history and
    // programs its flash only as a whole; it has one hardware breakpoint.
    bool countsCycles() const override { return false; }
    bool readsReturnStack() const override { return false; }
    std::optional<std::string> NoHistory() const override {
        return "step back needs the simulator ('target': 'sim'): the tool cannot run backwards";
    }
    std::optional<std::string> NoProgramWrites() const override {
        return "the tool's program memory is written by programming it: launch again";
    }
    std::size_t breakpointLimit() const override { return 1; }
    std::string BreakpointNote(int address) const override;
    std::string BreakpointRefusal(int inUse) const override;
    bool Restart(std::string& message) override;
    // Stops the clock, or leaves the chip running or halted, and closes the link.
    bool End(bool stopChip, std::string& message) override;

    // Runs (ToolRuns.cpp).
    void StepIn(bool byInstruction, RunHost& host) override;
    void StartRun(RunHost& host) override;
    void Advance(RunHost& host) override;
    bool Pause(RunHost& host) override;
    void BreakpointsChanged(RunHost& host) override;

    // Sends the halted chip on: to its one hardware breakpoint (it halts
    // after the instruction at `breakAfter` has run) or freely.
    void Run(std::optional<int> breakAfter);
    // Whether the running chip has halted since; the halt is read then.
    bool Halted();
    bool sleeping() const { return debugger_.Session.LastRunState == kRunStateSleeping; }
    // A free run (or a sleeping chip) halts at its next instruction.
    void Interrupt();
    // One instruction without showing anything; false when the chip did
    // not halt after it (it sleeps): it runs then, and Halted tells. Only
    // where the chip is comes back (the mirror's PC, W, STATUS, FSR, M and
    // flags); the rest is read by Complete, before anything looks at it.
    bool StepSilently();
    // The whole state of a halt that StepSilently read only in part.
    void Complete() override;
    // Waits up to `ms` for a halt of the running chip.
    bool WaitHalt(std::uint32_t ms);
    // From the reset vector again (the chip halted first if it runs).
    void Reset();
    // The mirror was written (a register, RAM, the program counter): the
    // same writes go to the chip, which is read back.
    void Changed() override;
    // Stops the clock and closes the link (quietly, if it is gone).
    void End();
    // Closes the link and leaves the chip as it is, running or halted.
    void Leave();

private:
    // A run halted: asked to, at the breakpoint, or on its own.
    void AfterHalt(RunHost& host);
    void LoadMirror();
    // The part of the mirror a resume gives back.
    void LoadPosition();
    // Polls up to `ms` for a halt.
    bool Poll(std::uint32_t ms);

    AssemblyState& state_;
    std::unique_ptr<SerialDevice> device_;
    Link link_{*device_};
    DebugController debugger_{link_, state_};
    SxCpu mirror_;
    // What the mirror held when it was loaded, to see what a write changed:
    // W, STATUS, FSR, M, RTCC, PC, then the file 05h..FFh (the port latches
    // at the ports' addresses).
    std::array<std::uint32_t, 262> loaded_{};
    bool partial_ = false;  // the halt was read in part (StepSilently)
    bool pausing_ = false;  // the running chip was asked to halt
    // Silent steps: the line and address a line step started from, and the
    // calls entered minus the returns left while stepping out.
    int stepLine_ = 0, stepStart_ = 0, stepDepth_ = 0;
};

}  // namespace korvid::dap
