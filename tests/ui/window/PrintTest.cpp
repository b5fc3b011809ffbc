// Printing to a PDF file, read back with pdftotext and pdfinfo: the labels of
// the dialog, cut lines, the selection range, sections and page counts.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "WindowSupport.h"
#include "ui/PrintStatusUnit.h"
#include "ui/PrintUnit.h"

using namespace korvid;
using namespace korvid::test;

class PrintTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    int files = 0;

    struct Printed {
        QString usage, page;
        bool okay = false;
        QString text;  // pdftotext -layout
        int pages = 0;
    };

    // Opens File > Print, lets `setup` change the dialog, then prints (or
    // cancels when `print` is false).
    Printed Print(TestIde& ide, const std::function<void(TPrintForm&)>& setup, bool print = true,
                  bool cancel = false) {
        Printed out;
        // Cancel in the status window as soon as it shows.
        QTimer canceller;
        TPrintStatusForm* status = ide.shell->printStatus;
        QObject::connect(&canceller, &QTimer::timeout, [&] {
            if (status->isVisible()) status->CancelButton->click();
        });
        if (cancel) canceller.start(1);
        const QString pdf = dir.filePath(QString("out%1.pdf").arg(++files));
        TPrintForm& form = *ide.shell->print;
        form.AskPdfFileName = [pdf] { return pdf; };
        ModalDriver driver;
        driver.Any([&](QWidget*) {
            form.PrinterComboBox->setCurrentText(kPdfPrinterName);
            form.OrientationGroup->SetItemIndex(0);
            form.SectionsSpinEdit->setValue(1);
            form.FontSizeSpinEdit->setValue(9);
            if (setup) setup(form);
            out.usage = form.UsageLabel->text();
            out.page = form.PageLabel->text();
            out.okay = form.OkayButton->isEnabled();
            if (print && out.okay)
                form.OkayButton->click();
            else
                form.CancelButton->click();
        });
        ide.editor().Item("FilePrintItem")->trigger();
        if (!QFile::exists(pdf)) return out;
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        text.waitForFinished();
        out.text = QString::fromLatin1(text.readAllStandardOutput());
        QProcess info;
        info.start("pdfinfo", {pdf});
        info.waitForFinished();
        for (const QString& line : QString::fromLatin1(info.readAllStandardOutput()).split('\n'))
            if (line.startsWith("Pages:")) out.pages = line.mid(6).trimmed().toInt();
        return out;
    }

    static std::string Lines(int n, const char* prefix) {
        std::string s;
        for (int i = 0; i < n; ++i) s += (i ? "\r" : "") + std::string(prefix) + std::to_string(i);
        return s;
    }

