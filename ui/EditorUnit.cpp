#include "ui/EditorUnit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusTipEvent>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "core/link/LinkError.h"
#include "session/ProgramIndex.h"
#include "ui/CommandGuard.h"
#include "ui/SettingsKeeper.h"

namespace korvid {

namespace {
const QString kUntitled = QStringLiteral("Untitled.SRC");
const QString kListHint = QStringLiteral("List (read-only) - Ctrl+L returns to source");
// Columns a list line carries in front of the source text.
constexpr std::int32_t kListColumns = 16;

std::string ToLocal(const QString& name) { return name.toLocal8Bit().toStdString(); }
}  // namespace

TEditorForm::TEditorForm(Shell& s, const QStringList& arguments)
    : QMainWindow(nullptr), shell(s), State(s.state), ListBuffer(new char[ListingCapacity + 4]()) {
    shell.editor = this;
    State.ListText = ListBuffer.get();
    State.ListCapacity = ListingCapacity;
    State.ClockFrequency = kDefaultClockFrequency;

    View = new TEditorView(Text, this);
    View->setObjectName(QStringLiteral("EditorView"));
    setCentralWidget(View);
    StatusBar = statusBar();
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    CaretLabel = new QLabel(StatusBar);
    CaretLabel->setObjectName(QStringLiteral("CaretLabel"));
    StatusBar->addPermanentWidget(CaretLabel);
    View->Refreshed = [this] { UpdateTitleAndCaret(); };
    Syntax = std::make_unique<SyntaxColourer>(shell.family);
    View->Colourer = [this, kinds = std::vector<SyntaxKind>()](std::string_view text,
                                                              std::vector<std::uint8_t>& out) mutable {
        Syntax->Colour(text, State.dialect, Text.listMode ? kListColumns : 0, kinds);
        out.resize(kinds.size());
        for (std::size_t i = 0; i < kinds.size(); ++i) out[i] = std::uint8_t(kinds[i]);
    };
    BuildMenu();

    OpenDialog = new QFileDialog(this, QStringLiteral("Open Source"));
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setDefaultSuffix(QStringLiteral("SRC"));
    OpenDialog->setNameFilters({QStringLiteral("Source Files (*.src *.SRC)"), QStringLiteral("All Files (*)")});
    SaveDialog = new QFileDialog(this, QStringLiteral("Save Source"));
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->setDefaultSuffix(QStringLiteral("SRC"));
    SaveDialog->setNameFilters({QStringLiteral("Source Files (*.SRC *.src)"), QStringLiteral("All Files (*)")});

    // Every hint of every window reaches this window's status bar.
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);

    RunFileDialog = [](QFileDialog& dialog) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().first();
    };

    fileName = kUntitled;
    SetFileName(kUntitled);
    ParseCommandLine(arguments);
}

TEditorForm::~TEditorForm() {
    if (shell.editor == this) shell.editor = nullptr;
}

// ---- start-up ---------------------------------------------------------------

void TEditorForm::ParseCommandLine(const QStringList& arguments) {
    CommandLineFile.clear();
    PortGiven = false;
    for (const QString& a : arguments) {
        // An absolute path ("/" with a second "/") is a file, not a switch.
        bool slashSwitch = a.startsWith(QLatin1Char('/')) && a.indexOf(QLatin1Char('/'), 1) < 0;
        bool dashSwitch = a.startsWith(QLatin1Char('-')) && a.size() > 1;
        if (!slashSwitch && !dashSwitch) {
            CommandLineFile = a;
            continue;
        }
        if (a.mid(1).toUpper() == QLatin1String("B")) SxcMode = true;
        if (a.size() >= 2 && a[1] >= QLatin1Char('1') && a[1] <= QLatin1Char('4')) {
            shell.link.PortName = "COM" + std::string(1, char(a[1].unicode()));
            PortGiven = true;
        }
    }
    if (!CommandLineFile.isEmpty() && !SxcMode && !QFileInfo(CommandLineFile).fileName().contains(QLatin1Char('.')))
        CommandLineFile += QStringLiteral(".src");
}

void TEditorForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce) {
        shownOnce = true;
        FormShow();
    }
}

