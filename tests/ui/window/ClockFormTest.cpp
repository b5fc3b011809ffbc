// The Clock window against the simulated tool: what it sends for typed
// texts, the track bar and the keys, and how it closes after a failure.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "WindowSupport.h"
#include "core/link/Clock.h"
#include "ui/ClockUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {

std::vector<std::uint8_t> StartBytes(std::uint32_t hz) {
    const std::uint32_t s = FindClockSetting(hz);
    return {8, std::uint8_t(s & 0xFF), std::uint8_t(s >> 8 & 0xFF), std::uint8_t(s >> 16 & 0xFF)};
}

// An IDE with the port open and the Clock window up, recording what the
// tool receives from then on.
struct ClockRig {
    explicit ClockRig(const Family& family, std::uint32_t frequency = 50000000) : ide(family) {
        ide.state->ClockFrequency = frequency;
        ide.shell->link.OpenLink();
        ide.firmware->plainLog = &sent;
        clock().show();
    }
    ~ClockRig() { ide.firmware->plainLog = nullptr; }
    TClockForm& clock() { return *ide.shell->clock; }
    void Type(const QString& text) {
        clock().Edit->clear();
        QTest::keyClicks(clock().Edit, text);
        QTest::keyClick(clock().Edit, Qt::Key_Return);
    }
    TestIde ide;
    std::vector<std::uint8_t> sent;
};

}  // namespace

class ClockFormTest : public QObject {
    Q_OBJECT

private slots:
    void showStartsTheClockOnce_data();
    void showStartsTheClockOnce();
    void typedTexts_data();
    void typedTexts();
    void trackBarEnds();
    void onOffSendsStartAndStop();
    void keys();
    void closesOnTheTickAfterAFailure();
    void runClockFromTheMenu();
};

void ClockFormTest::showStartsTheClockOnce_data() {
    FamilyRows();
}

void ClockFormTest::showStartsTheClockOnce() {
    QFETCH(int, family);
    ClockRig rig(FamilyByIndex(family), 3579545);
    TClockForm& clock = rig.clock();
    QCOMPARE(clock.Edit->text(), QStringLiteral("3.579"));
    QCOMPARE(clock.Edit->selectedText(), QStringLiteral("3.579"));
    QCOMPARE(clock.TrackBar->value(), 10960 - 317);
    QVERIFY(clock.CheckBox->isChecked());
    QVERIFY(clock.Timer->isActive());
    QCOMPARE(clock.Timer->interval(), 500);
    QCOMPARE(rig.ide.state->ClockFrequency, 3579545u);
    QCOMPARE(rig.sent, StartBytes(3579545));
    QVERIFY(rig.ide.firmware->Chip().clockRunning);
    QVERIFY(rig.ide.shell->link.PortOpen);
    // Hiding stops the timer and closes the port.
    clock.hide();
    QVERIFY(!clock.Timer->isActive());
    QVERIFY(!rig.ide.shell->link.PortOpen);
}

void ClockFormTest::typedTexts_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<uint>("hz");
    QTest::addColumn<QString>("shown");
    QTest::newRow("clamped high") << "110.5" << 110000000u << "110.000";
    QTest::newRow("clamped low") << "0.3" << 400000u << "0.400";
    QTest::newRow("fourth decimal") << "3.5795" << 3579000u << "3.579";
    QTest::newRow("seven characters") << "3.579545" << 3579000u << "3.579";
    QTest::newRow("letters swallowed") << "4x5z" << 45000000u << "45.000";
}

void ClockFormTest::typedTexts() {
    QFETCH(QString, typed);
    QFETCH(uint, hz);
    QFETCH(QString, shown);
    ClockRig rig(Sx28lFamily());
    rig.sent.clear();
    rig.Type(typed);
    QCOMPARE(rig.clock().Frequency(), hz);
    QCOMPARE(rig.ide.state->ClockFrequency, hz);
    QCOMPARE(rig.clock().Edit->text(), shown);
    QCOMPARE(rig.sent, StartBytes(hz));
    // The same value again sends nothing.
    rig.sent.clear();
    rig.Type(shown);
    QCOMPARE(rig.sent, std::vector<std::uint8_t>());
}

