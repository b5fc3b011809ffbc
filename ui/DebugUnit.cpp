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
#include "model/CycleStopwatch.h"
#include "model/DebugLogic.h"
#include "ui/CommandGuard.h"
#include "ui/WindowFit.h"

namespace korvid {

namespace {
constexpr int kMargin = 8;         // left margin of the command buttons
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kGap = 4;            // between two command buttons
constexpr int kPanelPadding = 4;   // inside the frame of the window buttons
// Time a tick may spend stepping within a line: long enough that the two
// polls of the look that starts each tick cost little, short enough that a
// click (Stop) is answered at once.
constexpr qint64 kTickBudgetMs = 100;

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
    : TDebugWindow(shell, parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      Debugger(shell.debugger),
      Session(shell.debugger.Session),
      HopFlag(shell.debugger.HopFlag),
      WalkFlag(shell.debugger.WalkFlag),
      LastLine(shell.debugger.LastLine) {
    Debugger.AddObserver(this);
    // The views' own actions (clicks, edits) run through this window's guard.
    Debugger.commandRunner = [this](const std::function<void()>& action) { RunCommand(action); };
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
    StopwatchPanel = new QLabel(QString::fromStdString(StopwatchText(nullptr, true, 0)), this);
    StopwatchPanel->setObjectName(QStringLiteral("StopwatchPanel"));
    StopwatchPanel->setToolTip(QStringLiteral("The tool counts no cycles: the cycle stopwatch works with the simulator (korvid dap)"));
    StopwatchPanel->setFrameShape(QFrame::Panel);
    StopwatchPanel->setFrameShadow(QFrame::Sunken);
    StopwatchPanel->setGeometry(kMargin, y, kButtonWidth, StopwatchPanel->sizeHint().height());
    y += StopwatchPanel->height() + kGap;
    // Below the Quit button the same gap as between two command buttons.
    // A window widened for its title keeps the column in its middle.
    FixWindowSize(*this, QSize(2 * kMargin + kButtonWidth, y), true);
    const int shift = (width() - (2 * kMargin + kButtonWidth)) / 2;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->move(child->pos() + QPoint(shift, 0));

    WireButtons();
    for (const Key& k : kKeys) ButtonOf(k.command)->setToolTip(QKeySequence(k.key).toString(QKeySequence::NativeText));
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
        ShowError(WindowOf(shell_.editor), QString::fromLatin1(s.ErrorMessage));
        throw SilentAbort();
    }
    shell_.link.RequireDebugTool();
    if (program) ProgramDevice(shell_.link, s, shell_.irc, ProgressOf(shell_), false);
    show();
    raise();
}

// ---- showing and hiding --------------------------------------------------------

// Spontaneous events come from the window system (minimising, restoring).
void TDebugForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) BeginSession();
}

void TDebugForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) EndSession();
}

void TDebugForm::BeginSession() {
    AssemblyState& s = shell_.state;
    WatchButton->setEnabled(s.WatchCount != 0);
    SetButtonMask(0);
    Debugger.Begin();
    if (QWidget* w = ViewWindow(DebugController::Registers)) w->show();
    if (QWidget* w = ViewWindow(DebugController::Code)) w->show();
    if (QWidget* w = ViewWindow(DebugController::Watch); w && WatchButton->isEnabled()) w->show();
    ArrangeWindows();
    SetMainMenuForDebugging(true);
    StatusPanel->setText(shell_.family.is52() ? QStringLiteral("Status") : QStringLiteral("Sleep"));
    // The start: open the link and reset the chip. A failure has closed the
    // port; the first tick then ends debugging.
    busy_ = true;
    RunGuarded(this, [this] {
        shell_.link.OpenLink();
        Debugger.Reset();
        AwaitFirstHalt();
    });
    busy_ = false;
    Timer.start();
}

void TDebugForm::AwaitFirstHalt() {
    awaitingHalt_ = true;
    resetAt_ = shell_.link.Ticks().NowMs();
    SetButtonMask(kMaskStop);  // Stop gives up waiting
}

// The chip runs a program of its own (a fresh chip, or one programmed by
// Run > Program): it is told, and debugging ends.
void TDebugForm::NoDebugImage() {
    awaitingHalt_ = false;
    Timer.stop();
    SetButtonMask(0);
    ShowError(this, QStringLiteral("The chip does not answer as a debug image does: Run > Debug programs it"));
    hide();
}

void TDebugForm::EndSession() {
    awaitingHalt_ = false;
    for (DebugController::View v : {DebugController::Registers, DebugController::Code, DebugController::Watch})
        if (QWidget* w = ViewWindow(v)) w->hide();
    Timer.stop();
    if (shell_.link.PortOpen) {
        busy_ = true;
        RunGuarded(this, [this] { Session.End(); });
        busy_ = false;
    }
    SetMainMenuForDebugging(false);
}

void TDebugForm::SetMainMenuForDebugging(bool debugging) {
    if (EditorRole* editor = RoleOf(shell_.editor)) editor->SetDebugging(debugging);
}

