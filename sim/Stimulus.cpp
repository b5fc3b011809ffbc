#include "sim/Stimulus.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "base/Text.h"
#include "family/NumberSyntax.h"
#include "sim/StimulusCursor.h"
#include "sim/SxCpuModel.h"

namespace korvid {

namespace {

using u128 = unsigned __int128;
constexpr std::uint64_t kPsPerSecond = 1'000'000'000'000ull;

struct Unit {
    const char* name;
    std::uint64_t ps;  // 0: instruction cycles
};
constexpr Unit kUnits[] = {{"s", kPsPerSecond}, {"ms", 1'000'000'000ull}, {"us", 1'000'000ull},
                           {"ns", 1'000ull},    {"c", 0}};

constexpr const char* kPortLetters = "ABCDE";

using Token = StimulusToken;

// Longest word a statement takes (pins, times, numbers, labels): a longer
// one is refused before it is copied or quoted in a message.
constexpr std::size_t kMaxWord = 256;
// Text scanned between looks at the stop flag inside one line: a line may
// be the whole file (tens of megabytes without a line end).
constexpr std::size_t kPollBytes = std::size_t{1} << 20;
// Longest message (ShortenMessage).
constexpr std::size_t kMaxMessage = 240;

bool Stopped(const volatile std::sig_atomic_t* stop) { return stop && *stop; }

// False with no error when `stop` was raised.
bool Tokenize(std::string_view line, std::vector<Token>& tokens, StimulusError& error,
              const volatile std::sig_atomic_t* stop) {
    std::size_t i = 0;
    std::size_t nextPoll = kPollBytes;
    while (i < line.size()) {
        if (i >= nextPoll) {
            if (Stopped(stop)) return false;
            nextPoll = i + kPollBytes;
        }
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token t;
        t.column = static_cast<int>(i) + 1;
        if (c == '=') {
            t.text = "=";
            ++i;
        } else if (c == '"') {
            t.string = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (i >= nextPoll) {
                    if (Stopped(stop)) return false;
                    nextPoll = i + kPollBytes;
                }
                // Plain characters up to the next quote or escape, at once.
                const std::string_view piece = line.substr(i, nextPoll - i);
                const std::size_t plain = std::min(piece.find_first_of("\"\\"), piece.size());
                t.text.append(piece.substr(0, plain));
                i += plain;
                if (plain == piece.size()) continue;
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (i >= line.size()) break;
                const int escColumn = static_cast<int>(i);
                d = line[i++];
                switch (d) {
                    case 'n': t.text += '\n'; break;
                    case 'r': t.text += '\r'; break;
                    case 't': t.text += '\t'; break;
                    case '0': t.text += '\0'; break;
                    case '\\': case '"': t.text += d; break;
                    case 'x': {
                        int v = 0, n = 0;
                        while (n < 2 && i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
                            const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(line[i++])));
                            v = v * 16 + (h <= '9' ? h - '0' : h - 'a' + 10);
                            ++n;
                        }
                        if (n == 0) {
                            error = {0, escColumn, "\\x takes one or two hex digits"};
                            return false;
                        }
                        t.text += static_cast<char>(v);
                        break;
                    }
                    default:
                        error = {0, escColumn, std::string("unknown escape '\\") + d + "'"};
                        return false;
                }
            }
            if (!closed) {
                error = {0, t.column, "unterminated string"};
                return false;
            }
        } else {
            // '#' inside a word belongs to it ("main#3"); at its start it
            // begins a comment (above).
            const std::string_view head = line.substr(i, kMaxWord + 1);
            const std::size_t end = i + std::min(head.find_first_of(" \t\r=\""), head.size());
            if (end - i > kMaxWord) {
                error = {0, t.column, "a word of more than " + std::to_string(kMaxWord) + " characters"};
                return false;
            }
            t.text.assign(line.substr(i, end - i));
            i = end;
        }
        tokens.push_back(std::move(t));
    }
    return true;
}

}  // namespace

void ShortenMessage(std::string& message) {
    if (message.size() <= kMaxMessage) return;
    constexpr std::size_t kTail = 60;
    message = message.substr(0, kMaxMessage - kTail - 5) + " ... " + message.substr(message.size() - kTail);
}

bool ParseStimulusNumber(const std::string& text, std::uint64_t& value) {
    std::string t = text;
    const int base = StripRadix(t, 10);
    t.erase(std::remove(t.begin(), t.end(), '_'), t.end());
    if (t.empty() || t.size() > 16) return false;
    value = 0;
    for (char c : t) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : std::isxdigit(static_cast<unsigned char>(c))
                          ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                          : 99;
        if (d >= base) return false;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    return true;
}

std::uint64_t SimTimeBase::CycleAt(StimulusTime t) const {
    if (t.cycles) return t.value;
    const u128 den = u128{kPsPerSecond} * static_cast<unsigned>(clocksPerCycle);
    const u128 c = (u128{t.value} * clockHz + den - 1) / den;
    return c > ~0ull ? ~0ull : static_cast<std::uint64_t>(c);
}

std::uint64_t SimTimeBase::Picoseconds(std::uint64_t cycle) const {
    const u128 num = u128{cycle} * static_cast<unsigned>(clocksPerCycle) * kPsPerSecond;
    const u128 ps = (num + clockHz / 2) / clockHz;
    return ps > ~0ull ? ~0ull : static_cast<std::uint64_t>(ps);
}

bool ParseStimulusTime(const std::string& text, StimulusTime& time, std::string& message) {
    message = "'" + text + "' is not a time (a number with s, ms, us, ns or c)";
    std::size_t i = 0;
    std::string whole, fraction;
    while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '_'))
        if (text[i++] != '_') whole += text[i - 1];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) fraction += text[i++];
        if (fraction.empty()) return false;
    }
    if (whole.empty() && fraction.empty()) return false;
    const std::string unitName = Lower(text.substr(i));
    const Unit* unit = nullptr;
    for (const Unit& u : kUnits)
        if (unitName == u.name) unit = &u;
    if (!unit && unitName.empty() && fraction.empty() && whole.find_first_not_of('0') == std::string::npos) {
        time = {0, false};  // zero needs no unit
        return true;
    }
    if (!unit) {
        if (unitName.empty()) message = "time '" + text + "' needs a unit (s, ms, us, ns or c)";
        return false;
    }
    if (whole.size() > 19) {
        message = "time '" + text + "' is too large";
        return false;
    }
    const u128 w = std::strtoull(whole.empty() ? "0" : whole.c_str(), nullptr, 10);
    if (unit->ps == 0) {
        if (!fraction.empty()) {
            message = "a count of cycles is a whole number ('" + text + "')";
            return false;
        }
        time = {static_cast<std::uint64_t>(w), true};
        return true;
    }
    u128 ps = w * unit->ps;
    u128 scale = unit->ps;
    for (char d : fraction) {
        if (scale % 10 != 0) {
            if (d != '0') {
                message = "time '" + text + "' is finer than a picosecond";
                return false;
            }
            continue;
        }
        scale /= 10;
        ps += static_cast<unsigned>(d - '0') * scale;
    }
    if (ps > (u128{1} << 62)) {
        message = "time '" + text + "' is too large";
        return false;
    }
    time = {static_cast<std::uint64_t>(ps), false};
    return true;
}

