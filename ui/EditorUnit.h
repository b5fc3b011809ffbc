// The main window: the editing view over the text buffer, the menu of file,
// edit and run commands, the status bar, drag and drop of files, the list
// view toggle and the close question. It is the first window of a program
// and closing it ends the program.
#pragma once

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <functional>
#include <memory>

#include "ui/EditorView.h"
#include "ui/Shell.h"
#include "ui/SyntaxColours.h"
#include "ui/WindowRoles.h"
#include "model/TextBuffer.h"

namespace korvid {

class TEditorForm : public QMainWindow, public EditorRole {
    Q_OBJECT
public:
    // FormCreate: takes the assembly state of the shell, gives it the shared
    // text buffer, and reads the command line (arguments without the
    // program name).
    TEditorForm(Shell& shell, const QStringList& arguments);
    ~TEditorForm() override;

    void ParseCommandLine(const QStringList& arguments);
    void SetFileName(const QString& name);
    void QuerySave();
    // For a quit with no one to ask: a modified source is written whole to
    // a new file of the user's data folder (korvid/unsaved/NAME-DATE-TIME
    // with the source's suffix), its own file left as it was. Returns that
    // file ("" when nothing was unsaved, or with `error` when it could not
    // be written).
    QString KeepUnsavedText(QString& error);
    void AssembleSource();
    void ToggleList();
    // LoadText with the window's side: caption, view reset, error.
    void LoadFile(const QString& name);
    void SaveFile(const QString& name);
    void ShowHint(const QString& hint);
    QString StatusText() const;
    // The source file's name ("" for a new text), also in list mode.
    QString SourceFile() const;

    // Menu handlers.
    void FileNew();
    void FileOpenItemClick();
    void FileSave();
    void FileSaveAs();
    // Save As: false when no name was chosen or the overwrite was refused.
    bool SaveTextAs();
    // Runs an open or save dialog through RunFileDialog, its name field
    // empty or selected; the keyboard returns to the text afterwards.
    QString AskFile(QFileDialog& dialog);
    void PointDialogAtFile(QFileDialog& dialog);
    void FileListToggle();
    void FilePrint();
    void FileExit();
    // File > Recent Files: the remembered files, the current one first,
    // numbered 1 to 10; a file that is gone is shown disabled.
    void FillRecentMenu();
    void OpenRecentFile(const QString& name);
    void EditUndo();
    void EditRedo();
    void EditSelectAll();
    void EditGoToLine();
    // Moves the caret to the start of line `line` (1 is the first; past the
    // end: the last line) and shows it.
    void GoToLine(int line);
    void EditCut();
    void EditCopy();
    void EditPaste();
    void EditFindReplace();
    void EditFind();
    void EditReplace();
    bool FindWrapped();
    void TextBigger();
    void TextSmaller();
    void ViewColours();
    void ViewLineNumbers();
    void RunAssemble();
    void RunExtendedDialect();  // toggles the assembler dialect (this process only)
    void RunProgram();
    void RunRun();
    void RunDebug();
    void RunDebugAgain();
    void StartDebugging(bool program);
    void RunClock();
    void RunDevice();
    void RunConfigure();
    void HelpContentsItemClick();
    void HelpAbout();
    void HelpGuide();

    // EditorRole: what the other windows ask of this one.
    QFont EditorFont() const override;
    bool InSxcMode() const override { return SxcMode; }
    QString AskFileName(QFileDialog& dialog) override;
    void SetDebugging(bool debugging) override;

    // The menu item of a documented name ("FileOpenItem", ...).
    QAction* Item(const char* name) const;

    Shell& shell;
    AssemblyState& State;
    TextBuffer Text;
    TEditorView* View;
    QStatusBar* StatusBar;
    QWidget* Guide = nullptr;  // the user guide window, made at its first use
    QLabel* CaretLabel;  // "Ln L, Col C" of the caret, right in the status bar
    QMenu* FileMenu;
    QMenu* RecentMenu;
    QMenu* EditMenu;
    QMenu* ViewMenu;
    QMenu* RunMenu;
    QMenu* HelpMenu;
    QFileDialog* OpenDialog;
    QFileDialog* SaveDialog;

    QString fileName;
    QString savedSourceName;
    QString CommandLineFile;
    bool SxcMode = false;
    bool PortGiven = false;  // the command line named the port (/1../4)
    bool firstActivationDone = false;
    bool shownOnce = false;
    QString Hint;  // "List (read-only) - Ctrl+L returns to source" in list mode

    // Loads the SXC compiler output (base name without extension); wired to
    // the SXC loader's window at start-up (CreateForms). Without it the SXC
    // start does nothing.
    std::function<void(const QString& baseName)> SXCLoad;

    // Runs an open or save dialog and returns the chosen file ("" when
    // cancelled); tests answer in its place.
    std::function<QString(QFileDialog&)> RunFileDialog;

    // Classes the editor's colours by the assembler's scanner.
    std::unique_ptr<SyntaxColourer> Syntax;
    // The shared text buffer (ListText of the assembly state).
    std::unique_ptr<char[]> ListBuffer;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;
    // The application's hints: status tips of every window's controls.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void FormActivate();
    void SxcStart();
    void BuildMenu();
    void SetRunMenuEnabled(bool enabled);
    void ResetViewForNewText();
    void Command(void (TEditorForm::*handler)());
    // The title ("*" in front while the text is unsaved) and the caret's
    // line and column; after every key and command.
    void UpdateTitleAndCaret();
    // Enabled states of the entries that debugging closes, from before it
    // began (SXC and list mode close entries of their own).
    std::vector<std::pair<QAction*, bool>> savedForDebugging_;
    bool debugging_ = false;
    bool runMenuBeforeDebugging_ = true;
};

}  // namespace korvid
