// The IRC window: after a programming run that calibrated the internal RC
// oscillator, the frequency measured for each of the eight trims (trim 0,
// the fastest, at the top), the chosen trim in bold.
#pragma once

#include <QDialog>
#include <array>

#include "ui/Shell.h"

class QLabel;
class QPushButton;

namespace korvid {

class TIRCForm : public QDialog {
    Q_OBJECT
public:
    explicit TIRCForm(Shell& shell, QWidget* parent = nullptr);

    QLabel* FreqLabel = nullptr;                // heading "Freq (MHz)"
    std::array<QLabel*, 8> FreqLabels{};        // FreqLabel0 .. FreqLabel7, tags 1 to 8
    QPushButton* OkayButton = nullptr;

public slots:
    // Fills the labels from the link's IRC counts and chosen trim.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

    Shell& shell_;
};

}  // namespace korvid
