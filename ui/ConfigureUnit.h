// The Configure window: the IRC calibration mode and the serial port for
// the life of the process. Okay takes the choices, Cancel drops them; each
// opening shows the current values and which device each port name reaches.
#pragma once

#include <QDialog>
#include <array>

#include "ui/Shell.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace korvid {

class TConfigureForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigureForm(Shell& shell, QWidget* parent = nullptr);

    QGroupBox* IRCRadioGroup = nullptr;   // "&IRC Calibration"
    QGroupBox* PortRadioGroup = nullptr;  // "&Serial Port"
    std::array<QRadioButton*, 3> IRCButtons{};
    std::array<QRadioButton*, 4> PortButtons{};
    std::array<QLabel*, 4> PortDeviceLabels{};  // device path behind COM1 .. COM4
    QPushButton* OkayButton = nullptr;
    QPushButton* CancelButton = nullptr;

    int IRCItemIndex() const;
    int PortItemIndex() const;

public slots:
    void FormShow();
    void OkayButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

    Shell& shell_;

private:
    QButtonGroup* ircGroup_ = nullptr;
    QButtonGroup* portGroup_ = nullptr;
};

}  // namespace korvid
