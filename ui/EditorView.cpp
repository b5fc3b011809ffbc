#include "ui/EditorView.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstring>

namespace korvid {

namespace {
// Text colours of the syntax classes (SyntaxKind order) on a light and on a
// dark background; Plain uses the palette's text colour.
struct SyntaxColour {
    std::uint32_t light, dark;
};
constexpr SyntaxColour kSyntaxColours[] = {
    {0x000000, 0xFFFFFF},  // Plain (palette)
    {0x707070, 0x9A9A9A},  // Comment
    {0xA31515, 0xE6A872},  // String
    {0x098658, 0xA8D8A0},  // Number
    {0x795E26, 0xE8D67A},  // Label
    {0x0000C0, 0x7FB4FF},  // Instruction
    {0xAF00DB, 0xE09AF0},  // Directive
    {0x007A9A, 0x5FD7E8},  // Register
    {0xE00000, 0xFF6060},  // Error
    {0x6A6A9A, 0x9A9ACA},  // ListPrefix
};

std::uint32_t SystemMilliseconds() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Start well past the initial click times so that the first click is single.
    return std::uint32_t(timer.elapsed()) + 10000u;
}
}  // namespace

TEditorView::TEditorView(TextBuffer& text, QWidget* parent) : QWidget(parent), Text(text) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAutoFillBackground(true);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    CursorTimer.setInterval(125);
    SelectTimer.setInterval(100);
    connect(&CursorTimer, &QTimer::timeout, this, &TEditorView::CursorTimerTick);
    connect(&SelectTimer, &QTimer::timeout, this, &TEditorView::SelectTimerTick);
    Ticks = SystemMilliseconds;
    VerticalBar = new QScrollBar(Qt::Vertical, this);
    VerticalBar->setObjectName(QStringLiteral("EditorVerticalBar"));
    HorizontalBar = new QScrollBar(Qt::Horizontal, this);
    HorizontalBar->setObjectName(QStringLiteral("EditorHorizontalBar"));
    for (QScrollBar* bar : {VerticalBar, HorizontalBar}) {
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setCursor(Qt::ArrowCursor);
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (!syncingBars_) ScrollTo(VerticalBar->value(), HorizontalBar->value());
        });
    }
    ShadowGrid.assign(std::size_t(screenRows + 1) * std::size_t(cellsPerRow), 0);
}

// ---- layout and painting ----------------------------------------------------

void TEditorView::LayoutView() {
    // The scroll bars take the right and bottom edges; the text the rest.
    const int barWidth = VerticalBar->sizeHint().width();
    const int barHeight = HorizontalBar->sizeHint().height();
    VerticalBar->setGeometry(width() - barWidth, 0, barWidth, std::max(height() - barHeight, 0));
    HorizontalBar->setGeometry(0, height() - barHeight, std::max(width() - barWidth, 0), barHeight);
    areaLeft = 1;
    areaTop = 1;
    areaRight = width() - barWidth - 1;
    areaBottom = height() - barHeight - 1;
    QFont font(EditorFontName, EditorFontSize);
    setFont(font);
    areaLeft = std::max(areaLeft, 0);
    areaRight = std::max(areaRight, areaLeft);
    areaTop = std::max(areaTop, 0);
    areaBottom = std::max(areaBottom, areaTop);
    QFontMetrics fm(font);
    charWidth = std::max(fm.horizontalAdvance(QLatin1Char('X')), 1);
    charHeight = std::max(fm.height(), 1);
    leftMargin = std::min((charWidth * 3) >> 3, areaRight - areaLeft);
    if (LineNumbersOn) {
        // Room for the largest line number of the buffer and a space.
        gutterColumns_ = std::max(int(std::to_string(Text.capacity).size()) - 1, 4) + 1;
        leftMargin = std::min(leftMargin + gutterColumns_ * charWidth, areaRight - areaLeft);
    } else {
        gutterColumns_ = 0;
    }
    topMargin = std::min((charHeight * 3) >> 4, areaBottom - areaTop);
    visibleColumns = (areaRight - areaLeft - leftMargin) / charWidth;
    visibleRows = (areaBottom - areaTop - topMargin) / charHeight;
    cellsPerRow = (visibleColumns & ~1) + 2;
    screenRows = visibleRows + 1;
    ShadowGrid.assign(std::size_t(screenRows + 1) * std::size_t(cellsPerRow), 0);
    visibleRows = std::max(visibleRows, 1);
    fullRepaint = true;
    RefreshView();
}

