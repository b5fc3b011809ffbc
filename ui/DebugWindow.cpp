#include "ui/DebugWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QWheelEvent>

#include "ui/WindowFit.h"
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

void TDebugWindow::MakeScrolled() {
    Scrolled = new ScrolledCanvas(this);
    Scrolled->paint = [this](QPainter& g) { PaintContent(g); };
    Scrolled->click = [this](QMouseEvent* e, bool twice) { Clicked(e, e->position().toPoint(), twice); };
    Scrolled->wheel = [this](int notches, QPoint at) { Wheel(notches, at); };
}

void TDebugWindow::SetContentSize(QSize size, int rowHeight) {
    Scrolled->SetContentSize(size, rowHeight);
    FitWindowToContent(*this, size);
}

void TDebugWindow::Redraw(const QRect& r) { Scrolled->Canvas()->update(r); }
void TDebugWindow::Redraw() { Scrolled->Canvas()->update(); }
int TDebugWindow::ContentWidth() const { return Scrolled->Canvas()->width(); }

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
    if (Scrolled && Scrolled->ScrollKey(event->key())) return;
    // Escape would close the dialog: no debug window hides that way.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

void TDebugWindow::wheelEvent(QWheelEvent* event) {
    WheelNotches(korvid::WheelNotches(*event));
    event->accept();
}

// The content scrolls with the wheel where it is larger than the window,
// except where the window has a use of its own for the wheel.
void TDebugWindow::Wheel(int notches, QPoint at) {
    if (Scrolled->ScrollsVertically() && !OwnsWheel(at))
        Scrolled->ScrollNotches(Qt::Vertical, notches);
    else
        WheelNotches(notches);
}

// A click on the window itself (with a scrolled canvas, one sent to it
// rather than to the canvas) counts at the content's point below it.
QPoint TDebugWindow::ContentPoint(const QMouseEvent& event) const {
    const QPoint p = event.position().toPoint();
    return Scrolled ? Scrolled->Canvas()->mapFrom(this, p) : p;
}
void TDebugWindow::mousePressEvent(QMouseEvent* event) { Clicked(event, ContentPoint(*event), false); }
void TDebugWindow::mouseDoubleClickEvent(QMouseEvent* event) { Clicked(event, ContentPoint(*event), true); }

void TDebugWindow::Clicked(QMouseEvent* event, QPoint at, bool twice) {
    if (event->button() == Qt::LeftButton && HaltedSession()) HaltedClick(at, twice);
}

}  // namespace korvid
