// Instruction-level emulator of the SX CPU for both device families.
//
// The program memory is decoded once into a table of small operations; the
// run loop dispatches on that table and handles the common instructions on
// plain RAM inline. Everything that touches a special register (indirect,
// RTCC, PC, STATUS, FSR, ports), and every rare instruction, goes through one
// general executor that is also what single steps use. Interrupt, watchdog
// and budget checks are folded into a single cycle limit of the run loop, and
// breakpoints are operations of their own in the decoded table, so the hot
// path carries no per-instruction test for either.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "family/Family.h"

namespace korvid {

// What an undriven input pin without pull-up reads.
enum class SxFloating : std::uint8_t { Low, High, Hold };

// What a chip's configuration words select for the CPU.
struct SxCpuConfig {
    int programSize = 2048;   // 512, 1024, 2048 (28 family) or 4096
    int bankCount = 8;        // 28 family: 1, 4 or 8; 52 family: 16
    bool turbo = true;        // 1 clock per instruction cycle (else 4)
    bool stackExtension = true;  // 8 stack levels and OPTION bits 7:6 (else 2)
    bool carryX = false;      // ADD/SUB take the carry in
    bool portC = true;        // 28 family: 28-pin part with port C
    bool watchdog = false;
    std::uint32_t clockHz = 50000000;  // oscillator, for the watchdog period
    bool syncInputs = false;  // input synchroniser (fuse bit 10 = 0)
    bool sleepClock = false;  // 52 family: the timers keep counting in SLEEP
    // Time from the end of a reset to the first instruction (52: by fuse);
    // applied only with `applyResetDelay` (off for quick debugging).
    std::uint32_t resetDelayUs = 18000;
    bool applyResetDelay = false;
    // Emulator choices where the chip's behaviour is not documented.
    SxFloating floatingInput = SxFloating::Low;  // an undriven input without pull-up
    bool exchange52 = true;        // 52: CMP_B and WKPND_B exchange with W at x8h/x9h and 18h/19h
    bool timerPhasePlusOne = false;  // timer phases last Rn + 1 ticks instead of Rn
    bool delayedReadBack = false;    // output pins read back through the synchroniser too
    // Wake-up detector as level XOR polarity, latching on its rising edge:
    // a write of WKED_B can then latch a pending bit by itself.
    bool miwuLevelDetector = false;
    // Comparator response time: the result follows its inputs this late.
    std::uint32_t comparatorDelayNs = 0;
};

// Reads the configuration from the fuse and extended fuse words.
SxCpuConfig SxCpuConfigFromFuses(const Family& family, std::uint16_t fuse, std::uint16_t extFuse);

enum class SxStop : std::uint8_t {
    Budget,      // the cycle budget is used up
    Breakpoint,  // the instruction at a break-after address was executed
    Trap,        // the program counter reached a halt-before address
    Sleep,       // the chip sleeps (SLEEP executed, no wake-up within the budget)
};

// The spans a span counter accepts: those inside [low, high] (outside it
// with `outside`).
struct SxSpanLimits {
    std::uint64_t low = 0, high = ~0ull;
    bool outside = false;
    bool Accepts(std::uint64_t span) const { return (span >= low && span <= high) != outside; }
};

// What a span counter measured (SxCpu::AddSpanCounter).
struct SxSpanResult {
    std::uint64_t completed = 0;  // arrivals at the end address that ended open spans
    std::uint64_t shortest = ~0ull, longest = 0;
    bool refused = false;  // the first span the limits refused: its cycles and its start
    std::uint64_t refusedSpan = 0, refusedStart = 0;
    // So many arrivals at `from` piled up before one at `to` that not every
    // span could be judged (SxCpu::kMaxSpanStarts): the limits hold unproven.
    bool undecided = false;
};

// Arrivals at a span counter's first address, `count` of them `step`
// cycles apart from `first` (SxCpuSpans.cpp).
struct SxSpanStarts {
    std::uint64_t first = 0, step = 0, count = 0;
    std::uint64_t last() const { return first + step * (count - 1); }
};

enum class SxReset : std::uint8_t { PowerOn, External, WatchdogTimeout, WakeUp };

// The state of one multi-function timer of the 52 family, as of the
// current cycle.
struct SxTimerState {
    std::uint16_t counter = 0;
    std::uint16_t r1 = 0, r2 = 0, capture = 0;
    std::uint8_t cntA = 0, cntB = 0;
    bool output = false;
};

// Told whenever the level of a port's pins may have changed, whatever
// drives them: latches, directions, pull-ups, driven inputs, the
// comparator and timer outputs, resets. `levels` is portPins(port) then;
// `cycle` the instruction cycle from which the pins hold it (the end of a
// writing instruction; for peripheral events their exact cycle). Reports
// may repeat the previous levels; an observer filters what it needs.
class SxPinObserver {
public:
    virtual ~SxPinObserver() = default;
    virtual void PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) = 0;
};

