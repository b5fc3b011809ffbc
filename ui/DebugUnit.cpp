#include "ui/DebugUnit.h"

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QVBoxLayout>

#include "core/image/DebugImage.h"
#include "core/link/Clock.h"
#include "core/link/LinkError.h"
#include "core/link/Programming.h"
#include "ui/CodeUnit.h"
#include "ui/CommandGuard.h"
#include "ui/EditorUnit.h"
#include "ui/ProgressUnit.h"
#include "ui/RegisterUnit.h"
#include "ui/WatchUnit.h"

namespace korvid {

namespace {
constexpr int kMargin = 8;         // left margin of the command buttons
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kGap = 4;            // between two command buttons
constexpr int kPanelPadding = 4;   // inside the frame of the window buttons
constexpr qint64 kTickBudgetMs = 30;  // time a tick may spend stepping within a line

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int& y, int x = kMargin,
                        int width = kButtonWidth) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setGeometry(x, y, width, kButtonHeight);
    y += kButtonHeight + kGap;
    return b;
}
}  // namespace

TDebugForm::TDebugForm(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), Session(shell.link, shell.state, this), shell_(shell) {
    setWindowTitle(QStringLiteral("Debug"));
    int y = kMargin;
    BuildStatusPanel(y);
    y += kButtonHeight + kGap;

    HopButton = MakeButton(this, "HopButton", "&Hop", y);
    JogButton = MakeButton(this, "JogButton", "&Jog", y);
    StepButton = MakeButton(this, "StepButton", "&Step", y);
    WalkButton = MakeButton(this, "WalkButton", "&Walk", y);
    RunButton = MakeButton(this, "RunButton", "&Run", y);
    PollButton = MakeButton(this, "PollButton", "Pol&l", y);
    StopButton = MakeButton(this, "StopButton", "Sto&p", y);
    ResetButton = MakeButton(this, "ResetButton", "Rese&t", y);

    const int py = BuildWindowsPanel(y);
    y += py + kGap;
    QuitButton = MakeButton(this, "QuitButton", "&Quit", y);
    // Below the Quit button the same gap as between two command buttons.
    setFixedSize(2 * kMargin + kButtonWidth, y);

    WireButtons();
    Timer.setInterval(40);
    connect(&Timer, &QTimer::timeout, this, [this] { Guarded(&TDebugForm::TimerTimer); });
    SetButtonMask(0);
}

