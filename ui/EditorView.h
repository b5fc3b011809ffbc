// The main window's editing view: paints the TextBuffer itself (no edit
// control) beside its own scroll bars, keeps a shadow grid of what each screen row
// shows so that only changed rows are repainted, blinks the caret and turns
// keys, clicks, drags and the wheel into caret moves and edits.
#pragma once

#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/IdeSettings.h"
#include "model/TextBuffer.h"

namespace korvid {

class TEditorView : public QWidget {
    Q_OBJECT
public:
    TEditorView(TextBuffer& text, QWidget* parent = nullptr);

    // The four keys-table modifier cases; Alt is disregarded.
    enum Modifiers { None = 0, Shift = 1, Ctrl = 2, ShiftCtrl = 3 };

    void LayoutView();
    void RefreshView();
    void HideCaret();
    void ResetScroll();
    void TextBigger();
    void TextSmaller();
    // Clears the text and the view's scroll and drag state.
    void ClearText();
    // Repaints every row at the next refresh.
    void FullRepaint() {
        fullRepaint = true;
        RefreshView();
    }

    // Input handlers; they return true when the event was used.
    bool FormKeyDown(int qtKey, int modifiers);
    void FormKeyPress(std::uint8_t ch);
    void FormMouseDown(Qt::MouseButton button, int x, int y);
    void FormMouseMove(int x, int y);
    void FormMouseUp(Qt::MouseButton button);
    void FormMouseWheel(int delta);
    void SelectTimerTick();
    void CursorTimerTick();

    // Shows the text from line `line` (from 0) and display column `column`
    // without moving the caret (the scroll bars); the next key or click
    // brings the caret back into view.
    void ScrollTo(std::int32_t line, std::int32_t column);
    QScrollBar* VerticalBar;
    QScrollBar* HorizontalBar;

    // Column and row under a pixel; `inside` tells whether it is in the text.
    std::int32_t XToColumn(int x, bool& inside) const;
    std::int32_t YToRow(int y, bool& inside) const;
    // Pixel rectangle of screen row r (as painted) and of the caret.
    QRect RowRect(int r) const;
    QRect CaretRect() const;
    // Centre of the cell at screen column/row (for tests and drops).
    QPoint CellCentre(int column, int row) const;

    TextBuffer& Text;

    // View state.
    int areaLeft = 1, areaTop = 1, areaRight = 1, areaBottom = 1;  // TextArea
    int charWidth = 8, charHeight = 16;
    int leftMargin = 0, topMargin = 0;
    int visibleColumns = 1, visibleRows = 1;
    int cellsPerRow = 2, screenRows = 2;
    std::vector<std::uint16_t> ShadowGrid;
    std::int32_t TopLine = 0;
    std::int32_t horizontalScroll = 0;
    std::int32_t caretColumn = 0, caretRow = 0;
    bool fullRepaint = true;
    std::uint8_t blinkCounter = 0;
    std::uint8_t dragging = 0;
    std::uint32_t clickTime1 = 0, clickTime2 = 500, clickTime3 = 1000;
    std::int32_t scrollColumns = 0, scrollRows = 0;

    QString EditorFontName = QStringLiteral("Courier New");
    int EditorFontSize = kDefaultTextSize;

    QTimer CursorTimer;
    QTimer SelectTimer;

    // Classes of the visible text's bytes (SyntaxKind values; the window
    // sets it from the assembler's scanner); unset or ColoursOn false: the
    // text is shown in one colour. `prefixColumns` as SyntaxColourer takes.
    std::function<void(std::string_view text, std::vector<std::uint8_t>& kinds)> Colourer;
    bool ColoursOn = true;
    // The number of each line in a column left of the text.
    bool LineNumbersOn = false;
    void SetColours(bool on);
    void SetLineNumbers(bool on);

    // Called after every refresh (the window updates its title and caret
    // readout).
    std::function<void()> Refreshed;
    // Milliseconds for multiple-click timing; tests replace it.
    std::function<std::uint32_t()> Ticks;
    // Rows painted since the counter was last cleared (tests, benchmarks).
    long paintedRows = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }  // TAB reaches the editor

private:
    std::int32_t BuildRow(std::int32_t pos);
    bool StoreRowIfChanged(int r);
    void ToggleCaret();
    void EndKey();
    void WordLeft();
    void WordRight();
    void VerticalMove(bool up);
    void PageUp();
    void PageDown();
    void UpdateScrollBars();
    void ColourVisibleText();
    void DrawCells(QPainter& painter, bool exact, int x, int y, const QString& text) const;
    std::vector<std::uint8_t> kinds_;  // classes of the text from TopLine on
    std::string visibleText_;
    std::int32_t topLineIndex_ = 0;    // line number of TopLine, from 0
    int gutterColumns_ = 0;            // width of the line numbers in characters
    std::int32_t lineCount_ = 1;
    bool keepScroll_ = false;   // the next refresh keeps TopLine and the column scroll
    bool syncingBars_ = false;  // the view sets the bars (no scroll back)
    bool caretDrawn_ = false;  // the caret is on screen (blinkCounter bit 2)
    QRect drawnCaret_;         // where it was drawn
    std::uint16_t* Row(int r) { return ShadowGrid.data() + std::size_t(r) * std::size_t(cellsPerRow); }
    const std::uint16_t* Row(int r) const {
        return ShadowGrid.data() + std::size_t(r) * std::size_t(cellsPerRow);
    }
};

}  // namespace korvid
