// The Device window: the configuration words of the chip image as radio
// groups and check boxes, the ID, a read-only view of program memory, and
// the Load Hex, Save Hex, Program, Verify, Read and Cancel buttons. The
// controls have no state of their own: ShowSettings derives them from the
// chip image and every change writes both words back (UpdateSettings).
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QString>
#include <array>
#include <string_view>
#include <vector>

#include "model/DeviceSettings.h"
#include "ui/Shell.h"
#include "ui/WindowRoles.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace korvid {

class LinkObserver;

struct HexDialog;  // one of the window's hex file dialogs

class TDeviceForm : public QDialog, public DeviceRole {
    Q_OBJECT
public:
    explicit TDeviceForm(Shell& shell, QWidget* parent = nullptr);

    // Sets the controls from the chip image's configuration words, the ID
    // and the E²Flash rows, then writes the words back from the controls.
    void ShowSettings();
    // DeviceRole: an open window shows the settings of the new assembly.
    void Assembled() override {
        if (isVisible()) ShowSettings();
    }

    // Controls, by their window names. Groups and boxes a family does not
    // have are null (DeviceRadioGroup and TurboCheckBox in Korvid52, ...).
    QGroupBox* OscRadioGroup = nullptr;
    QGroupBox* DeviceRadioGroup = nullptr;
    QGroupBox* BrownoutRadioGroup = nullptr;
    QGroupBox* ResetTimerRadioGroup = nullptr;
    QCheckBox* WatchdogCheckBox = nullptr;
    QCheckBox* ProtectCheckBox = nullptr;
    QCheckBox* SyncCheckBox = nullptr;
    QCheckBox* TurboCheckBox = nullptr;
    QCheckBox* CarryCheckBox = nullptr;
    QCheckBox* StackOptionCheckBox = nullptr;
    QCheckBox* SleepClockCheckBox = nullptr;
    QCheckBox* DriveCheckBox = nullptr;
    QCheckBox* FeedbackCheckBox = nullptr;
    std::array<QLabel*, 8> EELabels{};  // EELabel0 .. EELabel7
    QScrollBar* EEScrollBar = nullptr;
    QLabel* IDStringLabel = nullptr;
    QPushButton* LoadButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* ProgramButton = nullptr;
    QPushButton* VerifyButton = nullptr;
    QPushButton* ReadButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // The radio buttons of a group (in item order) and its selected item
    // (-1 for none).
    QList<QRadioButton*> GroupButtons(QGroupBox* group) const;
    int ItemIndex(QGroupBox* group) const;

public slots:
    void FormShow();
    void UpdateSettings();
    void InitHints();
    void LoadButtonClick();
    void SaveButtonClick();
    void ProgramButtonClick();
    void VerifyButtonClick();
    void ReadButtonClick();
    void CancelButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The file dialogs; empty when the user cancels.
    virtual QString ChooseLoadFile();
    virtual QString ChooseSaveFile();

    Shell& shell_;

private:
    // The parts the constructor builds.
    void BuildRadioGroups();
    QGroupBox* BuildCheckBoxes();
    QGroupBox* BuildIdBox();
    QGroupBox* BuildFlashBox();
    void BuildButtons();
    void Arrange(QGroupBox* optionsBox, QGroupBox* idBox, QGroupBox* flashBox);
    QString RunFileDialog(QFileDialog& dialog);
    QString ChooseHexFile(const HexDialog& kind);
    LinkObserver& Observer();
    void SetItemIndex(int group, int index);
    void ShowRows();
    friend class HexBufferScope;

    const DeviceLayout& layout_;
    bool updating_ = false;
    std::array<QGroupBox*, kMaxDeviceGroups> groups_{};
    std::array<QButtonGroup*, kMaxDeviceGroups> buttonGroups_{};
    std::array<std::string_view, kMaxDeviceGroups> groupHints_{};  // emptied by InitHints
    bool longHintPause_ = false;
    std::vector<char> hexBuffer_;  // hex text of Load and Save (see HexBufferScope)
    std::array<QCheckBox*, kMaxDeviceBoxes> boxes_{};
    std::array<std::array<char, kFlashRowLength + 1>, kFlashRows> rows_{};
};

}  // namespace korvid
