#include "sim/SimDriver.h"

#include <algorithm>
#include <utility>

namespace korvid {

SimDriver::SimDriver(SxCpu& cpu, Stimulus stimulus, SimTimeBase base, const volatile std::sig_atomic_t* stop)
    : interrupt(stop), cpu_(cpu), stimulus_(std::move(stimulus)), base_(base), schedule_(stimulus_, base_, stop) {
    lastCycle_ = cpu_.cycles();
    cpu_.SetPinObserver(this);
}

SimDriver::~SimDriver() { cpu_.SetPinObserver(nullptr); }

std::uint8_t SimDriver::RegisterValue(int address) const {
    if (address == kRegisterW) return cpu_.w();
    if (address == kRegisterM) return cpu_.mode();
    return cpu_.Peek(address);
}

void SimDriver::CheckRegisters() {
    const std::uint64_t now = std::max(SessionCycle(), lastCycle_);
    for (std::size_t i = 0; i < watched_.size(); ++i) {
        Watched& w = watched_[i];
        const std::uint8_t v = RegisterValue(w.address);
        if (w.known && v == w.value) continue;
        w.known = true;
        w.value = v;
        for (PinSink* s : sinks_) s->RegisterChanged(static_cast<int>(i), v, now);
    }
}

// Runs up to `cycles` cycles: in one go, or an instruction at a time while
// registers are watched (a sleeping chip still lets the time pass at once).
SxStop SimDriver::RunSlice(std::uint64_t cycles) {
    if (watched_.empty()) return cpu_.Run(cycles);
    const std::uint64_t end = cpu_.cycles() + cycles;
    while (cpu_.cycles() < end) {
        const SxStop stop = cpu_.Run(cpu_.sleeping() ? end - cpu_.cycles() : 1);
        CheckRegisters();
        if (stop != SxStop::Budget) return stop;
    }
    return SxStop::Budget;
}

void SimDriver::AddSink(PinSink* sink) {
    sinks_.push_back(sink);
    for (std::size_t i = 0; i < watched_.size(); ++i)
        sink->RegisterChanged(static_cast<int>(i), RegisterValue(watched_[i].address), lastCycle_);
    for (Watched& w : watched_) w.known = true, w.value = RegisterValue(w.address);
    for (int p = 0; p < cpu_.portCount(); ++p)
        if (known_[p]) sink->PinsChanged(p, last_[p], lastCycle_);
}

void SimDriver::PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) {
    if (port < 0 || port >= 5) return;
    cycle = applying_ ? eventCycle_ : cycle + offset_;
    // Reports never go back in time: an output write that ends after an
    // input event already shown keeps the order of the waveform.
    cycle = std::max(cycle, lastCycle_);
    if (known_[port] && last_[port] == levels) return;
    known_[port] = true;
    last_[port] = levels;
    lastCycle_ = cycle;
    for (PinSink* s : sinks_) s->PinsChanged(port, levels, cycle);
}

void SimDriver::ApplyDue() {
    PinEvent e;
    while (schedule_.NextCycle() <= cpu_.cycles() && schedule_.Take(e)) {
        std::uint8_t& level = level_[e.port];
        std::uint8_t& driven = driven_[e.port];
        if (e.release) {
            driven = static_cast<std::uint8_t>(driven & ~e.mask);
        } else {
            driven |= e.mask;
            level = static_cast<std::uint8_t>((level & ~e.mask) | (e.level & e.mask));
        }
        applying_ = true;
        eventCycle_ = e.cycle + offset_;
        cpu_.SetPortInput(e.port, level, driven);
        applying_ = false;
    }
    if (live_) live_->Apply(cpu_.cycles());
}

void SimDriver::Drive(int port, std::uint8_t mask, std::uint8_t level) {
    if (port < 0 || port >= 5) return;
    driven_[port] |= mask;
    level_[port] = static_cast<std::uint8_t>((level_[port] & ~mask) | (level & mask));
    applying_ = true;
    eventCycle_ = SessionCycle();
    cpu_.SetPortInput(port, level_[port], driven_[port]);
    applying_ = false;
}

void SimDriver::Reached() {
    if (!watched_.empty()) CheckRegisters();
    // Events not yet applied may still change pins from their own cycle.
    const std::uint64_t next = schedule_.NextCycle();
    const std::uint64_t now = std::min<std::uint64_t>(SessionCycle(), next == ~0ull ? ~0ull : next + offset_);
    lastCycle_ = std::max(lastCycle_, now);
    for (PinSink* s : sinks_) s->Reached(now);
}

void SimDriver::PowerOn(SimTimeBase base) {
    offset_ = lastCycle_ >= cpu_.cycles() ? lastCycle_ - cpu_.cycles() : 0;
    base_ = base;
    schedule_ = StimulusSchedule(stimulus_, base_, interrupt);
    for (int p = 0; p < 5; ++p) level_[p] = driven_[p] = 0;
    for (PinSink* s : sinks_) s->TimeBaseChanged(base_, SessionCycle());
}

SimDriver::Position SimDriver::Save() const {
    Position p{schedule_, {}, {}};
    std::copy(std::begin(level_), std::end(level_), p.level.begin());
    std::copy(std::begin(driven_), std::end(driven_), p.driven.begin());
    return p;
}

void SimDriver::Restore(const Position& position) {
    schedule_ = position.schedule;
    std::copy(position.level.begin(), position.level.end(), std::begin(level_));
    std::copy(position.driven.begin(), position.driven.end(), std::begin(driven_));
}

SxStop SimDriver::RunTo(std::uint64_t endCycle) {
    if (live_) live_->Poll(cpu_.cycles());
    for (;;) {
        ApplyDue();
        const std::uint64_t now = cpu_.cycles();
        if (now >= endCycle) {
            Reached();
            return SxStop::Budget;
        }
        const std::uint64_t limit = std::min<std::uint64_t>({endCycle, schedule_.NextCycle(), now + sliceCycles,
                                              live_ ? std::max(live_->NextEdge(), now + 1) : ~0ull});
        const SxStop stop = RunSlice(limit - now);
        if (stop == SxStop::Breakpoint || stop == SxStop::Trap) {
            Reached();
            return stop;
        }
        if (cpu_.cycles() >= limit) Reached();
        if (interrupted()) {
            Reached();
            return SxStop::Trap;
        }
        if (stop == SxStop::Sleep && cpu_.cycles() >= endCycle) {
            ApplyDue();  // an edge due now may still wake the chip
            if (cpu_.sleeping()) return SxStop::Sleep;
        }
    }
}

}  // namespace korvid
