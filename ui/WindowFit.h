// Windows that fit the screen and the window manager: the frame a window
// will get, fixed-size windows whose title bar shows the whole title and
// offers no maximise button.
#pragma once

#include <QMargins>
#include <QWidget>
#include <initializer_list>

namespace korvid {

// The largest frame (title bar and borders) the window manager gave any of
// `windows` that show; none when none is framed yet (or null ones only).
QMargins FrameMargins(std::initializer_list<const QWidget*> windows);

// Fixes `window` at `size`, widened where its title needs more room. Before
// the window first shows it also gets its title bar: the close button (and
// minimise when `minimisable`), no maximise button.
void FixWindowSize(QWidget& window, QSize size, bool minimisable = false);

}  // namespace korvid