private slots:
    void emptyTextCannotBePrinted() {
        TestIde ide(Sx28lFamily());
        Printed p = Print(ide, nullptr);
        QCOMPARE(p.usage, QString("0 Lines = 0 Pages"));
        QVERIFY(!p.okay);
    }

    // A PDF file name typed without its suffix gets ".pdf".
    void pdfNameGetsItsSuffix() {
        TestIde ide(Sx28lFamily());
        ide.SetText("one line");
        const QString bare = dir.filePath("nosuffix");
        Print(ide, [&](TPrintForm& form) { form.AskPdfFileName = [bare] { return bare; }; });
        QVERIFY(QFile::exists(bare + ".pdf"));
        QVERIFY(!QFile::exists(bare));
    }

    void longLinesAreCutAndTabsExpanded() {
        TestIde ide(Sx28lFamily());
        ide.SetText("first\r\tsecond\r" + std::string(400, 'L') + "TAIL\rlast");
        int columns = 0;
        Printed p = Print(ide, [&](TPrintForm& f) { columns = f.columns; });
        QCOMPARE(p.usage, QString("4 Lines = 1 Page"));
        QCOMPARE(p.pages, 1);
        QVERIFY(columns > 20 && columns < 400);
        QVERIFY(p.text.contains("first"));
        QVERIFY(p.text.contains("        second"));
        QVERIFY(p.text.contains(QString(columns, 'L')));
        QVERIFY(!p.text.contains(QString(columns + 1, 'L')));
        QVERIFY(!p.text.contains("TAIL"));
        QVERIFY(p.text.contains("last"));
        QCOMPARE(ide.text().caret, 0);  // the caret is restored
    }

    void selectionPrintsTheLinesItTouches() {
        TestIde ide(Sx28lFamily());
        SetMarked(ide, "line1\rline2\rli^ne3\rline4\r|line5\rline6");
        Printed p = Print(ide, [](TPrintForm& f) { QCOMPARE(f.RangeGroup->ItemIndex(), 1); });
        QCOMPARE(p.usage, QString("2 Lines = 1 Page"));
        QVERIFY(p.text.contains("line3"));
        QVERIFY(p.text.contains("line4"));
        QVERIFY(!p.text.contains("line2"));
        QVERIFY(!p.text.contains("line5"));
        QCOMPARE(Marked(ide.text()), std::string("line1\rline2\rli^ne3\rline4\r|line5\rline6"));
        // Range All prints everything.
        p = Print(ide, [](TPrintForm& f) { f.RangeGroup->SetItemIndex(0); });
        QCOMPARE(p.usage, QString("6 Lines = 1 Page"));
        QVERIFY(p.text.contains("line6"));
    }

    void pagesAndSections() {
        TestIde ide(Sx28lFamily());
        int perSection = 0;
        ide.SetText(Lines(1, "x"));
        Print(ide, [&](TPrintForm& f) { perSection = f.linesPerSection; }, false);
        QVERIFY(perSection > 10);
        // Exactly one page of lines is one page.
        ide.SetText(Lines(perSection, "n"));
        Printed one = Print(ide, nullptr);
        QCOMPARE(one.usage, QString("%1 Lines = 1 Page").arg(perSection));
        QCOMPARE(one.pages, 1);
        // Three more lines: two pages with one section, one with two.
        ide.SetText(Lines(perSection + 3, "n"));
        Printed two = Print(ide, nullptr);
        QCOMPARE(two.usage, QString("%1 Lines = 2 Pages").arg(perSection + 3));
        QCOMPARE(two.pages, 2);
        Printed sections = Print(ide, [](TPrintForm& f) { f.SectionsSpinEdit->setValue(2); });
        QCOMPARE(sections.usage, QString("%1 Lines = 1 Page").arg(perSection + 3));
        QCOMPARE(sections.pages, 1);
        // The second section starts with the line after the first's last.
        QRegularExpression firstRow(QString("n0\\s+n%1\\b").arg(perSection));
        QVERIFY2(firstRow.match(sections.text).hasMatch(), qPrintable(sections.text.left(200)));
    }

    void cancelStopsPrinting() {
        TestIde ide(Sx28lFamily());
        ide.SetText(Lines(2000, "c"));
        Printed p = Print(ide, nullptr, true, true);
        QVERIFY(p.usage.endsWith(" Pages"));
        QVERIFY(p.pages < p.usage.section(' ', 3, 3).toInt());
        QCOMPARE(ide.shell->printStatus->cancelled, std::uint8_t(1));
        QVERIFY(!ide.shell->printStatus->isVisible());
        QCOMPARE(ide.text().caret, 0);
    }

    void landscapeChangesTheLabels() {
        TestIde ide(Sx28lFamily());
        ide.SetText(Lines(100, "r"));
        QString portrait, landscape;
        int portraitColumns = 0, landscapeColumns = 0;
        Print(ide, [&](TPrintForm& f) {
            portrait = f.PageLabel->text();
            portraitColumns = f.columns;
            f.OrientationGroup->SetItemIndex(1);
            landscape = f.PageLabel->text();
            landscapeColumns = f.columns;
        }, false);
        QVERIFY(portrait != landscape);
        QVERIFY(landscapeColumns > portraitColumns);
        QVERIFY(landscape.endsWith(" Line Page"));
    }
};

QTEST_MAIN(PrintTest)
#include "PrintTest.moc"
