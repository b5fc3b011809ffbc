// The main window's menu: one table of items with their captions, shortcuts,
// hints (shown in the status bar) and handlers.
#include <QMenuBar>

#include "ui/CommandGuard.h"
#include "ui/EditorUnit.h"

namespace korvid {

namespace {
enum MenuId { File, Edit, View, Run, Help };

struct MenuItemInfo {
    MenuId menu;
    const char* name;
    const char* caption;
    const char* shortcut;  // "" for none
    const char* hint;
    void (TEditorForm::*handler)();
    bool separatorAfter;
};

const MenuItemInfo kMenuItems[] = {
    {File, "FileNewItem", "&New", "", "Create a new file", &TEditorForm::FileNew, false},
    {File, "FileOpenItem", "&Open...", "Ctrl+O", "Open an existing file", &TEditorForm::FileOpenItemClick, false},
    {File, "FileSaveItem", "&Save", "Ctrl+S", "Save the current file", &TEditorForm::FileSave, false},
    {File, "FileSaveAsItem", "Save &As...", "", "Save the current file under a new name", &TEditorForm::FileSaveAs,
     true},
    {File, "FileListToggleItem", "&List Toggle", "Ctrl+L", "Toggle between source and list",
     &TEditorForm::FileListToggle, true},
    {File, "FilePrintItem", "&Print...", "", "Print the current file", &TEditorForm::FilePrint, true},
    {File, "FileExitItem", "E&xit", "", "Exit this application", &TEditorForm::FileExit, false},
    {Edit, "EditUndoItem", "&Undo", "Ctrl+Z", "Take back the last change", &TEditorForm::EditUndo, false},
    {Edit, "EditRedoItem", "Red&o", "Ctrl+Y; Ctrl+Shift+Z", "Make the last change taken back again",
     &TEditorForm::EditRedo, true},
    {Edit, "EditCutItem", "Cu&t", "Ctrl+X", "Delete the selected text and copy it to the clipboard",
     &TEditorForm::EditCut, false},
    {Edit, "EditCopyItem", "&Copy", "Ctrl+C", "Copy the selected text to the clipboard", &TEditorForm::EditCopy,
     false},
    {Edit, "EditPasteItem", "&Paste", "Ctrl+V", "Paste the clipboard's text at the cursor position",
     &TEditorForm::EditPaste, false},
    {Edit, "EditSelectAllItem", "Select &All", "Ctrl+Shift+A", "Select the whole text", &TEditorForm::EditSelectAll,
     true},
    {Edit, "EditFindReplaceItem", "&Find/Replace...", "Ctrl+F", "Perform initial or global find/replace",
     &TEditorForm::EditFindReplace, false},
    {Edit, "EditFindItem", "Fin&d", "F3", "Perform subsequent find", &TEditorForm::EditFind, false},
    {Edit, "EditReplaceItem", "&Replace", "F4", "Perform subsequent replace", &TEditorForm::EditReplace, false},
    {Edit, "EditGoToLineItem", "&Go to Line...", "Ctrl+Shift+G", "Move the cursor to a line of the text",
     &TEditorForm::EditGoToLine, true},
    {Edit, "EditTextBiggerItem", "Text &Bigger", "Ctrl+Up", "Increase the displayed text size",
     &TEditorForm::TextBigger, false},
    {Edit, "EditTextSmallerItem", "Text &Smaller", "Ctrl+Down", "Decrease the displayed text size",
     &TEditorForm::TextSmaller, false},
    {View, "ViewColoursItem", "Syntax &Colours", "", "Colour the text by what the assembler reads in it",
     &TEditorForm::ViewColours, false},
    {View, "ViewLineNumbersItem", "&Line Numbers", "", "Show the number of each line beside it",
     &TEditorForm::ViewLineNumbers, false},
    {Run, "RunAssembleItem", "&Assemble", "Ctrl+A", "Assemble source", &TEditorForm::RunAssemble, false},
    {Run, "RunExtendedDialectItem", "E&xtended Dialect", "", "Assemble the extended dialect of older sources",
     &TEditorForm::RunExtendedDialect, false},
    {Run, "RunProgramItem", "&Program", "Ctrl+P", "Assemble source + Program device", &TEditorForm::RunProgram,
     false},
    {Run, "RunRunItem", "&Run", "Ctrl+R", "Assemble source + Program device + Generate clock",
     &TEditorForm::RunRun, false},
    {Run, "RunDebugItem", "&Debug", "Ctrl+D",
     "Assemble source + Program device + Generate clock + Enter debugger", &TEditorForm::RunDebug, false},
    {Run, "RunDebugAgainItem", "D&ebug (reenter)", "Ctrl+Alt+D",
     "Assemble source + (assume device already programmed per debug) + Generate clock + Enter debugger",
     &TEditorForm::RunDebugAgain, true},
    {Run, "RunClockItem", "Cloc&k...", "Ctrl+K", "Control clock generation", &TEditorForm::RunClock, false},
    {Run, "RunDeviceItem", "Dev&ice...", "Ctrl+I", "Show the device window", &TEditorForm::RunDevice, false},
    {Run, "RunConfigureItem", "Confi&gure...", "Ctrl+G", "Configure erase/program times and serial port",
     &TEditorForm::RunConfigure, false},
    {Help, "HelpContentsItem", "&Contents", "", "", &TEditorForm::HelpContentsItemClick, false},
    {Help, "HelpGuideItem", "&User Guide", "F1", "Show the user guide", &TEditorForm::HelpGuide, true},
    {Help, "HelpAboutItem", "&About", "", "Show the copyright window", &TEditorForm::HelpAbout, false},
};
}  // namespace

void TEditorForm::Command(void (TEditorForm::*handler)()) {
    RunGuarded(this, [this, handler] { (this->*handler)(); });
    // A checkable item toggles itself when chosen; it shows the mode.
    Item("FileListToggleItem")->setChecked(Text.listMode != 0);
    Item("RunExtendedDialectItem")->setChecked(State.dialect == Dialect::Extended);
    Item("ViewColoursItem")->setChecked(View->ColoursOn);
    Item("ViewLineNumbersItem")->setChecked(View->LineNumbersOn);
    View->FullRepaint();  // a dialect change may colour words differently
    UpdateTitleAndCaret();
}

void TEditorForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    FileMenu = bar->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    EditMenu = bar->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    ViewMenu = bar->addMenu(QStringLiteral("&View"));
    ViewMenu->setObjectName(QStringLiteral("ViewMenu"));
    RunMenu = bar->addMenu(QStringLiteral("&Run"));
    RunMenu->setObjectName(QStringLiteral("RunMenu"));
    HelpMenu = bar->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    QMenu* menus[] = {FileMenu, EditMenu, ViewMenu, RunMenu, HelpMenu};
    for (const MenuItemInfo& info : kMenuItems) {
        QMenu* menu = menus[info.menu];
        QAction* action = menu->addAction(QString::fromLatin1(info.caption));
        action->setObjectName(QString::fromLatin1(info.name));
        if (*info.shortcut) action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(info.shortcut)));
        action->setStatusTip(QString::fromLatin1(info.hint));
        auto handler = info.handler;
        connect(action, &QAction::triggered, this, [this, handler] { Command(handler); });
        if (info.separatorAfter) menu->addSeparator();
    }
    Item("FileListToggleItem")->setCheckable(true);
    Item("RunExtendedDialectItem")->setCheckable(true);
    for (const char* name : {"ViewColoursItem", "ViewLineNumbersItem"}) Item(name)->setCheckable(true);
    Item("ViewColoursItem")->setChecked(true);
    RecentMenu = new QMenu(QStringLiteral("Recent &Files"), FileMenu);
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    FileMenu->insertMenu(Item("FileExitItem"), RecentMenu);
    FileMenu->insertSeparator(Item("FileExitItem"));
    connect(RecentMenu, &QMenu::aboutToShow, this, &TEditorForm::FillRecentMenu);
}