std::string PortName(int port) { return std::string("R") + kPortLetters[port % 5]; }

bool ParsePinName(const std::string& text, int& port, int& bit) {
    const std::string t = Lower(text);
    if (t.size() != 4 || t[0] != 'r' || t[2] != '.' || t[1] < 'a' || t[1] > 'e' || t[3] < '0' || t[3] > '7')
        return false;
    port = t[1] - 'a';
    bit = t[3] - '0';
    return true;
}

StimulusPins StimulusPins::Of(const Family& family, int portCount) {
    StimulusPins p;
    for (int i = 0; i < portCount && i < 5; ++i) p.bonded[i] = 0xFF;
    if (portCount > 0) p.bonded[0] = sxcpu::ModelOf(family).raPins;
    return p;
}

namespace {

// Parses the statements of one line; the first error stops the line.
class LineParser : StimulusCursor {
public:
    LineParser(const std::vector<Token>& tokens, const StimulusPins& pins) : StimulusCursor(tokens), pins_(pins) {}

    bool Parse(StimulusStatement& st, StimulusError& error) {
        const std::string keyword = Lower(t_[0].text);
        pos_ = 1;
        bool ok = false;
        if (t_[0].string) {
            ok = Fail(t_[0], "expected a statement (at, clock or uart)");
        } else if (keyword == "at") {
            ok = ParseAt(st);
        } else if (keyword == "clock") {
            ok = ParseClock(st);
        } else if (keyword == "uart") {
            ok = ParseUart(st);
        } else {
            ok = Fail(t_[0], "unknown statement '" + t_[0].text + "' (expected at, clock or uart)");
        }
        return Finish(ok, error);
    }

private:
    bool Time(StimulusTime& time, const char* what) {
        const Token* tok = Next();
        if (!tok) return Fail(End(), std::string("missing ") + what);
        std::string message;
        if (tok->string) return Fail(*tok, std::string(what) + " is written without quotes");
        if (!ParseStimulusTime(tok->text, time, message)) return Fail(*tok, message);
        return true;
    }

