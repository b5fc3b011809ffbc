#include "ui/IRCUnit.h"

#include <QShowEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "core/link/Irc.h"
#include "model/ClockLogic.h"
#include "ui/WindowFit.h"

namespace korvid {

TIRCForm::TIRCForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("IRC"));
    setObjectName(QStringLiteral("IRCForm"));
    auto* grid = new QGridLayout(this);
    FreqLabel = new QLabel(QStringLiteral("Freq (MHz)"), this);
    FreqLabel->setObjectName(QStringLiteral("FreqLabel"));
    grid->addWidget(FreqLabel, 0, 0, 1, 2, Qt::AlignHCenter);
    for (int t = 0; t < 8; ++t) {
        auto* trim = new QLabel(QString::number(t), this);
        trim->setEnabled(false);
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setObjectName(QStringLiteral("FreqLabel") + QString::number(t));
        label->setProperty("tag", t + 1);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setMinimumWidth(48);
        grid->addWidget(trim, t + 1, 0);
        grid->addWidget(label, t + 1, 1);
        FreqLabels[static_cast<std::size_t>(t)] = label;
    }
    OkayButton = new QPushButton(QStringLiteral("Okay"), this);
    OkayButton->setObjectName(QStringLiteral("OkayButton"));
    OkayButton->setDefault(true);
    grid->addWidget(OkayButton, 9, 0, 1, 2);
    connect(OkayButton, &QPushButton::clicked, this, &QDialog::accept);
    KeepTitleWhole(*this);
}

// A window system's own show (restoring a minimised window) is not a
// FormShow: it would drop the user's unsaved choices.
void TIRCForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TIRCForm::FormShow() {
    for (QLabel* label : FreqLabels) {
        const int trim = label->property("tag").toInt() - 1;
        char text[16];
        FormatIrcMhz(IrcFrequency(shell_.irc.counts[static_cast<std::size_t>(trim)]), text);
        label->setText(QString::fromLatin1(text));
        QFont font = label->font();
        font.setBold(trim == shell_.irc.trim);
        label->setFont(font);
    }
}

}  // namespace korvid
