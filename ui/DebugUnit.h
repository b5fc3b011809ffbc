// The Debug control window: while it is visible it holds the open link to
// the tool, polls the chip every 40 ms, shows whether it runs, sleeps or is
// halted and offers the stepping and running commands of the shell's
// debugger (DebugController), which refreshes the Registers, Code and Watch
// windows at each halt. Hiding it ends debugging.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <vector>

#include "core/link/Debug.h"
#include "core/link/DebugController.h"
#include "model/DebugLogic.h"
#include "ui/DebugWindow.h"
#include "ui/Shell.h"
#include "ui/WindowRoles.h"

namespace korvid {

class TDebugForm : public TDebugWindow, public DebugObserver, public DebugRole {
    Q_OBJECT
public:
    explicit TDebugForm(Shell& shell, QWidget* parent = nullptr);

    // Run > Debug (program set) and Run > Debug (reenter) after the
    // assembly: prepares the debug image, checks the tool, programs the chip
    // when asked and shows this window. A failed preparation shows its
    // message and ends the command silently.
    void EnterDebugger(bool program) override;
    // The debug keys of every debug window: the command's button is clicked
    // when it is enabled.
    void KeyCommand(DebugCommand command) override;

    // The command buttons.
    void HopButtonClick();
    void JogButtonClick();
    void StepButtonClick();
    void WalkButtonClick();
    void RunButtonClick();
    void PollButtonClick();
    void StopButtonClick();
    void ResetButtonClick();
    void RegistersButtonClick();
    void CodeButtonClick();
    void WatchButtonClick();
    void QuitButtonClick();
    // One tick of the poll loop (the timer's handler); Tick runs it through
    // the window guard as the timer does.
    void TimerTimer();
    void Tick() { Guarded(&TDebugForm::TimerTimer); }

    // Runs an action of a view (a click, an edit) through the window guard,
    // unless a command or tick is already running.
    void RunCommand(const std::function<void()>& action);

    // The built-in places of this window and the Registers, Code and Watch
    // windows on the screen this window is on, frames included, so that
    // none covers another (the first debug session's arrangement).
    void ArrangeWindows();

    void SetButtonMask(std::uint8_t mask);
    std::uint8_t ButtonMask() const { return buttonMask_; }
    bool BreakpointSet() const { return Debugger.BreakpointSet(); }
    // The listing line of a program address (-1 when it produced no word).
    int LineOf(std::uint32_t address) const { return Debugger.LineOf(address); }

    // DebugObserver: the idle buttons.
    void Idle() override { SetIdleButtons(); }
    void SetIdleButtons();

    // The shell's debugger, its session and its command flags.
    DebugController& Debugger;
    DebugSession& Session;
    bool& HopFlag;
    bool& WalkFlag;
    std::int32_t& LastLine;

    QLabel* StatusPanel;
    QPushButton* HopButton;
    QPushButton* JogButton;
    QPushButton* StepButton;
    QPushButton* WalkButton;
    QPushButton* RunButton;
    QPushButton* PollButton;
    QPushButton* StopButton;
    QPushButton* ResetButton;
    QFrame* WindowsPanel;
    QPushButton* RegistersButton;
    QPushButton* CodeButton;
    QPushButton* WatchButton;
    QPushButton* QuitButton;
    // The cycle stopwatch: the tool counts no cycles, so it shows dashes
    // and says why.
    QLabel* StopwatchPanel;
    QTimer Timer;

protected:
    // Minimising and restoring the window neither ends nor restarts the
    // session; only show() and hide() do.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The parts the constructor builds.
    void BuildStatusPanel(int y);
    int BuildWindowsPanel(int y);
    void WireButtons();
    // The session: the link opened and the chip reset when the window is
    // shown, the session ended when it is hidden.
    void BeginSession();
    void EndSession();
    void SetMainMenuForDebugging(bool debugging);
    // Runs a command or a tick through the window guard, never two at once.
    void Guarded(void (TDebugForm::*handler)());
    // A command button: its mask, then the debugger's command.
    void Command(DebugCommand command);
    QPushButton* ButtonOf(DebugCommand command) const;
    // The window of a debugger view (none until the shell attaches it).
    QWidget* ViewWindow(DebugController::View view) const;
    void ShowView(DebugController::View view);

    // From the start (and each Reset) until the first halt of a session:
    // a chip that does not halt in time holds no debug image.
    void AwaitFirstHalt();
    void NoDebugImage();

    std::uint8_t buttonMask_ = 0;
    bool busy_ = false;
    bool awaitingHalt_ = false;
    std::uint64_t resetAt_ = 0;  // the link's milliseconds at the reset awaited
};

}  // namespace korvid