// Draws `text` with its characters on the cells from `x` (the baseline at
// `y`). The font's own advance is a fraction of a pixel off the cell (7.2
// pixels for a cell of 7), so text laid out by the font drifts off the
// cells: runs of other colours, each starting at its own column, overlapped
// it (letters on letters, vanished spaces, words off their column), and a
// line of one colour would sit off the columns of the lines around it and
// of the caret. Where the advance is not the cell, each character is drawn
// on its own cell (at whole pixels; spaces have nothing to draw).
void TEditorView::DrawCells(QPainter& painter, bool exact, int x, int y, const QString& text) const {
    if (exact) {
        painter.drawText(x, y, text);
        return;
    }
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != QLatin1Char(' ')) painter.drawText(x + int(i) * charWidth, y, QString(text[i]));
}

QRect TEditorView::RowRect(int r) const {
    int y0 = areaTop + r * charHeight;
    int top = y0 + (r ? topMargin : 0);
    int bottom = std::min(y0 + topMargin + charHeight, areaBottom);
    if (bottom <= top || areaRight <= areaLeft) return {};
    return QRect(areaLeft, top, areaRight - areaLeft, bottom - top);
}

QRect TEditorView::CaretRect() const {
    if (caretRow < 0 || caretColumn < 0 || caretColumn > visibleColumns) return {};
    int x0 = areaLeft + leftMargin + caretColumn * charWidth - ((charWidth + 8) >> 4);
    int x1 = x0 + (charWidth >> 3) + 1;
    x0 = std::max(x0, areaLeft);
    x1 = std::min(x1, areaRight);
    int y1 = std::min(areaTop + topMargin + caretRow * charHeight, areaBottom);
    int y2 = std::min(y1 + charHeight, areaBottom);
    if (x1 <= x0 || y2 <= y1) return {};
    return QRect(x0, y1, x1 - x0, y2 - y1);
}

QPoint TEditorView::CellCentre(int column, int row) const {
    return QPoint(areaLeft + leftMargin + column * charWidth + charWidth / 4,
                  areaTop + topMargin + row * charHeight + charHeight / 2);
}

std::int32_t TEditorView::BuildRow(std::int32_t pos) {
    std::int32_t s = std::min(Text.caret, Text.anchor);
    std::int32_t e = std::max(Text.caret, Text.anchor);
    if (Text.selectionState == 0) s = e;
    std::uint16_t* row = Row(0);
    const int cells = cellsPerRow;
    const std::int32_t hs = horizontalScroll;
    std::int32_t column = 0;
    std::int32_t p = pos;
    const std::int32_t length = Text.length;
    auto put = [&](std::uint16_t cell) {
        std::int32_t i = column - hs;
        if (i >= 0 && i < cells) row[i] = cell;
        ++column;
    };
    auto fill = [&](std::uint16_t cell) {
        for (std::int32_t i = std::max(column - hs, 0); i < cells; ++i) row[i] = cell;
    };
    const std::size_t colourBase = std::size_t(TopLine);
    while (p < length) {
        std::uint8_t b = Text.ByteAt(p);
        std::uint16_t attr = (s <= p && p < e) ? 0x100 : 0;
        const std::size_t k = std::size_t(p) - colourBase;
        if (k < kinds_.size()) attr |= std::uint16_t(kinds_[k] << 9);
        ++p;
        if (b == std::uint8_t(CR)) {
            fill(attr);
            return p;
        }
        if (b == std::uint8_t(TAB)) {
            do put(attr | ' ');
            while (column & 7);
        } else {
            put(attr | b);
        }
    }
    fill(0);
    return length;
}

bool TEditorView::StoreRowIfChanged(int r) {
    std::size_t bytes = std::size_t(cellsPerRow) * sizeof(std::uint16_t);
    if (std::memcmp(Row(0), Row(r + 1), bytes) == 0) return false;
    std::memcpy(Row(r + 1), Row(0), bytes);
    return true;
}

