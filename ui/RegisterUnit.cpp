#include "ui/RegisterUnit.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QWheelEvent>

#include "core/image/Disassembler.h"
#include "core/link/Debug.h"
#include "ui/WindowRoles.h"
#include "ui/WindowFit.h"

namespace korvid {

namespace {

// The zero-size control that receives the keys of in-place editing.
class RegisterEditor : public QWidget {
public:
    explicit RegisterEditor(TRegisterForm* form) : QWidget(form), form_(form) {
        setObjectName(QStringLiteral("Editor"));
        setFocusPolicy(Qt::StrongFocus);
        setGeometry(0, 0, 0, 0);
    }

protected:
    // A key the edit does not use goes on to the window (it may scroll).
    void keyPressEvent(QKeyEvent* e) override {
        if (!form_->EditorKey(e->key(), e->text())) e->ignore();
    }
    void focusOutEvent(QFocusEvent* e) override {
        QWidget::focusOutEvent(e);
        form_->EndEdit(true);
    }
    bool focusNextPrevChild(bool) override { return false; }

private:
    TRegisterForm* form_;
};

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kDarkRed(0x80, 0x00, 0x00);
const QColor kBlue(0x00, 0x00, 0xFF);

struct Colours {
    QColor text, back;
    bool frame;
};

Colours CellColours(const QPalette& p, int style) {
    bool frame = style & kStyleFsrTarget;
    if (style & kStyleCursor) return {Qt::white, Qt::black, frame};
    bool changed = style & kStyleChanged;
    if (style & kStyleOtherBank) return changed ? Colours{Qt::white, kDarkRed, frame} : Colours{p.color(QPalette::Text), p.color(QPalette::Midlight), frame};
    return changed ? Colours{Qt::white, kRed, frame} : Colours{p.color(QPalette::Text), p.color(QPalette::Base), frame};
}

void Embossed(QPainter& g, const QPalette& p, const QRect& r, int flags, const QString& text) {
    g.setPen(p.color(QPalette::Light));
    g.drawText(r.translated(1, 1), flags, text);
    g.setPen(p.color(QPalette::ButtonText));
    g.drawText(r, flags, text);
}

QString Hex(std::uint32_t v, int digits) { return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper(); }

constexpr int kRowM = 16, kRowW = 17, kRowFlags = 18, kRows = 20;  // rows -1..18
constexpr int kScrollWidth = 16;
constexpr int kProgramChars = 27;
}  // namespace

TRegisterForm::TRegisterForm(Shell& shell, QWidget* parent) : TDebugViewWindow(shell, parent) {
    setWindowTitle(QStringLiteral("Registers"));
    MakeScrolled();  // the size follows the font at each show
    ScrollBar = new QScrollBar(Qt::Vertical, Scrolled->Canvas());
    ScrollBar->setObjectName(QStringLiteral("ScrollBar"));
    ScrollBar->setPageStep(16);
    ScrollBar->setFocusPolicy(Qt::NoFocus);
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this] { ScrollBarChange(); });
    Editor = new RegisterEditor(this);
    Layout();
}

int TRegisterForm::ProgramSize() const {
    DebugSession* s = Session();
    return s ? s->ProgramSize : kProgramWords;
}

void TRegisterForm::FormShow() {
    Layout();
    EndEdit(false);
    painted_ = false;
}

// ---- geometry ------------------------------------------------------------------

