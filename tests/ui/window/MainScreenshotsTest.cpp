// Renders both programs' main windows with the blink example (one with a
// selection, one after an assembly) and the Find/Replace dialog off screen.
// With KORVID_SCREENSHOT_DIR set, the pictures are saved there
// (docs/screenshots holds the committed ones).
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

#include "WindowSupport.h"
#include "ui/FindReplaceUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {
void Save(QWidget& w, const char* name) {
    QApplication::processEvents();
    const QImage image = w.grab().toImage();
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 100 && image.height() > 50);
    const QByteArray dir = qgetenv("KORVID_SCREENSHOT_DIR");
    if (!dir.isEmpty()) QVERIFY(image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name))));
}
}  // namespace

class MainScreenshotsTest : public QObject {
    Q_OBJECT
private slots:
    void mainWindows() {
        for (int family : {0, 1}) {
            const char* example = family ? "/examples/sx52_counter.src" : "/examples/blink.src";
            TestIde ide(FamilyByIndex(family), {QString(KORVID_SOURCE_DIR) + example}, true, true);
            ide.editor().resize(720, 520);
            QApplication::processEvents();
            QVERIFY(ide.text().length > 0);
            if (family) {
                ide.editor().Item("RunAssembleItem")->trigger();
            } else {
                // A word selected with the mouse.
                ide.text().caret = 0;
                for (int i = 0; i < 8; ++i) ide.text().LineDown();
                ide.text().desiredColumn = 18;
                ide.text().GoToColumn();
                ide.text().SelectWord();
                ide.text().selectionState = 1;
                ide.view().HideCaret();
                ide.view().RefreshView();
            }
            Save(ide.editor(), family ? "main-52.png" : "main-28l.png");
        }
    }

    void findDialog() {
        TestIde ide(Sx28lFamily());
        TFindReplaceForm& dialog = *ide.shell->findReplace;
        dialog.FindMemo->setPlainText("delay");
        dialog.ReplaceMemo->setPlainText("pause");
        dialog.show();
        dialog.UpdateControls();
        dialog.ReplaceButton->setEnabled(true);
        Save(dialog, "find-replace.png");
        dialog.hide();
    }
};

QTEST_MAIN(MainScreenshotsTest)
#include "MainScreenshotsTest.moc"
