#include "apps/korvid/TestReport.h"

#include <cstdio>
#include <cstdlib>

#include "sim/FirmwareTest.h"

namespace korvid::cli {

namespace {

std::string Location(const TestFileResult& r, const TestCaseResult& c) {
    return r.file + ":" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": error: " + c.message;
}

// The length of the well-formed UTF-8 sequence at s[i] (an ASCII byte
// is one), or 0 for a byte that starts none.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    // Lead byte ranges, their lengths and the range of the second byte
    // (which rules out overlong forms, surrogates and values past U+10FFFF).
    struct Form {
        unsigned leadLow, leadHigh, length, secondLow, secondHigh;
    };
    static constexpr Form kForms[] = {{0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
                                      {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F},
                                      {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
                                      {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F}};
    for (const Form& f : kForms) {
        if (lead < f.leadLow || lead > f.leadHigh) continue;
        if (i + f.length > s.size() || byte(i + 1) < f.secondLow || byte(i + 1) > f.secondHigh) return 0;
        for (std::size_t k = 2; k < f.length; ++k)
            if ((byte(i + k) & 0xC0) != 0x80) return 0;
        return f.length;
    }
    return 0;
}

// Text for XML: the five special characters as entities; control bytes
// (which XML 1.0 cannot hold) and bytes that are not UTF-8 (a Latin-1
// file name or statement) as \xHH, so that the report stays readable XML.
std::string Xml(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t length = Utf8Length(s, i);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                if ((c < 32 && c != '\n' && c != '\t') || length == 0) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", c);
                    out += hex;
                } else {
                    out.append(s, i, length);
                }
        }
        i += length == 0 ? 1 : length;
    }
    return out;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

}  // namespace

std::string ReportLines(const TestFileResult& r) {
    std::string out;
    if (r.status == TestFileResult::Status::Pass) {
        out = "PASS " + r.file + " (" + std::to_string(r.checkCount) + (r.checkCount == 1 ? " check, " : " checks, ") +
              FormatTestTime(r.simulatedPs) + " simulated)\n";
        return out;
    }
    out = "FAIL " + r.file + "\n";
    out += r.errors;
    for (const TestCaseResult& c : r.cases)
        if (!c.passed) out += Location(r, c) + "\n";
    return out;
}

std::string JUnitXml(const std::vector<TestFileResult>& results) {
    std::size_t tests = 0, failures = 0, errors = 0;
    double seconds = 0;
    std::string suites;
    for (const TestFileResult& r : results) {
        const bool error = r.status == TestFileResult::Status::Error;
        std::size_t failed = 0;
        for (const TestCaseResult& c : r.cases) failed += c.passed ? 0 : 1;
        const std::size_t count = error ? 1 : r.cases.size();
        tests += count;
        failures += error ? 0 : failed;
        errors += error ? 1 : 0;
        seconds += r.seconds;
        suites += "  <testsuite name=\"" + Xml(r.file) + "\" tests=\"" + std::to_string(count) + "\" failures=\"" +
                  std::to_string(error ? 0 : failed) + "\" errors=\"" + std::to_string(error ? 1 : 0) +
                  "\" skipped=\"0\" time=\"" + Seconds(r.seconds) + "\">\n";
        if (error) {
            std::string first = r.errors.substr(0, r.errors.find('\n'));
            suites += "    <testcase classname=\"" + Xml(r.file) + "\" name=\"load\" time=\"" + Seconds(r.seconds) +
                      "\">\n      <error message=\"" + Xml(first) + "\">" + Xml(r.errors) +
                      "</error>\n    </testcase>\n";
        } else {
            for (const TestCaseResult& c : r.cases) {
                suites += "    <testcase classname=\"" + Xml(r.file) + "\" name=\"" + Xml(c.name) + " (line " +
                          std::to_string(c.line) + ")\" time=\"0\"";
                if (c.passed) {
                    suites += "/>\n";
                } else {
                    const std::string line = Location(r, c);
                    suites += ">\n      <failure message=\"" + Xml(c.message) + "\">" + Xml(line) +
                              "</failure>\n    </testcase>\n";
                }
            }
        }
        suites += "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"korvid test\" tests=\"" +
           std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
           std::to_string(errors) + "\" time=\"" + Seconds(seconds) + "\">\n" + suites + "</testsuites>\n";
}

// The encoding: fields in a fixed order, each "LENGTH:BYTES".
namespace {

void Put(std::string& out, const std::string& field) { out += std::to_string(field.size()) + ":" + field; }

class Reader {
public:
    explicit Reader(const std::string& data) : d_(data) {}
    bool Get(std::string& field) {
        const std::size_t colon = d_.find(':', at_);
        if (colon == std::string::npos || colon == at_ || colon - at_ > 12) return false;
        const std::size_t n = std::strtoull(d_.substr(at_, colon - at_).c_str(), nullptr, 10);
        if (n > d_.size() - colon - 1) return false;
        field = d_.substr(colon + 1, n);
        at_ = colon + 1 + n;
        return true;
    }
    bool Number(std::uint64_t& v) {
        std::string f;
        if (!Get(f)) return false;
        v = std::strtoull(f.c_str(), nullptr, 10);
        return true;
    }
    bool AtEnd() const { return at_ == d_.size(); }

private:
    const std::string& d_;
    std::size_t at_ = 0;
};

}  // namespace

std::string Encode(const TestFileResult& r) {
    std::string out;
    Put(out, std::to_string(static_cast<int>(r.status)));
    Put(out, r.file);
    Put(out, std::to_string(r.checkCount));
    Put(out, std::to_string(r.simulatedPs));
    Put(out, std::to_string(static_cast<std::uint64_t>(r.seconds * 1e6)));
    Put(out, r.errors);
    Put(out, std::to_string(r.cases.size()));
    for (const TestCaseResult& c : r.cases) {
        Put(out, c.name);
        Put(out, std::to_string(c.line));
        Put(out, std::to_string(c.column));
        Put(out, c.passed ? "1" : "0");
        Put(out, c.message);
    }
    return out;
}

bool Decode(const std::string& data, TestFileResult& r) {
    Reader in(data);
    std::uint64_t status = 0, checks = 0, micros = 0, count = 0;
    if (!in.Number(status) || status > 2 || !in.Get(r.file) || !in.Number(checks) || !in.Number(r.simulatedPs) ||
        !in.Number(micros) || !in.Get(r.errors) || !in.Number(count) || count > 1'000'000)
        return false;
    r.status = static_cast<TestFileResult::Status>(status);
    r.checkCount = static_cast<int>(checks);
    r.seconds = static_cast<double>(micros) / 1e6;
    r.cases.resize(count);
    for (TestCaseResult& c : r.cases) {
        std::uint64_t line = 0, column = 0;
        std::string passed;
        if (!in.Get(c.name) || !in.Number(line) || !in.Number(column) || !in.Get(passed) || !in.Get(c.message))
            return false;
        c.line = static_cast<int>(line);
        c.column = static_cast<int>(column);
        c.passed = passed == "1";
    }
    return in.AtEnd();
}

}  // namespace korvid::cli
