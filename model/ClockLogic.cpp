#include "model/ClockLogic.h"

#include <cstdio>

#include "core/link/Clock.h"

namespace korvid {

std::uint32_t ClampClockFrequency(std::uint64_t hz) {
    if (hz < kClockMinHz) return kClockMinHz;
    if (hz > kClockMaxHz) return kClockMaxHz;
    return static_cast<std::uint32_t>(hz);
}

std::uint32_t ParseClockText(const char* text) {
    // Anything above this is clamped anyway; stopping the growth here keeps
    // the sum far from overflow for a text of any length.
    constexpr std::uint64_t kCeiling = 10ull * kClockMaxHz;
    static constexpr std::uint32_t kFraction[] = {100000, 10000, 1000};
    std::uint64_t f = 0;
    int decimals = -1;  // -1: before the '.'
    for (const char* p = text; p && *p; ++p) {
        const char c = *p;
        if (c == '.') {
            if (decimals < 0) decimals = 0;
            continue;
        }
        if (c < '0' || c > '9') continue;
        const unsigned d = static_cast<unsigned>(c - '0');
        if (decimals < 0) {
            f = f * 10 + d * 1000000ull;
            if (f > kCeiling) f = kCeiling;
        } else if (decimals < 3) {
            f += d * kFraction[decimals++];
        }
    }
    return ClampClockFrequency(f);
}

void FormatClockText(std::uint32_t hz, char out[12]) {
    std::snprintf(out, 12, "%u.%03u", hz / 1000000u, (hz % 1000000u) / 1000u);
}

int ClockTrackPosition(std::uint32_t hz) {
    const std::uint32_t f = ClampClockFrequency(hz);
    return kClockTrackMax - static_cast<int>((f - kClockMinHz) / kClockTrackStepHz);
}

std::uint32_t ClockFrequencyAtPosition(int position) {
    if (position < 0) position = 0;
    if (position > kClockTrackMax) position = kClockTrackMax;
    return kClockMaxHz - static_cast<std::uint32_t>(position) * kClockTrackStepHz;
}

ClockKeyAction ClassifyClockKey(char32_t key) {
    if ((key >= U'0' && key <= U'9') || key == U'.' || key == 8) return ClockKeyAction::Edit;
    switch (key) {
        case 13:
        case 10: return ClockKeyAction::Enter;
        case U'K':
        case U'k': return ClockKeyAction::Okay;
        case U'O':
        case U'o': return ClockKeyAction::ToggleOn;
        case U'R':
        case U'r': return ClockKeyAction::Reset;
        default: return ClockKeyAction::Swallow;
    }
}

}  // namespace korvid
