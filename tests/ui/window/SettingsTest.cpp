// The remembered settings on a real INI file in a private configuration
// folder: files that cannot be read or hold nonsense, File > Recent Files,
// the folder of the open dialog for a new text and the breakpoint of a file.
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "WindowSupport.h"
#include "core/asm/Assembler.h"
#include "ui/SettingsKeeper.h"

using namespace korvid;
using namespace korvid::test;

class SettingsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString Ini() const { return dir_.filePath(QStringLiteral("config/korvid/Korvid28L.ini")); }

private slots:
    void init() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.filePath(QStringLiteral("config")));
        QDir(dir_.filePath(QStringLiteral("config"))).removeRecursively();
        QDir().mkpath(dir_.filePath(QStringLiteral("config/korvid")));
    }

    // Where a forced quit kept unsaved text is said once, first, at the
    // next start, and not again after that.
    void keptUnsavedTextIsNotedOnce() {
        TestIde ide(Sx28lFamily(), {}, false);
        QString error;
        {
            SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), true);
            keeper.UnsavedTextKept(QStringLiteral("/home/ann/.local/share/korvid/unsaved/a-20261208-230000.src"));
            QVERIFY(keeper.Store(*ide.shell, error));
        }
        WriteAll(Ini(), ReadAll(Ini()) + "[Bogus]\nx=1\n");  // and a note of its own
        {
            SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), true);
            QCOMPARE(keeper.Notes().size(), 2);
            QCOMPARE(keeper.Notes().first(), QStringLiteral("The unsaved text of the last run was kept in "
                                                            "/home/ann/.local/share/korvid/unsaved/a-20261208-230000.src"));
            QVERIFY(keeper.Store(*ide.shell, error));
        }
        SettingsKeeper again(*ide.shell, QStringLiteral("Korvid28L"), true);
        QVERIFY2(again.Notes().isEmpty(), qPrintable(again.Notes().join('\n')));
    }

    void unusableFilesAreIgnored_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("noted");
        QTest::addColumn<bool>("ircTaken");
        QByteArray binary(3000, '\0');
        for (int i = 0; i < binary.size(); ++i) binary[i] = char(i * 131 + (i >> 3));
        QTest::newRow("binary") << binary << false << true << false;
        QTest::newRow("wrong values") << QByteArray(
                                             "[Editor]\nTextSize=huge\n[Clock]\nFrequency=1,2\n[Windows]\n"
                                             "Editor=0 0 -5 9\n[Link]\nIrcMode=4mhz\n")
                                      << false << true << true;
        QTest::newRow("a folder") << QByteArray() << true << true << false;
    }
    void unusableFilesAreIgnored() {
        QFETCH(QByteArray, content);
        QFETCH(bool, folder);
        QFETCH(bool, noted);
        QFETCH(bool, ircTaken);
        if (folder)
            QVERIFY(QDir().mkpath(Ini()));
        else
            WriteAll(Ini(), content);
        TestIde ide(Sx28lFamily(), {}, false);
        {
            SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), true);
            QCOMPARE(keeper.FileName(), Ini());
            QCOMPARE(!keeper.Notes().isEmpty(), noted);
            for (const QString& note : keeper.Notes())
                QVERIFY2(note.startsWith(QStringLiteral("Settings: ")), qPrintable(note));
            // Nonsense values keep the built-in ones; sound ones are taken.
            QCOMPARE(keeper.TextSize(), kDefaultTextSize);
            keeper.ApplyTo(*ide.shell, false);
            QCOMPARE(ide.state->ClockFrequency, kDefaultClockFrequency);
            QCOMPARE(ide.shell->irc.mode, ircTaken ? IrcMode::FourMhz : IrcMode::Slowest);
            ide.shell->state.ClockFrequency = 4000000;
            QString error;
            QCOMPARE(keeper.Store(*ide.shell, error), !folder);
            if (folder) {
                QVERIFY(error.contains(Ini()));
                QVERIFY(QFileInfo(Ini()).isDir());
                return;
            }
        }
        // What was written reads back without a note.
        SettingsKeeper again(*ide.shell, QStringLiteral("Korvid28L"), true);
        QVERIFY2(again.Notes().isEmpty(), qPrintable(again.Notes().join('\n')));
        ide.shell->state.ClockFrequency = 0;
        again.ApplyTo(*ide.shell, false);
        QCOMPARE(ide.state->ClockFrequency, 4000000u);
    }

    void defaultsReadAndWriteNothing() {
        WriteAll(Ini(), "[Editor]\nTextSize=20\n");
        TestIde ide(Sx28lFamily(), {}, false);
        SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), false);
        QCOMPARE(keeper.TextSize(), kDefaultTextSize);
        keeper.SetTextSize(30);
        QString error;
        QVERIFY(keeper.Store(*ide.shell, error));
        QCOMPARE(ReadAll(Ini()), QByteArray("[Editor]\nTextSize=20\n"));
    }

    // File > Recent Files: numbered, the file gone disabled, the chosen one
    // opened and then first; a new text's dialogs start in the last folder.
    void recentFilesAndLastFolder() {
        QDir().mkpath(Path("work"));
        WriteAll(Path("work/one.src"), "one\r\n");
        WriteAll(Path("work/a&b.src"), "ab\r\n");
        WriteAll(Ini(), QStringLiteral("[RecentFiles]\n1=%1\n2=%2\n3=%3\n[Editor]\nTextSize=14\nLastFolder=%4\n")
                            .arg(Path("work/one.src"), Path("gone.src"), Path("work/a&b.src"), Path("work"))
                            .toUtf8());
        TestIde ide(Sx28lFamily(), {}, false);
        SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), true);
        QVERIFY(keeper.Notes().isEmpty());
        ide.shell->settings = &keeper;
        ide.editor().show();
        QCOMPARE(ide.view().EditorFontSize, 14);
        ide.editor().PointDialogAtFile(*ide.editor().OpenDialog);
        QCOMPARE(ide.editor().OpenDialog->directory().absolutePath(), Path("work"));
        QMenu* recent = ide.editor().RecentMenu;
        emit recent->aboutToShow();
        QList<QAction*> items = recent->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QStringLiteral("&1 ") + Path("work/one.src"));
        QCOMPARE(items[2]->text(), QStringLiteral("&3 ") + Path("work/a&&b.src"));
        QVERIFY(items[0]->isEnabled());
        QVERIFY(!items[1]->isEnabled());
        items[2]->trigger();
        QCOMPARE(ide.editor().windowTitle(), QStringLiteral("a&b.src - Korvid28L"));
        emit recent->aboutToShow();
        QCOMPARE(recent->actions()[0]->text(), QStringLiteral("&1 ") + Path("work/a&&b.src"));
        QCOMPARE(recent->actions()[1]->text(), QStringLiteral("&2 ") + Path("work/one.src"));
        ide.shell->settings = nullptr;
    }

    // The breakpoint set in a debug session is kept under the file's name
    // and, by its line, becomes the break address of the next assembly.
    void breakpointOfAFile() {
        const QString file = Path("blink.src");
        WriteAll(file, "\tDEVICE SX28L, OSCHS2\r\n\tRESET start\r\nstart\tNOP\r\n\tNOP\r\nloop\tJMP loop\r\n");
        TestIde ide(Sx28lFamily(), {file}, false, true);
        {
            SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), true);
            keeper.currentFile = [&] { return ide.editor().SourceFile(); };
            ide.editor().LoadFile(file);
            ide.editor().AssembleSource();
            QCOMPARE(ide.state->ErrorFlag, 0);
            auto address = AddressOfSourceLine(*ide.state, 4);
            QVERIFY(address);
            ide.shell->debugger.Begin();
            ide.shell->debugger.Session.ToggleBreakpoint(*address);
            QString error;
            QVERIFY(keeper.Store(*ide.shell, error));
        }
        SettingsKeeper keeper(*ide.shell, QStringLiteral("Korvid28L"), true);
        keeper.currentFile = [&] { return ide.editor().SourceFile(); };
        ide.editor().AssembleSource();
        QCOMPARE(ide.state->BreakAddress, kNoBreak);
        keeper.AfterAssembly(*ide.state);
        QCOMPARE(std::optional<int>(SourceLineOfAddress(*ide.state, ide.state->BreakAddress)), std::optional<int>(4));
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
