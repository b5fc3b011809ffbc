// The Device window against the simulated tool in the same process: the
// controls and the chip image's words, the E²Flash view and the ID, Program,
// Verify and Read, Load Hex and Save Hex.
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "WindowSupport.h"
#include "core/link/Irc.h"
#include "ui/DeviceUnit.h"
#include "ui/ProgressUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {

QRadioButton* Item(TDeviceForm& form, QGroupBox* group, const QString& caption) {
    for (QRadioButton* b : form.GroupButtons(group))
        if (b->text() == caption) return b;
    return nullptr;
}

// One Intel-HEX record of 16-bit words at a word address.
QByteArray Record(unsigned wordAddress, const std::vector<unsigned>& words, unsigned type = 0) {
    std::vector<unsigned> bytes = {unsigned(words.size() * 2), (wordAddress * 2) >> 8 & 0xFF, (wordAddress * 2) & 0xFF,
                                   type};
    for (unsigned w : words) {
        bytes.push_back(w & 0xFF);
        bytes.push_back(w >> 8 & 0xFF);
    }
    unsigned sum = 0;
    QByteArray line = ":";
    for (unsigned b : bytes) {
        sum += b;
        line += QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
    }
    line += QByteArray::number((256 - sum % 256) % 256, 16).rightJustified(2, '0').toUpper();
    return line + "\r\n";
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void SetId(Image& image, const char* text) {
    for (int i = 0; i < 16; ++i) image[std::size_t(kIdBase + i)] = 0x0FFF;
    for (int i = 0; i < 8 && text[i]; ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        image[std::size_t(kIdBase + 2 * i)] = std::uint16_t(0x0FF0 | (c >> 4));
        image[std::size_t(kIdBase + 2 * i + 1)] = std::uint16_t(0x0FF0 | (c & 0xF));
    }
}

// A program in the first words of the chip image.
void FillProgram(Image& image, int words) {
    for (int i = 0; i < words; ++i) image[std::size_t(i)] = std::uint16_t(kDataFlag | ((i * 37 + 5) & 0xFFF));
}

// A fresh IDE of the family with its Device window and chip image at hand,
// and a folder for the test's hex files.
struct DeviceIde : TestIde {
    explicit DeviceIde(const Family& family) : TestIde(family) {}
    // Shows the window. Before, when given, a program of `words` words and
    // the ID `id` go into the chip image; after, the oscillator item named
    // `oscillator` is chosen.
    void Show(int words = 0, const char* id = nullptr, const char* oscillator = nullptr) {
        if (words) FillProgram(chip, words);
        if (id) SetId(chip, id);
        editor().RunDevice();
        if (oscillator) Item(form, form.OscRadioGroup, QString::fromLatin1(oscillator))->click();
    }
    QString File(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    TDeviceForm& form = *shell->deviceForm;
    Image& chip = state->ChipImage;
    QTemporaryDir dir;
};

}  // namespace

class DeviceFormTest : public QObject {
    Q_OBJECT

private slots:

    void showRewritesUnmatchedWords_data() { FamilyRows(); }
    void showRewritesUnmatchedWords();
    void controlsWriteTheWords();
    void sx52CrystalBoxesFollowTheOscillator();
    void flashViewAndId();
    void sx52HintsNameTheKeywords();
    void refreshedAfterAssembly();

    void programThenVerify_data() { FamilyRows(); }
    void programThenVerify();
    void verifyFailsAtTheChangedPart_data();
    void verifyFailsAtTheChangedPart();
    void readShowsTheChip_data() { FamilyRows(); }
    void readShowsTheChip();
    void linkFailureShowsAbortBox();
    void emptyImageAndDataOutsideTheChipAreRefused();

    void loadHexDialog();
    void loadPic16c5xFileWarnsAndAdopts();
    void loadViolationLeavesTheImage();
    void loadForeignFuseWordsAsksFirst();
    void saveThenLoadKeepsTheSettings_data() { FamilyRows(); }
    void saveThenLoadKeepsTheSettings();
    void saveAsksBeforeOverwriting();
    void hexLoadAndSaveLeaveTheListing();
};

void DeviceFormTest::showRewritesUnmatchedWords() {
    QFETCH(int, family);
    DeviceIde ide(FamilyByIndex(family));
    // An oscillator pattern of no item.
    ide.chip[kFuseIndex] = family ? 0x0F50 : 0x0FA0;
    if (!family) ide.chip[kExtFuseIndex] = 0x0FFD;  // 28 pins with the 1024-word code
    ide.editor().RunDevice();
    QVERIFY(ide.form.isVisible());
    QCOMPARE(ide.form.ItemIndex(ide.form.OscRadioGroup), -1);
    QCOMPARE(ide.chip[kFuseIndex] & (family ? 0xF3 : 0xE3), family ? 0xF2 : 0xE2);  // Crystal - HS3
    if (!family) {
        QCOMPARE(ide.form.ItemIndex(ide.form.DeviceRadioGroup), -1);
        QCOMPARE(ide.chip[kExtFuseIndex] & 0x403, 0x003);  // SX18L
        QCOMPARE(ide.form.EEScrollBar->maximum(), 248);
    } else {
        QCOMPARE(ide.form.EEScrollBar->maximum(), 504);
    }
    // The fixed bits took their values.
    QCOMPARE(ide.chip[kFuseIndex] & (family ? 0xB00 : 0x310), family ? 0xA00 : 0x310);
}

void DeviceFormTest::controlsWriteTheWords() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    struct Case {
        const char* device;
        std::uint16_t bits;
        int scrollMax;
    };
    for (const Case& c : {Case{"PIC16C54", 0x000, 56}, Case{"PIC16C56", 0x001, 120}, Case{"SX28L", 0x403, 248},
                          Case{"PIC16C55", 0x400, 56}}) {
        Item(ide.form, ide.form.DeviceRadioGroup, QString::fromLatin1(c.device))->click();
        QCOMPARE(ide.chip[kExtFuseIndex] & 0x403, c.bits);
        QCOMPARE(ide.form.EEScrollBar->maximum(), c.scrollMax);
    }
    Item(ide.form, ide.form.OscRadioGroup, QStringLiteral("Internal 4MHz"))->click();
    QCOMPARE(ide.chip[kFuseIndex] & 0xE3, 0x03);
    Item(ide.form, ide.form.BrownoutRadioGroup, QStringLiteral("2.2V"))->click();
    QCOMPARE(ide.chip[kExtFuseIndex] & 0x30, 0x20);
    const std::uint16_t before = ide.chip[kFuseIndex];
    ide.form.WatchdogCheckBox->click();
    QCOMPARE(ide.chip[kFuseIndex] ^ before, 0x004);
    ide.form.TurboCheckBox->click();
    QCOMPARE(ide.chip[kFuseIndex] ^ before, 0x804);
    const std::uint16_t ext = ide.chip[kExtFuseIndex];
    ide.form.StackOptionCheckBox->click();
    QCOMPARE(ide.chip[kExtFuseIndex] ^ ext, 0x080);
}

