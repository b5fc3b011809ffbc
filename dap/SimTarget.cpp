#include "dap/SimTarget.h"

#include <algorithm>

namespace korvid::dap {

// Passes the pins on (to the serial decoder, the waveform) except while the
// history replays what they have already seen.
class SimTarget::Muted final : public PinSink {
public:
    Muted(const SimTarget& target, PinSink& inner) : target_(target), inner_(inner) {}
    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override {
        if (active && !target_.replaying_) inner_.PinsChanged(port, levels, cycle);
    }
    void Reached(std::uint64_t cycle) override {
        if (active && !target_.replaying_) inner_.Reached(cycle);
    }
    void TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) override {
        if (active) inner_.TimeBaseChanged(base, cycle);
    }
    bool active = true;  // false once the receiver is complete

private:
    const SimTarget& target_;
    PinSink& inner_;
};

SimTarget::SimTarget() = default;
SimTarget::~SimTarget() = default;

bool SimTarget::Start(const DebugProgram& program, const Family& family, const SimLaunch& launch,
                      std::string& message) {
    program_ = &program;
    family_ = &family;
    launch_ = launch;
    std::string unused;
    Finish(unused);  // a restart completes the waveform so far
    driver_.reset();
    sinks_.clear();
    vcdSink_ = nullptr;
    uart_.reset();
    vcd_.reset();
    traps_.clear();
    cpu_ = std::make_unique<SxCpu>(family);
    // The clock: the launch's, else the source's FREQ, else the default.
    std::uint32_t clockHz = launch.clockHz ? launch.clockHz : program.state().ClockFrequency;
    if (clockHz == 0) clockHz = kDefaultClockFrequency;
    LoadCpuFromImage(*cpu_, family, program.image(), clockHz);
    cpu_->SetStackTraps(stackTraps_);
    const SimTimeBase base = TimeBaseOf(*cpu_);
    Stimulus stimulus;
    if (launch.stimulus) {
        SimProblem problem;
        if (!LoadStimulusFile(*launch.stimulus, StimulusPins::Of(family, cpu_->portCount()), base, stimulus, problem)) {
            message = problem.message;
            for (const std::string& line : problem.located) message += "\n" + line;
            return false;
        }
    }
    driver_ = std::make_unique<SimDriver>(*cpu_, std::move(stimulus), base);
    if (launch.uartOut) {
        UartPin pin;
        if (!ParseUartPin(*launch.uartOut, pin) || pin.port >= cpu_->portCount()) {
            message = "uartOut '" + *launch.uartOut + "' is not a pin and baud rate such as RB.6:9600";
            return false;
        }
        uart_ = MakeUartDecoder(pin, base);
        uart_->onByte = [this](std::uint8_t b) {
            if (onOutput) onOutput(std::string(1, char(b)));
        };
        sinks_.push_back(std::make_unique<Muted>(*this, *uart_));
    }
    if (launch.vcd) {
        SimProblem problem;
        vcd_ = std::make_unique<VcdWriter>();
        if (!OpenWaveform(*vcd_, *launch.vcd, family, StimulusPins::Of(family, cpu_->portCount()), base,
                          kDefaultVcdLimit, {}, problem)) {
            message = problem.message;
            return false;
        }
        sinks_.push_back(std::make_unique<Muted>(*this, *vcd_));
        vcdSink_ = sinks_.back().get();
    }
    for (auto& sink : sinks_) driver_->AddSink(sink.get());
    driver_->ApplyDue();
    history_.clear();
    TakeSnapshot();
    return true;
}

bool SimTarget::Finish(std::string& message) {
    if (!vcdSink_ || !vcdSink_->active) return true;
    vcdSink_->active = false;
    SimProblem problem;
    const bool whole = FinishWaveform(*vcd_, driver_->SessionCycle(), problem);
    message = problem.message;
    return whole;
}

void SimTarget::SetStackTraps(bool on) {
    stackTraps_ = on;
    if (cpu_ && cpu_->stackTraps() != on) cpu_->SetStackTraps(on);
}

void SimTarget::SetTraps(const std::set<int>& addresses) {
    for (int a : traps_)
        if (!addresses.count(a)) cpu_->SetHaltBefore(a, false);
    for (int a : addresses)
        if (!traps_.count(a)) cpu_->SetHaltBefore(a, true);
    traps_ = addresses;
}