void TEditorView::RefreshView() {
    const bool keepScroll = keepScroll_;
    keepScroll_ = false;
    std::int32_t keep = Text.caret;
    Text.LineStart();
    std::int32_t lineStart = Text.caret;
    if (keepScroll) {
        // TopLine stays; a caret outside the rows shown is not drawn.
    } else if (TopLine > lineStart) {
        TopLine = lineStart;
    } else {
        for (int i = 0; i < visibleRows - 1; ++i) Text.LineUp();
        TopLine = std::max(TopLine, Text.caret);
    }
    Text.caret = TopLine;
    int row = 0;
    for (;;) {
        Text.LineEnd();
        if (Text.caret >= keep || row >= visibleRows - 1) break;
        Text.CursorRight();
        Text.LineStart();
        ++row;
    }
    caretRow = row;
    if (keepScroll && (keep < TopLine || Text.caret < keep)) caretRow = -1;
    Text.caret = keep;

    std::int32_t col = Text.CursorColumn();
    if (keepScroll) {
    } else if (col < horizontalScroll)
        horizontalScroll = col;
    else if (horizontalScroll + visibleColumns < col)
        horizontalScroll = col - visibleColumns;
    caretColumn = col - horizontalScroll;

    ColourVisibleText();
    if (fullRepaint) update();
    std::int32_t pos = TopLine;
    for (int r = 0; r < screenRows; ++r) {
        pos = BuildRow(pos);
        if (StoreRowIfChanged(r) && !fullRepaint) update(RowRect(r));
    }
    if (caretDrawn_) ToggleCaret();  // erase a caret still shown at its old place
    ToggleCaret();
    blinkCounter = 4;
    CursorTimer.start();
    fullRepaint = false;
    UpdateScrollBars();
    if (Refreshed) Refreshed();
}

// One pass over the text: its lines, the longest line's columns and the
// line TopLine starts.
void TEditorView::UpdateScrollBars() {
    std::int32_t lines = 1, topLineIndex = 0, longest = 0, column = 0;
    for (std::int32_t p = 0; p < Text.length; ++p) {
        if (p == TopLine) topLineIndex = lines - 1;
        const std::uint8_t b = Text.ByteAt(p);
        if (b == std::uint8_t(CR)) {
            longest = std::max(longest, column);
            column = 0;
            ++lines;
        } else {
            column = AdvanceColumn(column, b);
        }
    }
    if (TopLine >= Text.length) topLineIndex = lines - 1;
    // The numbers beside the rows change with the first line shown.
    if (gutterColumns_ > 0 && (topLineIndex != topLineIndex_ || lines != lineCount_)) update();
    topLineIndex_ = topLineIndex;
    lineCount_ = lines;
    longest = std::max(longest, column);
    syncingBars_ = true;
    VerticalBar->setRange(0, std::max(lines - 1, topLineIndex));
    VerticalBar->setPageStep(visibleRows);
    VerticalBar->setValue(topLineIndex);
    HorizontalBar->setRange(0, std::max(longest - visibleColumns, horizontalScroll));
    HorizontalBar->setPageStep(visibleColumns);
    HorizontalBar->setValue(horizontalScroll);
    syncingBars_ = false;
}

// The text from TopLine to the end of the last screen row, classified.
void TEditorView::ColourVisibleText() {
    kinds_.clear();
    if (!Colourer || !ColoursOn) return;
    visibleText_.clear();
    int rows = 0;
    for (std::int32_t p = TopLine; p < Text.length && rows < screenRows; ++p) {
        const char b = char(Text.ByteAt(p));
        visibleText_.push_back(b);
        rows += b == CR;
    }
    Colourer(visibleText_, kinds_);
}

void TEditorView::SetColours(bool on) {
    ColoursOn = on;
    FullRepaint();
}

void TEditorView::SetLineNumbers(bool on) {
    LineNumbersOn = on;
    LayoutView();
}

void TEditorView::ScrollTo(std::int32_t line, std::int32_t column) {
    const std::int32_t keep = Text.caret;
    Text.caret = 0;
    for (std::int32_t n = 0; n < line && Text.caret < Text.length; ++Text.caret)
        if (Text.ByteAt(Text.caret) == std::uint8_t(CR)) ++n;
    Text.LineStart();
    TopLine = Text.caret;
    Text.caret = keep;
    horizontalScroll = std::max(column, 0);
    keepScroll_ = true;
    HideCaret();
    fullRepaint = true;
    RefreshView();
}

void TEditorView::ToggleCaret() {
    caretDrawn_ = !caretDrawn_;
    if (caretDrawn_) drawnCaret_ = CaretRect();
    update(drawnCaret_);
}

