// Reading test files: the statements of the test on top of the stimulus
// format (which reads the pin drives through its line hook).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "base/Text.h"
#include "sim/FirmwareTest.h"
#include "sim/StimulusCursor.h"

namespace korvid {

namespace {

bool IsOpChar(char c) { return c == '=' || c == '!' || c == '<' || c == '>'; }

// Splits comparison operators off the words they touch ("count==20" gives
// "count", "==", "20"): the stimulus tokenizer makes '=' a word of its own.
std::vector<StimulusToken> SplitOperators(const std::vector<StimulusToken>& in) {
    std::vector<StimulusToken> out;
    for (const StimulusToken& t : in) {
        if (t.string) {
            out.push_back(t);
            continue;
        }
        std::size_t i = 0;
        while (i < t.text.size()) {
            const bool op = IsOpChar(t.text[i]);
            std::size_t j = i;
            while (j < t.text.size() && IsOpChar(t.text[j]) == op) ++j;
            StimulusToken piece{t.text.substr(i, j - i), t.column + static_cast<int>(i), false};
            StimulusToken* last = out.empty() ? nullptr : &out.back();
            if (op && last && !last->string && !last->text.empty() && IsOpChar(last->text.back()) &&
                last->column + static_cast<int>(last->text.size()) == piece.column)
                last->text += piece.text;
            else
                out.push_back(std::move(piece));
            i = j;
        }
    }
    return out;
}

struct OpName {
    const char* text;
    CompareOp op;
};
constexpr OpName kOps[] = {{"==", CompareOp::Eq}, {"!=", CompareOp::Ne}, {"<=", CompareOp::Le},
                           {">=", CompareOp::Ge}, {"<", CompareOp::Lt},  {">", CompareOp::Gt}};

// One line of a test statement; the first error stops it.
// Statements a test may give once.
struct SeenStatements {
    bool source = false, family = false, dialect = false, freq = false, run = false;
};

class TestLineParser : StimulusCursor {
public:
    TestLineParser(const std::vector<StimulusToken>& tokens, FirmwareTest& test, SeenStatements& seen)
        : StimulusCursor(tokens), test_(test), seen_(seen) {}

    bool Parse(int line, StimulusError& error) {
        line_ = line;
        const std::string keyword = Lower(t_[0].text);
        pos_ = 1;
        bool ok;
        if (keyword == "source") ok = ParseSource();
        else if (keyword == "family") ok = ParseFamily();
        else if (keyword == "dialect") ok = ParseDialect();
        else if (keyword == "freq") ok = ParseFreq();
        else if (keyword == "run") ok = ParseRun();
        else if (keyword == "expect") ok = ParseExpect();
        else
            ok = Fail(t_[0], "unknown statement '" + t_[0].text +
                                 "' (expected at, clock, uart, source, family, dialect, freq, run or expect)");
        return Finish(ok, error);
    }

private:
    bool PeekWord(const char* word) const { return Peek() && !Peek()->string && Lower(Peek()->text) == word; }

    bool Word(const StimulusToken*& tok, const char* what) {
        tok = Next();
        if (!tok) return Fail(End(), std::string("missing ") + what);
        if (tok->string) return Fail(*tok, std::string("expected ") + what + ", not a string");
        return true;
    }
    bool Time(StimulusTime& time, const char* what) {
        const StimulusToken* tok = nullptr;
        if (!Word(tok, what)) return false;
        std::string message;
        if (!ParseStimulusTime(tok->text, time, message)) return Fail(*tok, message);
        return true;
    }
    bool Name(TestName& name, const char* what) {
        const StimulusToken* tok = nullptr;
        if (!Word(tok, what)) return false;
        name = {tok->text, tok->column};
        return true;
    }
    bool Op(CompareOp& op, bool equalityOnly = false) {
        const StimulusToken* tok = Next();
        const char* expected = equalityOnly ? "expected == or contains" : "expected a comparison (==, !=, <, <=, >, >=)";
        if (!tok) return Fail(End(), std::string("missing comparison: ") + expected);
        for (const OpName& o : kOps)
            if (!tok->string && tok->text == o.text) return op = o.op, true;
        return Fail(*tok, std::string(expected) + ", not '" + tok->text + "'");
    }
    bool Number(std::uint64_t& value, const char* what) {
        const StimulusToken* tok = nullptr;
        if (!Word(tok, what)) return false;
        if (!ParseStimulusNumber(tok->text, value)) return Fail(*tok, "'" + tok->text + "' is not a number");
        return true;
    }
    bool Once(bool& seen, const StimulusToken& at, const char* what) {
        if (seen) return Fail(at, std::string("a second '") + what + "' statement");
        seen = true;
        return true;
    }
    // The words of the line from `first` on, one space apart, for messages.
    std::string Text(std::size_t first, std::size_t end) const {
        std::string s;
        for (std::size_t i = first; i < end && i < t_.size(); ++i) {
            if (!s.empty()) s += ' ';
            s += t_[i].string ? QuoteText(t_[i].text) : t_[i].text;
        }
        return s;
    }