void DeviceFormTest::sx52CrystalBoxesFollowTheOscillator() {
    DeviceIde ide(Sx52Family());
    ide.Show();
    QVERIFY(ide.form.DriveCheckBox && ide.form.FeedbackCheckBox && ide.form.ResetTimerRadioGroup &&
            ide.form.SleepClockCheckBox);
    QVERIFY(!ide.form.DeviceRadioGroup && !ide.form.TurboCheckBox && !ide.form.StackOptionCheckBox);
    QVERIFY(!Item(ide.form, ide.form.OscRadioGroup, QStringLiteral("Input")));

    Item(ide.form, ide.form.OscRadioGroup, QStringLiteral("Crystal - XT2"))->click();
    if (ide.form.DriveCheckBox->isChecked()) ide.form.DriveCheckBox->click();
    if (ide.form.FeedbackCheckBox->isChecked()) ide.form.FeedbackCheckBox->click();
    QCOMPARE(ide.chip[kFuseIndex] & 0xF3, 0xD3 - 0x50);

    Item(ide.form, ide.form.OscRadioGroup, QStringLiteral("External RC"))->click();
    QVERIFY(!ide.form.DriveCheckBox->isEnabled());
    QVERIFY(!ide.form.FeedbackCheckBox->isEnabled());
    QCOMPARE(ide.chip[kFuseIndex] & 0xF3, 0xF3);  // the unchecked boxes no longer clear bits 4 and 6

    Item(ide.form, ide.form.OscRadioGroup, QStringLiteral("Crystal - HS1"))->click();
    QVERIFY(ide.form.DriveCheckBox->isEnabled());
    QCOMPARE(ide.chip[kFuseIndex] & 0xF3, 0xF0 - 0x50);

    Item(ide.form, ide.form.ResetTimerRadioGroup, QStringLiteral("60 us"))->click();
    QCOMPARE(ide.chip[kExtFuseIndex] & 0x3, 0x2);
    Item(ide.form, ide.form.BrownoutRadioGroup, QStringLiteral("2.6V"))->click();
    QCOMPARE(ide.chip[kExtFuseIndex] & 0x30, 0x20);
}

