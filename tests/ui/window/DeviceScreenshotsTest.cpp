// Renders the Device window of both builds, the Clock, IRC and Configure
// windows off screen. With KORVID_SCREENSHOT_DIR set, the pictures are
// saved there (docs/screenshots holds the committed ones).
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QRadioButton>
#include <QTest>

#include "WindowSupport.h"
#include "ui/ClockUnit.h"
#include "ui/ConfigureUnit.h"
#include "ui/DeviceUnit.h"
#include "ui/IRCUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {

void SetId(Image& image, const char* text) {
    for (int i = 0; i < 8 && text[i]; ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        image[std::size_t(kIdBase + 2 * i)] = std::uint16_t(0x0FF0 | (c >> 4));
        image[std::size_t(kIdBase + 2 * i + 1)] = std::uint16_t(0x0FF0 | (c & 0xF));
    }
}

// A small blink program's worth of words.
void FillProgram(Image& image) {
    const std::uint16_t words[] = {0x0C00, 0x0006, 0x0C01, 0x0026, 0x02A6, 0x0A04, 0x0A02, 0x0000,
                                   0x0C55, 0x002A, 0x0800, 0x0A00, 0x0004, 0x0C1F, 0x0005, 0x0A08};
    for (int i = 0; i < 40; ++i) image[std::size_t(i)] = std::uint16_t(kDataFlag | words[i % 16]);
    image[0x7FF] = kDataFlag | 0x0A00;
}

void Save(QWidget& w, const char* name) {
    QApplication::processEvents();
    const QImage image = w.grab().toImage();
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 100 && image.height() > 100);
    const QByteArray dir = qgetenv("KORVID_SCREENSHOT_DIR");
    if (!dir.isEmpty()) QVERIFY(image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name))));
}

}  // namespace

class DeviceScreenshotsTest : public QObject {
    Q_OBJECT

private slots:
    void deviceWindows();
    void clockWindow();
    void ircAndConfigureWindows();
};

void DeviceScreenshotsTest::deviceWindows() {
    for (int family : {0, 1}) {
        TestIde ide(FamilyByIndex(family), {}, false);
        Image& chip = ide.state->ChipImage;
        FillProgram(chip);
        SetId(chip, "BLINK");
        chip[kFuseIndex] = family ? 0x0EFA : 0x0FEA;
        TDeviceForm& form = *ide.shell->deviceForm;
        form.show();
        form.resize(form.sizeHint());
        Save(form, family ? "device-52.png" : "device-28l.png");
    }
}

void DeviceScreenshotsTest::clockWindow() {
    TestIde ide(Sx28lFamily(), {}, false);
    ide.state->ClockFrequency = 3579545;
    ide.shell->link.OpenLink();
    TClockForm& clock = *ide.shell->clock;
    clock.show();
    Save(clock, "clock.png");
    clock.hide();
}

void DeviceScreenshotsTest::ircAndConfigureWindows() {
    TestIde ide(Sx28lFamily(), {}, false);
    // Counts of a chip whose IRC runs 3 % fast.
    for (int t = 0; t < 8; ++t)
        ide.shell->irc.counts[std::size_t(t)] =
            std::uint16_t(1266035968.0 / (4120000.0 * (1 + 0.05 * (3.5 - t))) + 0.5);
    ide.shell->irc.trim = 4;
    TIRCForm& irc = *ide.shell->ircForm;
    irc.show();
    Save(irc, "irc.png");
    irc.hide();
    ide.shell->irc.mode = IrcMode::FourMhz;
    TConfigureForm& configure = *ide.shell->configure;
    configure.show();
    Save(configure, "configure.png");
    configure.hide();
}

QTEST_MAIN(DeviceScreenshotsTest)
#include "DeviceScreenshotsTest.moc"
