#include "ui/RegisterUnit.h"

namespace korvid {

TRegisterForm::TRegisterForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("Registers"));
}

}  // namespace korvid