class SxCpu {
public:
    explicit SxCpu(const Family& family);

    const Family& family() const { return *family_; }
    const SxCpuConfig& config() const { return config_; }

    // Sets the configuration and performs a power-on reset.
    void Configure(const SxCpuConfig& config);

    // Loads program words (12-bit values; other bits ignored) from address 0.
    // Words beyond `count` become 0xFFF. Does not reset.
    void LoadProgram(const std::uint16_t* words, int count);
    std::uint16_t ProgramWord(int address) const { return words_[address & 0xFFF]; }

    void Reset(SxReset kind);

    // Runs until `maxCycles` instruction cycles have passed or a stop
    // condition arises. A sleeping chip lets the time pass (the watchdog
    // may wake it).
    SxStop Run(std::uint64_t maxCycles);

    // Executes one instruction. A taken skip stops on the skipped word with
    // skipPending() set; the next step passes over the annulled words. An
    // interrupt due at the boundary is entered instead, stopping at its
    // vector. Returns Sleep when the chip sleeps, else Budget.
    SxStop Step();

    // Breakpoints: the run stops after executing the instruction at a
    // break-after address; it stops before executing a halt-before address.
    void SetBreakAfter(int address, bool on);
    void SetHaltBefore(int address, bool on);
    // Clears the break-after and halt-before addresses (span counters stay).
    void ClearTraps();

    // Span counters (SxCpuSpans.cpp): instruction cycles from each arrival
    // at `from` (its instruction about to run, not annulled by a skip) to
    // the next arrival at `to`, measured as the program runs, without
    // stopping it. With from == to a span runs from one arrival to the
    // next. Further arrivals at `from` while a span is open start spans
    // that end with it: the first of them is the longest, the last the
    // shortest. Arrivals count in Run, a halt-before address's included;
    // Step does not count them (it resumes from such a halt). Counters last
    // until ClearSpanCounters; resets do not end an open span. Every span
    // is judged against the limits: where the shortest and the longest can
    // both be accepted while one between them is not (limits with a hole,
    // such as != N), the arrivals in between that could still make a
    // refused span are kept, as runs of equal steps.
    static constexpr std::size_t kMaxSpanStarts = 1u << 20;  // runs of arrivals a counter keeps at most
    int AddSpanCounter(int from, int to, SxSpanLimits limits = {});
    const SxSpanResult& spanResult(int counter) const { return spans_[static_cast<std::size_t>(counter)].result; }
    void ClearSpanCounters();

    // Stack faults, counted only while stack traps are on (a debugger's
    // choice: CALL and the returns then leave the fast path): a CALL that
    // finds every level in use (the oldest return address is lost), or a
    // return with no CALL's address left since the last reset. A run ends
    // after that instruction with Trap; stackFault() says which, and
    // stackFaultAt() the instruction's address, until the next Run or Step.
    enum class StackFault : std::uint8_t { None, Overflow, Underflow };
    void SetStackTraps(bool on);
    bool stackTraps() const { return stackTraps_; }
    StackFault stackFault() const { return stackFault_; }
    std::uint16_t stackFaultAt() const { return stackFaultAt_; }

