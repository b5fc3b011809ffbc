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

namespace korvid {

inline constexpr std::uint32_t kNoBreakpoint = 4096;
inline constexpr std::uint32_t kResyncTimeoutMs = 1000;

// Register numbers the views use for M and W.
inline constexpr int kRegisterM = 256;
inline constexpr int kRegisterW = 257;

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

// The debugger windows as the protocol sees them (the windows implement it;
// the command-line debugger leaves it at the defaults).
class DebugViews {
public:
    enum View : std::uint8_t { Registers, Code, Watch };
    virtual ~DebugViews() = default;
    virtual bool IsVisible(View view) {
        (void)view;
        return false;
    }
    // Scroll so that the program counter is in view.
    virtual void ShowProgramCounter(View view) { (void)view; }
    virtual void Repaint(View view, bool firstRefresh) { (void)view, (void)firstRefresh; }
    // The Debug window's buttons for the idle state.
    virtual void SetIdleButtons() {}
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
    // The target's layout at Begin, and the two figures of it the views read.
    Layout Target;
    int ProgramSize = 2048;
    int BankCount = 8;

    // Takes the program size and bank count from the chip image's extended
    // fuse word (28 family), clears the connection values and sets the
    // breakpoint from the assembly.
    void Begin();

    // Command 5: true when the chip is halted (run state 2).
    bool Poll();
    void ReadState();
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
    void ReadHeader();

    Link& link_;
    AssemblyState& state_;
    DebugViews noViews_;
    DebugViews* views_;
};

}  // namespace korvid
