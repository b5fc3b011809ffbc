// The cycle stopwatch of a debug session: the instruction cycles since the
// start (a reset or the launch) and those of the last run, from the stop
// before it to the last stop, and the time they take at the chip's clock.
// The debug adapter's Timing scope and the Debug window show it. A target
// that cannot count cycles (the tool: its protocol tells none) has no
// stopwatch, and its texts say so rather than show a figure.
//
// A simulated chip can also go back in time (a step back in its history):
// a stop at an earlier cycle undoes the stops after it, and the counts read
// as they did when the chip was last there, never as a negative run.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace korvid {

class CycleStopwatch {
public:
    // The chip starts (again) at cycle `cycle` of its counter.
    void Start(std::uint64_t cycle) {
        start_ = previousStop_ = lastStop_ = cycle;
        stops_.assign(1, cycle);
    }
    // The chip stopped at cycle `cycle` (earlier than the last stop: it
    // went back in its history).
    void Stopped(std::uint64_t cycle);
    std::uint64_t SinceStart() const { return lastStop_ - start_; }
    std::uint64_t SinceLastStop() const { return lastStop_ - previousStop_; }
    // Sets the count of the last run (0 zeroes it); false for more cycles
    // than have passed.
    bool SetSinceLastStop(std::uint64_t cycles) {
        if (cycles > lastStop_) return false;
        previousStop_ = lastStop_ - cycles;
        return true;
    }
    // Zeroes both counts: the stopwatch measures from the last stop on.
    void Zero() {
        start_ = previousStop_ = lastStop_;
        stops_.assign(1, lastStop_);
    }
    // Whether the last stop went back before every stop the stopwatch
    // knows (its start, or stops too old to be kept): it counts from there
    // anew.
    bool WentBackPastStart() const { return wentBackPastStart_; }

    // Stops kept for going back; older ones are forgotten.
    static constexpr std::size_t kMaxStops = 4096;

private:
    std::uint64_t start_ = 0;
    std::uint64_t previousStop_ = 0;
    std::uint64_t lastStop_ = 0;
    std::deque<std::uint64_t> stops_{0};  // the start and the stops since, oldest first
    bool wentBackPastStart_ = false;
};

// The time `cycles` instruction cycles take at a clock of `hz` (one clock a
// cycle in turbo mode, four otherwise): "12.500 us"; "—" for an unknown
// clock (0).
std::string CycleTimeText(std::uint64_t cycles, bool turbo, std::uint32_t hz);

// The stopwatch's lines as the Debug window shows them; `watch` null: the
// target counts no cycles, and the figures are dashes.
std::string StopwatchText(const CycleStopwatch* watch, bool turbo, std::uint32_t hz);

}  // namespace korvid
