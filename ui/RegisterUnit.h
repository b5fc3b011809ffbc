// The Registers window: the halted chip's register file, W and M, the bits
// of the most used registers, the INT and SKIP flags and 17 lines of program
// memory around the program counter, painted on the window. Changed values
// are marked; a cell is edited by typing hex digits, a bit or flag flipped
// by a click, the breakpoint toggled by a click on a program line and the
// program counter moved by a double click. A window smaller than all this
// scrolls it.
#pragma once

#include <QPainter>
#include <QPalette>
#include <QFont>
#include <QRect>
#include <QScrollBar>
#include <array>

#include "ui/CaretBlink.h"
#include "model/RegisterLayout.h"
#include "core/link/Debug.h"
#include "ui/DebugWindow.h"
#include "ui/Shell.h"

namespace korvid {

class TRegisterForm : public TDebugViewWindow {
    Q_OBJECT
public:
    explicit TRegisterForm(Shell& shell, QWidget* parent = nullptr);

    // What a point of the window is.
    struct Hit {
        enum Kind : std::uint8_t { None, Cell, Bit, IntFlag, SkipFlag, ProgramLine } kind = None;
        int cell = -1;  // Cell, Bit (register or kCellW)
        int bit = -1;   // Bit
        int address = -1;  // ProgramLine
    };
    Hit HitTest(QPoint p) const;
    QRect CellRect(int cell) const;
    QRect BitRect(int cell, int bit) const;
    QRect FlagRect(bool skip) const;
    QRect ProgramLineRect(int line) const;

    // In-place editing (keys reach the hidden Editor); a key the edit does
    // not use (none while no cell is selected) gives false.
    void SelectCell(int cell);
    bool EditorKey(int key, const QString& text);
    void EndEdit(bool commit);
    int EditCell() const { return editCell_; }
    std::uint32_t EditValue() const { return editValue_; }
    bool DigitTyped() const { return digitTyped_; }

    // The style and text a cell was last drawn with.
    int CellStyleOf(int cell) const { return styles_[std::size_t(cell)]; }

    QScrollBar* ScrollBar;
    QWidget* Editor;

protected:
    // From the refresh of the debug session: the display model is rebuilt
    // from the chip state against the current snapshot, and only what
    // changed is repainted (everything on a first refresh). The program
    // lines follow the program counter.
    void Repaint(bool full) override;
    void ShowProgramCounter() override;
    void PaintContent(QPainter& g) override;
    void FormShow() override;
    void FormDeactivate() override { EndEdit(true); }
    void HaltedClick(QPoint point, bool twice) override;
    void WheelNotches(int notches) override;
    bool OwnsWheel(QPoint at) const override;

private:
    void Layout();
    // The program lines (without their scroll bar).
    QRect ProgramArea() const;
    // The parts PaintContent draws, in order.
    void PaintLabels(QPainter& g, const QPalette& p);
    void PaintCells(QPainter& g, const QPalette& p);
    void PaintBits(QPainter& g, const QPalette& p);
    void PaintFlags(QPainter& g, const QPalette& p);
    void PaintProgram(QPainter& g, const QPalette& p);
    void BuildModel();
    void UpdateChanged(bool full);
    bool HaltShown() const;
    void ScrollBarChange();
    void Commit();
    std::uint32_t CellValue(int cell) const;
    int ProgramSize() const;

    QFont valueFont_, smallFont_;
    // The window's measures in pixels, from the editor font (Layout).
    struct Geometry {
        int charWidth = 8;        // one character of the value font
        int textHeight = 16;      // value font
        int smallHeight = 11;     // label font
        int rowHeight = 20;
        int valueWidth = 24;      // a two-digit cell
        int bitWidth = 12;        // one cell of the bit area
        int globalX = 0;          // left of the global column's values
        int bitsX = 0;            // left of the bit area
        int programX = 0;         // left of the program lines
        int programWidth = 0;
        int ramX = 0;             // left of the RAM columns' labels
        int top = 0;              // top of the header row
        int margin = 4;
    } g_;
    int columns_ = 1;

    // Display model.
    std::array<std::uint32_t, 258> values_{};
    std::array<int, 258> styles_{};
    std::array<std::uint32_t, 258> snapValues_{};
    std::array<std::uint32_t, 258> prevValues_{};
    std::uint8_t int_ = 0, skip_ = 0, wAt1_ = 0;
    std::uint32_t fsr_ = 0;
    bool painted_ = false;

    // Edit state.
    int editCell_ = -1;
    std::uint32_t editValue_ = 0;
    bool digitTyped_ = false;
    CaretBlink caret_{[this] {
        if (editCell_ >= 0) Redraw(CellRect(editCell_));
    }};
    bool inEdit_ = false;
};

}  // namespace korvid
