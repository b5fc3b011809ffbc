// The loader of the SXC compiler's output: an invisible window that gives
// the main window its SXC start (the .cod image and the .lst listing in
// place of an assembly).
#pragma once

#include <QDialog>
#include <QString>

#include "ui/Shell.h"

namespace korvid {

class TSXCForm : public QDialog {
    Q_OBJECT
public:
    explicit TSXCForm(Shell& shell, QWidget* parent = nullptr);

    // Loads baseName + ".cod" and baseName + ".lst" into the assembly state.
    // A file that cannot be read, or a .cod file that points outside itself,
    // raises a file error with the reason (the application's error box).
    void SXCLoad(const QString& baseName);

protected:
    Shell& shell_;
};

}  // namespace korvid
