// Run > Program and Run > Run from the main window through a real serial
// device: korvid-sim on a pseudo-terminal behind COM1 (KORVID_COM1).
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "WindowSupport.h"
#include "core/asm/Assembler.h"
#include "platform/SerialPorts.h"
#include "ui/Application.h"
#include "ui/ProgressUnit.h"

using namespace korvid;

class PtyRunTest : public QObject {
    Q_OBJECT
private slots:
    void programThroughThePseudoTerminal() {
        QTemporaryDir dir;
        const QString link = dir.filePath("com1");
        QProcess sim;
        sim.start(QString(KORVID_BINARY_DIR) + "/apps/korvid-sim/korvid-sim", {"--family", "28l", "--link", link});
        QVERIFY(sim.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), 5000);
        qputenv("KORVID_COM1", link.toLocal8Bit());

        auto state = std::make_unique<AssemblyState>(Sx28lFamily());
        Shell shell(Sx28lFamily(), *state, MakeSerialDevice());
        shell.assemble = [](AssemblyState& s) { Assemble(s); };
        CreateForms(shell, {});
        TEditorForm& editor = *shell.editor;
        editor.show();
        editor.Text.SetText("\tmov w,#$33\r\tjmp $\r");
        editor.Item("RunProgramItem")->trigger();
        QCOMPARE(editor.StatusText(), QString("Assembly Successful"));
        QVERIFY(shell.progress->shownTexts.contains("Programming..."));
        QVERIFY(!shell.progress->isVisible());
        QVERIFY(!shell.link.PortOpen);
        editor.Item("RunRunItem")->trigger();
        QCOMPARE(shell.progress->shownTexts.count("Programming..."), 2);
        DestroyForms(shell);

        qunsetenv("KORVID_COM1");
        sim.terminate();
        sim.waitForFinished();
    }
};

QTEST_MAIN(PtyRunTest)
#include "PtyRunTest.moc"