void DeviceFormTest::flashViewAndId() {
    DeviceIde ide(Sx28lFamily());
    for (int i = 0; i < 8; ++i) ide.chip[std::size_t(8 + i)] = std::uint16_t(kDataFlag | (0xA10 + i));
    ide.Show(0, "KORVID");
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("KORVID"));
    QCOMPARE(ide.form.EELabels[0]->text(), QStringLiteral("000- FFF FFF FFF FFF FFF FFF FFF FFF"));
    QCOMPARE(ide.form.EELabels[1]->text(), QStringLiteral("008- A10 A11 A12 A13 A14 A15 A16 A17"));
    QCOMPARE(ide.form.EELabels[7]->text().left(4), QStringLiteral("038-"));
    ide.form.EEScrollBar->setValue(1);
    QCOMPARE(ide.form.EELabels[0]->text().left(4), QStringLiteral("008-"));
    ide.form.EEScrollBar->setValue(ide.form.EEScrollBar->maximum());
    QCOMPARE(ide.form.EELabels[7]->text().left(4), QStringLiteral("7F8-"));  // last row of 2048 words
    // Markup in an ID is shown as it is.
    SetId(ide.chip, "<b>x</b>");
    ide.form.ShowSettings();
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("<b>x</b>"));
    QCOMPARE(ide.form.IDStringLabel->textFormat(), Qt::PlainText);
    QCOMPARE(ide.form.EEScrollBar->value(), 0);
}

void DeviceFormTest::sx52HintsNameTheKeywords() {
    DeviceIde ide(Sx52Family());
    ide.Show();
    auto osc = ide.form.GroupButtons(ide.form.OscRadioGroup);
    QCOMPARE(osc[0]->statusTip(), QStringLiteral("Use  DEVICE OSCHS3 (for 20 to 50+ MHz)"));
    QCOMPARE(osc[0]->property("hint").toString(), QStringLiteral("Use  DEVICE OSCHS3 (for 20 to 50+ MHz)|"));
    QCOMPARE(osc[7]->statusTip(), QStringLiteral("Use  DEVICE OSCRC"));
    QCOMPARE(ide.form.GroupButtons(ide.form.ResetTimerRadioGroup)[1]->statusTip(),
             QStringLiteral("Use  DEVICE DRT960MS"));
    auto bor = ide.form.GroupButtons(ide.form.BrownoutRadioGroup);
    QCOMPARE(bor[0]->statusTip(), QStringLiteral("Don't specify brownout setting"));
    QCOMPARE(bor[1]->statusTip(), QStringLiteral("Use  DEVICE BOR42"));
    QCOMPARE(ide.form.DriveCheckBox->statusTip(), QStringLiteral("Use  DEVICE DRIVEOFF  -or-  DEVICE XTLBUFD"));
    QCOMPARE(ide.form.SleepClockCheckBox->statusTip(), QStringLiteral("Use  DEVICE SLEEPCLOCK"));
    // A second show finds the group hints used up and changes nothing.
    osc[0]->setStatusTip(QStringLiteral("kept"));
    ide.form.hide();
    ide.editor().RunDevice();
    QCOMPARE(osc[0]->statusTip(), QStringLiteral("kept"));

    // The 28L window has no DEVICE hints.
    TestIde ide28(Sx28lFamily());
    ide28.editor().RunDevice();
    QVERIFY(ide28.shell->deviceForm->GroupButtons(ide28.shell->deviceForm->OscRadioGroup)[0]->statusTip().isEmpty());
}

