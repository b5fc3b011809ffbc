#include "sim/ToolDebug.h"

#include "sim/SimDriver.h"

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
    SxCpuConfig config = SxCpuConfigFromFuses(family_, chip.flash[kFuseIndex] & kWordMask,
                                              chip.flash[kExtFuseIndex] & kWordMask);
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
        case Mode::Held: return 0;
        case Mode::Halted: return 2;
        case Mode::Running: break;
    }
    Advance();
    if (mode_ == Mode::Halted) return 2;
    return cpu_.sleeping() ? 1 : 0;
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
    if (size == 4 && data[0] == 1 && data[2] == 2) {  // register write
        cpu_.Poke(data[1], data[3]);
        return;
    }
    if (size == 1 || size == 2) {  // interrupt: halt at the next instruction
        Advance();
        if (mode_ == Mode::Running) {
            cpu_.EndSleep();  // a sleeping chip halts too, after its SLEEP
            Halt();
        }
        return;
    }
    if (size != 28) return;
    // Resume: the second byte of each of the 14 pairs.
    auto at = [&](int pair) { return data[2 * (pair - 1) + 1]; };
    const std::uint8_t status = at(4);
    cpu_.SetW(at(1));
    cpu_.SetPc(static_cast<std::uint16_t>((at(2) << 8) | at(3)));
    cpu_.SetStatus(static_cast<std::uint8_t>((status & 0xE7) | (cpu_.status() & 0x18)));
    cpu_.SetInInterrupt((status & 0x10) != 0);
    cpu_.SetSkipPending((status & 0x08) != 0);
    cpu_.SetFsr(at(5));
    cpu_.Poke(14, at(6));
    cpu_.Poke(15, at(7));
    cpu_.SetMode(at(13));
    cpu_.Poke(13, at(14));
    const std::uint16_t runMode = static_cast<std::uint16_t>(at(8) | (at(9) << 8));
    const int breakAddress = (at(11) << 8) | at(12);
    ClearBreakpoint();
    switch (runMode) {
        case kRunStep: Step(); break;
        case kRunToBreak:
            // A breakpoint outside the program (4096: none) runs freely.
            if (breakAddress < programSize_ && !InKernel(breakAddress)) {
                breakpoint_ = breakAddress;
                cpu_.SetBreakAfter(breakAddress, true);
            }
            StartRunning();
            break;
        case kRunFree: StartRunning(); break;
        case kRunReset:
            cpu_.Reset(SxReset::External);
            if (debugImage_) HaltAtReset(); else StartRunning();
            break;
        default: Halt(); break;  // 0xF7F7 and anything unknown: halt at once
    }
}

void ToolDebugRunner::ReadState(SimChip& chip, std::uint8_t count, std::uint8_t* out) {
    (void)chip;
    std::fill(out, out + count, 0);
    if (family_.is52() && count == 240) {
        for (int i = 0; i < 240; ++i) out[i] = cpu_.Peek(16 + i);
        return;
    }
    std::uint8_t state[24 + 128] = {};
    const std::uint16_t pc = cpu_.pc();
    const std::uint8_t status = cpu_.status();
    state[0] = static_cast<std::uint8_t>(cpu_.mode() | ((cpu_.option() & 0x80) ? 0 : 0x80));
    state[1] = cpu_.w();
    state[2] = static_cast<std::uint8_t>(pc & 0xFF);
    state[3] = static_cast<std::uint8_t>(pc >> 8);
    state[4] = static_cast<std::uint8_t>((status & 0xE7) | (cpu_.inInterrupt() ? 0x10 : 0) |
                                         (cpu_.skipPending() ? 0x08 : 0));
    state[5] = cpu_.fsr();
    state[6] = cpu_.Peek(13);
    state[7] = cpu_.Peek(14);
    state[8] = cpu_.Peek(15);
    state[9] = cpu_.rtcc();
    state[11] = static_cast<std::uint8_t>(status & 0x18);
    for (int r = 5; r <= 12; ++r) state[13 + r - 5] = cpu_.Peek(r);
    int total = 24;
    if (!family_.is52() && count > 24) {
        // The upper 16 registers of the top banks, lowest bank first.
        const int banks = std::min((count - 24) / 16, 8);
        for (int j = 0; j < banks * 16; ++j) state[24 + j] = cpu_.Peek((8 - banks + j / 16) * 32 + 16 + j % 16);
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
