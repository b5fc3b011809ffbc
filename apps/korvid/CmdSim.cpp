// korvid sim: runs a program on the emulated chip without a tool or a
// debugger: assembles (or loads) it, runs it from power-on reset for a
// number of cycles or a simulated time, or until its BREAK address executes,
// with pins driven by a stimulus file, a waveform of the pins (--vcd) and
// the program's serial output decoded (--uart-out); then prints the final
// registers as `korvid debug`'s `regs` does, the cycle count and the time.
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "apps/korvid/RegisterDump.h"
#include "core/asm/Assembler.h"
#include "core/image/FileIo.h"
#include "family/Registers.h"
#include "sim/SimDriver.h"
#include "sim/Stimulus.h"
#include "sim/SxCpu.h"
#include "sim/UartDecoder.h"
#include "sim/VcdWriter.h"

namespace korvid::cli {
namespace {

constexpr const char* kCommand = "sim";
constexpr std::size_t kMaxStimulusBytes = 64u << 20;
// Without --cycles or --for, --until-break gives up after this much time.
constexpr std::uint64_t kDefaultBreakLimitPs = 10'000'000'000'000ull;  // 10 s

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

bool ParseCount(const std::string& text, std::uint64_t& value, std::uint64_t max) {
    std::string t;
    for (char c : text)
        if (c != '_') t += c;
    if (t.empty() || t.size() > 19) return false;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = std::strtoull(t.c_str(), nullptr, 10);
    return value <= max;
}

// "12.345678 us": picoseconds in microseconds, exact.
std::string FormatTime(std::uint64_t ps) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%06llu us", static_cast<unsigned long long>(ps / 1'000'000),
                  static_cast<unsigned long long>(ps % 1'000'000));
    return text;
}

// The state of the emulated chip as the debugger reads it.
ChipState StateOf(const SxCpu& cpu) {
    ChipState s;
    for (int a = 0; a < 256; ++a) s.registers[static_cast<std::size_t>(a)] = cpu.Peek(a);
    s.ProgramCounter = cpu.pc();
    s.W = cpu.w();
    s.M = cpu.mode();
    s.IntFlag = cpu.inInterrupt() ? 1 : 0;
    s.SkipFlag = cpu.skipPending() ? 1 : 0;
    s.WAt1Flag = (cpu.option() & 0x80) ? 0 : 1;
    return s;
}

