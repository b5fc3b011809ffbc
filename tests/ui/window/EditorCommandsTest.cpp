// Main-window commands: captions and hints, the command line, files and their
// questions, drag and drop, clipboard, find and replace, the list toggle,
// Help and About.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "WindowSupport.h"
#include "ui/AboutUnit.h"
#include "ui/CommandGuard.h"
#include "ui/FindReplaceUnit.h"
#include "ui/GuideUnit.h"
#include "ui/HelpUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {
}  // namespace

class EditorCommandsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void captionsAndHints_data() {
        FamilyRows();
    }
    void captionsAndHints() {
        QFETCH(int, family);
        TestIde ide(FamilyByIndex(family));
        const QString title = family ? "Korvid52" : "Korvid28L";
        QCOMPARE(ide.editor().windowTitle(), "Untitled.SRC - " + title);
        ide.editor().SetFileName("/some/folder/blink.src");
        QCOMPARE(ide.editor().windowTitle(), "blink.src - " + title);
        // Every menu hint reaches the status bar.
        ide.editor().Item("RunProgramItem")->showStatusText(ide.editor().menuBar());
        QCOMPARE(ide.editor().StatusText(), QString("Assemble source + Program device"));
        ide.editor().Item("HelpContentsItem")->showStatusText(ide.editor().menuBar());
        QCOMPARE(ide.editor().StatusText(), QString());
        // The hints of the other windows' controls come here too.
        QStatusTipEvent tip("Show the copyright window");
        QApplication::sendEvent(ide.shell->findReplace->FindButton, &tip);
        QCOMPARE(ide.editor().StatusText(), QString("Show the copyright window"));
    }

    void menuLayout() {
        TestIde ide(Sx28lFamily());
        QStringList file;
        for (QAction* a : ide.editor().FileMenu->actions()) file << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(file, QStringList({"&New", "&Open...", "&Save", "Save &As...", "-", "&List Toggle", "-",
                                    "&Print...", "-", "Recent &Files", "-", "E&xit"}));
        QCOMPARE(ide.editor().Item("RunDebugAgainItem")->shortcut(), QKeySequence("Ctrl+Alt+D"));
        QCOMPARE(ide.editor().Item("EditTextBiggerItem")->shortcut(), QKeySequence("Ctrl+Up"));
        QCOMPARE(ide.editor().Item("EditFindItem")->shortcut(), QKeySequence("F3"));
        QCOMPARE(ide.editor().Item("FileNewItem")->shortcut(), QKeySequence());
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("sxc");
        QTest::addColumn<QString>("port");
        QTest::newRow("no extension") << QStringList{"blink"} << "blink.src" << false << "COM1";
        QTest::newRow("own extension") << QStringList{"blink.asm"} << "blink.asm" << false << "COM1";
        QTest::newRow("port and file") << QStringList{"/3", "a.src"} << "a.src" << false << "COM3";
        QTest::newRow("dash port") << QStringList{"-4"} << "" << false << "COM4";
        QTest::newRow("two files") << QStringList{"one.src", "two.src"} << "two.src" << false << "COM1";
        QTest::newRow("sxc lower case") << QStringList{"/b", "prog"} << "prog" << true << "COM1";
        QTest::newRow("sxc dash") << QStringList{"-B", "prog"} << "prog" << true << "COM1";
        QTest::newRow("absolute path") << QStringList{"/home/user/blink"} << "/home/user/blink.src" << false
                                       << "COM1";
        QTest::newRow("unknown switches") << QStringList{"/x", "/5", "/9z"} << "" << false << "COM1";
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(bool, sxc);
        QFETCH(QString, port);
        TestIde ide(Sx28lFamily(), args, false);
        QCOMPARE(ide.editor().CommandLineFile, file);
        QCOMPARE(ide.editor().SxcMode, sxc);
        QCOMPARE(QString::fromStdString(ide.shell->link.PortName), port);
    }

    void startupLoadsTheCommandLineFile() {
        WriteAll(Path("start.src"), "nop\r\n");
        {
            TestIde ide(Sx28lFamily(), {Path("start")});
            QCOMPARE(QByteArray::fromStdString(ide.text().Text()), QByteArray("nop\r"));
            QCOMPARE(ide.editor().windowTitle(), QString("start.src - Korvid28L"));
            // The middle half of the screen's width, three quarters of its height.
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            QCOMPARE(ide.editor().geometry(), QRect(screen.width() / 4, screen.height() / 8, screen.width() / 2,
                                                    screen.height() * 3 / 4));
        }
        TestIde missing(Sx28lFamily(), {Path("absent.src")});
        QCOMPARE(missing.editor().windowTitle(), QString("Untitled.SRC - Korvid28L"));
        QCOMPARE(missing.text().length, 0);
    }

    void saveAndOverwriteQuestions() {
        TestIde ide(Sx28lFamily());
        ModalDriver driver;
        ide.SetText("a\rb");
        ide.text().modified = 1;
        // Save on a new text asks for a name.
        driver.File(ide.editor(), Path("first.src"));
        ide.editor().Item("FileSaveItem")->trigger();
        QCOMPARE(ReadAll(Path("first.src")), QByteArray("a\r\nb"));
        QCOMPARE(ide.editor().windowTitle(), QString("first.src - Korvid28L"));
        QCOMPARE(ide.text().modified, std::uint8_t(0));
        // Save on a named file writes without asking.
        QTest::keyClicks(ide.editor().View, "x");
        ide.editor().Item("FileSaveItem")->trigger();
        QCOMPARE(driver.Pending(), 0);
        QCOMPARE(ReadAll(Path("first.src")), QByteArray("xa\r\nb"));
        // Save As over an existing file: anything but Yes keeps it.
        WriteAll(Path("other.src"), "keep");
        driver.File(ide.editor(), Path("other.src"));
        driver.Box(QMessageBox::No);
        ide.editor().Item("FileSaveAsItem")->trigger();
        QCOMPARE(driver.texts.value(0), "OK to overwrite " + Path("other.src"));
        QCOMPARE(ReadAll(Path("other.src")), QByteArray("keep"));
        QCOMPARE(ide.editor().windowTitle(), QString("first.src - Korvid28L"));
        driver.File(ide.editor(), Path("other.src"));
        driver.Box(QMessageBox::Yes);
        ide.editor().Item("FileSaveAsItem")->trigger();
        QCOMPARE(ReadAll(Path("other.src")), QByteArray("xa\r\nb"));
        QCOMPARE(ide.editor().windowTitle(), QString("other.src - Korvid28L"));
        QCOMPARE(driver.dialogTitles, QStringList({"Save Source", "Save Source", "Save Source"}));
        // The dialogs start in the current file's folder.
        QCOMPARE(QDir(ide.editor().SaveDialog->directory()).absolutePath(), QDir(dir.path()).absolutePath());
        // Open asks with its own dialog.
        driver.File(ide.editor(), Path("first.src"));
        ide.editor().Item("FileOpenItem")->trigger();
        QCOMPARE(driver.dialogTitles.last(), QString("Open Source"));
        QCOMPARE(QByteArray::fromStdString(ide.text().Text()), QByteArray("xa\rb"));
    }

    void closeQuestion() {
        QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        {
            TestIde ide(Sx28lFamily());
            ModalDriver driver;
            QTest::keyClicks(ide.editor().View, "abc");
            driver.Box(QMessageBox::Cancel);
            QVERIFY(!ide.editor().close());
            QCOMPARE(driver.texts.value(0), QString("Save changes to Untitled.SRC"));
            QCOMPARE(driver.buttons.value(0).size(), 3);
            QVERIFY(ide.editor().isVisible());
            QCOMPARE(QByteArray::fromStdString(ide.text().Text()), QByteArray("abc"));
            // Yes on a new text asks for a name, as Save does: a cancelled
            // name keeps the window and writes nothing where the program
            // was started.
            driver.Box(QMessageBox::Yes);
            driver.File(ide.editor(), QString());
            QVERIFY(!ide.editor().close());
            QVERIFY(!QFileInfo::exists(dir.filePath("Untitled.SRC")));
            QCOMPARE(driver.dialogTitles, QStringList({"Save Source"}));
            QVERIFY(ide.editor().isVisible());
            // The name chosen is where it is written.
            driver.Box(QMessageBox::Yes);
            driver.File(ide.editor(), dir.filePath("Untitled.SRC"));
            QVERIFY(ide.editor().close());
            QCOMPARE(ReadAll(dir.filePath("Untitled.SRC")), QByteArray("abc"));
        }
        {
            // An earlier session's Untitled.SRC is not replaced without a word.
            WriteAll(dir.filePath("Untitled.SRC"), "earlier");
            TestIde ide(Sx28lFamily());
            ModalDriver driver;
            QTest::keyClicks(ide.editor().View, "new");
            driver.Box(QMessageBox::Yes);
            driver.File(ide.editor(), dir.filePath("Untitled.SRC"));
            driver.Box(QMessageBox::No);
            QVERIFY(!ide.editor().close());
            QCOMPARE(driver.texts.value(1), "OK to overwrite " + dir.filePath("Untitled.SRC"));
            QCOMPARE(ReadAll(dir.filePath("Untitled.SRC")), QByteArray("earlier"));
            driver.Box(QMessageBox::No);
            QVERIFY(ide.editor().close());
        }
        {
            TestIde ide(Sx28lFamily());
            ModalDriver driver;
            QTest::keyClicks(ide.editor().View, "zz");
            driver.Box(QMessageBox::No);
            QVERIFY(ide.editor().close());
            QCOMPARE(driver.texts.size(), 1);
        }
        QDir::setCurrent(old);
    }

    void failedLoadIsNamedUntitled() {
        TestIde ide(Sx28lFamily());
        ModalDriver driver;
        WriteAll(Path("good.src"), "good\r\n");
        ide.editor().LoadFile(Path("good.src"));
        // A folder of the name cannot be read: an error, an empty untitled text.
        QDir(dir.path()).mkdir("folder.src");
        driver.Box(QMessageBox::Ok);
        RunGuarded(&ide.editor(), [&] { ide.editor().LoadFile(Path("folder.src")); });
        QCOMPARE(driver.texts.size(), 1);
        QCOMPARE(ide.editor().fileName, QString("Untitled.SRC"));
        QCOMPARE(ide.text().length, 0);
        // A file too large for the buffer is refused, the text kept.
        ide.editor().LoadFile(Path("good.src"));
        WriteAll(Path("big.src"), QByteArray(SourceCapacity + 10, 'x'));
        driver.Box(QMessageBox::Ok);
        RunGuarded(&ide.editor(), [&] { ide.editor().LoadFile(Path("big.src")); });
        QVERIFY(driver.texts.value(1).contains("too large"));
        QCOMPARE(QByteArray::fromStdString(ide.text().Text()), QByteArray("good\r"));
        QVERIFY(ide.editor().fileName.endsWith("good.src"));
    }

    void dropLoadsTheFirstFile() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        ModalDriver driver;
        WriteAll(Path("d1.src"), "one\r\n");
        WriteAll(Path("d2.src"), "two\r\n");
        ide.SetText("nop\r");
        ide.editor().Item("FileListToggleItem")->trigger();
        QCOMPARE(ide.text().listMode, std::uint8_t(1));
        QTest::keyClicks(ide.editor().View, "q");  // list mode: no change
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Path("d1.src")), QUrl::fromLocalFile(Path("d2.src"))});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&ide.editor(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&ide.editor(), &drop);
        QCOMPARE(ide.text().listMode, std::uint8_t(0));
        QCOMPARE(QByteArray::fromStdString(ide.text().Text()), QByteArray("one\r"));
        QCOMPARE(ide.editor().windowTitle(), QString("d1.src - Korvid28L"));
        // A modified text is asked about first; Cancel keeps it.
        QTest::keyClicks(ide.editor().View, "!");
        driver.Box(QMessageBox::Cancel);
        QApplication::sendEvent(&ide.editor(), &drop);
        QCOMPARE(QByteArray::fromStdString(ide.text().Text()), QByteArray("!one\r"));
    }

    void clipboard() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        QClipboard* cb = QGuiApplication::clipboard();
        cb->setText("untouched");
        SetMarked(ide, "|abc\rdef");
        ide.editor().Item("EditCopyItem")->trigger();
        QCOMPARE(cb->text(), QString("untouched"));  // nothing selected
        SetMarked(ide, "a^bc\rd|ef");
        ide.editor().Item("EditCopyItem")->trigger();
        QCOMPARE(cb->text(), QString("bc\r\nd"));
        QVERIFY(ide.text().HasSelection());  // stays until the next key
        cb->setText("x\r\ny\tz");
        ide.editor().Item("EditPasteItem")->trigger();
        QCOMPARE(Marked(ide.text()), std::string("ax\ry\tz|ef"));
        cb->setText("\np\nq");  // LF-only line ends of other programs
        ide.editor().Item("EditPasteItem")->trigger();
        QCOMPARE(Marked(ide.text()), std::string("ax\ry\tz\rp\rq|ef"));
        // Cut in list mode copies and clears the selection, deletes nothing.
        ide.SetText("nop\r");
        ide.editor().ToggleList();
        std::string listing = ide.text().Text();
        ide.text().anchor = 0;
        ide.text().caret = 3;
        ide.text().selectionState = 1;
        ide.editor().Item("EditCutItem")->trigger();
        QCOMPARE(cb->text(), QString::fromStdString(listing.substr(0, 3)));
        QCOMPARE(ide.text().Text(), listing);
        QVERIFY(!ide.text().HasSelection());
    }

    void findAndReplace() {
        TestIde ide(Sx28lFamily());
        ModalDriver driver;
        TFindReplaceForm& dialog = *ide.shell->findReplace;
        SetMarked(ide, "|x MOVLW y movlw");
        driver.Box(QMessageBox::Ok);
        ide.Shortcut(Qt::Key_F3);
        QCOMPARE(driver.texts.value(0), QString("Nothing to Find"));
        dialog.FindMemo->setPlainText("movlw");
        dialog.ReplaceMemo->setPlainText("mov");
        ide.Shortcut(Qt::Key_F3);
        QCOMPARE(QString::fromStdString(Marked(ide.text())), QString("x ^MOVLW| y movlw"));
        ide.Shortcut(Qt::Key_F4);
        QCOMPARE(Marked(ide.text()), std::string("x mov| y movlw"));
        driver.Box(QMessageBox::Ok);
        ide.Shortcut(Qt::Key_F4);
        QCOMPARE(driver.texts.value(1), QString("Nothing Selected"));
        ide.Shortcut(Qt::Key_F3);
        driver.Box(QMessageBox::Ok);
        ide.Shortcut(Qt::Key_F3);  // nothing behind: caret stays
        QCOMPARE(driver.texts.value(2), QString("Nothing Found"));
        QCOMPARE(Marked(ide.text()), std::string("x mov y ^movlw|"));
    }

    void findReplaceDialog() {
        TestIde ide(Sx28lFamily());
        ModalDriver driver;
        TFindReplaceForm& dialog = *ide.shell->findReplace;
        // Opens Find/Replace with Ctrl+F and acts in it as `inDialog` says.
        auto findReplace = [&](std::function<void()> inDialog) {
            driver.Any([inDialog](QWidget*) { inDialog(); });
            ide.Shortcut(Qt::Key_F, Qt::ControlModifier);
        };
        SetMarked(ide, "count count2 my_count count+1 co|unt");
        // All from the start with Word Only replaces the whole words only.
        findReplace([&] {
            QVERIFY(!dialog.ReplaceButton->isEnabled());  // no selection
            dialog.FindMemo->setPlainText("count");
            dialog.ReplaceMemo->setPlainText("n");
            QVERIFY(dialog.WordCheckBox->isEnabled());
            dialog.WordCheckBox->setChecked(true);
            dialog.StartCheckBox->setChecked(true);
            dialog.AllButton->click();
        });
        QCOMPARE(ide.text().Text(), std::string("n count2 my_count n+1 n"));
        // A dot disables Word Only, and it is then ignored.
        SetMarked(ide, "|a.b xa.by");
        findReplace([&] {
            dialog.FindMemo->setPlainText("a.b");
            QVERIFY(!dialog.WordCheckBox->isEnabled());
            QVERIFY(dialog.WordCheckBox->isChecked());
            dialog.StartCheckBox->setChecked(false);
            dialog.ReplaceMemo->setPlainText("a.b.a.b");
            dialog.AllButton->click();
        });
        QCOMPARE(QString::fromStdString(ide.text().Text()), QString("a.b.a.b xa.b.a.by"));  // no endless loop
        // Match Case: All replaces only the spelling typed, and F3 then finds
        // that spelling only; each memo has its label with an accelerator.
        QCOMPARE(dialog.FindLabel->buddy(), dialog.FindMemo);
        QCOMPARE(dialog.ReplaceLabel->buddy(), dialog.ReplaceMemo);
        SetMarked(ide, "|Mov mov MOV mov");
        findReplace([&] {
            dialog.FindMemo->setPlainText("mov");
            dialog.ReplaceMemo->setPlainText("Mov");
            dialog.StartCheckBox->setChecked(true);
            dialog.MatchCaseCheckBox->setChecked(true);
            dialog.AllButton->click();
        });
        QCOMPARE(ide.text().Text(), std::string("Mov Mov MOV Mov"));
        SetMarked(ide, "|Mov mov MOV");
        ide.Shortcut(Qt::Key_F3);
        QCOMPARE(Marked(ide.text()), std::string("Mov ^mov| MOV"));
        dialog.MatchCaseCheckBox->setChecked(false);
        ide.Shortcut(Qt::Key_F3);
        QCOMPARE(Marked(ide.text()), std::string("Mov mov ^MOV|"));
        // Find with a selection enables Replace; Cancel does nothing.
        SetMarked(ide, "^ab|c");
        findReplace([&] {
            QVERIFY(dialog.ReplaceButton->isEnabled());
            dialog.CancelButton->click();
        });
        QCOMPARE(Marked(ide.text()), std::string("^ab|c"));
        // An empty find text disables Find and All.
        findReplace([&] {
            dialog.FindMemo->setPlainText("");
            QVERIFY(!dialog.FindButton->isEnabled());
            QVERIFY(!dialog.AllButton->isEnabled());
            dialog.CancelButton->click();
        });
    }

    // Undo takes back a whole Replace All; the title marks unsaved text; the
    // caret readout, Select All, Go to Line and the scroll bars; a save that
    // changes nothing does not touch the file.
    void undoTitleCaretAndScrollBars() {
        TestIde ide(Sx28lFamily());
        ModalDriver driver;
        TFindReplaceForm& dialog = *ide.shell->findReplace;
        const QString file = Path("undo.src");
        WriteAll(file, "mov a\r\nmov b\r\n");
        ide.editor().LoadFile(file);
        const QString saved = "undo.src - Korvid28L";
        driver.Any([&](QWidget*) {
            dialog.FindMemo->setPlainText("mov");
            dialog.ReplaceMemo->setPlainText("jmp");
            dialog.StartCheckBox->setChecked(true);
            dialog.AllButton->click();
        });
        ide.Shortcut(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(ide.text().Text(), std::string("jmp a\rjmp b\r"));
        QCOMPARE(ide.editor().windowTitle(), "*" + saved);
        ide.Shortcut(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ide.text().Text(), std::string("mov a\rmov b\r"));
        QCOMPARE(ide.editor().windowTitle(), saved);
        ide.Shortcut(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(ide.text().Text(), std::string("jmp a\rjmp b\r"));
        ide.Shortcut(Qt::Key_Z, Qt::ControlModifier);
        ide.Shortcut(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(ide.text().Text(), std::string("jmp a\rjmp b\r"));
        ide.Shortcut(Qt::Key_Z, Qt::ControlModifier);
        // Unchanged text: Save leaves the file as it is on disk.
        WriteAll(file, "changed elsewhere");
        ide.Shortcut(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(ReadAll(file), QByteArray("changed elsewhere"));
        // Select All has Ctrl+Shift+A (Ctrl+A assembles).
        ide.Shortcut(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        std::int32_t s = -1, e = -1;
        QVERIFY(ide.text().GetSelection(s, e));
        QCOMPARE(s, 0);
        QCOMPARE(e, ide.text().length);
        ide.editor().GoToLine(2);
        QTest::keyClick(ide.editor().View, Qt::Key_End);
        QCOMPARE(ide.editor().CaretLabel->text(), QString("Ln 2, Col 6"));
        // The scroll bars show where the view is and move it, not the caret.
        std::string lines;
        for (int i = 0; i < 300; ++i) lines += "line " + std::to_string(i) + std::string(i == 7 ? 400 : 0, 'x') + "\r";
        ide.SetText(lines);
        QScrollBar* bar = ide.view().VerticalBar;
        QCOMPARE(bar->maximum(), 300);
        QCOMPARE(ide.view().HorizontalBar->maximum(), 406 - ide.view().visibleColumns);
        bar->setValue(100);
        QCOMPARE(ide.text().caret, 0);
        ide.text().caret = ide.view().TopLine;
        QCOMPARE(ide.text().CaretLine(), 101);
        ide.view().HorizontalBar->setValue(5);
        QCOMPARE(ide.view().horizontalScroll, 5);
        QTest::keyClick(ide.editor().View, Qt::Key_Down);  // a key brings the caret's view back
        QCOMPARE(ide.view().horizontalScroll, 0);
        QCOMPARE(bar->value(), 100);
        // A file holding NUL bytes is refused and the text stays.
        const QString binary = Path("picture.png");
        WriteAll(binary, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
        driver.File(ide.editor(), binary);
        driver.Box(QMessageBox::Ok);
        ide.editor().Item("FileOpenItem")->trigger();
        QVERIFY2(driver.texts.value(0).contains("not a text file"), qPrintable(driver.texts.value(0)));
        QCOMPARE(ide.text().Text(), lines);
        QCOMPARE(ReadAll(binary).size(), 16);
    }

    void listToggleRoundTrip_data() {
        FamilyRows();
    }
    void listToggleRoundTrip() {
        QFETCH(int, family);
        TestIde ide(FamilyByIndex(family), {}, true, true);
        const QString title = family ? "Korvid52" : "Korvid28L";
        ide.editor().SetFileName(Path("blink.src"));
        std::string src;
        for (int i = 0; i < 60; ++i) src += "\tmov w,#" + std::to_string(i) + "\r";
        ide.SetText(src);
        // Caret on line 40, column 10 (after the TAB and "mo").
        std::int32_t line40 = 0;
        for (int crs = 0; crs < 40; ++line40) crs += src[std::size_t(line40)] == '\r';
        ide.text().caret = line40 + 3;
        ide.view().HideCaret();
        ide.view().RefreshView();
        const int row = ide.view().caretRow;
        ide.Shortcut(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(ide.text().listMode, std::uint8_t(1));
        QCOMPARE(ide.editor().windowTitle(), "blink.LST - " + title);
        QCOMPARE(ide.editor().StatusText(), QString("List (read-only) - Ctrl+L returns to source"));
        QVERIFY(!ide.editor().Item("RunAssembleItem")->isEnabled());
        QVERIFY(ide.editor().Item("FileListToggleItem")->isChecked());
        QCOMPARE(ide.view().caretRow, row);
        QCOMPARE(ide.text().CursorColumn(), 10 + 16);
        ide.Shortcut(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(ide.text().listMode, std::uint8_t(0));
        QCOMPARE(ide.text().caret, line40 + 3);
        QCOMPARE(ide.view().caretRow, row);
        QCOMPARE(ide.editor().windowTitle(), "blink.src - " + title);
        QVERIFY(ide.editor().Item("RunAssembleItem")->isEnabled());
        QVERIFY(!ide.editor().Item("FileListToggleItem")->isChecked());
        QCOMPARE(ide.text().Text(), src);
    }

    void listToggleStaysOnError() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        ide.SetText("\tjmp nowhere\r");
        ide.Shortcut(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(ide.text().listMode, std::uint8_t(0));
        QVERIFY(ide.editor().StatusText().startsWith("ERROR: "));
        QVERIFY(!ide.editor().Item("FileListToggleItem")->isChecked());
        std::int32_t s, e;
        QVERIFY(ide.text().GetSelection(s, e));
        QCOMPARE(ide.text().Text().substr(std::size_t(s), std::size_t(e - s)), std::string("nowhere"));
    }

    void helpAndAbout_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("version");
        QTest::newRow("28L") << 0 << "SX18L / SX28L" << "Version 1.09 for Rev E/F";
        QTest::newRow("52") << 1 << "SX48 / SX52  v1.20" << "for SX48/52 (AB0004AA+)";
    }
    void helpAndAbout() {
        QFETCH(int, family);
        QFETCH(QString, device);
        QFETCH(QString, version);
        TestIde ide(FamilyByIndex(family));
        ModalDriver driver;
        bool seen = false;
        driver.Any([&](QWidget* w) {
            auto* about = qobject_cast<TAboutForm*>(w);
            QVERIFY(about);
            QCOMPARE(about->windowTitle(), QString("About"));
            QCOMPARE(about->DeviceLabel->text(), device);
            QCOMPARE(about->VersionLabel->text(), version);
            seen = true;
            about->OkayButton->click();
        });
        ide.editor().Item("HelpAboutItem")->trigger();
        QVERIFY(seen);
        ide.editor().Item("HelpContentsItem")->trigger();
        QVERIFY(ide.shell->help->isVisible());
        QStringList labels;
        for (QLabel* l : ide.shell->help->findChildren<QLabel*>()) labels << l->text();
        QCOMPARE(labels.first(), QString("Symbolic Debugging"));
        QVERIFY(labels.contains("WATCH   RegAddress,Bytes,ZSTR  ;zero-terminated string"));
        QCOMPARE(labels.last(), QString("The 'BREAK' directive establishes the breakpoint."));
        ide.shell->help->hide();
        // The user guide shows the README with its headings.
        ide.editor().Item("HelpGuideItem")->trigger();
        auto* guide = ide.editor().findChild<TGuideForm*>();
        QVERIFY(guide && guide->isVisible());
        QVERIFY(guide->Browser->toPlainText().contains("Debugging in the windows"));
        guide->hide();
    }
};

QTEST_MAIN(EditorCommandsTest)
#include "EditorCommandsTest.moc"
