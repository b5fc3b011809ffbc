// The debug side of the simulated tool: runs the chip's program on the SX
// emulator after a release and serves the run-state poll (5), the state
// read (6, n) and the payloads (7, count, bytes): resume with a run mode,
// interrupt, register write.
//
// A chip holding a debug image halts at reset and reports the program
// counter program size − 3 (the kernel's copy of the reset jump, which a
// resume from the reset vector executes). The emulator never runs the
// kernel itself: reaching its entry is the halt at reset, and any other
// kernel word halts where it is. A free run advances the chip by a slice of
// cycles at each poll, so the tool answers at once whatever the program does.
#pragma once

#include <cstdint>

#include "core/asm/AssemblyState.h"
#include "core/link/Protocol.h"
#include "sim/ChipRunner.h"
#include "sim/SxCpu.h"

namespace korvid {

class SimDriver;

class ToolDebugRunner final : public ChipRunner {
public:
    explicit ToolDebugRunner(const Family& family);

    void Release(SimChip& chip) override;
    std::uint8_t RunState(SimChip& chip) override;
    void ReadState(SimChip& chip, std::uint8_t count, std::uint8_t* out) override;
    void Payload(SimChip& chip, const std::uint8_t* data, std::size_t size) override;
    void ChipChanged(SimChip& chip) override;

    enum class Mode : std::uint8_t {
        Held,     // not released yet, or being programmed: nothing runs
        Halted,   // in the debug kernel, waiting for a resume
        Running,  // running (asleep when the CPU sleeps)
    };
    Mode mode() const { return mode_; }
    bool debugImage() const { return debugImage_; }
    SxCpu& Cpu() { return cpu_; }
    const SxCpu& Cpu() const { return cpu_; }

    // Without a tick source, a running chip advances this many instruction
    // cycles at each poll (deterministic, for tests in the same process).
    std::uint64_t cyclesPerPoll = 1'000'000;
    // In real time (korvid-sim), it advances by the time that passed since
    // the last exchange at `clockHz` (the tool's clock setting once one is
    // made), at most `maxAdvanceUs` of it at a time, at each poll and before
    // an interrupt halts it.
    bool realTime = false;
    std::uint32_t clockHz = 50'000'000;
    std::uint32_t maxAdvanceUs = 1'000'000;

    // Pins driven on a schedule and pin changes reported (korvid-sim
    // --stimulus, --vcd): the runner advances the chip through the driver,
    // which must work on Cpu(). nullptr: the chip runs on its own.
    void SetDriver(SimDriver* driver) { driver_ = driver; }

private:
    void Load(const SimChip& chip);
    void StartRunning();
    void Advance();
    void HaltAtReset();
    void Halt();
    void AfterStop(SxStop stop);
    void Step();
    bool InKernel(int address) const;
    void ClearBreakpoint();

    const Family& family_;
    SxCpu cpu_;
    Image loaded_{};
    bool everLoaded_ = false;
    Mode mode_ = Mode::Held;
    bool debugImage_ = false;
    int programSize_ = 2048;
    int kernelFirst_ = 0;   // size − 137
    int kernelEntry_ = 0;   // page offset 183h of the last page
    int resetCopy_ = 0;     // size − 3
    int breakpoint_ = -1;   // break-after address while running to it
    std::uint64_t lastUs_ = 0;
    SimDriver* driver_ = nullptr;
};

}  // namespace korvid
