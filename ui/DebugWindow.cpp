#include "ui/DebugWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QWheelEvent>

#include "ui/WindowRoles.h"

namespace korvid {

const TDebugWindow::Key TDebugWindow::kKeys[4] = {
    {Qt::Key_F5, DebugCommand::Run},
    {Qt::SHIFT | Qt::Key_F5, DebugCommand::Stop},
    {Qt::Key_F10, DebugCommand::Hop},
    {Qt::Key_F11, DebugCommand::Step},
};

// The keys are shortcuts of the window, so that they work whichever of its
// controls has the focus (the Registers window's cell editor takes every
// other key).
TDebugWindow::TDebugWindow(Shell& shell, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), shell_(shell) {
    for (const Key& k : kKeys) {
        auto* shortcut = new QShortcut(QKeySequence(k.key), this);
        const DebugCommand command = k.command;
        connect(shortcut, &QShortcut::activated, this, [this, command] {
            if (DebugRole* debug = RoleOf(shell_.debug)) debug->KeyCommand(command);
        });
    }
    auto* breakpoint = new QShortcut(QKeySequence(kBreakpointKey), this);
    connect(breakpoint, &QShortcut::activated, this, [this] { ToggleBreakpointHere(); });
}

DebugSession* TDebugWindow::Session() const { return shell_.debug ? &shell_.debugger.Session : nullptr; }

DebugSession* TDebugWindow::HaltedSession() const {
    DebugSession* s = Session();
    return s && s->StateValid ? s : nullptr;
}

void TDebugWindow::Guard(const std::function<void()>& action) {
    if (shell_.debug) shell_.debugger.RunCommand(action);
}

bool TDebugWindow::event(QEvent* event) {
    const bool used = QDialog::event(event);
    if (event->type() == QEvent::Show) FormShow();
    if (event->type() == QEvent::WindowDeactivate) FormDeactivate();
    return used;
}

void TDebugWindow::keyPressEvent(QKeyEvent* event) {
    if (FormKeyDown(event)) return;
    // Escape would close the dialog: no debug window hides that way.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

void TDebugWindow::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    int notches = delta / 120;
    if (notches == 0 && delta != 0) notches = delta < 0 ? -1 : 1;  // a fine wheel's part notch counts
    WheelNotches(notches);
    event->accept();
}

void TDebugWindow::mousePressEvent(QMouseEvent* event) { Clicked(event, false); }
void TDebugWindow::mouseDoubleClickEvent(QMouseEvent* event) { Clicked(event, true); }

void TDebugWindow::Clicked(QMouseEvent* event, bool twice) {
    if (event->button() == Qt::LeftButton && HaltedSession()) HaltedClick(event->position().toPoint(), twice);
}

}  // namespace korvid
