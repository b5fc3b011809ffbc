// Test support for the window tests: a whole IDE (all sixteen windows) on a
// private assembly state and the simulated tool in the same process, a small
// stand-in assembler, and a driver that answers modal boxes and dialogs.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "core/link/TickSource.h"
#include "sim/InProcessToolDevice.h"
#include "sim/ToolFirmware.h"
#include "ui/EditorUnit.h"
#include "ui/Shell.h"

namespace korvid::test {

// A test clock: time passes only when the link waits.
class ManualTicks : public TickSource {
public:
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override { now += ms; }
    std::uint64_t now = 0;
};

// Stand-in for the assembler: every source line becomes a list line of 16
// columns of prefix and the line's text; a line holding "ERR" fails with
// "Undefined symbol" on that word.
void FakeAssemble(AssemblyState& state);

struct TestIde {
    // `realAssembler` uses the project's assembler instead of the stand-in.
    explicit TestIde(const Family& family, const QStringList& arguments = {}, bool show = true,
                     bool realAssembler = false, const ToolOptions& tool = {});
    ~TestIde();

    TEditorForm& editor() { return *shell->editor; }
    TEditorView& view() { return *shell->editor->View; }
    TextBuffer& text() { return shell->editor->Text; }
    // Presses a key on the main window after making it the active window
    // again (a closed modal box may have left no window active), so that
    // menu shortcuts reach their items.
    void Shortcut(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier);
    // Puts a text into the buffer and refreshes the view.
    void SetText(const std::string& text);

    ManualTicks ticks;
    std::unique_ptr<ToolFirmware> firmware;
    InProcessToolDevice* device = nullptr;
    std::unique_ptr<AssemblyState> state;
    std::unique_ptr<Shell> shell;
    int assemblies = 0;  // calls of the assembler
};

// A whole file ("<missing>" when it cannot be read), and a file written.
QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& data);

// Answers modal windows in the order they appear.
class ModalDriver : public QObject {
public:
    ModalDriver();
    ~ModalDriver() override;
    // Presses `button` on the next message box, recording its text and the
    // texts of its buttons.
    void Box(QMessageBox::StandardButton button);
    // Answers the next file dialog of the main window with `path`,
    // recording the dialog's title.
    void File(TEditorForm& editor, const QString& path);
    QStringList dialogTitles;
    // Runs `action` on the next modal window of any kind.
    void Any(std::function<void(QWidget*)> action);

    QStringList texts;                 // texts of the boxes answered
    QList<QStringList> buttons;  // their buttons
    int Pending() const { return int(actions_.size()); }

private:
    void Poll();
    std::deque<std::function<void(QWidget*)>> actions_;
    std::deque<QString> files_;
    QTimer timer_;
};

// Family parameter for data-driven window tests.
const Family& FamilyByIndex(int index);
// The data rows of a test that runs for both families: a "family" column
// holding the index FamilyByIndex takes, one row a family.
void FamilyRows();
// The family of the test's current data row.
const Family& RowFamily();
// FamilyRows() of a test on korvid-sim's pty; where korvid-sim is not
// built, the test is skipped instead.
void PtyFamilyRows();

// The built korvid-sim next to the test programs; empty when it is not built.
QString SimulatedToolPath();
// Starts korvid-sim for the family and returns the pseudo-terminal path it
// prints first (empty or not a path when it did not start).
QString StartSimulatedTool(QProcess& tool, const Family& family);

// A whole IDE of the family on a real serial device whose port is the pty
// of a korvid-sim started for it; `slave` is that path (empty or not a path
// when the tool did not start). The windows go before the tool stops.
struct PtyIde {
    explicit PtyIde(const Family& family);
    ~PtyIde();
    QProcess tool;
    QString slave;
    std::unique_ptr<AssemblyState> state;
    std::unique_ptr<Shell> shell;
};

}  // namespace korvid::test

namespace korvid::test {
// The text with '|' at the caret and '^' at the anchor when a selection is
// shown; Marked() parses the same notation into a buffer.
std::string Marked(const TextBuffer& text);
void SetMarked(TestIde& ide, const std::string& marked);
}  // namespace korvid::test
