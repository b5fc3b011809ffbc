// The Configure window (IRC mode and port for the life of the process) and
// the IRC window a calibrated programming run shows.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "WindowSupport.h"
#include "ui/ConfigureUnit.h"
#include "ui/DeviceUnit.h"
#include "ui/IRCUnit.h"

using namespace korvid;
using namespace korvid::test;

class ConfigureFormTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheCurrentValuesEachTime();
    void okayTakesCancelDrops();
    void chosenPortIsOpenedNext();
    void runConfigureFromTheMenu();
    void calibrationShowsTheIrcWindow_data();
    void calibrationShowsTheIrcWindow();
    void fixedTrimShowsNoWindow_data();
    void fixedTrimShowsNoWindow();
    void unmeasuredTrimShowsADash();
};

void ConfigureFormTest::showsTheCurrentValuesEachTime() {
    TestIde ide(Sx28lFamily());
    TConfigureForm& form = *ide.shell->configure;
    struct Case {
        IrcMode mode;
        const char* port;
        int ircIndex, portIndex;
    };
    for (const Case& c : {Case{IrcMode::Slowest, "COM1", 0, 0}, Case{IrcMode::Fastest, "COM4", 2, 3},
                          Case{IrcMode::FourMhz, "COM2", 1, 1}, Case{IrcMode::Slowest, "/dev/ttyX", 0, -1}}) {
        ide.shell->irc.mode = c.mode;
        ide.shell->link.PortName = c.port;
        form.show();
        QCOMPARE(form.IRCItemIndex(), c.ircIndex);
        QCOMPARE(form.PortItemIndex(), c.portIndex);
        form.hide();
    }
    QCOMPARE(form.IRCRadioGroup->title(), QStringLiteral("&IRC Calibration"));
    QCOMPARE(form.PortRadioGroup->title(), QStringLiteral("&Serial Port"));
    QCOMPARE(form.PortButtons[2]->text(), QStringLiteral("COM&3"));
    QCOMPARE(form.IRCButtons[1]->text(), QStringLiteral("4 MHz"));
}

