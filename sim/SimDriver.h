// Runs an emulated chip headless: from power-on reset for a number of
// cycles (or until a break address), applying the driven pin levels of a
// stimulus schedule at their cycles and passing every change of pin levels
// to sinks (waveform writer, serial decoder). Nothing is kept of the run but
// the current levels, so memory stays flat for any run length.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/StopFlag.h"
#include "sim/Stimulus.h"
#include "family/Registers.h"
#include "sim/SxCpu.h"

namespace korvid {

// Receives the pin levels of the chip as they change.
class PinSink {
public:
    virtual ~PinSink() = default;
    // Port `port`'s pins hold `levels` from `cycle` on (only real changes;
    // the first call per port gives the levels at the start).
    virtual void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) = 0;
    // The run has reached `cycle`: nothing before it will change any more.
    virtual void Reached(std::uint64_t cycle) { (void)cycle; }
    // Watched register `index` (SimDriver::WatchRegister order) holds
    // `value` from `cycle` on; the first call gives the starting value.
    virtual void RegisterChanged(int index, std::uint8_t value, std::uint64_t cycle) {
        (void)index, (void)value, (void)cycle;
    }
    // From `cycle` on, cycles last as `base` says (a new clock or timing).
    virtual void TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) { (void)base, (void)cycle; }
};

// A pin input that changes while the chip runs (a serial line fed from a
// terminal): polled when a run starts, its level changes stop the run at
// their cycles like stimulus events. Cycles are the CPU's.
class LiveInput {
public:
    virtual ~LiveInput() = default;
    // Takes what arrived from outside; nothing of it starts before `cycle`.
    virtual void Poll(std::uint64_t cycle) = 0;
    // The cycle of the next level change (~0: none).
    virtual std::uint64_t NextEdge() const = 0;
    // Drives the levels due by `cycle` (through SimDriver::Drive).
    virtual void Apply(std::uint64_t cycle) = 0;
};

class SimDriver final : private SxPinObserver {
public:
    // The CPU must stay alive. Stimulus times count from the CPU's last
    // power-on reset at the given time base. `stop` (a signal handler's
    // flag) becomes `interrupt`; it also cuts short the sorting of a large
    // stimulus.
    SimDriver(SxCpu& cpu, Stimulus stimulus = {}, SimTimeBase base = {},
              const volatile std::sig_atomic_t* stop = nullptr);
    ~SimDriver() override;
    SimDriver(const SimDriver&) = delete;
    SimDriver& operator=(const SimDriver&) = delete;

    // Sinks are told the current levels of every port when added.
    void AddSink(PinSink* sink);

    // Also reports a register (a debugger address 0..255 as SxCpu::Peek
    // reads it, kRegisterW or kRegisterM of family/Registers.h) after every
    // instruction that changes it. Watching runs the chip one instruction
    // at a time, several times slower than without. Add watches before
    // sinks.
    void WatchRegister(int address) { watched_.push_back({address, 0, false}); }

    // Runs until the cycle count reaches `endCycle` or, with a break-after
    // address set on the CPU, the instruction there executes (returns
    // Breakpoint). Stimulus events are applied at the first instruction
    // boundary at or after their cycle; sinks see them at their cycle.
    SxStop RunTo(std::uint64_t endCycle);

    // Drives the pins of `mask` on `port` to `level` from outside now (a live
    // input such as a serial line), beside the stimulus.
    void Drive(int port, std::uint8_t mask, std::uint8_t level);
    // At most one live input (nullptr: none); it must outlive its use.
    void SetLiveInput(LiveInput* input) { live_ = input; }

    // Applies the events due up to the current cycle (the debugger's runner
    // calls this between its own slices).
    void ApplyDue();
    std::uint64_t NextEventCycle() const { return schedule_.NextCycle(); }
    // Tells the sinks that the run has reached the CPU's current cycle.
    void Reached();

    // The CPU was reset at power-on (a new program in a debug session): the
    // stimulus starts again from its beginning at `base`, while the sinks'
    // time goes on from where it was.
    void PowerOn(SimTimeBase base);
    // Cycles the sinks have seen: the CPU's since power-on plus those
    // before the last PowerOn.
    std::uint64_t SessionCycle() const { return cpu_.cycles() + offset_; }

    // Where the stimulus stands (its schedule and the levels it drives), for
    // a debugger's history: restored together with a copy of the CPU taken
    // at the same moment, the run goes on exactly as it went the first time.
    struct Position {
        StimulusSchedule schedule;
        std::array<std::uint8_t, 5> level{}, driven{};
    };
    Position Save() const;
    void Restore(const Position& position);

    // The largest slice the driver runs between reports to the sinks.
    std::uint64_t sliceCycles = 1'000'000;
    // When set and non-zero (a signal handler's flag), RunTo stops after
    // the slice it is in and returns Trap.
    const volatile std::sig_atomic_t* interrupt = nullptr;
    bool interrupted() const { return interrupt && *interrupt; }

private:
    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override;
    std::uint8_t RegisterValue(int address) const;
    void CheckRegisters();
    SxStop RunSlice(std::uint64_t cycles);

    struct Watched {
        int address;
        std::uint8_t value;
        bool known;
    };
    std::vector<Watched> watched_;

    SxCpu& cpu_;
    Stimulus stimulus_;
    SimTimeBase base_;
    StimulusSchedule schedule_;
    std::uint64_t offset_ = 0;        // sink cycles = CPU cycles + offset_
    std::vector<PinSink*> sinks_;
    LiveInput* live_ = nullptr;
    std::uint8_t level_[5] = {};
    std::uint8_t driven_[5] = {};
    std::uint8_t last_[5] = {};
    bool known_[5] = {};
    std::uint64_t lastCycle_ = 0;     // no report goes back before this
    std::uint64_t eventCycle_ = 0;    // the cycle of the event being applied
    bool applying_ = false;
};

}  // namespace korvid
