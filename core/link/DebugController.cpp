#include "core/link/DebugController.h"

#include "core/image/DebugKernel.h"
#include "core/link/Clock.h"
#include "core/link/Programming.h"
#include "core/link/Protocol.h"

namespace korvid {

DebugController::DebugController(Link& link, AssemblyState& state)
    : Session(link, state, this), link_(link), state_(state) {}

void DebugController::Begin() {
    Session.Begin();
    HopFlag = WalkFlag = false;
    LastLine = -1;
}

int DebugController::LineOf(std::uint32_t address) const { return state_.AddressLine[address % kProgramWords]; }

void DebugController::Execute(DebugCommand command) {
    switch (command) {
        case DebugCommand::Hop:
        case DebugCommand::Jog:
            Session.Resume(kModeStep);
            HopFlag = true;
            LastLine = LineOf(Session.State.ProgramCounter);
            if (command == DebugCommand::Jog) WalkFlag = true;
            break;
        case DebugCommand::Step:
        case DebugCommand::Walk:
            Session.Resume(kModeStep);
            HopFlag = false;
            if (command == DebugCommand::Walk) WalkFlag = true;
            break;
        case DebugCommand::Run:
            HopFlag = false;
            Session.Resume(BreakpointSet() ? kModeToBreak : kModeFree);
            break;
        case DebugCommand::Poll:
            HopFlag = false;
            if (BreakpointSet())
                Session.Resume(kModeToBreak);
            else
                Session.Interrupt();
            WalkFlag = true;
            break;
        case DebugCommand::Stop:
            if (Session.LastMode == kModeFree) Session.Interrupt();
            // A Hop or Jog in progress ends at the next halt, wherever it is.
            HopFlag = false;
            WalkFlag = false;
            break;
    }
}

void DebugController::Reset() {
    HopFlag = false;
    WalkFlag = false;
    if (Session.StateValid) {
        Session.State.ProgramCounter = KernelStartAddress(Session.ProgramSize);
        Session.Resume(kModeReset);
    }
    StartClock(link_, state_.ClockFrequency);
    ReleaseChip(link_);
}

DebugEvent DebugController::Look() {
    (void)Session.Poll();
    if (!Session.Poll()) {
        if (Session.StateValid) return DebugEvent::Seen;
        return Session.LastRunState == kRunStateSleeping ? DebugEvent::Sleeping : DebugEvent::Running;
    }
    // A halt is handled once: when its state has been read, later looks
    // only poll, so that the marks of that halt stay until the next one.
    return Session.StateValid ? DebugEvent::Seen : DebugEvent::NewHalt;
}

DebugHalt DebugController::HandleHalt() {
    const ChipState& c = Session.State;
    DebugHalt halt{DebugEvent::Shown, false, c.ProgramCounter};
    if (c.ProgramCounter == c.Breakpoint) {
        HopFlag = false;
        WalkFlag = false;
        Session.RefreshViews();
        if (ContinueAtBreakpoint) Session.Resume(Session.LastMode);
        halt = {DebugEvent::Breakpoint, ContinueAtBreakpoint, halt.programCounter};
    } else if (WithinLine(c.ProgramCounter)) {
        return StepOn(c.ProgramCounter);
    } else {
        LastLine = LineOf(c.ProgramCounter);
        Session.RefreshViews();
        if (WalkFlag) {
            Session.Resume(Session.LastMode);
            halt.resumed = true;
        }
    }
    Tell(halt);
    if (!halt.resumed) SetIdleButtons();
    return halt;
}

bool DebugController::WithinLine(std::uint32_t pc) const {
    return HopFlag && pc != Session.State.Breakpoint && LineOf(pc) == LastLine;
}

DebugHalt DebugController::StepOn(std::uint32_t pc) {
    Session.Resume(Session.LastMode);
    const DebugHalt halt{DebugEvent::WithinLine, true, pc};
    Tell(halt);
    return halt;
}

DebugHalt DebugController::TakeHalt() {
    if (HopFlag) {
        // The silent steps of a Hop cost a resume, a poll and this short
        // read: the registers the views show are read once, where it ends.
        Session.ReadPosition();
        if (WithinLine(Session.State.ProgramCounter)) return StepOn(Session.State.ProgramCounter);
    }
    Session.ReadState();
    return HandleHalt();
}

DebugHalt DebugController::TakeHalts(const std::function<bool()>& outOfTime) {
    for (;;) {
        const DebugHalt halt = TakeHalt();
        if (halt.event != DebugEvent::WithinLine) return halt;
        // A Hop within one listing line steps on within the budget, so that
        // a long loop on one line ends as fast as the link allows; a halt
        // not yet seen when the budget is spent is left to the next look.
        do {
            if (outOfTime()) return halt;
        } while (!Session.Poll());
    }
}

void DebugController::SetIdleButtons() {
    for (DebugObserver* o : observers_) o->Idle();
}

void DebugController::Tell(const DebugHalt& halt) {
    for (DebugObserver* o : observers_) o->Halted(halt);
}

}  // namespace korvid