void TEditorView::HideCaret() {
    if (caretDrawn_) ToggleCaret();
    CursorTimer.stop();
}

void TEditorView::CursorTimerTick() {
    ++blinkCounter;
    if ((blinkCounter & 3) == 0) ToggleCaret();
}

void TEditorView::ResetScroll() {
    horizontalScroll = 0;
    Text.verticalState = 0;
}

void TEditorView::TextBigger() {
    if (EditorFontSize >= kMaxTextSize) return;
    ++EditorFontSize;
    LayoutView();
}

void TEditorView::TextSmaller() {
    if (EditorFontSize <= kMinTextSize) return;
    --EditorFontSize;
    LayoutView();
}

void TEditorView::ClearText() {
    Text.ClearText();
    TopLine = 0;
    horizontalScroll = 0;
    dragging = 0;
    SelectTimer.stop();
    HideCaret();
    FullRepaint();
}

void TEditorView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QPalette& pal = palette();
    const QRegion& region = event->region();
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawLine(areaRight, areaTop - 1, areaLeft - 1, areaTop - 1);
    painter.drawLine(areaLeft - 1, areaTop - 1, areaLeft - 1, areaBottom);
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(areaLeft - 1, areaBottom, areaRight, areaBottom);
    painter.drawLine(areaRight, areaBottom, areaRight, areaTop - 1);

    const QFont font(EditorFontName, EditorFontSize);
    painter.setFont(font);
    const bool exactAdvance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('X')) == qreal(charWidth);
    const int ascent = QFontMetrics(font).ascent();
    const QColor background[2] = {pal.color(QPalette::Base), pal.color(QPalette::Highlight)};
    const bool dark = pal.color(QPalette::Base).lightness() < 128;
    auto foreground = [&](int attr) {
        if (attr & 1) return pal.color(QPalette::HighlightedText);
        const int kind = attr >> 1;
        if (kind <= 0 || kind >= int(std::size(kSyntaxColours))) return pal.color(QPalette::Text);
        return QColor(QRgb(dark ? kSyntaxColours[kind].dark : kSyntaxColours[kind].light));
    };
    std::vector<char> texts;
    texts.reserve(std::size_t(cellsPerRow));
    const int gutterWidth = std::min(gutterColumns_ * charWidth, leftMargin);
    struct Run {
        int column, attr, start, count;
    };
    std::vector<Run> runs;

    for (int r = 0; r < screenRows; ++r) {
        QRect rowRect = RowRect(r);
        if (rowRect.isEmpty() || !region.intersects(rowRect)) continue;
        ++paintedRows;
        const std::uint16_t* cells = Row(r + 1);
        const int y0 = areaTop + r * charHeight;
        // Backgrounds first, then each run's text from its own column: a
        // glyph may reach a little past its cell (italics, wide letters)
        // and must not be cut at the next run.
        runs.clear();
        texts.clear();
        int i = 0;
        while (i < cellsPerRow) {
            const int attr = cells[i] >> 8;
            int j = i;
            const int start = int(texts.size());
            bool blank = false;
            while (j < cellsPerRow && (cells[j] >> 8) == attr) {
                char ch = char(cells[j] & 0xFF);
                if (ch == 0) blank = true;
                if (!blank) texts.push_back(ch);
                ++j;
            }
            // The first run covers the left margin, but not the line numbers.
            int left = i ? areaLeft + leftMargin + i * charWidth : areaLeft + gutterWidth;
            int right = std::min(areaLeft + leftMargin + j * charWidth, areaRight);
            if (right > left) painter.fillRect(QRect(left, rowRect.top(), right - left, rowRect.height()), background[attr & 1]);
            if (int(texts.size()) > start) runs.push_back({i, attr, start, int(texts.size()) - start});
            if (right >= areaRight) break;
            i = j;
        }
        painter.setClipRect(rowRect);
        for (const Run& run : runs) {
            painter.setPen(foreground(run.attr));
            DrawCells(painter, exactAdvance, areaLeft + leftMargin + run.column * charWidth, y0 + topMargin + ascent,
                      QString::fromLatin1(texts.data() + run.start, run.count));
        }
        // The numbers, also of the last row, which is only partly visible.
        if (gutterWidth > 0) {
            painter.fillRect(QRect(areaLeft, rowRect.top(), gutterWidth, rowRect.height()), background[0]);
            const std::int32_t line = topLineIndex_ + r;
            if (line < lineCount_) {
                painter.setPen(pal.color(QPalette::PlaceholderText));
                painter.drawText(QRect(areaLeft, y0 + topMargin, (gutterColumns_ - 1) * charWidth, charHeight),
                                 Qt::AlignRight | Qt::AlignTop, QString::number(line + 1));
            }
        }
        painter.setClipping(false);
    }
    if (caretDrawn_ && !drawnCaret_.isEmpty()) {
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        painter.fillRect(drawnCaret_, Qt::black);
    }
}

