#include "ui/ClockUnit.h"

#include <QShowEvent>
#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "core/link/Clock.h"
#include "core/link/Link.h"
#include "core/link/Programming.h"
#include "model/ClockLogic.h"
#include "ui/CommandGuard.h"

namespace korvid {

TClockForm::TClockForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("Clock"));
    setObjectName(QStringLiteral("ClockForm"));

    HighLabel = new QLabel(QStringLiteral("110 MHz"), this);
    HighLabel->setObjectName(QStringLiteral("HighLabel"));
    LowLabel = new QLabel(QStringLiteral("400 KHz"), this);
    LowLabel->setObjectName(QStringLiteral("LowLabel"));
    TrackBar = new QSlider(Qt::Vertical, this);
    TrackBar->setObjectName(QStringLiteral("TrackBar"));
    TrackBar->setRange(0, kClockTrackMax);
    TrackBar->setPageStep(kClockTrackPage);
    TrackBar->setInvertedAppearance(true);  // position 0 at the top
    TrackBar->setInvertedControls(true);
    TrackBar->setMinimumHeight(220);
    TrackBar->setStatusTip(QStringLiteral("Adjust the clock frequency"));
    TrackBar->setToolTip(TrackBar->statusTip());
    EditLabel = new QLabel(QStringLiteral("Freq (MHz)"), this);
    EditLabel->setObjectName(QStringLiteral("EditLabel"));
    Edit = new QLineEdit(this);
    Edit->setObjectName(QStringLiteral("Edit"));
    Edit->setMaxLength(kClockEditMaxLength);
    Edit->setStatusTip(QStringLiteral("Set the clock frequency"));
    Edit->setToolTip(Edit->statusTip());
    Edit->installEventFilter(this);
    EditLabel->setBuddy(Edit);
    CheckBox = new QCheckBox(QStringLiteral("&On"), this);
    CheckBox->setObjectName(QStringLiteral("CheckBox"));
    CheckBox->setStatusTip(QStringLiteral("Enable the clock output"));
    CheckBox->setToolTip(CheckBox->statusTip());
    ResetButton = new QPushButton(QStringLiteral("&Reset"), this);
    ResetButton->setObjectName(QStringLiteral("ResetButton"));
    ResetButton->setStatusTip(QStringLiteral("Reset the SX"));
    ResetButton->setToolTip(ResetButton->statusTip());
    ResetButton->setAutoDefault(false);
    OkayButton = new QPushButton(QStringLiteral("O&kay"), this);
    OkayButton->setObjectName(QStringLiteral("OkayButton"));
    OkayButton->setStatusTip(QStringLiteral("Hide the clock window"));
    OkayButton->setToolTip(OkayButton->statusTip());
    OkayButton->setAutoDefault(false);
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(kTimerIntervalMs);

    auto* grid = new QGridLayout(this);
    grid->addWidget(HighLabel, 0, 0, Qt::AlignHCenter);
    grid->addWidget(TrackBar, 1, 0, 6, 1, Qt::AlignHCenter);
    grid->addWidget(LowLabel, 7, 0, Qt::AlignHCenter);
    grid->addWidget(EditLabel, 1, 1);
    grid->addWidget(Edit, 2, 1);
    grid->addWidget(CheckBox, 3, 1);
    grid->addWidget(ResetButton, 4, 1);
    grid->setRowStretch(5, 1);
    grid->addWidget(OkayButton, 6, 1);

    connect(TrackBar, &QSlider::valueChanged, this, &TClockForm::TrackBarChange);
    // Clicks by the user or by the O key; a programmatic tick at show time
    // does not come through here.
    connect(CheckBox, &QCheckBox::clicked, this, &TClockForm::CheckBoxClick);
    connect(ResetButton, &QPushButton::clicked, this, &TClockForm::ResetButtonClick);
    connect(OkayButton, &QPushButton::clicked, this, &QDialog::reject);  // the cancel button: closes
    connect(Timer, &QTimer::timeout, this, &TClockForm::TimerTick);
}

// A window system's own show (restoring a minimised window) is not a
// FormShow: it would drop the user's unsaved choices.
void TClockForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

