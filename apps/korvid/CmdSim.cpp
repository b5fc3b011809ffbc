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
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "apps/common/SimOptions.h"
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "apps/korvid/RegisterDump.h"
#include "core/asm/Assembler.h"
#include "core/image/FileIo.h"
#include "family/Registers.h"
#include "sim/ChipSerialPort.h"
#include "sim/GtkwSave.h"
#include "apps/common/PtyBridge.h"
#include "platform/Path.h"
#include "sim/SimSetup.h"

namespace korvid::cli {
namespace {

constexpr const char* kCommand = "sim";
// Without --cycles or --for, --until-break gives up after this much time.
constexpr std::uint64_t kDefaultBreakLimitPs = 10'000'000'000'000ull;  // 10 s

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

// One run of the command: what the options ask for, the program and its
// CPU, the stimulus and the outputs, each prepared by a step of its own
// (the shared set-up of sim/SimSetup), then the run and its report.
class SimRun {
public:
    // Usage errors: the exit status, or kExitOk to go on.
    int ReadOptions(const Options& options);
    bool LoadProgram();
    bool CheckProgram();
    bool LoadStimulus();
    bool OpenOutputs();
    void Run();
    int Report();

private:
    bool Fail(const SimProblem& problem);

    const Family* family_ = nullptr;
    std::string program_;
    bool untilBreak_ = false;
    std::optional<std::uint64_t> cycles_;
    std::optional<StimulusTime> for_;
    std::uint64_t clockHz_ = 0;
    std::optional<UartPin> uartPin_;
    std::optional<std::string> vcdRegs_;
    std::optional<std::string> gtkw_;
    std::optional<SerialPins> serialPins_;
    std::optional<std::string> serialLink_;
    SimFiles files_;