void ClockFormTest::trackBarEnds() {
    ClockRig rig(Sx52Family());
    TClockForm& clock = rig.clock();
    clock.TrackBar->setValue(0);
    QCOMPARE(clock.Frequency(), 110000000u);
    QCOMPARE(clock.Edit->text(), QStringLiteral("110.000"));
    clock.TrackBar->setValue(10960);
    QCOMPARE(clock.Frequency(), 400000u);
    QCOMPARE(clock.Edit->text(), QStringLiteral("0.400"));
    clock.TrackBar->setValue(10960 - 1);
    QCOMPARE(rig.ide.state->ClockFrequency, 410000u);
    QCOMPARE(rig.ide.firmware->Chip().clockSetting, FindClockSetting(410000));
}

void ClockFormTest::onOffSendsStartAndStop() {
    ClockRig rig(Sx28lFamily());
    TClockForm& clock = rig.clock();
    rig.sent.clear();
    clock.CheckBox->click();
    QCOMPARE(rig.sent, std::vector<std::uint8_t>{9});
    QVERIFY(!rig.ide.firmware->Chip().clockRunning);
    // With the output off a new frequency is only remembered.
    rig.sent.clear();
    rig.Type(QStringLiteral("20"));
    QCOMPARE(rig.sent, std::vector<std::uint8_t>());
    QCOMPARE(rig.ide.state->ClockFrequency, 20000000u);
    clock.CheckBox->click();
    QCOMPARE(rig.sent, StartBytes(20000000));
    QVERIFY(rig.ide.firmware->Chip().clockRunning);
}

void ClockFormTest::keys() {
    ClockRig rig(Sx28lFamily());
    TClockForm& clock = rig.clock();
    rig.sent.clear();
    QTest::keyClick(clock.Edit, 'o');
    QVERIFY(!clock.CheckBox->isChecked());
    QCOMPARE(rig.sent, std::vector<std::uint8_t>{9});
    QTest::keyClick(clock.Edit, 'O');
    QVERIFY(clock.CheckBox->isChecked());
    rig.sent.clear();
    QTest::keyClick(clock.Edit, 'r');
    QCOMPARE(rig.sent, std::vector<std::uint8_t>{4});  // release: the chip restarts
    // Delete as X11 sends it (with the text "\x7f") deletes in the edit.
    clock.Edit->setText(QStringLiteral("12.5"));
    clock.Edit->setCursorPosition(0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
    QApplication::sendEvent(clock.Edit, &del);
    QCOMPARE(clock.Edit->text(), QStringLiteral("2.5"));
    QTest::keyClick(clock.Edit, 'K');
    QVERIFY(!clock.isVisible());
    QVERIFY(!rig.ide.shell->link.PortOpen);
    QCOMPARE(rig.sent.back(), 0);  // end of connection
}

void ClockFormTest::closesOnTheTickAfterAFailure() {
    ClockRig rig(Sx28lFamily());
    TClockForm& clock = rig.clock();
    clock.TimerTick();  // a keep-alive poll while the port is open
    QVERIFY(clock.isVisible());
    QCOMPARE(rig.sent.back(), 5);
    rig.ide.device->writeLimit = 0;  // the line stalls
    ModalDriver driver;
    driver.Box(QMessageBox::Abort);
    clock.ResetButton->click();
    QCOMPARE(driver.texts, QStringList{"Transmit stall on COM1."});
    QCOMPARE(driver.buttons.back(), QStringList{"Abort"});
    QVERIFY(!rig.ide.shell->link.PortOpen);
    QVERIFY(clock.isVisible());
    // Until the tick the controls send nothing and report nothing more.
    driver.Box(QMessageBox::Abort);
    clock.TrackBar->setValue(100);
    clock.CheckBox->click();
    QCOMPARE(driver.Pending(), 1);
    clock.TimerTick();
    QVERIFY(!clock.isVisible());
}

void ClockFormTest::runClockFromTheMenu() {
    TestIde ide(Sx28lFamily());
    std::vector<std::uint8_t> sent;
    ide.firmware->plainLog = &sent;
    ModalDriver driver;
    bool shown = false;
    driver.Any([&](QWidget* w) {
        shown = w == ide.shell->clock;
        QTimer::singleShot(0, [&] { QTest::keyClick(ide.shell->clock->Edit, 'k'); });
    });
    ide.editor().RunClock();
    QVERIFY(shown);
    QVERIFY(!ide.shell->link.PortOpen);
    // Starting the clock at the default frequency is among what was sent.
    const auto start = StartBytes(50000000);
    QVERIFY(std::search(sent.begin(), sent.end(), start.begin(), start.end()) != sent.end());
    ide.firmware->plainLog = nullptr;
}

QTEST_MAIN(ClockFormTest)
#include "ClockFormTest.moc"
