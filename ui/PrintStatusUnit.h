// The small window shown while printing: the page being printed of the
// page count, and Cancel.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "ui/Shell.h"

namespace korvid {

class TPrintStatusForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrintStatusForm(Shell& shell, QWidget* parent = nullptr);

    void FormShow();
    void NextPage();
    void CancelButtonClick() { cancelled = 1; }

    QLabel* PrintingLabel;
    QLabel* PagesLabel;
    QPushButton* CancelButton;
    std::uint8_t cancelled = 0;
    std::int32_t pageCounter = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Shell& shell_;
};

}  // namespace korvid
