// The Debug control window. For now a plain window with its caption,
// created in its place of the start-up order and filled in by its own work.
#pragma once

#include <QDialog>

#include "ui/Shell.h"

namespace korvid {

class TDebugForm : public QDialog {
    Q_OBJECT
public:
    explicit TDebugForm(Shell& shell, QWidget* parent = nullptr);

protected:
    Shell& shell_;
};

}  // namespace korvid
