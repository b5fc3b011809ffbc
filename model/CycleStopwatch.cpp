#include "model/CycleStopwatch.h"

#include <cstdio>

namespace korvid {

namespace {
constexpr const char* kDash = "\u2014";
}

void CycleStopwatch::Stopped(std::uint64_t cycle) {
    wentBackPastStart_ = false;
    if (cycle >= lastStop_) {
        previousStop_ = lastStop_;
    } else {
        // Back in time: the stops at or after `cycle` did not happen yet;
        // the run that ends here began at the stop before it.
        while (!stops_.empty() && stops_.back() >= cycle) stops_.pop_back();
        wentBackPastStart_ = stops_.empty() && cycle != start_;
        if (cycle < start_) start_ = cycle;
        previousStop_ = stops_.empty() ? cycle : stops_.back();
    }
    lastStop_ = cycle;
    stops_.push_back(cycle);
    if (stops_.size() > kMaxStops) stops_.pop_front();
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
