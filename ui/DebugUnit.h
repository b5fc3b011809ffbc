// The Debug control window: while it is visible it holds the open link to
// the tool, polls the chip every 40 ms, shows whether it runs, sleeps or is
// halted and offers the stepping and running commands of the shell's
// debugger (DebugController), which refreshes the Registers, Code and Watch
// windows at each halt. Hiding it ends debugging.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <vector>

#include "core/link/Debug.h"
#include "core/link/DebugController.h"
#include "model/DebugLogic.h"
#include "ui/Shell.h"

namespace korvid {

class TDebugForm : public QDialog, public DebugObserver {
    Q_OBJECT
public:
    explicit TDebugForm(Shell& shell, QWidget* parent = nullptr);

    // Run > Debug (program set) and Run > Debug (reenter) after the
    // assembly: prepares the debug image, checks the tool, programs the chip
    // when asked and shows this window. A failed preparation shows its
    // message and ends the command silently.
    void EnterDebugger(bool program);

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
    QTimer Timer;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The parts the constructor builds.
    void BuildStatusPanel(int y);
    int BuildWindowsPanel(int y);
    void WireButtons();
    void FormShow();
    void FormHide();
    void SetMainMenuForDebugging(bool debugging);
    // Runs a command or a tick through the window guard, never two at once.
    void Guarded(void (TDebugForm::*handler)());
    // A command button: its mask, then the debugger's command.
    void Command(DebugCommand command);
    // The window of a debugger view (none until the shell attaches it).
    QWidget* ViewWindow(DebugController::View view) const;
    void ShowView(DebugController::View view);

    Shell& shell_;
    std::uint8_t buttonMask_ = 0;
    bool busy_ = false;
    // Enabled states of the main window's entries before debugging began.
    bool savedBigger_ = true, savedSmaller_ = true, savedRunMenu_ = true;
    std::vector<std::pair<QAction*, bool>> savedRunItems_;
    bool menusSaved_ = false;
};

}  // namespace korvid
