#include "ui/CodeUnit.h"

#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>

#include "core/image/Disassembler.h"
#include "core/link/Debug.h"
#include "ui/WindowRoles.h"

namespace korvid {

namespace {
constexpr int kScrollWidth = 16;
}

TCodeForm::TCodeForm(Shell& shell, QWidget* parent) : TDebugViewWindow(shell, parent) {
    setWindowTitle(QStringLiteral("Code"));
    ScrollBar = new QScrollBar(Qt::Vertical, this);
    ScrollBar->setObjectName(QStringLiteral("ScrollBar"));
    ScrollBar->hide();
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this] { ScrollBarChange(); });
    Measure();
}

int TCodeForm::ProgramSize() const {
    DebugSession* s = Session();
    return s ? s->ProgramSize : kProgramWords;
}

bool TCodeForm::SxcMode() const {
    const EditorRole* editor = RoleOf(shell_.editor);
    return editor && editor->InSxcMode();
}

void TCodeForm::Measure() {
    font_ = CurrentEditorFont(shell_);
    QFontMetrics fm(font_);
    cw_ = std::max(1, fm.horizontalAdvance(QLatin1Char('X')));
    rh_ = std::max(1, fm.height());
}

void TCodeForm::FormShow() {
    Measure();
    painted_ = false;
    FormResize();
}

void TCodeForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

void TCodeForm::FormResize() {
    const std::uint32_t count = shell_.state.ListLineCount;
    // The client height snaps to a whole number of rows.
    int h = height();
    int snapped = std::max(h / rh_, 1) * rh_;
    if (snapped != h && !snapping_) {
        snapping_ = true;
        resize(width(), snapped);
        snapping_ = false;
        h = snapped;
    }
    rows_ = CodeRowCount(h, rh_, count);
    bool shown = CodeScrollBarShown(rows_, count);
    ScrollBar->setRange(0, CodeScrollMaximum(rows_, count));
    ScrollBar->setPageStep(std::max(rows_, 1));
    ScrollBar->setGeometry(width() - kScrollWidth, 0, kScrollWidth, rows_ * rh_);
    ScrollBar->setVisible(shown);
    if (shown) ScrollBar->setFocus();
    styles_.assign(std::size_t(rows_), CodeRowStyle::Plain);
    lines_.assign(std::size_t(rows_), -2);
    BuildStyles();
    update();
}

QRect TCodeForm::RowRect(int row) const { return {0, row * rh_, width(), rh_}; }

CodeRowStyle TCodeForm::RowStyle(int row) const {
    return row >= 0 && row < int(styles_.size()) ? styles_[std::size_t(row)] : CodeRowStyle::Plain;
}

int TCodeForm::RowAddress(int row) const {
    if (row < 0 || row >= rows_) return -1;
    return CodeLineAddress(shell_.state, ScrollBar->value() + row, ProgramSize());
}

// Rebuilds the styles of the rows; returns through update() the rows whose
// style or line changed since they were last built.
void TCodeForm::BuildStyles() {
    DebugSession* s = Session();
    int current = -1, brk = -1;
    if (s) {
        current = CodeCurrentLine(shell_.state, int(s->State.ProgramCounter), s->State.SkipFlag, s->ProgramSize);
        brk = CodeBreakpointLine(shell_.state, int(s->State.Breakpoint), s->ProgramSize);
    }
    for (int r = 0; r < rows_; ++r) {
        int line = ScrollBar->value() + r;
        CodeRowStyle style = CodeStyleOf(line, current, brk);
        if (style != styles_[std::size_t(r)] || line != lines_[std::size_t(r)]) update(RowRect(r));
        styles_[std::size_t(r)] = style;
        lines_[std::size_t(r)] = line;
    }
}

void TCodeForm::Repaint(bool full) {
    if (std::size_t(rows_) != styles_.size()) FormResize();
    BuildStyles();
    if (full) update();
}

void TCodeForm::ShowProgramCounter() {
    DebugSession* s = Session();
    if (!s) return;
    int line = shell_.state.AddressLine[s->State.ProgramCounter % kProgramWords];
    SelectLine(line);
    ScrollBar->setValue(CodeScrollToLine(ScrollBar->value(), line, rows_, shell_.state.ListLineCount));
}

