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
#include <string>

#include "core/asm/AssemblyState.h"
#include "core/link/DebugController.h"
#include "core/link/Link.h"
#include "platform/SerialPorts.h"
#include "sim/SxCpu.h"

namespace korvid::dap {

class ToolTarget {
public:
    // `state`: the assembled program (its debug image is prepared here).
    ToolTarget(AssemblyState& state, const Family& family);
    ~ToolTarget();
    ToolTarget(const ToolTarget&) = delete;
    ToolTarget& operator=(const ToolTarget&) = delete;

    // Opens `port` (COM1..COM4 or a device path), programs the debug image
    // when `program` is set (attach leaves the chip's program as it is),
    // resets the chip and waits for its halt at the reset vector. False
    // with the link's message when any of it fails.
    bool Start(const std::string& port, bool program, std::string& message);

    // The chip as read at the last halt.
    SxCpu& cpu() { return mirror_; }
    const SxCpu& cpu() const { return mirror_; }
    std::uint32_t clockHz() const { return state_.ClockFrequency; }

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
    void Complete();
    // Waits up to `ms` for a halt of the running chip.
    bool WaitHalt(std::uint32_t ms);
    // From the reset vector again (the chip halted first if it runs).
    void Reset();
    // The mirror was written (a register, RAM, the program counter): the
    // same writes go to the chip, which is read back.
    void Changed();
    // Stops the clock and closes the link (quietly, if it is gone).
    void End();

private:
    void LoadMirror();
    // The part of the mirror a resume gives back.
    void LoadPosition();
    // Polls up to `ms` for a halt.
    bool Poll(std::uint32_t ms);

    AssemblyState& state_;
    std::unique_ptr<SerialDevice> device_ = MakeSerialDevice();
    Link link_{*device_};
    DebugController debugger_{link_, state_};
    SxCpu mirror_;
    // What the mirror held when it was loaded, to see what a write changed:
    // W, STATUS, FSR, M, RTCC, PC, then the file 05h..FFh (the port latches
    // at the ports' addresses).
    std::array<std::uint32_t, 262> loaded_{};
    bool partial_ = false;  // the halt was read in part (StepSilently)
};

}  // namespace korvid::dap
