// The one guard every window command runs through, and the message boxes of
// the windows. No exception crosses the event loop: a link failure shows its
// message with "." and a single Abort button, a silent abort shows nothing,
// anything else (file and printer errors) the application's error box.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <stdexcept>

class QWidget;

namespace korvid {

// A file or printer error of the windows, shown by the application's box.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void RunGuarded(QWidget* owner, const std::function<void()>& command);

// Confirmation box with Yes, No and Cancel; returns the button pressed
// (Cancel when the box is closed otherwise).
QMessageBox::StandardButton Confirm(QWidget* owner, const QString& text);
// Warning box with Yes and No; true only for Yes (Escape and the close box
// answer No).
bool WarnYesNo(QWidget* owner, const QString& text);
// Information box with OK.
void Inform(QWidget* owner, const QString& text);
// Error box with OK.
void ShowError(QWidget* owner, const QString& text);
// Error box with a single Abort button (link failures).
void ShowLinkFailure(QWidget* owner, const QString& text);

}  // namespace korvid
