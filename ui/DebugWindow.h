// What the four debug windows (Debug, Registers, Code and Watch) share:
// the keys of the debug commands, which work from each of them, Escape that
// never hides one (the Debug window shows and hides the views; Quit and the
// close box end debugging), and the events the views answer alike. A view
// that paints its content (Registers, Watch) paints it on a scrolled canvas,
// so that a window smaller than the content scrolls.
#pragma once

#include <QDialog>
#include <QKeyCombination>
#include <functional>

#include "core/link/Debug.h"
#include "ui/ScrolledCanvas.h"
#include "ui/Shell.h"

namespace korvid {

class TDebugWindow : public QDialog {
    Q_OBJECT
public:
    TDebugWindow(Shell& shell, QWidget* parent, Qt::WindowFlags flags = {});

    // The debug keys: F5 Run, Shift+F5 Stop, F10 Hop and F11 Step run as
    // the Debug window's buttons would (only while the button is enabled);
    // F9 toggles the breakpoint on the window's selected line.
    struct Key {
        QKeyCombination key;
        DebugCommand command;
    };
    static const Key kKeys[4];
    static constexpr Qt::Key kBreakpointKey = Qt::Key_F9;

protected:
    // What a window adds; each does nothing unless the window overrides it.
    // Every show (the window is measured again).
    virtual void FormShow() {}
    // The window lost activation (an edit in progress ends).
    virtual void FormDeactivate() {}
    // A key of the window's own; true when it was used.
    virtual bool FormKeyDown(QKeyEvent*) { return false; }
    // The wheel, in notches (positive away from the user), where the window
    // does not scroll its content with it.
    virtual void WheelNotches(int) {}
    // With a scrolled canvas: whether the wheel at a point of the content
    // is the window's own even where the content scrolls.
    virtual bool OwnsWheel(QPoint) const { return false; }
    // With a scrolled canvas: paints the content.
    virtual void PaintContent(QPainter&) {}
    // A left click (`twice`: the second of a double click) while the chip
    // is halted.
    virtual void HaltedClick(QPoint, bool /*twice*/) {}
    // F9: the breakpoint on the selected line.
    virtual void ToggleBreakpointHere() {}

    // The shell's debug session (none before the Debug window exists).
    DebugSession* Session() const;
    // The session while the chip is halted and its state read.
    DebugSession* HaltedSession() const;
    // Puts the window's content on a scrolled canvas (`Scrolled`), which
    // then takes the window's painting, clicks and wheel.
    void MakeScrolled();
    // The content's size and its row height (a step of the keys and the
    // wheel) at each layout: the window is no larger than the content.
    void SetContentSize(QSize size, int rowHeight);
    // Repaints a part of the content (all of it without `r`).
    void Redraw(const QRect& r);
    void Redraw();
    // The width of the content as shown (at least the content's).
    int ContentWidth() const;
    ScrolledCanvas* Scrolled = nullptr;

    // Runs an action of the window (a click, an edit) through the Debug
    // window's guard, never during another command or poll.
    void Guard(const std::function<void()>& action);

    // The Qt events behind the parts above: a show and the loss of
    // activation reach FormShow and FormDeactivate after Qt's own handling.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

    Shell& shell_;

private:
    QPoint ContentPoint(const QMouseEvent& event) const;
    void Clicked(QMouseEvent* event, QPoint at, bool twice);
    void Wheel(int notches, QPoint at);
};

// A debugger view (Registers, Code, Watch): a debug window that the debug
// session repaints at each halt and breakpoint change while it shows.
class TDebugViewWindow : public TDebugWindow, public DebugView {
    Q_OBJECT
public:
    using TDebugWindow::TDebugWindow;
    bool Showing() const override { return isVisible(); }
};

}  // namespace korvid
