// The Run menu of the main window: assemble, then program, run the chip,
// set the clock, debug; the Device and Configure windows.
#include <QStatusBar>

#include "core/link/Clock.h"
#include "core/link/LinkError.h"
#include "core/link/Programming.h"
#include "ui/EditorUnit.h"

namespace korvid {

void TEditorForm::AssembleSource() {
    State.SourceText = Text.PrepareForAssembly();
    View->HideCaret();
    if (shell.assemble) {
        shell.assemble(State);
    } else {
        State.ErrorFlag = 1;
        State.ErrorMessage = "No assembler";
        State.ErrorStart = State.ErrorEnd = 0;
    }
    if (State.ErrorFlag) {
        QString message = QStringLiteral("ERROR: ") + QString::fromLatin1(State.ErrorMessage);
        if (shell.extendedDialectAccepts && shell.extendedDialectAccepts(State)) message += QStringLiteral("  (accepted with the extended dialect)");
        if (shell.otherFamilyAccepts)
            if (const Family* other = shell.otherFamilyAccepts(State))
                message += QStringLiteral("  (assembles in ") +
                           QString::fromLatin1(other->title.data(), qsizetype(other->title.size())) + QLatin1Char(')');
        StatusBar->showMessage(message);
        auto clamp = [this](std::uint32_t p) {
            return std::int32_t(std::min<std::uint32_t>(p, std::uint32_t(Text.length)));
        };
        Text.anchor = clamp(State.ErrorStart);
        Text.caret = clamp(State.ErrorEnd);
        Text.selectionState = 1;
        View->ResetScroll();
        View->RefreshView();
        throw SilentAbort();
    }
    StatusBar->showMessage(QStringLiteral("Assembly Successful"));
    if (DeviceRole* device = RoleOf(shell.deviceForm)) device->Assembled();
    View->RefreshView();
}

void TEditorForm::RunAssemble() { AssembleSource(); }

void TEditorForm::RunExtendedDialect() {
    State.dialect = State.dialect == Dialect::Strict ? Dialect::Extended : Dialect::Strict;
}

void TEditorForm::RunProgram() {
    if (!SxcMode) AssembleSource();
    RequireProgramData(State);
    ProgramDevice(shell.link, State, shell.irc, ProgressOf(shell), false);
}

void TEditorForm::RunRun() {
    if (!SxcMode) AssembleSource();
    RequireProgramData(State);
    shell.link.RequireDebugTool();
    ProgramDevice(shell.link, State, shell.irc, ProgressOf(shell), true);
}

// Run > Debug ends a session still open, assembles and starts another.
void TEditorForm::StartDebugging(bool program) {
    if (QWidget* debug = WindowOf(shell.debug)) debug->hide();
    if (!SxcMode) AssembleSource();
    if (DebugRole* debug = RoleOf(shell.debug)) debug->EnterDebugger(program);
}

void TEditorForm::RunDebug() { StartDebugging(true); }
void TEditorForm::RunDebugAgain() { StartDebugging(false); }

void TEditorForm::RunClock() {
    shell.link.RequireDebugTool();
    shell.link.OpenLink();
    ExecDialog(WindowOf(shell.clock));
    if (shell.link.PortOpen) shell.link.CloseLink();
}

void TEditorForm::RunDevice() { ShowWindow(WindowOf(shell.deviceForm)); }

void TEditorForm::RunConfigure() { ExecDialog(WindowOf(shell.configure)); }

}  // namespace korvid
