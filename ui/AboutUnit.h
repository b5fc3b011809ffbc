// The About window: the tool's name, the device line and the version line
// of the build, and an Okay button.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "ui/Shell.h"

namespace korvid {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(Shell& shell, QWidget* parent = nullptr);

    QLabel* NameLabel;
    QLabel* DeviceLabel;
    QLabel* VersionLabel;
    QPushButton* OkayButton;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace korvid
