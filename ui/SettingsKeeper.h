// The remembered settings of an IDE program: the Qt-free IdeSettings read
// from and written to an INI file in the user's configuration folder
// (QSettings), taken into the shell at start-up and gathered from it at
// exit, the windows' places, the recent files and last folder, and the
// breakpoint of each source file. Started with --defaults, it reads and
// writes nothing and every value is the built-in one.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "core/link/DebugController.h"
#include "model/IdeSettings.h"
#include "ui/Shell.h"

namespace korvid {

class SettingsKeeper : public QObject, private DebugObserver {
public:
    // `remember` false: the built-in values, no file read or written.
    SettingsKeeper(Shell& shell, const QString& program, bool remember);
    ~SettingsKeeper() override;

    // What could not be read, one note a value ("" when all was well).
    const QStringList& Notes() const { return notes_; }
    // The INI file ("" with --defaults).
    QString FileName() const { return fileName_; }

    // The remembered port (unless the command line gave one), IRC mode,
    // dialect and clock into the shell.
    void ApplyTo(Shell& shell, bool portGiven);
    // Watches the windows (name, window) for their places: each one goes
    // to its remembered place when first shown, and its place (and whether
    // it is maximised) is kept at exit. WatchWindow adds one made later.
    void WatchWindows(std::vector<std::pair<QString, QWidget*>> windows);
    void WatchWindow(const QString& name, QWidget* window);
    // Puts `window` at its remembered place if that lies on a screen.
    bool RestorePlace(QWidget* window);

    // A source file was opened or saved: the first recent file, and the
    // folder where the open and save dialogs start for a new text.
    void FileUsed(const QString& path);
    QStringList RecentFiles() const;
    QString LastFolder() const;
    int TextSize() const { return int(values_.Number(Setting::TextSize)); }
    void SetTextSize(int size) { values_.SetNumber(Setting::TextSize, size); }

    // Where the text left unsaved by a forced quit was kept: said in a
    // note at the next start.
    void UnsavedTextKept(const QString& path);

    // The source file the editor holds ("" when untitled): the breakpoint
    // of each file is kept under its name.
    std::function<QString()> currentFile;
    // After an assembly of the current file without a BREAK of its own,
    // the remembered breakpoint line becomes its break address.
    void AfterAssembly(AssemblyState& state);

    // Gathers the shell's values and writes the file. False with `error`
    // when writing failed; nothing happens with --defaults.
    bool Store(Shell& shell, QString& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Idle() override;  // a breakpoint change of the debug session

    Shell& shell_;
    bool remember_;
    bool unreadable_ = false;  // the file was there but could not be read
    QString fileName_;
    QStringList notes_;
    IdeSettings values_;
    std::vector<std::pair<QString, QWidget*>> windows_;
    std::set<QWidget*> shown_;
};

}  // namespace korvid
