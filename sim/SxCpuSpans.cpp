// Span counters of the SX emulator: cycles between arrivals at two program
// addresses, counted by the run loop where it meets a span mark in the
// decoded program, so that timing checks cost a call per arrival and no
// stop of the run.
#include <algorithm>

#include "sim/SxCpu.h"

namespace korvid {

int SxCpu::AddSpanCounter(int from, int to, SxSpanLimits limits) {
    SpanCounter counter;
    counter.from = static_cast<std::uint16_t>(from & 0xFFF);
    counter.to = static_cast<std::uint16_t>(to & 0xFFF);
    counter.limits = limits;
    spans_.push_back(counter);
    for (const int address : {counter.from, counter.to}) {
        trap_[address] |= kTrapSpan;
        Decode(address);
    }
    return static_cast<int>(spans_.size()) - 1;
}

void SxCpu::ClearSpanCounters() {
    std::vector<SpanCounter> old;
    old.swap(spans_);
    for (const SpanCounter& counter : old) {
        for (const int address : {counter.from, counter.to}) {
            trap_[address] &= static_cast<std::uint8_t>(~kTrapSpan);
            Decode(address);
        }
    }
}

void SxCpu::MarkSpans(int address, std::uint64_t cycle) {
    for (SpanCounter& c : spans_) {
        // The end first: with from == to an arrival ends a span and starts the next.
        if (c.to == address && c.open) {
            c.open = false;
            SxSpanResult& r = c.result;
            ++r.completed;
            r.longest = std::max(r.longest, cycle - c.earliest);
            r.shortest = std::min(r.shortest, cycle - c.latest);
            for (const std::uint64_t start : {c.earliest, c.latest}) {
                if (r.refused || c.limits.Accepts(cycle - start)) continue;
                r.refused = true;
                r.refusedSpan = cycle - start;
                r.refusedStart = start;
            }
        }
        if (c.from == address) {
            if (!c.open) c.earliest = cycle;
            c.latest = cycle;
            c.open = true;
        }
    }
}

}  // namespace korvid
