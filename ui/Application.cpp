#include "ui/Application.h"

#include <QApplication>

#include "core/asm/Assembler.h"
#include "core/link/PosixSerialDevice.h"
#include "ui/AboutUnit.h"
#include "ui/ClockUnit.h"
#include "ui/CodeUnit.h"
#include "ui/ConfigureUnit.h"
#include "ui/DebugUnit.h"
#include "ui/DeviceUnit.h"
#include "ui/EditorUnit.h"
#include "ui/FindReplaceUnit.h"
#include "ui/HelpUnit.h"
#include "ui/IRCUnit.h"
#include "ui/PrintStatusUnit.h"
#include "ui/PrintUnit.h"
#include "ui/ProgressUnit.h"
#include "ui/RegisterUnit.h"
#include "ui/SXCUnit.h"
#include "ui/WatchUnit.h"

namespace korvid {

namespace {
using K = FormKind;
constexpr FormKind kOrder28l[kFormCount] = {
    K::Editor, K::FindReplace, K::Device, K::Progress, K::Register, K::About, K::Watch, K::Code,
    K::Debug, K::Print, K::PrintStatus, K::Clock, K::Configure, K::Help, K::IRC, K::SXC,
};
constexpr FormKind kOrder52[kFormCount] = {
    K::Editor, K::FindReplace, K::Device, K::Progress, K::Register, K::About, K::Watch, K::Code,
    K::Debug, K::Print, K::PrintStatus, K::Clock, K::Help, K::IRC, K::SXC, K::Configure,
};

// The non-main windows never end the program when they close.
template <typename T>
T* Secondary(T* form) {
    form->setAttribute(Qt::WA_QuitOnClose, false);
    return form;
}
}  // namespace

const FormKind* CreationOrder(const Family& family) { return family.is52() ? kOrder52 : kOrder28l; }

TEditorForm* CreateForms(Shell& shell, const QStringList& arguments) {
    for (int i = 0; i < kFormCount; ++i) {
        switch (CreationOrder(shell.family)[i]) {
            case K::Editor: shell.editor = new TEditorForm(shell, arguments); break;
            case K::FindReplace: shell.findReplace = Secondary(new TFindReplaceForm(shell)); break;
            case K::Device: shell.deviceForm = Secondary(new TDeviceForm(shell)); break;
            case K::Progress: shell.progress = Secondary(new TProgressForm(shell)); break;
            case K::Register: shell.registers = Secondary(new TRegisterForm(shell)); break;
            case K::About: shell.about = Secondary(new TAboutForm(shell)); break;
            case K::Watch: shell.watch = Secondary(new TWatchForm(shell)); break;
            case K::Code: shell.code = Secondary(new TCodeForm(shell)); break;
            case K::Debug: shell.debug = Secondary(new TDebugForm(shell)); break;
            case K::Print: shell.print = Secondary(new TPrintForm(shell)); break;
            case K::PrintStatus: shell.printStatus = Secondary(new TPrintStatusForm(shell)); break;
            case K::Clock: shell.clock = Secondary(new TClockForm(shell)); break;
            case K::Configure: shell.configure = Secondary(new TConfigureForm(shell)); break;
            case K::Help: shell.help = Secondary(new THelpForm(shell)); break;
            case K::IRC: shell.ircForm = Secondary(new TIRCForm(shell)); break;
            case K::SXC: shell.sxc = Secondary(new TSXCForm(shell)); break;
        }
    }
    // The debugger windows follow the debug session, not each other.
    shell.debug->Attach(DebugViews::Registers, shell.registers);
    shell.debug->Attach(DebugViews::Code, shell.code);
    shell.debug->Attach(DebugViews::Watch, shell.watch);
    return shell.editor;
}

void DestroyForms(Shell& shell) {
    // The reverse of the 28L build's creation order in both builds (the 52
    // build creates Configure last; it is deleted here among the others),
    // the main window last, then every pointer cleared.
    delete shell.sxc;
    delete shell.ircForm;
    delete shell.help;
    delete shell.configure;
    delete shell.clock;
    delete shell.printStatus;
    delete shell.print;
    delete shell.debug;
    delete shell.code;
    delete shell.watch;
    delete shell.about;
    delete shell.registers;
    delete shell.progress;
    delete shell.deviceForm;
    delete shell.findReplace;
    delete shell.editor;
    shell.sxc = nullptr;
    shell.ircForm = nullptr;
    shell.help = nullptr;
    shell.configure = nullptr;
    shell.clock = nullptr;
    shell.printStatus = nullptr;
    shell.print = nullptr;
    shell.debug = nullptr;
    shell.code = nullptr;
    shell.watch = nullptr;
    shell.about = nullptr;
    shell.registers = nullptr;
    shell.progress = nullptr;
    shell.deviceForm = nullptr;
    shell.findReplace = nullptr;
    shell.editor = nullptr;
}

int RunIde(int argc, char** argv, const Family& family) {
    QApplication app(argc, argv);
    QString title = QString::fromLatin1(family.title.data(), qsizetype(family.title.size()));
    QApplication::setApplicationName(title);
    QApplication::setApplicationDisplayName(QString());
    AssemblyState& state = InitCore(family);
    Shell shell(family, state, std::make_unique<PosixSerialDevice>());
    shell.assemble = [](AssemblyState& s) { Assemble(s); };
    shell.extendedDialectAccepts = ExtendedDialectAccepts;
    shell.otherFamilyAccepts = OtherFamilyAccepts;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    TEditorForm* editor = CreateForms(shell, arguments);
    editor->show();
    int status = app.exec();
    DestroyForms(shell);
    return status;
}

}  // namespace korvid