void TDebugForm::ArrangeWindows() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    QWidget* regs = ViewWindow(DebugController::Registers);
    QWidget* watch = ViewWindow(DebugController::Watch);
    QWidget* code = ViewWindow(DebugController::Code);
    if (!screen || !regs || !code) return;
    const QRect area = screen->availableGeometry();
    const bool watchShown = watch && WatchButton->isEnabled();
    // A window the window manager has not framed yet has no frame to ask
    // for: it will get the frame of the windows already shown.
    const QMargins frame = FrameMargins({this, regs, code, watch, WindowOf(shell_.editor)});
    auto outer = [&](QWidget* w) { return w ? w->size().grownBy(frame) : QSize(); };
    const QSize me = outer(this), rs = outer(regs), ws = outer(watch);
    DebugArrangement a = ArrangeDebugWindows(area.width(), area.height(), me.width(), me.height(), rs.width(),
                                             rs.height(), ws.width(), ws.height(), watchShown);
    // Window contents placed inside the arranged frames.
    auto place = [&](QWidget* w, const WindowRect& r, QSize size) {
        w->setGeometry(area.left() + r.left + frame.left(), area.top() + r.top + frame.top(), size.width(),
                       size.height());
    };
    auto inner = [&](const WindowRect& r) {
        return QSize(std::max(r.width - frame.left() - frame.right(), 1), std::max(r.height - frame.top() - frame.bottom(), 1));
    };
    place(this, a.debug, size());
    place(regs, a.registers, inner(a.registers));
    place(code, a.code, inner(a.code));
    if (watchShown) place(watch, a.watch, inner(a.watch));
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

QWidget* TDebugForm::ViewWindow(DebugController::View view) const {
    return dynamic_cast<QWidget*>(Debugger.ViewOf(view));
}

void TDebugForm::Command(DebugCommand command) {
    SetButtonMask(CommandMask(command, BreakpointSet()));
    Debugger.Execute(command);
}

QPushButton* TDebugForm::ButtonOf(DebugCommand command) const {
    // The buttons in the order of DebugCommand.
    QPushButton* const buttons[] = {HopButton, JogButton, StepButton, WalkButton, RunButton, PollButton, StopButton};
    return buttons[static_cast<std::size_t>(command)];
}

void TDebugForm::KeyCommand(DebugCommand command) {
    QPushButton* button = ButtonOf(command);
    if (button->isEnabled()) button->click();
}

void TDebugForm::HopButtonClick() { Command(DebugCommand::Hop); }
void TDebugForm::JogButtonClick() { Command(DebugCommand::Jog); }
void TDebugForm::StepButtonClick() { Command(DebugCommand::Step); }
void TDebugForm::WalkButtonClick() { Command(DebugCommand::Walk); }
void TDebugForm::RunButtonClick() { Command(DebugCommand::Run); }
void TDebugForm::PollButtonClick() { Command(DebugCommand::Poll); }
void TDebugForm::StopButtonClick() {
    if (awaitingHalt_)
        NoDebugImage();
    else
        Command(DebugCommand::Stop);
}

void TDebugForm::ResetButtonClick() {
    Debugger.Reset();
    if (awaitingHalt_) AwaitFirstHalt();
}

// The Registers, Code and Watch buttons: show the view and repaint it fully.
void TDebugForm::RegistersButtonClick() { ShowView(DebugController::Registers); }
void TDebugForm::CodeButtonClick() { ShowView(DebugController::Code); }
void TDebugForm::WatchButtonClick() { ShowView(DebugController::Watch); }

void TDebugForm::ShowView(DebugController::View view) {
    QWidget* w = ViewWindow(view);
    if (!w) return;
    w->show();
    w->raise();
    Debugger.Repaint(view, true);
}

void TDebugForm::QuitButtonClick() { hide(); }

// ---- the poll loop -------------------------------------------------------------

void TDebugForm::TimerTimer() {
    if (!shell_.link.PortOpen) {
        Timer.stop();
        hide();
        return;
    }
    const DebugEvent look = Debugger.Look();
    if (awaitingHalt_ && look != DebugEvent::NewHalt && shell_.link.Ticks().NowMs() - resetAt_ >= kResetHaltTimeoutMs) {
        NoDebugImage();
        return;
    }
    switch (look) {
        case DebugEvent::Running: StatusPanel->setText(QStringLiteral("Running")); return;
        case DebugEvent::Sleeping: StatusPanel->setText(QStringLiteral("Sleeping")); return;
        case DebugEvent::NewHalt: awaitingHalt_ = false; break;
        default: return;
    }
    StatusPanel->setText(QStringLiteral("Idle"));
    QElapsedTimer budget;
    budget.start();
    const DebugHalt halt = Debugger.TakeHalts([&budget] { return budget.elapsed() >= kTickBudgetMs; });
    // A Hop still on its line goes on as soon as the window has handled its
    // events, not at the next tick.
    if (halt.event == DebugEvent::WithinLine) QTimer::singleShot(0, this, &TDebugForm::Tick);
}

// ---- the views -----------------------------------------------------------------

void TDebugForm::SetIdleButtons() { SetButtonMask(IdleMask(BreakpointSet())); }

}  // namespace korvid
