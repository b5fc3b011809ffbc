// The 52 family's multi-function timers T1 and T2, the RTCC pin clock and
// roll-over flag, and the schedule that tells the run loop when a
// peripheral next needs a look.
//
// A timer is kept lazily: its state is settled up to some cycle boundary
// and brought forward when it is read or written, or when one of its events
// matters at once (an output pin that is driven, an enabled interrupt).
// A timer nobody looks at costs nothing while the program runs.
#include <algorithm>

#include "sim/SxCpu.h"
#include "sim/SxCpuModel.h"

namespace korvid {

using namespace sxcpu;

namespace {

// Ticks until the next compare match and the next counter overflow.
struct Steps {
    std::uint32_t match;
    std::uint32_t overflow;
};

constexpr std::uint32_t kNever = ~0u;

template <class T>
Steps StepsOf(const T& t, bool plusOne) {
    const std::uint32_t c = t.counter;
    Steps s{0, 0x10000u - c};
    if (TimerModeOf(t.cntB) == kCaptureCompare) {
        // Free-running: a match when the counter reaches R1.
        s.match = (t.r1 - c) & 0xFFFFu;
        if (s.match == 0) s.match = 0x10000u;
        return s;
    }
    // PWM-like modes: the low phase counts up to R1, the high phase to R2,
    // then the counter restarts at 0 (a compare register below the count
    // lets it run through FFFFh first).
    const std::uint32_t target = t.high ? t.r2 : t.r1;
    if (plusOne) {
        s.match = ((target - c) & 0xFFFFu) + 1;
        if (target >= c) s.overflow = kNever;
    } else {
        s.match = (target - c) & 0xFFFFu;
        if (s.match == 0) s.match = 0x10000u;
    }
    return s;
}

std::uint64_t PhaseLength(std::uint16_t r, bool plusOne) {
    return plusOne ? std::uint64_t{r} + 1 : (r ? std::uint64_t{r} : 0x10000u);
}

bool TermOf(std::uint8_t a) {
    return ((a & (kCmf1 | kCmf2)) && (a & kCmie)) || ((a & kOf) && (a & kOie)) || ((a & (kCpf1 | kCpf2)) && (a & kCpie));
}

}  // namespace

// Applies `n` timer ticks; onToggle(k) is told that the output toggled at
// the k-th of them.
template <class OnToggle>
void SxCpu::AdvanceTicks(Timer& t, std::uint64_t n, OnToggle&& onToggle) const {
    const bool plusOne = config_.timerPhasePlusOne;
    const bool cc = TimerModeOf(t.cntB) == kCaptureCompare;
    std::uint64_t done = 0;
    int matches = 0;
    while (n > 0) {
        const Steps s = StepsOf(t, plusOne);
        const std::uint64_t step = std::min(s.match, s.overflow);
        if (n < step) {
            t.counter = static_cast<std::uint16_t>(t.counter + n);
            return;
        }
        n -= step;
        done += step;
        t.counter = static_cast<std::uint16_t>(t.counter + step);
        if (s.overflow == step) t.cntA |= kOf;
        if (s.match != step) continue;
        if (cc) {
            t.cntA |= kCmf1;
        } else {
            t.counter = 0;
            t.cntA |= t.high ? kCmf2 : kCmf1;
            t.high = !t.high;
        }
        t.out = !t.out;
        onToggle(done);
        // Two matches in, the state repeats with a fixed period and every
        // flag it can set is set: whole periods change nothing more.
        if (++matches >= 2) {
            const std::uint64_t period = cc ? 0x20000u : PhaseLength(t.r1, plusOne) + PhaseLength(t.r2, plusOne);
            if (n >= period) n %= period;
        }
    }
}

bool SxCpu::TimersRun() const { return hasTimers_ && !inReset() && (!sleeping_ || config_.sleepClock); }

// Prescaler ticks of timer `t` between its settled boundary and `now`;
// `origin` gets the boundary where its prescaler was last 0, so that tick k
// falls on origin + k × 2^PS.
namespace {
template <class T>
std::uint64_t TakeTicks(T& t, std::uint64_t now, bool runs, std::uint64_t& origin) {
    if (now <= t.at) return 0;
    if (!runs || TimerModeOf(t.cntB) == kExternalEvent) {
        t.at = now;
        return 0;
    }
    const int ps = TimerPrescaleOf(t.cntB);
    origin = t.at - t.pre;
    const std::uint64_t total = t.pre + (now - t.at);
    t.pre = static_cast<std::uint32_t>(total & ((1u << ps) - 1));
    t.at = now;
    return total >> ps;
}
}  // namespace

void SxCpu::SettleTimer(int index, std::uint64_t now) {
    Timer& t = timers_[index];
    std::uint64_t origin = 0;
    const std::uint64_t ticks = TakeTicks(t, now, TimersRun(), origin);
    if (ticks == 0) return;
    const int ps = TimerPrescaleOf(t.cntB);
    const int port = kTimerPins[index].port;
    const bool drives = TimerModeOf(t.cntB) != kSoftwareTimer;
    AdvanceTicks(t, ticks, [&](std::uint64_t k) {
        if (drives) UpdatePins(port, origin + (k << ps));
    });
    CheckTimerTerm(index);
}

void SxCpu::SettleTimers(std::uint64_t now) {
    if (!hasTimers_) return;
    SettleTimer(0, now);
    SettleTimer(1, now);
}

SxTimerState SxCpu::timer(int index) const {
    Timer t = timers_[index & 1];
    std::uint64_t origin = 0;
    const std::uint64_t ticks = TakeTicks(t, cycles_, TimersRun(), origin);
    if (ticks) AdvanceTicks(t, ticks, [](std::uint64_t) {});
    std::uint8_t cntB = t.cntB;
    if ((index & 1) == 0) cntB = static_cast<std::uint8_t>((cntB & ~kCntbBit7) | (Rtccov() ? kCntbBit7 : 0));
    return {t.counter, t.r1, t.r2, t.capture, t.cntA, cntB, t.out};
}

// An interrupt is requested when the timer's request term goes from 0 to
// non-zero outside an interrupt routine; changes during one are not kept.
void SxCpu::CheckTimerTerm(int index) {
    Timer& t = timers_[index];
    const bool term = TermOf(t.cntA);
    if (term && !t.term) RequestInterrupt(cycles_);
    t.term = term;
}

// One external event edge (event mode: every edge counts, no prescaler).
void SxCpu::TimerTick(int index, std::uint64_t cycle) {
    if (!TimersRun()) return;
    SettleTimer(index, cycle);
    const int port = kTimerPins[index].port;
    AdvanceTicks(timers_[index], 1, [&](std::uint64_t) { UpdatePins(port, cycle); });
    CheckTimerTerm(index);
}

// A capture edge: capture 1 copies the counter into the capture register,
// capture 2 into R2; the value is the count before this cycle's tick.
void SxCpu::TimerCapture(int index, int which, std::uint64_t cycle) {
    if (!TimersRun()) return;
    SettleTimer(index, cycle);
    Timer& t = timers_[index];
    if (which == 0) {
        t.capture = t.counter;
        t.cntA |= kCpf1;
    } else {
        t.r2 = t.counter;
        t.cntA |= kCpf2;
    }
    CheckTimerTerm(index);
}

// MOV !RB,W (T1) or MOV !RC,W (T2) with MODE 00h..07h (read into W) or
// 10h..17h (write W; 10h clears the timer).
void SxCpu::TimerAccess(int index) {
    SettleTimer(index, cycles_);
    Timer& t = timers_[index];
    auto low = [](std::uint16_t& r, std::uint8_t v) { r = static_cast<std::uint16_t>((r & 0xFF00) | v); };
    auto high = [](std::uint16_t& r, std::uint8_t v) { r = static_cast<std::uint16_t>((r & 0x00FF) | (v << 8)); };
    const std::uint8_t w = w_;
    const int port = kTimerPins[index].port;
    switch (m_ & 0x1F) {
        case 0x00: w_ = static_cast<std::uint8_t>(t.capture); return;
        case 0x01: w_ = static_cast<std::uint8_t>(t.capture >> 8); return;
        case 0x02: w_ = static_cast<std::uint8_t>(t.r2); return;
        case 0x03: w_ = static_cast<std::uint8_t>(t.r2 >> 8); return;
        case 0x04: w_ = static_cast<std::uint8_t>(t.r1); return;
        case 0x05: w_ = static_cast<std::uint8_t>(t.r1 >> 8); return;
        case 0x06:
            w_ = t.cntB;
            if (index == 0) w_ = static_cast<std::uint8_t>((w_ & ~kCntbBit7) | (Rtccov() ? kCntbBit7 : 0));
            return;
        case 0x07: w_ = t.cntA; return;
        case 0x10:
            // Clear Timer: replaces this cycle's tick; counting resumes after it.
            t.counter = 0;
            t.pre = 0;
            t.high = false;
            t.out = false;
            t.at = cycles_ + 1;
            UpdatePins(port, cycles_ + 1);
            break;
        case 0x12: low(t.r2, w); break;
        case 0x13: high(t.r2, w); break;
        case 0x14: low(t.r1, w); break;
        case 0x15: high(t.r1, w); break;
        case 0x16: {
            if (index == 0) {
                FoldRtccov();
                rtccov_ = (w & kCntbBit7) != 0;
            }
            const int oldMode = TimerModeOf(t.cntB);
            t.cntB = w;
            t.pre &= (1u << TimerPrescaleOf(w)) - 1;
            if (TimerModeOf(w) != oldMode) {
                // A mode change keeps the counter and the output level.
                UpdatePins(port, cycles_ + writeLag_);
                ResyncPort(port);
            }
            break;
        }
        case 0x17:
            t.cntA = w;
            timerEnables_ = (timers_[0].cntA | timers_[1].cntA) & (kCmie | kOie | kCpie);
            CheckTimerTerm(index);
            break;
        default: return;  // 11h: the capture register is read-only
    }
    SchedulePeripherals();
}

void SxCpu::ResetTimers() {
    for (Timer& t : timers_) {
        t = Timer{};
        t.at = cycles_;
    }
    rtccov_ = false;
    timerEnables_ = 0;
}

// The boundary of the timer's next event, if it must be seen when it
// happens: its output drives a pin, or it could request an interrupt.
std::uint64_t SxCpu::TimerNextEvent(int index) const {
    const Timer& t = timers_[index];
    const int mode = TimerModeOf(t.cntB);
    if (mode == kExternalEvent) return ~0ull;
    const TimerPins& tp = kTimerPins[index];
    const bool irq = !inIsr_ && !t.term && (t.cntA & (kCmie | kOie | kCpie));
    const bool pin = mode != kSoftwareTimer && !(ctrl_[tp.port][kTris] & (1 << tp.output));
    if (!irq && !pin) return ~0ull;
    const Steps s = StepsOf(t, config_.timerPhasePlusOne);
    const std::uint64_t ticks = std::min(s.match, s.overflow);
    return t.at - t.pre + (ticks << TimerPrescaleOf(t.cntB));
}

// --- the peripheral schedule ---------------------------------------------

void SxCpu::RequestInterrupt(std::uint64_t at) {
    if (inIsr_) return;
    if (at < irqAt_) {
        irqAt_ = at;
        Reschedule();
    }
}

void SxCpu::ServicePeripherals() {
    if (cmpDue_ <= cycles_) UpdatePins(1, cmpDue_);
    ProcessSyncedEdges(cycles_);
    SettleTimers(cycles_);
    FinishWake();
    SchedulePeripherals();
}

void SxCpu::SchedulePeripherals() {
    std::uint64_t due = ~0ull;
    for (const PinLog& log : log_) due = std::min(due, log.due);
    if (TimersRun()) {
        due = std::min(due, TimerNextEvent(0));
        due = std::min(due, TimerNextEvent(1));
    }
    due = std::min(due, cmpDue_);
    if (wakePending_) due = cycles_;
    periphDue_ = due;
    Reschedule();
}

// --- RTCC pin clock and roll-over flag -------------------------------------

// One counted edge of the RTCC pin (through the prescaler when assigned).
void SxCpu::RtccPinEdge() {
    const int shift = (option_ & 0x08) ? 0 : (option_ & 7) + 1;
    const std::uint64_t period = 256ull << shift;
    rtccBase_ = rtccBase_ % period + 1;
    if (rtccBase_ >= period) {
        rtccBase_ = 0;
        rtccov_ = true;
        if (!(option_ & 0x40)) RequestInterrupt(cycles_);
    }
}

// RTCCOV (52 family) is kept lazily: a count past one RTCC period since the
// last rebase means a roll-over. Folds that into the flag before a rebase.
bool SxCpu::Rtccov() const {
    const int shift = (option_ & 0x08) ? 0 : (option_ & 7) + 1;
    return rtccov_ || RtccCount() >= (256ull << shift);
}


// --- reset delay -------------------------------------------------------------

std::uint64_t SxCpu::ResetDelayCycles() const {
    if (!config_.applyResetDelay) return 0;
    const std::uint64_t clocks = std::uint64_t{config_.clockHz} * config_.resetDelayUs / 1'000'000;
    return config_.turbo ? clocks : clocks / 4;
}

// The chip leaves reset: the counters start from here.
void SxCpu::EndHold() {
    holdUntil_ = 0;
    rtccBaseCycle_ = cycles_;
    wdtStart_ = cycles_;
    for (Timer& t : timers_) t.at = cycles_;
    for (int port = 0; port <= kRtccPort; ++port) ResyncPort(port);
    ArmRtcc();
    SchedulePeripherals();
}

}  // namespace korvid
