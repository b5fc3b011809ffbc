// The cycle stopwatch of a debug session: the instruction cycles since the
// start (a reset or the launch) and those of the last run, from the stop
// before it to the last stop, and the time they take at the chip's clock.
// The debug adapter's Timing scope and the Debug window show it. A target
// that cannot count cycles (the tool: its protocol tells none) has no
// stopwatch, and its texts say so rather than show a figure.
#pragma once

#include <cstdint>
#include <string>

namespace korvid {

class CycleStopwatch {
public:
    // The chip starts (again) at cycle `cycle` of its counter.
    void Start(std::uint64_t cycle) { start_ = previousStop_ = lastStop_ = cycle; }
    // The chip stopped at cycle `cycle`.
    void Stopped(std::uint64_t cycle) {
        previousStop_ = lastStop_;
        lastStop_ = cycle;
    }
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
    void Zero() { start_ = previousStop_ = lastStop_; }

private:
    std::uint64_t start_ = 0;
    std::uint64_t previousStop_ = 0;
    std::uint64_t lastStop_ = 0;
};

// The time `cycles` instruction cycles take at a clock of `hz` (one clock a
// cycle in turbo mode, four otherwise): "12.500 us"; "—" for an unknown
// clock (0).
std::string CycleTimeText(std::uint64_t cycles, bool turbo, std::uint32_t hz);

// The stopwatch's lines as the Debug window shows them; `watch` null: the
// target counts no cycles, and the figures are dashes.
std::string StopwatchText(const CycleStopwatch* watch, bool turbo, std::uint32_t hz);

}  // namespace korvid
