#include "ui/AboutUnit.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/WindowFit.h"

namespace korvid {

namespace {
struct AboutTexts {
    FamilyId family;
    const char* device;
    const char* version;
    int width;
};
constexpr AboutTexts kAbout[] = {
    {FamilyId::Sx28l, "SX18L / SX28L", "Version 1.09 for Rev E/F", 220},
    {FamilyId::Sx52, "SX48 / SX52  v1.20", "for SX48/52 (AB0004AA+)", 256},
};
}  // namespace

TAboutForm::TAboutForm(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const AboutTexts& texts = kAbout[shell.family.is52() ? 1 : 0];
    setWindowTitle(QStringLiteral("About"));
    NameLabel = new QLabel(QStringLiteral("Korvid"), this);
    QFont big = NameLabel->font();
    big.setPointSize(20);
    big.setBold(true);
    big.setItalic(true);
    NameLabel->setFont(big);
    DeviceLabel = new QLabel(QString::fromLatin1(texts.device), this);
    VersionLabel = new QLabel(QString::fromLatin1(texts.version), this);
    OkayButton = new QPushButton(QStringLiteral("Okay"), this);
    OkayButton->setDefault(true);
    connect(OkayButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    for (QLabel* l : {NameLabel, DeviceLabel, VersionLabel}) {
        l->setAlignment(Qt::AlignCenter);
        l->setTextFormat(Qt::PlainText);
        layout->addWidget(l);
    }
    layout->addWidget(OkayButton, 0, Qt::AlignCenter);
    FixWindowSize(*this, QSize(texts.width, 170));
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TAboutForm::keyPressEvent(QKeyEvent* event) {
    // Okay is also the cancel button: ESC closes like ENTER.
    if (event->key() == Qt::Key_Escape) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace korvid
