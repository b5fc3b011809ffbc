// Program entry of the two IDE programs: the application title, the sixteen
// windows created in the family's fixed order, the message loop.
#pragma once

#include <QStringList>
#include <memory>

#include "ui/Shell.h"

namespace korvid {

// The windows' kinds, in the 28L build's creation order.
#define KORVID_WINDOW_KIND(kind, type, member) kind,
enum class FormKind : std::uint8_t { KORVID_WINDOWS(KORVID_WINDOW_KIND) };
#undef KORVID_WINDOW_KIND
#define KORVID_WINDOW_COUNT(kind, type, member) +1
inline constexpr int kFormCount = 0 KORVID_WINDOWS(KORVID_WINDOW_COUNT);
#undef KORVID_WINDOW_COUNT
// The windows in their creation order for a family (the main window first).
const FormKind* CreationOrder(const Family& family);  // kFormCount entries

// Creates the windows of a shell in the family's order; `arguments` is the
// command line without the program name. Returns the main window; the
// windows live as long as the shell's owner keeps them (DestroyForms).
TEditorForm* CreateForms(Shell& shell, const QStringList& arguments);
void DestroyForms(Shell& shell);

// The whole program: application, windows, loop; returns the exit status.
int RunIde(int argc, char** argv, const Family& family);

}  // namespace korvid