void DeviceFormTest::refreshedAfterAssembly() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    ide.SetText("ORG 0\r");
    SetId(ide.state->ChipImage, "NEW");
    ide.editor().RunAssemble();
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("NEW"));
    // A hidden window is left alone until it is shown again.
    ide.form.hide();
    SetId(ide.state->ChipImage, "LATER");
    ide.editor().RunAssemble();
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("NEW"));
    ide.editor().RunDevice();
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("LATER"));
}

void DeviceFormTest::programThenVerify() {
    QFETCH(int, family);
    DeviceIde ide(FamilyByIndex(family));
    ide.Show(300, "TEST", "Crystal - XT1");
    ide.form.WatchdogCheckBox->click();
    ModalDriver driver;
    ide.form.ProgramButton->click();
    QCOMPARE(driver.texts, QStringList());
    QCOMPARE(ide.shell->progress->shownTexts, QStringList({"Erasing...", "Programming..."}));
    driver.Box(QMessageBox::Ok);
    const Image before = ide.chip;
    ide.form.VerifyButton->click();
    QCOMPARE(driver.texts, QStringList{"Device verified OK"});
    QCOMPARE(driver.buttons.back(), QStringList{"OK"});
    QVERIFY(ide.chip == before);  // Verify changes neither configuration nor the chip image
}

void DeviceFormTest::verifyFailsAtTheChangedPart_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    const QString flash = QString::fromUtf8("Verify failed at E\xC2\xB2" "Flash");
    QTest::newRow("28L device") << 0 << "device" << "Verify failed at Device";
    QTest::newRow("28L oscillator") << 0 << "oscillator" << "Verify failed at Oscillator";
    QTest::newRow("28L options") << 0 << "sync" << "Verify failed at Options";
    QTest::newRow("28L brownout ignored") << 0 << "brownout" << "Device verified OK";
    QTest::newRow("28L id") << 0 << "id" << "Verify failed at ID";
    QTest::newRow("28L program") << 0 << "program" << flash;
    QTest::newRow("52 reset timer") << 1 << "resettimer" << "Verify failed at Reset Timer";
    QTest::newRow("52 brownout") << 1 << "brownout" << "Verify failed at Brownout";
    QTest::newRow("52 oscillator") << 1 << "oscillator" << "Verify failed at Oscillator";
    QTest::newRow("52 options") << 1 << "sync" << "Verify failed at Options";
    QTest::newRow("52 program") << 1 << "program" << flash;
}

void DeviceFormTest::verifyFailsAtTheChangedPart() {
    QFETCH(int, family);
    QFETCH(QString, change);
    QFETCH(QString, message);
    DeviceIde ide(FamilyByIndex(family));
    ide.Show(100, "ABC");
    ide.form.ProgramButton->click();

    if (change == "device") Item(ide.form, ide.form.DeviceRadioGroup, QStringLiteral("SX28L"))->click();
    if (change == "oscillator") Item(ide.form, ide.form.OscRadioGroup, QStringLiteral("Internal 1MHz"))->click();
    if (change == "sync") ide.form.SyncCheckBox->click();
    if (change == "brownout") Item(ide.form, ide.form.BrownoutRadioGroup, QStringLiteral("4.2V"))->click();
    if (change == "resettimer") Item(ide.form, ide.form.ResetTimerRadioGroup, QStringLiteral("60 ms"))->click();
    if (change == "id") SetId(ide.chip, "ABD");
    if (change == "program") ide.chip[99] ^= 0x001;

    ModalDriver driver;
    driver.Box(QMessageBox::Ok);
    ide.form.VerifyButton->click();
    QCOMPARE(driver.texts, QStringList{message});
    QCOMPARE(driver.buttons.back(), QStringList{"OK"});
}