void TCodeForm::ScrollBarChange() { BuildStyles(); }

void TCodeForm::paintEvent(QPaintEvent*) {
    painted_ = true;
    QPainter g(this);
    const QPalette& p = palette();
    g.fillRect(rect(), p.color(QPalette::Base));
    g.setFont(font_);
    const int right = width() - (ScrollBar->isVisible() ? kScrollWidth : 0);
    const int leftEnd = std::min(kCodeLeftChars * cw_, right);
    const bool sxc = SxcMode();
    const int ascent = QFontMetrics(font_).ascent();
    for (int r = 0; r < rows_; ++r) {
        int line = ScrollBar->value() + r;
        if (line < 0 || std::uint32_t(line) >= shell_.state.ListLineCount) continue;
        const char* text = nullptr;
        GetListLine(shell_.state, line, text);
        QString all = QString::fromLatin1(text ? text : "");
        CodeRowStyle style = RowStyle(r);
        QColor leftBack = p.color(QPalette::Midlight), rightBack = p.color(QPalette::Base);
        QColor leftText = p.color(QPalette::Text), rightText = p.color(QPalette::Text);
        switch (style) {
            case CodeRowStyle::Current: leftBack = rightBack = Qt::blue; leftText = rightText = Qt::white; break;
            case CodeRowStyle::Breakpoint: leftBack = rightBack = Qt::red; leftText = rightText = Qt::white; break;
            case CodeRowStyle::Both:
                leftBack = Qt::red;
                rightBack = Qt::blue;
                leftText = rightText = Qt::white;
                break;
            case CodeRowStyle::Plain: break;
        }
        const int y = r * rh_;
        if (sxc) {
            QRect box(0, y, right, rh_);
            g.fillRect(box, rightBack);
            g.setPen(rightText);
            g.setClipRect(box);
            g.drawText(cw_, y + ascent, all);
        } else {
            QRect leftBox(0, y, leftEnd, rh_), rightBox(leftEnd, y, std::max(right - leftEnd, 0), rh_);
            g.fillRect(leftBox, leftBack);
            g.fillRect(rightBox, rightBack);
            g.setClipRect(leftBox);
            g.setPen(leftText);
            g.drawText(cw_, y + ascent, all.left(kCodeLeftChars));
            g.setClipRect(rightBox);
            g.setPen(rightText);
            g.drawText(kCodeSourceColumn * cw_, y + ascent, all.mid(kCodeSourceColumn));
        }
        g.setClipping(false);
        // The selected line, unless the current line's bar marks it: a
        // dotted frame in the row's text colour.
        if (line == selectedLine_ && style != CodeRowStyle::Current && style != CodeRowStyle::Both) {
            g.setPen(QPen(rightText, 1, Qt::DotLine));
            g.drawRect(0, y, right - 1, rh_ - 1);
        }
    }
}

// A click toggles the breakpoint on the row's line and selects it, a
// double click makes it the next instruction.
void TCodeForm::HaltedClick(QPoint point, bool twice) {
    DebugSession* s = Session();
    const int row = point.y() >= 0 ? point.y() / rh_ : -1;
    const int address = RowAddress(row);
    if (twice) {
        Guard([s, address] { s->MoveProgramCounter(address); });
        return;
    }
    if (row >= 0 && row < rows_) SelectLine(ScrollBar->value() + row);
    Guard([s, address] { s->ToggleBreakpoint(address); });
}

void TCodeForm::ToggleBreakpointHere() {
    DebugSession* s = HaltedSession();
    if (!s || selectedLine_ < 0) return;
    const int address = CodeLineAddress(shell_.state, selectedLine_, ProgramSize());
    Guard([s, address] { s->ToggleBreakpoint(address); });
}

void TCodeForm::SelectLine(int line) {
    if (line == selectedLine_) return;
    for (int l : {selectedLine_, line})
        if (l >= ScrollBar->value() && l < ScrollBar->value() + rows_) update(RowRect(l - ScrollBar->value()));
    selectedLine_ = line;
}

void TCodeForm::WheelNotches(int notches) { ScrollBar->setValue(ScrollBar->value() - notches * CodeWheelStep(rows_)); }

}  // namespace korvid