    // External pin levels of port p (0 = RA ... 4 = RE) on the pins in
    // `driven`; undriven inputs read 1 with their pull-up on, else the
    // floating level of the configuration. Outside drive is weak: an output
    // pin keeps its own level unless its bit is in `strong`. Programs read
    // inputs through the synchroniser; port B edges latch wake-up pending
    // bits at once and may interrupt or wake.
    void SetPortInput(int port, std::uint8_t level, std::uint8_t driven = 0xFF, std::uint8_t strong = 0);
    // Level of the RTCC input pin (always synchronised; RTCC counts the
    // selected edge when clocked from its pin).
    void SetRtccPin(bool level);
    bool rtccPin() const { return (pins_[kRtccPort] & 1) != 0; }
    // Drives `edges` pulses (selected edge and back) at this instant; the
    // pin is sampled once per clock, so at most one of them is counted.
    // Returns how many edges reached RTCC's input.
    int PulseRtccPin(int edges = 1);
    // MCLR input (active low): low holds the chip in reset; on release the
    // reset delay runs, then execution starts at the reset vector.
    void SetMclr(bool level);
    bool mclr() const { return !mclrLow_; }
    // Held in reset (MCLR low or the reset delay running).
    bool inReset() const { return mclrLow_ || cycles_ < holdUntil_; }
    // Comparator input: -1 derives it from the digital levels of RB2 (+)
    // and RB1 (−); 0 or 1 says whether + is above −.
    void SetComparatorInput(int plusAbove);
    bool comparatorResult() const { return cmpResult_; }
    // Timer T1 (0) or T2 (1) of the 52 family, brought up to this cycle.
    SxTimerState timer(int index) const;
    // At most one observer of pin levels (nullptr: none). It is told the
    // levels of every port at once when set.
    void SetPinObserver(SxPinObserver* observer);
    int portCount() const { return portCount_; }

    // --- state as a debugger sees it -----------------------------------
    std::uint16_t pc() const { return pc_; }
    std::uint8_t w() const { return w_; }
    std::uint8_t status() const { return status_; }
    std::uint8_t fsr() const { return fsr_; }
    std::uint8_t mode() const { return m_; }
    std::uint8_t option() const { return option_; }
    std::uint8_t rtcc() const;
    std::uint8_t prescaler() const;
    bool inInterrupt() const { return inIsr_; }
    bool skipPending() const { return skipPending_; }
    bool sleeping() const { return sleeping_; }
    std::uint64_t cycles() const { return cycles_; }
    std::uint64_t clocks() const { return config_.turbo ? cycles_ : cycles_ * 4; }
    std::uint64_t instructions() const { return instructions_; }
    int stackDepth() const { return stackLevels_; }
    // Return address at stack level `level` (0 = top).
    std::uint16_t stackEntry(int level) const;
    // Port control registers of port p; index = MODE low nibble − 8
    // (0 CMP, 1 WKPND, 2 WKED, 3 WKEN, 4 ST, 5 LVL, 6 PLP, 7 TRIS).
    std::uint8_t portControl(int port, int index) const { return ctrl_[static_cast<unsigned>(port) % 5][index & 7]; }
    std::uint8_t portLatch(int port) const { return latch_[static_cast<unsigned>(port) % 5]; }
    // Levels on the pins now (outputs, peripherals, outside drive).
    std::uint8_t portPins(int port) const { return pins_[static_cast<unsigned>(port) % 5]; }

    // Register file by the debugger's address: 0..15 the global registers
    // (0 reads the register FSR points at), 16..255 RAM (28 family: bank ×
    // 32 + 16..31; 52 family: linear RAM). Reads have no side effects;
    // writes to 2 change the program counter's low byte only.
    std::uint8_t Peek(int address) const;
    void Poke(int address, std::uint8_t value);

