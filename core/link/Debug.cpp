#include "core/link/Debug.h"

#include "core/link/Clock.h"
#include "core/link/LinkError.h"

namespace korvid {

namespace {

constexpr std::uint8_t kRunStateHalted = 2;
constexpr int kStateHeaderBytes = 24;
constexpr int kRamBytes52 = 240;

// Banks of a 28-family part by the memory code of its extended fuse word.
constexpr int kBanks28[4] = {1, 1, 4, 8};

}  // namespace

DebugSession::DebugSession(Link& link, AssemblyState& state, DebugViews* views)
    : link_(link), state_(state), views_(views ? views : &noViews_) {
    Begin();
}

void DebugSession::Begin() {
    const Family& family = *state_.family;
    const std::uint16_t extFuse = state_.ChipImage[kExtFuseIndex];
    ProgramSize = korvid::ProgramSize(family, extFuse);
    BankCount = family.is52() ? 16 : kBanks28[extFuse & 3];
    LastRunState = 0;
    LastMode = 0;
    StateValid = false;
    State.Breakpoint = state_.BreakAddress;
    FirstRefresh = true;
}

bool DebugSession::Poll() {
    link_.SendByte(kCmdPoll);
    link_.Flush();
    LastRunState = link_.ReceiveByte();
    return LastRunState == kRunStateHalted;
}

// Items 1 to 12 of the state: the same 24 bytes in both families.
void DebugSession::ReadHeader(bool is52) {
    auto& r = State.registers;
    const std::uint8_t first = link_.ReceiveByte();
    State.M = first & (is52 ? 0x1F : 0x0F);
    State.WAt1Flag = (first >> 7) & 1;
    State.W = link_.ReceiveByte();
    const std::uint32_t low = link_.ReceiveByte();
    const std::uint32_t high = link_.ReceiveByte();
    State.ProgramCounter = (high * 256 + low) & static_cast<std::uint32_t>(ProgramSize - 1);
    const std::uint8_t status = link_.ReceiveByte();
    r[3] = status & 0xE7;
    State.IntFlag = (status >> 4) & 1;
    State.SkipFlag = (status >> 3) & 1;
    r[4] = link_.ReceiveByte();
    for (int i = 13; i <= 15; ++i) r[i] = link_.ReceiveByte();
    r[1] = link_.ReceiveByte();
    (void)link_.ReceiveByte();
    r[3] += link_.ReceiveByte() & 0x18;  // power-down and time-out bits
    (void)link_.ReceiveByte();
    for (int i = 5; i <= 12; ++i) r[i] = link_.ReceiveByte();
    for (int i = 0; i < 3; ++i) (void)link_.ReceiveByte();
}

void DebugSession::ReadState() {
    const bool is52 = state_.family->is52();
    auto& r = State.registers;
    link_.SendByte(kCmdReadState);
    link_.SendByte(static_cast<std::uint8_t>(is52 ? kStateHeaderBytes : BankCount * 16 + kStateHeaderBytes));
    link_.Flush();
    ReadHeader(is52);
    if (is52) {
        link_.SendByte(kCmdReadState);
        link_.SendByte(static_cast<std::uint8_t>(kRamBytes52));
        link_.Flush();
        for (int i = 16; i < 256; ++i) r[i] = link_.ReceiveByte();
    } else {
        // The upper 16 registers of the top banks, lowest bank first.
        for (int j = 0; j < BankCount * 16; ++j) r[(8 - BankCount + j / 16) * 32 + 16 + j % 16] = link_.ReceiveByte();
    }
    const std::uint32_t size = static_cast<std::uint32_t>(ProgramSize);
    if (State.ProgramCounter == size - 1) {
        r[3] &= 0x1F;
        State.IntFlag = 0;
        State.SkipFlag = 0;
    }
    if (State.ProgramCounter == size - 3) State.ProgramCounter = size - 1;
    r[0] = 0;
    if (State.WAt1Flag) r[1] = State.W;
    r[2] = (State.ProgramCounter + 1) & 0xFF;
    if (!is52) r[4] |= static_cast<std::uint32_t>(BankCount * 0xE0) & 0xFF;
    const std::uint32_t fsr = r[4] & 0xFF;
    r[0] = r[(is52 || (fsr & 0x10)) ? fsr : (fsr & 0x0F)];
    StateValid = true;
}

void DebugSession::Resume(std::uint16_t mode) {
    const std::uint32_t size = static_cast<std::uint32_t>(ProgramSize);
    const auto& r = State.registers;
    const bool atReset = State.ProgramCounter == size - 1;
    const std::uint32_t pc = State.ProgramCounter;
    auto pair = [this](std::uint8_t first, std::uint32_t second) {
        link_.SendByte(first);
        link_.SendByte(static_cast<std::uint8_t>(second & 0xFF));
    };
    link_.SendByte(kCmdPayload);
    link_.SendByte(28);
    pair(4, State.W);
    pair(0, pc >> 8);
    pair(8, atReset ? (pc & 0xFF) - 2 : (pc & 0xFF));
    pair(0x10, (r[3] & 0xE7) + State.IntFlag * 16u + (atReset ? 0u : State.SkipFlag * 8u));
    pair(0x20, r[4]);
    pair(0, r[14]);
    pair(0, r[15]);
    pair(0, mode & 0xFF);
    pair(0, mode >> 8);
    pair(0, 0xF7);
    pair(0, State.Breakpoint >> 8);
    pair(0x40, State.Breakpoint & 0xFF);
    pair(0, State.M);
    pair(0x80, r[13]);
    link_.Flush();
    LastMode = mode;
    StateValid = false;
}

void DebugSession::Interrupt() {
    link_.SendByte(kCmdPayload);
    if (state_.family->is52()) {
        link_.SendByte(2);
        link_.SendByte(0);
        link_.SendByte(0);
    } else {
        link_.SendByte(1);
        link_.SendByte(0);
    }
    link_.Flush();
}

void DebugSession::WriteRegister(int address, std::uint32_t value) {
    auto& r = State.registers;
    const bool is52 = state_.family->is52();
    value &= 0xFF;
    if (address == 0) address = static_cast<int>(r[4] & 0xFF);
    if (!is52 && !(address & 0x10) && !(address & 0x100)) address &= 0x0F;
    if (address == kRegisterM) {
        State.M = value;
        return;
    }
    if (address == kRegisterW || (address == 1 && State.WAt1Flag)) {
        State.W = value;
        if (State.WAt1Flag) r[1] = value;
        return;
    }
    if (address < 0 || address > 255) return;
    r[static_cast<std::size_t>(address)] = value;
    if (address == 2) {
        std::uint32_t pc = ((r[3] & 0xE0) * 16) + ((value - 1) & 0xFF);
        if (!is52) pc &= static_cast<std::uint32_t>(ProgramSize - 1);
        State.ProgramCounter = pc;
        State.SkipFlag = 0;
    }
    if (address == 1 || (address >= 5 && address <= 12) || address >= 16) {
        link_.SendByte(kCmdPayload);
        link_.SendByte(4);
        link_.SendByte(1);
        link_.SendByte(static_cast<std::uint8_t>(address));
        link_.SendByte(2);
        link_.SendByte(static_cast<std::uint8_t>(value));
        link_.Flush();
    }
}

void DebugSession::Resync() {
    Resume(kModeResync);
    TickSource& ticks = link_.Ticks();
    const std::uint64_t start = ticks.NowMs();
    while (!Poll()) {
        if (ticks.NowMs() - start >= kResyncTimeoutMs) LinkError(link_, "Chip connection failed");
        ticks.SleepMs(1);  // a test clock advances; a real one is not spun
    }
    ReadState();
    RefreshViews();
}

namespace {
bool IsProgramWord(const AssemblyState& state, int address) {
    return address >= 0 && address < kProgramWords && (state.ChipImage[static_cast<std::size_t>(address)] & kDataFlag);
}
}  // namespace

void DebugSession::ToggleBreakpoint(int address) {
    if (!IsProgramWord(state_, address)) return;
    CurrentSnapshot.Breakpoint = State.Breakpoint;
    State.Breakpoint = State.Breakpoint == static_cast<std::uint32_t>(address) ? kNoBreakpoint
                                                                                 : static_cast<std::uint32_t>(address);
    for (DebugViews::View v : {DebugViews::Registers, DebugViews::Code})
        if (views_->IsVisible(v)) views_->Repaint(v, false);
    views_->SetIdleButtons();
}

void DebugSession::MoveProgramCounter(int address) {
    if (!IsProgramWord(state_, address)) return;
    State.Breakpoint = CurrentSnapshot.Breakpoint;
    State.ProgramCounter = static_cast<std::uint32_t>(address);
    State.SkipFlag = 0;
    const std::uint32_t status = State.registers[3];
    const std::uint32_t a = static_cast<std::uint32_t>(address);
    std::uint32_t value;
    if (state_.family->is52()) {
        value = (a / 512) * 32 | (status & 0x1F);
    } else {
        const std::uint32_t m = static_cast<std::uint32_t>(ProgramSize / 16 - 1) & 0xE0;
        value = ((a / 16) & m) | (status & ~m);
    }
    WriteRegister(3, value);
    Resync();
    views_->SetIdleButtons();
}

void DebugSession::TakeSnapshot() {
    PreviousSnapshot = CurrentSnapshot;
    CurrentSnapshot = State;
}

void DebugSession::RefreshViews() {
    if (FirstRefresh) {
        TakeSnapshot();
        TakeSnapshot();
    }
    for (DebugViews::View v : {DebugViews::Registers, DebugViews::Code})
        if (views_->IsVisible(v)) views_->ShowProgramCounter(v);
    for (DebugViews::View v : {DebugViews::Registers, DebugViews::Code, DebugViews::Watch})
        if (views_->IsVisible(v)) views_->Repaint(v, FirstRefresh);
    TakeSnapshot();
    FirstRefresh = false;
}

void DebugSession::End() {
    if (!link_.PortOpen) return;
    StopClock(link_);
    link_.CloseLink();
}

}  // namespace korvid
