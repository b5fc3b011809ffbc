// SX CPU state, registers, ports, timers, interrupts and the general
// instruction executor. The decoded fast loop lives in SxCpuRun.cpp.
#include "sim/SxCpu.h"

#include "family/InstructionSet.h"
#include "family/Layout.h"

#include <algorithm>
#include <utility>

#include "sim/SxCpuModel.h"

namespace korvid {

using namespace sxcpu;

SxCpuConfig SxCpuConfigFromFuses(const Family& family, std::uint16_t fuse, std::uint16_t extFuse) {
    const ConfigWords words{fuse, extFuse};
    const Layout layout = LayoutOf(family, extFuse);
    SxCpuConfig c;
    c.carryX = family.fuseOn(FuseField::CarryX, words);
    c.watchdog = family.fuseOn(FuseField::Watchdog, words);
    c.syncInputs = family.fuseOn(FuseField::InputSync, words);
    c.resetDelayUs = family.resetDelayUs[family.fuseValue(FuseField::ResetDelay, words) & 3];
    c.sleepClock = family.fuseOn(FuseField::SleepClock, words);
    c.programSize = layout.programSize;
    c.bankCount = layout.bankCount;
    c.turbo = family.fuseOn(FuseField::Turbo, words);
    c.stackExtension = family.fuseOn(FuseField::StackOption, words);
    c.portC = family.fuseOn(FuseField::PortC, words);
    return c;
}

SxCpu::SxCpu(const Family& family) : family_(&family) {
    words_.fill(0x0FFF);
    Configure(SxCpuConfigFromFuses(family, family.blankFuse, family.blankExtFuse));
}

void SxCpu::Configure(const SxCpuConfig& config) {
    const CpuModel& model = ModelOf(*family_);
    config_ = config;
    // What the family fixes, a configuration cannot change.
    if (family_->memoryFromExtFuse) {
        if (config_.programSize != 512 && config_.programSize != 1024) config_.programSize = 2048;
        if (config_.bankCount != 1 && config_.bankCount != 4) config_.bankCount = 8;
    } else {
        config_.programSize = family_->maxProgramSize;
        config_.bankCount = family_->maxBankCount;
    }
    for (auto [field, option] :
         {std::pair{FuseField::Turbo, &config_.turbo}, std::pair{FuseField::StackOption, &config_.stackExtension},
          std::pair{FuseField::PortC, &config_.portC}})
        if (family_->fuseField(field).mask == 0) *option = family_->fuseField(field).fixedOn;
    pcMask_ = config_.programSize - 1;
    const ClockMode mode = config_.turbo ? ClockMode::Turbo : ClockMode::Compatible;
    jumpCycles_ = ClassCycles(TimingClass::Jump, mode);
    readCycles_ = ClassCycles(TimingClass::Read, mode);
    entryCycles_ = InterruptEntryCycles(mode);
    modeMask_ = family_->modeMask;
    bankMask_ = model.bankMask;
    bankShift_ = family_->bankShift;
    linearRam_ = model.linearRam;
    hasTimers_ = model.timers;
    portCount_ = family_->maxPortCount;
    specialCount_ = 5 + family_->maxPortCount;
    if (!config_.portC) {
        portCount_ = 2;  // 07h is RAM on the 18-pin part
        specialCount_ = 7;
    }
    fsrForce_ = family_->memoryFromExtFuse ? ForcedFsrBits(config_.bankCount) : 0;
    stackLevels_ = config_.stackExtension ? 8 : 2;
    DecodeAll();
    Reset(SxReset::PowerOn);
}

void SxCpu::LoadProgram(const std::uint16_t* words, int count) {
    count = words ? std::clamp(count, 0, 4096) : 0;
    for (int i = 0; i < 4096; ++i) words_[i] = i < count ? (words[i] & 0x0FFF) : 0x0FFF;
    DecodeAll();
}

// --- reset ---------------------------------------------------------------

void SxCpu::Reset(SxReset kind) {
    const CpuModel& model = ModelOf(*family_);
    const bool wasSleeping = sleeping_;
    // Keep RTCC (its prescaler is cleared); the count stops while asleep.
    const std::uint8_t rtccValue = (kind == SxReset::PowerOn) ? 0 : rtcc();
    sleeping_ = false;
    callDepth_ = 0;
    std::uint8_t tope = status_ & (kTO | kPD);
    switch (kind) {
        case SxReset::PowerOn: tope = kTO | kPD; break;
        case SxReset::External: if (wasSleeping) tope = kTO; break;
        case SxReset::WatchdogTimeout: tope = wasSleeping ? 0 : (tope & kPD); break;
        case SxReset::WakeUp: tope = kTO; break;
    }
    if (kind == SxReset::PowerOn) {
        data_.fill(0);
        w_ = 0;
        status_ = 0;
        latch_.fill(0);
        stack_.fill(0);
        stackTop_ = 0;
        m_ = model.resetMode;
        cycles_ = 0;
        instructions_ = 0;
        for (auto& port : ctrl_) port.fill(0xFF);
        for (auto& port : ctrl_) port[kWkpnd] = 0;
        extLevel_.fill(0);
        extDriven_.fill(0);
        extStrong_.fill(0);
        pins_.fill(0);
        log_.fill(PinLog{});
        mclrLow_ = false;
        cmpResult_ = cmpTarget_ = false;
        cmpDue_ = ~0ull;
        rtccPulseNext_ = 0;
    } else {
        // MODE bit 4 of the 52 family survives resets other than power-on.
        m_ = static_cast<std::uint8_t>((m_ & ~0x0F & modeMask_) | 0x0F);
        for (auto& port : ctrl_) {
            const std::uint8_t pending = port[kWkpnd];
            port.fill(0xFF);
            port[kWkpnd] = pending;
        }
    }
    stackCount_ = stackLevels_;
    status_ = static_cast<std::uint8_t>((status_ & (kZ | kDC | kC)) | tope);
    pc_ = static_cast<std::uint16_t>(pcMask_);
    option_ = 0xFF;
    SetFsr(0);
    inIsr_ = false;
    skipPending_ = false;
    irqAt_ = ~0ull;
    wakePending_ = false;
    pcLoad_ = pendingRtcc_ = pendingOption_ = -1;
    rtccBase_ = rtccValue;  // OPTION = FFh: prescaler on the watchdog, shift 0
    rtccBaseCycle_ = cycles_;
    wdtStart_ = cycles_;
    ResetTimers();
    // The reset itself latches no wake-up edges.
    const std::uint8_t pending = ctrl_[1][kWkpnd];
    UpdateAllPins(cycles_);
    ctrl_[1][kWkpnd] = pending;
    lastPinsB_ = pins_[1];
    lastDetect_ = pins_[1] ^ ctrl_[1][kWked];
    miwuActive_ = (ctrl_[1][kWkpnd] & ~ctrl_[1][kWken] & 0xFF) != 0;
    irqAt_ = ~0ull;
    if (kind == SxReset::PowerOn) {
        for (int port = 0; port <= kRtccPort; ++port) {
            PinLog& log = log_[port];
            log.level.fill(pins_[port]);
            log.seenLevel = pins_[port];
        }
    }
    for (int port = 0; port <= kRtccPort; ++port) ResyncPort(port);
    holdUntil_ = cycles_ + ResetDelayCycles();
    ArmRtcc();
    SchedulePeripherals();
    if (pinObserver_)
        for (int p = 0; p < portCount_; ++p) NotifyPins(p, cycles_);
}

// --- registers -----------------------------------------------------------

bool SxCpu::IsSpecial(int fr) const { return fr < specialCount_; }

void SxCpu::UpdateBankOffset() {
    bankOffset_ = linearRam_ ? (fsr_ & 0xF0) - 0x10 : (fsr_ & 0xE0);
}

void SxCpu::SetFsr(std::uint8_t fsr) {
    fsr_ = static_cast<std::uint8_t>(fsr | fsrForce_);
    UpdateBankOffset();
}

void SxCpu::SetStatus(std::uint8_t status) { status_ = status; }

void SxCpu::SetMode(std::uint8_t m) { m_ = static_cast<std::uint8_t>(m & modeMask_); }

void SxCpu::SetPc(std::uint16_t pc) { pc_ = static_cast<std::uint16_t>(pc & pcMask_); }

int SxCpu::Loc(int fr) const {
    if (fr >= 16) return fr + bankOffset_;
    if (fr != 0) return kGlobalLoc + fr;
    int a = fsr_;
    if (linearRam_) {
        if (a >= 16) return a;
    } else {
        if (a & 0x10) return a;
        a &= 0x0F;
    }
    return a == 0 ? kNullLoc : kGlobalLoc + a;
}

std::uint8_t SxCpu::ReadLoc(int loc) const {
    if (loc < kGlobalLoc) return data_[loc];
    const int g = loc - kGlobalLoc;
    if (g >= specialCount_) return g < 16 ? data_[loc] : 0;
    switch (g) {
        case 0: return 0;
        case 1: return (option_ & 0x80) ? rtcc() : w_;
        case 2: return static_cast<std::uint8_t>((pc_ + 1) & 0xFF);
        case 3: return status_;
        case 4: return fsr_;
        default: return ReadPort(g - 5);
    }
}

void SxCpu::WriteLoc(int loc, std::uint8_t value) {
    if (loc < kGlobalLoc) {
        data_[loc] = value;
        return;
    }
    const int g = loc - kGlobalLoc;
    if (g >= specialCount_) {
        if (g < 16) data_[loc] = value;
        return;
    }
    switch (g) {
        case 0: return;
        case 1:
            if (option_ & 0x80) pendingRtcc_ = value; else w_ = value;
            return;
        case 2:
            pcLoad_ = (((status_ & 0xE0) << 4) | value) & pcMask_;
            return;
        case 3: status_ = static_cast<std::uint8_t>((value & ~(kTO | kPD)) | (status_ & (kTO | kPD))); return;
        case 4: SetFsr(value); return;
        default: {
            const int port = g - 5;
            latch_[port] = value;
            UpdatePins(port, cycles_ + writeLag_);
            return;
        }
    }
}

std::uint8_t SxCpu::Peek(int address) const {
    address &= 0xFF;
    if (address == 0) return ReadLoc(Loc(0));
    if (address < 16) return ReadLoc(kGlobalLoc + address);
    if (!linearRam_ && !(address & 0x10)) return ReadLoc(kGlobalLoc + (address & 0x0F));
    return data_[address];
}

void SxCpu::Poke(int address, std::uint8_t value) {
    address &= 0xFF;
    int loc;
    if (address == 0) loc = Loc(0);
    else if (address < 16) loc = kGlobalLoc + address;
    else if (!linearRam_ && !(address & 0x10)) loc = kGlobalLoc + (address & 0x0F);
    else loc = address;
    switch (loc - kGlobalLoc) {
        case 2: pc_ = static_cast<std::uint16_t>(((pc_ & ~0xFF) | value) & pcMask_); return;
        case 3: SetStatus(value); return;
        default: break;
    }
    pcLoad_ = -1;
    writeLag_ = 0;
    WriteLoc(loc, value);
    writeLag_ = 1;
    pcLoad_ = -1;
    if (pendingRtcc_ >= 0) {
        SetRtcc(static_cast<std::uint8_t>(pendingRtcc_));
        pendingRtcc_ = -1;
    }
}

std::uint16_t SxCpu::stackEntry(int level) const {
    level = std::clamp(level, 0, stackCount_ - 1);
    return stack_[(stackTop_ - level) & 7];
}

// --- ports ---------------------------------------------------------------

void SxCpu::SetPinObserver(SxPinObserver* observer) {
    pinObserver_ = observer;
    for (int p = 0; p < portCount_; ++p) NotifyPins(p, cycles_);
}

// MOV !port,W: the control register MODE selects. The 28 family writes
// them, except the pending and comparator registers, which exchange with
// W; the 52 family writes with MODE bit 4 set and reads into W without.
void SxCpu::WritePortControl(int port) {
    if (port >= portCount_) return;
    const int m = m_ & 0x0F;
    if (m < 8) {
        // 52 family: the registers of timer T1 (port B) and T2 (port C).
        if (hasTimers_ && (port == 1 || port == 2)) TimerAccess(port - 1);
        return;
    }
    const int index = m - 8;
    const std::uint8_t present = ModelOf(*family_).controls[port];
    if (!(present & (1 << index))) return;
    std::uint8_t& reg = ctrl_[port][index];
    // The comparator's result bit cannot be written.
    const std::uint8_t keep = index == kCmp ? kCmpResult : 0;
    const auto store = [&](std::uint8_t v) { reg = static_cast<std::uint8_t>((v & ~keep) | (reg & keep)); };
    const bool exchange = (index == kWkpnd || index == kCmp) && (!ModelOf(*family_).readWriteControl || config_.exchange52);
    if (exchange) {
        const std::uint8_t old = reg;
        store(w_);
        w_ = old;
    } else if (ModelOf(*family_).readWriteControl && !(m_ & 0x10)) {
        w_ = reg;
        return;
    } else {
        store(w_);
    }
    // TRIS may show or hide a timer output: bring the timers up to now first.
    SettleTimers(cycles_);
    UpdatePins(port, cycles_ + writeLag_);
    if (port == 1) UpdateMiwu(cycles_);
    SchedulePeripherals();
}

// --- RTCC, watchdog, event schedule --------------------------------------

namespace {
int RtccShift(std::uint8_t option) { return (option & 0x08) ? 0 : (option & 7) + 1; }
}  // namespace

std::uint64_t SxCpu::RtccCount() const {
    const bool counting = !(option_ & 0x20) && !sleeping_ && !inReset();
    return rtccBase_ + (counting && cycles_ > rtccBaseCycle_ ? cycles_ - rtccBaseCycle_ : 0);
}

std::uint8_t SxCpu::rtcc() const { return static_cast<std::uint8_t>(RtccCount() >> RtccShift(option_)); }

std::uint8_t SxCpu::prescaler() const {
    return static_cast<std::uint8_t>(RtccCount() & ((1u << RtccShift(option_)) - 1));
}

void SxCpu::Rebase() {
    FoldRtccov();
    const std::uint64_t period = 256ull << RtccShift(option_);
    rtccBase_ = RtccCount() % period;
    rtccBaseCycle_ = cycles_;
}

void SxCpu::SetRtcc(std::uint8_t value) {
    FoldRtccov();
    rtccBase_ = static_cast<std::uint64_t>(value) << RtccShift(option_);
    rtccBaseCycle_ = cycles_;
    ArmRtcc();
}

void SxCpu::ArmRtcc() {
    const bool counting = !(option_ & 0x20) && !sleeping_ && !inReset();
    rtccArmed_ = !(option_ & 0x40) && !inIsr_ && counting;
    if (rtccArmed_) {
        const std::uint64_t period = 256ull << RtccShift(option_);
        rtccIrqAt_ = cycles_ + (period - RtccCount() % period);
    }
    Reschedule();
}

std::uint64_t SxCpu::WatchdogDeadline() const {
    std::uint64_t period = static_cast<std::uint64_t>(config_.clockHz) * 16 / 1000 / (config_.turbo ? 1 : 4);
    if (period == 0) period = 1;
    if (option_ & 0x08) period <<= (option_ & 7);
    return wdtStart_ + period;
}

void SxCpu::Reschedule() {
    std::uint64_t next = periphDue_;
    if (rtccArmed_ && !inIsr_) next = std::min(next, rtccIrqAt_);
    if (config_.watchdog) next = std::min(next, WatchdogDeadline());
    if (!inIsr_) next = std::min(next, irqAt_);
    nextEvent_ = next;
    exitFast_ = true;
}

void SxCpu::WriteOption(std::uint8_t value) {
    if (!config_.stackExtension) value |= 0xC0;
    const bool newSource = ((option_ ^ value) & 0x20) != 0;
    if ((option_ ^ value) & 0x2F) {
        // A new clock source or prescaler keeps RTCC and clears the prescaler.
        FoldRtccov();
        const std::uint8_t v = rtcc();
        option_ = value;
        rtccBase_ = static_cast<std::uint64_t>(v) << RtccShift(option_);
        rtccBaseCycle_ = cycles_;
    } else {
        option_ = value;
    }
    if (newSource) ResyncPort(kRtccPort);
    ArmRtcc();
}

// Takes an interrupt or a watchdog reset that is due at this instruction
// boundary. Returns true when it did.
bool SxCpu::ServiceBoundary() {
    if (config_.watchdog && cycles_ >= WatchdogDeadline()) {
        Reset(SxReset::WatchdogTimeout);
        return true;
    }
    if (inIsr_ || skipPending_) return false;
    if (irqAt_ <= cycles_ || (rtccArmed_ && cycles_ >= rtccIrqAt_)) {
        irqAt_ = ~0ull;
        EnterInterrupt();
        return true;
    }
    return false;
}

void SxCpu::EnterInterrupt() {
    savedPc_ = pc_;
    savedW_ = w_;
    savedStatus_ = status_;
    savedFsr_ = fsr_;
    savedM_ = m_;
    status_ &= 0x1F;
    pc_ = 0;
    inIsr_ = true;
    cycles_ += static_cast<std::uint64_t>(entryCycles_);
    rtccArmed_ = false;
    irqAt_ = ~0ull;
    // Timer events stop mattering for interrupts inside the routine.
    if (TimerInterruptsEnabled()) SchedulePeripherals(); else Reschedule();
}

void SxCpu::Sleep() {
    SettleTimers(cycles_);
    Rebase();
    status_ = static_cast<std::uint8_t>((status_ & ~kPD) | kTO);
    wdtStart_ = cycles_;
    sleeping_ = true;
    rtccArmed_ = false;
    SchedulePeripherals();
}

void SxCpu::EndSleep() {
    if (!sleeping_) return;
    SettleTimers(cycles_);
    sleeping_ = false;
    rtccBaseCycle_ = cycles_;  // RTCC resumes from the value it stopped at
    wdtStart_ = cycles_;
    for (Timer& t : timers_) t.at = cycles_;  // stopped timers resume from here
    ArmRtcc();
    SchedulePeripherals();
}

// --- the general executor --------------------------------------------------

void SxCpu::Annul() {
    const int n = chain_[pc_];
    pc_ = static_cast<std::uint16_t>((pc_ + n) & pcMask_);
    cycles_ += static_cast<std::uint64_t>(n);
    skipPending_ = false;
}

void SxCpu::ExecuteGeneric(bool splitSkip) {
    const int word = words_[pc_];
    const int fr = word & 0x1F;
    const bool carryX = config_.carryX;
    int next = (pc_ + 1) & pcMask_;
    int cost = 1;
    bool skip = false;
    pcLoad_ = -1;

    auto setZ = [this](int r) { status_ = static_cast<std::uint8_t>((status_ & ~kZ) | ((r & 0xFF) == 0 ? kZ : 0)); };
    auto arith = [this](int a, int b, int cin) {
        const int r = a + b + cin;
        std::uint8_t s = status_ & ~(kC | kDC | kZ);
        if (r & 0x100) s |= kC;
        if ((a & 0x0F) + (b & 0x0F) + cin > 0x0F) s |= kDC;
        if ((r & 0xFF) == 0) s |= kZ;
        return std::pair<std::uint8_t, std::uint8_t>(static_cast<std::uint8_t>(r), s);
    };
    auto add = [&](int a, int b) { return arith(a, b, carryX ? (status_ & kC) : 0); };
    // C, DC and Z of an arithmetic result; the other bits stay as they are
    // now, which with STATUS as the destination is the value just written.
    auto setFlags = [this](std::uint8_t flags) {
        status_ = static_cast<std::uint8_t>((status_ & ~(kC | kDC | kZ)) | (flags & (kC | kDC | kZ)));
    };
    auto sub = [&](int a, int b) { return arith(a, ~b & 0xFF, carryX ? (status_ & kC) : 1); };

    if (word < 0x020) {
        switch (word) {
            case 0x002: pendingOption_ = w_; break;
            case 0x003: Sleep(); break;
            case 0x004:
                wdtStart_ = cycles_ + 1;
                status_ |= kTO | kPD;
                Reschedule();
                break;
            case 0x005: case 0x006: case 0x007: case 0x008: case 0x009: case 0x00A: case 0x00B:
                WritePortControl(word - 5);
                break;
            case 0x00C:
                if (stackTraps_) CountStack(false);
                next = Pop();
                cost = jumpCycles_;
                break;
            case 0x00D: {
                if (stackTraps_) CountStack(false);
                next = Pop() & pcMask_;
                const int paMask = ModelOf(*family_).pageBits == 3 ? 0xE0 : 0x60;
                status_ = static_cast<std::uint8_t>((status_ & ~paMask) | ((next >> 4) & paMask));
                cost = jumpCycles_;
                break;
            }
            case 0x00F: {  // RETIW: RTCC += W, prescaler kept
                FoldRtccov();
                const int shift = RtccShift(option_);
                const std::uint64_t pre = RtccCount() & ((1ull << shift) - 1);
                const std::uint8_t v = static_cast<std::uint8_t>(rtcc() + w_);
                rtccBase_ = (static_cast<std::uint64_t>(v) << shift) | pre;
                rtccBaseCycle_ = cycles_;
            }
                [[fallthrough]];
            case 0x00E:
                next = savedPc_ & pcMask_;
                w_ = savedW_;
                status_ = static_cast<std::uint8_t>((savedStatus_ & ~(kTO | kPD)) | (status_ & (kTO | kPD)));
                SetFsr(savedFsr_);
                if (ModelOf(*family_).shadowMode) m_ = savedM_;
                // Timer flags that changed inside the routine request nothing.
                if (TimerInterruptsEnabled()) SettleTimers(cycles_);
                inIsr_ = false;
                cost = jumpCycles_;
                cycles_ += static_cast<std::uint64_t>(cost);
                ArmRtcc();
                if (TimerInterruptsEnabled()) SchedulePeripherals();
                cycles_ -= static_cast<std::uint64_t>(cost);
                exitFast_ = true;
                break;
            default:
                if (word >= 0x010 && word < 0x018) {
                    status_ = static_cast<std::uint8_t>((status_ & 0x1F) | ((word & 7) << 5));
                } else if (word >= 0x018) {
                    SetFsr(static_cast<std::uint8_t>((fsr_ & ~bankMask_) | ((word & 7) << bankShift_)));
                }
                break;  // 000 NOP, 001 unused: no operation
        }
    } else if (word < 0x040) {
        WriteLoc(Loc(fr), w_);
    } else if (word < 0x060) {
        switch (word) {
            case 0x040: w_ = 0; status_ |= kZ; break;
            case 0x041: {
                const int address = (((m_ & 0x0F) << 8) | w_) & pcMask_;
                const int data = words_[address];
                m_ = static_cast<std::uint8_t>((m_ & 0x10) | (data >> 8));
                w_ = static_cast<std::uint8_t>(data);
                cost = readCycles_;
                break;
            }
            case 0x042: w_ = m_; break;
            case 0x043: m_ = static_cast<std::uint8_t>(w_ & modeMask_); break;
            default:
                if (word >= 0x050) m_ = static_cast<std::uint8_t>((m_ & ~0x0F) | (word & 0x0F));
                break;  // 044..04F unused: no operation
        }
    } else if (word < 0x400) {
        const int loc = Loc(fr);
        const int f = ReadLoc(loc);
        auto toFr = [&](int v) { WriteLoc(loc, static_cast<std::uint8_t>(v)); };
        auto toW = [&](int v) { w_ = static_cast<std::uint8_t>(v); };
        const int c = status_ & kC;
        switch (word >> 5) {
            case 3: toFr(0); status_ |= kZ; break;                                     // CLR fr
            case 4: { auto [r, s] = sub(f, w_); toW(r); setFlags(s); break; }         // MOV W,fr-W
            case 5: { auto [r, s] = sub(f, w_); toFr(r); setFlags(s); break; }        // SUB fr,W
            case 6: toW(f - 1); setZ(f - 1); break;                                    // MOV W,--fr
            case 7: toFr(f - 1); setZ(f - 1); break;                                   // DEC fr
            case 8: toW(w_ | f); setZ(w_); break;                                      // OR W,fr
            case 9: toFr(w_ | f); setZ(w_ | f); break;                                 // OR fr,W
            case 10: toW(w_ & f); setZ(w_); break;                                     // AND W,fr
            case 11: toFr(w_ & f); setZ(w_ & f); break;                                // AND fr,W
            case 12: toW(w_ ^ f); setZ(w_); break;                                     // XOR W,fr
            case 13: toFr(w_ ^ f); setZ(w_ ^ f); break;                                // XOR fr,W
            case 14: { auto [r, s] = add(f, w_); toW(r); setFlags(s); break; }        // ADD W,fr
            case 15: { auto [r, s] = add(f, w_); toFr(r); setFlags(s); break; }       // ADD fr,W
            case 16: toW(f); setZ(f); break;                                           // MOV W,fr
            case 17: toFr(f); setZ(f); break;                                          // TEST fr
            case 18: toW(~f); setZ(~f); break;                                         // MOV W,/fr
            case 19: toFr(~f); setZ(~f); break;                                        // NOT fr
            case 20: toW(f + 1); setZ(f + 1); break;                                   // MOV W,++fr
            case 21: toFr(f + 1); setZ(f + 1); break;                                  // INC fr
            case 22: toW(f - 1); skip = ((f - 1) & 0xFF) == 0; break;                  // MOVSZ W,--fr
            case 23: toFr(f - 1); skip = ((f - 1) & 0xFF) == 0; break;                 // DECSZ fr
            case 24: case 25: {                                                        // MOV W,>>fr / RR fr
                const int r = (f >> 1) | (c << 7);
                if (word & 0x20) toFr(r); else toW(r);
                status_ = static_cast<std::uint8_t>((status_ & ~kC) | (f & 1));
                break;
            }
            case 26: case 27: {                                                        // MOV W,<<fr / RL fr
                const int r = ((f << 1) | c) & 0xFF;
                if (word & 0x20) toFr(r); else toW(r);
                status_ = static_cast<std::uint8_t>((status_ & ~kC) | ((f >> 7) & 1));
                break;
            }
            case 28: toW(((f << 4) | (f >> 4)) & 0xFF); break;                         // MOV W,<>fr
            case 29: toFr(((f << 4) | (f >> 4)) & 0xFF); break;                        // SWAP fr
            case 30: toW(f + 1); skip = ((f + 1) & 0xFF) == 0; break;                  // MOVSZ W,++fr
            case 31: toFr(f + 1); skip = ((f + 1) & 0xFF) == 0; break;                 // INCSZ fr
            default: break;
        }
    } else if (word < 0x800) {
        const int loc = Loc(fr);
        const int mask = 1 << ((word >> 5) & 7);
        const int f = ReadLoc(loc);
        switch (word >> 8) {
            case 4: WriteLoc(loc, static_cast<std::uint8_t>(f & ~mask)); break;
            case 5: WriteLoc(loc, static_cast<std::uint8_t>(f | mask)); break;
            case 6: skip = (f & mask) == 0; break;
            default: skip = (f & mask) != 0; break;
        }
    } else {
        const int k = word & 0xFF;
        const int pa = (status_ & 0xE0) << 4;
        switch (word >> 8) {
            case 0x8:
                if (stackTraps_) CountStack(false);
                w_ = static_cast<std::uint8_t>(k);
                next = Pop() & pcMask_;
                cost = jumpCycles_;
                break;
            case 0x9:
                if (stackTraps_) CountStack(true);
                Push(static_cast<std::uint16_t>(next));
                next = (pa | k) & pcMask_;
                cost = jumpCycles_;
                break;
            case 0xA: case 0xB: next = (pa | (word & 0x1FF)) & pcMask_; cost = jumpCycles_; break;
            case 0xC: w_ = static_cast<std::uint8_t>(k); break;
            case 0xD: w_ |= k; setZ(w_); break;
            case 0xE: w_ &= k; setZ(w_); break;
            default: w_ ^= k; setZ(w_); break;
        }
    }

    if (pcLoad_ >= 0) {
        next = pcLoad_;
        cost = jumpCycles_;
        pcLoad_ = -1;
    } else if (skip) {
        if (splitSkip) {
            skipPending_ = true;
        } else {
            const int n = chain_[next];
            next = (next + n) & pcMask_;
            cost += n;
        }
    }
    pc_ = static_cast<std::uint16_t>(next);
    cycles_ += static_cast<std::uint64_t>(cost);
    ++instructions_;
    if (pendingOption_ >= 0) {
        WriteOption(static_cast<std::uint8_t>(pendingOption_));
        pendingOption_ = -1;
    }
    if (pendingRtcc_ >= 0) {
        // The prescaler restarts from 0 when the instruction ends; a skip
        // split for single steps ends after its annulled words.
        const std::uint64_t annulled = skipPending_ ? chain_[pc_] : 0;
        cycles_ += annulled;
        SetRtcc(static_cast<std::uint8_t>(pendingRtcc_));
        cycles_ -= annulled;
        pendingRtcc_ = -1;
    }
}

}  // namespace korvid