    void SetPc(std::uint16_t pc);
    void SetW(std::uint8_t w) { w_ = w; }
    void SetStatus(std::uint8_t status);     // all eight bits, TO and PD too
    void SetFsr(std::uint8_t fsr);
    void SetMode(std::uint8_t m);
    void SetRtcc(std::uint8_t value);
    void SetInInterrupt(bool on) { inIsr_ = on; SchedulePeripherals(); }
    void SetSkipPending(bool on) { skipPending_ = on; }
    // Ends a SLEEP without the wake-up reset (a debugger halting a sleeping
    // chip): execution continues after the SLEEP; PD stays 0.
    void EndSleep();

    // One decoded program word (an implementation detail of the run loop).
    struct Op {
        std::uint8_t kind;
        std::uint8_t arg;
        std::uint16_t target;
    };

private:
    // Data memory locations: 0..255 banked/linear RAM, 0x100 + g the global
    // register g (0..15), kNullLoc the indirect register read through itself.
    static constexpr int kGlobalLoc = 0x100;
    static constexpr int kNullLoc = 0x110;

    void Decode(int address);
    Op DecodeWord(int address) const;
    // Span counters at `address` see an arrival at `cycle` (SxCpuSpans.cpp).
    void MarkSpans(int address, std::uint64_t cycle);
    void DecodeAll();
    void ComputeChains();
    bool IsPageOrBank(int address) const;

    void ExecuteGeneric(bool splitSkip);
    // A push (CALL) or pop (a return) as the stack traps count it.
    void CountStack(bool push);
    void Annul();
    void Skip(bool splitSkip);
    void EnterInterrupt();
    void Sleep();
    bool ServiceBoundary();
    SxStop RunFast(std::uint64_t limit);
    template <bool kTurbo, bool kCarryX>
    SxStop RunFastT(std::uint64_t limit);

    int Loc(int fr) const;
    std::uint8_t ReadLoc(int loc) const;
    void WriteLoc(int loc, std::uint8_t value);
    bool IsSpecial(int fr) const;

    void WriteOption(std::uint8_t value);
    void WritePortControl(int port);
    void UpdateMiwu(std::uint64_t cycle);
    void UpdateBankOffset();
    // Reports port p's pin levels to the observer, from `cycle` on.
    void NotifyPins(int port, std::uint64_t cycle) {
        if (pinObserver_) pinObserver_->PinsChanged(port, portPins(port), cycle);
    }

    // Pins (SxCpuPorts.cpp). Port index 5 is the RTCC pin (bit 0).
    static constexpr int kRtccPort = 5;
    void UpdatePins(int port, std::uint64_t cycle);
    void UpdateAllPins(std::uint64_t cycle);
    void UpdateComparator();
    std::uint8_t ReadPort(int port) const;
    int SyncDepth(int port) const;
    std::uint8_t SyncedPins(int port, std::uint64_t cycle) const;
    void RecordPins(int port, std::uint64_t cycle);
    void ResyncPort(int port);
    std::uint8_t WatchedPins(int port) const;
    void ProcessSyncedEdges(std::uint64_t now);
    void SyncedEdge(int port, std::uint8_t rising, std::uint8_t falling, std::uint64_t cycle);
    void FinishWake();
    void EndHold();
    std::uint64_t ResetDelayCycles() const;
    std::uint64_t ComparatorDelayCycles() const;

    // Timers and the peripheral schedule (SxCpuTimers.cpp).
    struct Timer {
        std::uint16_t counter = 0, r1 = 0, r2 = 0, capture = 0;
        std::uint8_t cntA = 0, cntB = 0;
        std::uint32_t pre = 0;       // prescaler count
        bool high = false;           // PWM phase: comparing with R2
        bool out = false;            // output level
        bool term = false;           // interrupt request term is non-zero
        std::uint64_t at = 0;        // settled up to this cycle boundary
    };
    template <class OnToggle>
    void AdvanceTicks(Timer& t, std::uint64_t n, OnToggle&& onToggle) const;
    void SettleTimer(int index, std::uint64_t now);
    void SettleTimers(std::uint64_t now);
    void TimerTick(int index, std::uint64_t cycle);
    void TimerCapture(int index, int which, std::uint64_t cycle);
    void TimerAccess(int index);
    void ResetTimers();
    void CheckTimerTerm(int index);
    std::uint64_t TimerNextEvent(int index) const;
    bool TimersRun() const;
    // Any interrupt enable set in T1CNTA or T2CNTA.
    bool TimerInterruptsEnabled() const { return timerEnables_ != 0; }
    void ServicePeripherals();
    void SchedulePeripherals();
    void RequestInterrupt(std::uint64_t at);
    void RtccPinEdge();
    void FoldRtccov() {
        if (hasTimers_) rtccov_ = Rtccov();
    }
    bool Rtccov() const;

