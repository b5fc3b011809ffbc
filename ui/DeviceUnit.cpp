#include "ui/DeviceUnit.h"

#include <QShowEvent>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>

#include "core/image/HexFile.h"
#include "core/link/LinkObserver.h"
#include "core/link/Programming.h"
#include "core/link/VerifyImage.h"
#include "ui/CommandGuard.h"

namespace korvid {

namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

void WarnOk(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
    box.exec();
}

constexpr int kHintHidePauseMs = 3500;

}  // namespace

// Load and Save put their hex text in a buffer of the window's own while
// they run, so that the listing in the shared list-text buffer (which the
// editor may be showing in list mode, and saves as the .LST file) survives
// a hex load or save untouched.
class HexBufferScope {
public:
    explicit HexBufferScope(TDeviceForm& form) : state_(form.shell_.state) {
        if (form.hexBuffer_.empty()) form.hexBuffer_.resize(kDefaultListCapacity);
        saved_ = {state_.ListText, state_.ListCapacity, state_.ListLength};
        state_.ListText = form.hexBuffer_.data();
        state_.ListCapacity = static_cast<std::uint32_t>(form.hexBuffer_.size());
        state_.ListLength = 0;
    }
    ~HexBufferScope() {
        state_.ListText = saved_.text;
        state_.ListCapacity = saved_.capacity;
        state_.ListLength = saved_.length;
    }
    HexBufferScope(const HexBufferScope&) = delete;
    HexBufferScope& operator=(const HexBufferScope&) = delete;

private:
    struct Saved {
        char* text;
        std::uint32_t capacity;
        std::uint32_t length;
    };
    AssemblyState& state_;
    Saved saved_{};
};

TDeviceForm::TDeviceForm(Shell& shell, QWidget* parent)
    : QDialog(parent), shell_(shell), layout_(DeviceLayoutFor(shell.family)) {
    setWindowTitle(QStringLiteral("Device"));
    setObjectName(QStringLiteral("DeviceForm"));

    BuildRadioGroups();
    QGroupBox* optionsBox = BuildCheckBoxes();
    QGroupBox* idBox = BuildIdBox();
    QGroupBox* flashBox = BuildFlashBox();
    BuildButtons();
    Arrange(optionsBox, idBox, flashBox);
    for (auto& row : rows_) row.fill('\0');
}

// Radio groups, in the layout's order.
void TDeviceForm::BuildRadioGroups() {
    for (int g = 0; g < layout_.groupCount; ++g) {
        const RadioGroupInfo& info = layout_.groups[g];
        auto* box = new QGroupBox(Text(info.caption), this);
        box->setObjectName(Text(info.name));
        auto* buttons = new QButtonGroup(box);
        auto* column = new QVBoxLayout(box);
        column->setSpacing(2);
        for (int i = 0; i < info.itemCount; ++i) {
            auto* radio = new QRadioButton(Text(info.items[i].caption), box);
            radio->setObjectName(Text(info.name) + QString::number(i));
            buttons->addButton(radio, i);
            column->addWidget(radio);
        }
        column->addStretch(1);
        connect(buttons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
            if (checked) UpdateSettings();
        });
        groups_[static_cast<std::size_t>(g)] = box;
        buttonGroups_[static_cast<std::size_t>(g)] = buttons;
        groupHints_[static_cast<std::size_t>(g)] = info.hint;
        if (info.name == "OscRadioGroup") OscRadioGroup = box;
        if (info.name == "DeviceRadioGroup") DeviceRadioGroup = box;
        if (info.name == "BrownoutRadioGroup") BrownoutRadioGroup = box;
        if (info.name == "ResetTimerRadioGroup") ResetTimerRadioGroup = box;
    }

}

