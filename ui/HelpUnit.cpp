#include "ui/HelpUnit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace korvid {

namespace {
const char* const kHelpLines[] = {
    "WATCH   BitAddress,Bits,UDEC   ;unsigned decimal",
    "WATCH   BitAddress,Bits,SDEC   ;signed decimal",
    "WATCH   BitAddress,Bits,UHEX   ;unsigned hex",
    "WATCH   BitAddress,Bits,SHEX   ;signed hex",
    "WATCH   BitAddress,Bits,UBIN   ;unsigned binary",
    "WATCH   BitAddress,Bits,SBIN   ;signed binary",
    "WATCH   RegAddress,Bytes,FSTR  ;fixed-length string",
    "WATCH   RegAddress,Bytes,ZSTR  ;zero-terminated string",
    "* BitAddress may be register address ('reg' = 'reg.0')",
    "Examples:",
    "HighByte        equ     $08",
    "DoubleWord      equ     $09",
    "                watch   HighByte,8,shex",
    "                watch   DoubleWord,32,udec",
    "The 'BREAK' directive establishes the breakpoint.",
};
}  // namespace

THelpForm::THelpForm(Shell&, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Help"));
    resize(409, 396);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Symbolic Debugging"), this);
    title->setObjectName(QStringLiteral("TitleLabel"));
    QFont big = title->font();
    big.setPointSize(16);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);
    QFont mono(QStringLiteral("Courier New"), 9);
    for (const char* line : kHelpLines) {
        auto* label = new QLabel(QString::fromLatin1(line), this);
        label->setFont(mono);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    layout->addStretch();
}

void THelpForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

}  // namespace korvid
