// Running a test: the simulation stops only where a check needs it (its
// time, a label's halt address, the end); pin checks are sinks of the
// driver's level reports, cycles checks the emulator's span counters.
// Nothing looks at the chip per instruction.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <memory>

#include "sim/FirmwareTest.h"
#include "sim/UartDecoder.h"

namespace korvid {

const char* CompareText(CompareOp op) {
    static constexpr const char* kText[] = {"==", "!=", "<", "<=", ">", ">="};
    return kText[static_cast<int>(op)];
}

namespace {

template <class T>
bool CompareAny(T value, CompareOp op, T expected) {
    switch (op) {
        case CompareOp::Eq: return value == expected;
        case CompareOp::Ne: return value != expected;
        case CompareOp::Lt: return value < expected;
        case CompareOp::Le: return value <= expected;
        case CompareOp::Gt: return value > expected;
        case CompareOp::Ge: return value >= expected;
    }
    return false;
}

}  // namespace

bool Compare(std::uint64_t value, CompareOp op, std::uint64_t expected) { return CompareAny(value, op, expected); }

SxSpanLimits SpanLimitsOf(CompareOp op, std::uint64_t value) {
    constexpr std::uint64_t kMax = ~0ull;
    constexpr SxSpanLimits kNone{0, kMax, true};
    switch (op) {
        case CompareOp::Eq: return {value, value, false};
        case CompareOp::Ne: return {value, value, true};
        case CompareOp::Lt: return value == 0 ? kNone : SxSpanLimits{0, value - 1, false};
        case CompareOp::Le: return {0, value, false};
        case CompareOp::Gt: return value == kMax ? kNone : SxSpanLimits{value + 1, kMax, false};
        case CompareOp::Ge: return {value, kMax, false};
    }
    return {};
}

bool FirmwareTestOutcome::passed() const {
    if (!run.passed || interrupted) return false;
    return std::all_of(checks.begin(), checks.end(), [](const CheckOutcome& c) { return c.passed; });
}

std::string FormatTestTime(std::uint64_t ps) {
    struct Unit {
        const char* name;
        std::uint64_t ps;
    };
    static constexpr Unit kUnits[] = {{"s", 1'000'000'000'000ull}, {"ms", 1'000'000'000ull}, {"us", 1'000'000ull},
                                      {"ns", 1'000ull}};
    if (ps == 0) return "0";
    for (const Unit& u : kUnits) {
        if (ps < u.ps && u.ps != 1'000ull) continue;
        // Three decimals, trailing zeros dropped.
        const std::uint64_t whole = ps / u.ps;
        std::uint64_t milli = ((ps % u.ps) * 1000 + u.ps / 2) / u.ps;
        std::uint64_t w = whole;
        if (milli == 1000) ++w, milli = 0;
        char text[48];
        if (milli == 0) {
            std::snprintf(text, sizeof text, "%" PRIu64 "%s", w, u.name);
        } else {
            int n = std::snprintf(text, sizeof text, "%" PRIu64 ".%03" PRIu64, w, milli);
            while (text[n - 1] == '0') text[--n] = 0;
            std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%s", u.name);
        }
        return text;
    }
    return "0";
}

namespace {

// Level changes of one pin inside a window: edges, whole cycles (rise to
// rise) and the high time within them.
class PinWindow final : public PinSink {
public:
    PinWindow(int port, int bit, std::uint64_t from, std::uint64_t until)
        : port_(port), mask_(static_cast<std::uint8_t>(1u << bit)), from_(from), until_(until) {}

    void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) override {
        if (port != port_) return;
        const bool level = (levels & mask_) != 0;
        if (!known_) {
            known_ = true;
            level_ = level;
            return;
        }
        if (level == level_) return;
        level_ = level;
        if (cycle < from_ || cycle >= until_) return;
        ++edges;
        if (level) {
            if (rises > 0) high += pendingHigh_;
            pendingHigh_ = 0;
            if (rises == 0) firstRise = cycle;
            lastRise = cycle;
            ++rises;
        } else if (rises > 0) {
            pendingHigh_ = cycle - lastRise;
        }
    }

    std::uint64_t edges = 0, rises = 0, firstRise = 0, lastRise = 0, high = 0;

private:
    int port_;
    std::uint8_t mask_;
    std::uint64_t from_, until_;
    bool known_ = false, level_ = false;
    std::uint64_t pendingHigh_ = 0;
};

std::string Shown(const std::string& bytes) {
    constexpr std::size_t kShown = 200;
    if (bytes.size() <= kShown) return QuoteText(bytes);
    return QuoteText(bytes.substr(0, kShown)) + "... (" + std::to_string(bytes.size()) + " bytes)";
}

std::string Percent(double p) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "%.2f", p);
    while (n > 0 && text[n - 1] == '0') text[--n] = 0;
    if (n > 0 && text[n - 1] == '.') text[--n] = 0;
    return std::string(text) + "%";
}

class TestRun {
public:
    TestRun(SxCpu& cpu, const FirmwareTest& test, SimTimeBase base)
        : cpu_(cpu), test_(test), base_(base), driver_(cpu, test.stimulus, base) {
        outcome.checks.resize(test.checks.size());
        done_.assign(test.checks.size(), false);
        arrivals_.assign(test.checks.size(), 0);
        spans_.assign(test.checks.size(), -1);
    }

    FirmwareTestOutcome outcome;

    void SetStop(const volatile std::sig_atomic_t* stop) { driver_.interrupt = stop; }

    void Run(const std::vector<PinSink*>& extraSinks) {
        SetUpSinks();
        for (PinSink* s : extraSinks) driver_.AddSink(s);
        SetUpHalts();
        std::vector<std::pair<std::uint64_t, std::size_t>> times;
        for (std::size_t i = 0; i < test_.checks.size(); ++i) {
            const FirmwareCheck& c = test_.checks[i];
            if (c.kind == FirmwareCheck::Kind::Value && c.when == FirmwareCheck::When::Time)
                times.emplace_back(base_.CycleAt(c.at), i);
        }
        std::stable_sort(times.begin(), times.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });

        constexpr std::uint64_t kDefaultWithinPs = 10'000'000'000'000ull;  // 10 s
        const bool runsFor = test_.run == FirmwareTest::Run::For;
        const std::uint64_t end =
            base_.CycleAt(runsFor || test_.hasWithin ? test_.runTime : StimulusTime{kDefaultWithinPs, false});
        if (test_.run == FirmwareTest::Run::UntilBreak) cpu_.SetBreakAfter(test_.runAddress, true);
        bool reached = runsFor;
        std::size_t nextTime = 0;
        for (;;) {
            const std::uint64_t target = std::min<std::uint64_t>(end, nextTime < times.size() ? times[nextTime].first : ~0ull);
            const SxStop stop = driver_.RunTo(target);
            if (driver_.interrupted()) {
                outcome.interrupted = true;
                break;
            }
            bool finished = false;
            if (stop == SxStop::Trap) {
                const int pc = cpu_.pc();
                if (Arrive(pc)) {
                    reached = finished = true;
                } else {
                    // A halt on the BREAK address itself: the instruction
                    // there runs now, and the run ends as at the break.
                    const bool isBreak = test_.run == FirmwareTest::Run::UntilBreak && pc == test_.runAddress;
                    cpu_.Step();
                    if (isBreak) reached = finished = true;
                }
            } else if (stop == SxStop::Breakpoint) {
                reached = finished = true;
            }
            for (; nextTime < times.size() && times[nextTime].first <= cpu_.cycles(); ++nextTime)
                Evaluate(times[nextTime].second);
            if (finished || cpu_.cycles() >= end) break;
        }
        driver_.Reached();
        outcome.cycles = cpu_.cycles();
        outcome.picoseconds = base_.Picoseconds(cpu_.cycles());
        outcome.run.passed = reached;
        if (!reached) {
            const std::string what =
                test_.run == FirmwareTest::Run::UntilBreak ? "the BREAK address" : test_.runLabel.text;
            outcome.run.message = "the run did not reach " + what + " within " + FormatTestTime(outcome.picoseconds);
        }
        for (; nextTime < times.size(); ++nextTime) {
            const std::size_t i = times[nextTime].second;
            Fail(i, "but the run ended at " + FormatTestTime(outcome.picoseconds));
        }
        Finish();
        cpu_.ClearSpanCounters();
    }

private:
    void Pass(std::size_t i) {
        done_[i] = true;
        outcome.checks[i] = {true, {}};
    }
    void Fail(std::size_t i, const std::string& why) {
        done_[i] = true;
        outcome.checks[i] = {false, "expected " + test_.checks[i].text + ", " + why};
    }
    void Result(std::size_t i, bool ok, const std::string& why) { ok ? Pass(i) : Fail(i, why); }

    std::uint64_t WindowCycle(const StimulusTime& t, bool has, std::uint64_t otherwise) const {
        return has ? base_.CycleAt(t) : otherwise;
    }

    void SetUpSinks() {
        windows_.resize(test_.checks.size());
        uarts_.resize(test_.checks.size());
        text_.resize(test_.checks.size());
        for (std::size_t i = 0; i < test_.checks.size(); ++i) {
            const FirmwareCheck& c = test_.checks[i];
            using K = FirmwareCheck::Kind;
            if (c.kind == K::Edges || c.kind == K::Period || c.kind == K::Duty) {
                windows_[i] = std::make_unique<PinWindow>(c.port, c.bit, WindowCycle(c.from, c.hasFrom, 0),
                                                          WindowCycle(c.until, c.hasUntil, ~0ull));
                driver_.AddSink(windows_[i].get());
            } else if (c.kind == K::Uart) {
                const double cyclesPerBit = static_cast<double>(base_.clockHz) / base_.clocksPerCycle / c.baud;
                uarts_[i] = std::make_unique<UartDecoder>(c.port, c.bit, cyclesPerBit);
                Received* got = &text_[i];
                uarts_[i]->onByte = [got](std::uint8_t b) { got->bytes.push_back(static_cast<char>(b)); };
                uarts_[i]->onFramingError = [got](std::uint64_t cycle) {
                    if (got->framingErrors++ == 0) got->firstFramingError = cycle;
                };
                driver_.AddSink(uarts_[i].get());
            }
        }
    }

    enum class Role : std::uint8_t { Value, Never, Reached, RunEnd };
    struct Watcher {
        std::size_t check;
        Role role;
    };

    // Halt addresses of the checks that watch labels, and of the run's end;
    // span counters of the cycles checks.
    void Watch(int address, std::size_t check, Role role) {
        watchers_[static_cast<std::size_t>(address) & 0xFFF].push_back({check, role});
        cpu_.SetHaltBefore(address, true);
    }
    void Unwatch(int address, std::size_t check) {
        auto& list = watchers_[static_cast<std::size_t>(address) & 0xFFF];
        list.erase(std::remove_if(list.begin(), list.end(), [&](const Watcher& w) { return w.check == check; }),
                   list.end());
        if (list.empty()) cpu_.SetHaltBefore(address, false);
    }

    void SetUpHalts() {
        for (std::size_t i = 0; i < test_.checks.size(); ++i) {
            const FirmwareCheck& c = test_.checks[i];
            using K = FirmwareCheck::Kind;
            if (c.kind == K::Value && c.when == FirmwareCheck::When::Label) Watch(c.address2, i, Role::Value);
            if (c.kind == K::Never) Watch(c.address, i, Role::Never);
            if (c.kind == K::Reached) Watch(c.address, i, Role::Reached);
            if (c.kind == K::Cycles)
                spans_[i] = cpu_.AddSpanCounter(c.address, c.address2, SpanLimitsOf(c.op, c.value));
        }
        if (test_.run == FirmwareTest::Run::UntilLabel) Watch(test_.runAddress, ~std::size_t{0}, Role::RunEnd);
    }

    // The program counter reached a watched address; true when the run ends here.
    bool Arrive(int address) {
        const auto& list = watchers_[static_cast<std::size_t>(address) & 0xFFF];
        const std::uint64_t now = cpu_.cycles();
        bool ends = false;
        finished_.clear();  // checks that need this address no more
        for (const Watcher& w : list) {
            switch (w.role) {
                case Role::RunEnd: ends = true; break;
                case Role::Value:
                    if (++arrivals_[w.check] == test_.checks[w.check].occurrence) {
                        Evaluate(w.check);
                        finished_.push_back(w.check);
                    }
                    break;
                case Role::Never:
                    Fail(w.check, "but it was reached at " + FormatTestTime(base_.Picoseconds(now)));
                    finished_.push_back(w.check);
                    break;
                case Role::Reached:
                    Pass(w.check);
                    finished_.push_back(w.check);
                    break;
            }
        }
        for (std::size_t check : finished_) Unwatch(address, check);
        return ends;
    }

    std::uint8_t RegisterValue(int address) const {
        if (address == kRegisterW) return cpu_.w();
        if (address == kRegisterM) return cpu_.mode();
        return cpu_.Peek(address);
    }

    void Evaluate(std::size_t i) {
        const FirmwareCheck& c = test_.checks[i];
        std::uint64_t v = 0;
        std::string shown;
        switch (c.subjectKind) {
            case SubjectKind::Pin: v = (cpu_.portPins(c.port) >> c.bit) & 1u; break;
            case SubjectKind::Port: v = cpu_.portPins(c.port); break;
            case SubjectKind::Register:
                v = RegisterValue(c.address);
                if (c.bit >= 0) v = (v >> c.bit) & 1u;
                break;
        }
        if (c.subjectKind == SubjectKind::Pin || c.bit >= 0) {
            shown = std::to_string(v);
        } else {
            char text[32];
            std::snprintf(text, sizeof text, "0x%02X (%u)", static_cast<unsigned>(v), static_cast<unsigned>(v));
            shown = text;
        }
        Result(i, Compare(v, c.op, c.value), "was " + shown);
    }

    void Finish() {
        for (std::size_t i = 0; i < test_.checks.size(); ++i) {
            const FirmwareCheck& c = test_.checks[i];
            using K = FirmwareCheck::Kind;
            switch (c.kind) {
                case K::Value:
                    if (c.when == FirmwareCheck::When::End) Evaluate(i);
                    else if (!done_[i] && c.when == FirmwareCheck::When::Label)
                        Fail(i, arrivals_[i] == 0 ? "but " + c.label.text + " was never reached"
                                                  : "but " + c.label.text + " was reached only " +
                                                        std::to_string(arrivals_[i]) +
                                                        (arrivals_[i] == 1 ? " time" : " times"));
                    break;
                case K::Uart: {
                    // A frame with a low stop bit (a wrong baud rate, a
                    // line held low) is no byte: `==` wants nothing but
                    // the text on the line, and a failure counts them.
                    const Received& got = text_[i];
                    const bool ok = c.contains ? got.bytes.find(c.bytes) != std::string::npos
                                               : got.bytes == c.bytes && got.framingErrors == 0;
                    std::string framing;
                    if (got.framingErrors > 0)
                        framing = " (" + std::to_string(got.framingErrors) +
                                  (got.framingErrors == 1 ? " framing error at " : " framing errors, the first at ") +
                                  FormatTestTime(base_.Picoseconds(got.firstFramingError)) + ")";
                    Result(i, ok, "was " + Shown(got.bytes) + framing);
                    break;
                }
                case K::Edges: Result(i, Compare(windows_[i]->edges, c.op, c.value), "was " + std::to_string(windows_[i]->edges)); break;
                case K::Period:
                case K::Duty: Wave(i); break;
                case K::Cycles: {
                    // Every span from an arrival at the first label must
                    // hold; the counter keeps the first that does not.
                    const SxSpanResult& s = cpu_.spanResult(spans_[i]);
                    if (s.completed == 0)
                        Fail(i, "but no span from " + c.label.text + " to " + c.label2.text + " was completed");
                    else if (s.refused)
                        Fail(i, "was " + std::to_string(s.refusedSpan) + " from " + c.label.text + " at " +
                                    FormatTestTime(base_.Picoseconds(s.refusedStart)));
                    else if (s.undecided)
                        Fail(i, "but " + c.label.text + " was reached too often before " + c.label2.text +
                                    " to judge every span");
                    else
                        Pass(i);
                    break;
                }
                case K::Never:
                    if (!done_[i]) Pass(i);
                    break;
                case K::Reached:
                    if (!done_[i]) Fail(i, "but it was never reached");
                    break;
                case K::StaticCycles: break;  // judged by the caller
            }
        }
    }

    void Wave(std::size_t i) {
        const FirmwareCheck& c = test_.checks[i];
        const PinWindow& w = *windows_[i];
        // Edges merged into one instant (pulses shorter than an instruction)
        // make no cycle that has a length.
        if (w.rises < 2 || w.lastRise == w.firstRise) {
            Fail(i, "but " + c.pin.text + " made no whole cycle" +
                        (c.hasFrom || c.hasUntil ? std::string(" in the window") : std::string()));
            return;
        }
        const double spanPs =
            static_cast<double>(base_.Picoseconds(w.lastRise)) - static_cast<double>(base_.Picoseconds(w.firstRise));
        double measured, expected;
        std::string shown;
        if (c.kind == FirmwareCheck::Kind::Period) {
            measured = spanPs / static_cast<double>(w.rises - 1);
            expected = static_cast<double>(c.expectPs);
            shown = FormatTestTime(static_cast<std::uint64_t>(std::llround(measured)));
        } else {
            measured = 100.0 * static_cast<double>(w.high) / static_cast<double>(w.lastRise - w.firstRise);
            expected = c.expectPercent;
            shown = Percent(measured);
        }
        bool ok;
        if (c.op == CompareOp::Eq || c.op == CompareOp::Ne) {
            const double tol = c.kind == FirmwareCheck::Kind::Period && !c.tolerancePs ? c.tolerance * expected
                                                                                        : c.tolerance;
            const bool within = std::fabs(measured - expected) <= tol + 1e-9 * std::max(1.0, expected);
            ok = c.op == CompareOp::Eq ? within : !within;
        } else {
            ok = CompareAny(measured, c.op, expected);
        }
        Result(i, ok, "was " + shown);
    }

    SxCpu& cpu_;
    const FirmwareTest& test_;
    SimTimeBase base_;
    SimDriver driver_;
    std::vector<bool> done_;
    std::vector<std::uint32_t> arrivals_;
    std::vector<int> spans_;  // the span counter of each cycles check
    std::vector<std::unique_ptr<PinWindow>> windows_;
    std::vector<std::unique_ptr<UartDecoder>> uarts_;
    struct Received {
        std::string bytes;
        std::uint64_t framingErrors = 0, firstFramingError = 0;
    };
    std::vector<Received> text_;
    std::vector<std::vector<Watcher>> watchers_ = std::vector<std::vector<Watcher>>(4096);
    std::vector<std::size_t> finished_;
};

}  // namespace

FirmwareTestOutcome RunFirmwareTest(SxCpu& cpu, const FirmwareTest& test, SimTimeBase base,
                                    const std::vector<PinSink*>& extraSinks,
                                    const volatile std::sig_atomic_t* stop) {
    TestRun run(cpu, test, base);
    run.SetStop(stop);
    run.Run(extraSinks);
    return std::move(run.outcome);
}

}  // namespace korvid
