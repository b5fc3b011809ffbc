#include "ui/WindowFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
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

namespace {

// Before the window first shows: the close button (and minimise when
// `minimisable`), no maximise button; a `fixed` size.
void SetTitleBar(QWidget& window, bool minimisable, bool fixed) {
    if (window.isVisible()) return;
    Qt::WindowFlags flags = window.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    flags.setFlag(Qt::MSWindowsFixedSizeDialogHint, fixed);
    flags &= ~Qt::WindowMaximizeButtonHint;
    flags.setFlag(Qt::WindowMinimizeButtonHint, minimisable);
    window.setWindowFlags(flags);
}

// `size` widened where the window's title needs more room. The window
// manager writes the title in a bold face of about the application's size,
// beside its icon and three square buttons (some draw minimise and maximise
// even where they do nothing), with padding about as wide as one more
// button.
QSize WithWholeTitle(const QWidget& window, QSize size) {
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const int button = title.height() + 6;
    const int needed = title.horizontalAdvance(window.windowTitle()) + 6 * button;
    return {std::max(size.width(), needed), size.height()};
}

}  // namespace

void FixWindowSize(QWidget& window, QSize size, bool minimisable) {
    SetTitleBar(window, minimisable, true);
    window.setFixedSize(WithWholeTitle(window, size));
}

void KeepTitleWhole(QWidget& window) {
    const QSize least = window.layout() ? window.layout()->totalMinimumSize() : window.minimumSize();
    window.setMinimumSize(WithWholeTitle(window, least));
}

void FitWindowToContent(QWidget& window, QSize content) {
    SetTitleBar(window, false, false);
    const QSize most = WithWholeTitle(window, content);
    if (most == window.maximumSize()) return;  // the user's size stays
    // Small enough for any screen, wide enough for the title.
    window.setMinimumSize(WithWholeTitle(window, QSize(0, 64)).boundedTo(most));
    window.setMaximumSize(most);
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    QSize room = most;
    if (screen) {
        // Before its first show the window has no frame: it will get the
        // frame of the windows already shown.
        QMargins frame = FrameMargins({&window});
        for (const QWidget* other : QApplication::topLevelWidgets())
            if (frame.isNull()) frame = FrameMargins({other});
        room = screen->availableGeometry().size().shrunkBy(frame);
    }
    window.resize(most.boundedTo(room));
}

}  // namespace korvid
