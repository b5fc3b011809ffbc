#include "WindowSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QTest>

#include "core/asm/Assembler.h"
#include "platform/SerialPorts.h"
#include "ui/Application.h"

namespace korvid::test {

void FakeAssemble(AssemblyState& s) {
    s.ErrorFlag = 1;
    const char* src = s.SourceText;
    std::uint32_t p = 0, out = 0, lines = 0;
    auto put = [&](char c) {
        if (out < s.ListCapacity) s.ListText[out++] = c;
    };
    while (src[p] != 0) {
        std::uint32_t start = p;
        while (src[p] != 0 && src[p] != '\r') ++p;
        for (std::uint32_t q = start; q + 3 <= p; ++q) {
            if (src[q] == 'E' && src[q + 1] == 'R' && src[q + 2] == 'R') {
                s.ErrorMessage = "Undefined symbol";
                s.ErrorStart = q;
                s.ErrorEnd = q + 3;
                return;
            }
        }
        if (lines < kMaxListLines) {
            s.ListLineSource[lines] = start;
            s.ListLineOffset[lines] = out;
            ++lines;
        }
        char prefix[40];
        std::snprintf(prefix, sizeof prefix, "%04X  %04X      ", unsigned(lines - 1), 0xFFFu);
        for (int i = 0; i < 16; ++i) put(prefix[i]);
        for (std::uint32_t q = start; q < p; ++q) put(src[q]);
        put('\r');
        if (src[p] == '\r') ++p;
    }
    s.ListLength = out;
    s.ListLineCount = lines;
    s.ErrorStart = s.ErrorEnd = 0;
    s.DeviceImage = s.ChipImage;
    if (out == 0) {
        s.ErrorMessage = "Nothing to assemble";
        return;
    }
    s.ErrorFlag = 0;
}

TestIde::TestIde(const Family& family, const QStringList& arguments, bool show, bool realAssembler,
                 const ToolOptions& tool)
    : firmware(std::make_unique<ToolFirmware>(family, tool)), state(std::make_unique<AssemblyState>(family)) {
    QApplication::setApplicationName(QString::fromLatin1(family.title.data(), qsizetype(family.title.size())));
    auto dev = std::make_unique<InProcessToolDevice>(*firmware, ticks);
    device = dev.get();
    shell = std::make_unique<Shell>(family, *state, std::move(dev), ticks);
    shell->assemble = [this, realAssembler](AssemblyState& s) {
        ++assemblies;
        if (realAssembler)
            Assemble(s);
        else
            FakeAssemble(s);
    };
    if (realAssembler) {
        shell->extendedDialectAccepts = ExtendedDialectAccepts;
        shell->otherFamilyAccepts = OtherFamilyAccepts;
    }
    CreateForms(*shell, arguments);
    shell->editor->View->Ticks = [] { return 100000u; };
    if (show) {
        shell->editor->show();
        shell->editor->activateWindow();
        (void)QTest::qWaitForWindowExposed(shell->editor);
        QApplication::processEvents();
    }
}

TestIde::~TestIde() {
    if (shell->editor) shell->editor->Text.modified = 0;
    DestroyForms(*shell);
}

void TestIde::Shortcut(Qt::Key key, Qt::KeyboardModifiers mods) {
    QApplication::setActiveWindow(shell->editor);
    shell->editor->View->setFocus();
    QTest::keyClick(shell->editor, key, mods);
}

void TestIde::SetText(const std::string& t) {
    text().SetText(t);
    view().TopLine = 0;
    view().horizontalScroll = 0;
    view().HideCaret();
    view().FullRepaint();
}

ModalDriver::ModalDriver() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalDriver::Poll);
    timer_.start();
}

ModalDriver::~ModalDriver() { timer_.stop(); }

void ModalDriver::Box(QMessageBox::StandardButton button) {
    actions_.push_back([this, button](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        texts << box->text();
        QStringList names;
        for (QAbstractButton* b : box->buttons()) names << b->text().remove(QLatin1Char('&'));
        buttons.push_back(names);
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->reject();
    });
}

