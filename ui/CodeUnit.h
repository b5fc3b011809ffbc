// The Code window: the listing of the program being debugged, one listing
// line per row, with the line of the next instruction and the line of the
// breakpoint marked. A click toggles the breakpoint on a line, a double
// click makes the line the next instruction; the selected line (framed) is
// the line last clicked, else after each halt the next instruction's line,
// and F9 toggles the breakpoint there.
#pragma once

#include <QFont>
#include <QScrollBar>
#include <vector>

#include "model/CodeRows.h"
#include "core/link/Debug.h"
#include "ui/DebugWindow.h"
#include "ui/Shell.h"

namespace korvid {

class TCodeForm : public TDebugViewWindow {
    Q_OBJECT
public:
    explicit TCodeForm(Shell& shell, QWidget* parent = nullptr);

    int Rows() const { return rows_; }
    int RowHeight() const { return rh_; }
    int CharWidth() const { return cw_; }
    int TopLine() const { return ScrollBar->value(); }
    QRect RowRect(int row) const;
    // The style a row was last built with.
    CodeRowStyle RowStyle(int row) const;
    // The program address of a row (-1 when its line produced no word).
    int RowAddress(int row) const;
    bool SxcMode() const;
    // The listing line F9 acts on (-1: none yet).
    int SelectedLine() const { return selectedLine_; }

    QScrollBar* ScrollBar;

protected:
    // At a halt or breakpoint change: repaints the rows whose style or line
    // changed (every row when full); scrolls the next instruction's line
    // into view and selects it.
    void Repaint(bool full) override;
    void ShowProgramCounter() override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void FormShow() override;
    void HaltedClick(QPoint point, bool twice) override;
    void WheelNotches(int notches) override;
    void ToggleBreakpointHere() override;

private:
    void FormResize();
    void Measure();
    void ScrollBarChange();
    void BuildStyles();
    void SelectLine(int line);
    int ProgramSize() const;

    QFont font_;
    int cw_ = 8, rh_ = 16, rows_ = 0;
    int selectedLine_ = -1;
    bool painted_ = false;
    bool snapping_ = false;
    // What each row was last built with, and the scroll position then.
    std::vector<CodeRowStyle> styles_;
    std::vector<int> lines_;
};

}  // namespace korvid