    std::uint64_t RtccCount() const;
    void Rebase();
    void ArmRtcc();
    void Reschedule();
    std::uint64_t WatchdogDeadline() const;

    // The subroutine stack: a push drops the oldest entry when all levels
    // are in use; a pop with one level left returns the bottom entry again.
    void Push(std::uint16_t address) {
        stackTop_ = (stackTop_ + 1) & 7;
        stack_[stackTop_] = address;
        if (stackCount_ < stackLevels_) ++stackCount_;
    }
    std::uint16_t Pop() {
        const std::uint16_t v = stack_[stackTop_];
        if (stackCount_ > 1) {
            --stackCount_;
            stackTop_ = (stackTop_ - 1) & 7;
        }
        return v;
    }

    const Family* family_;
    SxCpuConfig config_;
    int pcMask_ = 0x7FF;
    // Cycles of a jump, an IREAD and the interrupt's entry in the clock
    // mode (family/InstructionSet.h), set by Configure.
    int jumpCycles_ = 3;
    int readCycles_ = 4;
    int entryCycles_ = 3;
    std::uint8_t modeMask_ = 0x0F;
    std::uint8_t fsrForce_ = 0;       // bank bits that read as 1 (PIC-size parts)
    std::uint8_t bankMask_ = 0xE0;    // FSR bits BANK writes
    int bankShift_ = 5;
    int specialCount_ = 8;            // global registers 0..n-1 are special
    int portCount_ = 3;
    bool linearRam_ = false;

    std::array<std::uint16_t, 4096> words_{};
    std::array<Op, 4096> ops_{};
    std::array<std::uint8_t, 4096> chain_{};  // words a skip of this address annuls
    // Trap bits of a program address.
    enum TrapBits : std::uint8_t { kTrapBreakAfter = 1, kTrapHaltBefore = 2, kTrapSpan = 4 };
    std::array<std::uint8_t, 4096> trap_{};   // TrapBits

    struct SpanCounter {
        std::uint16_t from = 0, to = 0;
        SxSpanLimits limits;
        bool open = false;
        std::uint64_t earliest = 0, latest = 0;  // first and last arrival at `from` since the last span ended
        // Arrivals after `earliest` and before `latest`, when the limits
        // have a hole, oldest first from `betweenHead`.
        std::vector<SxSpanStarts> between;
        std::size_t betweenHead = 0;
        bool keepBetween = false;  // the limits have a hole, and no span was refused yet
        SxSpanResult result;
    };
    std::vector<SpanCounter> spans_;

    // data_[0..255] banked RAM, data_[0x100..0x10F] global registers (plain
    // RAM ones; the special ones live in their own fields), data_[0x110] a
    // sink for writes that go nowhere.
    std::array<std::uint8_t, 0x111> data_{};
    int bankOffset_ = 0;   // banked fr 10h..1Fh -> data_[fr + bankOffset_]

