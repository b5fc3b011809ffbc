#include "ui/SettingsKeeper.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "core/asm/Dialect.h"
#include "ui/WindowFit.h"

namespace korvid {

namespace {
std::string ToStore(const QString& text) { return text.toUtf8().toStdString(); }
QString FromStore(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

std::vector<WindowPlace> Screens() {
    std::vector<WindowPlace> screens;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect r = s->availableGeometry();
        screens.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    return screens;
}

// The frame `window` has or will get: its own once the window manager has
// framed it, else the largest of the windows already framed, else one of
// about a title bar in the application's bold font, thin borders and a
// grip at the bottom.
WindowFrame FrameOf(const QWidget* window) {
    QMargins m = FrameMargins({window});
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (m.isNull()) m = FrameMargins({other});
    if (m.isNull()) {
        QFont title = QApplication::font();
        title.setBold(true);
        const int border = 4;
        m = QMargins(border, QFontMetrics(title).height() + 2 * border, border, 2 * border);
    }
    return {m.left(), m.top(), m.right(), m.bottom()};
}
}  // namespace

SettingsKeeper::SettingsKeeper(Shell& shell, const QString& program, bool remember)
    : shell_(shell), remember_(remember) {
    shell_.debugger.AddObserver(this);
    if (!remember_) return;
    QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("korvid"), program);
    fileName_ = file.fileName();
    const QFileInfo info(fileName_);
    if (info.exists() && (info.isDir() || !info.isReadable())) {
        // Its owner may still want it: it is neither read nor replaced.
        unreadable_ = true;
        notes_ << QStringLiteral("Settings: %1 cannot be read; the built-in settings are used").arg(fileName_);
        return;
    }
    if (file.status() == QSettings::FormatError)
        notes_ << QStringLiteral("Settings: %1 is not a valid settings file; its sound values are used").arg(fileName_);
    SettingsStore store;
    for (const QString& key : file.allKeys()) {
        const QVariant value = file.value(key);
        // A value written as a list ("a, b") is no value of ours; it is
        // passed on as its text so that it gets its note.
        store[ToStore(key)] = ToStore(
            value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(',')) : value.toString());
    }
    for (const std::string& note : values_.Load(store)) notes_ << QStringLiteral("Settings: ") + FromStore(note);
    // Said once, first.
    if (const std::string& kept = values_.Text(Setting::UnsavedCopy); !kept.empty()) {
        notes_.prepend(QStringLiteral("The unsaved text of the last run was kept in %1").arg(FromStore(kept)));
        values_.SetText(Setting::UnsavedCopy, {});
    }
}

SettingsKeeper::~SettingsKeeper() { shell_.debugger.RemoveObserver(this); }

void SettingsKeeper::ApplyTo(Shell& shell, bool portGiven) {
    if (!portGiven) shell.link.PortName = values_.Text(Setting::Port);
    shell.irc.mode = IrcMode(values_.Number(Setting::IrcMode));
    shell.state.dialect = Dialect(values_.Number(Setting::Dialect));
    shell.state.ClockFrequency = std::uint32_t(values_.Number(Setting::Clock));
}

void SettingsKeeper::WatchWindows(std::vector<std::pair<QString, QWidget*>> windows) {
    for (auto& [name, window] : windows) WatchWindow(name, window);
}

void SettingsKeeper::WatchWindow(const QString& name, QWidget* window) {
    windows_.emplace_back(name, window);
    if (window) window->installEventFilter(this);
}

void SettingsKeeper::UnsavedTextKept(const QString& path) { values_.SetText(Setting::UnsavedCopy, ToStore(path)); }

bool SettingsKeeper::RestorePlace(QWidget* window) {
    for (auto& [name, w] : windows_) {
        if (w != window) continue;
        auto place = values_.Place(ToStore(name));
        const std::optional<WindowPlace> screen = place ? ScreenOfPlace(*place, Screens()) : std::nullopt;
        if (!screen) return false;
        // The screen may be smaller than the one the place was left on.
        const QSize least = window->minimumSize().expandedTo(window->minimumSizeHint());
        place = FitPlace(*place, *screen, FrameOf(window), least.width(), least.height());
        window->setGeometry(place->x, place->y, place->width, place->height);
        if (place->maximised) window->setWindowState(window->windowState() | Qt::WindowMaximized);
        return true;
    }
    return false;
}

bool SettingsKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && !event->spontaneous()) {
        QWidget* window = static_cast<QWidget*>(watched);
        if (shown_.insert(window).second) {
            // After the window's own placing (the first debug layout, a
            // centred box), which runs while it is being shown.
            QTimer::singleShot(0, window, [this, window] { RestorePlace(window); });
        }
    }
    return QObject::eventFilter(watched, event);
}

void SettingsKeeper::FileUsed(const QString& path) {
    const QFileInfo info(path);
    values_.AddRecentFile(ToStore(info.absoluteFilePath()));
    values_.SetText(Setting::LastFolder, ToStore(info.absolutePath()));
}

QStringList SettingsKeeper::RecentFiles() const {
    QStringList files;
    for (const std::string& f : values_.RecentFiles()) files << FromStore(f);
    return files;
}

QString SettingsKeeper::LastFolder() const { return FromStore(values_.Text(Setting::LastFolder)); }

void SettingsKeeper::AfterAssembly(AssemblyState& state) {
    const QString file = currentFile ? currentFile() : QString();
    if (file.isEmpty() || state.ErrorFlag || state.BreakAddress != kNoBreak) return;
    if (auto line = values_.BreakpointLine(ToStore(file)))
        if (auto address = AddressOfSourceLine(state, *line)) state.BreakAddress = *address;
}

void SettingsKeeper::Idle() {
    const QString file = currentFile ? currentFile() : QString();
    if (file.isEmpty()) return;
    const std::uint32_t breakpoint = shell_.debugger.Session.State.Breakpoint;
    values_.SetBreakpointLine(
        ToStore(file), breakpoint == kNoBreakpoint ? std::nullopt : SourceLineOfAddress(shell_.state, breakpoint));
}

bool SettingsKeeper::Store(Shell& shell, QString& error) {
    if (!remember_) return true;
    if (unreadable_) {
        error = QStringLiteral("the settings were not saved: %1 could not be read").arg(fileName_);
        return false;
    }
    values_.SetText(Setting::Port, shell.link.PortName);
    values_.SetNumber(Setting::IrcMode, std::int64_t(shell.irc.mode));
    values_.SetNumber(Setting::Dialect, std::int64_t(shell.state.dialect));
    values_.SetNumber(Setting::Clock, shell.state.ClockFrequency);
    for (auto& [name, window] : windows_) {
        if (!window || !shown_.count(window)) continue;
        const QRect r = window->isMaximized() || window->isMinimized() ? window->normalGeometry() : window->geometry();
        values_.SetPlace(ToStore(name), {r.x(), r.y(), r.width(), r.height(), window->isMaximized()});
    }
    QSettings file(fileName_, QSettings::IniFormat);
    file.clear();
    for (const auto& [key, value] : values_.Save()) file.setValue(FromStore(key), FromStore(value));
    file.sync();
    if (file.status() == QSettings::NoError) return true;
    error = QStringLiteral("the settings could not be saved to %1").arg(fileName_);
    return false;
}

}  // namespace korvid
