// Windows that fit the screen and the window manager: the frame a window
// will get, fixed-size windows and windows no larger than their scrolled
// content, whose title bars show the whole title and offer no maximise
// button.
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

// A window laid out by its layout: at least as wide as its title needs (as
// above), so that a narrow window still shows its whole title.
void KeepTitleWhole(QWidget& window);

// For a window whose content scrolls: it can be made smaller by the user,
// and no larger than `content` (widened for the title as above), with the
// title bar of a fixed-size window. When `content` is new (the first call,
// another font) the window takes that size, or the screen's usable area
// where that is smaller; otherwise it keeps the size it has.
void FitWindowToContent(QWidget& window, QSize content);

}  // namespace korvid