void TEditorForm::FormShow() {
    View->clickTime1 = 0;
    View->clickTime2 = 500;
    View->clickTime3 = 1000;
    View->EditorFontName = QStringLiteral("Courier New");
    View->EditorFontSize = shell.settings ? shell.settings->TextSize() : kDefaultTextSize;
    Item("RunExtendedDialectItem")->setChecked(State.dialect == Dialect::Extended);
    // The remembered place if it is on a screen, else the built-in one.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && !(shell.settings && shell.settings->RestorePlace(this))) {
        QRect g = screen->geometry();
        setGeometry(g.x() + g.width() / 4, g.y() + g.height() / 8, g.width() / 2, g.height() * 3 / 4);
    }
    View->LayoutView();
    setAcceptDrops(true);
    RunGuarded(this, [this] {
        if (!CommandLineFile.isEmpty() && !SxcMode && QFileInfo(CommandLineFile).isFile())
            LoadFile(CommandLineFile);
        else
            FileNew();
    });
}

void TEditorForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow())
        FormActivate();
    else
        View->HideCaret();  // FormDeactivate
}

void TEditorForm::FormActivate() {
    View->RefreshView();
    if (firstActivationDone) return;
    firstActivationDone = true;
    if (SxcMode) SxcStart();
}

void TEditorForm::SxcStart() {
    QString cod = CommandLineFile + QStringLiteral(".cod");
    QString lst = CommandLineFile + QStringLiteral(".lst");
    if (CommandLineFile.isEmpty() || !QFileInfo(cod).isFile() || !QFileInfo(lst).isFile() || !SXCLoad) return;
    RunGuarded(this, [this] {
        SXCLoad(CommandLineFile);
        setWindowTitle(CommandLineFile + QStringLiteral(" - ByteCraft SXC Mode - ") +
                       QString::fromLatin1(shell.family.title.data(), qsizetype(shell.family.title.size())));
        for (const char* name : {"FileNewItem", "FileOpenItem", "FileSaveItem", "FileSaveAsItem",
                                 "FileListToggleItem", "FilePrintItem", "RunAssembleItem"})
            Item(name)->setEnabled(false);
        EditMenu->setEnabled(false);
        for (QAction* a : EditMenu->actions()) a->setEnabled(false);
        RunDebug();
    });
}

// ---- names, hints, questions ---------------------------------------------------

void TEditorForm::SetFileName(const QString& name) {
    fileName = name;
    UpdateTitleAndCaret();
}

void TEditorForm::UpdateTitleAndCaret() {
    const bool unsaved = Text.modified && !Text.listMode;
    const QString title = (unsaved ? QStringLiteral("*") : QString()) + QFileInfo(fileName).fileName() +
                          QStringLiteral(" - ") +
                          QString::fromLatin1(shell.family.title.data(), qsizetype(shell.family.title.size()));
    const bool sxcTitle = SxcMode && firstActivationDone;  // SXC mode keeps its own title
    if (!sxcTitle && windowTitle() != title) setWindowTitle(title);
    const QString caret = QStringLiteral("Ln %1, Col %2").arg(Text.CaretLine()).arg(Text.CursorColumn() + 1);
    if (CaretLabel->text() != caret) CaretLabel->setText(caret);
}

void TEditorForm::ShowHint(const QString& hint) {
    if (hint.isEmpty())
        StatusBar->clearMessage();
    else
        StatusBar->showMessage(hint);
}

QString TEditorForm::StatusText() const { return StatusBar->currentMessage(); }

QString TEditorForm::SourceFile() const {
    const QString& name = Text.listMode ? savedSourceName : fileName;
    return name == kUntitled ? QString() : name;
}