    // A pin (RB.6) or, with `allowPort`, a port (RB).
    bool Target(int& port, std::uint8_t& mask, bool allowPort, const Token*& tok) {
        tok = Next();
        if (!tok) return Fail(End(), allowPort ? "missing pin or port" : "missing pin");
        int bit = 0;
        const std::string t = tok->string ? std::string() : Lower(tok->text);
        if (!tok->string && ParsePinName(tok->text, port, bit)) {
            mask = static_cast<std::uint8_t>(1u << bit);
        } else if (allowPort && !tok->string && t.size() == 2 && t[0] == 'r' && t[1] >= 'a' && t[1] <= 'e') {
            port = t[1] - 'a';
            mask = 0xFF;
        } else {
            return Fail(*tok, "'" + tok->text + "' is not a " + (allowPort ? "pin or port" : "pin") +
                                  " (RA.0 .. RE.7" + (allowPort ? ", RA .. RE)" : ")"));
        }
        const std::uint8_t bonded = pins_.bonded[port];
        if (bonded == 0) return Fail(*tok, "the chip has no port " + PortName(port));
        if (mask != 0xFF && !(mask & bonded)) return Fail(*tok, "the chip has no pin " + tok->text);
        mask &= bonded;
        return true;
    }

    bool ParseAt(StimulusStatement& st) {
        st.kind = StimulusStatement::Kind::Set;
        if (!Time(st.at, "time after 'at'")) return false;
        const Token* target = nullptr;
        if (!Target(st.port, st.mask, true, target)) return false;
        const Token* eq = Next();
        if (!eq) return Fail(End(), "missing '=' and a value");
        if (eq->string || eq->text != "=") return Fail(*eq, "expected '=' before the value");
        const Token* v = Next();
        if (!v) return Fail(End(), "missing value after '='");
        if (!v->string && Lower(v->text) == "z") {
            st.release = true;
            return true;
        }
        std::uint64_t value = 0;
        const bool isPin = st.mask != pins_.bonded[st.port] || target->text.size() > 2;
        if (v->string || !ParseStimulusNumber(v->text, value))
            return Fail(*v, "'" + v->text + "' is not a value" + (isPin ? " (0, 1 or z)" : " (a number or z)"));
        if (isPin) {
            if (value > 1) return Fail(*v, "a pin takes 0, 1 or z, not " + v->text);
            st.level = value ? st.mask : 0;
        } else {
            if (value > 0xFF) return Fail(*v, "a port takes a value from 0 to 0xFF, not " + v->text);
            if (value & ~static_cast<std::uint64_t>(pins_.bonded[st.port]))
                return Fail(*v, "value " + v->text + " sets pins that " + PortName(st.port) + " does not have");
            st.level = static_cast<std::uint8_t>(value);
        }
        return true;
    }