QAction* TEditorForm::Item(const char* name) const { return findChild<QAction*>(QString::fromLatin1(name)); }

void TEditorForm::SetRunMenuEnabled(bool enabled) {
    RunMenu->setEnabled(enabled);
    for (QAction* a : RunMenu->actions()) a->setEnabled(enabled);
}

// Debugging closes the Run menu and the text size items (the debugger views
// are measured in the editor's font); its end puts back what was enabled
// before, since SXC and list mode close entries of their own.
void TEditorForm::SetDebugging(bool debugging) {
    if (debugging == debugging_) return;
    debugging_ = debugging;
    if (!debugging) {
        for (auto& [action, enabled] : savedForDebugging_) action->setEnabled(enabled);
        RunMenu->setEnabled(runMenuBeforeDebugging_);
        return;
    }
    savedForDebugging_.clear();
    auto close = [this](QAction* action) {
        if (!action) return;
        savedForDebugging_.emplace_back(action, action->isEnabled());
        action->setEnabled(false);
    };
    close(Item("EditTextBiggerItem"));
    close(Item("EditTextSmallerItem"));
    for (QAction* action : RunMenu->actions()) close(action);
    runMenuBeforeDebugging_ = RunMenu->isEnabled();
    RunMenu->setEnabled(false);
}

}  // namespace korvid
