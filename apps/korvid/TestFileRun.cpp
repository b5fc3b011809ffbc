#include "apps/korvid/TestFileRun.h"

#include <chrono>
#include <cstdio>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/RegisterDump.h"
#include "base/Text.h"
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

constexpr std::size_t kMaxTestBytes = 16u << 20;

std::string ErrorLine(const std::string& file, int line, int column, const std::string& message) {
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": error: " + message + "\n";
}

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
    FirmwareTest test;
    std::vector<StimulusError> errors;
    auto report = [&](const std::vector<StimulusError>& list) {
        for (const StimulusError& e : list) result.errors += ErrorLine(shownName, e.line, e.column, e.message);
    };
    if (!ParseFirmwareTest(text, test, errors, stop)) {
        if (*stop) return interrupted("while parsing the test");
        report(errors);
        return finish();
    }

    // The program: relative to the test file; its family from the test, else
    // from the source's korvid comment or DEVICE line (a hex file: the
    // family its image fits), else 28l.
    const std::string program = BesidePath(path, test.source.text);
    LoadRequest request;
    request.path = program;
    request.settings.family = test.family.empty() ? nullptr : FamilyByName(test.family);
    request.settings.familyWord = "the test's family";
    if (test.extendedDialect) request.settings.dialect = Dialect::Extended;
    request.familyFromImage = true;
    ProgramSession session;
    if (!session.Load(request)) {
        result.errors =
            ErrorLine(shownName, test.sourceLine, test.source.column, "cannot load the program " + program) +
            DiagnosticLines(session.diagnostics());
        return finish();
    }
    const Family* family = &session.family();
    const AssemblyState& s = session.state();

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
    if (!ResolveFirmwareTest(text, test, pins, names, base, errors, stop)) {
        if (*stop) return interrupted("while parsing the test");
        report(errors);
        return finish();
    }

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
    const FirmwareTestOutcome outcome = RunFirmwareTest(cpu, test, base, sinks, stop);
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