    bool ParseClock(StimulusStatement& st) {
        st.kind = StimulusStatement::Kind::Clock;
        const Token* target = nullptr;
        if (!Target(st.port, st.mask, false, target)) return false;
        const Token* kw = Next();
        if (!kw || Lower(kw->text) != "period") return Fail(kw ? *kw : End(), "expected 'period' and a time");
        st.timingColumn = pos_ < t_.size() ? t_[pos_].column : End().column;
        if (!Time(st.period, "period")) return false;
        if (st.period.value == 0) return Fail(t_[pos_ - 1], "the period must be longer than 0");
        bool seen[3] = {};
        while (const Token* opt = Next()) {
            const std::string o = Lower(opt->text);
            int which = o == "duty" ? 0 : o == "from" ? 1 : o == "until" ? 2 : -1;
            if (opt->string || which < 0)
                return Fail(*opt, "unexpected '" + opt->text + "' (expected duty, from or until)");
            if (seen[which]) return Fail(*opt, "'" + o + "' given twice");
            seen[which] = true;
            if (which == 0) {
                const Token* v = Next();
                if (!v) return Fail(End(), "missing duty cycle (1% .. 99%)");
                std::string d = v->text;
                std::uint64_t n = 0;
                if (v->string || d.size() < 2 || d.back() != '%' || !ParseStimulusNumber(d.substr(0, d.size() - 1), n) ||
                    n < 1 || n > 99)
                    return Fail(*v, "a duty cycle is a percentage from 1% to 99%, not '" + d + "'");
                st.dutyPercent = static_cast<int>(n);
            } else if (which == 1) {
                if (!Time(st.from, "time after 'from'")) return false;
            } else {
                if (!Time(st.until, "time after 'until'")) return false;
                st.hasUntil = true;
            }
        }
        return true;
    }

    bool ParseUart(StimulusStatement& st) {
        st.kind = StimulusStatement::Kind::Uart;
        const Token* target = nullptr;
        if (!Target(st.port, st.mask, false, target)) return false;
        const Token* b = Next();
        if (!b) return Fail(End(), "missing baud rate");
        st.timingColumn = b->column;
        std::uint64_t baud = 0;
        if (b->string || !ParseStimulusNumber(b->text, baud) || baud < 1 || baud > 100'000'000)
            return Fail(*b, "'" + b->text + "' is not a baud rate (1 to 100000000)");
        st.baud = static_cast<std::uint32_t>(baud);
        const Token* at = Next();
        if (!at || Lower(at->text) != "at") return Fail(at ? *at : End(), "expected 'at' and a time");
        if (!Time(st.at, "time after 'at'")) return false;
        const Token* s = Next();
        if (!s) return Fail(End(), "missing the text to send (\"...\")");
        if (!s->string) return Fail(*s, "the text to send is a quoted string");
        st.text = s->text;
        return true;
    }

    const StimulusPins& pins_;
};

}  // namespace

bool ParseStimulus(const std::string& text, const StimulusPins& pins, Stimulus& out,
                   std::vector<StimulusError>& errors, const StimulusLineHook& otherStatement,
                   const volatile std::sig_atomic_t* stop) {
    out = {};
    errors.clear();
    int lineNumber = 0;
    std::size_t start = 0;
    std::vector<Token> tokens;
    // Lines end in LF, CR LF or a lone CR, as sources may.
    while (start <= text.size()) {
        if (Stopped(stop)) return false;
        // The line's end, looked for a megabyte at a time.
        std::size_t end = start;
        for (;;) {
            const std::size_t piece = std::min(kPollBytes, text.size() - end);
            const std::size_t found = std::string_view(text.data() + end, piece).find_first_of("\r\n");
            if (found != std::string_view::npos || piece < kPollBytes) {
                end = found != std::string_view::npos ? end + found : text.size();
                break;
            }
            end += piece;
            if (Stopped(stop)) return false;
        }
        const std::string_view line(text.data() + start, end - start);
        ++lineNumber;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        tokens.clear();
        StimulusError error{};
        if (const auto nul = line.find('\0'); nul != std::string_view::npos) {
            errors.push_back({lineNumber, static_cast<int>(nul) + 1, "NUL byte in the line"});
            continue;
        }
        if (!Tokenize(line, tokens, error, stop)) {
            if (Stopped(stop)) return false;
            error.line = lineNumber;
            errors.push_back(error);
            continue;
        }
        if (tokens.empty()) continue;
        if (otherStatement && !tokens[0].string) {
            const std::string keyword = Lower(tokens[0].text);
            if (keyword != "at" && keyword != "clock" && keyword != "uart") {
                if (!otherStatement(tokens, lineNumber, error)) {
                    error.line = lineNumber;
                    errors.push_back(error);
                }
                continue;
            }
        }
        StimulusStatement st;
        st.line = lineNumber;
        LineParser parser(tokens, pins);
        if (!parser.Parse(st, error)) {
            error.line = lineNumber;
            errors.push_back(error);
            continue;
        }
        if (st.kind == StimulusStatement::Kind::Set)
            out.sets.push_back({st.at.value, static_cast<std::uint8_t>(st.port), st.mask, st.level, st.release,
                                st.at.cycles});
        else
            out.statements.push_back(std::move(st));
    }
    out.sets.shrink_to_fit();
    for (StimulusError& e : errors) ShortenMessage(e.message);
    return errors.empty();
}

