#include "ui/PrintUnit.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPrinterInfo>
#include <QScreen>
#include <QVBoxLayout>

#include "core/link/LinkError.h"
#include "ui/CommandGuard.h"

namespace korvid {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent) : QWidget(parent) {
    auto* box = new QGroupBox(caption, this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(box);
    auto* inner = new QVBoxLayout(box);
    auto* group = new QButtonGroup(this);
    for (const QString& item : items) {
        auto* b = new QRadioButton(item, box);
        group->addButton(b, int(buttons_.size()));
        buttons_.push_back(b);
        inner->addWidget(b);
    }
    buttons_.front()->setChecked(true);
    connect(group, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) emit Changed();
    });
}

int TRadioGroup::ItemIndex() const {
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->isChecked()) return int(i);
    return -1;
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < int(buttons_.size())) buttons_[std::size_t(index)]->setChecked(true);
}

TPrintForm::TPrintForm(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      shell_(shell), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setWindowTitle(QStringLiteral("Print"));
    CreateControls();
    LayOutControls();
    ConnectControls();
    ChooseDefaultPrinter();
}

// The printer list, the range and orientation groups, the font size and
// section spin boxes, the three geometry labels and the buttons.
void TPrintForm::CreateControls() {
    PrinterComboBox = new QComboBox(this);
    PrinterComboBox->setObjectName(QStringLiteral("PrinterComboBox"));
    RangeGroup = new TRadioGroup(QStringLiteral("Range"), {QStringLiteral("All"), QStringLiteral("Selection")}, this);
    RangeGroup->setObjectName(QStringLiteral("RangeGroup"));
    OrientationGroup = new TRadioGroup(QStringLiteral("Orientation"),
                                       {QStringLiteral("Portrait"), QStringLiteral("Landscape")}, this);
    OrientationGroup->setObjectName(QStringLiteral("OrientationGroup"));
    FontSizeSpinEdit = new QSpinBox(this);
    FontSizeSpinEdit->setObjectName(QStringLiteral("FontSizeSpinEdit"));
    FontSizeSpinEdit->setRange(1, 72);
    SectionsSpinEdit = new QSpinBox(this);
    SectionsSpinEdit->setObjectName(QStringLiteral("SectionsSpinEdit"));
    SectionsSpinEdit->setRange(1, 24);
    PageLabel = new QLabel(this);
    CharacterLabel = new QLabel(this);
    UsageLabel = new QLabel(this);
    PageLabel->setObjectName(QStringLiteral("PageLabel"));
    CharacterLabel->setObjectName(QStringLiteral("CharacterLabel"));
    UsageLabel->setObjectName(QStringLiteral("UsageLabel"));
    QFont bold = UsageLabel->font();
    bold.setBold(true);
    UsageLabel->setFont(bold);
    for (QLabel* l : {PageLabel, CharacterLabel, UsageLabel}) l->setAlignment(Qt::AlignCenter);
    OkayButton = new QPushButton(QStringLiteral("Okay"), this);
    OkayButton->setObjectName(QStringLiteral("OkayButton"));
    OkayButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
}

// Printer list on top, the two groups side by side, the spin boxes with
// their captions, the labels, then the buttons.
void TPrintForm::LayOutControls() {
    auto* grid = new QGridLayout(this);
    grid->addWidget(PrinterComboBox, 0, 0, 1, 2);
    grid->addWidget(RangeGroup, 1, 0);
    grid->addWidget(OrientationGroup, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Font Size"), this), 2, 0);
    grid->addWidget(FontSizeSpinEdit, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Sections"), this), 3, 0);
    grid->addWidget(SectionsSpinEdit, 3, 1);
    grid->addWidget(PageLabel, 4, 0, 1, 2);
    grid->addWidget(CharacterLabel, 5, 0, 1, 2);
    grid->addWidget(UsageLabel, 6, 0, 1, 2);
    grid->addWidget(OkayButton, 7, 0);
    grid->addWidget(CancelButton, 7, 1);
}

// The buttons close the dialog; every setting recomputes the geometry
// (except while FormActivate fills the controls).
void TPrintForm::ConnectControls() {
    connect(OkayButton, &QPushButton::clicked, this, &TPrintForm::OkayButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TPrintForm::CancelButtonClick);
    auto changed = [this] {
        if (!suppress_) UpdateSettings();
    };
    connect(PrinterComboBox, &QComboBox::currentIndexChanged, this, changed);
    connect(RangeGroup, &TRadioGroup::Changed, this, changed);
    connect(OrientationGroup, &TRadioGroup::Changed, this, changed);
    connect(FontSizeSpinEdit, &QSpinBox::valueChanged, this, changed);
    connect(SectionsSpinEdit, &QSpinBox::valueChanged, this, changed);
}

// The system's default printer, else the PDF file, whose name is asked for
// when printing starts.
void TPrintForm::ChooseDefaultPrinter() {
    QString defaultName = QPrinterInfo::defaultPrinterName();
    currentPrinter_ = defaultName.isEmpty() ? QString::fromLatin1(kPdfPrinterName) : defaultName;
    if (currentPrinter_ == QLatin1String(kPdfPrinterName)) printer_->setOutputFormat(QPrinter::PdfFormat);

    AskPdfFileName = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Print to PDF file"), QString(),
                                            QStringLiteral("PDF Files (*.pdf)"));
    };
}

void TPrintForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    FormActivate();
}

void TPrintForm::FormActivate() {
    suppress_ = true;
    PrinterComboBox->clear();
    QStringList names = QPrinterInfo::availablePrinterNames();
    names << QString::fromLatin1(kPdfPrinterName);
    PrinterComboBox->addItems(names);
    int current = PrinterComboBox->findText(currentPrinter_);
    PrinterComboBox->setCurrentIndex(current >= 0 ? current : PrinterComboBox->count() - 1);
    RangeGroup->SetItemIndex(selectionLines != 0 ? 1 : 0);
    OrientationGroup->SetItemIndex(printer_->pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0);
    FontSizeSpinEdit->setValue(fontSize);
    SectionsSpinEdit->setValue(std::max(sections, 1));
    suppress_ = false;
    UpdateSettings();
}

void TPrintForm::UpdateSettings() {
    // 1. The chosen printer and orientation.
    QString chosen = PrinterComboBox->currentText();
    if (!chosen.isEmpty() && chosen != currentPrinter_) {
        currentPrinter_ = chosen;
        if (chosen == QLatin1String(kPdfPrinterName)) {
            printer_->setOutputFormat(QPrinter::PdfFormat);
        } else {
            printer_->setOutputFormat(QPrinter::NativeFormat);
            printer_->setPrinterName(chosen);
        }
    }
    QPageLayout::Orientation orientation =
        OrientationGroup->ItemIndex() == 1 ? QPageLayout::Landscape : QPageLayout::Portrait;
    if (printer_->pageLayout().orientation() != orientation) printer_->setPageOrientation(orientation);

    // 2. Printer font and character size.
    fontSize = FontSizeSpinEdit->value();
    QFont font(QStringLiteral("Courier New"), fontSize);
    QFontMetrics fm(font, printer_.get());
    charWidth = std::max(fm.horizontalAdvance(QLatin1Char('X')), 1);
    charHeight = std::max(fm.height(), 1);

    // 3..5. Geometry.
    const int pageWidth = printer_->width();
    const int pageHeight = printer_->height();
    sections = SectionsSpinEdit->value();
    columns = pageWidth / charWidth;
    if (sections > 1) columns = (pageWidth / charWidth - sections - 1) / sections;
    columns = std::max(columns, 0);
    linesPerSection = std::max(pageHeight / charHeight, 0);
    xOffset = (pageWidth - ((sections > 1 ? sections + 1 : 0) + sections * columns) * charWidth) / 2;
    yOffset = (pageHeight - linesPerSection * charHeight) / 2;

    // 6. Labels.
    PageLabel->setText(QString::number(columns) + QStringLiteral(" Column x ") +
                       QString::number(sections * linesPerSection) + QStringLiteral(" Line Page"));
    CharacterLabel->setText(QString::number(charWidth) + QStringLiteral(" x ") + QString::number(charHeight) +
                            QStringLiteral(" Pixel Characters"));

    // 7. Usage.
    lineCount = RangeGroup->ItemIndex() == 1 ? selectionLines : totalLines;
    const std::int64_t perPage = std::int64_t(sections) * linesPerSection;
    pageCount = perPage > 0 ? std::int32_t((lineCount + perPage - 1) / perPage) : 0;
    UsageLabel->setText(QString::number(lineCount) + QStringLiteral(" Lines = ") + QString::number(pageCount) +
                        (pageCount == 1 ? QStringLiteral(" Page") : QStringLiteral(" Pages")));

    // 8.
    range = std::uint8_t(RangeGroup->ItemIndex() == 1 ? 1 : 0);
    OkayButton->setEnabled(columns > 0 && lineCount != 0 && linesPerSection > 0);
}