void TEditorView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutView();
}

// ---- keys -------------------------------------------------------------------

void TEditorView::EndKey() {
    Text.EndKeystroke();
    HideCaret();
    RefreshView();
}

void TEditorView::FormKeyPress(std::uint8_t ch) {
    if (dragging) return;
    bool accepted = ch == 9 || ch == 13 || (ch >= 32 && ch <= 126) || ch >= 128;
    if (!accepted) return;
    Text.TypeChar(char(ch));
    EndKey();
}

void TEditorView::WordLeft() {
    std::int32_t p = Text.caret;
    for (;;) {
        if (Text.SelectWord()) {
            std::swap(Text.caret, Text.anchor);
            if (Text.caret != p) return;
        }
        if (!Text.CursorLeft()) {
            Text.selectionState = 0;
            return;
        }
    }
}

void TEditorView::WordRight() {
    std::int32_t p = Text.caret;
    for (;;) {
        if (Text.SelectWord() && Text.caret != p) return;
        if (!Text.CursorRight()) {
            Text.selectionState = 0;
            return;
        }
    }
}

void TEditorView::VerticalMove(bool up) {
    if (Text.verticalState == 0) Text.desiredColumn = Text.CursorColumn();
    Text.verticalState = 2;
    if (up)
        Text.LineUp();
    else
        Text.LineDown();
    Text.GoToColumn();
}

void TEditorView::PageUp() {
    if (Text.caret != TopLine) {
        Text.caret = TopLine;
        return;
    }
    for (int i = 0; i < visibleRows; ++i) Text.LineUp();
}

void TEditorView::PageDown() {
    std::int32_t keep = Text.caret;
    Text.caret = TopLine;
    for (int i = 0; i < visibleRows - 1; ++i) Text.LineDown();
    if (keep < Text.caret) return;
    for (int i = 0; i < visibleRows; ++i) Text.LineDown();
}

namespace {
// Ctrl+Backspace and Ctrl+Delete: the caret's whole line with its line end.
void DeleteWholeLine(TextBuffer& t) {
    t.LineStart();
    std::int32_t s = t.caret;
    t.LineEnd();
    t.CursorRight();
    t.DeleteRange(s, t.caret);
}

// A caret move: Shift extends the selection; with Ctrl the first move is
// made, else the second.
template <typename WithCtrl, typename Plain>
bool Move(TextBuffer& t, bool shift, bool ctrl, WithCtrl withCtrl, Plain plain) {
    if (shift) t.StartShiftSelection();
    if (ctrl)
        withCtrl();
    else
        plain();
    return true;
}
}  // namespace

