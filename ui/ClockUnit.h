// The Clock window of the tool's clock generator: the frequency typed in
// MHz or set with a vertical track bar (110 MHz at the top, 400 kHz at the
// bottom), the On box that starts and stops the output, Reset and Okay. The
// port stays open while the window is up; a keep-alive timer polls the chip
// and closes the window once a link failure has closed the port.
#pragma once

#include <QDialog>
#include <cstdint>

#include "ui/Shell.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace korvid {

class TClockForm : public QDialog {
    Q_OBJECT
public:
    explicit TClockForm(Shell& shell, QWidget* parent = nullptr);

    QLineEdit* Edit = nullptr;
    QSlider* TrackBar = nullptr;
    QLabel* HighLabel = nullptr;
    QLabel* LowLabel = nullptr;
    QLabel* EditLabel = nullptr;
    QCheckBox* CheckBox = nullptr;
    QPushButton* ResetButton = nullptr;
    QPushButton* OkayButton = nullptr;
    QTimer* Timer = nullptr;

    // The window's working frequency in Hz.
    std::uint32_t Frequency() const { return frequency_; }

    static constexpr int kTimerIntervalMs = 500;

public slots:
    void FormShow();
    void FormHide();
    void TrackBarChange(int position);
    void EditExit();
    void CheckBoxClick();
    void ResetButtonClick();
    void TimerTick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    Shell& shell_;

private:
    // Clamps, shows the frequency in the edit and on the track bar, and
    // starts the clock at it when it changed and the output is on.
    void UpdateClock();
    bool EditKeyPress(QKeyEvent* event);

    std::uint32_t frequency_ = 0;
};

}  // namespace korvid
