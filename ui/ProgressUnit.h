// The Device Operation window: the text of the running link operation and
// its progress bar. It is the link's observer in the IDE.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>

#include "core/link/LinkObserver.h"
#include "ui/Shell.h"

namespace korvid {

class TProgressForm : public QDialog, public LinkObserver {
    Q_OBJECT
public:
    explicit TProgressForm(Shell& shell, QWidget* parent = nullptr);

    void ShowProgress(std::string_view text) override;
    void StepProgress() override;
    void HideProgress() override;
    void ShowIrcResults(const IrcResults& results) override;

    QLabel* OperationLabel;
    QProgressBar* ProgressBar;
    // Texts shown since start-up, in order (the window is shown and hidden
    // within one command, so tests read what it showed here).
    QStringList shownTexts;
    // Progress steps taken while the window was exposed on the screen.
    int exposedSteps = 0;

private:
    Shell& shell_;
};

}  // namespace korvid