    bool ParseSource() {
        if (!Once(seen_.source, t_[0], "source")) return false;
        const StimulusToken* tok = Next();
        if (!tok) return Fail(End(), "missing the program's file name");
        test_.source = {tok->text, tok->column};
        test_.sourceLine = line_;
        return !tok->text.empty() || Fail(*tok, "empty file name");
    }
    // A statement that names one of two words (family 28l|52, dialect
    // strict|extended), as `value` in lower case.
    bool ParseOneOf(bool& seen, const std::string& statement, const std::string& first, const std::string& second,
                    std::string& value) {
        if (!Once(seen, t_[0], statement.c_str())) return false;
        const StimulusToken* tok = nullptr;
        const std::string either = first + " or " + second;
        if (!Word(tok, either.c_str())) return false;
        value = Lower(tok->text);
        if (value != first && value != second)
            return Fail(*tok, "unknown " + statement + " '" + tok->text + "' (use " + either + ")");
        return true;
    }
    bool ParseFamily() {
        std::string f;
        if (!ParseOneOf(seen_.family, "family", "28l", "52", f)) return false;
        test_.family = f;
        return true;
    }
    bool ParseDialect() {
        std::string d;
        if (!ParseOneOf(seen_.dialect, "dialect", "strict", "extended", d)) return false;
        test_.extendedDialect = d == "extended";
        return true;
    }
    bool ParseFreq() {
        if (!Once(seen_.freq, t_[0], "freq")) return false;
        const StimulusToken* tok = Peek();
        std::uint64_t hz = 0;
        if (!Number(hz, "the clock in Hz")) return false;
        if (hz == 0 || hz > 4'000'000'000ull) return Fail(*tok, "the clock must be 1 to 4000000000 Hz");
        test_.freqHz = static_cast<std::uint32_t>(hz);
        return true;
    }
    bool ParseRun() {
        if (!Once(seen_.run, t_[0], "run")) return false;
        test_.runLine = line_;
        test_.runColumn = t_[0].column;
        const StimulusToken* how = nullptr;
        if (!Word(how, "'for' or 'until'")) return false;
        const std::string h = Lower(how->text);
        if (h == "for") {
            test_.run = FirmwareTest::Run::For;
            return Time(test_.runTime, "the time to run");
        }
        if (h != "until") return Fail(*how, "expected 'for' or 'until', not '" + how->text + "'");
        TestName target;
        if (!Name(target, "'break' or a label")) return false;
        if (Lower(target.text) == "break") {
            test_.run = FirmwareTest::Run::UntilBreak;
        } else {
            test_.run = FirmwareTest::Run::UntilLabel;
            test_.runLabel = target;
        }
        if (PeekWord("within")) {
            ++pos_;
            test_.hasWithin = true;
            return Time(test_.runTime, "a time after 'within'");
        }
        return true;
    }

    bool Window(FirmwareCheck& c) {
        while (Peek()) {
            if (PeekWord("from") && !c.hasFrom) {
                ++pos_;
                c.hasFrom = true;
                if (!Time(c.from, "a time after 'from'")) return false;
            } else if (PeekWord("until") && !c.hasUntil) {
                ++pos_;
                c.hasUntil = true;
                if (!Time(c.until, "a time after 'until'")) return false;
            } else {
                return true;  // "unexpected ..." from Parse
            }
        }
        return true;
    }
    // "±1%", "+-1%", "± 1%", "±2us".
    bool Tolerance(FirmwareCheck& c, bool allowTime) {
        const StimulusToken* tok = Peek();
        if (!tok || tok->string) return true;
        std::string t = tok->text;
        const std::string plusMinus = "\xC2\xB1";
        if (t.rfind(plusMinus, 0) == 0) t.erase(0, plusMinus.size());
        else if (t.rfind("+-", 0) == 0) t.erase(0, 2);
        else return true;
        // An order has no use for one: `< 50% ±1%` would silently mean `< 50%`.
        if (c.op != CompareOp::Eq && c.op != CompareOp::Ne)
            return Fail(*tok, std::string("a tolerance goes with == or != only, not ") + CompareText(c.op));
        ++pos_;
        const StimulusToken* at = tok;
        if (t.empty()) {
            if (!Word(at, "a tolerance")) return false;
            t = at->text;
        }
        if (t.size() > 1 && t.back() == '%') {
            char* end = nullptr;
            const double v = std::strtod(t.c_str(), &end);
            if (end != t.c_str() + t.size() - 1 || !(v >= 0) || v > 100) return Fail(*at, "'" + t + "' is not a tolerance");
            c.tolerance = v / (c.kind == FirmwareCheck::Kind::Duty ? 1.0 : 100.0);
            return true;
        }
        StimulusTime time;
        std::string message;
        if (!allowTime || !ParseStimulusTime(t, time, message) || time.cycles)
            return Fail(*at, "'" + t + "' is not a tolerance (" + (allowTime ? "N% or a time" : "N%") + ")");
        c.tolerance = static_cast<double>(time.value);
        c.tolerancePs = true;
        return true;
    }

    bool ParseExpect() {
        FirmwareCheck c;
        c.line = line_;
        c.column = t_[0].column;
        const StimulusToken* kindTok = nullptr;
        if (!Word(kindTok, "what to expect (at, uart, edges, period, duty, cycles, never or reached)")) return false;
        const std::string k = Lower(kindTok->text);
        bool ok;
        if (k == "at") ok = ParseValueCheck(c);
        else if (k == "uart") ok = ParseUart(c);
        else if (k == "edges") ok = ParseEdges(c);
        else if (k == "period" || k == "duty") ok = ParseWave(c, k == "duty");
        else if (k == "cycles") ok = ParseCycles(c);
        else if (k == "static")
            ok = ParseStaticCycles(c);
        else if (k == "never" || k == "reached") {
            c.kind = k == "never" ? FirmwareCheck::Kind::Never : FirmwareCheck::Kind::Reached;
            ok = Name(c.label, "a label");
        } else
            ok = Fail(*kindTok, "unknown check '" + kindTok->text +
                                    "' (expected at, uart, edges, period, duty, cycles, never or reached)");
        if (!ok) return false;
        if (c.text.empty()) c.text = Text(1, pos_);
        test_.checks.push_back(std::move(c));
        return true;
    }

    bool ParseValueCheck(FirmwareCheck& c) {
        c.kind = FirmwareCheck::Kind::Value;
        const StimulusToken* when = nullptr;
        if (!Word(when, "a time, a label or 'end' after 'at'")) return false;
        const std::string w = Lower(when->text);
        if (w == "end") {
            c.when = FirmwareCheck::When::End;
        } else if (std::isdigit(static_cast<unsigned char>(w[0]))) {
            c.when = FirmwareCheck::When::Time;
            std::string message;
            if (!ParseStimulusTime(when->text, c.at, message)) return Fail(*when, message);
        } else {
            c.when = FirmwareCheck::When::Label;
            const std::size_t hash = when->text.find('#');
            c.label = {when->text.substr(0, hash), when->column};
            if (c.label.text.empty()) return Fail(*when, "missing label before '#'");
            if (hash != std::string::npos) {
                std::uint64_t n = 0;
                const std::string count = when->text.substr(hash + 1);
                if (count.empty() || count.find_first_not_of("0123456789_") != std::string::npos ||
                    !ParseStimulusNumber(count, n) || n == 0 || n > 0xFFFFFFFFu)
                    return Fail(*when, "'#" + count + "' is not an arrival count (1, 2, ...)");
                c.occurrence = static_cast<std::uint32_t>(n);
            }
        }
        const std::size_t subjectAt = pos_;
        if (!Name(c.subject, "a pin, port or register")) return false;
        if (!Op(c.op) || !Number(c.value, "the expected value")) return false;
        c.text = Text(subjectAt, pos_) + " at " + when->text;
        return true;
    }

    bool ParseUart(FirmwareCheck& c) {
        c.kind = FirmwareCheck::Kind::Uart;
        if (!Name(c.pin, "a pin")) return false;
        const StimulusToken* baudTok = Peek();
        std::uint64_t baud = 0;
        if (!Number(baud, "the baud rate")) return false;
        if (baud < 1 || baud > 100'000'000) return Fail(*baudTok, "the baud rate must be 1 to 100000000");
        c.baud = static_cast<std::uint32_t>(baud);
        const StimulusToken* how = Next();
        if (!how) return Fail(End(), "missing == or contains");
        if (!how->string && how->text == "==") c.contains = false;
        else if (!how->string && Lower(how->text) == "contains") c.contains = true;
        else return Fail(*how, "expected == or contains, not '" + how->text + "'");
        const StimulusToken* text = Next();
        if (!text) return Fail(End(), "missing the expected text in quotes");
        if (!text->string) return Fail(*text, "expected the text in quotes");
        c.bytes = text->text;
        return true;
    }

    bool ParseEdges(FirmwareCheck& c) {
        c.kind = FirmwareCheck::Kind::Edges;
        return Name(c.pin, "a pin") && Op(c.op) && Number(c.value, "a number of edges") && Window(c);
    }

    bool ParseWave(FirmwareCheck& c, bool duty) {
        c.kind = duty ? FirmwareCheck::Kind::Duty : FirmwareCheck::Kind::Period;
        if (!Name(c.pin, "a pin") || !Op(c.op)) return false;
        const StimulusToken* v = nullptr;
        if (!Word(v, duty ? "a duty cycle (N%)" : "a period")) return false;
        if (duty) {
            char* end = nullptr;
            const double p = std::strtod(v->text.c_str(), &end);
            if (v->text.size() < 2 || v->text.back() != '%' || end != v->text.c_str() + v->text.size() - 1 ||
                !(p >= 0) || p > 100)
                return Fail(*v, "'" + v->text + "' is not a duty cycle (0% to 100%)");
            c.expectPercent = p;
        } else {
            StimulusTime t;
            std::string message;
            if (!ParseStimulusTime(v->text, t, message)) return Fail(*v, message);
            if (t.cycles) return Fail(*v, "give the period in s, ms, us or ns");
            if (t.value == 0) return Fail(*v, "the period must be above 0");
            c.expectPs = t.value;
        }
        return Tolerance(c, !duty) && Window(c);
    }

    bool ParseCycles(FirmwareCheck& c) {
        c.kind = FirmwareCheck::Kind::Cycles;
        const StimulusToken* span = nullptr;
        if (!Word(span, "LABEL..LABEL")) return false;
        const std::size_t dots = span->text.find("..");
        if (dots == std::string::npos || dots == 0 || dots + 2 >= span->text.size())
            return Fail(*span, "expected LABEL..LABEL, not '" + span->text + "'");
        c.label = {span->text.substr(0, dots), span->column};
        c.label2 = {span->text.substr(dots + 2), span->column + static_cast<int>(dots) + 2};
        return Op(c.op) && Number(c.value, "a number of cycles");
    }

    // static cycles LABEL..LABEL OP N: the bound over every path.
    bool ParseStaticCycles(FirmwareCheck& c) {
        const StimulusToken* what = nullptr;
        if (!Word(what, "'cycles' after 'static'")) return false;
        if (Lower(what->text) != "cycles")
            return Fail(*what, "expected 'cycles' after 'static', not '" + what->text + "'");
        if (!ParseCycles(c)) return false;
        c.kind = FirmwareCheck::Kind::StaticCycles;
        return true;
    }

    FirmwareTest& test_;
    SeenStatements& seen_;
};

bool ByPosition(const StimulusError& a, const StimulusError& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
}

}  // namespace

std::string QuoteText(const std::string& text) {
    std::string q = "\"";
    for (unsigned char ch : text) {
        switch (ch) {
            case '\n': q += "\\n"; break;
            case '\r': q += "\\r"; break;
            case '\t': q += "\\t"; break;
            case '\\': q += "\\\\"; break;
            case '"': q += "\\\""; break;
            default:
                if (ch < 32 || ch >= 127) {
                    static const char* hex = "0123456789abcdef";
                    q += "\\x";
                    q += hex[ch >> 4];
                    q += hex[ch & 15];
                } else {
                    q += static_cast<char>(ch);
                }
        }
    }
    return q + "\"";
}

bool ParseFirmwareTest(const std::string& text, FirmwareTest& out, std::vector<StimulusError>& errors,
                       const volatile std::sig_atomic_t* stop) {
    out = FirmwareTest{};
    errors.clear();
    SeenStatements seen;
    // The pin drives are read again against the chip once it is known; here
    // only their form counts.
    StimulusPins anyPin;
    for (std::uint8_t& b : anyPin.bonded) b = 0xFF;
    Stimulus scratch;
    ParseStimulus(text, anyPin, scratch, errors, [&](const std::vector<StimulusToken>& tokens, int line, StimulusError& e) {
        const std::vector<StimulusToken> words = SplitOperators(tokens);
        TestLineParser parser(words, out, seen);
        return parser.Parse(line, e);
    }, stop);
    if (stop && *stop) return false;
    // A missing statement is reported with the other errors, not after they
    // are mended; a statement written with an error is not missing.
    if (!seen.source) errors.push_back({1, 1, "the test names no program ('source FILE')"});
    if (!seen.run && out.run == FirmwareTest::Run::None)
        errors.push_back({1, 1, "the test has no 'run' statement (run for TIME, run until break, run until LABEL)"});
    std::stable_sort(errors.begin(), errors.end(), ByPosition);
    return errors.empty();
}

}  // namespace korvid
