// Preparation of the device image for in-circuit debugging: the debugging
// oscillator setting, room checks, the debug kernel at the top of the last
// page, its stub on the first page and the redirected reset jump.
#pragma once

#include <cstdint>

#include "core/asm/AssemblyState.h"

namespace korvid {

// The one message of a failed preparation (CR LF line ends).
extern const char* const kDebugRequirementsMessage;

// Copies the chip image into the device image and prepares it. ErrorFlag 0:
// the device image is ready to program. ErrorFlag 1 with
// kDebugRequirementsMessage: the device image is partly prepared and must
// not be programmed. The chip image is never changed. Allocates nothing.
void PrepareDebugImage(AssemblyState& state);

// Delay constants of the kernel for a clock frequency and mode, as patched
// into the kernel; exposed for inspection (korvid debugimage).
struct KernelDelay {
    bool longForm;        // the 16-bit form replaces words 33..44
    std::uint8_t low;     // long form: word 33's low byte; short: word 38's
    std::uint8_t high;    // long form: word 35's low byte; short: trim taken off word 43
};
KernelDelay ComputeKernelDelay(std::uint32_t frequency, bool turbo);

}  // namespace korvid
