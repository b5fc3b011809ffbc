#include "ui/WatchUnit.h"

namespace korvid {

TWatchForm::TWatchForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("Watch"));
}

}  // namespace korvid