    std::unique_ptr<ProgramSession> session_;
    SettingsRequest choice_;  // --family and --dialect as given
    std::unique_ptr<SxCpu> cpu_;
    SimTimeBase base_;
    StimulusPins pins_;
    std::vector<std::string> regNames_;
    std::vector<int> regAddresses_;
    Stimulus stimulus_;
    VcdWriter vcd_;
    std::unique_ptr<UartDecoder> uart_;
    std::unique_ptr<ChipSerialPort> serial_;
    bool lastNewline_ = true;
    SxStop stop_ = SxStop::Budget;
    bool stopped_ = false;  // by a stop signal or the waveform
    bool serialFailed_ = false;
};

int SimRun::ReadOptions(const Options& options) {
    family_ = FamilyOption(options);
    choice_ = ProgramChoice(options);
    program_ = options.Operands()[0];
    untilBreak_ = options.Flag("--until-break");
    const auto cyclesText = options.Value("--cycles");
    const auto forText = options.Value("--for");
    if (cyclesText && forText) return UsageError(kCommand, "give --cycles or --for, not both");
    // With a serial port the chip may also run until it is stopped (Ctrl-C).
    const auto serialText = options.Value("--serial");
    serialLink_ = options.Value("--serial-link");
    if (serialText) {
        SerialPins pins;
        if (!ParseSerialPins(*serialText, pins))
            return UsageError(kCommand, "--serial takes RXPIN,TXPIN:BAUD (RB.7,RB.6:9600)");
        serialPins_ = pins;
    }
    if (serialLink_ && !serialText) return UsageError(kCommand, "--serial-link needs --serial");
    if (!cyclesText && !forText && !untilBreak_ && !serialText)
        return UsageError(kCommand, "give --cycles N, --for TIME or --until-break");
    if (cyclesText) {
        std::uint64_t cycles = 0;
        if (!ParseCount(*cyclesText, cycles, ~0ull >> 2))
            return UsageError(kCommand, "--cycles takes a number of instruction cycles");
        cycles_ = cycles;
    }
    if (forText) {
        std::string message;
        StimulusTime time;
        if (!ParseStimulusTime(*forText, time, message)) return UsageError(kCommand, "--for: " + message);
        for_ = time;
    }
    if (auto c = options.Value("--clock"); c && (!ParseCount(*c, clockHz_, 4'000'000'000ull) || clockHz_ == 0))
        return UsageError(kCommand, "--clock takes a frequency in Hz (1 to 4000000000)");
    if (auto u = options.Value("--uart-out")) {
        UartPin pin;
        if (!ParseUartPin(*u, pin)) return UsageError(kCommand, "--uart-out takes PIN:BAUD (RB.6:9600)");
        uartPin_ = pin;
    }
    const auto stimulus = options.Value("--stimulus");
    if (stimulus && *stimulus == std::string(kStdStreamName) && program_ == std::string(kStdStreamName))
        return UsageError(kCommand, "the program and the stimulus cannot both come from standard input");
    vcdRegs_ = options.Value("--vcd-reg");
    if (vcdRegs_ && !options.Value("--vcd")) return UsageError(kCommand, "--vcd-reg needs --vcd");
    gtkw_ = options.Value("--gtkw");
    if (gtkw_ && !options.Value("--vcd")) return UsageError(kCommand, "--gtkw needs --vcd");
    if (gtkw_ && *gtkw_ == std::string(kStdStreamName)) return UsageError(kCommand, "--gtkw takes a file name");
    std::string message;
    if (!ReadSimFiles(options, {program_}, files_, message)) return UsageError(kCommand, message);
    if (gtkw_) {
        std::vector<std::string> inputs{program_};
        if (files_.stimulus) inputs.push_back(*files_.stimulus);
        if (!OutputsAreDistinct(kCommand, inputs, {{"--vcd", *files_.vcd}, {"--gtkw", *gtkw_}})) return kExitUsage;
    }
    return kExitOk;
}

bool SimRun::Fail(const SimProblem& problem) {
    for (const std::string& line : problem.located) std::fprintf(stderr, "%s\n", line.c_str());
    if (!problem.message.empty()) PrintError(problem.message);
    return false;
}

// The program (assembled or loaded) and the CPU that runs it.
bool SimRun::LoadProgram() {
    session_ = std::make_unique<ProgramSession>();
    if (!LoadProgramImage(*session_, choice_, program_)) return false;
    family_ = &session_->family();
    const AssemblyState& s = session_->state();
    std::uint64_t clockHz = clockHz_ ? clockHz_ : s.ClockFrequency;
    if (clockHz == 0) clockHz = kDefaultClockFrequency;
    cpu_ = std::make_unique<SxCpu>(*family_);
    LoadCpuFromImage(*cpu_, *family_, s.ChipImage, static_cast<std::uint32_t>(clockHz));
    base_ = TimeBaseOf(*cpu_);
    pins_ = StimulusPins::Of(*family_, cpu_->portCount());
    return CheckProgram();
}

// What the options ask of the program: a BREAK, the serial pin, the
// registers shown in the waveform as 8-bit vectors.
bool SimRun::CheckProgram() {
    const AssemblyState& s = session_->state();
    if (untilBreak_ && s.BreakAddress == kNoBreak) {
        PrintError(DisplayName(program_) + ": --until-break: the program has no BREAK address");
        return false;
    }
    if (serialPins_) {
        const SerialPins& p = *serialPins_;
        const bool rx = pins_.bonded[p.rxPort] & (1u << p.rxBit), tx = pins_.bonded[p.txPort] & (1u << p.txBit);
        if (!rx || !tx) {
            PrintError("--serial: the chip has no pin " + (rx ? PortName(p.txPort) + "." + std::to_string(p.txBit)
                                                              : PortName(p.rxPort) + "." + std::to_string(p.rxBit)));
            return false;
        }
    }
    if (uartPin_ && !(pins_.bonded[uartPin_->port] & (1u << uartPin_->bit))) {
        PrintError("--uart-out: the chip has no pin " + uartPin_->name);
        return false;
    }
    if (vcdRegs_) {
        std::string list = *vcdRegs_ + ",";
        for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
            const std::string name = list.substr(at, comma - at);
            const auto address = name.empty() ? std::optional<long>{} : FindRegister(s, name);
            if (!address || !IsRegisterNumber(*address)) {
                PrintError("--vcd-reg: '" + name + "' is not a register (W, RTCC, STATUS, FSR, RA..RE, a symbol or a hex address)");
                return false;
            }
            regNames_.push_back(name);
            regAddresses_.push_back(static_cast<int>(*address));
        }
    }
    return true;
}

// The stimulus: every error of the file, and nothing runs.
bool SimRun::LoadStimulus() {
    SimProblem problem;
    if (files_.stimulus &&
        !LoadStimulusFile(*files_.stimulus, pins_, base_, stimulus_, problem, StopSignals::Flag()))
        return Fail(problem);
    return true;
}

// Sinks, opened before anything runs.
bool SimRun::OpenOutputs() {
    if (files_.vcd) {
        SimProblem problem;
        if (!OpenWaveform(vcd_, *files_.vcd, *family_, pins_, base_, files_.vcdLimit, regNames_, problem))
            return Fail(problem);
        vcd_.stopFlag = StopSignals::Flag();
    }
    if (uartPin_) {
        uart_ = MakeUartDecoder(*uartPin_, base_);
        uart_->onByte = [this](std::uint8_t b) {
            std::fputc(b, stdout);
            std::fflush(stdout);
            lastNewline_ = b == '\n';
        };
        uart_->onFramingError = [this](std::uint64_t cycle) {
            std::fflush(stdout);
            std::fprintf(stderr, "korvid: uart %s: framing error at %s\n", uartPin_->name.c_str(),
                         FormatTime(base_.Picoseconds(cycle)).c_str());
        };
    }
    return true;
}

// Ctrl-C (or another stop signal, or the waveform's limit) ends a long run
// early: the state so far is printed, the waveform so far is kept, and the
// exit status says it did not finish.
void SimRun::Run() {
    SimDriver driver(*cpu_, std::move(stimulus_), base_, StopSignals::Flag());
    for (int address : regAddresses_) driver.WatchRegister(address);
    if (vcd_.isOpen()) driver.AddSink(&vcd_);
    if (uart_) driver.AddSink(uart_.get());
    if (untilBreak_) cpu_->SetBreakAfter(session_->state().BreakAddress, true);
    std::uint64_t end = cycles_.value_or(0);
    if (for_) end = base_.CycleAt(*for_);
    if (!cycles_ && !for_)
        end = serialPins_ && !untilBreak_ ? ~0ull >> 2 : base_.CycleAt({kDefaultBreakLimitPs, false});
    driver.interrupt = StopSignals::Flag();
    // The chip's serial port: the terminal's path first, alone on its line.
    if (serialPins_) {
        serial_ = std::make_unique<ChipSerialPort>(*serialPins_, base_);
        std::string reason;
        if (!serial_->Open(&reason) || (serialLink_ && !ClaimLink(*serialLink_, serial_->SlavePath(), &reason))) {
            PrintError("--serial: " + reason);
            serialFailed_ = true;
            return;
        }
        serial_->Attach(driver);
        std::printf("%s\n", serial_->SlavePath().c_str());
        std::fflush(stdout);
    }
    stop_ = serial_ ? serial_->RunPaced(driver, *cpu_, end, StopSignals::Flag()) : driver.RunTo(end);
    if (serial_ && serialLink_) ReleaseLink(*serialLink_, serial_->SlavePath());
    stopped_ = driver.interrupted();
}

int SimRun::Report() {
    const SxCpu& cpu = *cpu_;
    const AssemblyState& s = session_->state();
    if (serialFailed_) return kExitFailure;  // nothing ran
    int status = kExitOk;
    SimProblem waveform;
    const bool waveformWhole = FinishWaveform(vcd_, cpu.cycles(), waveform);
    if (!waveformWhole) {
        status = kExitFailure;
    } else if (gtkw_) {
        const std::string shown = AbsolutePathOf(*files_.vcd);
        if (!WriteOutput(*gtkw_, GtkwSaveFile(shown, ChipScopeName(*family_), pins_, regNames_)))
            status = kExitFailure;
    }
    if (!lastNewline_) std::fputc('\n', stdout);
    PrintRegisters(stdout, StateOf(cpu), s, cpu.config().bankCount);
    // The waveform raises the stop flag too when it reaches its limit or
    // cannot be written.
    const bool waveformStop = vcd_.limitReached() || vcd_.failed();
    const bool interrupted = stopped_ && !waveformStop;
    const char* how = waveformStop                    ? "waveform"
                      : interrupted                   ? "interrupted"
                      : stop_ == SxStop::Breakpoint ? "break"
                      : cpu.sleeping()              ? "sleeping"
                                                    : "limit";
    std::printf("cycles %llu  time %s  stop %s", static_cast<unsigned long long>(cpu.cycles()),
                FormatTime(base_.Picoseconds(cpu.cycles())).c_str(), how);
    if (stop_ == SxStop::Breakpoint) std::printf(" %03X", s.BreakAddress);
    std::printf("\n");
    std::fflush(stdout);
    if (serial_ && serial_->dropped > 0) PrintError("--serial: " + serial_->DroppedNote());
    // A serial session without a time limit ends when it is stopped.
    const bool sessionEnded = interrupted && serial_ && !cycles_ && !for_ && !untilBreak_;
    if (!waveformWhole) {
        Fail(waveform);
    } else if (interrupted && !sessionEnded) {
        PrintError("interrupted before the end of the run");
        status = kExitFailure;
    } else if (untilBreak_ && stop_ != SxStop::Breakpoint) {
        PrintError("the BREAK address was not reached");
        status = kExitFailure;
    }
    return status;
}

}  // namespace

int RunSim(const Options& options) {
    SimRun run;
    if (const int status = run.ReadOptions(options); status != kExitOk) return status;
    StopSignals signals;
    if (!run.LoadProgram() || !run.LoadStimulus() || !run.OpenOutputs()) return kExitFailure;
    run.Run();
    return run.Report();
}

}  // namespace korvid::cli
