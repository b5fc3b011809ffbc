#include "ui/Application.h"

#include <QApplication>
#include <cstdio>
#include <array>
#include <type_traits>

#include "core/asm/Assembler.h"
#include "platform/SerialPorts.h"
#include "ui/AboutUnit.h"
#include "ui/ClockUnit.h"
#include "ui/CodeUnit.h"
#include "ui/ConfigureUnit.h"
#include "ui/DebugUnit.h"
#include "ui/DeviceUnit.h"
#include "ui/EditorUnit.h"
#include "ui/FindReplaceUnit.h"
#include "ui/GuideUnit.h"
#include "ui/HelpUnit.h"
#include "ui/IRCUnit.h"
#include "ui/PrintStatusUnit.h"
#include "ui/PrintUnit.h"
#include "ui/QuitSignals.h"
#include "ui/ProgressUnit.h"
#include "ui/RegisterUnit.h"
#include "ui/SXCUnit.h"
#include "ui/SettingsKeeper.h"
#include "ui/WatchUnit.h"
#include "ui/WindowRoles.h"

namespace korvid {

namespace {
using K = FormKind;

// The 28L build creates the windows in the order of the list; the 52 build
// creates the Configure window last.
constexpr std::array<FormKind, kFormCount> kOrder28l = [] {
    std::array<FormKind, kFormCount> order{};
    for (int i = 0; i < kFormCount; ++i) order[static_cast<std::size_t>(i)] = static_cast<FormKind>(i);
    return order;
}();
constexpr std::array<FormKind, kFormCount> kOrder52 = [] {
    std::array<FormKind, kFormCount> order{};
    std::size_t n = 0;
    for (FormKind k : kOrder28l)
        if (k != K::Configure) order[n++] = k;
    order[n] = K::Configure;
    return order;
}();

// The main window takes the command line; the others never end the program
// when they close.
template <typename T>
T* MakeForm(Shell& shell, const QStringList& arguments) {
    if constexpr (std::is_same_v<T, TEditorForm>) {
        return new T(shell, arguments);
    } else {
        T* form = new T(shell);
        form->setAttribute(Qt::WA_QuitOnClose, false);
        return form;
    }
}
}  // namespace

const FormKind* CreationOrder(const Family& family) { return family.is52() ? kOrder52.data() : kOrder28l.data(); }

TEditorForm* CreateForms(Shell& shell, const QStringList& arguments) {
    for (int i = 0; i < kFormCount; ++i) {
        switch (CreationOrder(shell.family)[i]) {
#define KORVID_CREATE_WINDOW(kind, type, member) \
    case K::kind: shell.member = MakeForm<type>(shell, arguments); break;
            KORVID_WINDOWS(KORVID_CREATE_WINDOW)
#undef KORVID_CREATE_WINDOW
        }
    }
    // The debugger windows follow the debug session, not each other.
    shell.debugger.Attach(DebugController::Registers, shell.registers);
    shell.debugger.Attach(DebugController::Code, shell.code);
    shell.debugger.Attach(DebugController::Watch, shell.watch);
    // The SXC start of the main window loads through the SXC loader.
    shell.editor->SXCLoad = [sxc = shell.sxc](const QString& baseName) { sxc->SXCLoad(baseName); };
    return shell.editor;
}

// ---- what the windows ask of one another ----------------------------------------

EditorRole* RoleOf(TEditorForm* window) { return window; }
DebugRole* RoleOf(TDebugForm* window) { return window; }
DeviceRole* RoleOf(TDeviceForm* window) { return window; }
FindRole* RoleOf(TFindReplaceForm* window) { return window; }
PrintRole* RoleOf(TPrintForm* window) { return window; }
PrintStatusRole* RoleOf(TPrintStatusForm* window) { return window; }

QFont CurrentEditorFont(const Shell& shell) {
    if (shell.editor) return shell.editor->EditorFont();
    return QFont(QStringLiteral("Courier New"), kDefaultTextSize);
}

LinkObserver& ProgressOf(const Shell& shell) {
    if (shell.progress) return *shell.progress;
    return NoLinkObserver();
}

#define KORVID_WINDOW_WIDGET(kind, type, member) \
    QWidget* WindowOf(type* window) { return window; }
KORVID_WINDOWS(KORVID_WINDOW_WIDGET)
#undef KORVID_WINDOW_WIDGET

void ShowWindow(QWidget* window) {
    if (!window) return;
    window->show();
    window->raise();
}

void ExecDialog(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->exec();
}

QWidget* CreateGuideWindow(Shell& shell, QWidget* parent) {
    auto* guide = new TGuideForm(parent);
    if (shell.settings) shell.settings->WatchWindow(QStringLiteral("Guide"), guide);
    return guide;
}

void DestroyForms(Shell& shell) {
    // The reverse of the 28L build's creation order in both builds (the 52
    // build creates Configure last; it is deleted here among the others),
    // the main window last, then every pointer cleared.
    for (int i = kFormCount - 1; i >= 0; --i) {
        switch (kOrder28l[static_cast<std::size_t>(i)]) {
#define KORVID_DELETE_WINDOW(kind, type, member) \
    case K::kind: delete shell.member; break;
            KORVID_WINDOWS(KORVID_DELETE_WINDOW)
#undef KORVID_DELETE_WINDOW
        }
    }
#define KORVID_CLEAR_WINDOW(kind, type, member) shell.member = nullptr;
    KORVID_WINDOWS(KORVID_CLEAR_WINDOW)
#undef KORVID_CLEAR_WINDOW
}

int RunIde(int argc, char** argv, const Family& family) {
    QApplication app(argc, argv);
    QString title = QString::fromLatin1(family.title.data(), qsizetype(family.title.size()));
    QApplication::setApplicationName(title);
    QApplication::setApplicationDisplayName(QString());
    AssemblyState& state = InitCore(family);
    Shell shell(family, state, MakeSerialDevice());
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    // --defaults: the built-in settings, and none stored at the end.
    SettingsKeeper settings(shell, title, !arguments.contains(QStringLiteral("--defaults")));
    shell.settings = &settings;
    shell.assemble = [&settings](AssemblyState& s) {
        Assemble(s);
        settings.AfterAssembly(s);
    };
    shell.extendedDialectAccepts = ExtendedDialectAccepts;
    shell.otherFamilyAccepts = OtherFamilyAccepts;
    TEditorForm* editor = CreateForms(shell, arguments);
    settings.ApplyTo(shell, editor->PortGiven);
    settings.currentFile = [editor] { return editor->SourceFile(); };
    std::vector<std::pair<QString, QWidget*>> windows;
#define KORVID_NAME_WINDOW(kind, type, member) windows.emplace_back(QStringLiteral(#kind), shell.member);
    KORVID_WINDOWS(KORVID_NAME_WINDOW)
#undef KORVID_NAME_WINDOW
    settings.WatchWindows(std::move(windows));
    editor->show();
    // A settings file that could not be read, or values of it that made no
    // sense: said on stderr and, the first of them, in the status bar.
    for (const QString& note : settings.Notes()) std::fprintf(stderr, "%s\n", qPrintable(note));
    if (!settings.Notes().isEmpty()) editor->ShowHint(settings.Notes().first());
    // Ctrl+C in the terminal closes the program as File > Exit does, asking
    // about unsaved text; a second signal while it asks, or SIGTERM and
    // SIGHUP (a logout, `kill`: maybe no one there to answer), quit at once
    // and keep unsaved text in a file of its own. The settings are stored
    // in every case.
    bool asking = false;
    QuitSignals quitSignals([&](const QuitRequest& request) {
        if (request.interrupt && !asking) {
            asking = true;
            editor->close();
            asking = false;
            return;
        }
        QString error, kept;
        try {
            kept = editor->KeepUnsavedText(error);
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        }
        if (!kept.isEmpty()) {
            std::fprintf(stderr, "%s: the unsaved text was kept in %s\n", qPrintable(title), qPrintable(kept));
            settings.UnsavedTextKept(kept);
        }
        if (!error.isEmpty())
            std::fprintf(stderr, "%s: the unsaved text could not be kept: %s\n", qPrintable(title), qPrintable(error));
        QCoreApplication::exit(request.exitStatus);
    });
    int status = app.exec();
    if (QString error; !settings.Store(shell, error))
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(error));
    DestroyForms(shell);
    shell.settings = nullptr;
    return status;
}

}  // namespace korvid
