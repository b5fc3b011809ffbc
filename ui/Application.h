// Program entry of the two IDE programs: the application title, the sixteen
// windows created in the family's fixed order, the message loop.
#pragma once

#include <QStringList>
#include <memory>

#include "ui/Shell.h"

namespace korvid {

// The windows in their creation order for a family (the main window first).
enum class FormKind : std::uint8_t {
    Editor, FindReplace, Device, Progress, Register, About, Watch, Code, Debug,
    Print, PrintStatus, Clock, Configure, Help, IRC, SXC,
};
const FormKind* CreationOrder(const Family& family);  // 16 entries
inline constexpr int kFormCount = 16;

// Creates the windows of a shell in the family's order; `arguments` is the
// command line without the program name. Returns the main window; the
// windows live as long as the shell's owner keeps them (DestroyForms).
TEditorForm* CreateForms(Shell& shell, const QStringList& arguments);
void DestroyForms(Shell& shell);

// The whole program: application, windows, loop; returns the exit status.
int RunIde(int argc, char** argv, const Family& family);

}  // namespace korvid
