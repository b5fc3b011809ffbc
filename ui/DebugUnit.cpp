#include "ui/DebugUnit.h"

namespace korvid {

TDebugForm::TDebugForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("Debug"));
}

}  // namespace korvid