// The run-state panel at the top, `y` its top.
void TDebugForm::BuildStatusPanel(int y) {
    StatusPanel = new QLabel(shell_.family.is52() ? QStringLiteral("Status") : QStringLiteral("Sleep"), this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setAlignment(Qt::AlignCenter);
    StatusPanel->setFrameShape(QFrame::Panel);
    StatusPanel->setFrameShadow(QFrame::Sunken);
    StatusPanel->setAutoFillBackground(true);
    QPalette p = StatusPanel->palette();
    p.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    p.setColor(QPalette::WindowText, Qt::black);
    StatusPanel->setPalette(p);
    StatusPanel->setGeometry(kMargin, y, kButtonWidth, kButtonHeight);
}

// The panel of the three window buttons, `y` its top; returns its height.
int TDebugForm::BuildWindowsPanel(int y) {
    WindowsPanel = new QFrame(this);
    WindowsPanel->setObjectName(QStringLiteral("WindowsPanel"));
    WindowsPanel->setAutoFillBackground(true);
    QPalette wp = WindowsPanel->palette();
    wp.setColor(QPalette::Window, wp.color(QPalette::Highlight));
    WindowsPanel->setPalette(wp);
    int py = kPanelPadding;
    const int inner = kButtonWidth - 2 * kPanelPadding;
    RegistersButton = MakeButton(WindowsPanel, "RegistersButton", "R&egisters", py, kPanelPadding, inner);
    CodeButton = MakeButton(WindowsPanel, "CodeButton", "Co&de", py, kPanelPadding, inner);
    WatchButton = MakeButton(WindowsPanel, "WatchButton", "Wat&ch", py, kPanelPadding, inner);
    py += kPanelPadding - kGap;
    WindowsPanel->setGeometry(kMargin, y, kButtonWidth, py);
    return py;
}

// Every button runs its handler through the window guard.
void TDebugForm::WireButtons() {
    struct Wire {
        QPushButton* button;
        void (TDebugForm::*handler)();
    } wires[] = {
        {HopButton, &TDebugForm::HopButtonClick},       {JogButton, &TDebugForm::JogButtonClick},
        {StepButton, &TDebugForm::StepButtonClick},     {WalkButton, &TDebugForm::WalkButtonClick},
        {RunButton, &TDebugForm::RunButtonClick},       {PollButton, &TDebugForm::PollButtonClick},
        {StopButton, &TDebugForm::StopButtonClick},     {ResetButton, &TDebugForm::ResetButtonClick},
        {RegistersButton, &TDebugForm::RegistersButtonClick}, {CodeButton, &TDebugForm::CodeButtonClick},
        {WatchButton, &TDebugForm::WatchButtonClick},   {QuitButton, &TDebugForm::QuitButtonClick},
    };
    for (const Wire& w : wires) {
        auto handler = w.handler;
        connect(w.button, &QPushButton::clicked, this, [this, handler] { Guarded(handler); });
    }
}

void TDebugForm::Guarded(void (TDebugForm::*handler)()) {
    if (busy_) return;  // a tick never overlaps a command (a box may be open)
    busy_ = true;
    RunGuarded(this, [this, handler] { (this->*handler)(); });
    busy_ = false;
}

void TDebugForm::RunCommand(const std::function<void()>& action) {
    if (busy_) return;
    busy_ = true;
    RunGuarded(this, action);
    busy_ = false;
}

// ---- Run > Debug -------------------------------------------------------------

void TDebugForm::EnterDebugger(bool program) {
    AssemblyState& s = shell_.state;
    PrepareDebugImage(s);
    if (s.ErrorFlag) {
        ShowError(shell_.editor, QString::fromLatin1(s.ErrorMessage));
        throw SilentAbort();
    }
    shell_.link.RequireDebugTool();
    if (program) ProgramDevice(shell_.link, s, shell_.irc, *shell_.progress, false);
    show();
    raise();
}

// ---- showing and hiding --------------------------------------------------------

// Minimising and restoring the window (spontaneous events from the window
// system) neither ends nor restarts the session; only show() and hide() do.
void TDebugForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TDebugForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) FormHide();
}

