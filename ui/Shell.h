// What every window of a program shares: the device family, the assembly
// state, the target link and its IRC settings, and the sixteen windows,
// created once at start-up in their fixed order and kept until exit.
#pragma once

#include <functional>
#include <memory>

#include "core/asm/AssemblyState.h"
#include "core/link/Irc.h"
#include "core/link/Link.h"
#include "core/link/SerialDevice.h"
#include "family/Family.h"

namespace korvid {

class TEditorForm;
class TFindReplaceForm;
class TDeviceForm;
class TProgressForm;
class TRegisterForm;
class TAboutForm;
class TWatchForm;
class TCodeForm;
class TDebugForm;
class TPrintForm;
class TPrintStatusForm;
class TClockForm;
class TConfigureForm;
class THelpForm;
class TIRCForm;
class TSXCForm;

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

    TEditorForm* editor = nullptr;
    TFindReplaceForm* findReplace = nullptr;
    TDeviceForm* deviceForm = nullptr;
    TProgressForm* progress = nullptr;
    TRegisterForm* registers = nullptr;
    TAboutForm* about = nullptr;
    TWatchForm* watch = nullptr;
    TCodeForm* code = nullptr;
    TDebugForm* debug = nullptr;
    TPrintForm* print = nullptr;
    TPrintStatusForm* printStatus = nullptr;
    TClockForm* clock = nullptr;
    TConfigureForm* configure = nullptr;
    THelpForm* help = nullptr;
    TIRCForm* ircForm = nullptr;
    TSXCForm* sxc = nullptr;
};

}  // namespace korvid
