// Millisecond time for link time-outs and waits, behind an interface so that
// tests can replace the clock.
#pragma once

#include <cstdint>

namespace korvid {

class TickSource {
public:
    virtual ~TickSource() = default;
    // Milliseconds since an arbitrary start, monotonic.
    virtual std::uint64_t NowMs() = 0;
    // Lets at least `ms` milliseconds pass (a test clock just advances).
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// The steady clock of the system.
TickSource& SystemTicks();

}  // namespace korvid