bool CheckStimulusTiming(const Stimulus& stimulus, SimTimeBase base, std::vector<StimulusError>& errors) {
    errors.clear();
    // Picoseconds of an instruction cycle, at least 1.
    const u128 cyclePs = std::max<u128>(1, u128{kPsPerSecond} * static_cast<unsigned>(base.clocksPerCycle) / base.clockHz);
    for (const StimulusStatement& st : stimulus.statements) {
        if (st.kind == StimulusStatement::Kind::Clock) {
            const bool tooFast = st.period.cycles ? st.period.value < 2 : st.period.value < 2 * cyclePs;
            if (tooFast)
                errors.push_back({st.line, st.timingColumn,
                                  "the period is shorter than two instruction cycles (" +
                                      std::to_string(static_cast<std::uint64_t>(2 * cyclePs)) + " ps at this clock)"});
        } else if (st.kind == StimulusStatement::Kind::Uart) {
            if (u128{kPsPerSecond} / st.baud < cyclePs)
                errors.push_back({st.line, st.timingColumn,
                                  "at " + std::to_string(st.baud) + " baud a bit is shorter than an instruction cycle"});
        }
    }
    return errors.empty();
}

// --- schedule ---------------------------------------------------------------

namespace {

// Sorts by cycle, keeping file order within a cycle: runs of 64K events
// first, then merges of doubling width, polling `stop` between steps so
// that a list of millions still answers a signal within milliseconds.
void SortEvents(std::vector<PinEvent>& events, const volatile std::sig_atomic_t* stop) {
    const auto earlier = [](const PinEvent& a, const PinEvent& b) { return a.cycle < b.cycle; };
    if (std::is_sorted(events.begin(), events.end(), earlier)) return;
    constexpr std::size_t kRun = 1u << 16;
    const std::size_t n = events.size();
    for (std::size_t i = 0; i < n; i += kRun) {
        if (stop && *stop) return;
        std::stable_sort(events.begin() + i, events.begin() + std::min(n, i + kRun), earlier);
    }
    std::vector<PinEvent> merged(n);
    for (std::size_t width = kRun; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            if (stop && *stop) return;
            const std::size_t mid = std::min(n, lo + width), hi = std::min(n, lo + 2 * width);
            std::merge(events.begin() + lo, events.begin() + mid, events.begin() + mid, events.begin() + hi,
                       merged.begin() + lo, earlier);
        }
        events.swap(merged);
    }
}

}  // namespace

StimulusSchedule::StimulusSchedule(const Stimulus& stimulus, SimTimeBase base, const volatile std::sig_atomic_t* stop)
    : base_(base) {
    std::vector<PinEvent> fixed;
    fixed.reserve(stimulus.sets.size());
    for (const StimulusSet& set : stimulus.sets) {
        if (stop && (fixed.size() & 0xFFFF) == 0 && *stop) break;
        fixed.push_back({base.CycleAt({set.time, set.cycles}), set.port, set.mask, set.level, set.release});
    }
    SortEvents(fixed, stop);
    if (stop && *stop) return;
    fixed_ = std::make_shared<const std::vector<PinEvent>>(std::move(fixed));
    sources_.reserve(stimulus.statements.size() + 1);
    sources_.push_back({});
    for (const StimulusStatement& st : stimulus.statements) sources_.push_back({&st});
    for (std::uint32_t i = 0; i < sources_.size(); ++i) {
        Compute(sources_[i]);
        if (sources_[i].next != ~0ull) heap_.push_back({sources_[i].next, i});
    }
    for (std::size_t i = heap_.size() / 4 + 1; i-- > 0;) SiftDown(i);
}