void DeviceFormTest::readShowsTheChip() {
    QFETCH(int, family);
    DeviceIde ide(FamilyByIndex(family));
    ide.Show(64, "CHIPID", "Internal 128KHz");
    ide.form.ProtectCheckBox->click();
    const std::uint16_t fuse = ide.chip[kFuseIndex], ext = ide.chip[kExtFuseIndex];
    ide.form.ProgramButton->click();

    BlankImage(ide.chip, ide.shell->family);
    ide.form.ShowSettings();
    QCOMPARE(ide.form.IDStringLabel->text(), QString());
    ide.form.ReadButton->click();
    QCOMPARE(ide.shell->progress->shownTexts.last(), QStringLiteral("Reading..."));
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("CHIPID"));
    QCOMPARE(ide.form.GroupButtons(ide.form.OscRadioGroup)[ide.form.ItemIndex(ide.form.OscRadioGroup)]->text(),
             QStringLiteral("Internal 128KHz"));
    QVERIFY(ide.form.ProtectCheckBox->isChecked());
    QCOMPARE(ide.chip[kFuseIndex], fuse);
    QCOMPARE(ide.chip[kExtFuseIndex], ext);
    QCOMPARE(ide.chip[63] & kWordMask, ((63 * 37 + 5) & 0xFFF));
    QCOMPARE(ide.form.EELabels[0]->text().mid(5, 3), QStringLiteral("005"));
}

void DeviceFormTest::linkFailureShowsAbortBox() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    ide.device->failOpen = true;
    const Image before = ide.state->ChipImage;
    ModalDriver driver;
    driver.Box(QMessageBox::Abort);
    ide.form.ReadButton->click();
    QCOMPARE(driver.texts, QStringList{"Unable to open COM1."});
    QCOMPARE(driver.buttons.back(), QStringList{"Abort"});
    QVERIFY(ide.state->ChipImage == before);
    QVERIFY(!ide.shell->progress->isVisible());
}

void DeviceFormTest::emptyImageAndDataOutsideTheChipAreRefused() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    ModalDriver driver;
    driver.Box(QMessageBox::Abort);
    ide.form.ProgramButton->click();
    QCOMPARE(driver.texts,
             QStringList{"Nothing to program: the image holds no program words, so the chip was not erased."});
    QCOMPARE(ide.device->opens, 0);
    QVERIFY(ide.shell->progress->shownTexts.isEmpty());

    // Word 0x900 of a 2048-word chip: refused with its line, the image kept.
    const QString path = ide.File("outside.sxh");
    WriteFile(path, Record(0, {0xC05}) + Record(0x900, {0x123}) + Record(0x1010, {0xFFA, 0xBFE}) + ":00000001FF\r\n");
    const Image before = ide.state->ChipImage;
    driver.File(ide.editor(), path);
    driver.Box(QMessageBox::Abort);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts.size(), 2);
    QCOMPARE(driver.texts[1],
             QStringLiteral("ERROR! Hex file places data outside the chip's address range.\n(line 2 of ") + path +
                 QStringLiteral(")"));
    QVERIFY(ide.state->ChipImage == before);
}

void DeviceFormTest::loadHexDialog() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    ModalDriver driver;
    QString title, suffix;
    QStringList filters;
    // The dialog as the window prepared it, cancelled.
    ide.editor().RunFileDialog = [&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        filters = dialog.nameFilters();
        suffix = dialog.defaultSuffix();
        return QString();
    };
    ide.form.LoadButton->click();
    QCOMPARE(title, QStringLiteral("Load Hex"));
    QCOMPARE(filters, QStringList{"SX Hex File (*.SXH)"});
    QCOMPARE(suffix, QStringLiteral("SXH"));
    ide.form.SaveButton->click();
    QCOMPARE(title, QStringLiteral("Save Hex"));
    QCOMPARE(filters, QStringList{"SX Hex File (*.SXH *.OBJ *.HEX)"});
    QCOMPARE(driver.texts, QStringList());  // cancelled dialogs do nothing else
}

