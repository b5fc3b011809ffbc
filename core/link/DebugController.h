// The debugger's commands and their halt rules, written once for every
// front end (the Debug window, `korvid debug`, a debug adapter): Step,
// Walk, Hop, Jog, Run, Poll, Stop and Reset over one DebugSession, the
// look at the chip that notices a halt, and what each new halt does next
// (show it, go on within a listing line, go on walking, or wait). The
// Registers, Code and Watch views attach here; observers hear of every
// halt and of the idle state.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/asm/AssemblyState.h"
#include "core/link/Debug.h"
#include "core/link/Link.h"

namespace korvid {

// How long a chip holding the debug image may take to halt after a reset
// and release; a chip that has not halted by then runs a program of its own.
inline constexpr std::uint32_t kResetHaltTimeoutMs = 5000;

enum class DebugCommand : std::uint8_t { Hop, Jog, Step, Walk, Run, Poll, Stop };

// What a look at the chip or a halt came to.
enum class DebugEvent : std::uint8_t {
    Running,     // not halted (and no halt read since the last command)
    Sleeping,    // not halted: the chip sleeps
    Seen,        // nothing new: this halt was handled before
    NewHalt,     // halted, not yet read (Look only)
    Breakpoint,  // at the breakpoint: shown (and resumed, see ContinueAtBreakpoint)
    WithinLine,  // a Hop still on its line: resumed without showing
    Shown,       // shown; resumed when walking, else idle
};

struct DebugHalt {
    DebugEvent event = DebugEvent::Seen;
    bool resumed = false;  // the chip was sent on in the last mode
    std::uint32_t programCounter = 0;
};

class DebugObserver {
public:
    virtual ~DebugObserver() = default;
    // A halt was handled (Breakpoint, WithinLine or Shown).
    virtual void Halted(const DebugHalt&) {}
    // The chip waits, halted, for a command.
    virtual void Idle() {}
};

class DebugController : private DebugViews {
public:
    DebugController(Link& link, AssemblyState& state);

    DebugSession Session;
    bool HopFlag = false;
    bool WalkFlag = false;
    std::int32_t LastLine = -1;
    // The Debug window shows a halt at the breakpoint and lets the chip go
    // on in the last mode (a run to the breakpoint repeats, refreshing at
    // each pass); a script or a debug adapter stops there instead.
    bool ContinueAtBreakpoint = true;

    // A new connection: the session's Begin, the command flags cleared.
    void Begin();
    void Execute(DebugCommand command);
    void Reset();
    bool BreakpointSet() const { return Session.State.Breakpoint != kNoBreakpoint; }
    // The listing line of a program address (-1 when it produced no word).
    int LineOf(std::uint32_t address) const;

    // Two polls (the first answer is stale); reads nothing.
    DebugEvent Look();
    // After ReadState: the halt rules for the halt just read.
    DebugHalt HandleHalt();
    // A halt the last poll found: read and handled. A Hop reads first only
    // where the chip is and, while it stays on its line, sends it on at once
    // (WithinLine); any other halt reads the whole state (HandleHalt).
    DebugHalt TakeHalt();
    // The Debug window's tick after Look found a new halt: reads and
    // handles it; a Hop within its line steps on until the line changes
    // or `outOfTime` says the tick's budget is spent.
    DebugHalt TakeHalts(const std::function<bool()>& outOfTime);

    // The views shown by the session at each halt.
    using View = DebugViews::View;
    static constexpr View Registers = DebugViews::Registers;
    static constexpr View Code = DebugViews::Code;
    static constexpr View Watch = DebugViews::Watch;
    using DebugViews::Attach;
    using DebugViews::IsVisible;
    using DebugViews::Repaint;
    DebugView* ViewOf(View view) const { return DebugViews::ViewOf(view); }

    void AddObserver(DebugObserver* observer) { observers_.push_back(observer); }
    void RemoveObserver(DebugObserver* observer) { std::erase(observers_, observer); }

    // An action of a view (a click, an edit) runs through the front end's
    // command guard, which the Debug window sets; without one it runs as is.
    std::function<void(const std::function<void()>&)> commandRunner;
    void RunCommand(const std::function<void()>& action) {
        if (commandRunner)
            commandRunner(action);
        else
            action();
    }

private:
    void SetIdleButtons() override;
    void Tell(const DebugHalt& halt);
    // A Hop's halt at `pc` that is still on its line: not shown, stepped on.
    bool WithinLine(std::uint32_t pc) const;
    DebugHalt StepOn(std::uint32_t pc);

    Link& link_;
    AssemblyState& state_;
    std::vector<DebugObserver*> observers_;
};

}  // namespace korvid
