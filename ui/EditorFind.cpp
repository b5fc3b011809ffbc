// Find and replace commands of the main window (Edit > Find/Replace, F3, F4).
#include "ui/CommandGuard.h"
#include "ui/EditorUnit.h"
#include "ui/FindReplaceUnit.h"
#include "model/TextSearch.h"

namespace korvid {

void TEditorForm::EditFind() {
    View->HideCaret();
    if (shell.findReplace->FindText().empty())
        Inform(this, QStringLiteral("Nothing to Find"));
    else if (FindNext(Text, shell.findReplace->FindText(), shell.findReplace->WordOnly()))
        View->ResetScroll();
    else
        Inform(this, QStringLiteral("Nothing Found"));
    View->RefreshView();
}

void TEditorForm::EditReplace() {
    View->HideCaret();
    if (ReplaceSelection(Text, shell.findReplace->ReplaceText()))
        View->ResetScroll();
    else
        Inform(this, QStringLiteral("Nothing Selected"));
    View->RefreshView();
}

void TEditorForm::EditFindReplace() {
    TFindReplaceForm& dialog = *shell.findReplace;
    dialog.ReplaceButton->setEnabled(Text.HasSelection());
    switch (dialog.exec()) {
        case TFindReplaceForm::FindResult:
            if (dialog.StartCheckBox->isChecked()) Text.caret = 0;
            EditFind();
            break;
        case TFindReplaceForm::ReplaceResult:
            EditReplace();
            break;
        case TFindReplaceForm::AllResult: {
            View->HideCaret();
            if (dialog.StartCheckBox->isChecked()) Text.caret = 0;
            const std::string pattern = dialog.FindText();
            const std::string replacement = dialog.ReplaceText();
            const bool word = dialog.WordOnly();
            if (FindNext(Text, pattern, word)) {
                do ReplaceSelection(Text, replacement);
                while (FindNext(Text, pattern, word));
                View->ResetScroll();
            } else {
                Inform(this, QStringLiteral("Nothing Found"));
            }
            View->RefreshView();
            break;
        }
        default:
            break;
    }
}

}  // namespace korvid