void TDebugForm::keyPressEvent(QKeyEvent* event) {
    // Escape would close the dialog and so end debugging; only Quit and the
    // close box do that.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

void TDebugForm::FormShow() {
    AssemblyState& s = shell_.state;
    WatchButton->setEnabled(s.WatchCount != 0);
    SetButtonMask(0);
    Target = DebugTargetOf(shell_.family, s.ChipImage[kExtFuseIndex]);
    Session.Begin();
    Target.programSize = Session.ProgramSize;
    HopFlag = WalkFlag = false;
    LastLine = -1;
    if (shell_.registers) shell_.registers->show();
    if (shell_.code) shell_.code->show();
    if (shell_.watch && WatchButton->isEnabled()) shell_.watch->show();
    ArrangeWindows();
    SetMainMenuForDebugging(true);
    StatusPanel->setText(shell_.family.is52() ? QStringLiteral("Status") : QStringLiteral("Sleep"));
    // The start: open the link and reset the chip. A failure has closed the
    // port; the first tick then ends debugging.
    busy_ = true;
    RunGuarded(this, [this] {
        shell_.link.OpenLink();
        ResetButtonClick();
    });
    busy_ = false;
    Timer.start();
}

void TDebugForm::FormHide() {
    if (shell_.registers) shell_.registers->hide();
    if (shell_.code) shell_.code->hide();
    if (shell_.watch) shell_.watch->hide();
    Timer.stop();
    if (shell_.link.PortOpen) {
        busy_ = true;
        RunGuarded(this, [this] { Session.End(); });
        busy_ = false;
    }
    SetMainMenuForDebugging(false);
}

void TDebugForm::SetMainMenuForDebugging(bool debugging) {
    TEditorForm* e = shell_.editor;
    if (!e) return;
    QAction* bigger = e->Item("EditTextBiggerItem");
    QAction* smaller = e->Item("EditTextSmallerItem");
    if (debugging) {
        if (menusSaved_) return;
        // Remember what was enabled (SXC mode and list mode disable entries
        // of their own) so that the end of debugging restores just that.
        savedBigger_ = bigger && bigger->isEnabled();
        savedSmaller_ = smaller && smaller->isEnabled();
        savedRunMenu_ = e->RunMenu->isEnabled();
        savedRunItems_.clear();
        for (QAction* a : e->RunMenu->actions()) savedRunItems_.emplace_back(a, a->isEnabled());
        menusSaved_ = true;
        if (bigger) bigger->setEnabled(false);
        if (smaller) smaller->setEnabled(false);
        e->RunMenu->setEnabled(false);
        for (QAction* a : e->RunMenu->actions()) a->setEnabled(false);
        return;
    }
    if (!menusSaved_) return;
    menusSaved_ = false;
    if (bigger) bigger->setEnabled(savedBigger_);
    if (smaller) smaller->setEnabled(savedSmaller_);
    e->RunMenu->setEnabled(savedRunMenu_);
    for (auto& [a, enabled] : savedRunItems_) a->setEnabled(enabled);
}

void TDebugForm::ArrangeWindows() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen || !shell_.registers || !shell_.code) return;
    const QRect area = screen->geometry();
    QWidget* regs = shell_.registers;
    QWidget* watch = shell_.watch;
    QWidget* code = shell_.code;
    const bool watchShown = watch && WatchButton->isEnabled();
    // Outer sizes, frames included.
    const QSize me = frameGeometry().size(), rs = regs->frameGeometry().size();
    const QSize ws = watch ? watch->frameGeometry().size() : QSize();
    DebugArrangement a = ArrangeDebugWindows(area.width(), area.height(), me.width(), me.height(), rs.width(),
                                             rs.height(), ws.width(), ws.height(), watchShown);
    move(area.left() + a.debug.left, area.top() + a.debug.top);
    regs->move(area.left() + a.registers.left, area.top() + a.registers.top);
    code->move(area.left() + a.code.left, area.top() + a.code.top);
    const QSize frame = code->frameGeometry().size() - code->size();
    code->resize(std::max(a.code.width - frame.width(), 1), std::max(a.code.height - frame.height(), 1));
    if (watchShown) watch->move(area.left() + a.watch.left, area.top() + a.watch.top);
}

// ---- buttons -------------------------------------------------------------------

void TDebugForm::SetButtonMask(std::uint8_t mask) {
    buttonMask_ = mask;
    HopButton->setEnabled(mask & kMaskHop);
    JogButton->setEnabled(mask & kMaskJog);
    StepButton->setEnabled(mask & kMaskStep);
    WalkButton->setEnabled(mask & kMaskWalk);
    RunButton->setEnabled(mask & kMaskRun);
    PollButton->setEnabled(mask & kMaskPoll);
    StopButton->setEnabled(mask & kMaskStop);
    ResetButton->setEnabled(true);
}

int TDebugForm::LineOf(std::uint32_t address) const {
    return shell_.state.AddressLine[address % kProgramWords];
}

void TDebugForm::HopButtonClick() {
    SetButtonMask(CommandMask(DebugCommand::Hop, BreakpointSet()));
    Session.Resume(kModeStep);
    HopFlag = true;
    LastLine = LineOf(Session.State.ProgramCounter);
}

void TDebugForm::JogButtonClick() {
    SetButtonMask(CommandMask(DebugCommand::Jog, BreakpointSet()));
    Session.Resume(kModeStep);
    HopFlag = true;
    LastLine = LineOf(Session.State.ProgramCounter);
    WalkFlag = true;
}

void TDebugForm::StepButtonClick() {
    SetButtonMask(CommandMask(DebugCommand::Step, BreakpointSet()));
    Session.Resume(kModeStep);
    HopFlag = false;
}