int RunSim(const std::vector<std::string>& args) {
    Options options(args,
                    {"--family", "--cycles", "--for", "--clock", "--stimulus", "--vcd", "--vcd-reg", "--uart-out"},
                    {"--until-break"});
    if (!options.ok()) return UsageError(kCommand, options.error());
    if (options.Operands().size() != 1) return UsageError(kCommand, "expected one source or hex file");
    const Family* family = FamilyOption(options);
    if (!family) return kExitUsage;
    const std::string program = options.Operands()[0];
    const bool untilBreak = options.Flag("--until-break");
    const auto cyclesText = options.Value("--cycles");
    const auto forText = options.Value("--for");
    if (cyclesText && forText) return UsageError(kCommand, "give --cycles or --for, not both");
    if (!cyclesText && !forText && !untilBreak)
        return UsageError(kCommand, "give --cycles N, --for TIME or --until-break");
    std::uint64_t cycles = 0;
    if (cyclesText && !ParseCount(*cyclesText, cycles, ~0ull >> 2))
        return UsageError(kCommand, "--cycles takes a number of instruction cycles");
    StimulusTime forTime;
    if (forText) {
        std::string message;
        if (!ParseStimulusTime(*forText, forTime, message)) return UsageError(kCommand, "--for: " + message);
    }
    std::uint64_t clockHz = 0;
    if (auto c = options.Value("--clock"); c && (!ParseCount(*c, clockHz, 4'000'000'000ull) || clockHz == 0))
        return UsageError(kCommand, "--clock takes a frequency in Hz (1 to 4000000000)");
    int uartPort = -1, uartBit = 0;
    std::uint64_t uartBaud = 0;
    std::string uartName;
    if (auto u = options.Value("--uart-out")) {
        const auto colon = u->find(':');
        if (colon == std::string::npos || !ParsePinName(u->substr(0, colon), uartPort, uartBit) ||
            !ParseCount(u->substr(colon + 1), uartBaud, 100'000'000) || uartBaud == 0)
            return UsageError(kCommand, "--uart-out takes PIN:BAUD (RB.6:9600)");
        uartName = u->substr(0, colon);
        for (char& ch : uartName) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    const auto stimulusPath = options.Value("--stimulus");
    const auto vcdPath = options.Value("--vcd");
    if (stimulusPath && *stimulusPath == std::string(kStdStreamName) && program == std::string(kStdStreamName))
        return UsageError(kCommand, "the program and the stimulus cannot both come from standard input");
    const auto vcdRegs = options.Value("--vcd-reg");
    if (vcdRegs && !vcdPath) return UsageError(kCommand, "--vcd-reg needs --vcd");
    if (vcdPath && *vcdPath == std::string(kStdStreamName))
        return UsageError(kCommand, "--vcd takes a file name");
    if (vcdPath) {
        std::vector<std::string> inputs{program};
        if (stimulusPath) inputs.push_back(*stimulusPath);
        if (!OutputsAreDistinct(kCommand, inputs, {{"--vcd", *vcdPath}})) return kExitUsage;
    }

    // The program and its configuration.
    CoreSession session(*family);
    if (!LoadProgramImage(session, program)) return kExitFailure;
    const AssemblyState& s = *session.state;
    const std::uint16_t fuse = s.ChipImage[kFuseIndex] & kWordMask;
    const std::uint16_t extFuse = s.ChipImage[kExtFuseIndex] & kWordMask;
    SxCpuConfig config = SxCpuConfigFromFuses(*family, fuse, extFuse);
    config.clockHz = static_cast<std::uint32_t>(clockHz ? clockHz : s.ClockFrequency);
    if (config.clockHz == 0) config.clockHz = kDefaultClockFrequency;
    SxCpu cpu(*family);
    cpu.Configure(config);
    std::vector<std::uint16_t> words(kProgramWords);
    for (int i = 0; i < kProgramWords; ++i) words[static_cast<std::size_t>(i)] = s.ChipImage[i] & kWordMask;
    cpu.LoadProgram(words.data(), kProgramWords);
    cpu.Reset(SxReset::PowerOn);
    const SimTimeBase base{cpu.config().clockHz, cpu.config().turbo ? 1 : 4};
    const StimulusPins pins = StimulusPins::Of(*family, cpu.portCount());

    if (untilBreak && s.BreakAddress == kNoBreak) {
        PrintError(DisplayName(program) + ": --until-break: the program has no BREAK address");
        return kExitFailure;
    }
    if (uartPort >= 0 && !(pins.bonded[uartPort] & (1u << uartBit))) {
        PrintError("--uart-out: the chip has no pin " + uartName);
        return kExitFailure;
    }

    // Registers shown in the waveform as 8-bit vectors.
    std::vector<std::string> regNames;
    std::vector<int> regAddresses;
    if (vcdRegs) {
        std::string list = *vcdRegs + ",";
        for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
            const std::string name = list.substr(at, comma - at);
            const auto address = name.empty() ? std::optional<long>{} : FindRegister(s, name);
            if (!address || !IsRegisterNumber(*address)) {
                PrintError("--vcd-reg: '" + name + "' is not a register (W, RTCC, STATUS, FSR, RA..RE, a symbol or a hex address)");
                return kExitFailure;
            }
            regNames.push_back(name);
            regAddresses.push_back(static_cast<int>(*address));
        }
    }

    // The stimulus: every error of the file, and nothing runs.
    Stimulus stimulus;
    if (stimulusPath) {
        std::string text, reason;
        const ReadResult r = ReadFileToString(*stimulusPath, text, kMaxStimulusBytes, &reason);
        if (r != ReadResult::Ok) {
            PrintError("cannot read " + DisplayName(*stimulusPath) + ": " +
                       (r == ReadResult::TooLarge ? std::string("larger than 64 MB") : reason));
            return kExitFailure;
        }
        std::vector<StimulusError> errors;
        if (!ParseStimulus(text, pins, stimulus, errors) || !CheckStimulusTiming(stimulus, base, errors)) {
            for (const StimulusError& e : errors)
                std::fprintf(stderr, "%s:%d:%d: error: %s\n", DisplayName(*stimulusPath).c_str(), e.line, e.column,
                             e.message.c_str());
            return kExitFailure;
        }
    }

    // Sinks, opened before anything runs.
    VcdWriter vcd;
    if (vcdPath) {
        std::string message;
        const std::string scope = "SX" + [&] {
            std::string n(family->name);
            for (char& ch : n) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            return n;
        }();
        if (!vcd.Open(*vcdPath, scope, pins, base, message, regNames)) {
            PrintError(message);
            return kExitFailure;
        }
    }
    bool lastNewline = true;
    std::unique_ptr<UartDecoder> uart;
    if (uartPort >= 0) {
        const double cyclesPerBit = static_cast<double>(base.clockHz) / base.clocksPerCycle / uartBaud;
        uart = std::make_unique<UartDecoder>(uartPort, uartBit, cyclesPerBit);
        uart->onByte = [&](std::uint8_t b) {
            std::fputc(b, stdout);
            std::fflush(stdout);
            lastNewline = b == '\n';
        };
        uart->onFramingError = [&](std::uint64_t cycle) {
            std::fflush(stdout);
            std::fprintf(stderr, "korvid: uart %s: framing error at %s\n", uartName.c_str(),
                         FormatTime(base.Picoseconds(cycle)).c_str());
        };
    }

    SimDriver driver(cpu, stimulus, base);
    for (int address : regAddresses) driver.WatchRegister(address);
    if (vcd.isOpen()) driver.AddSink(&vcd);
    if (uart) driver.AddSink(uart.get());
    if (untilBreak) cpu.SetBreakAfter(s.BreakAddress, true);
    std::uint64_t end = cycles;
    if (forText) end = base.CycleAt(forTime);
    if (!cyclesText && !forText) end = base.CycleAt({kDefaultBreakLimitPs, false});
    // Ctrl-C ends a long run early: the state so far is printed, the
    // waveform so far is kept, and the exit status says it did not finish.
    driver.interrupt = &g_interrupted;
    struct sigaction sa {}, oldInt {}, oldTerm {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt);
    sigaction(SIGTERM, &sa, &oldTerm);
    const SxStop stop = driver.RunTo(end);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);

    int status = kExitOk;
    if (vcd.isOpen()) {
        std::string message;
        if (!vcd.Commit(cpu.cycles(), message)) {
            PrintError(message);
            status = kExitFailure;
        }
    }
    if (!lastNewline) std::fputc('\n', stdout);
    PrintRegisters(stdout, StateOf(cpu), s, cpu.config().bankCount);
    const bool interrupted = driver.interrupted();
    const char* how = interrupted                    ? "interrupted"
                      : stop == SxStop::Breakpoint ? "break"
                      : cpu.sleeping()             ? "sleeping"
                                                   : "limit";
    std::printf("cycles %llu  time %s  stop %s", static_cast<unsigned long long>(cpu.cycles()),
                FormatTime(base.Picoseconds(cpu.cycles())).c_str(), how);
    if (stop == SxStop::Breakpoint) std::printf(" %03X", s.BreakAddress);
    std::printf("\n");
    if (interrupted) {
        PrintError("interrupted before the end of the run");
        status = kExitFailure;
    } else if (untilBreak && stop != SxStop::Breakpoint) {
        PrintError("the BREAK address was not reached");
        status = kExitFailure;
    }
    return status;
}

}  // namespace

KORVID_COMMAND("sim",
               "FILE.src|FILE.sxh [--family 28l|52] [--cycles N | --for TIME] [--clock HZ] [--stimulus FILE] "
               "[--vcd OUT.vcd [--vcd-reg REG,...]] [--uart-out PIN:BAUD] [--until-break]",
               RunSim);

}  // namespace korvid::cli