void DeviceFormTest::loadPic16c5xFileWarnsAndAdopts() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    const QString path = ide.File("pic54.hex");
    // A 512-word part: code at 0, the reset vector in the last word, the
    // configuration word at 0x0FFF, no device code.
    WriteFile(path, Record(0, {0xC05, 0x026, 0xA00}) + Record(0x1FF, {0xA00}) + Record(0xFFF, {0xFF9}) +
                        ":00000001FF\r\n");
    ModalDriver driver;
    driver.File(ide.editor(), path);
    driver.Box(QMessageBox::Abort);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts.size(), 1);
    QVERIFY(driver.texts[0].startsWith(QStringLiteral("WARNING! Fuse data was absent from hex file.\n")));
    QCOMPARE(driver.buttons.back(), QStringList{"Abort"});
    const Image& chip = ide.state->ChipImage;
    QCOMPARE(chip[0] & kWordMask, 0xC05);
    QCOMPARE(chip[0x1FF] & kWordMask, 0xA00);
    QCOMPARE(chip[kExtFuseIndex] & 0x403, 0x000);  // PIC16C54
    QCOMPARE(ide.form.GroupButtons(ide.form.DeviceRadioGroup)[ide.form.ItemIndex(ide.form.DeviceRadioGroup)]->text(),
             QStringLiteral("PIC16C54"));
    QCOMPARE(ide.form.EEScrollBar->maximum(), 56);
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("FFFF"));
}

// A 28L image (TURBO, STACKX_OPTIONX) in Korvid52: a Yes/No warning; No
// leaves both images, Yes loads the file.
void DeviceFormTest::loadForeignFuseWordsAsksFirst() {
    DeviceIde ide(Sx52Family());
    ide.Show();
    SetId(ide.state->ChipImage, "KEEP");
    ide.form.ShowSettings();
    const Image chip = ide.state->ChipImage, device = ide.state->DeviceImage;
    const QString path = ide.File("blink28.sxh");
    WriteFile(path, Record(0, {0xC05}) + Record(0x1010, {0x7F9, 0xB7F}) + ":00000001FF\r\n");
    ModalDriver driver;
    driver.File(ide.editor(), path);
    driver.Box(QMessageBox::No);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts.size(), 1);
    QVERIFY(driver.texts[0].startsWith(QStringLiteral("blink28.sxh\n\nThe fuse words (FUSE 7F9, FUSEX B7F) cannot "
                                                      "belong to the 52 family")));
    QVERIFY(driver.texts[0].endsWith(QStringLiteral("they fit the 28L family.\n\nLoad it anyway?")));
    QStringList buttons = driver.buttons.back();
    buttons.sort();
    QCOMPARE(buttons, QStringList({"No", "Yes"}));
    QVERIFY(ide.state->ChipImage == chip);
    QVERIFY(ide.state->DeviceImage == device);
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("KEEP"));

    driver.File(ide.editor(), path);
    driver.Box(QMessageBox::Yes);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts.size(), 2);
    QCOMPARE(ide.state->ChipImage[0] & kWordMask, 0xC05);
    QCOMPARE(ide.form.IDStringLabel->text(), QString());
}

void DeviceFormTest::loadViolationLeavesTheImage() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    SetId(ide.state->ChipImage, "KEEP");
    ide.form.ShowSettings();
    const Image before = ide.state->ChipImage;
    const QString bad = ide.File("bad.sxh");
    QByteArray record = Record(0, {0x123, 0x456});
    record[record.size() - 3] = record[record.size() - 3] == '0' ? '1' : '0';  // spoil the checksum
    WriteFile(bad, record);
    ModalDriver driver;
    driver.File(ide.editor(), bad);
    driver.Box(QMessageBox::Abort);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts, QStringList{"ERROR! Hex violation was encountered in file."});
    QCOMPARE(driver.buttons.back(), QStringList{"Abort"});
    QVERIFY(ide.state->ChipImage == before);
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("KEEP"));

    // A file too large for the buffer is refused with the error box.
    const QString big = ide.File("big.sxh");
    WriteFile(big, QByteArray(600000, '\n'));
    driver.File(ide.editor(), big);
    driver.Box(QMessageBox::Ok);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts.size(), 2);
    QVERIFY(driver.texts[1].contains(QStringLiteral("too large")));
    QVERIFY(ide.state->ChipImage == before);
}