bool TEditorForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::StatusTip && watched->isWidgetType()) {
        ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    // Keys typed right after a file dialog closed may still reach it until
    // the window system has given the focus back, or reach the list of its
    // name completion, which may open after the dialog has gone (its folder
    // is read in the background) and takes the keyboard: they belong to the
    // text, and that list goes away.
    const QEvent::Type type = event->type();
    if (watched->isWidgetType() && (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::Show)) {
        QWidget* window = static_cast<QWidget*>(watched)->window();
        QFileDialog* closed = nullptr;
        bool completion = false;
        for (QFileDialog* dialog : {OpenDialog, SaveDialog}) {
            if (dialog->isVisible()) continue;
            const auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            completion = name && name->completer() && window == name->completer()->popup();
            if (window == dialog || completion) closed = dialog;
            if (closed) break;
        }
        if (closed && completion && type == QEvent::Show) QTimer::singleShot(0, window, [window] { window->hide(); });
        if (closed && type != QEvent::Show) {
            if (completion) window->hide();
            QCoreApplication::sendEvent(View, event);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TEditorForm::event(QEvent* event) {
    // Every hint (menu items, controls) reaches the status bar, an empty
    // hint empties it.
    if (event->type() == QEvent::StatusTip) {
        ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TEditorForm::QuerySave() {
    if (SxcMode || !Text.modified) return;
    switch (Confirm(this, QStringLiteral("Save changes to ") + fileName)) {
        case QMessageBox::Yes:
            // An untitled text has no place of its own yet: it is asked for
            // as by Save, and a cancelled name keeps the text and the window.
            if (fileName != kUntitled)
                SaveFile(fileName);
            else if (!SaveTextAs())
                throw SilentAbort();
            break;
        case QMessageBox::No: break;
        default: throw SilentAbort();
    }
}

QString TEditorForm::KeepUnsavedText(QString& error) {
    if (SxcMode) return {};
    if (Text.listMode) ToggleList();  // the source comes back into the buffer
    if (!Text.modified) return {};
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/korvid/unsaved");
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("Cannot create the folder %1").arg(folder);
        return {};
    }
    const QFileInfo source(fileName);
    const QString stem = folder + QLatin1Char('/') + source.completeBaseName() + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString suffix = source.suffix().isEmpty() ? QString() : QLatin1Char('.') + source.suffix();
    QString path = stem + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n) path = stem + QLatin1Char('-') + QString::number(n) + suffix;
    const FileResult r = Text.SaveText(ToLocal(path));
    if (!r.ok) {
        error = QString::fromLocal8Bit(r.message.c_str());
        return {};
    }
    return path;
}

// ---- files ----------------------------------------------------------------

void TEditorForm::ResetViewForNewText() {
    View->TopLine = 0;
    View->horizontalScroll = 0;
    View->dragging = 0;
    View->HideCaret();
    View->FullRepaint();
}

void TEditorForm::LoadFile(const QString& name) {
    bool cleared = false;
    FileResult r = Text.LoadText(ToLocal(name), cleared);
    if (cleared) {
        // A failed load leaves an empty text; it must not carry the failed
        // file's name, or a later save would overwrite that file with nothing.
        SetFileName(r.ok ? QFileInfo(name).absoluteFilePath() : kUntitled);
        ResetViewForNewText();
    }
    if (!r.ok) throw FileError(r.message);
    if (shell.settings) shell.settings->FileUsed(fileName);
}

void TEditorForm::SaveFile(const QString& name) {
    FileResult r = Text.SaveText(ToLocal(name));
    View->FullRepaint();
    if (!r.ok) throw FileError(r.message);
}

void TEditorForm::FileNew() {
    if (Text.listMode) ToggleList();
    QuerySave();
    View->ClearText();
    SetFileName(kUntitled);
}

void TEditorForm::FileOpenItemClick() {
    if (Text.listMode) ToggleList();
    QuerySave();
    PointDialogAtFile(*OpenDialog);
    QString name = AskFile(*OpenDialog);
    if (name.isEmpty()) return;
    LoadFile(name);
}

void TEditorForm::FileSave() {
    // A save that would change nothing the user typed leaves the file
    // alone (a file is only ever rewritten with the user's changes).
    if (fileName != kUntitled && !Text.modified && !Text.listMode && QFileInfo(fileName).isFile()) {
        StatusBar->showMessage(QStringLiteral("No changes to save"));
        return;
    }
    if (fileName != kUntitled)
        SaveFile(fileName);
    else
        FileSaveAs();
}

// Open and save dialogs start in the current file's folder, the save
// dialog with its name; for a new text in the last folder used.
void TEditorForm::PointDialogAtFile(QFileDialog& dialog) {
    if (fileName == kUntitled) {
        if (shell.settings && QFileInfo(shell.settings->LastFolder()).isDir())
            dialog.setDirectory(shell.settings->LastFolder());
        return;
    }
    const QFileInfo info(fileName);
    dialog.setDirectory(info.absolutePath());
    if (dialog.acceptMode() == QFileDialog::AcceptSave) dialog.selectFile(info.fileName());
}

void TEditorForm::FileSaveAs() { SaveTextAs(); }

bool TEditorForm::SaveTextAs() {
    PointDialogAtFile(*SaveDialog);
    QString name = AskFile(*SaveDialog);
    if (name.isEmpty()) return false;
    if (QFileInfo::exists(name) && Confirm(this, QStringLiteral("OK to overwrite ") + name) != QMessageBox::Yes)
        return false;
    SaveFile(name);
    SetFileName(name);
    if (shell.settings) shell.settings->FileUsed(name);
    return true;
}

// A dialog opens with its name field empty (Open) or selected (Save, which
// proposes the current name), so that the first key typed starts a new
// name; when it closes the keyboard goes back to the text.
QString TEditorForm::AskFile(QFileDialog& dialog) {
    if (dialog.acceptMode() == QFileDialog::AcceptOpen) dialog.selectFile(QString());
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        if (dialog.acceptMode() == QFileDialog::AcceptOpen) name->clear();
        name->selectAll();
    }
    QWidget* before = QApplication::activeWindow();
    const QString chosen = RunFileDialog ? RunFileDialog(dialog) : QString();
    if (before && before != &dialog) before->activateWindow();
    if (!before || before == this) View->setFocus(Qt::OtherFocusReason);
    return chosen;
}

void TEditorForm::FileListToggle() { ToggleList(); }

void TEditorForm::FilePrint() {
    if (PrintRole* print = RoleOf(shell.print)) print->PrintText(Text);
}

void TEditorForm::FileExit() { close(); }

void TEditorForm::FillRecentMenu() {
    RecentMenu->clear();
    const QStringList files = shell.settings ? shell.settings->RecentFiles() : QStringList();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        QString shown = files[i];
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = RecentMenu->addAction(number + QLatin1Char(' ') + shown);
        const QString name = files[i];
        const bool there = QFileInfo(name).isFile();
        a->setEnabled(there && !SxcMode);
        a->setStatusTip(there ? QStringLiteral("Open ") + name : name + QStringLiteral(" is not there"));
        connect(a, &QAction::triggered, this, [this, name] {
            RunGuarded(this, [this, name] { OpenRecentFile(name); });
            UpdateTitleAndCaret();
        });
    }
    if (files.isEmpty()) RecentMenu->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

void TEditorForm::OpenRecentFile(const QString& name) {
    if (Text.listMode) ToggleList();
    QuerySave();
    LoadFile(name);
}

void TEditorForm::closeEvent(QCloseEvent* event) {
    bool ok = false;
    RunGuarded(this, [&] {
        if (Text.listMode) ToggleList();
        QuerySave();
        ok = true;
    });
    if (ok)
        event->accept();
    else
        event->ignore();
}

void TEditorForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TEditorForm::dropEvent(QDropEvent* event) {
    QString name;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            name = url.toLocalFile();
            break;
        }
    event->acceptProposedAction();
    if (name.isEmpty()) return;
    RunGuarded(this, [&] {
        if (Text.listMode) ToggleList();
        QuerySave();
        LoadFile(name);
    });
}

// ---- clipboard and text size ---------------------------------------------------

void TEditorForm::EditUndo() {
    View->HideCaret();
    Text.Undo();
    View->RefreshView();
}

void TEditorForm::EditRedo() {
    View->HideCaret();
    Text.Redo();
    View->RefreshView();
}

void TEditorForm::EditSelectAll() {
    View->HideCaret();
    Text.SelectAll();
    View->RefreshView();
}

void TEditorForm::EditGoToLine() {
    bool ok = false;
    const int line = QInputDialog::getInt(this, QStringLiteral("Go to Line"), QStringLiteral("Line number:"),
                                          Text.CaretLine(), 1, std::numeric_limits<int>::max(), 1, &ok);
    if (ok) GoToLine(line);
}

void TEditorForm::GoToLine(int line) {
    View->HideCaret();
    Text.GoToLine(line);
    View->ResetScroll();
    View->RefreshView();
}

void TEditorForm::EditCopy() {
    View->HideCaret();
    if (Text.HasSelection())
        QGuiApplication::clipboard()->setText(QString::fromLatin1(Text.SelectionForClipboard()));
    View->RefreshView();
}

void TEditorForm::EditCut() {
    View->HideCaret();
    if (Text.HasSelection())
        QGuiApplication::clipboard()->setText(QString::fromLatin1(Text.SelectionForClipboard()));
    Text.DeleteSelection();
    View->RefreshView();
}

void TEditorForm::EditPaste() {
    View->HideCaret();
    // Text from other programs of this platform ends its lines with LF
    // alone: such an LF becomes CR; the LF of CR LF is skipped.
    std::string bytes;
    char16_t previous = 0;
    for (QChar c : QGuiApplication::clipboard()->text()) {
        char16_t u = c.unicode();
        if (u == '\n' && previous != '\r')
            bytes.push_back(CR);
        else if (u != 0 && u <= 255)
            bytes.push_back(char(u));
        previous = u;
    }
    Text.PasteBytes(bytes);
    View->RefreshView();
}

void TEditorForm::ViewColours() { View->SetColours(!View->ColoursOn); }
void TEditorForm::ViewLineNumbers() { View->SetLineNumbers(!View->LineNumbersOn); }

void TEditorForm::TextBigger() {
    View->TextBigger();
    if (shell.settings) shell.settings->SetTextSize(View->EditorFontSize);
}
void TEditorForm::TextSmaller() {
    View->TextSmaller();
    if (shell.settings) shell.settings->SetTextSize(View->EditorFontSize);
}

// ---- list mode ------------------------------------------------------------------

void TEditorForm::ToggleList() {
    TextBuffer& t = Text;
    auto clampTo = [](std::uint32_t p, std::int32_t length) {
        return std::int32_t(std::min<std::uint32_t>(p, std::uint32_t(length)));
    };
    auto place = [&](std::int32_t lineStart) {
        t.caret = lineStart;
        for (int i = 0; i < View->caretRow; ++i) t.LineUp();
        View->TopLine = t.caret;
        t.caret = lineStart;
        t.GoToColumn();
    };
    if (!t.listMode) {
        AssembleSource();
        t.desiredColumn = t.CursorColumn() + kListColumns;
        t.LineStart();
        const auto entry = ListEntryOfSource(State, std::uint32_t(t.caret));
        t.EnterListMode(ListBuffer.get(), std::int32_t(std::min<std::uint32_t>(State.ListLength, ListingCapacity)));
        // A line without a list entry goes to the first list line.
        place(entry ? clampTo(State.ListLineOffset[*entry], t.length) : 0);
        Item("FileListToggleItem")->setChecked(true);
        SetRunMenuEnabled(false);
        Hint = kListHint;
        View->setStatusTip(Hint);
        StatusBar->showMessage(Hint);
        savedSourceName = fileName;
        QFileInfo info(fileName);
        QString name = fileName;
        int dot = name.lastIndexOf(QLatin1Char('.'));
        int slash = name.lastIndexOf(QLatin1Char('/'));
        if (dot > slash)
            name = name.left(dot) + QStringLiteral(".LST");
        else
            name += QStringLiteral(".LST");
        SetFileName(name);
    } else {
        t.desiredColumn = std::max(t.CursorColumn() - kListColumns, 0);
        t.LineStart();
        const auto entry = ListEntryOfListing(State, std::uint32_t(t.caret));
        t.LeaveListMode();
        place(entry ? clampTo(State.ListLineSource[*entry], t.length) : 0);
        Item("FileListToggleItem")->setChecked(false);
        SetRunMenuEnabled(true);
        Hint.clear();
        View->setStatusTip(Hint);
        StatusBar->clearMessage();
        SetFileName(savedSourceName);
    }
    View->horizontalScroll = 0;
    t.verticalState = 0;
    t.selectionState = 0;
    View->HideCaret();
    View->RefreshView();
}

// ---- help ---------------------------------------------------------------------

void TEditorForm::HelpContentsItemClick() { ShowWindow(WindowOf(shell.help)); }

void TEditorForm::HelpGuide() {
    if (!Guide) Guide = CreateGuideWindow(shell, this);
    ShowWindow(Guide);
}

void TEditorForm::HelpAbout() { ExecDialog(WindowOf(shell.about)); }

// ---- what the other windows ask ---------------------------------------------------

QFont TEditorForm::EditorFont() const { return QFont(View->EditorFontName, View->EditorFontSize); }

QString TEditorForm::AskFileName(QFileDialog& dialog) { return AskFile(dialog); }

}  // namespace korvid
