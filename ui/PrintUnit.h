// Printing the source (or the listing): the Print dialog that shows the page
// geometry for the chosen printer, orientation, font size and sections, and
// the page printer that cuts long lines and fills sections top to bottom,
// then left to right. The printer list ends with a "PDF file" entry.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <functional>
#include <memory>

#include "ui/Shell.h"
#include "ui/WindowRoles.h"
#include "model/TextBuffer.h"

namespace korvid {

inline const char* const kPdfPrinterName = "PDF file";

// A radio group: a framed set of radio buttons with an item index.
class TRadioGroup : public QWidget {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const { return buttons_[std::size_t(index)]; }

signals:
    void Changed();

private:
    std::vector<QRadioButton*> buttons_;
};

class TPrintForm : public QDialog, public PrintRole {
    Q_OBJECT
public:
    explicit TPrintForm(Shell& shell, QWidget* parent = nullptr);

    // PrintRole (File > Print): the dialog, then the pages, with the status
    // window.
    void PrintText(TextBuffer& text) override;

    void FormActivate();
    void UpdateSettings();
    void OkayButtonClick() { accept(); }
    void CancelButtonClick() { reject(); }
    // Prints one page from the text's caret; true when `stop` was reached
    // (or printing was cancelled).
    bool PrintPage(QPainter& painter, TextBuffer& text, std::int32_t stop);
    QPrinter& Printer() { return *printer_; }
    bool PrintsToPdf() const { return PrinterComboBox->currentText() == QLatin1String(kPdfPrinterName); }

    std::int32_t totalLines = 0;
    std::int32_t selectionLines = 0;
    std::int32_t fontSize = 9;
    std::int32_t sections = 1;
    std::int32_t columns = 0;
    std::int32_t linesPerSection = 0;
    std::int32_t charWidth = 1, charHeight = 1;
    std::int32_t xOffset = 0, yOffset = 0;
    std::uint8_t range = 0;
    std::int32_t lineCount = 0;
    std::int32_t pageCount = 0;

    QComboBox* PrinterComboBox;
    TRadioGroup* RangeGroup;
    TRadioGroup* OrientationGroup;
    QSpinBox* FontSizeSpinEdit;
    QSpinBox* SectionsSpinEdit;
    QLabel* PageLabel;
    QLabel* CharacterLabel;
    QLabel* UsageLabel;
    QPushButton* OkayButton;
    QPushButton* CancelButton;

    // Asks for the PDF file name ("" cancels); tests replace it.
    std::function<QString()> AskPdfFileName;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The constructor's parts.
    void CreateControls();
    void LayOutControls();
    void ConnectControls();
    void ChooseDefaultPrinter();

    Shell& shell_;
    std::unique_ptr<QPrinter> printer_;
    QString currentPrinter_;
    bool suppress_ = false;
};

}  // namespace korvid
