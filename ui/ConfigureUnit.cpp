#include "ui/ConfigureUnit.h"

#include <QShowEvent>
#include <QButtonGroup>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/PortName.h"

namespace korvid {

namespace {
void Select(QButtonGroup* group, int index) {
    if (QAbstractButton* b = group->button(index)) {
        b->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}
}  // namespace

TConfigureForm::TConfigureForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("Configure"));
    setObjectName(QStringLiteral("ConfigureForm"));

    IRCRadioGroup = new QGroupBox(QStringLiteral("&IRC Calibration"), this);
    IRCRadioGroup->setObjectName(QStringLiteral("IRCRadioGroup"));
    ircGroup_ = new QButtonGroup(IRCRadioGroup);
    auto* ircColumn = new QVBoxLayout(IRCRadioGroup);
    const char* ircItems[] = {"Slowest", "4 MHz", "Fastest"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(ircItems[i]), IRCRadioGroup);
        b->setObjectName(QStringLiteral("IRCRadioGroup") + QString::number(i));
        ircGroup_->addButton(b, i);
        ircColumn->addWidget(b);
        IRCButtons[static_cast<std::size_t>(i)] = b;
    }
    ircColumn->addStretch(1);

    PortRadioGroup = new QGroupBox(QStringLiteral("&Serial Port"), this);
    PortRadioGroup->setObjectName(QStringLiteral("PortRadioGroup"));
    portGroup_ = new QButtonGroup(PortRadioGroup);
    auto* portGrid = new QGridLayout(PortRadioGroup);
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QStringLiteral("COM&") + QString::number(i + 1), PortRadioGroup);
        b->setObjectName(QStringLiteral("PortRadioGroup") + QString::number(i));
        portGroup_->addButton(b, i);
        auto* device = new QLabel(PortRadioGroup);
        device->setObjectName(QStringLiteral("PortDeviceLabel") + QString::number(i));
        device->setTextFormat(Qt::PlainText);
        device->setEnabled(false);  // grey: information, not a choice
        portGrid->addWidget(b, i, 0);
        portGrid->addWidget(device, i, 1);
        PortButtons[static_cast<std::size_t>(i)] = b;
        PortDeviceLabels[static_cast<std::size_t>(i)] = device;
    }

    OkayButton = new QPushButton(QStringLiteral("Okay"), this);
    OkayButton->setObjectName(QStringLiteral("OkayButton"));
    OkayButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setAutoDefault(false);
    connect(OkayButton, &QPushButton::clicked, this, &TConfigureForm::OkayButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* groups = new QHBoxLayout;
    groups->addWidget(IRCRadioGroup);
    groups->addWidget(PortRadioGroup, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkayButton);
    buttons->addWidget(CancelButton);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(groups);
    outer->addLayout(buttons);
}

int TConfigureForm::IRCItemIndex() const { return ircGroup_->checkedId(); }
int TConfigureForm::PortItemIndex() const { return portGroup_->checkedId(); }

// A window system's own show (restoring a minimised window) is not a
// FormShow: it would drop the user's unsaved choices.
void TConfigureForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TConfigureForm::FormShow() {
    Select(ircGroup_, static_cast<int>(shell_.irc.mode));
    // "COM1".."COM4" select entries 0..3; a device path (given on the
    // command line) selects none.
    const std::string& port = shell_.link.PortName;
    const bool com = port.size() == 4 && port.compare(0, 3, "COM") == 0 && port[3] >= '1' && port[3] <= '4';
    Select(portGroup_, com ? port[3] - '1' : -1);
    for (int i = 0; i < 4; ++i) {
        const QString path = QString::fromLocal8Bit(PortDevicePath("COM" + std::to_string(i + 1)).c_str());
        const QString text = QFileInfo::exists(path) ? path : path + QStringLiteral(" (not present)");
        PortDeviceLabels[static_cast<std::size_t>(i)]->setText(text);
        PortButtons[static_cast<std::size_t>(i)]->setStatusTip(text);
    }
}

void TConfigureForm::OkayButtonClick() {
    const int mode = IRCItemIndex();
    if (mode >= 0 && mode <= 2) shell_.irc.mode = static_cast<IrcMode>(mode);
    const int port = PortItemIndex();
    if (port >= 0 && port <= 3) shell_.link.PortName = "COM" + std::to_string(port + 1);
    accept();
}

}  // namespace korvid
