// Test files against a program and a chip: pins the chip has, registers
// and labels the program names, stimulus statements at the run's clock.
#include <algorithm>
#include <cctype>

#include "sim/FirmwareTest.h"

namespace korvid {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class Resolver {
public:
    Resolver(const StimulusPins& pins, const ProgramNames& names, std::vector<StimulusError>& errors)
        : pins_(pins), names_(names), errors_(errors) {}

    bool Fail(int line, const TestName& at, const std::string& message) {
        errors_.push_back({line, at.column, message});
        return false;
    }

    bool Pin(int line, const TestName& name, int& port, int& bit) {
        if (!ParsePinName(name.text, port, bit)) return Fail(line, name, "'" + name.text + "' is not a pin (RA.0 .. RE.7)");
        if (!(pins_.bonded[port] & (1u << bit))) return Fail(line, name, "the chip has no pin " + Upper(name.text));
        return true;
    }

    bool Label(int line, const TestName& name, int& address) {
        address = names_.labelAddress ? names_.labelAddress(name.text) : -1;
        if (address < 0 || address >= names_.programSize)
            return Fail(line, name, "'" + name.text + "' is not a label of the program" +
                                        (name.text[0] == ':' ? " (a local label goes with the one before it: LABEL" +
                                                                   name.text + ")"
                                                             : ""));
        return true;
    }

    // A pin, a port, a register or a register's bit ("STATUS.2", "flags.0").
    bool Subject(FirmwareCheck& c) {
        const std::string& t = c.subject.text;
        const std::string u = Upper(t);
        int port = 0, bit = 0;
        if (ParsePinName(t, port, bit)) {
            if (!Pin(c.line, c.subject, c.port, c.bit)) return false;
            c.subjectKind = SubjectKind::Pin;
            return CheckValue(c, 1);
        }
        if (u.size() == 2 && u[0] == 'R' && u[1] >= 'A' && u[1] <= 'E') {
            c.port = u[1] - 'A';
            if (!pins_.bonded[c.port]) return Fail(c.line, c.subject, "the chip has no port " + u);
            c.subjectKind = SubjectKind::Port;
            return CheckValue(c, 255);
        }
        std::string reg = t;
        c.bit = -1;
        const std::size_t dot = t.rfind('.');
        if (dot != std::string::npos && dot + 2 == t.size() && t[dot + 1] >= '0' && t[dot + 1] <= '7') {
            reg = t.substr(0, dot);
            c.bit = t[dot + 1] - '0';
        }
        c.address = names_.registerAddress ? names_.registerAddress(reg) : -1;
        if (c.address < 0)
            return Fail(c.line, c.subject,
                        "'" + reg + "' is not a pin, port or register (W, M, FSR, STATUS, RTCC, a symbol, an address)");
        c.subjectKind = SubjectKind::Register;
        return CheckValue(c, c.bit >= 0 ? 1 : 255);
    }

    bool CheckValue(const FirmwareCheck& c, std::uint64_t max) {
        if (c.value <= max) return true;
        TestName at{c.subject.text, c.subject.column};
        return Fail(c.line, at, max == 1 ? "a pin or bit is 0 or 1" : "a register or port holds 0 to 255");
    }

    bool Check(FirmwareCheck& c) {
        using K = FirmwareCheck::Kind;
        switch (c.kind) {
            case K::Value:
                if (c.when == FirmwareCheck::When::Label && !Label(c.line, c.label, c.address2)) return false;
                return Subject(c);
            case K::Uart:
            case K::Edges:
            case K::Period:
            case K::Duty:
                if (!Pin(c.line, c.pin, c.port, c.bit)) return false;
                if (c.hasFrom && c.hasUntil && !Before(c.from, c.until))
                    return Fail(c.line, c.pin, "the window ends before it starts ('until' before 'from')");
                return true;
            case K::Cycles:
            case K::StaticCycles: return Label(c.line, c.label, c.address) && Label(c.line, c.label2, c.address2);
            case K::Never:
            case K::Reached: return Label(c.line, c.label, c.address);
        }
        return true;
    }

    // Only comparable when both are in the same unit; otherwise the run
    // decides (an empty window is simply never measured).
    static bool Before(StimulusTime a, StimulusTime b) { return a.cycles != b.cycles || a.value < b.value; }

private:
    const StimulusPins& pins_;
    const ProgramNames& names_;
    std::vector<StimulusError>& errors_;
};

}  // namespace

bool ResolveFirmwareTest(const std::string& text, FirmwareTest& test, const StimulusPins& pins,
                         const ProgramNames& names, SimTimeBase base, std::vector<StimulusError>& errors,
                         const volatile std::sig_atomic_t* stop) {
    errors.clear();
    // The pin drives against the chip; the test's own lines were read before.
    ParseStimulus(text, pins, test.stimulus, errors,
                  [](const std::vector<StimulusToken>&, int, StimulusError&) { return true; }, stop);
    if (stop && *stop) return false;
    // The clock and serial statements that read well are checked against
    // the run's clock as well: every error comes out in one go.
    std::vector<StimulusError> timing;
    CheckStimulusTiming(test.stimulus, base, timing);
    errors.insert(errors.end(), timing.begin(), timing.end());
    Resolver r(pins, names, errors);
    for (FirmwareCheck& c : test.checks) r.Check(c);
    if (test.run == FirmwareTest::Run::UntilLabel) {
        r.Label(test.runLine, test.runLabel, test.runAddress);
    } else if (test.run == FirmwareTest::Run::UntilBreak) {
        test.runAddress = names.breakAddress;
        if (test.runAddress < 0)
            r.Fail(test.runLine, TestName{"", test.runColumn}, "the program has no BREAK address to run until");
    }
    std::stable_sort(errors.begin(), errors.end(), [](const StimulusError& a, const StimulusError& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return errors.empty();
}

}  // namespace korvid
