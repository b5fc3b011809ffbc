#include "model/CycleStopwatch.h"

#include <cstdio>

namespace korvid {

namespace {
constexpr const char* kDash = "\u2014";
}

std::string CycleTimeText(std::uint64_t cycles, bool turbo, std::uint32_t hz) {
    if (hz == 0) return kDash;
    char t[48];
    std::snprintf(t, sizeof t, "%.3f us", double(cycles) * (turbo ? 1.0 : 4.0) / hz * 1e6);
    return t;
}

std::string StopwatchText(const CycleStopwatch* watch, bool turbo, std::uint32_t hz) {
    if (!watch) return std::string("Cycles ") + kDash + "\nLast run " + kDash;
    return "Cycles " + std::to_string(watch->SinceStart()) + "\n" + CycleTimeText(watch->SinceStart(), turbo, hz) +
           "\nLast run " + std::to_string(watch->SinceLastStop()) + "\n" +
           CycleTimeText(watch->SinceLastStop(), turbo, hz);
}

}  // namespace korvid
