#include "ui/SXCUnit.h"

namespace korvid {

TSXCForm::TSXCForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("SXC"));
}

}  // namespace korvid