void DeviceFormTest::saveThenLoadKeepsTheSettings() {
    QFETCH(int, family);
    DeviceIde ide(FamilyByIndex(family));
    ide.Show(40, "SAVED", "Internal 32KHz");
    Item(ide.form, ide.form.BrownoutRadioGroup, QStringLiteral("2.6V"))->click();
    ide.form.CarryCheckBox->click();
    ide.form.SyncCheckBox->click();
    const std::uint16_t fuse = ide.chip[kFuseIndex], ext = ide.chip[kExtFuseIndex];

    const QString path = ide.File("image.SXH");
    ModalDriver driver;
    driver.File(ide.editor(), path);
    ide.form.SaveButton->click();
    QVERIFY(ReadFile(path).endsWith(":00000001FF\r\n"));

    BlankImage(ide.chip, ide.shell->family);
    ide.form.ShowSettings();
    driver.File(ide.editor(), path);
    ide.form.LoadButton->click();
    QCOMPARE(driver.texts, QStringList());
    QCOMPARE(ide.chip[kFuseIndex], fuse);
    QCOMPARE(ide.chip[kExtFuseIndex], ext);
    QCOMPARE(ide.form.IDStringLabel->text(), QStringLiteral("SAVED"));
    QCOMPARE(ide.chip[39] & kWordMask, (39 * 37 + 5) & 0xFFF);
    QCOMPARE(ide.form.GroupButtons(ide.form.OscRadioGroup)[ide.form.ItemIndex(ide.form.OscRadioGroup)]->text(),
             QStringLiteral("Internal 32KHz"));
    QVERIFY(ide.form.CarryCheckBox->isChecked());
}

void DeviceFormTest::saveAsksBeforeOverwriting() {
    DeviceIde ide(Sx28lFamily());
    ide.Show();
    const QString path = ide.File("old.sxh");
    WriteFile(path, "old contents");
    ModalDriver driver;
    for (auto answer : {QMessageBox::No, QMessageBox::Cancel}) {
        driver.File(ide.editor(), path);
        driver.Box(answer);
        ide.form.SaveButton->click();
        QCOMPARE(driver.texts.last(), QStringLiteral("OK to overwrite ") + path);
        QStringList buttons = driver.buttons.back();
        buttons.sort();
        QCOMPARE(buttons, QStringList({"Cancel", "No", "Yes"}));
        QCOMPARE(ReadFile(path), QByteArray("old contents"));
    }
    driver.File(ide.editor(), path);
    driver.Box(QMessageBox::Yes);
    ide.form.SaveButton->click();
    QVERIFY(ReadFile(path).startsWith(":20000000"));
}

void DeviceFormTest::hexLoadAndSaveLeaveTheListing() {
    DeviceIde ide(Sx28lFamily());
    ide.SetText("LISTING LINE\r");
    ide.editor().RunAssemble();
    const std::uint32_t length = ide.state->ListLength;
    const QByteArray listing(ide.state->ListText, qsizetype(length));
    ide.editor().RunDevice();
    const QString path = ide.File("x.sxh");
    ModalDriver driver;
    driver.File(ide.editor(), path);
    ide.form.SaveButton->click();
    driver.File(ide.editor(), path);
    ide.form.LoadButton->click();
    QCOMPARE(driver.dialogTitles, QStringList({"Save Hex", "Load Hex"}));
    QCOMPARE(driver.texts, QStringList());
    QCOMPARE(ide.state->ListLength, length);
    QCOMPARE(QByteArray(ide.state->ListText, qsizetype(length)), listing);
}

QTEST_MAIN(DeviceFormTest)
#include "DeviceFormTest.moc"
