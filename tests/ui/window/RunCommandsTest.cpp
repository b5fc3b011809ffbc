// Run menu commands through the link to the simulated tool in the same
// process: assemble, program (with the Device Operation window), run, link
// failures and SXC mode.
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "WindowSupport.h"
#include "ui/IRCUnit.h"
#include "ui/ProgressUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {
// Puts `text` into the editor, assembles it with the Run menu's item and
// returns what the status bar then says.
QString AssembleFromMenu(TestIde& ide, const std::string& text) {
    ide.SetText(text);
    ide.editor().Item("RunAssembleItem")->trigger();
    return ide.editor().StatusText();
}
}  // namespace

class RunCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void assembleReportsInTheStatusBar() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        QCOMPARE(AssembleFromMenu(ide, "\tmov w,#1\r"), QString("Assembly Successful"));
        ide.SetText("\tmov w,#1\r\tjmp nowhere\r");
        ide.text().caret = 2;
        ide.Shortcut(Qt::Key_A, Qt::ControlModifier);
        QVERIFY(ide.editor().StatusText().startsWith("ERROR: "));
        std::int32_t s, e;
        QVERIFY(ide.text().GetSelection(s, e));
        QCOMPARE(ide.text().Text().substr(std::size_t(s), std::size_t(e - s)), std::string("nowhere"));
    }

    // A source for the other chip: the status bar names the program that
    // assembles it.
    void otherFamilyHint() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        ide.editor().LoadFile(QStringLiteral(KORVID_SOURCE_DIR "/examples/sx52_counter.src"));
        ide.editor().Item("RunAssembleItem")->trigger();
        QVERIFY2(ide.editor().StatusText().endsWith("  (assembles in Korvid52)"), qPrintable(ide.editor().StatusText()));
    }

    void strictErrorHintsAtTheExtendedDialect() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        QCOMPARE(AssembleFromMenu(ide, "loop:\tjmp loop\r"),
                 QString("ERROR: Undefined symbol  (accepted with the extended dialect)"));
        QCOMPARE(AssembleFromMenu(ide, "\tjmp nowhere\r"), QString("ERROR: Undefined symbol"));
        // The setting holds for every later assembly, also of another text.
        ide.editor().Item("RunExtendedDialectItem")->trigger();
        QCOMPARE(AssembleFromMenu(ide, "loop:\tjmp loop\r"), QString("Assembly Successful"));
        QCOMPARE(AssembleFromMenu(ide, "\tjmp nowhere\r"), QString("ERROR: Undefined symbol"));
        QCOMPARE(AssembleFromMenu(ide, "more:\tjmp more\r"), QString("Assembly Successful"));
        QVERIFY(ide.editor().Item("RunExtendedDialectItem")->isChecked());
    }

    void sourceIrcChoiceCalibratesOnProgram_data() { FamilyRows(); }
    void sourceIrcChoiceCalibratesOnProgram() {
        QFETCH(int, family);
        TestIde ide(FamilyByIndex(family), {}, true, true);
        ide.editor().Item("RunExtendedDialectItem")->trigger();
        ide.SetText("\tIRC_CAL IRC_4MHZ\r\tjmp $\r");
        ModalDriver driver;
        bool shown = false;
        driver.Any([&](QWidget* w) {
            shown = w == static_cast<QWidget*>(ide.shell->ircForm);
            ide.shell->ircForm->OkayButton->click();
        });
        ide.Shortcut(Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(ide.editor().StatusText(), QString("Assembly Successful"));
        QVERIFY(ide.shell->progress->shownTexts.contains("Calibrating IRC..."));
        QVERIFY(shown);
        QCOMPARE(ide.shell->irc.trim, 4);
        QCOMPARE(ide.firmware->Chip().Trim(), 4);
        // The Configure window's setting is not changed by the source.
        QCOMPARE(ide.shell->irc.mode, IrcMode::Slowest);
    }

    void programShowsProgress_data() { FamilyRows(); }
    void programShowsProgress() {
        QFETCH(int, family);
        TestIde ide(FamilyByIndex(family), {}, true, true);
        ide.SetText("\tmov w,#$5A\r\tjmp $\r");
        const std::string before = ide.text().Text();
        ide.Shortcut(Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(ide.editor().StatusText(), QString("Assembly Successful"));
        TProgressForm& progress = *ide.shell->progress;
        QVERIFY(progress.shownTexts.contains("Erasing..."));
        QVERIFY(progress.shownTexts.contains("Programming..."));
        QVERIFY(!progress.isVisible());
        QCOMPARE(progress.ProgressBar->value(), kProgressMax);
        // Painted on the screen while it advanced.
        QVERIFY(progress.exposedSteps > 10);
        // The chip holds the assembled words.
        const Image& flash = ide.firmware->Chip().flash;
        QCOMPARE(int(flash[0] & kWordMask), int(ide.state->ChipImage[0] & kWordMask));
        QCOMPARE(int(flash[1] & kWordMask), int(ide.state->ChipImage[1] & kWordMask));
        QVERIFY((flash[0] & kWordMask) != 0x0FFF);
        QCOMPARE(ide.text().Text(), before);
        QVERIFY(!ide.shell->link.PortOpen);
    }

    void runStartsTheClock() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        ide.SetText("\tjmp $\r");
        ide.editor().Item("RunRunItem")->trigger();
        QVERIFY(ide.firmware->Chip().clockRunning);
    }

    void linkFailureShowsAbortBox() {
        ToolOptions silent;
        silent.silentAfterBytes = 0;
        TestIde ide(Sx28lFamily(), {}, true, true, silent);
        ModalDriver driver;
        ide.SetText("\tjmp $\r");
        driver.Box(QMessageBox::Abort);
        ide.editor().Item("RunProgramItem")->trigger();
        QCOMPARE(driver.texts.value(0), QString("Korvid not found on COM1."));
        QCOMPARE(driver.buttons.value(0), QStringList{"Abort"});
        QCOMPARE(ide.text().Text(), std::string("\tjmp $\r"));
        QVERIFY(!ide.shell->progress->isVisible());
        // The port chosen on the command line is named.
        TestIde com3(Sx28lFamily(), {"/3"}, true, true, silent);
        com3.SetText("\tjmp $\r");
        driver.Box(QMessageBox::Abort);
        com3.editor().Item("RunProgramItem")->trigger();
        QCOMPARE(driver.texts.value(1), QString("Korvid not found on COM3."));
        // A port that cannot be opened.
        com3.device->failOpen = true;
        driver.Box(QMessageBox::Abort);
        com3.editor().Item("RunProgramItem")->trigger();
        QCOMPARE(driver.texts.value(2), QString("Unable to open COM3."));
        QCOMPARE(driver.buttons.value(2), QStringList{"Abort"});
    }

    void failedAssemblyDoesNotProgram() {
        TestIde ide(Sx28lFamily(), {}, true, true);
        ide.SetText("\tjmp nowhere\r");
        ide.editor().Item("RunProgramItem")->trigger();
        QCOMPARE(ide.device->opens, 0);
        QVERIFY(ide.shell->progress->shownTexts.isEmpty());
    }

    void sxcModeSkipsTheAssembly() {
        TestIde ide(Sx28lFamily(), {"/B", "nothing-here"}, true, true);
        QVERIFY(ide.editor().SxcMode);
        QVERIFY(ide.editor().Item("RunAssembleItem")->isEnabled());  // no SXC files: menus as usual
        ide.SetText("this is not assembly\r");
        ide.state->DeviceImage[0] = 0x0A5A;
        ide.editor().Item("RunProgramItem")->trigger();
        QCOMPARE(ide.assemblies, 0);
        QCOMPARE(int(ide.firmware->Chip().flash[0] & kWordMask), 0x0A5A);
        // No question on closing in SXC mode.
        ide.text().modified = 1;
        QVERIFY(ide.editor().close());
    }
};

QTEST_MAIN(RunCommandsTest)
#include "RunCommandsTest.moc"
