// What every window of a program shares: the device family, the assembly
// state, the target link and its IRC settings, and the sixteen windows,
// created once at start-up in their fixed order and kept until exit.
#pragma once

#include <functional>
#include <memory>

#include "core/asm/AssemblyState.h"
#include "core/link/DebugController.h"
#include "core/link/Irc.h"
#include "core/link/Link.h"
#include "platform/SerialDevice.h"
#include "family/Family.h"

namespace korvid {

// The windows, in the 28L build's creation order (the main window first):
// X(kind, class, member of Shell). Every list of the windows (their
// declarations, the shell's pointers, the kinds, creation and deletion) is
// made from this one.
#define KORVID_WINDOWS(X)                      \
    X(Editor, TEditorForm, editor)             \
    X(FindReplace, TFindReplaceForm, findReplace) \
    X(Device, TDeviceForm, deviceForm)         \
    X(Progress, TProgressForm, progress)       \
    X(Register, TRegisterForm, registers)      \
    X(About, TAboutForm, about)                \
    X(Watch, TWatchForm, watch)                \
    X(Code, TCodeForm, code)                   \
    X(Debug, TDebugForm, debug)                \
    X(Print, TPrintForm, print)                \
    X(PrintStatus, TPrintStatusForm, printStatus) \
    X(Clock, TClockForm, clock)                \
    X(Configure, TConfigureForm, configure)    \
    X(Help, THelpForm, help)                   \
    X(IRC, TIRCForm, ircForm)                  \
    X(SXC, TSXCForm, sxc)

#define KORVID_DECLARE_WINDOW(kind, type, member) class type;
KORVID_WINDOWS(KORVID_DECLARE_WINDOW)
#undef KORVID_DECLARE_WINDOW
class SettingsKeeper;

struct Shell {
    Shell(const Family& f, AssemblyState& s, std::unique_ptr<SerialDevice> d, TickSource& ticks = SystemTicks())
        : family(f), state(s), serial(std::move(d)), link(*serial, ticks) {}

    const Family& family;
    AssemblyState& state;
    std::unique_ptr<SerialDevice> serial;
    Link link;
    IrcSettings irc;
    // The assembler entry (Assemble); the program entry sets it, tests may
    // put a small stand-in there.
    std::function<void(AssemblyState&)> assemble;
    // After a failed strict assembly: whether the extended dialect would
    // accept the source (ExtendedDialectAccepts); unset, no hint is given.
    std::function<bool(const AssemblyState&)> extendedDialectAccepts;
    // After a failed assembly: the other family that accepts the source
    // (OtherFamilyAccepts); unset, no hint is given.
    std::function<const Family*(const AssemblyState&)> otherFamilyAccepts;
    // The debugger of the Debug window's connection: the Registers, Code and
    // Watch windows attach to it and read its session.
    DebugController debugger{link, state};

    // The remembered settings (ui/SettingsKeeper.h); none in tests that make
    // the windows on their own: every window then starts with its defaults.
    SettingsKeeper* settings = nullptr;

#define KORVID_WINDOW_POINTER(kind, type, member) type* member = nullptr;
    KORVID_WINDOWS(KORVID_WINDOW_POINTER)
#undef KORVID_WINDOW_POINTER
};

}  // namespace korvid