bool TEditorView::FormKeyDown(int key, int modifiers) {
    // One row a key the editor handles itself; the handler returns false
    // when the key ends there (no caret bookkeeping after it).
    using Handler = bool (*)(TEditorView& v, TextBuffer& t, bool shift, bool ctrl);
    static constexpr struct {
        int key;
        Handler handle;
    } kKeys[] = {
        {Qt::Key_Backspace,
         [](TEditorView&, TextBuffer& t, bool shift, bool ctrl) {
             if (t.DeleteSelection()) return true;
             if (ctrl && shift) {
                 t.DeleteRange(0, t.caret);
             } else if (ctrl) {
                 DeleteWholeLine(t);
             } else if (shift) {
                 std::int32_t p = t.caret;
                 t.LineStart();
                 t.DeleteRange(t.caret, p);
             } else if (t.caret > 0) {
                 t.DeleteRange(t.caret - 1, t.caret);
             }
             return true;
         }},
        {Qt::Key_Delete,
         [](TEditorView&, TextBuffer& t, bool shift, bool ctrl) {
             if (t.DeleteSelection()) return true;
             if (ctrl && shift) {
                 t.DeleteRange(t.caret, t.length);
             } else if (ctrl) {
                 DeleteWholeLine(t);
             } else if (shift) {
                 std::int32_t p = t.caret;
                 t.LineEnd();
                 t.DeleteRange(p, t.caret);
             } else if (t.caret < t.length) {
                 t.DeleteRange(t.caret, t.caret + 1);
             }
             return true;
         }},
        {Qt::Key_Left,
         [](TEditorView& v, TextBuffer& t, bool shift, bool ctrl) {
             return Move(t, shift, ctrl, [&] { v.WordLeft(); }, [&] { t.CursorLeft(); });
         }},
        {Qt::Key_Right,
         [](TEditorView& v, TextBuffer& t, bool shift, bool ctrl) {
             return Move(t, shift, ctrl, [&] { v.WordRight(); }, [&] { t.CursorRight(); });
         }},
        {Qt::Key_Up,
         [](TEditorView& v, TextBuffer& t, bool shift, bool ctrl) {
             if (ctrl) return false;  // the menu's Text Bigger/Smaller
             if (shift) t.StartShiftSelection();
             v.VerticalMove(true);
             return true;
         }},
        {Qt::Key_Down,
         [](TEditorView& v, TextBuffer& t, bool shift, bool ctrl) {
             if (ctrl) return false;
             if (shift) t.StartShiftSelection();
             v.VerticalMove(false);
             return true;
         }},
        {Qt::Key_Home,
         [](TEditorView&, TextBuffer& t, bool shift, bool ctrl) {
             return Move(t, shift, ctrl, [&] { t.caret = 0; }, [&] { t.LineStart(); });
         }},
        {Qt::Key_End,
         [](TEditorView&, TextBuffer& t, bool shift, bool ctrl) {
             return Move(t, shift, ctrl, [&] { t.caret = t.length; }, [&] { t.LineEnd(); });
         }},
        {Qt::Key_PageUp,
         [](TEditorView& v, TextBuffer& t, bool shift, bool ctrl) {
             return Move(t, shift, ctrl, [&] { t.caret = 0; }, [&] { v.PageUp(); });
         }},
        {Qt::Key_PageDown,
         [](TEditorView& v, TextBuffer& t, bool shift, bool ctrl) {
             return Move(t, shift, ctrl, [&] { t.caret = t.length; }, [&] { v.PageDown(); });
         }},
    };
    const auto* row = std::find_if(std::begin(kKeys), std::end(kKeys), [key](const auto& r) { return r.key == key; });
    if (row == std::end(kKeys)) return false;
    if (dragging) return true;
    if (row->handle(*this, Text, (modifiers & Shift) != 0, (modifiers & Ctrl) != 0)) EndKey();
    return true;
}

// Tab and Shift+Tab are text for the editor, not focus moves.
bool TEditorView::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

