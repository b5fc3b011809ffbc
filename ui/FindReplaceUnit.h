// The Find/Replace dialog: the search text, the replacement text and the
// three options. Its buttons only choose how it closes; the main window searches.
// Its texts and boxes are the only search state and persist between uses.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "ui/Shell.h"
#include "ui/WindowRoles.h"

namespace korvid {

// A one-line memo: ENTER goes to the dialog's default button, TAB moves on.
class TOneLineMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TOneLineMemo(QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Its buttons close it with the results of FindRole.
class TFindReplaceForm : public QDialog, public FindRole {
    Q_OBJECT
public:
    explicit TFindReplaceForm(Shell& shell, QWidget* parent = nullptr);

    void UpdateControls();
    // The memos' texts as 8-bit bytes, line breaks as CR LF.
    std::string FindText() const override;
    std::string ReplaceText() const override;
    // Whole-word search is in force: the box is both enabled and ticked.
    bool WordOnly() const override { return WordCheckBox->isEnabled() && WordCheckBox->isChecked(); }
    bool FromStart() const override { return StartCheckBox->isChecked(); }
    Result Ask(bool selection) override {
        ReplaceButton->setEnabled(selection);
        return Result(exec());
    }
    bool MatchCase() const override { return MatchCaseCheckBox->isChecked(); }

    TOneLineMemo* FindMemo;
    TOneLineMemo* ReplaceMemo;
    QLabel* FindLabel;
    QLabel* ReplaceLabel;
    QCheckBox* StartCheckBox;
    QCheckBox* WordCheckBox;
    QCheckBox* MatchCaseCheckBox;
    QPushButton* FindButton;
    QPushButton* ReplaceButton;
    QPushButton* AllButton;
    QPushButton* CancelButton;
    QFrame* FindBevel;
    QFrame* ReplaceBevel;
    QFrame* DividerBevel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Shell& shell_;
};

}  // namespace korvid
