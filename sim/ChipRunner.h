// The debug side of the simulated tool: what happens to the chip when the
// tool releases it (command 4), polls its run state (5), reads its state
// (6, n) and passes it a payload (7, count, bytes). The firmware model
// routes these commands here; a runner that executes the chip's program
// replaces the default, which keeps the chip halted and idle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/SimChip.h"

namespace korvid {

class ChipRunner {
public:
    virtual ~ChipRunner() = default;
    // Command 4: the chip is reset and released (it runs its program, or
    // halts at reset when it holds a debug image).
    virtual void Release(SimChip& chip) { (void)chip; }
    // Command 5: 2 halted, 1 sleeping, anything else running.
    virtual std::uint8_t RunState(SimChip& chip) {
        (void)chip;
        return 2;
    }
    // Command 6: `count` bytes of chip state into `out`.
    virtual void ReadState(SimChip& chip, std::uint8_t count, std::uint8_t* out) {
        (void)chip;
        for (std::size_t i = 0; i < count; ++i) out[i] = 0;
    }
    // Command 7: the counted payload (resume, interrupt, register write).
    virtual void Payload(SimChip& chip, const std::uint8_t* data, std::size_t size) {
        (void)chip, (void)data, (void)size;
    }
    // The chip's flash was erased or programmed, or the clock changed.
    virtual void ChipChanged(SimChip& chip) { (void)chip; }
};

}  // namespace korvid