void SimTarget::ReplayStep() {
    if (cpu_->sleeping()) {
        // Time passes in SLEEP until the watchdog or an input wakes the chip.
        driver_->RunTo(cpu_->cycles() + 1);
        return;
    }
    cpu_->Step();
    while (cpu_->skipPending()) cpu_->Step();
    driver_->ApplyDue();
}

void SimTarget::StepInstruction() {
    if (cpu_->sleeping()) {
        driver_->RunTo(cpu_->cycles() + kSnapshotCycles);
    } else {
        ReplayStep();
        driver_->Reached();
    }
    MaybeSnapshot();
}

SxStop SimTarget::Run(std::uint64_t cycles) {
    const std::uint64_t end = cpu_->cycles() + cycles;
    for (;;) {
        const std::uint64_t next = history_.back().cpu.cycles() + kSnapshotCycles;
        const SxStop stop = driver_->RunTo(std::min(end, std::max(next, cpu_->cycles() + 1)));
        MaybeSnapshot();
        if (stop == SxStop::Trap || stop == SxStop::Breakpoint) return SxStop::Trap;
        if (cpu_->cycles() >= end) return stop;
    }
}

void SimTarget::TakeSnapshot() {
    history_.push_back({*cpu_, driver_->Save()});
    while (history_.size() > kMaxSnapshots) history_.pop_front();
}

void SimTarget::MaybeSnapshot() {
    if (history_.empty() || cpu_->cycles() >= history_.back().cpu.cycles() + kSnapshotCycles) TakeSnapshot();
}

void SimTarget::WriteProgram(int first, const std::vector<std::uint16_t>& words) {
    std::uint16_t all[kProgramWords];
    for (int a = 0; a < kProgramWords; ++a) all[a] = cpu_->ProgramWord(a);
    for (std::size_t i = 0; i < words.size(); ++i) all[std::size_t(first) + i] = words[i];
    cpu_->LoadProgram(all, kProgramWords);
    // Earlier copies hold the old program: going back starts from here.
    history_.clear();
    TakeSnapshot();
}

void SimTarget::Changed() {
    const std::uint64_t now = cpu_->cycles();
    while (!history_.empty() && history_.back().cpu.cycles() >= now) history_.pop_back();
    TakeSnapshot();
}

std::optional<std::size_t> SimTarget::SnapshotBefore(std::uint64_t cycle) const {
    for (std::size_t i = history_.size(); i-- > 0;)
        if (history_[i].cpu.cycles() < cycle) return i;
    return std::nullopt;
}

void SimTarget::Restore(std::size_t index) {
    // The copy carries the breakpoints of its time: put today's back.
    const std::set<int> traps = traps_;
    *cpu_ = history_[index].cpu;
    driver_->Restore(history_[index].position);
    cpu_->ClearTraps();
    traps_.clear();
    SetTraps(traps);
    SetStackTraps(stackTraps_);
}

void SimTarget::ReplayTo(std::uint64_t cycle) {
    const auto index = SnapshotBefore(cycle + 1);
    if (!index) return;
    replaying_ = true;
    Restore(*index);
    while (cpu_->cycles() < cycle) ReplayStep();
    replaying_ = false;
}

bool SimTarget::StepBack() {
    const std::uint64_t now = cpu_->cycles();
    const auto index = SnapshotBefore(now);
    if (!index) return false;
    replaying_ = true;
    Restore(*index);
    std::uint64_t previous = cpu_->cycles();
    while (cpu_->cycles() < now) {
        previous = cpu_->cycles();
        ReplayStep();
    }
    replaying_ = false;
    ReplayTo(previous);
    return true;
}

bool SimTarget::ReverseContinue(const std::function<bool()>& accept) {
    const std::uint64_t now = cpu_->cycles();
    auto index = SnapshotBefore(now);
    if (!index) return false;
    std::uint64_t end = now;
    replaying_ = true;
    for (;;) {
        Restore(*index);
        std::optional<std::uint64_t> found;
        while (cpu_->cycles() < end) {
            if (IsTrap(cpu_->pc()) && accept()) found = cpu_->cycles();
            ReplayStep();
        }
        if (found) {
            replaying_ = false;
            ReplayTo(*found);
            return true;
        }
        if (*index == 0) break;
        end = history_[*index].cpu.cycles();
        --*index;
    }
    replaying_ = false;
    ReplayTo(history_.front().cpu.cycles());
    return false;
}

}  // namespace korvid::dap

namespace korvid::dap {

std::optional<std::string> SimTarget::HistoryText() const {
    return std::to_string(HistoryBytes() / 1024) + " KiB from cycle " + std::to_string(HistoryStart());
}

}  // namespace korvid::dap