    std::uint16_t pc_ = 0;
    std::uint8_t w_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t fsr_ = 0;
    std::uint8_t m_ = 0x0F;
    std::uint8_t option_ = 0xFF;
    std::array<std::uint8_t, 5> latch_{};
    std::array<std::uint8_t, 6> extLevel_{};
    std::array<std::uint8_t, 6> extDriven_{};
    std::array<std::uint8_t, 6> extStrong_{};
    std::array<std::uint8_t, 6> pins_{};      // levels on the pins (index 5: RTCC pin)
    std::array<std::uint8_t, 5> outMask_{};   // pins driven by the chip
    std::array<std::array<std::uint8_t, 8>, 5> ctrl_{};
    std::uint8_t lastPinsB_ = 0;
    std::uint8_t lastDetect_ = 0;   // the level detector's output (pins XOR WKED_B)
    bool miwuActive_ = false;
    bool wakePending_ = false;   // a wake-up edge arrived while asleep
    std::uint64_t irqAt_ = ~0ull;  // a requested interrupt is due at this cycle
    bool cmpResult_ = false;
    bool cmpTarget_ = false;          // what the inputs say; the result follows after the delay
    std::uint64_t cmpDue_ = ~0ull;    // the result takes cmpTarget_ then
    int cmpInput_ = -1;
    bool mclrLow_ = false;
    std::uint64_t holdUntil_ = 0;   // reset delay: no instructions before this cycle
    std::uint64_t rtccPulseNext_ = 0;  // PulseRtccPin: earliest clock of the next counted edge

    // Pin level history for the synchroniser: the last changes per port
    // with the cycle they happened in, and how far the edge detectors of
    // the synchronised inputs (captures, event clocks, RTCC pin) got.
    static constexpr int kLogSize = 16;
    struct PinLog {
        std::array<std::uint64_t, kLogSize> at{};
        std::array<std::uint8_t, kLogSize> level{};
        int newest = 0;
        std::uint64_t seenAt = 0;     // entries up to here were looked at
        std::uint8_t seenLevel = 0;
        std::uint64_t due = ~0ull;    // a watched change becomes visible then
    };
    std::array<PinLog, 6> log_{};

    std::array<Timer, 2> timers_{};
    bool rtccov_ = false;
    bool hasTimers_ = false;            // the 52 family's T1, T2 and RTCCOV
    std::uint8_t timerEnables_ = 0;     // interrupt enables of both timers
    std::uint64_t periphDue_ = ~0ull;  // earliest cycle a peripheral needs a look

    std::array<std::uint16_t, 8> stack_{};
    bool stackTraps_ = false;
    int callDepth_ = 0;  // with stack traps: CALLs not returned from since the last reset
    StackFault stackFault_ = StackFault::None;
    std::uint16_t stackFaultAt_ = 0;
    int stackTop_ = 0;
    int stackCount_ = 8;
    int stackLevels_ = 8;

    bool inIsr_ = false;
    bool skipPending_ = false;
    bool sleeping_ = false;
    std::uint16_t savedPc_ = 0;
    std::uint8_t savedW_ = 0, savedStatus_ = 0, savedFsr_ = 0, savedM_ = 0;

    std::uint64_t cycles_ = 0;
    std::uint64_t instructions_ = 0;
    // RTCC with its prescaler as one counter: count = rtccBase_ + cycles
    // since rtccBaseCycle_ while counting; RTCC = count >> shift (8 bits).
    std::uint64_t rtccBase_ = 0;
    std::uint64_t rtccBaseCycle_ = 0;
    std::uint64_t rtccIrqAt_ = 0;    // cycle of the next roll-over (when armed)
    std::uint64_t wdtStart_ = 0;
    std::uint64_t nextEvent_ = ~0ull;  // earliest cycle something needs a look
    bool rtccArmed_ = false;           // a roll-over at rtccIrqAt_ will interrupt
    bool exitFast_ = false;            // generic code asks the run loop to stop
    int pcLoad_ = -1;                  // new PC written by the current instruction
    // RTCC and OPTION writes of an instruction take effect when it ends.
    int pendingRtcc_ = -1;
    int pendingOption_ = -1;
    SxPinObserver* pinObserver_ = nullptr;
    // Cycles from the start of the executing instruction to its port write
    // (1 inside an instruction; 0 for a debugger's Poke between them).
    std::uint8_t writeLag_ = 1;
};

}  // namespace korvid
