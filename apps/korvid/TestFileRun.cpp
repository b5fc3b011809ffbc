#include "apps/korvid/TestFileRun.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>

#include "analysis/CycleBounds.h"
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/RegisterDump.h"
#include "core/asm/Assembler.h"
#include "core/image/FileIo.h"
#include "core/image/HexFile.h"
#include "family/Family.h"
#include "family/Registers.h"
#include "sim/FirmwareTest.h"
#include "sim/SimSetup.h"
#include "sim/SxCpu.h"
#include "sim/VcdWriter.h"

namespace korvid::cli {

namespace {

// `expect static cycles A..B OP N`: every span the program's control
// flow allows from A to B must satisfy the comparison, whatever a run
// takes.
void JudgeStaticCycles(const AssemblyState& s, const FirmwareTest& test, FirmwareTestOutcome& outcome) {
    std::optional<ControlFlow> flow;
    FlowProgram program;
    for (std::size_t i = 0; i < test.checks.size(); ++i) {
        const FirmwareCheck& c = test.checks[i];
        if (c.kind != FirmwareCheck::Kind::StaticCycles) continue;
        if (!flow) {
            program = FlowProgramOf(*s.family, s.ChipImage);
            flow = AnalyseControlFlow(program);
        }
        const CycleBound b = SpanCycles(*flow, c.address, c.address2);
        const SxSpanLimits limits = SpanLimitsOf(c.op, c.value);
        const auto lo = static_cast<std::uint64_t>(b.min), hi = static_cast<std::uint64_t>(b.max);
        const bool holds =
            b.reached && b.bounded &&
            (limits.outside ? hi < limits.low || lo > limits.high : lo >= limits.low && hi <= limits.high);
        std::string why;
        if (!b.reached)
            why = "but " + c.label2.text + " is never reached from " + c.label.text;
        else if (!b.bounded) {
            char at[16] = "";
            if (b.openAt >= 0) std::snprintf(at, sizeof at, " at %03Xh", static_cast<unsigned>(b.openAt));
            why = "but the bound is open (" + b.why + at + ")";
        } else
            why = "the bound is " + std::to_string(b.min) + ".." + std::to_string(b.max) + " cycles";
        outcome.checks[i] = {holds, holds ? std::string() : "expected " + c.text + ", " + why};
    }
}

constexpr std::size_t kMaxTestBytes = 16u << 20;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The family a DEVICE line names: the first of its words that only one
// family knows (a part name, or an option only that family has).
const Family* FamilyOfDevice(const std::string& source) {
    const Family* families[] = {&Sx28lFamily(), &Sx52Family()};
    auto knows = [](const Family& f, const std::string& word) {
        for (int i = 0; i < f.deviceParamCount; ++i)
            if (word == f.deviceParams[i].name) return true;
        for (int i = 0; i < f.extendedDeviceParamCount; ++i)
            if (word == f.extendedDeviceParams[i].name) return true;
        return false;
    };
    std::size_t start = 0;
    while (start < source.size()) {
        std::size_t end = source.find_first_of("\r\n", start);
        if (end == std::string::npos) end = source.size();
        std::string line = Upper(source.substr(start, end - start));
        start = end + 1;
        line = line.substr(0, line.find(';'));
        for (char& c : line)
            if (c == ',' || c == '\t') c = ' ';
        std::vector<std::string> words;
        for (std::size_t i = 0; i < line.size();) {
            const std::size_t j = line.find(' ', i);
            const std::size_t e = j == std::string::npos ? line.size() : j;
            if (e > i) words.push_back(line.substr(i, e - i));
            i = e + 1;
        }
        for (std::size_t w = 0; w + 1 < words.size(); ++w) {
            if (words[w] != "DEVICE") continue;
            for (std::size_t k = w + 1; k < words.size(); ++k) {
                const bool in28 = knows(*families[0], words[k]), in52 = knows(*families[1], words[k]);
                if (in28 != in52) return in28 ? families[0] : families[1];
            }
        }
    }
    return nullptr;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Standard error into a temporary file while `work` runs; what was written
// comes back as text.
template <class Work>
std::string CaptureErrors(Work work) {
    std::fflush(stderr);
    std::FILE* capture = std::tmpfile();
    const int saved = capture ? dup(2) : -1;
    if (saved >= 0) dup2(fileno(capture), 2);
    work();
    std::string text;
    if (saved >= 0) {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        std::rewind(capture);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0 && text.size() < (1u << 20))
            text.append(buffer, n);
    }
    if (capture) std::fclose(capture);
    return text;
}

// The family of a hex image, which has no DEVICE line: the 28l unless the
// image does not load as one, or its fuse words cannot belong to one, and
// it loads as a 52 image (more program words, the 52's fuse bits).
const Family* FamilyOfImage(const std::string& path) {
    auto fits = [&](const Family& family) {
        CoreSession session(family);
        bool loaded = false;
        CaptureErrors([&] { loaded = LoadHexImage(session, path); });
        return loaded && ForeignConfigNote(*session.state).empty();
    };
    return !fits(Sx28lFamily()) && fits(Sx52Family()) ? &Sx52Family() : nullptr;
}

std::string ErrorLine(const std::string& file, int line, int column, const std::string& message) {
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": error: " + message + "\n";
}

// The errors of a test file, whatever step found them, printed in line
// order: those of reading the statements first, then those found against
// the program (names, pins, the clock) on the lines that read well, so
// that a line shows its first error only. `text` is what is printed for an
// error (a load error brings the loader's own lines).
class FileErrors {
public:
    void AddRead(const std::string& file, const std::vector<StimulusError>& list) {
        for (const StimulusError& e : list) {
            readLines_.insert(e.line);
            Add(e.line, e.column, ErrorLine(file, e.line, e.column, e.message));
        }
    }
    void AddResolved(int line, int column, std::string text) {
        if (!readLines_.count(line)) Add(line, column, std::move(text));
    }
    void AddResolved(const std::string& file, const std::vector<StimulusError>& list) {
        for (const StimulusError& e : list) AddResolved(e.line, e.column, ErrorLine(file, e.line, e.column, e.message));
    }
    bool empty() const { return errors_.empty(); }
    std::string Text() {
        std::stable_sort(errors_.begin(), errors_.end(), [](const Entry& a, const Entry& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
        std::string out;
        for (const Entry& e : errors_) out += e.text;
        return out;
    }

private:
    struct Entry {
        int line, column;
        std::string text;
    };
    void Add(int line, int column, std::string text) { errors_.push_back({line, column, std::move(text)}); }
    std::vector<Entry> errors_;
    std::set<int> readLines_;
};

}  // namespace

TestFileResult RunTestFile(const std::string& path, const std::string& shownName, const std::string& vcdPath) {
    const auto started = std::chrono::steady_clock::now();
    TestFileResult result;
    result.file = shownName;
    result.status = TestFileResult::Status::Error;
    auto finish = [&]() -> TestFileResult& {
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return result;
    };

    // A stop signal ends any stage: a large file is read and parsed for
    // a while before its run starts.
    const volatile std::sig_atomic_t* stop = StopSignals::Flag();
    auto interrupted = [&](const char* stage) -> TestFileResult& {
        result.errors = "korvid: " + shownName + ": interrupted " + stage + "\n";
        return finish();
    };
    std::string text, reason;
    const ReadResult read = ReadFileToString(path, text, kMaxTestBytes, &reason, stop);
    if (*stop) return interrupted("while reading the test");
    if (read != ReadResult::Ok) {
        result.errors = "korvid: cannot read " + shownName + ": " +
                        (read == ReadResult::TooLarge ? std::string("larger than 16 MB") : reason) + "\n";
        return finish();
    }
    // Every error of the file is reported in one run: those of its
    // statements, and those found against the program (names, pins, the
    // clock), as far as the statements that were read allow.
    FirmwareTest test;
    std::vector<StimulusError> errors;
    FileErrors found;
    auto report = [&]() -> TestFileResult& {
        result.errors = found.Text();
        return finish();
    };
    const bool parsed = ParseFirmwareTest(text, test, errors, stop);
    if (!parsed && *stop) return interrupted("while parsing the test");
    found.AddRead(shownName, errors);
    if (test.source.text.empty()) return report();

    // The program: relative to the test file; its family from the test, else
    // from its DEVICE line, else 28l.
    const std::string program = test.source.text[0] == '/' ? test.source.text : FolderOf(path) + test.source.text;
    const Family* family = test.family.empty() ? nullptr : FamilyByName(test.family);
    if (!family && IsHexFileName(program)) {
        family = FamilyOfImage(program);
    } else if (!family) {
        std::string source, message;
        if (LoadSource(program, source, message)) family = FamilyOfDevice(source);
    }
    if (!family) family = &Sx28lFamily();
    CoreSession session(*family);
    session.state->dialect = test.extendedDialect ? Dialect::Extended : Dialect::Strict;
    bool loaded = false;
    const std::string loaderErrors = CaptureErrors([&] { loaded = LoadProgramImage(session, program); });
    if (!loaded) {
        found.AddResolved(
            test.sourceLine, test.source.column,
            ErrorLine(shownName, test.sourceLine, test.source.column, "cannot load the program " + program) +
                loaderErrors);
        return report();
    }
    const AssemblyState& s = *session.state;

    SxCpu cpu(*family);
    LoadCpuFromImage(cpu, *family, s.ChipImage,
                     test.freqHz ? test.freqHz : s.ClockFrequency ? s.ClockFrequency : kDefaultClockFrequency);
    const SimTimeBase base = TimeBaseOf(cpu);
    const StimulusPins pins = StimulusPins::Of(*family, cpu.portCount());

    ProgramNames names;
    auto symbol = [&s](const std::string& name) -> std::optional<std::int32_t> {
        if (auto v = FindSymbol(s, name)) return v;
        return FindSymbol(s, Upper(name));
    };
    names.registerAddress = [&](const std::string& name) {
        const auto address = FindRegister(s, name);
        return address && IsRegisterNumber(*address) ? static_cast<int>(*address) : -1;
    };
    names.labelAddress = [&](const std::string& name) {
        const auto v = symbol(name);
        return v ? static_cast<int>(*v) : -1;
    };
    names.breakAddress = s.BreakAddress == kNoBreak ? -1 : s.BreakAddress;
    names.programSize = cpu.config().programSize;
    if (!ResolveFirmwareTest(text, test, pins, names, base, errors, stop) && *stop)
        return interrupted("while parsing the test");
    found.AddResolved(shownName, errors);
    if (!found.empty()) return report();

    VcdWriter vcd;
    std::vector<PinSink*> sinks;
    if (!vcdPath.empty()) {
        SimProblem problem;
        if (!OpenWaveform(vcd, vcdPath, *family, pins, base, kDefaultVcdLimit, {}, problem)) {
            result.errors = "korvid: " + problem.message + "\n";
            return finish();
        }
        sinks.push_back(&vcd);
    }
    FirmwareTestOutcome outcome = RunFirmwareTest(cpu, test, base, sinks, stop);
    JudgeStaticCycles(s, test, outcome);
    // Stopped from outside: nothing is reported of the checks, and no
    // waveform is left (the writer removes its temporary file).
    if (outcome.interrupted) return interrupted("before the end of the run");
    result.status = outcome.passed() ? TestFileResult::Status::Pass : TestFileResult::Status::Fail;
    result.checkCount = static_cast<int>(test.checks.size());
    result.simulatedPs = outcome.picoseconds;
    if (!outcome.run.passed)
        result.cases.push_back({"run", test.runLine, test.runColumn, false, outcome.run.message});
    for (std::size_t i = 0; i < test.checks.size(); ++i) {
        const FirmwareCheck& c = test.checks[i];
        result.cases.push_back({"expect " + c.text, c.line, c.column, outcome.checks[i].passed, outcome.checks[i].message});
    }
    if (vcd.isOpen()) {
        if (result.status == TestFileResult::Status::Fail) {
            SimProblem problem;
            if (!FinishWaveform(vcd, cpu.cycles(), problem)) result.errors += "korvid: " + problem.message + "\n";
        } else {
            vcd.Abandon();
        }
    }
    return finish();
}

}  // namespace korvid::cli