void TDebugForm::WalkButtonClick() {
    SetButtonMask(CommandMask(DebugCommand::Walk, BreakpointSet()));
    Session.Resume(kModeStep);
    HopFlag = false;
    WalkFlag = true;
}

void TDebugForm::RunButtonClick() {
    bool brk = BreakpointSet();
    SetButtonMask(CommandMask(DebugCommand::Run, brk));
    HopFlag = false;
    Session.Resume(brk ? kModeToBreak : kModeFree);
}

void TDebugForm::PollButtonClick() {
    bool brk = BreakpointSet();
    SetButtonMask(CommandMask(DebugCommand::Poll, brk));
    HopFlag = false;
    if (brk)
        Session.Resume(kModeToBreak);
    else
        Session.Interrupt();
    WalkFlag = true;
}

void TDebugForm::StopButtonClick() {
    SetButtonMask(CommandMask(DebugCommand::Stop, BreakpointSet()));
    if (Session.LastMode == kModeFree) Session.Interrupt();
    // A Hop or Jog in progress ends at the next halt, wherever it is.
    HopFlag = false;
    WalkFlag = false;
}

void TDebugForm::ResetButtonClick() {
    HopFlag = false;
    WalkFlag = false;
    if (Session.StateValid) {
        // The first word of the debug kernel, page offset 0x177 of the last page.
        Session.State.ProgramCounter = std::uint32_t(Session.ProgramSize - 1) & 0xF77u;
        Session.Resume(kModeReset);
    }
    StartClock(shell_.link, shell_.state.ClockFrequency);
    ReleaseChip(shell_.link);
}

void TDebugForm::RegistersButtonClick() {
    if (!shell_.registers) return;
    shell_.registers->show();
    shell_.registers->raise();
    Repaint(Registers, true);
}

void TDebugForm::CodeButtonClick() {
    if (!shell_.code) return;
    shell_.code->show();
    shell_.code->raise();
    Repaint(Code, true);
}

void TDebugForm::WatchButtonClick() {
    if (!shell_.watch) return;
    shell_.watch->show();
    shell_.watch->raise();
    Repaint(Watch, true);
}

void TDebugForm::QuitButtonClick() { hide(); }

// ---- the poll loop -------------------------------------------------------------

void TDebugForm::TimerTimer() {
    if (!shell_.link.PortOpen) {
        Timer.stop();
        hide();
        return;
    }
    (void)Session.Poll();
    bool halted = Session.Poll();
    if (!halted) {
        if (!Session.StateValid)
            StatusPanel->setText(Session.LastRunState == 1 ? QStringLiteral("Sleeping") : QStringLiteral("Running"));
        return;
    }
    // A halt is handled once: when its state has been read, later ticks
    // only poll, so that the marks of that halt stay until the next one.
    if (Session.StateValid) return;
    StatusPanel->setText(QStringLiteral("Idle"));
    // A Hop within one listing line steps on within this tick's time
    // budget, so that a long loop on one line ends as fast as the link
    // allows; a halt not yet seen when the budget is spent is left to the
    // next tick.
    QElapsedTimer budget;
    budget.start();
    for (;;) {
        Session.ReadState();
        const ChipState& c = Session.State;
        if (c.ProgramCounter == c.Breakpoint) {
            HopFlag = false;
            WalkFlag = false;
            Session.RefreshViews();
            Session.Resume(Session.LastMode);
            return;
        }
        int line = LineOf(c.ProgramCounter);
        if (!(HopFlag && line == LastLine)) {
            LastLine = line;
            Session.RefreshViews();
            if (WalkFlag)
                Session.Resume(Session.LastMode);
            else
                SetIdleButtons();
            return;
        }
        Session.Resume(Session.LastMode);
        do {
            if (budget.elapsed() >= kTickBudgetMs) return;
        } while (!Session.Poll());
    }
}

// ---- the views -----------------------------------------------------------------

void TDebugForm::SetIdleButtons() { SetButtonMask(IdleMask(BreakpointSet())); }

}  // namespace korvid
