// Firmware tests: a stimulus file with statements that name the program
// under test, how long it runs, and what must hold on its pins, registers,
// serial output and timing:
//
//   source ../button_led.src         the program (.src assembled, .sxh loaded)
//   family 28l | 52                  dialect extended      freq 4_000_000
//   run for TIME | run until break|LABEL [within TIME]
//   expect at TIME|LABEL[#N]|end  SUBJECT OP VALUE
//   expect uart PIN BAUD == | contains "TEXT"
//   expect edges PIN OP N [from TIME] [until TIME]
//   expect period PIN OP TIME [±TOL] [from TIME] [until TIME]
//   expect duty PIN OP N% [±TOL%] [from TIME] [until TIME]
//   expect cycles LABEL..LABEL OP N
//   expect never LABEL | expect reached LABEL
//
// Parsing happens in two steps: the statements are read first (the
// program's name, family and clock come from them), then, once the program
// is assembled, names are resolved against the chip and its symbols. The
// run rides on the simulator's pin reports and halt addresses; nothing is
// checked per instruction.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "family/Registers.h"
#include "sim/SimDriver.h"
#include "sim/Stimulus.h"
#include "sim/SxCpu.h"

namespace korvid {

enum class CompareOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge };
const char* CompareText(CompareOp op);
bool Compare(std::uint64_t value, CompareOp op, std::uint64_t expected);
// The values `value OP expected` accepts, as the emulator's span counters take them.
SxSpanLimits SpanLimitsOf(CompareOp op, std::uint64_t expected);

// A name in the file with its column, resolved later.
struct TestName {
    std::string text;
    int column = 0;
};

// What a value check reads.
enum class SubjectKind : std::uint8_t { Pin, Port, Register };

struct FirmwareCheck {
    // StaticCycles holds a span's static bound (the program's control
    // flow), not a run's: the caller judges it, RunFirmwareTest leaves it.
    enum class Kind : std::uint8_t { Value, Uart, Edges, Period, Duty, Cycles, Never, Reached, StaticCycles };
    enum class When : std::uint8_t { Time, Label, End };
    Kind kind = Kind::Value;
    int line = 0, column = 0;
    std::string text;  // as messages show it: "RB.0 == 1 at 3ms"
    CompareOp op = CompareOp::Eq;

    // Value: subject, op, value, when.
    When when = When::End;
    StimulusTime at;
    TestName label;          // at LABEL#N; never/reached; the first label of cycles
    std::uint32_t occurrence = 1;
    TestName subject;        // RB.0, RB, count, W, STATUS.2, 0Ch
    std::uint64_t value = 0;

    // Pin checks (uart, edges, period, duty).
    TestName pin;
    std::uint32_t baud = 0;
    bool contains = false;
    std::string bytes;
    StimulusTime from, until;
    bool hasFrom = false, hasUntil = false;
    std::uint64_t expectPs = 0;    // period
    double expectPercent = 0;      // duty
    double tolerance = 0;          // period: a fraction of it, or ps when tolerancePs; duty: percentage points
    bool tolerancePs = false;

    TestName label2;  // cycles, static cycles: the second label

    // Filled in by ResolveFirmwareTest.
    SubjectKind subjectKind = SubjectKind::Register;
    int port = 0, bit = -1;  // pins; a register bit (-1: the whole value)
    int address = 0;         // registers (with kRegisterW, kRegisterM), labels
    int address2 = 0;
};

struct FirmwareTest {
    TestName source;  // as written, relative to the test file
    int sourceLine = 0;
    std::string family;
    bool extendedDialect = false;
    std::uint32_t freqHz = 0;  // 0: the source's
    enum class Run : std::uint8_t { None, For, UntilBreak, UntilLabel } run = Run::None;
    int runLine = 0, runColumn = 0;
    StimulusTime runTime;       // for; within
    bool hasWithin = false;
    TestName runLabel;
    int runAddress = -1;
    std::vector<FirmwareCheck> checks;
    Stimulus stimulus;
};

// Reads the statements of a test file; every error (the first of a line)
// with its position. Stimulus statements are only checked for their form
// here (any pin); ResolveFirmwareTest checks them against the chip.
// When `stop` becomes non-zero it ends early (false, no error added).
bool ParseFirmwareTest(const std::string& text, FirmwareTest& out, std::vector<StimulusError>& errors,
                       const volatile std::sig_atomic_t* stop = nullptr);

// Names of the program: a register's debugger address (0..255,
// kRegisterW, kRegisterM) or a label's program address; -1 when unknown.
struct ProgramNames {
    std::function<int(const std::string& name)> registerAddress;
    std::function<int(const std::string& name)> labelAddress;
    int breakAddress = -1;
    int programSize = 2048;
};

// Resolves pins, registers and labels, and parses the stimulus statements
// against the chip's pins and clock. False with every error, or with none
// when `stop` ended it.
bool ResolveFirmwareTest(const std::string& text, FirmwareTest& test, const StimulusPins& pins,
                         const ProgramNames& names, SimTimeBase base, std::vector<StimulusError>& errors,
                         const volatile std::sig_atomic_t* stop = nullptr);

struct CheckOutcome {
    bool passed = false;
    std::string message;  // of a failure: "expected RB.0 == 1 at 3ms, was 0"
};

struct FirmwareTestOutcome {
    std::vector<CheckOutcome> checks;  // in the order of test.checks
    CheckOutcome run;                  // a run until a label that never came fails here
    std::uint64_t cycles = 0;          // simulated
    std::uint64_t picoseconds = 0;
    bool interrupted = false;          // a stop signal ended the run early
    bool passed() const;
};

// Runs the program already loaded and reset in `cpu` as the test says.
// `extraSinks` (a waveform) see the pins as well. Once `stop` is non-zero
// (a signal handler's flag) the run ends within a slice, interrupted.
FirmwareTestOutcome RunFirmwareTest(SxCpu& cpu, const FirmwareTest& test, SimTimeBase base,
                                    const std::vector<PinSink*>& extraSinks = {},
                                    const volatile std::sig_atomic_t* stop = nullptr);

// TEXT in quotes with the escapes of stimulus strings: "Hi\n".
std::string QuoteText(const std::string& text);

// "3ms", "1.5us", "250ns", "120c": a time as test files write it.
std::string FormatTestTime(std::uint64_t picoseconds);

}  // namespace korvid