void TRegisterForm::Layout() {
    valueFont_ = CurrentEditorFont(shell_);
    smallFont_ = QFont(valueFont_.family(), valueFont_.pointSize() * 2 / 3 + 1);
    QFontMetrics fm(valueFont_), sm(smallFont_);
    g_.charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('X')));
    g_.textHeight = fm.height();
    g_.smallHeight = sm.height();
    g_.rowHeight = g_.textHeight + 2 * (g_.textHeight / 8) + 1;
    g_.valueWidth = 3 * g_.charWidth;  // two characters and half a character on each side
    g_.bitWidth = std::max(sm.horizontalAdvance(QStringLiteral("DC")) + 2, g_.charWidth + g_.charWidth / 2);
    g_.margin = g_.charWidth / 2 + 2;
    g_.top = g_.margin + g_.smallHeight;  // room for the raised STATUS labels above the header row
    g_.globalX = g_.margin + 7 * g_.charWidth;
    g_.bitsX = g_.globalX + g_.valueWidth + g_.charWidth;
    g_.programX = g_.bitsX + 8 * g_.bitWidth + g_.charWidth;
    g_.programWidth = kProgramChars * g_.charWidth;
    g_.ramX = g_.programX + g_.programWidth + kScrollWidth + g_.charWidth;
    columns_ = RamColumns(shell_.family, Session() ? Session()->BankCount : 8);
    if (shell_.debug) columns_ = RamColumns(shell_.family, shell_.debugger.Session.Target.bankCount);
    ScrollBar->setGeometry(g_.programX + g_.programWidth, g_.top, kScrollWidth, kProgramLines * g_.rowHeight);
    ScrollBar->setRange(0, std::max(ProgramSize() - kProgramLines, 0));
    SetContentSize(QSize(g_.ramX + 3 * g_.charWidth + columns_ * g_.valueWidth + g_.margin,
                         g_.top + kRows * g_.rowHeight + g_.margin),
                   g_.rowHeight);
}

static int RowTop(int top, int rh, int row) { return top + (row + 1) * rh; }

QRect TRegisterForm::CellRect(int cell) const {
    if (cell == kCellM) return {g_.globalX, RowTop(g_.top, g_.rowHeight, kRowM), g_.valueWidth, g_.rowHeight};
    if (cell == kCellW) return {g_.globalX, RowTop(g_.top, g_.rowHeight, kRowW), g_.valueWidth, g_.rowHeight};
    if (cell < 0 || cell > 255) return {};
    if (cell < 16) return {g_.globalX, RowTop(g_.top, g_.rowHeight, cell), g_.valueWidth, g_.rowHeight};
    int bankCount = shell_.debug ? shell_.debugger.Session.Target.bankCount : 8;
    for (int k = 0; k < columns_; ++k) {
        int base = RamColumnBase(shell_.family, bankCount, k);
        if (cell >= base && cell < base + 16)
            return {g_.ramX + 3 * g_.charWidth + k * g_.valueWidth, RowTop(g_.top, g_.rowHeight, cell - base), g_.valueWidth, g_.rowHeight};
    }
    return {};
}

QRect TRegisterForm::BitRect(int cell, int bit) const {
    int row = cell == kCellW ? kRowW : cell;
    if (cell != kCellW && !HasBitRow(cell)) return {};
    return {g_.bitsX + (7 - bit) * g_.bitWidth, RowTop(g_.top, g_.rowHeight, row), g_.bitWidth, g_.rowHeight};
}

QRect TRegisterForm::FlagRect(bool skip) const {
    QFontMetrics sm(smallFont_);
    int w = sm.horizontalAdvance(QStringLiteral("SKIP")) + g_.charWidth;
    int x = skip ? g_.bitsX + 8 * g_.bitWidth - w : g_.bitsX;
    return {x, RowTop(g_.top, g_.rowHeight, kRowFlags), w, g_.rowHeight};
}

QRect TRegisterForm::ProgramLineRect(int line) const { return {g_.programX, RowTop(g_.top, g_.rowHeight, line - 1), g_.programWidth, g_.rowHeight}; }

TRegisterForm::Hit TRegisterForm::HitTest(QPoint p) const {
    Hit h;
    for (int c = 0; c < 258; ++c) {
        QRect r = CellRect(c);
        if (!r.isEmpty() && r.contains(p)) {
            h.kind = Hit::Cell;
            h.cell = c;
            return h;
        }
    }
    for (int c : {0, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, kCellW}) {
        for (int b = 0; b < 8; ++b) {
            if (BitRect(c, b).contains(p)) {
                h.kind = Hit::Bit;
                h.cell = c;
                h.bit = b;
                return h;
            }
        }
    }
    if (FlagRect(false).contains(p)) {
        h.kind = Hit::IntFlag;
        return h;
    }
    if (FlagRect(true).contains(p)) {
        h.kind = Hit::SkipFlag;
        return h;
    }
    for (int i = 0; i < kProgramLines; ++i) {
        if (ProgramLineRect(i).contains(p)) {
            h.kind = Hit::ProgramLine;
            h.address = ScrollBar->value() + i;
            return h;
        }
    }
    return h;
}