bool TPrintForm::PrintPage(QPainter& painter, TextBuffer& t, std::int32_t stop) {
    PrintStatusRole* status = RoleOf(shell_.printStatus);
    if (status) status->NextPage();
    QCoreApplication::processEvents();  // lets Cancel be pressed

    QPen pen(Qt::black);
    pen.setWidth((charWidth >> 3) + 1);
    painter.setPen(pen);
    if (sections > 1) {
        for (int b = 0; b <= sections; ++b) {
            int x = (columns + 1) * charWidth * b + xOffset + charWidth / 2;
            painter.drawLine(x, yOffset, x, yOffset + linesPerSection * charHeight);
        }
    }
    QFont font(QStringLiteral("Courier New"), fontSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    const int ascent = QFontMetrics(font, painter.device()).ascent();

    std::string line;
    line.reserve(std::size_t(columns) + 1);
    const int lines = sections * linesPerSection;
    if (lines <= 0) return true;  // no room on the page: nothing to print
    for (int k = 0; k < lines; ++k) {
        const int x = ((k / linesPerSection) * (columns + 1) + 1) * charWidth + xOffset;
        const int y = (k % linesPerSection) * charHeight + yOffset;
        line.clear();
        std::int32_t column = 0;
        bool finished = false;
        for (;;) {
            std::uint8_t b = t.CharAtCursor();
            finished = t.caret == stop || (status && status->Cancelled());
            if (!finished) t.CursorRight();
            if (b == std::uint8_t(CR) || finished) break;
            auto put = [&](char c) {
                if (column < columns) line.push_back(c);
                ++column;
            };
            if (b == std::uint8_t(TAB)) {
                do put(' ');
                while (column & 7);
            } else {
                put(char(b));
            }
        }
        if (!line.empty()) painter.drawText(x, y + ascent, QString::fromLatin1(line.data(), qsizetype(line.size())));
        if (finished) return true;
        if ((k & 15) == 15) QCoreApplication::processEvents();
    }
    return false;
}

namespace {
// The line counts the Print window offers: all lines, and those of the
// selection widened to whole lines ([start, end), 0 lines without one).
void CountLines(TPrintForm& form, TextBuffer& t, std::int32_t& start, std::int32_t& end) {
    std::int32_t crs = 0;
    for (std::int32_t p = 0; p < t.length; ++p) crs += t.ByteAt(p) == std::uint8_t(CR);
    form.totalLines = (t.length != 0 ? 1 : 0) + crs;
    start = end = 0;
    if (!t.GetSelection(start, end)) {
        form.selectionLines = 0;
        return;
    }
    t.caret = end - 1;
    t.LineEnd();
    end = t.caret;
    t.caret = start;
    t.LineStart();
    start = t.caret;
    std::int32_t n = 0;
    for (std::int32_t p = start; p < end; ++p) n += t.ByteAt(p) == std::uint8_t(CR);
    form.selectionLines = 1 + n;
}

// Points the printer at a PDF file asked for now, or at the printer itself;
// false when the file dialog was cancelled.
bool ChooseOutput(TPrintForm& form, QPrinter& printer) {
    if (form.PrintsToPdf()) {
        QString name = form.AskPdfFileName();
        if (name.isEmpty()) return false;
        // A name typed without the suffix still makes a file PDF readers know.
        if (!name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) name += QLatin1String(".pdf");
        printer.setOutputFileName(name);
    } else {
        printer.setOutputFileName(QString());
    }
    printer.setDocName(QStringLiteral("Korvid"));
    return true;
}

// Prints page after page up to `stop`; a cancel in the status window
// aborts the document.
void PrintPages(TPrintForm& form, QPrinter& printer, TextBuffer& t, std::int32_t stop, PrintStatusRole* status) {
    QPainter painter;
    if (!painter.begin(&printer)) throw FileError("The printer could not start the document.");
    for (;;) {
        if (form.PrintPage(painter, t, stop)) break;
        if (!printer.newPage()) {
            painter.end();
            throw FileError("The printer could not start a new page.");
        }
    }
    if (status && status->Cancelled())
        printer.abort();
    painter.end();
}
}  // namespace

void TPrintForm::PrintText(TextBuffer& t) {
    const std::int32_t keep = t.caret;
    struct Restore {
        TextBuffer& t;
        std::int32_t caret;
        ~Restore() { t.caret = caret; }
    } restore{t, keep};

    std::int32_t start = 0, end = 0;
    CountLines(*this, t, start, end);
    t.caret = keep;
    if (exec() != QDialog::Accepted) return;

    std::int32_t stop = t.length;
    t.caret = 0;
    if (range == 1) {
        t.caret = start;
        stop = end;
    }
    QPrinter& printer = Printer();
    if (!ChooseOutput(*this, printer)) return;

    PrintStatusRole* status = RoleOf(shell_.printStatus);
    if (status) status->Begin(pageCount);
    struct EndStatus {
        PrintStatusRole* s;
        ~EndStatus() {
            if (s) s->End();
        }
    } endStatus{status};
    PrintPages(*this, printer, t, stop, status);
}

}  // namespace korvid
