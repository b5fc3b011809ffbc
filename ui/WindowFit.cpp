#include "ui/WindowFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWindow>
#include <algorithm>

namespace korvid {

QMargins FrameMargins(std::initializer_list<const QWidget*> windows) {
    QMargins m;
    for (const QWidget* w : windows) {
        if (!w || !w->isVisible() || !w->windowHandle()) continue;
        const QMargins f = w->windowHandle()->frameMargins();
        m = QMargins(std::max(m.left(), f.left()), std::max(m.top(), f.top()), std::max(m.right(), f.right()),
                     std::max(m.bottom(), f.bottom()));
    }
    return m;
}

void FixWindowSize(QWidget& window, QSize size, bool minimisable) {
    if (!window.isVisible()) {
        Qt::WindowFlags flags = window.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                Qt::MSWindowsFixedSizeDialogHint;
        flags &= ~Qt::WindowMaximizeButtonHint;
        flags.setFlag(Qt::WindowMinimizeButtonHint, minimisable);
        window.setWindowFlags(flags);
    }
    // The window manager writes the title in a bold face of about the
    // application's size, beside its icon and three square buttons (some
    // draw minimise and maximise even where they do nothing), with padding
    // about as wide as one more button.
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const int button = title.height() + 6;
    const int needed = title.horizontalAdvance(window.windowTitle()) + 6 * button;
    window.setFixedSize(std::max(size.width(), needed), size.height());
}

}  // namespace korvid
