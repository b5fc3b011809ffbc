// The debug protocol: the halted chip's registers (`ChipState`), the poll of
// the run state, reading the state, resuming in a run mode, interrupting a
// free run, register writes, the breakpoint and program-counter edits, the
// change-marking snapshots and the refresh of the debugger views.
//
// All exchanges use a link that is already open; failures leave through
// LinkError (which closes the port).
#pragma once

#include <array>
#include <cstdint>

#include "core/asm/AssemblyState.h"
#include "core/link/Link.h"
#include "family/Registers.h"

namespace korvid {

inline constexpr std::uint32_t kNoBreakpoint = 4096;
inline constexpr std::uint32_t kResyncTimeoutMs = 1000;


struct ChipState {
    std::array<std::uint32_t, 256> registers{};
    std::uint32_t M = 0;
    std::uint32_t W = 0;
    std::uint8_t IntFlag = 0;
    std::uint8_t SkipFlag = 0;
    std::uint8_t WAt1Flag = 0;
    std::uint32_t ProgramCounter = 0;
    std::uint32_t Breakpoint = kNoBreakpoint;

    bool operator==(const ChipState&) const = default;
};

// A debugger window as the session sees it: at each halt the session
// brings the program counter into view and has the window repaint against
// the change-marking snapshot; a breakpoint change repaints it too.
class DebugView {
public:
    virtual ~DebugView() = default;
    virtual bool Showing() const = 0;
    virtual void ShowProgramCounter() {}
    virtual void Repaint(bool firstRefresh) = 0;
};

// The debugger windows of a session (the program's start-up attaches them
// to the shell's DebugController; the command-line debugger has none) and
// the idle state after a breakpoint or program-counter edit, which the
// controller passes on to its observers.
class DebugViews {
public:
    enum View : std::uint8_t { Registers, Code, Watch };
    virtual ~DebugViews() = default;
    void Attach(View view, DebugView* window) { windows_[view] = window; }
    bool IsVisible(View view) const { return windows_[view] && windows_[view]->Showing(); }
    // Scroll so that the program counter is in view.
    void ShowProgramCounter(View view) {
        if (windows_[view]) windows_[view]->ShowProgramCounter();
    }
    void Repaint(View view, bool firstRefresh) {
        if (windows_[view]) windows_[view]->Repaint(firstRefresh);
    }
    DebugView* ViewOf(View view) const { return windows_[view]; }
    // The chip waits, halted, for a command.
    virtual void SetIdleButtons() {}

private:
    std::array<DebugView*, 3> windows_{};
};

class DebugSession {
public:
    DebugSession(Link& link, AssemblyState& state, DebugViews* views = nullptr);

    // The halted chip and its snapshots.
    ChipState State;
    ChipState CurrentSnapshot;
    ChipState PreviousSnapshot;

    // Connection values.
    bool StateValid = false;
    std::uint16_t LastMode = 0;
    std::uint8_t LastRunState = 0;
    bool FirstRefresh = true;
    // The target's layout at Begin (program size, banks, ports), and the
    // two figures of it most readers want.
    Layout Target;
    const int& ProgramSize = Target.programSize;
    const int& BankCount = Target.bankCount;

    // Takes the program size and bank count from the chip image's extended
    // fuse word (28 family), clears the connection values and sets the
    // breakpoint from the assembly.
    void Begin();

    // Command 5: true when the chip is halted (run state 2).
    bool Poll();
    void ReadState();
    // Reads only the head of the state block that a resume sends back
    // (MODE, W, PC, STATUS, FSR, 0Dh..0Fh): where the halted chip is, and
    // enough to send it on. The other registers keep their last reading and
    // the state stays unread (StateValid false) until ReadState.
    void ReadPosition();
    void Resume(std::uint16_t mode);
    void Interrupt();
    // address 0..255, kRegisterM or kRegisterW.
    void WriteRegister(int address, std::uint32_t value);
    void Resync();
    void ToggleBreakpoint(int address);
    void MoveProgramCounter(int address);
    void TakeSnapshot();
    void RefreshViews();
    // End of a debug connection: stop the clock and close the link.
    void End();

    Link& link() { return link_; }
    AssemblyState& assembly() { return state_; }
    void SetViews(DebugViews* views) { views_ = views ? views : &noViews_; }

private:
    // The first `count` bytes of the state block's header.
    void ReadHeader(int count);
    // What follows from the header: the program counter at reset, PCL, the
    // indirect register and W in 01h.
    void SettleHeader();

    Link& link_;
    AssemblyState& state_;
    DebugViews noViews_;
    DebugViews* views_;
};

}  // namespace korvid