// The check boxes of the layout in the Options box.
QGroupBox* TDeviceForm::BuildCheckBoxes() {
    auto* optionsBox = new QGroupBox(QStringLiteral("Options"), this);
    auto* options = new QVBoxLayout(optionsBox);
    options->setSpacing(2);
    struct NamedBox {
        std::string_view name;
        QCheckBox** member;
    };
    const NamedBox members[] = {
        {"WatchdogCheckBox", &WatchdogCheckBox}, {"ProtectCheckBox", &ProtectCheckBox},
        {"SyncCheckBox", &SyncCheckBox},         {"TurboCheckBox", &TurboCheckBox},
        {"CarryCheckBox", &CarryCheckBox},       {"StackOptionCheckBox", &StackOptionCheckBox},
        {"SleepClockCheckBox", &SleepClockCheckBox}, {"DriveCheckBox", &DriveCheckBox},
        {"FeedbackCheckBox", &FeedbackCheckBox},
    };
    for (int b = 0; b < layout_.boxCount; ++b) {
        const CheckBoxInfo& info = layout_.boxes[b];
        auto* check = new QCheckBox(Text(info.caption), optionsBox);
        check->setObjectName(Text(info.name));
        if (!info.hint.empty()) {
            check->setStatusTip(Text(ShortHint(info.hint)));
            check->setToolTip(check->statusTip());
            check->setProperty("hint", Text(info.hint));
        }
        connect(check, &QCheckBox::toggled, this, [this] { UpdateSettings(); });
        options->addWidget(check);
        boxes_[static_cast<std::size_t>(b)] = check;
        for (const NamedBox& m : members)
            if (m.name == info.name) *m.member = check;
    }
    options->addStretch(1);
    return optionsBox;
}

QGroupBox* TDeviceForm::BuildIdBox() {
    auto* idBox = new QGroupBox(QStringLiteral("ID"), this);
    auto* idLayout = new QVBoxLayout(idBox);
    IDStringLabel = new QLabel(idBox);
    IDStringLabel->setObjectName(QStringLiteral("IDStringLabel"));
    IDStringLabel->setTextFormat(Qt::PlainText);
    IDStringLabel->setMinimumWidth(90);
    idLayout->addWidget(IDStringLabel);
    return idBox;
}

// E²Flash view: eight fixed-pitch rows and their scroll bar.
QGroupBox* TDeviceForm::BuildFlashBox() {
    auto* flashBox = new QGroupBox(QString::fromUtf8("E\xC2\xB2" "Flash"), this);
    flashBox->setObjectName(QStringLiteral("EEGroupBox"));
    auto* flashLayout = new QHBoxLayout(flashBox);
    auto* rowsLayout = new QVBoxLayout;
    rowsLayout->setSpacing(0);
    QFont fixed(QStringLiteral("Courier New"), 9);
    fixed.setStyleHint(QFont::TypeWriter);
    for (int i = 0; i < 8; ++i) {
        auto* label = new QLabel(flashBox);
        label->setObjectName(QStringLiteral("EELabel") + QString::number(i));
        label->setFont(fixed);
        label->setTextFormat(Qt::PlainText);
        rowsLayout->addWidget(label);
        EELabels[static_cast<std::size_t>(i)] = label;
    }
    rowsLayout->addStretch(1);
    EEScrollBar = new QScrollBar(Qt::Vertical, flashBox);
    EEScrollBar->setObjectName(QStringLiteral("EEScrollBar"));
    EEScrollBar->setRange(0, FlashScrollMaximum(shell_.family, shell_.family.blankExtFuse));
    EEScrollBar->setSingleStep(1);
    EEScrollBar->setPageStep(8);
    connect(EEScrollBar, &QScrollBar::valueChanged, this, [this] { UpdateSettings(); });
    flashLayout->addLayout(rowsLayout, 1);
    flashLayout->addWidget(EEScrollBar);
    return flashBox;
}

