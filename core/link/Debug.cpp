#include "core/link/Debug.h"

#include "core/link/Clock.h"
#include "core/link/LinkError.h"

namespace korvid {

namespace {


}  // namespace

DebugSession::DebugSession(Link& link, AssemblyState& state, DebugViews* views)
    : link_(link), state_(state), views_(views ? views : &noViews_) {
    Begin();
}

void DebugSession::Begin() {
    Target = LayoutOf(*state_.family, state_.ChipImage[kExtFuseIndex]);
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
    // Noise on the line, not a run state: polling on would read it as
    // "running" for ever.
    if (LastRunState > kRunStateHalted) LinkError(link_, LinkFault::BadReply);
    return LastRunState == kRunStateHalted;
}

// The header of the state block: the same in both families.
void DebugSession::ReadHeader(int count) {
    std::uint8_t h[kStateHeaderBytes] = {};
    for (int i = 0; i < count; ++i) h[i] = link_.ReceiveByte();
    auto& r = State.registers;
    State.M = h[kStateMode] & state_.family->modeMask;
    State.WAt1Flag = (h[kStateMode] & kStateWAt1) ? 1 : 0;
    State.W = h[kStateW];
    State.ProgramCounter = (h[kStatePcHigh] * 256u + h[kStatePcLow]) & static_cast<std::uint32_t>(ProgramSize - 1);
    const std::uint8_t status = h[kStateStatus];
    State.IntFlag = (status & kStatusIntFlag) ? 1 : 0;
    State.SkipFlag = (status & kStatusSkipFlag) ? 1 : 0;
    r[4] = h[kStateFsr];
    r[13] = h[kStateR13];
    r[14] = h[kStateR14];
    r[15] = h[kStateR15];
    if (count < kStateHeaderBytes) {
        r[3] = (status & kStatusCarried) | (r[3] & kStatusPdTo);  // power-down and time-out as last read
        return;
    }
    r[3] = (status & kStatusCarried) + (h[kStatePdTo] & kStatusPdTo);
    r[1] = h[kStateRtcc];
    for (int i = 0; i < kStatePortCount; ++i) r[5 + i] = h[kStatePorts + i];
}

void DebugSession::SettleHeader() {
    auto& r = State.registers;
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
    r[4] |= Target.forcedFsrBits;
    r[0] = r[static_cast<std::size_t>(IndirectRegister(*state_.family, r[4]))];
}

void DebugSession::ReadState() {
    const bool is52 = state_.family->is52();
    auto& r = State.registers;
    link_.SendByte(kCmdReadState);
    link_.SendByte(static_cast<std::uint8_t>(is52 ? kStateHeaderBytes : BankCount * 16 + kStateHeaderBytes));
    link_.Flush();
    ReadHeader(kStateHeaderBytes);
    if (is52) {
        link_.SendByte(kCmdReadState);
        link_.SendByte(static_cast<std::uint8_t>(kStateRam52Bytes));
        link_.Flush();
        for (int i = 16; i < 256; ++i) r[i] = link_.ReceiveByte();
    } else {
        for (int j = 0; j < BankCount * 16; ++j) r[StateBankRegister(BankCount, j)] = link_.ReceiveByte();
    }
    SettleHeader();
    StateValid = true;
}

void DebugSession::ReadPosition() {
    link_.SendByte(kCmdReadState);
    link_.SendByte(static_cast<std::uint8_t>(kStatePosition));
    link_.Flush();
    ReadHeader(kStatePosition);
    SettleHeader();
}

void DebugSession::Resume(std::uint16_t mode) {
    const std::uint32_t size = static_cast<std::uint32_t>(ProgramSize);
    const auto& r = State.registers;
    const bool atReset = State.ProgramCounter == size - 1;
    const std::uint32_t pc = State.ProgramCounter;
    std::uint32_t v[kResumeItems];
    v[kResumeW] = State.W;
    v[kResumePcHigh] = pc >> 8;
    v[kResumePcLow] = atReset ? (pc & 0xFF) - 2 : (pc & 0xFF);
    v[kResumeStatus] =
        (r[3] & kStatusCarried) + State.IntFlag * kStatusIntFlag + (atReset ? 0u : State.SkipFlag * kStatusSkipFlag);
    v[kResumeFsr] = r[4];
    v[kResumeR14] = r[14];
    v[kResumeR15] = r[15];
    v[kResumeModeLow] = mode & 0xFF;
    v[kResumeModeHigh] = mode >> 8;
    v[kResumeFixed] = kResumeFixedValue;
    v[kResumeBreakHigh] = State.Breakpoint >> 8;
    v[kResumeBreakLow] = State.Breakpoint & 0xFF;
    v[kResumeM] = State.M;
    v[kResumeR13] = r[13];
    link_.SendByte(kCmdPayload);
    link_.SendByte(kResumeBytes);
    for (int i = 0; i < kResumeItems; ++i) {
        link_.SendByte(kResumeTags[i]);
        link_.SendByte(static_cast<std::uint8_t>(v[i] & 0xFF));
    }
    link_.Flush();
    LastMode = mode;
    StateValid = false;
}

void DebugSession::Interrupt() {
    const std::uint8_t size = state_.family->debugInterruptBytes;
    link_.SendByte(kCmdPayload);
    link_.SendByte(size);
    for (std::uint8_t i = 0; i < size; ++i) link_.SendByte(0);
    link_.Flush();
}

void DebugSession::WriteRegister(int address, std::uint32_t value) {
    auto& r = State.registers;
    value &= 0xFF;
    if (address == 0) address = static_cast<int>(r[4] & 0xFF);
    if (address >= 0 && address < 0x100) address = IndirectRegister(*state_.family, static_cast<std::uint32_t>(address));
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
        State.ProgramCounter = (((r[3] & 0xE0) * 16) + ((value - 1) & 0xFF)) & Target.addressMask;
        State.SkipFlag = 0;
    }
    if (address == 1 || (address >= 5 && address <= 12) || address >= 16) {
        link_.SendByte(kCmdPayload);
        link_.SendByte(kWriteBytes);
        link_.SendByte(kWriteAddressTag);
        link_.SendByte(static_cast<std::uint8_t>(address));
        link_.SendByte(kWriteValueTag);
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
    // The page bits of STATUS the program size uses take the address's page.
    const std::uint32_t m = static_cast<std::uint32_t>(ProgramSize / 16 - 1) & 0xE0;
    WriteRegister(3, ((a / 16) & m) | (status & ~m));
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
