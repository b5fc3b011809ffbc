// Find and replace commands of the main window (Edit > Find/Replace, F3, F4).
#include "ui/CommandGuard.h"
#include "ui/EditorUnit.h"
#include "model/TextSearch.h"

namespace korvid {

namespace {
// The next match from the caret with the dialog's text and options.
bool FindAsAsked(TextBuffer& text, const FindRole& dialog) {
    return FindNext(text, dialog.FindText(), dialog.WordOnly(), dialog.MatchCase());
}
}  // namespace

void TEditorForm::EditFind() {
    const FindRole& find = *RoleOf(shell.findReplace);
    View->HideCaret();
    if (find.FindText().empty())
        Inform(this, QStringLiteral("Nothing to Find"));
    else if (FindAsAsked(Text, find))
        View->ResetScroll();
    else if (FindWrapped())
        StatusBar->showMessage(QStringLiteral("Search wrapped around to the top"));
    else
        Inform(this, QStringLiteral("Nothing Found"));
    View->RefreshView();
}

// Nothing behind the caret: the search starts again at the top. A match
// there that is only the selection already shown counts as nothing found.
bool TEditorForm::FindWrapped() {
    const std::int32_t caret = Text.caret, anchor = Text.anchor;
    const std::uint8_t selection = Text.selectionState;
    std::int32_t start, end;
    const bool had = Text.GetSelection(start, end);
    Text.caret = 0;
    if (FindAsAsked(Text, *RoleOf(shell.findReplace))) {
        std::int32_t s, e;
        Text.GetSelection(s, e);
        if (!had || s != start || e != end) {
            View->ResetScroll();
            return true;
        }
    }
    Text.caret = caret;
    Text.anchor = anchor;
    Text.selectionState = selection;
    return false;
}

void TEditorForm::EditReplace() {
    View->HideCaret();
    if (ReplaceSelection(Text, RoleOf(shell.findReplace)->ReplaceText()))
        View->ResetScroll();
    else
        Inform(this, QStringLiteral("Nothing Selected"));
    View->RefreshView();
}

void TEditorForm::EditFindReplace() {
    FindRole& dialog = *RoleOf(shell.findReplace);
    switch (dialog.Ask(Text.HasSelection())) {
        case FindRole::FindResult:
            if (dialog.FromStart()) Text.caret = 0;
            EditFind();
            break;
        case FindRole::ReplaceResult:
            EditReplace();
            break;
        case FindRole::AllResult: {
            View->HideCaret();
            if (dialog.FromStart()) Text.caret = 0;
            const std::string replacement = dialog.ReplaceText();
            if (FindAsAsked(Text, dialog)) {
                TextBuffer::Group step(Text);  // taken back as one
                do ReplaceSelection(Text, replacement);
                while (FindAsAsked(Text, dialog));
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