void ConfigureFormTest::okayTakesCancelDrops() {
    TestIde ide(Sx52Family());
    TConfigureForm& form = *ide.shell->configure;
    // Chooses a port and an IRC item, then closes the window with `button`.
    auto choose = [&](int port, int irc, QPushButton* button) {
        form.PortButtons[port]->click();
        form.IRCButtons[irc]->click();
        button->click();
    };
    form.show();
    choose(2, 2, form.CancelButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(ide.shell->link.PortName, std::string("COM1"));
    QCOMPARE(ide.shell->irc.mode, IrcMode::Slowest);
    form.show();
    QCOMPARE(form.PortItemIndex(), 0);  // the dropped choice is not shown again
    choose(2, 1, form.OkayButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(ide.shell->link.PortName, std::string("COM3"));
    QCOMPARE(ide.shell->irc.mode, IrcMode::FourMhz);
    // A port given as a path stays when Okay is pressed without a choice.
    ide.shell->link.PortName = "/dev/ttyX";
    form.show();
    form.OkayButton->click();
    QCOMPARE(ide.shell->link.PortName, std::string("/dev/ttyX"));
}

void ConfigureFormTest::chosenPortIsOpenedNext() {
    qputenv("KORVID_COM3", "/dev/korvid-test-com3");
    TestIde ide(Sx28lFamily());
    TConfigureForm& form = *ide.shell->configure;
    form.show();
    QCOMPARE(form.PortDeviceLabels[2]->text(), QStringLiteral("/dev/korvid-test-com3 (not present)"));
    form.PortButtons[2]->click();
    form.OkayButton->click();
    ide.editor().RunDevice();
    ide.shell->deviceForm->ReadButton->click();
    QCOMPARE(ide.device->openedPath, std::string("/dev/korvid-test-com3"));
    qunsetenv("KORVID_COM3");
}

void ConfigureFormTest::runConfigureFromTheMenu() {
    TestIde ide(Sx28lFamily());
    ModalDriver driver;
    QWidget* shown = nullptr;
    driver.Any([&](QWidget* w) {
        shown = w;
        ide.shell->configure->PortButtons[3]->click();
        ide.shell->configure->OkayButton->click();
    });
    ide.editor().RunConfigure();
    QCOMPARE(shown, static_cast<QWidget*>(ide.shell->configure));
    QCOMPARE(ide.shell->link.PortName, std::string("COM4"));
    QVERIFY(ide.shell->configure->OkayButton->isDefault());
    ModalDriver again;  // a driver answers each window once
    again.Any([&](QWidget* w) {
        ide.shell->configure->PortButtons[0]->click();
        static_cast<QDialog*>(w)->reject();  // Escape or Cancel
    });
    ide.editor().RunConfigure();
    QCOMPARE(ide.shell->link.PortName, std::string("COM4"));
}

void ConfigureFormTest::calibrationShowsTheIrcWindow_data() {
    FamilyRows();
}

void ConfigureFormTest::calibrationShowsTheIrcWindow() {
    QFETCH(int, family);
    TestIde ide(FamilyByIndex(family));
    ide.shell->irc.mode = IrcMode::FourMhz;
    ModalDriver driver;
    QStringList texts;
    QList<bool> bold;
    driver.Any([&](QWidget* w) {
        QCOMPARE(w, static_cast<QWidget*>(ide.shell->ircForm));
        for (QLabel* label : ide.shell->ircForm->FreqLabels) {
            texts << label->text();
            bold << label->font().bold();
        }
        ide.shell->ircForm->OkayButton->click();
    });
    ide.state->ChipImage[0] = kDataFlag;  // a program to write: an empty image is refused
    ide.editor().RunDevice();
    ide.shell->deviceForm->ProgramButton->click();
    QCOMPARE(texts.size(), 8);
    // The simulated chip runs at 4.12 MHz x (1 + 0.05 x (3.5 - trim)).
    for (int t = 0; t < 8; ++t) {
        const double expected = 4.12 * (1 + 0.05 * (3.5 - t));
        QVERIFY2(std::fabs(texts[t].toDouble() - expected) < 0.03, qPrintable(texts[t]));
        QCOMPARE(texts[t].size(), 4);  // d.dd
        QCOMPARE(bold[t], t == 4);     // 4.02 MHz is nearest to 4 MHz
    }
    QCOMPARE(ide.shell->irc.trim, 4);
    QCOMPARE(ide.firmware->Chip().Trim(), 4);
}

void ConfigureFormTest::fixedTrimShowsNoWindow_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("trim");
    QTest::newRow("slowest") << 0 << 7;
    QTest::newRow("fastest") << 2 << 0;
}

void ConfigureFormTest::fixedTrimShowsNoWindow() {
    QFETCH(int, mode);
    QFETCH(int, trim);
    TestIde ide(Sx28lFamily());
    ide.shell->irc.mode = static_cast<IrcMode>(mode);
    ModalDriver driver;
    bool shown = false;
    driver.Any([&](QWidget* w) {
        shown = true;
        static_cast<QDialog*>(w)->reject();
    });
    ide.state->ChipImage[0] = kDataFlag;  // a program to write: an empty image is refused
    ide.editor().RunDevice();
    ide.shell->deviceForm->ProgramButton->click();
    QVERIFY(!shown);
    QCOMPARE(ide.firmware->Chip().Trim(), trim);
}

void ConfigureFormTest::unmeasuredTrimShowsADash() {
    TestIde ide(Sx28lFamily());
    TIRCForm& form = *ide.shell->ircForm;
    for (int t = 0; t < 8; ++t) ide.shell->irc.counts[std::size_t(t)] = std::uint16_t(300 + t);
    ide.shell->irc.counts[2] = 0;
    ide.shell->irc.trim = 6;
    form.show();
    QCOMPARE(form.FreqLabels[2]->text(), QStringLiteral("-"));
    QCOMPARE(form.FreqLabels[0]->text(), QStringLiteral("4.22"));  // 1,266,035,968 / 300 Hz
    QVERIFY(form.FreqLabels[6]->font().bold());
    QVERIFY(!form.FreqLabels[0]->font().bold());
    QCOMPARE(form.FreqLabel->text(), QStringLiteral("Freq (MHz)"));
    form.OkayButton->click();
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(ConfigureFormTest)
#include "ConfigureFormTest.moc"