void TDeviceForm::BuildButtons() {
    auto button = [this](const char* name, const char* caption, void (TDeviceForm::*slot)()) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    LoadButton = button("LoadButton", "&Load Hex", &TDeviceForm::LoadButtonClick);
    SaveButton = button("SaveButton", "&Save Hex", &TDeviceForm::SaveButtonClick);
    ProgramButton = button("ProgramButton", "&Program", &TDeviceForm::ProgramButtonClick);
    VerifyButton = button("VerifyButton", "&Verify", &TDeviceForm::VerifyButtonClick);
    ReadButton = button("ReadButton", "&Read", &TDeviceForm::ReadButtonClick);
    CancelButton = button("CancelButton", "&Cancel", &TDeviceForm::CancelButtonClick);

}

// Arrangement: oscillator | device or reset timer, brownout | options,
// ID | E²Flash; the buttons below.
void TDeviceForm::Arrange(QGroupBox* optionsBox, QGroupBox* idBox, QGroupBox* flashBox) {
    auto* top = new QHBoxLayout;
    top->addWidget(OscRadioGroup);
    auto* middle = new QVBoxLayout;
    for (int g = 0; g < layout_.groupCount; ++g)
        if (g != layout_.oscillatorGroup) middle->addWidget(groups_[static_cast<std::size_t>(g)]);
    middle->addStretch(1);
    top->addLayout(middle);
    auto* right = new QVBoxLayout;
    right->addWidget(optionsBox);
    right->addWidget(idBox);
    top->addLayout(right);
    top->addWidget(flashBox, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {LoadButton, SaveButton, ProgramButton, VerifyButton, ReadButton, CancelButton})
        buttons->addWidget(b);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top, 1);
    outer->addLayout(buttons);
}

QList<QRadioButton*> TDeviceForm::GroupButtons(QGroupBox* group) const {
    QList<QRadioButton*> list;
    for (int g = 0; g < layout_.groupCount; ++g)
        if (groups_[static_cast<std::size_t>(g)] == group)
            for (QAbstractButton* b : buttonGroups_[static_cast<std::size_t>(g)]->buttons())
                list << static_cast<QRadioButton*>(b);
    return list;
}

int TDeviceForm::ItemIndex(QGroupBox* group) const {
    for (int g = 0; g < layout_.groupCount; ++g)
        if (groups_[static_cast<std::size_t>(g)] == group) return buttonGroups_[static_cast<std::size_t>(g)]->checkedId();
    return -1;
}

void TDeviceForm::SetItemIndex(int group, int index) {
    QButtonGroup* buttons = buttonGroups_[static_cast<std::size_t>(group)];
    if (index < 0) {
        // An exclusive group cannot clear its last choice by itself.
        buttons->setExclusive(false);
        for (QAbstractButton* b : buttons->buttons()) b->setChecked(false);
        buttons->setExclusive(true);
    } else if (QAbstractButton* b = buttons->button(index)) {
        b->setChecked(true);
    }
}

// A window system's own show (restoring a minimised window) is not a
// FormShow: it would drop the user's unsaved choices.
void TDeviceForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TDeviceForm::FormShow() {
    ShowSettings();
    if (layout_.hasHints) InitHints();
}

void TDeviceForm::ShowSettings() {
    updating_ = true;
    Image& chip = shell_.state.ChipImage;
    const DeviceControls controls =
        ControlsFromWords(layout_, {static_cast<std::uint16_t>(chip[kFuseIndex] & kWordMask),
                                    static_cast<std::uint16_t>(chip[kExtFuseIndex] & kWordMask)});
    for (int g = 0; g < layout_.groupCount; ++g) SetItemIndex(g, controls.selected[static_cast<std::size_t>(g)]);
    for (int b = 0; b < layout_.boxCount; ++b) {
        QCheckBox* box = boxes_[static_cast<std::size_t>(b)];
        box->setEnabled(controls.enabled[static_cast<std::size_t>(b)]);
        box->setChecked(controls.checked[static_cast<std::size_t>(b)]);
    }
    char id[9];
    const int idLength = IdText(chip, id);
    IDStringLabel->setText(QString::fromLatin1(id, idLength));
    for (int r = 0; r < kFlashRows; ++r) FlashRowText(chip, r, rows_[static_cast<std::size_t>(r)].data());
    EEScrollBar->setValue(0);
    updating_ = false;
    UpdateSettings();
}

