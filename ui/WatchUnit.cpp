#include "ui/WatchUnit.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "core/link/Debug.h"
#include "ui/CommandGuard.h"
#include "ui/WindowRoles.h"
#include "ui/WindowFit.h"
#include "model/WatchFormat.h"

namespace korvid {

TWatchForm::TWatchForm(Shell& shell, QWidget* parent) : TDebugViewWindow(shell, parent) {
    setWindowTitle(QStringLiteral("Watch"));
    MakeScrolled();
    SetContentSize(size(), rh_);  // the size follows the entries at each show
    setFocusPolicy(Qt::StrongFocus);
}

void TWatchForm::FormShow() {
    Layout();
    row_ = -1;
    caret_.Stop();
    painted_ = false;
}

void TWatchForm::Layout() {
    font_ = CurrentEditorFont(shell_);
    QFontMetrics fm(font_);
    cw_ = std::max(1, fm.horizontalAdvance(QLatin1Char('X')));
    int th = fm.height();
    rh_ = th + 2 * (th / 8) + 3;
    const AssemblyState& s = shell_.state;
    int count = int(std::min<std::uint32_t>(s.WatchCount, kMaxWatches));
    int longestName = 0, widestValue = 0;
    for (int i = 0; i < count; ++i) {
        const Watch& w = s.Watches[std::size_t(i)];
        longestName = std::max(longestName, fm.horizontalAdvance(QString::fromLatin1(w.name, int(strnlen(w.name, 33)))));
        widestValue = std::max(widestValue, fm.horizontalAdvance(QString::fromLatin1(WatchTemplate(w).c_str())));
    }
    nameW_ = longestName + 2 * cw_;
    valueW_ = widestValue + 2 * cw_;
    rows_.resize(std::size_t(count));
    SetContentSize(QSize(std::max(nameW_ + valueW_, 4 * cw_), std::max(count, 1) * rh_), rh_);
}

QRect TWatchForm::RowRect(int row) const { return {0, row * rh_, ContentWidth(), rh_}; }
QRect TWatchForm::ValueRect(int row) const { return {nameW_, row * rh_, ContentWidth() - nameW_, rh_}; }

std::string TWatchForm::TextOf(int row, const std::uint32_t* registers) const {
    DebugSession* s = Session();
    int banks = s ? s->BankCount : 8;
    return WatchText(shell_.state.Watches[std::size_t(row)], registers, shell_.family, banks);
}

QString TWatchForm::ValueText(int row) const {
    return row >= 0 && row < int(rows_.size()) ? rows_[std::size_t(row)].text : QString();
}
bool TWatchForm::Changed(int row) const { return row >= 0 && row < int(rows_.size()) && rows_[std::size_t(row)].changed; }

void TWatchForm::Repaint(bool full) {
    DebugSession* s = Session();
    if (!s) return;
    if (rows_.size() != std::min<std::size_t>(shell_.state.WatchCount, kMaxWatches)) {
        Layout();
        full = true;
    }
    for (int i = 0; i < int(rows_.size()); ++i) {
        QString text = QString::fromLatin1(TextOf(i, s->State.registers.data()).c_str());
        QString snap = QString::fromLatin1(TextOf(i, s->CurrentSnapshot.registers.data()).c_str());
        QString prev = QString::fromLatin1(TextOf(i, s->PreviousSnapshot.registers.data()).c_str());
        Row& r = rows_[std::size_t(i)];
        bool redraw = full || !painted_ || text != snap || snap != prev || text != r.text;
        r.text = text;
        r.changed = text != snap;
        if (i == row_ && untouched_) editText_ = text;
        if (redraw) Redraw(ValueRect(i));
    }
    if (full) Redraw();
}

void TWatchForm::PaintContent(QPainter& g) {
    painted_ = true;
    const QPalette& p = palette();
    const int width = ContentWidth(), height = Scrolled->Canvas()->height();
    g.setFont(font_);
    const AssemblyState& s = shell_.state;
    for (int i = 0; i < int(rows_.size()); ++i) {
        QRect name(0, i * rh_, nameW_, rh_), value = ValueRect(i);
        g.fillRect(name, p.color(QPalette::Midlight));
        g.setPen(p.color(QPalette::Text));
        const Watch& w = s.Watches[std::size_t(i)];
        g.drawText(name.adjusted(cw_, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(w.name, int(strnlen(w.name, 33))));
        const Row& r = rows_[std::size_t(i)];
        bool editing = i == row_;
        QColor back = editing && caret_.on() ? QColor(Qt::black) : r.changed ? QColor(Qt::red) : p.color(QPalette::Base);
        QColor text = (editing && caret_.on()) || r.changed ? QColor(Qt::white) : p.color(QPalette::Text);
        g.fillRect(value, back);
        g.setPen(text);
        g.drawText(value.adjusted(0, 0, -cw_, 0), Qt::AlignRight | Qt::AlignVCenter, editing ? editText_ : r.text);
        g.setPen(p.color(QPalette::Dark));
        g.drawLine(0, (i + 1) * rh_ - 1, width, (i + 1) * rh_ - 1);
    }
    g.setPen(p.color(QPalette::Dark));
    g.drawLine(nameW_ - 1, 0, nameW_ - 1, height);
}

// A click (either of a double click) on a value selects its row for editing.
void TWatchForm::HaltedClick(QPoint pt, bool) {
    if (pt.x() < nameW_) return;
    int row = pt.y() / rh_;
    if (row < 0 || row >= int(rows_.size())) return;
    SelectRow(row);
}

void TWatchForm::SelectRow(int row) {
    if (row_ >= 0 && row_ != row) EndEdit(true);
    row_ = row;
    editText_ = ValueText(row);
    untouched_ = true;
    commitWanted_ = false;
    caret_.Start();
    setFocus();
    Scrolled->ShowRect(RowRect(row));
    Redraw(ValueRect(row));
}

// The keys of an edit in a selected row.
bool TWatchForm::FormKeyDown(QKeyEvent* event) {
    if (row_ < 0 || inEdit_) return false;
    const int count = int(rows_.size());
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down: {
            int next = (row_ + (event->key() == Qt::Key_Up ? count - 1 : 1)) % count;
            EndEdit(true);
            SelectRow(next);
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commitWanted_ = true;
            inEdit_ = true;
            Commit();
            inEdit_ = false;
            return true;
        case Qt::Key_Escape:
            // Abandon the edit: the row stays selected with its value.
            editText_ = ValueText(row_);
            untouched_ = true;
            commitWanted_ = false;
            Redraw(ValueRect(row_));
            return true;
        case Qt::Key_Backspace:
            if (!untouched_ && !editText_.isEmpty()) {
                editText_.chop(1);
                Redraw(ValueRect(row_));
            }
            return true;
        default: break;
    }
    QString t = event->text();
    if (t.size() == 1 && t.at(0).unicode() >= 32 && t.at(0).unicode() < 256 && t.at(0).unicode() != 127) {
        if (untouched_) {
            editText_ = t;
            untouched_ = false;
        } else if (editText_.size() < kWatchEditLimit) {
            editText_ += t;
        }
        commitWanted_ = true;
        Redraw(ValueRect(row_));
    }
    return true;  // an edit takes every other key
}

void TWatchForm::EndEdit(bool commit) {
    if (row_ < 0 || inEdit_) return;
    inEdit_ = true;
    if (commit && commitWanted_) Commit();
    int row = row_;
    row_ = -1;
    caret_.Stop();
    Redraw(ValueRect(row));
    inEdit_ = false;
}

void TWatchForm::Commit() {
    DebugSession* s = HaltedSession();
    commitWanted_ = false;
    if (!s || row_ < 0) return;
    const Watch& w = shell_.state.Watches[std::size_t(row_)];
    QByteArray typed = editText_.toLatin1();
    WatchWrites writes;
    if (IsStringWatch(w)) {
        writes = WatchStringWrites(w, WatchStringEntry(std::string_view(typed.constData(), std::size_t(typed.size()))),
                                   shell_.family, s->BankCount);
    } else {
        std::uint32_t value = 0;
        if (!ParseWatchNumber(std::string_view(typed.constData(), std::size_t(typed.size())), value)) {
            // Through the debug guard, so that no tick runs while the box is open.
            Guard([this] { ShowError(this, QStringLiteral("Invalid constant entry")); });
            editText_ = ValueText(row_);
            untouched_ = true;
            Redraw(ValueRect(row_));
            return;
        }
        writes = WatchNumberWrites(w, value, s->State.registers.data(), shell_.family, s->BankCount);
    }
    Guard([s, &writes] {
        for (int i = 0; i < writes.count; ++i) s->WriteRegister(writes.writes[i].address, writes.writes[i].value);
        s->Resync();
    });
    if (row_ >= 0) {
        editText_ = ValueText(row_);
        untouched_ = true;
        Redraw(ValueRect(row_));
    }
}

}  // namespace korvid