namespace {
// Time of a point in picoseconds: `t` itself, or the start of its cycle.
std::uint64_t Ps(StimulusTime t, const SimTimeBase& base) { return t.cycles ? base.Picoseconds(t.value) : t.value; }
}  // namespace

// Sets `next` for the event `index` of the source (~0 when it has none).
void StimulusSchedule::Compute(Source& s) const {
    s.next = ~0ull;
    const SimTimeBase& base = base_;
    if (!s.st) {
        if (s.index < fixed_->size()) s.next = (*fixed_)[s.index].cycle;
        return;
    }
    const StimulusStatement& st = *s.st;
    const std::uint64_t index = s.index;
    if (st.kind == StimulusStatement::Kind::Clock) {
        // Edge 2k rises at from + k periods; edge 2k+1 falls a duty later.
        const std::uint64_t k = index / 2;
        const bool falling = index & 1;
        std::uint64_t cycle;
        if (st.period.cycles) {
            const std::uint64_t high = std::max<std::uint64_t>(1, st.period.value * st.dutyPercent / 100);
            cycle = base.CycleAt(st.from) + k * st.period.value + (falling ? high : 0);
        } else {
            const u128 ps = u128{Ps(st.from, base)} + u128{k} * st.period.value +
                            (falling ? u128{st.period.value} * st.dutyPercent / 100 : 0);
            if (ps > (u128{1} << 63)) return;
            cycle = base.CycleAt({static_cast<std::uint64_t>(ps), false});
        }
        if (st.hasUntil && cycle >= base.CycleAt(st.until)) return;
        s.next = cycle;
        return;
    }
    // UART: event 0 drives the idle level at cycle 0, then ten bits a byte.
    if (index == 0) {
        s.next = 0;
        return;
    }
    const std::uint64_t bit = index - 1;
    if (bit >= st.text.size() * 10ull) return;
    const u128 ps = u128{Ps(st.at, base)} + u128{bit} * kPsPerSecond / st.baud;
    s.next = base.CycleAt({static_cast<std::uint64_t>(ps), false});
}

PinEvent StimulusSchedule::Current(const Source& s) const {
    if (!s.st) return (*fixed_)[s.index];
    const StimulusStatement& st = *s.st;
    const std::uint64_t index = s.index;
    PinEvent e{s.next, st.port, st.mask, 0, false};
    if (st.kind == StimulusStatement::Kind::Clock) {
        e.level = (index & 1) ? 0 : st.mask;
    } else if (index == 0) {
        e.level = st.mask;
    } else {
        const std::uint64_t bit = index - 1;
        const int pos = static_cast<int>(bit % 10);
        const auto byte = static_cast<unsigned char>(st.text[bit / 10]);
        const bool high = pos == 0 ? false : pos == 9 ? true : ((byte >> (pos - 1)) & 1) != 0;
        e.level = high ? st.mask : 0;
    }
    return e;
}

void StimulusSchedule::SiftDown(std::size_t at) {
    const std::size_t n = heap_.size();
    if (at >= n) return;
    const Entry moving = heap_[at];
    for (;;) {
        const std::size_t first = 4 * at + 1;
        if (first >= n) break;
        std::size_t best = first;
        for (std::size_t c = first + 1; c < std::min(n, first + 4); ++c)
            if (heap_[c] < heap_[best]) best = c;
        if (!(heap_[best] < moving)) break;
        heap_[at] = heap_[best];
        at = best;
    }
    heap_[at] = moving;
}

bool StimulusSchedule::empty() const { return heap_.empty(); }

std::uint64_t StimulusSchedule::NextCycle() const { return heap_.empty() ? ~0ull : heap_[0].next; }

bool StimulusSchedule::Take(PinEvent& event) {
    if (heap_.empty()) return false;
    Source& s = sources_[heap_[0].source];
    event = Current(s);
    ++s.index;
    Compute(s);
    if (s.next == ~0ull) {
        heap_[0] = heap_.back();
        heap_.pop_back();
    } else {
        heap_[0].next = s.next;
    }
    SiftDown(0);
    return true;
}

}  // namespace korvid
