#include "sim/ToolDebug.h"

#include "sim/SimDriver.h"
#include "sim/SimSetup.h"

#include <algorithm>
#include <chrono>

namespace korvid {

namespace {

constexpr std::uint8_t kStatusPageBits = 0xE0;

std::uint64_t NowUs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// The reset word jumps to a two-word stub in the first page (PAGE of the
// last page, JMP to the kernel entry): the mark of a debug image.
bool HoldsDebugImage(const Image& flash, int size) {
    const int reset = flash[static_cast<std::size_t>(size - 1)] & kWordMask;
    if ((reset & 0xE00) != 0xA00) return false;
    const int stub = reset & 0x1FF;
    if (stub + 1 >= size) return false;
    return (flash[static_cast<std::size_t>(stub)] & kWordMask) == 0x017 &&
           (flash[static_cast<std::size_t>(stub + 1)] & kWordMask) == 0xB83;
}

// Frequency of a clock generator setting word: twice the oscillator
// 20 MHz x m / d, divided by 2^p (m − 3 in bits 15.., p in 11..13, d − 2 in
// 4..10, bit 14 always set); 0 for a word without bit 14.
std::uint32_t SettingFrequency(std::uint32_t setting) {
    if (!(setting & (1u << 14))) return 0;
    const std::uint64_t m = ((setting >> 15) & 0xFF) + 3;
    const std::uint64_t p = (setting >> 11) & 7;
    const std::uint64_t d = ((setting >> 4) & 0x7F) + 2;
    return static_cast<std::uint32_t>(2 * ((20'000'000 * m / d) >> p));
}

}  // namespace

ToolDebugRunner::ToolDebugRunner(const Family& family) : family_(family), cpu_(family) {}

bool ToolDebugRunner::InKernel(int address) const {
    return debugImage_ && address >= kernelFirst_ && address < programSize_ - 1 && address != resetCopy_;
}

void ToolDebugRunner::Load(const SimChip& chip) {
    const bool changed = !everLoaded_ || chip.flash != loaded_;
    loaded_ = chip.flash;
    everLoaded_ = true;
    const SxCpuConfig config = CpuConfigOfImage(family_, chip.flash, 0);
    if (changed || config.programSize != cpu_.config().programSize) {
        std::uint16_t words[kProgramWords];
        for (int i = 0; i < kProgramWords; ++i) words[i] = chip.flash[static_cast<std::size_t>(i)] & kWordMask;
        cpu_.ClearTraps();
        cpu_.Configure(config);  // power-on reset
        cpu_.LoadProgram(words, kProgramWords);
        if (driver_) driver_->PowerOn({clockHz, cpu_.config().turbo ? 1 : 4});
        programSize_ = cpu_.config().programSize;
        kernelFirst_ = programSize_ - 137;
        kernelEntry_ = programSize_ - 512 + 0x183;
        resetCopy_ = programSize_ - 3;
        debugImage_ = HoldsDebugImage(chip.flash, programSize_);
        // The kernel's own code never runs: any of its words but the copy of
        // the reset jump halts the chip before executing.
        if (debugImage_)
            for (int a = kernelFirst_; a < programSize_ - 1; ++a)
                if (a != resetCopy_) cpu_.SetHaltBefore(a, true);
    } else {
        cpu_.Reset(SxReset::External);
    }
    breakpoint_ = -1;
}

void ToolDebugRunner::Release(SimChip& chip) {
    Load(chip);
    if (debugImage_) {
        HaltAtReset();
    } else {
        StartRunning();
    }
}

void ToolDebugRunner::StartRunning() {
    mode_ = Mode::Running;
    if (realTime) lastUs_ = NowUs();
}

void ToolDebugRunner::Advance() {
    if (mode_ != Mode::Running) return;
    std::uint64_t cycles = cyclesPerPoll;
    if (realTime) {
        const std::uint64_t now = NowUs();
        const std::uint64_t elapsed = std::min<std::uint64_t>(now - lastUs_, maxAdvanceUs);
        lastUs_ = now;
        cycles = elapsed * clockHz / 1'000'000 / (cpu_.config().turbo ? 1 : 4);  // instruction cycles
    }
    if (cycles == 0) return;
    if (driver_) {
        // A sleeping chip lets the time pass, so that scheduled edges wake it.
        AfterStop(driver_->RunTo(cpu_.cycles() + cycles));
        return;
    }
    if (cpu_.sleeping()) return;
    AfterStop(cpu_.Run(cycles));
}

void ToolDebugRunner::HaltAtReset() {
    cpu_.SetPc(static_cast<std::uint16_t>(resetCopy_));
    cpu_.SetSkipPending(false);
    Halt();
}

void ToolDebugRunner::Halt() {
    ClearBreakpoint();
    mode_ = Mode::Halted;
}

void ToolDebugRunner::ClearBreakpoint() {
    if (breakpoint_ >= 0) cpu_.SetBreakAfter(breakpoint_, false);
    breakpoint_ = -1;
}

// The chip reached the kernel: through its entry (the reset vector's stub)
// it is the halt at reset, with the page bits as a reset leaves them;
// elsewhere it halts on the kernel word it reached.
void ToolDebugRunner::AfterStop(SxStop stop) {
    switch (stop) {
        case SxStop::Breakpoint: Halt(); break;
        case SxStop::Trap:
            if (cpu_.pc() == kernelEntry_) {
                cpu_.SetStatus(static_cast<std::uint8_t>(cpu_.status() & ~kStatusPageBits));
                HaltAtReset();
            } else {
                Halt();
            }
            break;
        case SxStop::Budget:
        case SxStop::Sleep: break;
    }
}

std::uint8_t ToolDebugRunner::RunState(SimChip& chip) {
    (void)chip;
    switch (mode_) {
        case Mode::Held: return kRunStateRunning;
        case Mode::Halted: return kRunStateHalted;
        case Mode::Running: break;
    }
    Advance();
    if (mode_ == Mode::Halted) return kRunStateHalted;
    return cpu_.sleeping() ? kRunStateSleeping : kRunStateRunning;
}

void ToolDebugRunner::Step() {
    if (InKernel(cpu_.pc())) {
        // Halted on a kernel word (a runaway): nothing of it is executed.
        Halt();
        return;
    }
    if (driver_) driver_->ApplyDue();
    const SxStop stop = cpu_.Step();
    if (driver_) driver_->Reached();
    if (stop == SxStop::Sleep) {
        StartRunning();  // reports run state 1 until reset or interrupted
        return;
    }
    Halt();
    if (cpu_.pc() == kernelEntry_ && debugImage_) AfterStop(SxStop::Trap);
}

void ToolDebugRunner::Payload(SimChip& chip, const std::uint8_t* data, std::size_t size) {
    (void)chip;
    if (mode_ == Mode::Held) return;
    if (size == kWriteBytes && data[0] == kWriteAddressTag && data[2] == kWriteValueTag) {
        cpu_.Poke(data[1], data[3]);
        return;
    }
    if (IsInterruptPayload(size)) {  // halt at the next instruction
        Advance();
        if (mode_ == Mode::Running) {
            cpu_.EndSleep();  // a sleeping chip halts too, after its SLEEP
            Halt();
        }
        return;
    }
    if (size != kResumeBytes) return;
    auto at = [&](ResumeItem item) { return data[ResumeValueOffset(item)]; };
    const std::uint8_t status = at(kResumeStatus);
    cpu_.SetW(at(kResumeW));
    cpu_.SetPc(static_cast<std::uint16_t>((at(kResumePcHigh) << 8) | at(kResumePcLow)));
    cpu_.SetStatus(static_cast<std::uint8_t>((status & kStatusCarried) | (cpu_.status() & kStatusPdTo)));
    cpu_.SetInInterrupt((status & kStatusIntFlag) != 0);
    cpu_.SetSkipPending((status & kStatusSkipFlag) != 0);
    cpu_.SetFsr(at(kResumeFsr));
    cpu_.Poke(14, at(kResumeR14));
    cpu_.Poke(15, at(kResumeR15));
    cpu_.SetMode(at(kResumeM));
    cpu_.Poke(13, at(kResumeR13));
    const std::uint16_t runMode = static_cast<std::uint16_t>(at(kResumeModeLow) | (at(kResumeModeHigh) << 8));
    const int breakAddress = (at(kResumeBreakHigh) << 8) | at(kResumeBreakLow);
    ClearBreakpoint();
    switch (runMode) {
        case kModeStep: Step(); break;
        case kModeToBreak:
            // A breakpoint outside the program (4096: none) runs freely.
            if (breakAddress < programSize_ && !InKernel(breakAddress)) {
                breakpoint_ = breakAddress;
                cpu_.SetBreakAfter(breakAddress, true);
            }
            StartRunning();
            break;
        case kModeFree: StartRunning(); break;
        case kModeReset:
            cpu_.Reset(SxReset::External);
            if (debugImage_) HaltAtReset(); else StartRunning();
            break;
        default: Halt(); break;  // kModeResync and anything unknown: halt at once
    }
}

void ToolDebugRunner::ReadState(SimChip& chip, std::uint8_t count, std::uint8_t* out) {
    (void)chip;
    std::fill(out, out + count, 0);
    if (!family_.debugStateWithBanks && count == kStateRam52Bytes) {
        for (int i = 0; i < kStateRam52Bytes; ++i) out[i] = cpu_.Peek(16 + i);
        return;
    }
    std::uint8_t state[kStateHeaderBytes + 128] = {};
    const std::uint16_t pc = cpu_.pc();
    const std::uint8_t status = cpu_.status();
    state[kStateMode] = static_cast<std::uint8_t>(cpu_.mode() | ((cpu_.option() & 0x80) ? 0 : kStateWAt1));
    state[kStateW] = cpu_.w();
    state[kStatePcLow] = static_cast<std::uint8_t>(pc & 0xFF);
    state[kStatePcHigh] = static_cast<std::uint8_t>(pc >> 8);
    state[kStateStatus] = static_cast<std::uint8_t>((status & kStatusCarried) | (cpu_.inInterrupt() ? kStatusIntFlag : 0) |
                                                    (cpu_.skipPending() ? kStatusSkipFlag : 0));
    state[kStateFsr] = cpu_.fsr();
    state[kStateR13] = cpu_.Peek(13);
    state[kStateR14] = cpu_.Peek(14);
    state[kStateR15] = cpu_.Peek(15);
    state[kStateRtcc] = cpu_.rtcc();
    state[kStatePdTo] = static_cast<std::uint8_t>(status & kStatusPdTo);
    for (int i = 0; i < kStatePortCount; ++i) state[kStatePorts + i] = cpu_.Peek(5 + i);
    int total = kStateHeaderBytes;
    if (family_.debugStateWithBanks && count > kStateHeaderBytes) {
        const int banks = std::min((count - kStateHeaderBytes) / 16, 8);
        for (int j = 0; j < banks * 16; ++j) state[kStateHeaderBytes + j] = cpu_.Peek(StateBankRegister(banks, j));
        total += banks * 16;
    }
    std::copy(state, state + std::min<int>(count, total), out);
}

void ToolDebugRunner::ChipChanged(SimChip& chip) {
    // A new clock setting sets the pace of a real-time run.
    if (chip.clockRunning) {
        const std::uint32_t hz = SettingFrequency(chip.clockSetting);
        if (hz > 0) clockHz = hz;
    }
    // Erasing or programming holds the chip in reset until the next release;
    // a new clock setting leaves it as it is.
    if (everLoaded_ && chip.flash != loaded_) mode_ = Mode::Held;
    if (!everLoaded_) mode_ = Mode::Held;
}

}  // namespace korvid
