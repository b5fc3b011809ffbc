// The small window shown while printing: the page being printed of the
// page count, and Cancel.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "ui/Shell.h"
#include "ui/WindowRoles.h"

namespace korvid {

class TPrintStatusForm : public QDialog, public PrintStatusRole {
    Q_OBJECT
public:
    explicit TPrintStatusForm(Shell& shell, QWidget* parent = nullptr);

    void FormShow();
    void NextPage() override;
    void CancelButtonClick() { cancelled = 1; }
    // PrintStatusRole: shown for a document of `pages` pages until End.
    void Begin(int pages) override;
    bool Cancelled() const override { return cancelled != 0; }
    void End() override { hide(); }

    QLabel* PrintingLabel;
    QLabel* PagesLabel;
    QPushButton* CancelButton;
    std::uint8_t cancelled = 0;
    std::int32_t pageCounter = 0;
    std::int32_t pages = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Shell& shell_;
};

}  // namespace korvid
