// The Help window: a fixed page on symbolic debugging (WATCH and BREAK).
#pragma once

#include <QDialog>

#include "ui/Shell.h"

namespace korvid {

class THelpForm : public QDialog {
    Q_OBJECT
public:
    explicit THelpForm(Shell& shell, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace korvid
