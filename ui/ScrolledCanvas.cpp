#include "ui/ScrolledCanvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <cstdint>

namespace korvid {

namespace {

// A wheel's angle in notches of 120; a fine wheel's part of a notch counts.
int Notches(int delta) {
    const int notches = delta / 120;
    if (notches == 0 && delta != 0) return delta < 0 ? -1 : 1;
    return notches;
}

// The canvas hands its events to the area's callbacks.
class CanvasWidget : public QWidget {
public:
    explicit CanvasWidget(ScrolledCanvas& area) : area_(area) { setObjectName(QStringLiteral("Canvas")); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter g(this);
        if (area_.paint) area_.paint(g);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (area_.click) area_.click(e, false);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (area_.click) area_.click(e, true);
    }
    // A sideways wheel (a touchpad's) scrolls sideways; the owner decides
    // what the common one does.
    void wheelEvent(QWheelEvent* e) override {
        const QPoint delta = e->angleDelta();
        if (std::abs(delta.x()) > std::abs(delta.y()))
            area_.ScrollNotches(Qt::Horizontal, Notches(delta.x()));
        else if (area_.wheel)
            area_.wheel(WheelNotches(*e), e->position().toPoint());
        e->accept();
    }

private:
    ScrolledCanvas& area_;
};

}  // namespace

int WheelNotches(const QWheelEvent& e) { return Notches(e.angleDelta().y()); }

ScrolledCanvas::ScrolledCanvas(QWidget* window) : QScrollArea(window) {
    setObjectName(QStringLiteral("Scroller"));
    setFrameShape(QFrame::NoFrame);
    // The keys stay with the window and its edits; it passes on the rest.
    setFocusPolicy(Qt::NoFocus);
    horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setWidget(new CanvasWidget(*this));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(this);
}

void ScrolledCanvas::SetContentSize(QSize size, int rowHeight) {
    widget()->setMinimumSize(size);
    verticalScrollBar()->setSingleStep(std::max(rowHeight, 1));
    horizontalScrollBar()->setSingleStep(std::max(rowHeight, 1));
}

bool ScrolledCanvas::ScrollsVertically() const { return verticalScrollBar()->maximum() > 0; }

void ScrolledCanvas::ScrollNotches(Qt::Orientation along, int notches) {
    QScrollBar* bar = along == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar();
    bar->setValue(bar->value() - notches * 3 * bar->singleStep());
}

bool ScrolledCanvas::ScrollKey(int key) {
    enum class By : std::uint8_t { Step, Page, End };
    struct Move {
        int key;
        bool vertical;
        int sign;
        By by;
    };
    static constexpr Move kMoves[] = {
        {Qt::Key_Up, true, -1, By::Step},     {Qt::Key_Down, true, 1, By::Step},  {Qt::Key_Left, false, -1, By::Step},
        {Qt::Key_Right, false, 1, By::Step},  {Qt::Key_PageUp, true, -1, By::Page}, {Qt::Key_PageDown, true, 1, By::Page},
        {Qt::Key_Home, true, -1, By::End},    {Qt::Key_End, true, 1, By::End},
    };
    for (const Move& m : kMoves) {
        if (m.key != key) continue;
        QScrollBar* bar = m.vertical ? verticalScrollBar() : horizontalScrollBar();
        if (bar->maximum() == 0) return false;
        const int step = m.by == By::Step ? bar->singleStep() : m.by == By::Page ? bar->pageStep() : bar->maximum();
        bar->setValue(bar->value() + m.sign * step);
        return true;
    }
    return false;
}

void ScrolledCanvas::ShowRect(const QRect& r) {
    if (r.isEmpty()) return;
    ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 1, r.height() / 2 + 1);
}

}  // namespace korvid
