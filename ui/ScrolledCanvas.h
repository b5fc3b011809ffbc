// A painted window content that may be larger than its window: a canvas in
// a frameless scroll area that fills the window. The canvas is at least the
// content's size and grows with the window; when the window is smaller, the
// area's scroll bars appear. Painting, clicks and the wheel on the canvas go
// to the owner's callbacks in canvas coordinates; the owner passes the keys
// it does not use to ScrollKey.
#pragma once

#include <QScrollArea>
#include <functional>

class QMouseEvent;
class QPainter;
class QWheelEvent;

namespace korvid {

// The wheel's turn in notches, positive away from the user (a fine wheel's
// part of a notch counts as one).
int WheelNotches(const QWheelEvent& event);

class ScrolledCanvas : public QScrollArea {
    Q_OBJECT
public:
    explicit ScrolledCanvas(QWidget* window);

    std::function<void(QPainter&)> paint;
    // A press or (`twice`) a double click of any button.
    std::function<void(QMouseEvent*, bool twice)> click;
    // The wheel's notches (positive away from the user) at a point.
    std::function<void(int notches, QPoint at)> wheel;

    QWidget* Canvas() const { return widget(); }
    // The content's size (the canvas is never smaller) and its row height,
    // the step of the arrow keys and of the wheel (three rows a notch).
    void SetContentSize(QSize size, int rowHeight);
    // Whether the window shows less than the content's height.
    bool ScrollsVertically() const;
    // Scrolls by the wheel's notches (positive up or left).
    void ScrollNotches(Qt::Orientation along, int notches);
    // Up, Down, Left, Right, Page Up, Page Down, Home and End scroll the
    // content; false for any other key, or when nothing is hidden.
    bool ScrollKey(int key);
    // Scrolls as little as needed to show `r` (canvas coordinates).
    void ShowRect(const QRect& r);
};

}  // namespace korvid
