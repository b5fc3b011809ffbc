// The Code window: the listing of the program being debugged, one listing
// line per row, with the line of the next instruction and the line of the
// breakpoint marked. A click toggles the breakpoint on a line, a double
// click makes the line the next instruction.
#pragma once

#include <QDialog>
#include <QFont>
#include <QScrollBar>
#include <vector>

#include "model/CodeRows.h"
#include "core/link/Debug.h"
#include "ui/Shell.h"

namespace korvid {

class TCodeForm : public QDialog, public DebugView {
    Q_OBJECT
public:
    explicit TCodeForm(Shell& shell, QWidget* parent = nullptr);

    // Repaints the rows whose style or line changed (every row when full).
    void RefreshView(bool full);
    void ScrollToProgramCounter();

    // DebugView: the debug session's halts and breakpoint changes.
    bool Showing() const override { return isVisible(); }
    void ShowProgramCounter() override { ScrollToProgramCounter(); }
    void Repaint(bool firstRefresh) override { RefreshView(firstRefresh); }

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

    QScrollBar* ScrollBar;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void FormResize();
    void Measure();
    void ScrollBarChange();
    void BuildStyles();
    DebugSession* Session() const;
    int ProgramSize() const;

    Shell& shell_;
    QFont font_;
    int cw_ = 8, rh_ = 16, rows_ = 0;
    int mouseRow_ = -1;
    bool painted_ = false;
    bool snapping_ = false;
    // What each row was last built with, and the scroll position then.
    std::vector<CodeRowStyle> styles_;
    std::vector<int> lines_;
};

}  // namespace korvid
