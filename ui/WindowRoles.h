// What the windows ask of one another. A window never includes another
// window's header: it asks the shell's window for the role that window
// plays (RoleOf) or for the plain widget (WindowOf, to show, raise, hide or
// run it), both defined where every window is built (Application.cpp).
// Each returns nullptr for a window that does not exist.
#pragma once

#include <QFont>
#include <QString>
#include <string>

#include "core/link/DebugController.h"
#include "core/link/LinkObserver.h"
#include "ui/Shell.h"

class QFileDialog;
class QWidget;

namespace korvid {

class TextBuffer;

// What the other windows ask of the main window.
class EditorRole {
public:
    // The editor's font (name and size), which the debugger views share.
    virtual QFont EditorFont() const = 0;
    // The program came from the SXC compiler: its listing has no source
    // columns of its own.
    virtual bool InSxcMode() const = 0;
    // Runs an open or save dialog of any window; "" when cancelled (tests
    // answer in its place).
    virtual QString AskFileName(QFileDialog& dialog) = 0;
    // While debugging, the Run menu and the text size items are closed;
    // afterwards each entry is as it was before.
    virtual void SetDebugging(bool debugging) = 0;

protected:
    ~EditorRole() = default;
};

// What the main window and the other debug windows start in the Debug
// window.
class DebugRole {
public:
    // Run > Debug after the assembly: prepares the debug image, checks the
    // tool, programs the chip when asked and starts debugging.
    virtual void EnterDebugger(bool program) = 0;
    // A command asked for by its key in any debug window: it runs as its
    // button would, and only while that button is enabled.
    virtual void KeyCommand(DebugCommand command) = 0;

protected:
    ~DebugRole() = default;
};

// The Device window follows each successful assembly while it is open.
class DeviceRole {
public:
    virtual void Assembled() = 0;

protected:
    ~DeviceRole() = default;
};

// The Find/Replace dialog: the search state the main window's find
// commands read, and the dialog itself.
class FindRole {
public:
    // How the dialog closed.
    enum Result { CancelResult = 0, FindResult = 1, ReplaceResult = 4, AllResult = 8 };
    // Runs the dialog; Replace is offered only with a selection.
    virtual Result Ask(bool selection) = 0;
    // The texts as 8-bit bytes, line breaks as CR LF.
    virtual std::string FindText() const = 0;
    virtual std::string ReplaceText() const = 0;
    // Whole-word search is in force.
    virtual bool WordOnly() const = 0;
    // The search begins at the top of the text.
    virtual bool FromStart() const = 0;
    // Letters match only as typed (otherwise ASCII letters in either case).
    virtual bool MatchCase() const = 0;

protected:
    ~FindRole() = default;
};

// File > Print: the Print dialog, then the pages of the text.
class PrintRole {
public:
    virtual void PrintText(TextBuffer& text) = 0;

protected:
    ~PrintRole() = default;
};

// The small window shown while the pages go to the printer.
class PrintStatusRole {
public:
    // Shows the window for a document of `pages` pages.
    virtual void Begin(int pages) = 0;
    virtual void NextPage() = 0;
    // Cancel was pressed.
    virtual bool Cancelled() const = 0;
    virtual void End() = 0;

protected:
    ~PrintStatusRole() = default;
};

EditorRole* RoleOf(TEditorForm* window);
DebugRole* RoleOf(TDebugForm* window);
DeviceRole* RoleOf(TDeviceForm* window);
FindRole* RoleOf(TFindReplaceForm* window);
PrintRole* RoleOf(TPrintForm* window);
PrintStatusRole* RoleOf(TPrintStatusForm* window);
// The Device Operation window follows the link's operations; without it
// they go unseen.
LinkObserver& ProgressOf(const Shell& shell);

// The editor's current font; "Courier New" 9 before the main window exists.
QFont CurrentEditorFont(const Shell& shell);

// Every window as a plain widget.
#define KORVID_WINDOW_WIDGET(kind, type, member) QWidget* WindowOf(type* window);
KORVID_WINDOWS(KORVID_WINDOW_WIDGET)
#undef KORVID_WINDOW_WIDGET
// Shows a window and brings it to the front; runs a dialog modally.
void ShowWindow(QWidget* window);
void ExecDialog(QWidget* window);

// The user guide window, made at its first use (Help > User Guide).
// Its place is kept with the other windows'.
QWidget* CreateGuideWindow(Shell& shell, QWidget* parent);

}  // namespace korvid
