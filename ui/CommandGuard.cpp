#include "ui/CommandGuard.h"

#include <QCoreApplication>

#include "core/link/LinkError.h"

namespace korvid {

namespace {
QMessageBox::StandardButton Box(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton escape) {
    QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, owner);
    box.setEscapeButton(escape);
    int r = box.exec();
    return QMessageBox::StandardButton(r);
}
}  // namespace

void RunGuarded(QWidget* owner, const std::function<void()>& command) {
    try {
        command();
    } catch (const LinkFailure& e) {
        ShowLinkFailure(owner, QString::fromLatin1(e.Text().c_str()));
    } catch (const SilentAbort&) {
    } catch (const std::exception& e) {
        ShowError(owner, QString::fromLocal8Bit(e.what()));
    }
}

QMessageBox::StandardButton Confirm(QWidget* owner, const QString& text) {
    auto r = Box(owner, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                 QMessageBox::Cancel);
    return r == QMessageBox::Yes || r == QMessageBox::No ? r : QMessageBox::Cancel;
}

bool WarnYesNo(QWidget* owner, const QString& text) {
    return Box(owner, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void Inform(QWidget* owner, const QString& text) {
    Box(owner, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void ShowError(QWidget* owner, const QString& text) {
    Box(owner, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

void ShowLinkFailure(QWidget* owner, const QString& text) {
    Box(owner, QMessageBox::Critical, text, QMessageBox::Abort, QMessageBox::Abort);
}

}  // namespace korvid