void TDeviceForm::UpdateSettings() {
    if (updating_) return;
    DeviceControls controls;
    for (int g = 0; g < layout_.groupCount; ++g) controls.selected[static_cast<std::size_t>(g)] = ItemIndex(groups_[static_cast<std::size_t>(g)]);
    for (int b = 0; b < layout_.boxCount; ++b) controls.checked[static_cast<std::size_t>(b)] = boxes_[static_cast<std::size_t>(b)]->isChecked();
    const ConfigWords words = WordsFromControls(layout_, controls);
    for (int b = 0; b < layout_.boxCount; ++b) boxes_[static_cast<std::size_t>(b)]->setEnabled(controls.enabled[static_cast<std::size_t>(b)]);
    Image& chip = shell_.state.ChipImage;
    chip[kFuseIndex] = words.fuse;
    chip[kExtFuseIndex] = words.extFuse;
    {
        const QSignalBlocker block(EEScrollBar);
        EEScrollBar->setMaximum(FlashScrollMaximum(shell_.family, words.extFuse));
    }
    ShowRows();
}

void TDeviceForm::ShowRows() {
    const int top = EEScrollBar->value();
    for (int i = 0; i < 8; ++i) {
        const int r = top + i;
        EELabels[static_cast<std::size_t>(i)]->setText(
            r < kFlashRows ? QString::fromLatin1(rows_[static_cast<std::size_t>(r)].data()) : QString());
    }
}

void TDeviceForm::InitHints() {
    longHintPause_ = true;
    for (int g = 0; g < layout_.groupCount; ++g) {
        const std::string_view hint = groupHints_[static_cast<std::size_t>(g)];
        if (hint.empty()) continue;
        groupHints_[static_cast<std::size_t>(g)] = {};
        const QList<QAbstractButton*> buttons = buttonGroups_[static_cast<std::size_t>(g)]->buttons();
        for (int i = 0; i < buttons.size(); ++i) {
            const std::string_view item = GroupHintItem(hint, i);
            if (item.empty()) continue;
            const std::string full = ItemButtonHint(item);
            buttons[i]->setProperty("hint", QString::fromStdString(full));
            buttons[i]->setStatusTip(Text(ShortHint(full)));
            buttons[i]->setToolTip(buttons[i]->statusTip());
            buttons[i]->installEventFilter(this);
        }
    }
    for (QCheckBox* box : boxes_)
        if (box && !box->toolTip().isEmpty()) box->installEventFilter(this);
}

// The DEVICE hints stay up for 3.5 s, long enough to read the keyword.
bool TDeviceForm::eventFilter(QObject* watched, QEvent* event) {
    if (longHintPause_ && event->type() == QEvent::ToolTip) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && !widget->toolTip().isEmpty()) {
            auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), kHintHidePauseMs);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

LinkObserver& TDeviceForm::Observer() { return ProgressOf(shell_); }

// The Device window's two hex file dialogs.
struct HexDialog {
    const char* title;
    const char* objectName;
    QFileDialog::AcceptMode accept;
    QFileDialog::FileMode files;
    const char* filter;
};

namespace {
constexpr HexDialog kLoadHex{"Load Hex", "LoadHexDialog", QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
                             "SX Hex File (*.SXH)"};
constexpr HexDialog kSaveHex{"Save Hex", "SaveHexDialog", QFileDialog::AcceptSave, QFileDialog::AnyFile,
                             "SX Hex File (*.SXH *.OBJ *.HEX)"};
}  // namespace

QString TDeviceForm::ChooseHexFile(const HexDialog& kind) {
    QFileDialog dialog(this, QString::fromLatin1(kind.title));
    dialog.setObjectName(QString::fromLatin1(kind.objectName));
    dialog.setAcceptMode(kind.accept);
    dialog.setFileMode(kind.files);
    dialog.setNameFilter(QString::fromLatin1(kind.filter));
    dialog.setDefaultSuffix(QStringLiteral("SXH"));
    // Saving, the window asks its own question before replacing a file.
    if (kind.accept == QFileDialog::AcceptSave) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    return RunFileDialog(dialog);
}

