// Span counters of the SX emulator: cycles between arrivals at two program
// addresses, counted by the run loop where it meets a span mark in the
// decoded program, so that timing checks cost a call per arrival and no
// stop of the run.
#include <algorithm>

#include "sim/SxCpu.h"

namespace korvid {

namespace {

// Limits whose accepted spans are not one range (outside a range that
// neither starts at 0 nor reaches the top): the shortest and the longest
// span may both be accepted while one between them is refused.
bool HasHole(const SxSpanLimits& l) { return l.outside && l.low > 0 && l.high != ~0ull; }

}  // namespace

int SxCpu::AddSpanCounter(int from, int to, SxSpanLimits limits) {
    SpanCounter counter;
    counter.from = static_cast<std::uint16_t>(from & 0xFFF);
    counter.to = static_cast<std::uint16_t>(to & 0xFFF);
    counter.limits = limits;
    counter.keepBetween = HasHole(limits);
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

namespace {

// Notes an arrival at `start` after the others (runs from `head` on), and
// forgets the runs that ended before `oldest`: their spans would be longer
// than the limits' hole whatever the end.
void KeepStart(std::vector<SxSpanStarts>& runs, std::size_t& head, std::uint64_t start, std::uint64_t oldest) {
    if (runs.size() > head) {
        SxSpanStarts& last = runs.back();
        if (last.count == 1) {
            last.step = start - last.first;
            last.count = 2;
        } else if (start - last.last() == last.step) {
            ++last.count;
        } else {
            runs.push_back({start, 0, 1});
        }
    } else {
        runs.push_back({start, 0, 1});
    }
    while (runs[head].last() < oldest) ++head;  // the run just extended is not older
    if (head >= 64 && head * 2 >= runs.size()) {
        runs.erase(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(head));
        head = 0;
    }
}

// The first start in [lo, hi] of the runs from `head` on, if any.
bool FirstStartIn(const std::vector<SxSpanStarts>& runs, std::size_t head, std::uint64_t lo, std::uint64_t hi,
                  std::uint64_t& found) {
    for (std::size_t i = head; i < runs.size(); ++i) {
        const SxSpanStarts& s = runs[i];
        std::uint64_t at = s.first;
        if (at < lo) {
            if (s.last() < lo) continue;
            at = s.first + (lo - s.first + s.step - 1) / s.step * s.step;
        }
        if (at > hi) return false;
        found = at;
        return true;
    }
    return false;
}

}  // namespace

void SxCpu::MarkSpans(int address, std::uint64_t cycle) {
    for (SpanCounter& c : spans_) {
        // The end first: with from == to an arrival ends a span and starts the next.
        if (c.to == address && c.open) {
            c.open = false;
            SxSpanResult& r = c.result;
            ++r.completed;
            r.longest = std::max(r.longest, cycle - c.earliest);
            r.shortest = std::min(r.shortest, cycle - c.latest);
            // Every span ending here, oldest start first: the extremes, and
            // between them the kept starts whose spans fall in the hole.
            // Only the first refusal is reported.
            if (!r.refused) {
                std::uint64_t start = c.earliest;
                bool refused = !c.limits.Accepts(cycle - start);
                if (!refused && c.latest != start) {
                    start = c.latest;
                    if (c.keepBetween && !c.between.empty()) {
                        const SxSpanLimits& l = c.limits;
                        if (cycle >= l.low)
                            FirstStartIn(c.between, c.betweenHead, cycle > l.high ? cycle - l.high : 0,
                                         cycle - l.low, start);
                        c.between.clear();
                        c.betweenHead = 0;
                    }
                    refused = !c.limits.Accepts(cycle - start);
                }
                if (refused) {
                    r.refused = true;
                    r.refusedSpan = cycle - start;
                    r.refusedStart = start;
                    c.keepBetween = false;
                    c.between.clear();
                    c.betweenHead = 0;
                }
            }
        }
        if (c.from == address) {
            if (!c.open) {
                c.earliest = cycle;
            } else if (c.keepBetween && c.latest != c.earliest) {
                // The previous last arrival is now one between; spans end
                // after this arrival, so those from before cycle - high
                // are too long for the hole.
                const std::uint64_t oldest = cycle > c.limits.high ? cycle - c.limits.high : 0;
                if (c.latest >= oldest) {
                    KeepStart(c.between, c.betweenHead, c.latest, oldest);
                    if (c.between.size() - c.betweenHead > kMaxSpanStarts) {
                        c.result.undecided = true;
                        c.keepBetween = false;
                        c.between.clear();
                        c.betweenHead = 0;
                    }
                } else if (!c.between.empty()) {
                    c.between.clear();
                    c.betweenHead = 0;
                }
            }
            c.latest = cycle;
            c.open = true;
        }
    }
}

}  // namespace korvid
