#include "ui/ProgressUnit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/IRCUnit.h"

namespace korvid {

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
    }
    repaint();
}

void TProgressForm::StepProgress() {
    ProgressBar->setValue(std::min(ProgressBar->value() + kProgressStep, kProgressMax));
    ProgressBar->repaint();
}

void TProgressForm::HideProgress() { hide(); }

void TProgressForm::ShowIrcResults(const IrcResults& results) {
    (void)results;
    if (shell_.ircForm) shell_.ircForm->exec();
}

}  // namespace korvid
