// The emulated chip of a debug session with the stimulus, the serial
// output decoder and a bounded history for going back: whole copies of the
// CPU (pins and peripherals are part of it) and of the stimulus position,
// taken every kSnapshotCycles; a point between two copies is reached again
// by running forward from the earlier one, instruction by instruction.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dap/Program.h"
#include "dap/Target.h"
#include "sim/SimDriver.h"
#include "sim/SimSetup.h"
#include "sim/SxCpu.h"
#include "sim/UartDecoder.h"
#include "sim/VcdWriter.h"

namespace korvid::dap {

struct SimLaunch {
    std::uint32_t clockHz = 0;  // 0: the family's default
    std::optional<std::string> stimulus;
    std::optional<std::string> uartOut;  // "RB.6:9600"
    std::optional<std::string> vcd;      // a waveform of the pins
};

class SimTarget final : public Target {
public:
    static constexpr std::uint64_t kSnapshotCycles = 65'536;
    static constexpr std::size_t kMaxSnapshots = 24;

    SimTarget();
    ~SimTarget();
    SimTarget(const SimTarget&) = delete;
    SimTarget& operator=(const SimTarget&) = delete;

    // Builds the CPU from the program's image and the launch arguments
    // (kept for a restart).
    bool Start(const DebugProgram& program, const Family& family, const SimLaunch& launch, std::string& message);

    SxCpu& cpu() override { return *cpu_; }
    const SxCpu& cpu() const override { return *cpu_; }
    std::vector<RegisterInfo> Registers() const override { return RegistersOf(*cpu_); }
    std::uint32_t clockHz() const override { return cpu_->config().clockHz; }
    bool countsCycles() const override { return true; }
    bool readsReturnStack() const override { return true; }
    std::optional<std::string> HistoryText() const override;
    bool Restart(std::string& message) override { return Start(*program_, *family_, launch_, message); }
    // Completes the waveform; the chip has nothing to stop.
    bool End(bool /*stopChip*/, std::string& message) override { return Finish(message); }

    // Runs (SimRuns.cpp).
    void StepIn(bool byInstruction, RunHost& host) override;
    void StartRun(RunHost& host) override;
    void Advance(RunHost& host) override;
    bool Pause(RunHost& /*host*/) override { return true; }

    // The program's serial output, as it is decoded (never while the
    // history is replayed).
    std::function<void(const std::string&)> onOutput;

    // Completes the waveform (if any); false with the reason when it
    // could not be written whole.
    bool Finish(std::string& message);

    // Whether a stack over- or underflow stops a run (SxCpu's stack traps),
    // now and after every return to an older copy.
    void SetStackTraps(bool on) override;

    // Stops before the instructions at these addresses (user breakpoints
    // and the steppers' own).
    void SetTraps(const std::set<int>& addresses) override;
    bool IsTrap(int address) const { return traps_.count(address) != 0; }

    // One whole instruction (a taken skip with the words it passes over);
    // a sleeping chip lets up to `kSnapshotCycles` pass instead.
    void StepInstruction();
    // Runs up to `cycles` cycles or until a trap (returns Trap there).
    SxStop Run(std::uint64_t cycles);

    // The state changed from outside (a register written, the program
    // counter moved): later history no longer follows from it.
    void Changed() override;
    // Program words from `first` on (12 bits each); the history starts anew.
    void WriteProgram(int first, const std::vector<std::uint16_t>& words) override;
    // Back to the instruction boundary before the current one; false at the
    // start of the history.
    bool StepBack() override;
    // Back to the latest earlier boundary at a trap address where `accept`
    // holds; false (at the start of the history) when there is none.
    bool ReverseContinue(const std::function<bool()>& accept) override;
    // Memory the history holds, in bytes.
    std::size_t HistoryBytes() const { return history_.size() * sizeof(Snapshot); }
    std::uint64_t HistoryStart() const { return history_.empty() ? 0 : history_.front().cpu.cycles(); }

private:
    struct Snapshot {
        SxCpu cpu;
        SimDriver::Position position;
    };
    class Muted;

    void TakeSnapshot();
    void MaybeSnapshot();
    // Restores history entry `index` and replays forward to `cycle`.
    void Restore(std::size_t index);
    void ReplayTo(std::uint64_t cycle);
    void ReplayStep();
    // The newest snapshot strictly before `cycle`, if any.
    std::optional<std::size_t> SnapshotBefore(std::uint64_t cycle) const;

    const DebugProgram* program_ = nullptr;
    const Family* family_ = nullptr;
    SimLaunch launch_;
    std::unique_ptr<SxCpu> cpu_;
    std::unique_ptr<SimDriver> driver_;
    std::unique_ptr<UartDecoder> uart_;
    std::unique_ptr<VcdWriter> vcd_;
    std::vector<std::unique_ptr<Muted>> sinks_;
    Muted* vcdSink_ = nullptr;
    std::set<int> traps_;
    bool stackTraps_ = true;
    std::deque<Snapshot> history_;
    bool replaying_ = false;
};

}  // namespace korvid::dap