QString TDeviceForm::ChooseLoadFile() { return ChooseHexFile(kLoadHex); }

QString TDeviceForm::ChooseSaveFile() { return ChooseHexFile(kSaveHex); }

// File dialogs run through the main window's hook, the one seam through which
// every file dialog of the program is shown (and answered in tests).
QString TDeviceForm::RunFileDialog(QFileDialog& dialog) {
    EditorRole* editor = RoleOf(shell_.editor);
    return editor ? editor->AskFileName(dialog) : QString();
}

void TDeviceForm::LoadButtonClick() {
    RunGuarded(this, [this] {
        const QString path = ChooseLoadFile();
        if (path.isEmpty()) return;
        AssemblyState& state = shell_.state;
        const auto deviceImage = state.DeviceImage;  // back again when the user declines the file
        std::string message;
        bool parsed;
        int errorLine = 0;  // the line an error names, read while the hex text is in the buffer
        {
            HexBufferScope scope(*this);
            parsed = LoadHexFile(state, path.toLocal8Bit().toStdString(), message);
            if (parsed && HexErrorNamesLine(state)) errorLine = HexErrorLine(state);
        }
        // A file that cannot be read or is too large leaves both images.
        if (!parsed) throw FileError(message);
        const bool loaded = HexLoaded(state);
        if (const std::string note = loaded ? ForeignConfigNote(state) : std::string(); !note.empty()) {
            const QString question = QStringLiteral("%1\n\n%2\n\nLoad it anyway?")
                                         .arg(QFileInfo(path).fileName(), QString::fromStdString(note));
            if (!WarnYesNo(this, question)) {
                state.DeviceImage = deviceImage;
                return;
            }
        }
        if (loaded) {
            state.ChipImage = state.DeviceImage;
            ShowSettings();
        }
        if (state.ErrorFlag != 0) {
            QString text = QString::fromLatin1(state.ErrorMessage);
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            if (errorLine > 0) text += QStringLiteral("\n(line %1 of %2)").arg(errorLine).arg(path);
            ShowLinkFailure(this, text);  // error box, single Abort button
        }
    });
}

void TDeviceForm::SaveButtonClick() {
    RunGuarded(this, [this] {
        const QString path = ChooseSaveFile();
        if (path.isEmpty()) return;
        if (QFileInfo::exists(path) && Confirm(this, QStringLiteral("OK to overwrite %1").arg(path)) != QMessageBox::Yes)
            return;
        std::string message;
        bool saved;
        {
            HexBufferScope scope(*this);
            saved = SaveHexFile(shell_.state, path.toLocal8Bit().toStdString(), message);
        }
        if (!saved) throw FileError(message);
    });
}

void TDeviceForm::ProgramButtonClick() {
    RunGuarded(this, [this] {
        AssemblyState& state = shell_.state;
        state.DeviceImage = state.ChipImage;
        RequireProgramData(state);
        ProgramDevice(shell_.link, state, shell_.irc, Observer(), false);
    });
}

void TDeviceForm::VerifyButtonClick() {
    RunGuarded(this, [this] {
        AssemblyState& state = shell_.state;
        ReadDevice(shell_.link, state, Observer(), "Verifying...");
        const std::string_view part = VerifyImage(shell_.family, state.ChipImage, state.DeviceImage);
        if (part.empty())
            Inform(this, QStringLiteral("Device verified OK"));
        else
            WarnOk(this, QStringLiteral("Verify failed at ") + Text(part));
    });
}

void TDeviceForm::ReadButtonClick() {
    RunGuarded(this, [this] {
        AssemblyState& state = shell_.state;
        ReadDevice(shell_.link, state, Observer(), "Reading...");
        state.ChipImage = state.DeviceImage;
        ShowSettings();
    });
}

void TDeviceForm::CancelButtonClick() { hide(); }

}  // namespace korvid
