// Decoding of the program memory and the run loop of the SX emulator.
//
// Every program word is decoded once into an Op. The common instructions on
// plain RAM (global or banked registers that are not special) and the jumps,
// calls, returns and literal forms run inline here; all others fall back to
// the general executor. The loop keeps PC, W, STATUS and the cycle count in
// locals and checks only one cycle limit per instruction.
#include "sim/SxCpu.h"

#include <algorithm>
#include <array>

#include "family/InstructionSet.h"

namespace korvid {

namespace {

// Fast operations. The fr forms come in pairs: the global-register form
// (location in Op::target) and the banked form (offset in the bank in
// Op::target); the decoder adds 1 for the banked one.
#define KORVID_FR_OPS(X)                                                            \
    X(MovWFr) X(MovFrW) X(AddWFr) X(AddFrW) X(SubFrW) X(MovWFrMinusW)               \
    X(AndWFr) X(AndFrW) X(OrWFr) X(OrFrW) X(XorWFr) X(XorFrW)                       \
    X(ClrFr) X(IncFr) X(DecFr) X(IncSz) X(DecSz) X(MovSzInc) X(MovSzDec)            \
    X(MovWInc) X(MovWDec) X(TestFr) X(NotFr) X(MovWNot) X(RlFr) X(RrFr) X(MovWRl)   \
    X(MovWRr) X(SwapFr) X(MovWSwap) X(Setb) X(Clrb) X(Sb) X(Snb)

#define KORVID_PAIR(name) k##name, k##name##B,
enum Kind : std::uint8_t {
    kGeneric,
    kNop,
    kMovWLit, kAndWLit, kOrWLit, kXorWLit, kClrW,
    kJmp, kCall, kRet, kRetW, kPage, kBank,
    kSbStatus, kSnbStatus, kSetbStatus, kClrbStatus,
    KORVID_FR_OPS(KORVID_PAIR)
    kBreakAfter, kHaltBefore,
    kSpanMark,  // span counters watch this address: count, then run the word generically
};
#undef KORVID_PAIR

// How the run loop executes each operation of the instruction set: its
// inline kind (kGeneric: the general executor), and for the bit operations
// the kind used on STATUS with the bits it may take there (tests of any
// bit; changes of C, DC and Z only, as TO and PD are read-only and the page
// bits go the general way).
struct FastForm {
    Operation operation;
    Kind kind;
    Kind statusKind = kGeneric;
    std::uint8_t statusBits = 0;
};
constexpr FastForm kFastForms[] = {
    {Operation::Nop, kNop}, {Operation::Ret, kRet}, {Operation::Page, kPage}, {Operation::Bank, kBank},
    {Operation::MovFrW, kMovFrW}, {Operation::ClrW, kClrW},
    {Operation::ClrFr, kClrFr}, {Operation::MovWFrMinusW, kMovWFrMinusW}, {Operation::SubFrW, kSubFrW},
    {Operation::MovWDec, kMovWDec}, {Operation::DecFr, kDecFr}, {Operation::OrWFr, kOrWFr},
    {Operation::OrFrW, kOrFrW}, {Operation::AndWFr, kAndWFr}, {Operation::AndFrW, kAndFrW},
    {Operation::XorWFr, kXorWFr}, {Operation::XorFrW, kXorFrW}, {Operation::AddWFr, kAddWFr},
    {Operation::AddFrW, kAddFrW}, {Operation::MovWFr, kMovWFr}, {Operation::TestFr, kTestFr},
    {Operation::MovWNot, kMovWNot}, {Operation::NotFr, kNotFr}, {Operation::MovWInc, kMovWInc},
    {Operation::IncFr, kIncFr}, {Operation::MovSzDec, kMovSzDec}, {Operation::DecSz, kDecSz},
    {Operation::MovWRr, kMovWRr}, {Operation::RrFr, kRrFr}, {Operation::MovWRl, kMovWRl},
    {Operation::RlFr, kRlFr}, {Operation::MovWSwap, kMovWSwap}, {Operation::SwapFr, kSwapFr},
    {Operation::MovSzInc, kMovSzInc}, {Operation::IncSz, kIncSz},
    {Operation::Clrb, kClrb, kClrbStatus, 0x07}, {Operation::Setb, kSetb, kSetbStatus, 0x07},
    {Operation::Snb, kSnb, kSnbStatus, 0xFF}, {Operation::Sb, kSb, kSbStatus, 0xFF},
    {Operation::RetW, kRetW}, {Operation::Call, kCall}, {Operation::Jmp, kJmp},
    {Operation::MovWLit, kMovWLit}, {Operation::OrWLit, kOrWLit}, {Operation::AndWLit, kAndWLit},
    {Operation::XorWLit, kXorWLit},
};

// kFastForms by operation; the operations it leaves out run generically.
using FastFormTable = std::array<FastForm, kOperationCount>;
constexpr FastFormTable BuildFastForms() {
    FastFormTable table{};
    for (int i = 0; i < kOperationCount; ++i) table[i] = {static_cast<Operation>(i), kGeneric};
    for (const FastForm& form : kFastForms) table[static_cast<int>(form.operation)] = form;
    return table;
}
constexpr FastFormTable kFastFormOf = BuildFastForms();

constexpr std::uint8_t kC = 0x01, kDC = 0x02, kZ = 0x04;

}  // namespace

namespace {
// A plain-RAM fr operation: a global register by its location, or a banked
// one by its offset within the bank.
SxCpu::Op FrOp(Kind kind, int fr) {
    if (fr >= 16) return {static_cast<std::uint8_t>(kind + 1), 0, static_cast<std::uint16_t>(fr & 0x0F)};
    return {kind, 0, static_cast<std::uint16_t>(0x100 + fr)};
}
}  // namespace

bool SxCpu::IsPageOrBank(int address) const {
    const int word = words_[address & pcMask_];
    return word >= 0x010 && word < 0x020;
}

void SxCpu::ComputeChains() {
    // A skip annuls the next word and, while an annulled word is PAGE or
    // BANK, the word after it as well.
    const int size = config_.programSize;
    const int cap = std::min(size, 255);
    for (int a = 0; a < size; ++a) {
        int n = 1;
        while (n < cap && IsPageOrBank(a + n - 1)) ++n;
        chain_[a] = static_cast<std::uint8_t>(n);
    }
}

SxCpu::Op SxCpu::DecodeWord(int address) const {
    const int word = words_[address];
    Op op{kGeneric, 0, 0};
    const InstructionPattern& pattern = MatchInstruction(static_cast<std::uint16_t>(word), address);
    const FastForm& form = kFastFormOf[static_cast<int>(pattern.operation)];
    const int fr = static_cast<int>(RegisterField(static_cast<unsigned>(word)));
    switch (pattern.operand) {
        case Operand::None: op.kind = form.kind; break;
        case Operand::Register:
            if (form.kind != kGeneric && !IsSpecial(fr)) op = FrOp(form.kind, fr);
            break;
        case Operand::RegisterBit: {
            const std::uint8_t mask = static_cast<std::uint8_t>(1 << BitField(static_cast<unsigned>(word)));
            if (!IsSpecial(fr)) {
                op = FrOp(form.kind, fr);
                op.arg = mask;
            } else if (fr == 3 && (mask & form.statusBits)) {
                op = {form.statusKind, mask, 0};
            }
            break;
        }
        case Operand::Literal8:
        case Operand::Address8: op = {form.kind, static_cast<std::uint8_t>(word), 0}; break;
        case Operand::Address9: op = {form.kind, 0, static_cast<std::uint16_t>(word & 0x1FF)}; break;
        case Operand::Page: op = {form.kind, static_cast<std::uint8_t>((word & 7) << 5), 0}; break;
        case Operand::Bank: op = {form.kind, static_cast<std::uint8_t>((word & 7) << bankShift_), 0}; break;
        case Operand::Literal4: break;  // MODE: the general executor
    }
    // With stack traps the general executor counts CALLs and returns.
    if (stackTraps_ && (op.kind == kCall || op.kind == kRet || op.kind == kRetW)) op = {kGeneric, 0, 0};
    return op;
}

void SxCpu::Decode(int address) {
    const Op plain = DecodeWord(address);
    const std::uint8_t trap = trap_[address];
    if (trap & kTrapHaltBefore) {
        ops_[address] = {kHaltBefore, 0, 0};
    } else if (trap & kTrapBreakAfter) {
        ops_[address] = {kBreakAfter, 0, 0};
    } else if (trap & kTrapSpan) {
        ops_[address] = {kSpanMark, 0, 0};
    } else {
        ops_[address] = plain;
    }
}

void SxCpu::DecodeAll() {
    for (int a = 0; a < 4096; ++a) Decode(a);
    ComputeChains();
}

void SxCpu::SetBreakAfter(int address, bool on) {
    address &= 0xFFF;
    trap_[address] = static_cast<std::uint8_t>(on ? (trap_[address] | kTrapBreakAfter) : (trap_[address] & ~kTrapBreakAfter));
    Decode(address);
}

void SxCpu::SetHaltBefore(int address, bool on) {
    address &= 0xFFF;
    trap_[address] = static_cast<std::uint8_t>(on ? (trap_[address] | kTrapHaltBefore) : (trap_[address] & ~kTrapHaltBefore));
    Decode(address);
}

void SxCpu::ClearTraps() {
    for (std::uint8_t& trap : trap_) trap &= kTrapSpan;
    DecodeAll();
}

void SxCpu::SetStackTraps(bool on) {
    stackTraps_ = on;
    DecodeAll();
}

void SxCpu::CountStack(bool push) {
    if (push ? callDepth_ == stackLevels_ : callDepth_ == 0) {
        stackFault_ = push ? StackFault::Overflow : StackFault::Underflow;
        stackFaultAt_ = pc_;
        exitFast_ = true;
        return;
    }
    callDepth_ += push ? 1 : -1;
}

SxStop SxCpu::Step() {
    stackFault_ = StackFault::None;
    if (cycles_ >= periphDue_) ServicePeripherals();
    if (inReset()) {
        // Held by MCLR: nothing happens. The reset delay: it passes.
        if (mclrLow_) return SxStop::Budget;
        cycles_ = holdUntil_;
        EndHold();
        return SxStop::Budget;
    }
    if (sleeping_) return SxStop::Sleep;
    if (skipPending_) {
        Annul();
    } else if (!ServiceBoundary()) {
        ExecuteGeneric(true);
    }
    // Events at the boundary just reached are visible there, as after Run.
    if (cycles_ >= periphDue_) ServicePeripherals();
    return sleeping_ ? SxStop::Sleep : SxStop::Budget;
}

SxStop SxCpu::Run(std::uint64_t maxCycles) {
    stackFault_ = StackFault::None;
    const std::uint64_t end = (maxCycles > ~0ull - cycles_) ? ~0ull : cycles_ + maxCycles;
    for (;;) {
        if (cycles_ >= periphDue_) ServicePeripherals();
        if (inReset()) {
            // Held in reset: time passes, no instructions run.
            cycles_ = std::max(cycles_, mclrLow_ ? end : std::min(end, holdUntil_));
            if (inReset()) return SxStop::Budget;
            EndHold();
            continue;
        }
        if (sleeping_) {
            // Time passes while asleep; the watchdog, a wake-up edge or a
            // peripheral event (timers with the sleep clock) may end the wait.
            std::uint64_t until = std::min(end, periphDue_);
            if (config_.watchdog) until = std::min(until, WatchdogDeadline());
            cycles_ = std::max(cycles_, until);
            if (config_.watchdog && cycles_ >= WatchdogDeadline()) {
                Reset(SxReset::WatchdogTimeout);
                continue;
            }
            if (cycles_ >= end) return SxStop::Sleep;
            continue;
        }
        if (cycles_ >= end) return SxStop::Budget;
        if (skipPending_) {
            Annul();
            continue;
        }
        if (ServiceBoundary()) continue;
        const std::uint64_t limit = std::max(std::min(end, nextEvent_), cycles_ + 1);
        exitFast_ = false;
        const SxStop stop = RunFast(limit);
        if (stop != SxStop::Budget) return stop;
    }
}

SxStop SxCpu::RunFast(std::uint64_t limit) {
    if (config_.turbo) return config_.carryX ? RunFastT<true, true>(limit) : RunFastT<true, false>(limit);
    return config_.carryX ? RunFastT<false, true>(limit) : RunFastT<false, false>(limit);
}

template <bool kTurbo, bool kCarryX>
SxStop SxCpu::RunFastT(std::uint64_t limit) {
    constexpr unsigned kJump = ClassCycles(TimingClass::Jump, kTurbo ? ClockMode::Turbo : ClockMode::Compatible);
    unsigned pc = pc_;
    unsigned w = w_;
    unsigned st = status_;
    // STATUS's page bits in jump-target position, kept apart from st so
    // that a jump does not wait for the flags of the instruction before.
    unsigned page = (st & 0xE0) << 4;
    std::uint64_t cyc = cycles_;
    // Instructions = cycles − extra cycles of the multi-cycle ones; counting
    // only the latter keeps a counter out of every instruction.
    std::uint64_t startCyc = cyc;
    std::uint64_t extra = 0;
    std::uint8_t* const d = data_.data();
    std::uint8_t* bank = d + (bankOffset_ + 0x10);
    const Op* const ops = ops_.data();
    const std::uint8_t* const chain = chain_.data();
    const unsigned mask = static_cast<unsigned>(pcMask_);

#define KORVID_SYNC_OUT()                                                \
    (pc_ = static_cast<std::uint16_t>(pc), w_ = static_cast<std::uint8_t>(w), \
     status_ = static_cast<std::uint8_t>(st), cycles_ = cyc,            \
     instructions_ += (cyc - startCyc) - extra)
#define KORVID_SYNC_IN() \
    (pc = pc_, w = w_, st = status_, page = (st & 0xE0) << 4, cyc = cycles_, startCyc = cyc, extra = 0, \
     bank = d + (bankOffset_ + 0x10))
#define NEXT() (pc = (pc + 1) & mask, cyc += 1)
#define SETZ(v) (st = (st & ~unsigned{kZ}) | (((v) & 0xFF) == 0 ? kZ : 0))
#define SKIP_IF(cond)                       \
    do {                                    \
        pc = (pc + 1) & mask;               \
        cyc += 1;                           \
        if (cond) {                         \
            const unsigned n_ = chain[pc];  \
            pc = (pc + n_) & mask;          \
            cyc += n_;                      \
            extra += n_;                    \
        }                                   \
    } while (0)
#define JUMP_TO(target) (pc = (target) & mask, cyc += kJump, extra += kJump - 1)
#define FR_CASE(name, body)                  \
    case k##name: {                          \
        std::uint8_t& f = d[op.target];      \
        body;                                \
        break;                               \
    }                                        \
    case k##name##B: {                       \
        std::uint8_t& f = bank[op.target];   \
        body;                                \
        break;                               \
    }

    // Flags of an addition a + b + cin into st; returns the 8-bit sum.
    auto arith = [&st](unsigned a, unsigned b, unsigned cin) {
        const unsigned r = a + b + cin;
        unsigned s = st & ~unsigned{kC | kDC | kZ};
        s |= (r >> 8) & 1;
        s |= (((a & 0x0F) + (b & 0x0F) + cin) > 0x0F) ? kDC : 0;
        s |= (r & 0xFF) == 0 ? kZ : 0;
        st = s;
        return r & 0xFF;
    };
    auto cinAdd = [&st]() -> unsigned { return kCarryX ? (st & kC) : 0; };
    auto cinSub = [&st]() -> unsigned { return kCarryX ? (st & kC) : 1; };

    while (cyc < limit) {
        const Op op = ops[pc];
        switch (op.kind) {
            case kNop: NEXT(); break;
            case kMovWLit: w = op.arg; NEXT(); break;
            case kAndWLit: w &= op.arg; SETZ(w); NEXT(); break;
            case kOrWLit: w |= op.arg; SETZ(w); NEXT(); break;
            case kXorWLit: w ^= op.arg; SETZ(w); NEXT(); break;
            case kClrW: w = 0; st |= kZ; NEXT(); break;
            case kJmp: JUMP_TO(page | op.target); break;
            case kCall:
                Push(static_cast<std::uint16_t>((pc + 1) & mask));
                JUMP_TO(page | op.arg);
                break;
            case kRet: JUMP_TO(Pop()); break;
            case kRetW: w = op.arg; JUMP_TO(Pop()); break;
            case kPage: st = (st & 0x1F) | op.arg; page = unsigned{op.arg} << 4; NEXT(); break;
            case kBank:
                SetFsr(static_cast<std::uint8_t>((fsr_ & ~bankMask_) | op.arg));
                bank = d + (bankOffset_ + 0x10);
                NEXT();
                break;
            case kSbStatus: SKIP_IF(st & op.arg); break;
            case kSnbStatus: SKIP_IF(!(st & op.arg)); break;
            case kSetbStatus: st |= op.arg; NEXT(); break;
            case kClrbStatus: st &= ~unsigned{op.arg}; NEXT(); break;

            FR_CASE(MovWFr, w = f; SETZ(w); NEXT())
            FR_CASE(MovFrW, f = static_cast<std::uint8_t>(w); NEXT())
            FR_CASE(AddWFr, w = arith(f, w, cinAdd()); NEXT())
            FR_CASE(AddFrW, f = static_cast<std::uint8_t>(arith(f, w, cinAdd())); NEXT())
            FR_CASE(SubFrW, f = static_cast<std::uint8_t>(arith(f, ~w & 0xFF, cinSub())); NEXT())
            FR_CASE(MovWFrMinusW, w = arith(f, ~w & 0xFF, cinSub()); NEXT())
            FR_CASE(AndWFr, w &= f; SETZ(w); NEXT())
            FR_CASE(AndFrW, f = static_cast<std::uint8_t>(f & w); SETZ(f); NEXT())
            FR_CASE(OrWFr, w |= f; SETZ(w); NEXT())
            FR_CASE(OrFrW, f = static_cast<std::uint8_t>(f | w); SETZ(f); NEXT())
            FR_CASE(XorWFr, w ^= f; SETZ(w); NEXT())
            FR_CASE(XorFrW, f = static_cast<std::uint8_t>(f ^ w); SETZ(f); NEXT())
            FR_CASE(ClrFr, f = 0; st |= kZ; NEXT())
            FR_CASE(IncFr, ++f; SETZ(f); NEXT())
            FR_CASE(DecFr, --f; SETZ(f); NEXT())
            FR_CASE(IncSz, ++f; SKIP_IF(f == 0))
            FR_CASE(DecSz, --f; SKIP_IF(f == 0))
            FR_CASE(MovSzInc, w = (f + 1u) & 0xFF; SKIP_IF(w == 0))
            FR_CASE(MovSzDec, w = (f - 1u) & 0xFF; SKIP_IF(w == 0))
            FR_CASE(MovWInc, w = (f + 1u) & 0xFF; SETZ(w); NEXT())
            FR_CASE(MovWDec, w = (f - 1u) & 0xFF; SETZ(w); NEXT())
            FR_CASE(TestFr, SETZ(f); NEXT())
            FR_CASE(NotFr, f = static_cast<std::uint8_t>(~f); SETZ(f); NEXT())
            FR_CASE(MovWNot, w = ~unsigned{f} & 0xFF; SETZ(w); NEXT())
            FR_CASE(RlFr, const unsigned v = f; f = static_cast<std::uint8_t>((v << 1) | (st & kC));
                    st = (st & ~unsigned{kC}) | (v >> 7); NEXT())
            FR_CASE(MovWRl, const unsigned v = f; w = ((v << 1) | (st & kC)) & 0xFF;
                    st = (st & ~unsigned{kC}) | (v >> 7); NEXT())
            FR_CASE(RrFr, const unsigned v = f; f = static_cast<std::uint8_t>((v >> 1) | ((st & kC) << 7));
                    st = (st & ~unsigned{kC}) | (v & 1); NEXT())
            FR_CASE(MovWRr, const unsigned v = f; w = (v >> 1) | ((st & kC) << 7);
                    st = (st & ~unsigned{kC}) | (v & 1); NEXT())
            FR_CASE(SwapFr, f = static_cast<std::uint8_t>((f << 4) | (f >> 4)); NEXT())
            FR_CASE(MovWSwap, w = ((unsigned{f} << 4) | (f >> 4)) & 0xFF; NEXT())
            FR_CASE(Setb, f = static_cast<std::uint8_t>(f | op.arg); NEXT())
            FR_CASE(Clrb, f = static_cast<std::uint8_t>(f & ~op.arg); NEXT())
            FR_CASE(Sb, SKIP_IF(f & op.arg))
            FR_CASE(Snb, SKIP_IF(!(f & op.arg)))

            // An arrival at a span counter's address counts here, in the
            // run, halts included: the single step that resumes from a halt
            // does not count it again.
            case kBreakAfter:
                if (trap_[pc] & kTrapSpan) MarkSpans(static_cast<int>(pc), cyc);
                KORVID_SYNC_OUT();
                ExecuteGeneric(false);
                return SxStop::Breakpoint;
            case kHaltBefore:
                if (trap_[pc] & kTrapSpan) MarkSpans(static_cast<int>(pc), cyc);
                KORVID_SYNC_OUT();
                return SxStop::Trap;
            case kSpanMark:  // then the word runs generically
                MarkSpans(static_cast<int>(pc), cyc);
                [[fallthrough]];
            default:  // kGeneric
                KORVID_SYNC_OUT();
                ExecuteGeneric(false);
                KORVID_SYNC_IN();
                if (exitFast_) return stackFault_ != StackFault::None ? SxStop::Trap : SxStop::Budget;
                break;
        }
    }
    KORVID_SYNC_OUT();
    return SxStop::Budget;

#undef KORVID_SYNC_OUT
#undef KORVID_SYNC_IN
#undef NEXT
#undef SETZ
#undef SKIP_IF
#undef JUMP_TO
#undef FR_CASE
}

}  // namespace korvid
