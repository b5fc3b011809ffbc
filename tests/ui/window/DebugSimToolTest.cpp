// A debug session end to end: the IDE's windows on a real pseudo-terminal
// to korvid-sim, as a user with the tool on a serial port would debug.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include "WindowSupport.h"
#include "core/asm/Assembler.h"
#include "ui/Application.h"
#include "ui/CodeUnit.h"
#include "ui/CommandGuard.h"
#include "ui/DebugUnit.h"
#include "ui/RegisterUnit.h"
#include "ui/WatchUnit.h"

using namespace korvid;
using namespace korvid::test;

class DebugSimToolTest : public QObject {
    Q_OBJECT

private slots:
    void debugThroughThePty_data() { PtyFamilyRows(); }
    void debugThroughThePty();
};

namespace {
// Ticks the Debug window until the chip is halted and idle, for at most a
// few seconds of real time.
bool Idle(TDebugForm& debug) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        debug.Tick();
        if (!debug.isVisible()) return false;
        if (debug.Session.StateValid && debug.ButtonMask() == IdleMask(debug.BreakpointSet())) return true;
        QTest::qWait(2);
    }
    return false;
}
}  // namespace

void DebugSimToolTest::debugThroughThePty() {
    const Family& fam = RowFamily();
    PtyIde ide(fam);
    QVERIFY2(ide.slave.startsWith(QLatin1Char('/')), qPrintable(ide.slave));
    Shell& shell = *ide.shell;
    std::string source = fam.is52() ? "" : " DEVICE SX28L, TURBO, STACKX_OPTIONX\r";
    source += "count EQU 0Ch\r WATCH count, 8, UDEC\r RESET start\r ORG 20h\r"
              "start CLR count\r"
              "loop INC count\r BREAK\r NOP\r JMP loop\r";
    shell.editor->Text.SetText(source);
    ModalDriver driver;
    RunGuarded(shell.editor, [&] { shell.editor->RunDebug(); });
    TDebugForm& debug = *shell.debug;
    QVERIFY(debug.isVisible());
    debug.Timer.stop();
    QVERIFY(Idle(debug));
    QCOMPARE(debug.Session.State.ProgramCounter, std::uint32_t(debug.Session.ProgramSize - 1));
    debug.StepButton->click();
    QVERIFY(Idle(debug));
    QCOMPARE(debug.Session.State.ProgramCounter, 0x20u);
    debug.RunButton->click();
    QVERIFY(Idle(debug));
    QCOMPARE(debug.Session.State.ProgramCounter, 0x23u);  // after the word at the BREAK
    QCOMPARE(shell.watch->ValueText(0), QString("1"));
    debug.RunButton->click();
    QVERIFY(Idle(debug));
    QCOMPARE(shell.watch->ValueText(0), QString("2"));
    QVERIFY(shell.watch->Changed(0));
    debug.QuitButton->click();
    QVERIFY(!shell.link.PortOpen);
    QVERIFY(driver.texts.isEmpty());

}

QTEST_MAIN(DebugSimToolTest)
#include "DebugSimToolTest.moc"
