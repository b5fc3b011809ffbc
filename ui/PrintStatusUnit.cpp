#include "ui/PrintStatusUnit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace korvid {

TPrintStatusForm::TPrintStatusForm(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint), shell_(shell) {
    setWindowTitle(QStringLiteral("Print"));
    PrintingLabel = new QLabel(QStringLiteral("Printing Page"), this);
    PagesLabel = new QLabel(QStringLiteral("- of -"), this);
    PagesLabel->setObjectName(QStringLiteral("PagesLabel"));
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    for (QLabel* l : {PrintingLabel, PagesLabel}) l->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PrintingLabel);
    layout->addWidget(PagesLabel);
    layout->addWidget(CancelButton, 0, Qt::AlignCenter);
    connect(CancelButton, &QPushButton::clicked, this, &TPrintStatusForm::CancelButtonClick);
    resize(180, 100);
}

void TPrintStatusForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    repaint();  // FormActivate: the window is drawn at once, printing keeps the thread busy
}

void TPrintStatusForm::Begin(int pageCount) {
    pages = pageCount;
    show();
    FormShow();
}

void TPrintStatusForm::FormShow() {
    cancelled = 0;
    pageCounter = 0;
    NextPage();
}

void TPrintStatusForm::NextPage() {
    PagesLabel->setText(QString::number(pageCounter) + QStringLiteral(" of ") + QString::number(pages));
    PagesLabel->repaint();
    ++pageCounter;
}

}  // namespace korvid