// Minimising the window keeps the port open; only closing it hides it.
void TClockForm::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) FormHide();
    QDialog::hideEvent(event);
}

void TClockForm::FormShow() {
    Edit->setFocus();
    {
        const QSignalBlocker block(CheckBox);
        CheckBox->setChecked(true);
    }
    // ClockFrequency 0 makes the update below always start the clock, so the
    // output runs at the window's frequency once it is up.
    frequency_ = shell_.state.ClockFrequency;
    shell_.state.ClockFrequency = 0;
    RunGuarded(this, [this] { UpdateClock(); });
    Timer->start();
}

void TClockForm::FormHide() {
    Timer->stop();
    if (shell_.link.PortOpen) RunGuarded(this, [this] { shell_.link.CloseLink(); });
}

void TClockForm::UpdateClock() {
    frequency_ = ClampClockFrequency(frequency_);
    char text[12];
    FormatClockText(frequency_, text);
    Edit->setText(QString::fromLatin1(text));
    Edit->selectAll();
    {
        // The bar only shows the frequency: moving it here must not round
        // the frequency to its 10 kHz steps.
        const QSignalBlocker block(TrackBar);
        TrackBar->setValue(ClockTrackPosition(frequency_));
    }
    if (frequency_ != shell_.state.ClockFrequency) {
        shell_.state.ClockFrequency = frequency_;
        if (CheckBox->isChecked() && shell_.link.PortOpen) StartClock(shell_.link, frequency_);
    }
}

void TClockForm::TrackBarChange(int position) {
    frequency_ = ClockFrequencyAtPosition(position);
    RunGuarded(this, [this] { UpdateClock(); });
}

void TClockForm::EditExit() {
    frequency_ = ParseClockText(Edit->text().toLatin1().constData());
    RunGuarded(this, [this] { UpdateClock(); });
}

// After a link failure the port is closed and the window closes at the next
// tick; until then the controls send nothing.
void TClockForm::CheckBoxClick() {
    if (!shell_.link.PortOpen) return;
    RunGuarded(this, [this] {
        if (CheckBox->isChecked())
            StartClock(shell_.link, shell_.state.ClockFrequency);
        else
            StopClock(shell_.link);
    });
}

void TClockForm::ResetButtonClick() {
    if (!shell_.link.PortOpen) return;
    RunGuarded(this, [this] { ReleaseChip(shell_.link); });
}

void TClockForm::TimerTick() {
    Link& link = shell_.link;
    if (!link.PortOpen) {
        reject();
        return;
    }
    RunGuarded(this, [&link] {
        // Keep-alive poll; the run state it answers does not matter here.
        link.SendByte(kCmdPoll);
        link.Flush();
        (void)link.ReceiveByte();
    });
}

bool TClockForm::EditKeyPress(QKeyEvent* event) {
    char32_t key = 0;
    switch (event->key()) {
        case Qt::Key_Backspace: key = 8; break;
        case Qt::Key_Return:
        case Qt::Key_Enter: key = 13; break;
        // Delete carries the text "\x7f" on X11; it edits as usual.
        case Qt::Key_Delete: return false;
        default: {
            const QString text = event->text();
            // Keys without a character (arrows, Home, Delete, Tab, Escape's
            // dialog handling) keep their usual meaning.
            if (text.isEmpty() || text.at(0) == QChar(27) || text.at(0) == QChar(9)) return false;
            key = text.at(0).unicode();
        }
    }
    switch (ClassifyClockKey(key)) {
        case ClockKeyAction::Edit: return false;
        case ClockKeyAction::Enter: EditExit(); return true;
        case ClockKeyAction::Okay: OkayButton->click(); return true;
        case ClockKeyAction::ToggleOn: CheckBox->click(); return true;
        case ClockKeyAction::Reset: ResetButton->click(); return true;
        case ClockKeyAction::Swallow: return true;
    }
    return true;
}

bool TClockForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit) {
        if (event->type() == QEvent::KeyPress) return EditKeyPress(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::FocusOut && isVisible()) EditExit();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace korvid
