#include "sim/SimSetup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "core/image/FileIo.h"

namespace korvid {

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnStopSignal(int) { g_stop = 1; }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

StopSignals::StopSignals(bool withPipe) : withPipe_(withPipe) {
    g_stop = 0;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;  // no SA_RESTART: a blocked read returns
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 4; ++i)
        if (kStopSignals[i] != SIGPIPE || withPipe_) sigaction(kStopSignals[i], &sa, &old_[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 4; ++i)
        if (kStopSignals[i] != SIGPIPE || withPipe_) sigaction(kStopSignals[i], &old_[i], nullptr);
}

volatile std::sig_atomic_t* StopSignals::Flag() { return &g_stop; }

SxCpuConfig CpuConfigOfImage(const Family& family, const Image& image, std::uint32_t clockHz) {
    SxCpuConfig config =
        SxCpuConfigFromFuses(family, image[kFuseIndex] & kWordMask, image[kExtFuseIndex] & kWordMask);
    if (clockHz) config.clockHz = clockHz;
    return config;
}

void LoadCpuFromImage(SxCpu& cpu, const Family& family, const Image& image, std::uint32_t clockHz) {
    cpu.Configure(CpuConfigOfImage(family, image, clockHz));
    std::uint16_t words[kProgramWords];
    for (int i = 0; i < kProgramWords; ++i) words[i] = image[static_cast<std::size_t>(i)] & kWordMask;
    cpu.LoadProgram(words, kProgramWords);
    cpu.Reset(SxReset::PowerOn);
}

SimTimeBase TimeBaseOf(const SxCpu& cpu) { return {cpu.config().clockHz, cpu.config().turbo ? 1 : 4}; }

std::string ChipScopeName(const Family& family) { return "SX" + Upper(std::string(family.name)); }

std::string ShownPath(const std::string& path) {
    return path == kStdStreamName ? std::string("standard input") : path;
}

bool LoadStimulusFile(const std::string& path, const StimulusPins& pins, SimTimeBase base, Stimulus& out,
                      SimProblem& problem, const volatile std::sig_atomic_t* stop) {
    out = {};
    std::string text, reason;
    const ReadResult r = ReadFileToString(path, text, kMaxStimulusBytes, &reason, stop);
    if (stop && *stop) {
        problem.interrupted = true;
        problem.message = "interrupted while reading the stimulus " + ShownPath(path);
        return false;
    }
    if (r != ReadResult::Ok) {
        problem.message = "cannot read " + ShownPath(path) + ": " +
                          (r == ReadResult::TooLarge ? std::string("larger than 64 MB") : reason);
        return false;
    }
    std::vector<StimulusError> errors;
    const bool parsed = ParseStimulus(text, pins, out, errors, {}, stop);
    if (stop && *stop) {
        out = {};
        problem.interrupted = true;
        problem.message = "interrupted while parsing the stimulus " + ShownPath(path);
        return false;
    }
    // The statements that read well are checked against the clock too, so
    // that one run reports every line with an error, in line order.
    std::vector<StimulusError> timing;
    CheckStimulusTiming(out, base, timing);
    if (!parsed || !timing.empty()) {
        errors.insert(errors.end(), timing.begin(), timing.end());
        std::stable_sort(errors.begin(), errors.end(),
                         [](const StimulusError& a, const StimulusError& b) { return a.line < b.line; });
        out = {};
        for (const StimulusError& e : errors)
            problem.located.push_back(ShownPath(path) + ":" + std::to_string(e.line) + ":" +
                                      std::to_string(e.column) + ": error: " + e.message);
        return false;
    }
    return true;
}

bool OpenWaveform(VcdWriter& vcd, const std::string& path, const Family& family, const StimulusPins& pins,
                  SimTimeBase base, std::uint64_t limit, const std::vector<std::string>& registers,
                  SimProblem& problem) {
    if (path.empty() || path == kStdStreamName) {
        problem.message = "--vcd takes a file name";
        return false;
    }
    vcd.SetLimit(limit);
    return vcd.Open(path, ChipScopeName(family), pins, base, problem.message, registers);
}

bool FinishWaveform(VcdWriter& vcd, std::uint64_t endCycle, SimProblem& problem) {
    if (!vcd.isOpen()) return true;
    if (!vcd.Commit(endCycle, problem.message)) return false;
    if (vcd.limitReached()) {
        problem.message = vcd.LimitMessage();
        return false;
    }
    return true;
}

bool ParseUartPin(const std::string& text, UartPin& pin) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || !ParsePinName(text.substr(0, colon), pin.port, pin.bit)) return false;
    const std::string baud = text.substr(colon + 1);
    if (baud.empty() || baud.size() > 9 || baud.find_first_not_of("0123456789_") != std::string::npos)
        return false;
    std::string digits;
    for (char c : baud)
        if (c != '_') digits += c;
    if (digits.empty()) return false;
    const unsigned long long v = std::strtoull(digits.c_str(), nullptr, 10);
    if (v == 0 || v > 100'000'000) return false;
    pin.baud = static_cast<std::uint32_t>(v);
    pin.name = Upper(text.substr(0, colon));
    return true;
}

std::unique_ptr<UartDecoder> MakeUartDecoder(const UartPin& pin, SimTimeBase base) {
    const double cyclesPerBit = static_cast<double>(base.clockHz) / base.clocksPerCycle / pin.baud;
    return std::make_unique<UartDecoder>(pin.port, pin.bit, cyclesPerBit);
}

bool ParseByteSize(const std::string& text, std::uint64_t& bytes) {
    std::size_t i = 0;
    std::uint64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (1ull << 62) / 10) return false;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    if (i == 0) return false;
    struct Unit {
        const char* name;
        int shift;
    };
    static constexpr Unit kUnits[] = {{"", 0},    {"B", 0},    {"K", 10},   {"KB", 10},  {"KIB", 10},
                                      {"M", 20},  {"MB", 20},  {"MIB", 20}, {"G", 30},   {"GB", 30},
                                      {"GIB", 30}, {"T", 40},  {"TB", 40},  {"TIB", 40}};
    const std::string unit = Upper(text.substr(i));
    for (const Unit& u : kUnits) {
        if (unit != u.name) continue;
        if (u.shift && value > ((1ull << 62) >> u.shift)) return false;
        bytes = value << u.shift;
        return true;
    }
    return false;
}

}  // namespace korvid
