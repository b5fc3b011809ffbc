#include "ui/CodeUnit.h"

namespace korvid {

TCodeForm::TCodeForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("Code"));
}

}  // namespace korvid
