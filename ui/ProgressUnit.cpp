#include "ui/ProgressUnit.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/WindowRoles.h"

namespace korvid {

namespace {
// Lets the window system expose and paint the window while the operation
// holds the event loop: no user input (the command is still running) and
// no timers (a view's timer would use the link in the middle of it).
void LetWindowsPaint() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
}
}  // namespace

TProgressForm::TProgressForm(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint), shell_(shell) {
    setWindowTitle(QStringLiteral("Device Operation"));
    OperationLabel = new QLabel(QStringLiteral("Working..."), this);
    OperationLabel->setObjectName(QStringLiteral("OperationLabel"));
    OperationLabel->setAlignment(Qt::AlignCenter);
    QFont bold = OperationLabel->font();
    bold.setBold(true);
    OperationLabel->setFont(bold);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, kProgressMax);
    ProgressBar->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(OperationLabel);
    layout->addWidget(ProgressBar);
    resize(260, 80);
}

void TProgressForm::ShowProgress(std::string_view text) {
    ProgressBar->setValue(0);
    OperationLabel->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
    shownTexts << OperationLabel->text();
    if (!isVisible()) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
        show();
        raise();
    }
    LetWindowsPaint();
    repaint();
}

void TProgressForm::StepProgress() {
    ProgressBar->setValue(std::min(ProgressBar->value() + kProgressStep, kProgressMax));
    LetWindowsPaint();
    ProgressBar->repaint();
    if (windowHandle() && windowHandle()->isExposed()) ++exposedSteps;
}

// The bar is drawn full before the window goes, so that the user sees the
// operation reach its end.
void TProgressForm::HideProgress() {
    if (isVisible()) {
        ProgressBar->setValue(kProgressMax);
        LetWindowsPaint();
        ProgressBar->repaint();
    }
    hide();
}

void TProgressForm::ShowIrcResults(const IrcResults& results) {
    (void)results;
    ExecDialog(WindowOf(shell_.ircForm));
}

}  // namespace korvid