// ---- the model -------------------------------------------------------------------

std::uint32_t TRegisterForm::CellValue(int cell) const {
    if (editCell_ == cell && digitTyped_) return editValue_;
    return values_[std::size_t(cell)];
}

void TRegisterForm::BuildModel() {
    DebugSession* s = Session();
    if (!s) return;
    const ChipState& c = s->State;
    const ChipState& snap = s->CurrentSnapshot;
    for (int i = 0; i < 256; ++i) {
        values_[std::size_t(i)] = c.registers[std::size_t(i)] & 0xFF;
        snapValues_[std::size_t(i)] = snap.registers[std::size_t(i)] & 0xFF;
        prevValues_[std::size_t(i)] = s->PreviousSnapshot.registers[std::size_t(i)] & 0xFF;
    }
    values_[kCellM] = c.M;
    snapValues_[kCellM] = snap.M;
    values_[kCellW] = c.W & 0xFF;
    snapValues_[kCellW] = snap.W & 0xFF;
    prevValues_[kCellW] = s->PreviousSnapshot.W & 0xFF;
    int_ = c.IntFlag;
    skip_ = c.SkipFlag;
    wAt1_ = c.WAt1Flag;
    fsr_ = c.registers[4] & 0xFF;
    for (int i = 0; i < 258; ++i)
        styles_[std::size_t(i)] = CellStyle(shell_.family, i, values_[std::size_t(i)], snapValues_[std::size_t(i)], fsr_,
                                            i == editCell_ && caret_.on());
}

void TRegisterForm::Repaint(bool full) {
    auto oldValues = values_;
    auto oldStyles = styles_;
    auto oldSnap = snapValues_;
    std::uint8_t oldInt = int_, oldSkip = skip_, oldW1 = wAt1_;
    std::uint32_t oldFsr = fsr_;
    BuildModel();
    if (full || !painted_ || oldW1 != wAt1_ || oldFsr != fsr_) {
        Redraw();
        return;
    }
    for (int i = 0; i < 258; ++i) {
        auto k = std::size_t(i);
        if (oldValues[k] != values_[k] || oldStyles[k] != styles_[k]) Redraw(CellRect(i));
        // Bits redraw where they differ from either snapshot (so that a
        // mark goes away at the next halt).
        if ((i < 16 && HasBitRow(i)) || i == kCellW)
            if (oldValues[k] != values_[k] || oldSnap[k] != snapValues_[k] || values_[k] != snapValues_[k])
                for (int b = 0; b < 8; ++b) Redraw(BitRect(i, b));
    }
    if (oldInt != int_) Redraw(FlagRect(false));
    if (oldSkip != skip_) Redraw(FlagRect(true));
    Redraw(ProgramArea());
}

void TRegisterForm::ShowProgramCounter() {
    DebugSession* s = Session();
    if (!s) return;
    ScrollBar->setRange(0, std::max(s->ProgramSize - kProgramLines, 0));
    ScrollBar->setValue(ProgramAreaScroll(ScrollBar->value(), int(s->State.ProgramCounter), s->ProgramSize));
}

void TRegisterForm::ScrollBarChange() { Redraw(ProgramArea()); }

QRect TRegisterForm::ProgramArea() const { return {g_.programX, g_.top, g_.programWidth, kProgramLines * g_.rowHeight}; }

// The wheel over the program lines and their scroll bar scrolls them.
bool TRegisterForm::OwnsWheel(QPoint at) const { return ProgramArea().adjusted(0, 0, kScrollWidth, 0).contains(at); }

// ---- painting --------------------------------------------------------------------

// Until the first halt of a session the chip's registers are not known: the
// cells stay empty rather than show the values of an earlier session.
bool TRegisterForm::HaltShown() const {
    const DebugSession* s = Session();
    return s && !s->FirstRefresh;
}

