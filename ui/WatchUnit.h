// The Watch window: the WATCH variables of the source, each as its name and
// its value in the format the directive asked for. Changed values are
// marked; a typed value is parsed and written into the chip's registers. A
// window smaller than its rows scrolls them.
#pragma once

#include <QFont>
#include <string>
#include <vector>

#include "ui/CaretBlink.h"
#include "core/link/Debug.h"
#include "ui/DebugWindow.h"
#include "ui/Shell.h"

namespace korvid {

class TWatchForm : public TDebugViewWindow {
    Q_OBJECT
public:
    explicit TWatchForm(Shell& shell, QWidget* parent = nullptr);

    // Editing (only while the chip is halted).
    void SelectRow(int row);
    void EndEdit(bool commit);
    int SelectedRow() const { return row_; }
    const QString& EditText() const { return editText_; }
    // The text and the change mark a row was last built with.
    QString ValueText(int row) const;
    bool Changed(int row) const;
    QRect RowRect(int row) const;
    QRect ValueRect(int row) const;

protected:
    // Rebuilds the value texts from the chip state; repaints the rows whose
    // text or mark changed (every row on a full refresh).
    void Repaint(bool full) override;
    void PaintContent(QPainter& g) override;
    bool focusNextPrevChild(bool) override { return false; }
    void FormShow() override;
    void FormDeactivate() override { EndEdit(true); }
    bool FormKeyDown(QKeyEvent* event) override;
    void HaltedClick(QPoint point, bool twice) override;

private:
    void Layout();
    void Commit();
    std::string TextOf(int row, const std::uint32_t* registers) const;

    QFont font_;
    int cw_ = 8, rh_ = 20, nameW_ = 80, valueW_ = 80;
    struct Row {
        QString text;
        bool changed = false;
    };
    std::vector<Row> rows_;
    int row_ = -1;
    QString editText_;
    bool untouched_ = true;
    bool commitWanted_ = false;
    CaretBlink caret_{[this] {
        if (row_ >= 0) Redraw(ValueRect(row_));
    }};
    bool inEdit_ = false;
    bool painted_ = false;
};

}  // namespace korvid
