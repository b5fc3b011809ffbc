// The Device window end to end: the IDE's windows on a real pseudo-terminal
// to korvid-sim, as a user with the tool on a serial port would run them.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "WindowSupport.h"
#include "ui/Application.h"
#include "ui/DeviceUnit.h"

using namespace korvid;
using namespace korvid::test;

class DeviceSimToolTest : public QObject {
    Q_OBJECT

private slots:
    void programVerifyReadThroughThePty_data() { PtyFamilyRows(); }
    void programVerifyReadThroughThePty();
};

void DeviceSimToolTest::programVerifyReadThroughThePty() {
    const Family& fam = RowFamily();
    PtyIde ide(fam);
    QVERIFY2(ide.slave.startsWith(QLatin1Char('/')), qPrintable(ide.slave));
    Shell& shell = *ide.shell;
    std::unique_ptr<AssemblyState>& state = ide.state;
    TDeviceForm& form = *shell.deviceForm;
    for (int i = 0; i < 200; ++i) state->ChipImage[std::size_t(i)] = std::uint16_t(kDataFlag | ((i * 7) & 0xFFF));
    form.show();
    form.WatchdogCheckBox->click();
    ModalDriver driver;
    form.ProgramButton->click();
    driver.Box(QMessageBox::Ok);
    form.VerifyButton->click();
    QCOMPARE(driver.texts, QStringList{"Device verified OK"});

    const Image programmed = state->ChipImage;
    BlankImage(state->ChipImage, fam);
    form.ReadButton->click();
    QCOMPARE(driver.texts.size(), 1);  // no failure box
    QVERIFY(form.WatchdogCheckBox->isChecked());
    QCOMPARE(state->ChipImage[kFuseIndex], programmed[kFuseIndex]);
    QCOMPARE(state->ChipImage[199] & kWordMask, programmed[199] & kWordMask);
    QVERIFY(!shell.link.PortOpen);

}

QTEST_MAIN(DeviceSimToolTest)
#include "DeviceSimToolTest.moc"