void TRegisterForm::PaintContent(QPainter& g) {
    painted_ = true;
    const QPalette& p = palette();
    g.fillRect(Scrolled->Canvas()->rect(), p.color(QPalette::Window));
    PaintLabels(g, p);
    PaintCells(g, p);
    PaintBits(g, p);
    PaintFlags(g, p);
    PaintProgram(g, p);
}

// The global column's and the RAM grid's labels and headers.
void TRegisterForm::PaintLabels(QPainter& g, const QPalette& p) {
    const int ports = shell_.debug ? shell_.debugger.Session.Target.portCount : 3;
    const int bankCount = shell_.debug ? shell_.debugger.Session.Target.bankCount : 8;
    g.setFont(valueFont_);
    Embossed(g, p, QRect(g_.globalX, RowTop(g_.top, g_.rowHeight, -1), g_.valueWidth + g_.charWidth, g_.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromLatin1(GlobalHeader(fsr_).c_str()));
    for (int r = 0; r < 16; ++r)
        Embossed(g, p, QRect(g_.margin, RowTop(g_.top, g_.rowHeight, r), 7 * g_.charWidth, g_.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                 QString::fromLatin1(GlobalLabel(shell_.family, ports, r, wAt1_).c_str()));
    Embossed(g, p, QRect(g_.margin, RowTop(g_.top, g_.rowHeight, kRowM), 7 * g_.charWidth, g_.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("M"));
    Embossed(g, p, QRect(g_.margin, RowTop(g_.top, g_.rowHeight, kRowW), 7 * g_.charWidth, g_.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("W"));

    // RAM grid headers and row labels.
    for (int k = 0; k < columns_; ++k)
        Embossed(g, p, QRect(g_.ramX + 3 * g_.charWidth + k * g_.valueWidth, RowTop(g_.top, g_.rowHeight, -1), g_.valueWidth, g_.rowHeight), Qt::AlignCenter,
                 QString::fromLatin1(RamColumnHeader(shell_.family, bankCount, k).c_str()));
    for (int r = 0; r < 16; ++r)
        Embossed(g, p, QRect(g_.ramX, RowTop(g_.top, g_.rowHeight, r), 3 * g_.charWidth, g_.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                 shell_.family.is52() ? Hex(std::uint32_t(r), 1) : Hex(std::uint32_t(0x10 + r), 2));

}

// The register, M and W cells with their styles.
void TRegisterForm::PaintCells(QPainter& g, const QPalette& p) {
    const bool known = HaltShown();
    for (int c = 0; c < 258; ++c) {
        QRect r = CellRect(c);
        if (r.isEmpty()) continue;
        int style = styles_[std::size_t(c)];
        if (c == editCell_) style = (style & ~kStyleCursor) | (caret_.on() ? kStyleCursor : 0);
        Colours col = CellColours(p, style);
        g.fillRect(r, col.back);
        if (col.frame) {
            g.setPen(QPen(kBlue, 2));
            g.drawRect(r.adjusted(1, 1, -1, -1));
        }
        if (!known) continue;
        g.setPen(col.text);
        std::uint32_t v = CellValue(c);
        g.drawText(r, Qt::AlignCenter, c == kCellM ? QString::number(v, 16).toUpper() : Hex(v, 2));
    }

}

// The bit area: headers, STATUS labels, bits.
void TRegisterForm::PaintBits(QPainter& g, const QPalette& p) {
    g.setFont(smallFont_);
    for (int row : {-1, 4, kRowM})
        for (int b = 0; b < 8; ++b)
            Embossed(g, p, QRect(g_.bitsX + (7 - b) * g_.bitWidth, RowTop(g_.top, g_.rowHeight, row), g_.bitWidth, g_.rowHeight), Qt::AlignCenter,
                     QString::number(b));
    for (int b = 0; b < 8; ++b) {
        int raise = StatusBitRaised(b) ? g_.smallHeight * 7 / 8 : 0;
        Embossed(g, p, QRect(g_.bitsX + (7 - b) * g_.bitWidth - g_.bitWidth, RowTop(g_.top, g_.rowHeight, 2) - raise, 3 * g_.bitWidth, g_.rowHeight),
                 Qt::AlignHCenter | Qt::AlignBottom, QString::fromLatin1(StatusBitLabel(b)));
    }
    g.setFont(valueFont_);
    const bool known = HaltShown();
    for (int c : {0, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, kCellW}) {
        std::uint32_t v = values_[std::size_t(c)], snap = snapValues_[std::size_t(c)];
        for (int b = 0; b < 8; ++b) {
            QRect r = BitRect(c, b);
            if (!known) {
                g.fillRect(r, p.color(QPalette::Base));
                continue;
            }
            const bool bit = ((v >> b) & 1u) != 0;
            const bool changed = (((v ^ snap) >> b) & 1u) != 0;
            g.fillRect(r, changed ? kRed : p.color(QPalette::Base));
            g.setPen(changed ? QColor(Qt::white) : p.color(QPalette::Text));
            g.drawText(r, Qt::AlignCenter, bit ? QStringLiteral("1") : QStringLiteral("0"));
        }
    }

}

// The INT and SKIP flags.
void TRegisterForm::PaintFlags(QPainter& g, const QPalette& p) {
    g.setFont(smallFont_);
    for (bool skip : {false, true}) {
        QRect r = FlagRect(skip);
        bool set = HaltShown() && (skip ? skip_ : int_);
        g.fillRect(r, set ? kBlue : p.color(QPalette::Base));
        g.setPen(p.color(QPalette::Dark));
        g.drawRect(r.adjusted(0, 0, -1, -1));
        g.setPen(set ? QColor(Qt::white) : p.color(QPalette::Text));
        g.drawText(r, Qt::AlignCenter, skip ? QStringLiteral("SKIP") : QStringLiteral("INT"));
    }

}

// The program lines around the program counter.
void TRegisterForm::PaintProgram(QPainter& g, const QPalette& p) {
    DebugSession* s = Session();
    g.setFont(valueFont_);
    const int size = ProgramSize();
    const int pc = s ? int(s->State.ProgramCounter) : -1;
    const int current = s ? CurrentProgramAddress(pc, skip_, size) : -1;
    const int brk = s ? int(s->State.Breakpoint) : -1;
    const int split = 10 * g_.charWidth;
    for (int i = 0; i < kProgramLines; ++i) {
        int a = ScrollBar->value() + i;
        QRect r = ProgramLineRect(i);
        if (a >= size || a >= kProgramWords) {
            g.fillRect(r, p.color(QPalette::Base));
            continue;
        }
        std::uint16_t word = shell_.state.ChipImage[std::size_t(a)];
        bool isBreak = a == brk, isCurrent = a == current;
        QColor leftBack = isBreak ? kRed : isCurrent ? kBlue : p.color(QPalette::Midlight);
        QColor rightBack = isCurrent ? kBlue : isBreak ? kRed : p.color(QPalette::Base);
        QColor text = isBreak || isCurrent ? QColor(Qt::white) : p.color(QPalette::Text);
        QRect left(r.left(), r.top(), split, r.height()), right(r.left() + split, r.top(), r.width() - split, r.height());
        g.fillRect(left, leftBack);
        g.fillRect(right, rightBack);
        g.setPen(text);
        g.drawText(left.adjusted(g_.charWidth / 2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   Hex(std::uint32_t(a), 3) + QStringLiteral("- ") + Hex(word & kWordMask, 3));
        QString ins = (word & kDataFlag) ? QString::fromLatin1(DisassembleWord(shell_.state, a, wAt1_))
                                         : QStringLiteral("(unused)");
        g.drawText(right.adjusted(g_.charWidth / 2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, ins);
    }
}

// ---- mouse -----------------------------------------------------------------------

// A click selects a cell for editing, flips a bit or flag, or toggles the
// breakpoint on a program line; a double click on a program line makes it
// the next instruction.
void TRegisterForm::HaltedClick(QPoint point, bool twice) {
    DebugSession* s = Session();
    Hit h = HitTest(point);
    if (twice) {
        if (h.kind == Hit::ProgramLine) Guard([s, h] { s->MoveProgramCounter(h.address); });
        return;
    }
    switch (h.kind) {
        case Hit::Cell:
            if (h.cell == editCell_) break;
            EndEdit(true);  // a typed value is written before the selection moves
            SelectCell(h.cell);
            break;
        case Hit::Bit:
            EndEdit(true);
            Guard([s, h] {
                std::uint32_t v = h.cell == kCellW ? s->State.W : s->State.registers[std::size_t(h.cell)];
                s->WriteRegister(h.cell, (v ^ (1u << h.bit)) & 0xFF);
                s->Resync();
            });
            break;
        case Hit::IntFlag:
        case Hit::SkipFlag:
            EndEdit(true);
            Guard([s, h] {
                std::uint8_t& flag = h.kind == Hit::IntFlag ? s->State.IntFlag : s->State.SkipFlag;
                flag ^= 1;
                s->Resync();
            });
            break;
        case Hit::ProgramLine:
            EndEdit(true);
            Guard([s, h] { s->ToggleBreakpoint(h.address); });
            break;
        case Hit::None: break;
    }
}

void TRegisterForm::WheelNotches(int notches) {
    ScrollBar->setValue(ScrollBar->value() - 5 * notches);  // down for a negative delta
}

// ---- editing ---------------------------------------------------------------------

void TRegisterForm::SelectCell(int cell) {
    if (editCell_ >= 0) Redraw(CellRect(editCell_));
    editCell_ = cell;
    editValue_ = values_[std::size_t(cell)];
    digitTyped_ = false;
    caret_.Start();
    styles_[std::size_t(cell)] |= kStyleCursor;
    Editor->setFocus();
    Scrolled->ShowRect(CellRect(cell));
    Redraw(CellRect(cell));
}

void TRegisterForm::Commit() {
    DebugSession* s = Session();
    if (!s || !s->StateValid || editCell_ < 0) return;
    int cell = editCell_;
    std::uint32_t value = editValue_;
    digitTyped_ = false;
    Guard([s, cell, value] {
        s->WriteRegister(cell, value);
        s->Resync();
    });
    if (editCell_ >= 0) editValue_ = values_[std::size_t(editCell_)];
}

void TRegisterForm::EndEdit(bool commit) {
    if (inEdit_ || editCell_ < 0) return;
    inEdit_ = true;
    if (commit && digitTyped_) Commit();
    int cell = editCell_;
    editCell_ = -1;
    digitTyped_ = false;
    caret_.Stop();
    if (cell >= 0) {
        styles_[std::size_t(cell)] &= ~kStyleCursor;
        Redraw(CellRect(cell));
    }
    inEdit_ = false;
}

bool TRegisterForm::EditorKey(int key, const QString& text) {
    if (editCell_ < 0) return false;
    if (inEdit_) return true;
    int digit = text.size() == 1 ? HexDigitOf(text.at(0).toLatin1()) : -1;
    if (digit >= 0) {
        editValue_ = TypeHexDigit(shell_.family, editCell_, editValue_, digit, !digitTyped_);
        digitTyped_ = true;
        Redraw(CellRect(editCell_));
        return true;
    }
    CursorKey move;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            inEdit_ = true;
            Commit();
            inEdit_ = false;
            Redraw(CellRect(editCell_));
            return true;
        case Qt::Key_Escape:
            digitTyped_ = false;
            editValue_ = values_[std::size_t(editCell_)];
            Redraw(CellRect(editCell_));
            return true;
        case Qt::Key_Down:
        case Qt::Key_Space: move = CursorKey::Down; break;
        case Qt::Key_Up:
        case Qt::Key_Backspace: move = CursorKey::Up; break;
        case Qt::Key_Right: move = CursorKey::Right; break;
        case Qt::Key_Left: move = CursorKey::Left; break;
        default: return false;
    }
    int bankCount = shell_.debug ? shell_.debugger.Session.Target.bankCount : 8;
    int next = MoveCursor(shell_.family, bankCount, editCell_, move);
    if (digitTyped_) {
        inEdit_ = true;
        Commit();
        inEdit_ = false;
    }
    if (editCell_ >= 0) SelectCell(next);
    return true;
}

}  // namespace korvid