void TEditorView::keyPressEvent(QKeyEvent* event) {
    // Shift+Tab arrives as Backtab without text; it types a TAB as Tab does.
    if (event->key() == Qt::Key_Backtab) {
        FormKeyPress(std::uint8_t('\t'));
        return;
    }
    const Qt::KeyboardModifiers m = event->modifiers();
    int modifiers = (m & Qt::ShiftModifier ? Shift : 0) | (m & Qt::ControlModifier ? Ctrl : 0);
    if (FormKeyDown(event->key(), modifiers)) return;
    const QString text = event->text();
    if (text.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    for (QChar c : text)
        if (c.unicode() <= 255) FormKeyPress(std::uint8_t(c.unicode()));
}

// ---- mouse ------------------------------------------------------------------

namespace {
// The cell of a pixel along one axis of the text area (`start` its edge,
// then `margin` pixels and `cells` cells of `size`): outside the area
// (`inside` false) the number of cells before it, negative, or past its
// end, positive. `round` moves the boundary between two cells.
std::int32_t CellAlong(int p, int start, int margin, int cells, int size, int round, bool& inside) {
    const int end = start + margin + cells * size;
    inside = false;
    if (p < start) return -((start - p) / size + 1);
    if (p >= end) return (p - end + 1) / size + 1;
    inside = true;
    return std::max(p - start - margin + round, 0) / size;
}
}  // namespace

// A click between two characters goes to the nearer boundary.
std::int32_t TEditorView::XToColumn(int x, bool& inside) const {
    const std::int32_t column = CellAlong(x, areaLeft, leftMargin, visibleColumns, charWidth, charWidth / 2, inside);
    return inside ? column + horizontalScroll : column;
}

std::int32_t TEditorView::YToRow(int y, bool& inside) const {
    return CellAlong(y, areaTop, topMargin, visibleRows, charHeight, 0, inside);
}

void TEditorView::FormMouseDown(Qt::MouseButton button, int x, int y) {
    clickTime3 = clickTime2;
    clickTime2 = clickTime1;
    clickTime1 = Ticks();
    int clicks = clickTime1 - clickTime2 >= 500 ? 1 : clickTime2 - clickTime3 >= 500 ? 2 : 3;
    if (button != Qt::LeftButton) return;
    bool inX, inY;
    std::int32_t column = XToColumn(x, inX);
    std::int32_t row = YToRow(y, inY);
    if (!inX || !inY) return;
    TextBuffer& t = Text;
    t.caret = TopLine;
    for (int i = 0; i < row; ++i) t.LineDown();
    t.desiredColumn = column;
    t.GoToColumn();
    if (clicks == 1) {
        t.verticalState = 0;
        t.selectionState = 1;
        t.anchor = t.caret;
        dragging = 1;
    } else if (clicks == 2) {
        t.selectionState = t.SelectWord() ? 1 : 0;
    } else {
        t.LineStart();
        t.anchor = t.caret;
        t.LineEnd();
        t.CursorRight();
        t.selectionState = 1;
    }
    HideCaret();
    RefreshView();
}

void TEditorView::FormMouseMove(int x, int y) {
    bool inText = x >= areaLeft && x < areaRight && y >= areaTop && y < areaBottom;
    setCursor(inText ? Qt::IBeamCursor : Qt::ArrowCursor);
    if (!dragging) return;
    TextBuffer& t = Text;
    bool autoscroll = false;
    bool inX, inY;
    std::int32_t row = YToRow(y, inY);
    std::int32_t column = XToColumn(x, inX);
    if (inY) {
        t.desiredColumn = t.CursorColumn();
        t.caret = TopLine;
        for (int i = 0; i < row; ++i) t.LineDown();
        t.GoToColumn();
        scrollRows = 0;
    } else {
        scrollRows = row;
        autoscroll = true;
    }
    if (inX) {
        t.desiredColumn = column;
        t.GoToColumn();
        scrollColumns = 0;
    } else {
        scrollColumns = column;
        autoscroll = true;
    }
    if (!autoscroll) {
        HideCaret();
        RefreshView();
    }
    if (autoscroll)
        SelectTimer.start();
    else
        SelectTimer.stop();
}

void TEditorView::SelectTimerTick() {
    TextBuffer& t = Text;
    if (scrollColumns < 0) {
        for (int i = 0; i < -scrollColumns; ++i) {
            t.CursorLeft();
            if (t.CharAtCursor() == std::uint8_t(CR)) t.CursorRight();
        }
    } else {
        for (int i = 0; i < scrollColumns; ++i)
            if (t.CharAtCursor() != std::uint8_t(CR)) t.CursorRight();
    }
    if (scrollColumns != 0) t.desiredColumn = t.CursorColumn();
    if (scrollRows < 0)
        for (int i = 0; i < -scrollRows; ++i) t.LineUp();
    else
        for (int i = 0; i < scrollRows; ++i) t.LineDown();
    if (scrollRows != 0) t.GoToColumn();
    HideCaret();
    RefreshView();
}

void TEditorView::FormMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    dragging = 0;
    SelectTimer.stop();
}

void TEditorView::FormMouseWheel(int delta) {
    int times = visibleRows / 8 + 1;
    for (int i = 0; i < times; ++i) FormKeyDown(delta > 0 ? Qt::Key_Up : Qt::Key_Down, None);
}

void TEditorView::mousePressEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    FormMouseDown(event->button(), p.x(), p.y());
}

// Qt delivers the second press of a double click only as a double-click
// event; it counts as a press, and the press times tell single, double and
// triple clicks apart.
void TEditorView::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void TEditorView::mouseMoveEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    FormMouseMove(p.x(), p.y());
}

void TEditorView::mouseReleaseEvent(QMouseEvent* event) { FormMouseUp(event->button()); }

void TEditorView::wheelEvent(QWheelEvent* event) {
    int delta = event->angleDelta().y();
    if (delta == 0) return;
    FormMouseWheel(delta);
    event->accept();
}

}  // namespace korvid
