#include "ui/SXCUnit.h"

#include <string>

#include "core/image/SxcLoader.h"
#include "ui/CommandGuard.h"

namespace korvid {

TSXCForm::TSXCForm(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(QStringLiteral("SXC"));
}

void TSXCForm::SXCLoad(const QString& baseName) {
    std::string message;
    const QByteArray name = baseName.toLocal8Bit();
    if (!korvid::SXCLoad(shell_.state, std::string(name.constData(), std::size_t(name.size())), message))
        throw FileError(message);
}

}  // namespace korvid
