#include "dap/ToolTarget.h"

#include "core/image/DebugImage.h"
#include "core/link/Irc.h"
#include "core/link/LinkError.h"
#include "core/link/LinkObserver.h"
#include "platform/PortName.h"
#include "platform/SerialPorts.h"
#include "core/link/Programming.h"
#include "family/Registers.h"
#include "sim/SimSetup.h"

namespace korvid::dap {
namespace {

// Places of the fixed registers in a mirror snapshot; the file follows
// from kFile on (its addresses 05h..FFh).
enum : int { kW, kStatus, kFsr, kM, kRtcc, kPc, kFile };
constexpr int kFirstFileRegister = kFirstPortRegister;

// Whether file address `a` of the debugger's numbering holds a register of
// its own (not an alias of 00h..0Fh in a bank of the 28 family).
bool OwnAddress(const SxCpu& cpu, int a) { return a < 16 || !cpu.family().globalRegistersMirrored || (a & 0x10); }

std::array<std::uint32_t, 262> Snapshot(const SxCpu& cpu) {
    std::array<std::uint32_t, 262> s{};
    s[kW] = cpu.w();
    s[kStatus] = cpu.status();
    s[kFsr] = cpu.fsr();
    s[kM] = cpu.mode();
    s[kRtcc] = cpu.rtcc();
    s[kPc] = cpu.pc();
    for (int a = kFirstFileRegister; a < 256; ++a) {
        const int port = a - kFirstFileRegister;
        s[std::size_t(kFile + a - kFirstFileRegister)] =
            port < cpu.portCount() ? cpu.portLatch(port) : OwnAddress(cpu, a) ? cpu.Peek(a) : 0;
    }
    return s;
}

}  // namespace

namespace {

std::unique_ptr<SerialDevice> SystemPort() {
    // An editor ends its adapter with a signal: the port is released then.
    ReleasePortsOnSignals();
    return MakeSerialDevice();
}

}  // namespace

ToolTarget::ToolTarget(AssemblyState& state, const Family& family, std::unique_ptr<SerialDevice> device)
    : state_(state), device_(device ? std::move(device) : SystemPort()), mirror_(family) {
    debugger_.ContinueAtBreakpoint = false;  // the session decides what a halt does
}

std::uint8_t ToolTarget::FileByte(int address) const {
    const int port = address - kFirstPortRegister;
    if (port >= 0 && port < mirror_.portCount()) return mirror_.portLatch(port);
    return mirror_.Peek(address);
}

bool ToolTarget::Restart(std::string& /*message*/) {
    Reset();
    return true;
}

bool ToolTarget::End(bool stopChip, std::string& /*message*/) {
    if (stopChip) End();
    else Leave();
    return true;
}

ToolTarget::~ToolTarget() { End(); }

bool ToolTarget::Start(const std::string& port, bool program, std::string& message) {
    if (!IsValidPortName(port)) {
        message = "target '" + port + "' is not 'sim', COM1 to COM4 or a device path";
        return false;
    }
    link_.PortName = port;
    PrepareDebugImage(state_);
    if (state_.ErrorFlag) {
        for (const char* c = state_.ErrorMessage; *c; ++c)
            if (*c != '\r') message += *c;
        return false;
    }
    LoadCpuFromImage(mirror_, mirror_.family(), state_.ChipImage, state_.ClockFrequency);
    try {
        link_.RequireDebugTool();
        if (program) {
            IrcSettings irc;
            ProgramDevice(link_, state_, irc, NoLinkObserver(), false);
        }
        link_.OpenLink();
        debugger_.Begin();
        debugger_.Reset();
        if (!WaitHalt(kResetHaltTimeoutMs))
            throw LinkFailure(program ? "the chip did not halt at reset"
                                      : "the chip did not halt at reset: does it hold the debug image? (launch programs it)");
    } catch (const LinkFailure& failure) {
        message = failure.CommandLineText();
        if (const std::string note = LinkFailureNote(link_); !note.empty()) message += " (" + note + ")";
        End();
        return false;
    }
    return true;
}

void ToolTarget::LoadPosition() {
    const ChipState& c = debugger_.Session.State;
    const auto& r = c.registers;
    mirror_.SetPc(std::uint16_t(c.ProgramCounter));
    mirror_.SetW(std::uint8_t(c.W));
    mirror_.SetMode(std::uint8_t(c.M));
    mirror_.SetFsr(std::uint8_t(r[4]));
    mirror_.SetStatus(std::uint8_t(r[3]));
    mirror_.SetSkipPending(c.SkipFlag != 0);
    mirror_.SetInInterrupt(c.IntFlag != 0);
}

void ToolTarget::LoadMirror() {
    const ChipState& c = debugger_.Session.State;
    const auto& r = c.registers;
    LoadPosition();
    if (!c.WAt1Flag) mirror_.SetRtcc(std::uint8_t(r[1]));
    for (int a = kFirstFileRegister; a < 256; ++a)
        if (a - kFirstFileRegister < mirror_.portCount() || OwnAddress(mirror_, a)) mirror_.Poke(a, std::uint8_t(r[std::size_t(a)]));
    loaded_ = Snapshot(mirror_);
}

void ToolTarget::Run(std::optional<int> breakAfter) {
    DebugSession& s = debugger_.Session;
    partial_ = false;
    s.State.Breakpoint = breakAfter ? std::uint32_t(*breakAfter) : kNoBreakpoint;
    s.Resume(breakAfter ? kModeToBreak : kModeFree);
}

bool ToolTarget::Halted() {
    if (debugger_.Look() != DebugEvent::NewHalt) return false;
    debugger_.Session.ReadState();
    LoadMirror();
    return true;
}

void ToolTarget::Interrupt() { debugger_.Session.Interrupt(); }

bool ToolTarget::Poll(std::uint32_t ms) {
    DebugSession& s = debugger_.Session;
    TickSource& ticks = link_.Ticks();
    const std::uint64_t start = ticks.NowMs();
    for (;;) {
        if (s.Poll()) return true;
        if (s.LastRunState == kRunStateSleeping || ticks.NowMs() - start >= ms) return false;
        ticks.SleepMs(1);
    }
}

bool ToolTarget::WaitHalt(std::uint32_t ms) {
    partial_ = false;
    if (!Poll(ms)) return false;
    debugger_.Session.ReadState();
    LoadMirror();
    return true;
}

bool ToolTarget::StepSilently() {
    partial_ = false;
    debugger_.Session.Resume(kModeStep);
    if (!Poll(1000)) return false;
    debugger_.Session.ReadPosition();
    LoadPosition();
    partial_ = true;
    return true;
}

void ToolTarget::Complete() {
    if (!partial_) return;
    partial_ = false;
    debugger_.Session.ReadState();
    LoadMirror();
}

void ToolTarget::Reset() {
    if (!debugger_.Session.StateValid) {
        Interrupt();
        WaitHalt(1000);
    }
    debugger_.Reset();
    if (!WaitHalt(kResetHaltTimeoutMs)) throw LinkFailure("the chip did not halt at reset");
}

void ToolTarget::Changed() {
    DebugSession& s = debugger_.Session;
    const auto now = Snapshot(mirror_);
    struct Fixed {
        int place;
        int address;
    };
    static constexpr Fixed kFixed[] = {{kW, kRegisterW}, {kStatus, kStatusRegister}, {kFsr, kFsrRegister}, {kM, kRegisterM}, {kRtcc, kRtccRegister}};
    for (const Fixed& f : kFixed)
        if (now[std::size_t(f.place)] != loaded_[std::size_t(f.place)]) s.WriteRegister(f.address, now[std::size_t(f.place)]);
    for (int a = kFirstFileRegister; a < 256; ++a) {
        const std::size_t i = std::size_t(kFile + a - kFirstFileRegister);
        if (now[i] != loaded_[i]) s.WriteRegister(a, now[i]);
    }
    if (now[kPc] != loaded_[kPc]) {
        s.State.ProgramCounter = now[kPc];
        s.State.SkipFlag = 0;
    }
    s.Resync();
    LoadMirror();
}

void ToolTarget::Leave() {
    try {
        if (link_.PortOpen) link_.CloseLink();
    } catch (const LinkFailure&) {
        // The tool is gone: nothing is left to close.
    }
}

void ToolTarget::End() {
    try {
        debugger_.Session.End();
    } catch (const LinkFailure&) {
        // The tool is gone: nothing is left to close.
    }
}

}  // namespace korvid::dap