void ModalDriver::File(TEditorForm& editor, const QString& path) {
    files_.push_back(path);
    editor.RunFileDialog = [this](QFileDialog& dialog) {
        dialogTitles << dialog.windowTitle();
        if (files_.empty()) return QString();
        QString p = files_.front();
        files_.pop_front();
        return p;
    };
}

void ModalDriver::Any(std::function<void(QWidget*)> action) { actions_.push_back(std::move(action)); }

void ModalDriver::Poll() {
    QWidget* w = QApplication::activeModalWidget();
    // Each action closes its window at once, so a visible modal window is
    // always a new one.
    if (!w || !w->isVisible() || actions_.empty()) return;
    auto action = std::move(actions_.front());
    actions_.pop_front();
    action(w);
}

const Family& FamilyByIndex(int index) { return index ? Sx52Family() : Sx28lFamily(); }

void FamilyRows() {
    QTest::addColumn<int>("family");
    QTest::newRow("28L") << 0;
    QTest::newRow("52") << 1;
}

const Family& RowFamily() {
    QFETCH(int, family);
    return FamilyByIndex(family);
}

void PtyFamilyRows() {
    if (SimulatedToolPath().isEmpty()) QSKIP("korvid-sim is not built");
    FamilyRows();
}

QString SimulatedToolPath() {
    const QString sim = QCoreApplication::applicationDirPath() + QStringLiteral("/../../apps/korvid-sim/korvid-sim");
    return QFileInfo(sim).isExecutable() ? sim : QString();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QString StartSimulatedTool(QProcess& tool, const Family& family) {
    tool.start(SimulatedToolPath(),
               {QStringLiteral("--fast"), QStringLiteral("--family"),
                QString::fromLatin1(family.name.data(), qsizetype(family.name.size()))});
    if (!tool.waitForStarted(5000)) return {};
    for (int i = 0; i < 50 && !tool.canReadLine(); ++i) tool.waitForReadyRead(100);
    return QString::fromLocal8Bit(tool.readLine()).trimmed();
}

PtyIde::PtyIde(const Family& family) {
    slave = StartSimulatedTool(tool, family);
    QApplication::setApplicationName(QString::fromLatin1(family.title.data(), qsizetype(family.title.size())));
    state = std::make_unique<AssemblyState>(family);
    shell = std::make_unique<Shell>(family, *state, MakeSerialDevice());
    shell->assemble = [](AssemblyState& s) { Assemble(s); };
    CreateForms(*shell, {});
    shell->link.PortName = slave.toStdString();
}

PtyIde::~PtyIde() {
    DestroyForms(*shell);
    tool.terminate();
    if (!tool.waitForFinished(3000)) tool.kill();
}

}  // namespace korvid::test

namespace korvid::test {

std::string Marked(const TextBuffer& t) {
    const std::string text = t.Text();
    const bool sel = t.HasSelection();
    std::string out;
    for (std::size_t p = 0; p <= text.size(); ++p) {
        if (sel && std::int32_t(p) == t.anchor) out += '^';
        if (std::int32_t(p) == t.caret) out += '|';
        if (p < text.size()) out += text[p];
    }
    return out;
}

void SetMarked(TestIde& ide, const std::string& marked) {
    std::string plain;
    std::int32_t caret = -1, anchor = -1;
    for (char ch : marked) {
        if (ch == '|')
            caret = std::int32_t(plain.size());
        else if (ch == '^')
            anchor = std::int32_t(plain.size());
        else
            plain.push_back(ch);
    }
    ide.SetText(plain);
    TextBuffer& t = ide.text();
    t.caret = caret < 0 ? 0 : caret;
    t.anchor = anchor < 0 ? t.caret : anchor;
    t.selectionState = anchor < 0 ? 0 : 1;
    ide.view().HideCaret();
    ide.view().RefreshView();
}

}  // namespace korvid::test
