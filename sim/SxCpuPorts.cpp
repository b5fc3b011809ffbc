// The port pins seen from both sides: what the chip drives (latches,
// comparator, timer outputs), what outside drive, pull-ups and floating
// inputs give an input pin, the input synchroniser, the port B wake-up edge
// detector, the comparator and the MCLR input.
#include <algorithm>

#include "sim/SxCpu.h"
#include "sim/SxCpuModel.h"

namespace korvid {

using namespace sxcpu;

// Two flip-flops clocked by the oscillator: two cycles in turbo mode, two
// clocks of a four-clock cycle (one cycle) in compatible mode. The RTCC pin
// always passes them; the ports only with the SYNC fuse.
int SxCpu::SyncDepth(int port) const {
    const int depth = config_.turbo ? 2 : 1;
    if (port == kRtccPort) return depth;
    return config_.syncInputs ? depth : 0;
}

void SxCpu::UpdateAllPins(std::uint64_t cycle) {
    for (int port = 0; port <= kRtccPort; ++port) UpdatePins(port, cycle);
}

// Forms the levels on the pins of one port from the chip's drivers and the
// outside, and passes a change to the synchroniser log, the wake-up edge
// detector and the pin observer.
void SxCpu::UpdatePins(int port, std::uint64_t cycle) {
    if (port == kRtccPort) {
        const std::uint8_t level = extLevel_[port] & 1;
        if (level == pins_[port]) return;
        pins_[port] = level;
        RecordPins(port, cycle);
        return;
    }
    const auto& c = ctrl_[port];
    const std::uint8_t driven = extDriven_[port];
    const std::uint8_t pull = static_cast<std::uint8_t>(~c[kPlp]);
    std::uint8_t floating = 0;
    switch (config_.floatingInput) {
        case SxFloating::Low: floating = 0; break;
        case SxFloating::High: floating = 0xFF; break;
        case SxFloating::Hold: floating = pins_[port]; break;
    }
    const std::uint8_t input = static_cast<std::uint8_t>((extLevel_[port] & driven) | (~driven & (pull | floating)));
    std::uint8_t out = static_cast<std::uint8_t>(~c[kTris]);
    std::uint8_t value = latch_[port];
    if (port == 1) {
        // The comparator sees its inputs' levels; once on, it owns its pins
        // whatever TRIS_B says: RB1 and RB2 are inputs, RB0 shows the result
        // while its output is enabled.
        std::uint8_t& cmp = ctrl_[1][kCmp];
        const bool before = cmpTarget_;
        if (cmpInput_ >= 0) {
            cmpTarget_ = cmpInput_ != 0;
        } else {
            const bool plus = (input >> kCmpPlusPin) & 1, minus = (input >> kCmpMinusPin) & 1;
            if (plus != minus) cmpTarget_ = plus;  // equal levels keep the last result
        }
        const std::uint64_t delay = ComparatorDelayCycles();
        if (delay == 0 || cmpDue_ <= cycle) {
            cmpResult_ = cmpTarget_;
            cmpDue_ = ~0ull;
        } else if (cmpTarget_ != before) {
            // A change reaches the result after the response time (a change
            // back within it cancels it).
            cmpDue_ = cmpTarget_ == cmpResult_ ? ~0ull : cycle + delay;
            if (cmpDue_ < periphDue_) {
                periphDue_ = cmpDue_;
                Reschedule();
            }
        }
        const bool on = !(cmp & kCmpOff);
        cmp = static_cast<std::uint8_t>((cmp & ~kCmpResult) | (on && cmpResult_ ? kCmpResult : 0));
        if (on) {
            out &= static_cast<std::uint8_t>(~((1 << kCmpMinusPin) | (1 << kCmpPlusPin)));
            if (!(cmp & kCmpNoOutput)) {
                out |= 1 << kCmpOutPin;
                value = static_cast<std::uint8_t>((value & ~(1 << kCmpOutPin)) | (cmpResult_ ? 1 << kCmpOutPin : 0));
            }
        }
    }
    if (hasTimers_) {
        // A timer in PWM, capture/compare or event mode replaces the latch
        // bit of its output pin; TRIS still decides whether it is driven.
        for (int i = 0; i < 2; ++i) {
            const TimerPins& tp = kTimerPins[i];
            if (tp.port != port || TimerModeOf(timers_[i].cntB) == kSoftwareTimer) continue;
            const std::uint8_t bit = static_cast<std::uint8_t>(1 << tp.output);
            value = static_cast<std::uint8_t>((value & ~bit) | (timers_[i].out ? bit : 0));
        }
    }
    const std::uint8_t strong = extStrong_[port] & driven;
    std::uint8_t pins = static_cast<std::uint8_t>((out & ((value & ~strong) | (extLevel_[port] & strong))) | (~out & input));
    if (port == 0) {
        const std::uint8_t bonded = ModelOf(*family_).raPins;
        pins = static_cast<std::uint8_t>((pins & bonded) | (latch_[port] & ~bonded));
    }
    outMask_[port] = out;
    if (pins == pins_[port]) return;
    pins_[port] = pins;
    RecordPins(port, cycle);
    if (port == 1) UpdateMiwu(cycle);
    if (port < portCount_) NotifyPins(port, cycle);
}

// What `MOV W,port` reads: outputs as driven now (with PORTRD set on the 52,
// their latches; with the delayed read-back option, through the
// synchroniser like inputs), inputs through the synchroniser.
std::uint8_t SxCpu::ReadPort(int port) const {
    const std::uint8_t out = outMask_[port];
    const bool latches = hasTimers_ && (timers_[1].cntB & kCntbBit7);
    const std::uint8_t synced = SyncedPins(port, cycles_);
    const std::uint8_t outputs = latches ? latch_[port] : config_.delayedReadBack ? synced : pins_[port];
    std::uint8_t v = static_cast<std::uint8_t>((outputs & out) | (synced & ~out));
    if (port == 0) {
        const std::uint8_t bonded = ModelOf(*family_).raPins;
        v = static_cast<std::uint8_t>((v & bonded) | (latch_[port] & ~bonded));
    }
    return v;
}

// --- the synchroniser ----------------------------------------------------

void SxCpu::RecordPins(int port, std::uint64_t cycle) {
    PinLog& log = log_[port];
    cycle = std::max(cycle, log.at[log.newest]);
    if (cycle != log.at[log.newest]) log.newest = (log.newest + 1) % kLogSize;
    log.at[log.newest] = cycle;
    log.level[log.newest] = pins_[port];
    if ((pins_[port] ^ log.seenLevel) & WatchedPins(port)) {
        const std::uint64_t due = cycle + static_cast<std::uint64_t>(SyncDepth(port));
        if (due < log.due) log.due = due;
        if (due < periphDue_) {
            periphDue_ = due;
            Reschedule();
        }
    }
}

// The pin levels as the logic sees them in `cycle`: those of S cycles ago.
std::uint8_t SxCpu::SyncedPins(int port, std::uint64_t cycle) const {
    const int depth = SyncDepth(port);
    if (depth == 0) return pins_[port];
    const PinLog& log = log_[port];
    int k = log.newest;
    for (int i = 0; i < kLogSize; ++i, k = (k + kLogSize - 1) % kLogSize) {
        if (log.at[k] + static_cast<std::uint64_t>(depth) <= cycle) return log.level[k];
    }
    return log.level[(log.newest + 1) % kLogSize];
}

// Pins whose synchronised edges something counts or captures.
std::uint8_t SxCpu::WatchedPins(int port) const {
    if (port == kRtccPort) return (option_ & 0x20) ? 1 : 0;
    std::uint8_t mask = 0;
    if (!hasTimers_) return 0;
    for (int i = 0; i < 2; ++i) {
        const TimerPins& tp = kTimerPins[i];
        if (tp.port != port) continue;
        const int mode = TimerModeOf(timers_[i].cntB);
        if (mode == kCaptureCompare) mask |= static_cast<std::uint8_t>((1 << tp.capture1) | (1 << tp.capture2));
        if (mode == kExternalEvent) mask |= static_cast<std::uint8_t>(1 << tp.event);
    }
    return mask;
}

// Forgets changes that nobody watched: the edge detectors start from the
// synchronised levels of now (used when what is watched changes).
void SxCpu::ResyncPort(int port) {
    PinLog& log = log_[port];
    const auto depth = static_cast<std::uint64_t>(SyncDepth(port));
    log.due = ~0ull;
    int k = log.newest;
    for (int i = 0; i < kLogSize; ++i, k = (k + kLogSize - 1) % kLogSize) {
        if (log.at[k] + depth <= cycles_) break;
        log.due = log.at[k] + depth;
    }
    log.seenAt = log.at[k];
    log.seenLevel = log.level[k];
}

// Passes the changes that the synchroniser delivered by `now` to the edge
// detectors, oldest first.
void SxCpu::ProcessSyncedEdges(std::uint64_t now) {
    for (int port = 0; port <= kRtccPort; ++port) {
        PinLog& log = log_[port];
        if (log.due > now) continue;
        const auto depth = static_cast<std::uint64_t>(SyncDepth(port));
        log.due = ~0ull;
        for (int i = 1; i <= kLogSize; ++i) {
            const int k = (log.newest + i) % kLogSize;
            if (log.at[k] < log.seenAt) continue;
            if (log.at[k] + depth > now) {
                log.due = log.at[k] + depth;
                break;
            }
            const std::uint8_t level = log.level[k];
            const std::uint8_t changed = (level ^ log.seenLevel) & WatchedPins(port);
            log.seenAt = log.at[k];
            log.seenLevel = level;
            if (changed) {
                SyncedEdge(port, changed & level, changed & static_cast<std::uint8_t>(~level), log.at[k] + depth);
            }
        }
    }
}

void SxCpu::SyncedEdge(int port, std::uint8_t rising, std::uint8_t falling, std::uint64_t cycle) {
    if (port == kRtccPort) {
        const std::uint8_t edge = (option_ & 0x10) ? falling : rising;  // RTE_ES: 1 = falling
        if ((edge & 1) && !sleeping_) RtccPinEdge();
        return;
    }
    for (int i = 0; i < 2; ++i) {
        const TimerPins& tp = kTimerPins[i];
        if (tp.port != port) continue;
        const Timer& t = timers_[i];
        const int mode = TimerModeOf(t.cntB);
        if (mode == kCaptureCompare) {
            const std::uint8_t edges = (t.cntB & kCpedg) ? rising : falling;
            if (edges & (1 << tp.capture1)) TimerCapture(i, 0, cycle);
            if (edges & (1 << tp.capture2)) TimerCapture(i, 1, cycle);
        } else if (mode == kExternalEvent) {
            const std::uint8_t edges = (t.cntB & kExedg) ? rising : falling;
            if (edges & (1 << tp.event)) TimerTick(i, cycle);
        }
    }
}

// --- inputs from outside ---------------------------------------------------

void SxCpu::SetPortInput(int port, std::uint8_t level, std::uint8_t driven, std::uint8_t strong) {
    if (port < 0 || port >= 5) return;
    extLevel_[port] = level;
    extDriven_[port] = driven;
    extStrong_[port] = strong;
    UpdatePins(port, cycles_);
    FinishWake();
}

void SxCpu::SetRtccPin(bool level) {
    extLevel_[kRtccPort] = level ? 1 : 0;
    UpdatePins(kRtccPort, cycles_);
}

int SxCpu::PulseRtccPin(int edges) {
    if (edges <= 0 || inReset()) return 0;
    // The pin is sampled once per clock and each level of a pulse must span
    // a clock edge: pulses driven at one instant give one edge, and at most
    // one edge counts per two clocks.
    const std::uint64_t now = clocks();
    if (now < rtccPulseNext_) return 0;
    rtccPulseNext_ = now + 2;
    if (option_ & 0x20) RtccPinEdge();
    return 1;
}

std::uint64_t SxCpu::ComparatorDelayCycles() const {
    const std::uint64_t clocks = (std::uint64_t{config_.clockHz} * config_.comparatorDelayNs + 999'999'999) / 1'000'000'000;
    return config_.turbo ? clocks : (clocks + 3) / 4;
}

void SxCpu::SetComparatorInput(int plusAbove) {
    cmpInput_ = plusAbove < 0 ? -1 : (plusAbove ? 1 : 0);
    UpdatePins(1, cycles_);
    FinishWake();
}

// --- port B wake-up edges --------------------------------------------------

// Pending bits latch asynchronously on the pin levels (a pulse shorter than
// a cycle is caught); the interrupt follows at the boundary after the cycle
// of the edge.
void SxCpu::UpdateMiwu(std::uint64_t cycle) {
    auto& b = ctrl_[1];
    const std::uint8_t pins = pins_[1];
    const std::uint8_t rising = static_cast<std::uint8_t>(~lastPinsB_ & pins);
    const std::uint8_t falling = static_cast<std::uint8_t>(lastPinsB_ & ~pins);
    lastPinsB_ = pins;
    const std::uint8_t detect = pins ^ b[kWked];
    if (config_.miwuLevelDetector) {
        b[kWkpnd] |= static_cast<std::uint8_t>(detect & ~lastDetect_);
    } else {
        b[kWkpnd] |= static_cast<std::uint8_t>((falling & b[kWked]) | (rising & ~b[kWked]));
    }
    lastDetect_ = detect;
    const bool active = (b[kWkpnd] & ~b[kWken] & 0xFF) != 0;
    if (active && !miwuActive_) {
        if (sleeping_) {
            wakePending_ = true;
            periphDue_ = cycles_;
            Reschedule();
        } else {
            RequestInterrupt(cycle + 1);
        }
    }
    miwuActive_ = active;
}

void SxCpu::FinishWake() {
    if (!wakePending_) return;
    wakePending_ = false;
    if (sleeping_) {
        Reset(SxReset::WakeUp);
        exitFast_ = true;
    }
}

// --- MCLR --------------------------------------------------------------------

void SxCpu::SetMclr(bool level) {
    if (!level) {
        if (mclrLow_) return;
        Reset(SxReset::External);
        mclrLow_ = true;
        SchedulePeripherals();
        return;
    }
    if (!mclrLow_) return;
    mclrLow_ = false;
    holdUntil_ = cycles_ + ResetDelayCycles();
    if (holdUntil_ <= cycles_) EndHold(); else Reschedule();
}

}  // namespace korvid
