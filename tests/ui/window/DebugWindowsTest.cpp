// Debug sessions through the windows against the simulated tool in the same
// process, for both families: Run > Debug, the Debug window's commands and
// its poll loop, the Registers, Code and Watch windows with their edits and
// change marks, link failures, and the SXC start.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include "WindowSupport.h"
#include "core/asm/Assembler.h"
#include "sim/ToolDebug.h"
#include "tests/support/SxcFixture.h"
#include "ui/CodeUnit.h"
#include "ui/CommandGuard.h"
#include "ui/DebugUnit.h"
#include "ui/RegisterUnit.h"
#include "ui/SXCUnit.h"
#include "ui/WatchUnit.h"

using namespace korvid;
using namespace korvid::test;

namespace {

std::string Header(const Family& f) { return f.is52() ? "" : " DEVICE SX28L, TURBO, STACKX_OPTIONX\r"; }

// A small program for every session: lines are counted from 0 in the
// listing; "count" changes at each round, "big" at each loop.
std::string Program(const Family& f, bool withBreak = true) {
    std::string s = Header(f);
    s += "count EQU 0Ch\r"
         "big EQU 0Dh\r"
         "text EQU 10h\r"
         " WATCH count, 8, UDEC\r"
         " WATCH big, 16, SHEX\r"
         " WATCH count, 8, UBIN\r"
         " WATCH text, 4, ZSTR\r"
         " WATCH big, 12, SDEC\r"
         " WATCH count, 8, UHEX\r"
         " WATCH count, 4, SBIN\r"
         " RESET start\r"
         " ORG 20h\r"
         "start MOV W,#5\r"
         " MOV count,W\r"
         " CLR big\r"
         "loop INC count\r"
         " INC big\r";
    if (withBreak) s += " BREAK\r";
    s += " NOP\r"
         " JMP loop\r";
    return s;
}

// A loop of 256 rounds on one listing line (the DJNZ at kStart + 1).
std::string LongLoop(const Family& f) {
    return Header(f) + "n EQU 0Ch\r RESET start\r ORG 20h\rstart CLR n\rwait DJNZ n,wait\r NOP\r JMP start\r";
}

constexpr std::uint32_t kStart = 0x20, kLoop = 0x23, kBreakWord = 0x25;

// The whole IDE with the debug side of the simulated tool and the real
// assembler; the Debug window's timer is stopped so that the test ticks it.
struct DebugIde {
    // The main window is shown (and activated, which runs an SXC start)
    // once the tool's debug side is in place.
    explicit DebugIde(const Family& family, const QStringList& args = {}) : runner(family), ide(family, args, false) {
        ide.firmware->SetRunner(&runner);
        runner.cyclesPerPoll = 20'000;
        ide.shell->assemble = [](AssemblyState& s) { Assemble(s); };
        ide.editor().View->Ticks = [] { return 100000u; };
        ide.editor().show();
        ide.editor().activateWindow();
        (void)QTest::qWaitForWindowExposed(&ide.editor());
        QApplication::processEvents();
        debug().Timer.stop();
    }
    ~DebugIde() {
        debug().hide();
        QApplication::processEvents();
    }

    TDebugForm& debug() { return *ide.shell->debug; }
    TRegisterForm& registers() { return *ide.shell->registers; }
    TCodeForm& code() { return *ide.shell->code; }
    TWatchForm& watch() { return *ide.shell->watch; }
    DebugSession& session() { return debug().Session; }
    const ChipState& chip() { return session().State; }
    std::uint32_t reg(int r) { return chip().registers[std::size_t(r)]; }
    int size() { return session().ProgramSize; }

    // Run > Debug on a source; true when the first halt was reached.
    bool Start(const std::string& source) {
        ide.SetText(source);
        ide.editor().RunDebug();
        debug().Timer.stop();
        return Idle();
    }
    // Run > Debug on Program() for the IDE's family.
    bool StartProgram(bool withBreak = true) { return Start(Program(ide.shell->family, withBreak)); }
    // Ticks until the idle buttons are set (or a tick limit passes).
    bool Idle(int limit = 400) {
        for (int i = 0; i < limit; ++i) {
            debug().Tick();
            if (!debug().isVisible()) return false;
            if (session().StateValid && debug().ButtonMask() == IdleMask(debug().BreakpointSet())) return true;
        }
        return false;
    }
    void Click(QPushButton* b) {
        QVERIFY(b->isEnabled());
        b->click();
    }
    int LineOfAddress(std::uint32_t a) { return ide.state->AddressLine[a]; }

    ToolDebugRunner runner;
    TestIde ide;
};

// Where a window's content is drawn: the canvas of a window that scrolls
// it (Registers, Watch), else the window.
QWidget& Content(QWidget& w) {
    auto* area = w.findChild<QScrollArea*>(QStringLiteral("Scroller"));
    return area ? *area->widget() : w;
}

QColor Pixel(QWidget& w, QPoint p) { return Content(w).grab().toImage().pixelColor(p); }
QPoint CellProbe(const QRect& r) { return {r.left() + 1, r.center().y()}; }

// Mouse events straight to the window, so that two clicks in a row stay two
// clicks (the platform would make the second a double click).
void SendMouse(QWidget& w, QEvent::Type type, QPoint p) {
    QMouseEvent e(type, QPointF(p), w.mapToGlobal(QPointF(p)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}
// A click at a point of the window's content.
void ClickAt(QWidget& w, QPoint p) {
    SendMouse(Content(w), QEvent::MouseButtonPress, p);
    SendMouse(Content(w), QEvent::MouseButtonRelease, p);
}
void DoubleClickAt(QWidget& w, QPoint p) {
    ClickAt(w, p);
    SendMouse(Content(w), QEvent::MouseButtonDblClick, p);
    SendMouse(Content(w), QEvent::MouseButtonRelease, p);
}

}  // namespace

class DebugWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void firstHaltThenSteps_data() { FamilyRows(); }
    void firstHaltThenSteps() {
        DebugIde d(RowFamily());
        QVERIFY(d.StartProgram());
        QVERIFY(d.debug().isVisible() && d.registers().isVisible() && d.code().isVisible() && d.watch().isVisible());
        QCOMPARE(d.debug().StatusPanel->text(), QString("Idle"));
        QCOMPARE(d.chip().ProgramCounter, std::uint32_t(d.size() - 1));
        // The tool counts no cycles: the stopwatch shows dashes, not figures.
        QCOMPARE(d.debug().StopwatchPanel->text(), QString::fromUtf8("Cycles \u2014\nLast run \u2014"));
        QVERIFY(d.debug().StopwatchPanel->toolTip().contains("counts no cycles"));
        QVERIFY(d.debug().StopwatchPanel->geometry().top() > d.debug().QuitButton->geometry().bottom());
        QVERIFY(d.debug().StopwatchPanel->geometry().bottom() < d.debug().height());
        QVERIFY(!d.ide.editor().RunMenu->isEnabled());
        QVERIFY(!d.ide.editor().Item("EditTextBiggerItem")->isEnabled());
        // Arranged: the Registers and Debug windows side by side with their
        // bottoms aligned, the Code window under the Registers window and the
        // Watch window under the Debug window.
        QWidget &dbg = d.debug(), &regs = d.registers(), &code = d.code(), &watch = d.watch();
        const QRect df = dbg.frameGeometry(), rf = regs.frameGeometry(), cf = code.frameGeometry();
        QCOMPARE(rf.right() + 1, df.left());
        QCOMPARE(rf.bottom(), df.bottom());
        QCOMPARE(cf.topLeft(), QPoint(rf.left(), rf.bottom() + 1));
        QCOMPARE(cf.width(), rf.width());
        QCOMPARE(watch.frameGeometry().topLeft(), QPoint(df.left(), cf.top()));
        // The first halt marks nothing as changed.
        for (int c = 0; c < 258; ++c) QVERIFY2(!(d.registers().CellStyleOf(c) & kStyleChanged), qPrintable(QString::number(c)));
        for (int r = 0; r < 7; ++r) QVERIFY(!d.watch().Changed(r));
        QCOMPARE(d.debug().ButtonMask(), IdleMask(true));  // the BREAK set a breakpoint

        // Step into the program: the reset jump, then MOV W,#5.
        d.Click(d.debug().StepButton);
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(0));
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kStart);
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().W, 5u);
        QVERIFY(d.registers().CellStyleOf(kCellW) & kStyleChanged);
        QRect w = d.registers().CellRect(kCellW);
        QCOMPARE(Pixel(d.registers(), CellProbe(w)), QColor(Qt::red));
        // The Code view marks the line of the program counter.
        int row = d.LineOfAddress(d.chip().ProgramCounter) - d.code().TopLine();
        QCOMPARE(d.code().RowStyle(row), CodeRowStyle::Current);
        QCOMPARE(Pixel(d.code(), QPoint(2, d.code().RowRect(row).center().y())), QColor(Qt::blue));
        // Next halt without a change of W: plain again.
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.reg(0x0C), 5u);
        QVERIFY(!(d.registers().CellStyleOf(kCellW) & kStyleChanged));
        QCOMPARE(Pixel(d.registers(), CellProbe(w)), d.registers().palette().color(QPalette::Base));
        QVERIFY(d.watch().Changed(0));
        QCOMPARE(d.watch().ValueText(0), QString("5"));
        QCOMPARE(d.watch().ValueText(2), QString("%0000_0101"));
        QCOMPARE(d.watch().ValueText(5), QString("$05"));
        QCOMPARE(d.watch().ValueText(6), QString("%0101"));
        QCOMPARE(Pixel(d.watch(), d.watch().ValueRect(0).center() + QPoint(-d.watch().ValueRect(0).width() / 2 + 2, 0)),
                 QColor(Qt::red));
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        QVERIFY(!d.watch().Changed(0));

        // Quit ends debugging: windows hidden, port closed, menus back.
        d.Click(d.debug().QuitButton);
        QVERIFY(!d.registers().isVisible() && !d.code().isVisible() && !d.watch().isVisible());
        QVERIFY(!d.ide.shell->link.PortOpen);
        QVERIFY(d.ide.editor().RunMenu->isEnabled());
        QVERIFY(d.ide.editor().Item("EditTextBiggerItem")->isEnabled());
    }

    void walkHopJogAndStop_data() { FamilyRows(); }
    void walkHopJogAndStop() {
        DebugIde d(RowFamily());
        QVERIFY(d.StartProgram(false));
        QCOMPARE(d.debug().ButtonMask(), IdleMask(false));
        // Walk refreshes after each instruction until Stop.
        d.Click(d.debug().WalkButton);
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(kMaskStop));
        for (int i = 0; i < 6; ++i) d.debug().Tick();
        QVERIFY(d.debug().WalkFlag);
        auto sent = d.ide.device->written.size();
        d.Click(d.debug().StopButton);
        QCOMPARE(d.ide.device->written.size(), sent);  // Stop after Walk sends nothing
        QVERIFY(d.Idle());
        QVERIFY(!d.debug().WalkFlag);

        // Hop moves by listing lines.
        int line = d.LineOfAddress(d.chip().ProgramCounter);
        d.Click(d.debug().HopButton);
        QVERIFY(d.Idle());
        QVERIFY(d.LineOfAddress(d.chip().ProgramCounter) != line);
        // Jog hops on and on; Stop ends it at a listing line.
        d.Click(d.debug().JogButton);
        for (int i = 0; i < 10; ++i) d.debug().Tick();
        d.Click(d.debug().StopButton);
        QVERIFY(d.Idle());
        QVERIFY(d.LineOfAddress(d.chip().ProgramCounter) >= 0);
    }

    // Time passes after each halt: many ticks follow, and they only poll
    // (two bytes each); the marks of the halt stay until the next one.
    void haltsAreHandledOnceAndMarksPersist_data() { FamilyRows(); }
    void haltsAreHandledOnceAndMarksPersist() {
        DebugIde d(RowFamily());
        QVERIFY(d.StartProgram());
        auto onlyPolls = [&](int ticks) {
            const auto sent = d.ide.device->written.size();
            const ChipState before = d.chip();
            for (int i = 0; i < ticks; ++i) d.debug().Tick();
            QCOMPARE(d.ide.device->written.size(), sent + std::size_t(2 * ticks));
            QVERIFY(d.chip() == before);
            QCOMPARE(d.debug().ButtonMask(), IdleMask(d.debug().BreakpointSet()));
        };
        onlyPolls(50);
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        d.Click(d.debug().StepButton);  // MOV W,#5: W changes
        QVERIFY(d.Idle());
        onlyPolls(50);
        QVERIFY(d.registers().CellStyleOf(kCellW) & kStyleChanged);
        QCOMPARE(Pixel(d.registers(), CellProbe(d.registers().CellRect(kCellW))), QColor(Qt::red));
        // Hop lands once and stays.
        d.Click(d.debug().HopButton);
        QVERIFY(d.Idle());
        const std::uint32_t landed = d.chip().ProgramCounter;
        QCOMPARE(landed, kStart + 2);  // MOV count,W done
        QVERIFY(!(d.registers().CellStyleOf(kCellW) & kStyleChanged));
        QVERIFY(d.watch().Changed(0));
        onlyPolls(50);
        QCOMPARE(d.chip().ProgramCounter, landed);
        QVERIFY(d.watch().Changed(0));
        // Clicks `button`, lets `ticks` ticks pass and clicks Stop.
        auto stopAfter = [&](QPushButton* button, int ticks) {
            d.Click(button);
            for (int i = 0; i < ticks; ++i) d.debug().Tick();
            d.Click(d.debug().StopButton);
        };
        // Jog then Stop: one halt, then nothing more.
        stopAfter(d.debug().JogButton, 3);
        QVERIFY(d.Idle());
        onlyPolls(50);
        // Walk steps on by itself up to the breakpoint, then stays.
        d.Click(d.debug().WalkButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kBreakWord + 1);
        onlyPolls(50);
        // Run to the BREAK and leave it there.
        d.Click(d.debug().RunButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kBreakWord + 1);
        QVERIFY(d.watch().Changed(0));
        onlyPolls(50);
        QVERIFY(d.watch().Changed(0));
        // Poll runs to the breakpoint again and again until Stop; then quiet.
        stopAfter(d.debug().PollButton, 8);
        QVERIFY(d.Idle());
        onlyPolls(50);
        // Reset: one halt at the reset vector.
        d.Click(d.debug().ResetButton);
        QVERIFY(d.Idle());
        onlyPolls(50);
        QCOMPARE(d.chip().ProgramCounter, std::uint32_t(d.size() - 1));
    }

    // A double click whose presses have ticks between them still moves the
    // program counter and undoes its first click's breakpoint toggle.
    void doubleClickWithTicksBetweenPresses() {
        DebugIde d(Sx28lFamily());
        QVERIFY(d.Start(Program(Sx28lFamily(), false)));
        TCodeForm& c = d.code();
        const int row = d.LineOfAddress(kLoop) - c.TopLine();
        const QPoint p = c.RowRect(row).center();
        ClickAt(c, p);
        QCOMPARE(d.chip().Breakpoint, kLoop);
        for (int i = 0; i < 5; ++i) d.debug().Tick();
        SendMouse(c, QEvent::MouseButtonDblClick, p);
        SendMouse(c, QEvent::MouseButtonRelease, p);
        QCOMPARE(d.chip().ProgramCounter, kLoop);
        QCOMPARE(d.chip().Breakpoint, 4096u);
        for (int i = 0; i < 20; ++i) d.debug().Tick();
        QCOMPARE(d.chip().ProgramCounter, kLoop);
        QCOMPARE(d.chip().Breakpoint, 4096u);
    }

    // Minimise and restore (spontaneous hide and show) keep the session.
    void minimiseKeepsTheSession() {
        DebugIde d(Sx28lFamily());
        QVERIFY(d.Start(Program(Sx28lFamily())));
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        const std::uint32_t pc = d.chip().ProgramCounter;
        QHideEvent hide;
        QSpontaneKeyEvent::setSpontaneous(&hide);
        static_cast<QObject&>(d.debug()).event(&hide);  // keeps the spontaneous mark
        QVERIFY(d.ide.shell->link.PortOpen);
        QShowEvent show;
        QSpontaneKeyEvent::setSpontaneous(&show);
        static_cast<QObject&>(d.debug()).event(&show);
        QVERIFY(d.ide.shell->link.PortOpen);
        for (int i = 0; i < 10; ++i) d.debug().Tick();
        QCOMPARE(d.chip().ProgramCounter, pc);
        QCOMPARE(d.debug().ButtonMask(), IdleMask(true));
    }

    // A Hop over a loop on one listing line ends within a few ticks.
    void longHopEndsWithinFewTicks() {
        DebugIde d(Sx28lFamily());
        QVERIFY(d.Start(LongLoop(Sx28lFamily())));
        for (int i = 0; i < 2; ++i) {
            d.Click(d.debug().StepButton);
            QVERIFY(d.Idle());
        }
        QCOMPARE(d.chip().ProgramCounter, kStart + 1);
        d.Click(d.debug().HopButton);
        QVERIFY(d.debug().StopButton->isEnabled());
        QVERIFY(d.Idle(20));
        QCOMPARE(d.chip().ProgramCounter, kStart + 3);  // DJNZ takes two words
        // Stop ends a Hop in progress at the next halt.
        d.Click(d.debug().ResetButton);
        QVERIFY(d.Idle());
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        d.Click(d.debug().HopButton);
        d.Click(d.debug().StopButton);
        QVERIFY(d.Idle(5));
        QCOMPARE(d.chip().ProgramCounter, kStart + 2);  // one instruction on, still the DJNZ line
    }

    void runPollAndReset_data() { FamilyRows(); }
    void runPollAndReset() {
        DebugIde d(RowFamily());
        QVERIFY(d.StartProgram());
        // Run to the BREAK: the chip halts after the breakpoint's word.
        d.Click(d.debug().RunButton);
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(0));
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kBreakWord + 1);
        QCOMPARE(d.reg(0x0C), 6u);
        // Poll with the breakpoint runs to it again and again.
        d.Click(d.debug().PollButton);
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(kMaskStop));
        for (int i = 0; i < 8; ++i) d.debug().Tick();
        d.Click(d.debug().StopButton);
        QVERIFY(d.Idle());
        QVERIFY(d.reg(0x0C) > 7u);

        // Clear the breakpoint by a click on its line in the Code view.
        int row = d.LineOfAddress(kBreakWord) - d.code().TopLine();
        QVERIFY(row >= 0 && row < d.code().Rows());
        ClickAt(d.code(), d.code().RowRect(row).center());
        QCOMPARE(d.chip().Breakpoint, 4096u);
        QCOMPARE(d.debug().ButtonMask(), IdleMask(false));

        // Run freely: Running, then Stop halts it.
        d.Click(d.debug().RunButton);
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(kMaskPoll | kMaskStop));
        d.debug().Tick();
        QCOMPARE(d.debug().StatusPanel->text(), QString("Running"));
        // Poll interrupts, refreshes and lets it run again.
        std::uint32_t before = d.reg(0x0C);
        d.Click(d.debug().PollButton);
        d.debug().Tick();
        d.debug().Tick();
        QVERIFY(d.reg(0x0C) != before);
        QCOMPARE(d.debug().StatusPanel->text(), QString("Running"));
        d.Click(d.debug().StopButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.debug().StatusPanel->text(), QString("Idle"));

        // Reset returns to the reset vector.
        d.Click(d.debug().ResetButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, std::uint32_t(d.size() - 1));
    }

    // A Registers window smaller than its content: the wheel over the
    // program lines still scrolls them, elsewhere it scrolls the window;
    // keys that no edit takes scroll too, and a cell moved to by the keys
    // of an edit is scrolled into view.
    void smallRegistersWindowScrolls() {
        DebugIde d(FamilyByIndex(0));
        QVERIFY(d.Start(Program(FamilyByIndex(0))));
        TRegisterForm& r = d.registers();
        r.resize(300, 150);
        QApplication::processEvents();
        auto* area = r.findChild<QScrollArea*>(QStringLiteral("Scroller"));
        QVERIFY(area);
        QScrollBar* window = area->verticalScrollBar();
        QVERIFY(window->maximum() > 0);
        // A notch: up for a positive `delta`.
        auto wheel = [&](QPoint at, int delta) {
            QWheelEvent e(QPointF(at), area->widget()->mapToGlobal(QPointF(at)), {}, {0, delta}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(area->widget(), &e);
        };
        const int program = r.ScrollBar->value();  // the reset vector, at the end
        wheel(r.ProgramLineRect(3).center(), 120);
        QCOMPARE(window->value(), 0);
        QVERIFY(r.ScrollBar->value() != program);
        const int programAfter = r.ScrollBar->value();
        wheel(QPoint(10, 60), -120);
        QVERIFY(window->value() > 0);
        QCOMPARE(r.ScrollBar->value(), programAfter);
        QTest::keyClick(r.Editor, Qt::Key_Home);
        QCOMPARE(window->value(), 0);
        QTest::keyClick(r.Editor, Qt::Key_PageDown);
        QVERIFY(window->value() > 0);
        QTest::keyClick(r.Editor, Qt::Key_Home);
        // Down from IND through the global column to W, the lowest row.
        ClickAt(r, r.CellRect(0).center());
        QCOMPARE(r.EditCell(), 0);
        for (int i = 0; i < 40 && r.EditCell() != kCellW; ++i) QTest::keyClick(r.Editor, Qt::Key_Down);
        QCOMPARE(r.EditCell(), kCellW);
        const QRect shown(area->widget()->mapFrom(area->viewport(), QPoint(0, 0)), area->viewport()->size());
        QVERIFY2(shown.contains(r.CellRect(kCellW)), "the selected cell is not in view");
        // A click on the window itself counts where the canvas shows it.
        r.EndEdit(false);
        SendMouse(r, QEvent::MouseButtonPress, area->widget()->mapTo(&r, r.CellRect(kCellM).center()));
        QCOMPARE(r.EditCell(), kCellM);
    }

    void registerEdits_data() { FamilyRows(); }
    void registerEdits() {
        DebugIde d(RowFamily());
        QVERIFY(d.StartProgram());
        TRegisterForm& r = d.registers();
        d.registers().activateWindow();
        // 7, F, Enter writes 0x7F into register 0Ah.
        ClickAt(r, r.CellRect(0x0A).center());
        QCOMPARE(r.EditCell(), 0x0A);
        QTest::keyClicks(r.Editor, "7F");
        QCOMPARE(r.EditValue(), 0x7Fu);
        QTest::keyClick(r.Editor, Qt::Key_Return);
        QCOMPARE(d.reg(0x0A), 0x7Fu);
        QVERIFY(r.CellStyleOf(0x0A) & kStyleChanged);
        // 5, Escape writes nothing.
        auto sent = d.ide.device->written.size();
        QTest::keyClicks(r.Editor, "5");
        QTest::keyClick(r.Editor, Qt::Key_Escape);
        QCOMPARE(d.ide.device->written.size(), sent);
        QCOMPARE(d.reg(0x0A), 0x7Fu);
        QVERIFY(r.isVisible());
        // A move commits a typed value and selects the next register.
        QTest::keyClicks(r.Editor, "3C");
        QTest::keyClick(r.Editor, Qt::Key_Down);
        QCOMPARE(d.reg(0x0A), 0x3Cu);
        QCOMPARE(r.EditCell(), 0x0B);
        // A click on another cell writes the typed value first.
        QTest::keyClicks(r.Editor, "66");
        ClickAt(r, r.CellRect(kCellW).center());
        QCOMPARE(d.reg(0x0B), 0x66u);
        // W and M through their cells.
        QTest::keyClicks(r.Editor, "A5");
        QTest::keyClick(r.Editor, Qt::Key_Enter);
        QCOMPARE(d.chip().W, 0xA5u);
        // A bank register.
        ClickAt(r, r.CellRect(0xF3).center());
        QTest::keyClicks(r.Editor, "42");
        QTest::keyClick(r.Editor, Qt::Key_Return);
        QCOMPARE(d.reg(0xF3), 0x42u);

        // A bit flipped by a click, and the SKIP flag.
        ClickAt(r, r.BitRect(0x0A, 0).center());
        QCOMPARE(d.reg(0x0A), 0x3Du);
        QCOMPARE(Pixel(r, CellProbe(r.BitRect(0x0A, 0))), QColor(Qt::red));
        // At the reset vector the flags are cleared; step into the program.
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        ClickAt(r, r.FlagRect(true).center());
        QCOMPARE(d.chip().SkipFlag, std::uint8_t(1));
        QCOMPARE(Pixel(r, r.FlagRect(true).topLeft() + QPoint(2, 2)), QColor(Qt::blue));
    }

    void breakpointAndProgramCounterByMouse_data() { FamilyRows(); }
    void breakpointAndProgramCounterByMouse() {
        DebugIde d(RowFamily());
        QVERIFY(d.StartProgram());
        TRegisterForm& r = d.registers();
        // Show the program area at the start of the program.
        r.ScrollBar->setValue(int(kStart));
        ClickAt(r, r.ProgramLineRect(1).center());  // kStart + 1
        QCOMPARE(d.chip().Breakpoint, kStart + 1);
        ClickAt(r, r.ProgramLineRect(1).center());
        QCOMPARE(d.chip().Breakpoint, 4096u);
        // A word without code does nothing.
        r.ScrollBar->setValue(0);
        ClickAt(r, r.ProgramLineRect(5).center());
        QCOMPARE(d.chip().Breakpoint, 4096u);
        // Double click moves the program counter and keeps the breakpoint.
        r.ScrollBar->setValue(int(kStart));
        DoubleClickAt(r, r.ProgramLineRect(3).center());
        QCOMPARE(d.chip().ProgramCounter, kLoop);
        QCOMPARE(d.chip().Breakpoint, 4096u);
        d.Click(d.debug().StepButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kLoop + 1);
        // The Code view: double click on the start line.
        TCodeForm& c = d.code();
        int row = d.LineOfAddress(kStart) - c.TopLine();
        DoubleClickAt(c, c.RowRect(row).center());
        QCOMPARE(d.chip().ProgramCounter, kStart);
        QCOMPARE(c.RowStyle(row), CodeRowStyle::Current);
        // A comment line carries no breakpoint.
        ClickAt(c, c.RowRect(d.LineOfAddress(kStart) - 1 - c.TopLine()).center());
        QCOMPARE(d.chip().Breakpoint, 4096u);
    }

    void watchEdits_data() { FamilyRows(); }
    void watchEdits() {
        DebugIde d(RowFamily());
        ModalDriver modal;
        QVERIFY(d.StartProgram());
        TWatchForm& w = d.watch();
        auto enter = [&](int row, const char* text) {
            ClickAt(w, w.ValueRect(row).center());
            QCOMPARE(w.SelectedRow(), row);
            QTest::keyClicks(&w, text);
            QTest::keyClick(&w, Qt::Key_Return);
        };
        enter(0, "200");
        QCOMPARE(d.reg(0x0C), 200u);
        QCOMPARE(w.ValueText(0), QString("200"));
        QVERIFY(w.Changed(0));
        enter(1, "-$1F");
        QCOMPARE(d.reg(0x0D), 0xE1u);
        QCOMPARE(d.reg(0x0E), 0xFFu);
        QCOMPARE(w.ValueText(1), QString("-$001F"));
        enter(2, "%1010_0110");
        QCOMPARE(d.reg(0x0C), 0xA6u);
        enter(5, "$FF");
        QCOMPARE(d.reg(0x0C), 0xFFu);
        enter(6, "-2");  // 4 bits of register 0x0C only
        QCOMPARE(d.reg(0x0C), 0xFEu);
        enter(4, "-7");  // 12 bits across 0x0D and 0x0E
        QCOMPARE(w.ValueText(4), QString("-7"));
        QCOMPARE(d.reg(0x0E) & 0xF0u, 0xF0u);
        // A string watch.
        enter(3, "Hi");
        QCOMPARE(w.ValueText(3), QString("'Hi'"));
        QCOMPARE(d.reg(0x10), std::uint32_t('H'));
        QCOMPARE(d.reg(0x12), 0u);
        // Enter on the untouched value writes the same text again.
        ClickAt(w, w.ValueRect(3).center());
        QTest::keyClick(&w, Qt::Key_Return);
        QCOMPARE(w.ValueText(3), QString("'Hi'"));
        // An invalid entry: the box, and the value restored.
        modal.Box(QMessageBox::Ok);
        enter(0, "12x");
        QCOMPARE(modal.texts, QStringList{"Invalid constant entry"});
        QCOMPARE(modal.buttons.front(), QStringList{"OK"});
        QCOMPARE(d.reg(0x0C), 0xFEu);
        QCOMPARE(w.EditText(), w.ValueText(0));
        // Escape abandons; Up and Down wrap.
        ClickAt(w, w.ValueRect(0).center());
        QTest::keyClicks(&w, "9");
        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(w.EditText(), w.ValueText(0));
        QTest::keyClick(&w, Qt::Key_Up);
        QCOMPARE(w.SelectedRow(), 6);
        QTest::keyClick(&w, Qt::Key_Down);
        QCOMPARE(w.SelectedRow(), 0);
        QCOMPARE(d.reg(0x0C), 0xFEu);
    }

    // The tool stops answering during a Step, in the middle of a Hop over a
    // long loop on one line (its first poll), or of a Jog: the one box, then the windows go
    // and the main window's Run menu is back.
    void linkFailureClosesTheWindows_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("command");  // 0 Step, 1 Hop, 2 Jog
        QTest::addColumn<int>("ticks");    // ticks of the command before the failure
        for (int family : {0, 1}) {
            const char* name = family ? "52" : "28L";
            QTest::addRow("%s step", name) << family << 0 << 0;
            QTest::addRow("%s hop", name) << family << 1 << 0;
            QTest::addRow("%s jog", name) << family << 2 << 3;
        }
    }
    void linkFailureClosesTheWindows() {
        QFETCH(int, family);
        QFETCH(int, command);
        QFETCH(int, ticks);
        const Family& f = FamilyByIndex(family);
        DebugIde d(f);
        ModalDriver modal;
        QVERIFY(d.Start(LongLoop(f)));
        for (int i = 0; i < 2; ++i) {  // onto the DJNZ line
            d.Click(d.debug().StepButton);
            QVERIFY(d.Idle());
        }
        modal.Box(QMessageBox::Abort);
        QPushButton* buttons[] = {d.debug().StepButton, d.debug().HopButton, d.debug().JogButton};
        d.Click(buttons[command]);
        for (int i = 0; i < ticks; ++i) d.debug().Tick();
        QVERIFY(modal.texts.empty());
        QVERIFY(command == 0 || d.debug().StopButton->isEnabled());  // still under way
        d.ide.firmware->Disconnect();  // the tool stops answering
        d.debug().Tick();
        QCOMPARE(modal.texts.size(), 1);
        QVERIFY(modal.texts.front().endsWith("."));
        QCOMPARE(modal.buttons.front(), QStringList{"Abort"});
        QVERIFY(!d.ide.shell->link.PortOpen);
        d.debug().Tick();
        QVERIFY(!d.debug().isVisible());
        QVERIFY(!d.registers().isVisible() && !d.code().isVisible() && !d.watch().isVisible());
        QVERIFY(d.ide.editor().RunMenu->isEnabled());
        QCOMPARE(modal.texts.size(), 1);
    }

    void withoutWatchesTheWatchWindowStaysHidden() {
        DebugIde d(Sx52Family());
        QVERIFY(d.Start(" RESET start\r ORG 10h\rstart NOP\r JMP start\r"));
        QVERIFY(!d.debug().WatchButton->isEnabled());
        QVERIFY(!d.watch().isVisible());
        QCOMPARE(d.debug().ButtonMask(), IdleMask(false));
        QCOMPARE(d.debug().StatusPanel->text(), QString("Idle"));
    }

    void reenterDoesNotProgram() {
        DebugIde d(Sx28lFamily());
        QVERIFY(d.Start(Program(Sx28lFamily())));
        d.Click(d.debug().QuitButton);
        auto erases = d.ide.device->written.size();
        d.ide.editor().RunDebugAgain();
        d.debug().Timer.stop();
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, std::uint32_t(d.size() - 1));
        QVERIFY(d.ide.device->written.size() - erases < 400);  // no programming sequence
    }
    // Debug (reenter) on a chip that Run > Program gave the plain program:
    // it runs, the Registers window shows none of the last session's values
    // and Stop is there meanwhile; Reset starts the wait again; once a debug
    // image would have halted at reset, a box says why and debugging ends.
    void reenterWithoutTheDebugImage_data() { FamilyRows(); }
    void reenterWithoutTheDebugImage() {
        const Family& f = RowFamily();
        DebugIde d(f);
        QVERIFY(d.Start(Program(f)));
        auto inkInCell = [&](int cell) {
            const QImage image = Content(d.registers()).grab().toImage();
            const QRect r = d.registers().CellRect(cell).adjusted(2, 2, -2, -2);
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) n += qGray(image.pixel(x, y)) < 100;
            return n;
        };
        QVERIFY(inkInCell(kCellW) > 0);
        d.Click(d.debug().QuitButton);
        RunGuarded(&d.ide.editor(), [&] { d.ide.editor().RunProgram(); });
        ModalDriver modal;
        d.ide.editor().RunDebugAgain();
        d.debug().Timer.stop();
        QVERIFY(d.debug().isVisible());
        for (int i = 0; i < 5; ++i) d.debug().Tick();
        QCOMPARE(d.debug().StatusPanel->text(), QString("Running"));
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(kMaskStop));
        QCOMPARE(inkInCell(kCellW), 0);
        d.ide.ticks.now += kResetHaltTimeoutMs - 100;
        d.Click(d.debug().ResetButton);
        d.ide.ticks.now += 200;
        d.debug().Tick();
        QVERIFY(d.debug().isVisible());
        QCOMPARE(modal.texts.size(), 0);
        modal.Box(QMessageBox::Ok);
        d.ide.ticks.now += kResetHaltTimeoutMs;
        d.debug().Tick();
        QCOMPARE(modal.texts, QStringList{"The chip does not answer as a debug image does: Run > Debug programs it"});
        QVERIFY(!d.debug().isVisible());
        QVERIFY(!d.registers().isVisible());
        QVERIFY(!d.ide.shell->link.PortOpen);
        QVERIFY(d.ide.editor().Item("RunDebugItem")->isEnabled());
        // Stop gives up waiting at once.
        d.ide.editor().RunDebugAgain();
        d.debug().Timer.stop();
        modal.Box(QMessageBox::Ok);
        d.Click(d.debug().StopButton);
        QCOMPARE(modal.texts.size(), 2);
        QVERIFY(!d.debug().isVisible());
    }

    void examplePrograms_data() { FamilyRows(); }
    void examplePrograms() {
        const Family& f = RowFamily();
        DebugIde d(f);
        QFile file(QStringLiteral(KORVID_SOURCE_DIR) + (f.is52() ? "/examples/sx52_counter.src" : "/examples/blink.src"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll().replace("\r\n", "\r").replace('\n', '\r');
        QVERIFY(d.Start(text.toStdString()));
        QCOMPARE(d.watch().ValueText(0), f.is52() ? QString("$0000") : QString("0"));
        // Into the program with a few steps, then Run: the 52 counter stops
        // after its BREAK, the blink runs freely until Stop.
        for (int i = 0; i < 3; ++i) {
            d.Click(d.debug().StepButton);
            QVERIFY(d.Idle());
        }
        d.Click(d.debug().RunButton);
        if (f.is52()) {
            QVERIFY(d.Idle());
            QCOMPARE(d.watch().ValueText(0), QString("$0001"));
            d.Click(d.debug().RunButton);
            QVERIFY(d.Idle());
            QCOMPARE(d.watch().ValueText(0), QString("$0002"));
            QVERIFY(d.watch().Changed(0));
        } else {
            for (int i = 0; i < 4; ++i) d.debug().Tick();
            QCOMPARE(d.debug().StatusPanel->text(), QString("Running"));
            d.Click(d.debug().StopButton);
            QVERIFY(d.Idle());
            QCOMPARE(d.debug().StatusPanel->text(), QString("Idle"));
        }
        // The Code view shows the listing line of the program counter.
        int row = d.LineOfAddress(d.chip().ProgramCounter) - d.code().TopLine();
        QVERIFY(row >= d.code().Rows() / 4 - 1 && row < d.code().Rows());
        QCOMPARE(d.code().RowStyle(row), CodeRowStyle::Current);
    }

    void sxcSession_data() { FamilyRows(); }
    void sxcSession() {
        const Family& f = RowFamily();
        // The configuration words of an assembled program with the same
        // device settings.
        AssemblyState scratch(f);
        std::vector<char> list(kDefaultListCapacity);
        scratch.ListText = list.data();
        scratch.ListCapacity = kDefaultListCapacity;
        std::string src = Header(f) + " RESET 20h\r ORG 20h\r NOP\r";
        scratch.SourceText = src.c_str();
        Assemble(scratch);
        QCOMPARE(int(scratch.ErrorFlag), 0);
        const int top = ProgramSize(f, scratch.ChipImage[kExtFuseIndex]) - 1;

        SxcProgram p;
        p.Line("; counter.c");
        p.Line("void main(void) {");
        p.Line("  0020 0C05      W = 5;", 0x20, {0xC05});
        p.Line("  0021 002C      count = W;", 0x21, {0x02C});
        p.SkippedLines({"", "/* loop */"});
        p.Line("  0022 02AC      count++;", 0x22, {0x2AC});
        p.Line("  0023 0A22      goto loop;", 0x23, {0xA22});
        p.Line("}");
        p.Line("  reset vector", top, {0xA20});
        p.Fuses(scratch.ChipImage[kFuseIndex] & kWordMask, scratch.ChipImage[kExtFuseIndex] & kWordMask);
        p.Frequency(4000000);
        QTemporaryDir dir;
        const QString base = dir.filePath("counter");
        QVERIFY(WriteSxcFixture(base.toStdString(), p));

        DebugIde d(f, {"/B", base});
        QVERIFY(d.debug().isVisible());
        QVERIFY(d.ide.editor().windowTitle().startsWith(base + " - ByteCraft SXC Mode - "));
        QVERIFY(!d.ide.editor().Item("RunAssembleItem")->isEnabled());
        QVERIFY(d.Idle());
        QVERIFY(d.code().SxcMode());
        QCOMPARE(d.ide.state->ClockFrequency, 4000000u);
        QCOMPARE(d.LineOfAddress(0x22), 6);
        // A breakpoint by a click on the listing line of count++.
        TCodeForm& c = d.code();
        ClickAt(c, c.RowRect(6 - c.TopLine()).center());
        QCOMPARE(d.chip().Breakpoint, 0x22u);
        ClickAt(c, c.RowRect(4 - c.TopLine()).center());  // a line without code
        QCOMPARE(d.chip().Breakpoint, 0x22u);
        d.Click(d.debug().RunButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, 0x23u);
        QCOMPARE(d.reg(0x0C), 6u);
        QCOMPARE(c.RowStyle(6 - c.TopLine()), CodeRowStyle::Breakpoint);
        QCOMPARE(c.RowStyle(7 - c.TopLine()), CodeRowStyle::Current);
        // The single part carries the right-hand colours.
        QCOMPARE(Pixel(c, QPoint(2, c.RowRect(6 - c.TopLine()).center().y())), QColor(Qt::red));
        QCOMPARE(Pixel(c, QPoint(2, c.RowRect(3 - c.TopLine()).center().y())), c.palette().color(QPalette::Base));
        // Quitting brings back what SXC mode left enabled, and no more.
        d.Click(d.debug().QuitButton);
        QVERIFY(d.ide.editor().Item("RunDebugItem")->isEnabled());
        QVERIFY(!d.ide.editor().Item("RunAssembleItem")->isEnabled());
    }

    void debugImageFailureShowsItsMessage() {
        DebugIde d(Sx28lFamily());
        ModalDriver modal;
        modal.Box(QMessageBox::Ok);
        d.ide.SetText(" DEVICE SX28L, TURBO, STACKX_OPTIONX\r ORG 0\rstart NOP\r JMP start\r");  // no RESET jump
        RunGuarded(&d.ide.editor(), [&] { d.ide.editor().RunDebug(); });
        QCOMPARE(modal.texts.size(), 1);
        QVERIFY(modal.texts.front().startsWith("ERROR! Debug requires the following:"));
        QCOMPARE(modal.buttons.front(), QStringList{"OK"});
        QVERIFY(!d.debug().isVisible());
    }
    void sleepingChipAndEscape_data() { FamilyRows(); }
    void sleepingChipAndEscape() {
        const Family& f = RowFamily();
        DebugIde d(f);
        QVERIFY(d.Start(Header(f) + " RESET start\r ORG 10h\rstart NOP\r SLEEP\r JMP start\r"));
        d.Click(d.debug().RunButton);
        d.debug().Tick();
        d.debug().Tick();
        QCOMPARE(d.debug().StatusPanel->text(), QString("Sleeping"));
        // Escape in the windows neither hides them nor ends debugging.
        for (QWidget* w : std::initializer_list<QWidget*>{&d.debug(), &d.registers(), &d.code()}) {
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
        }
        d.Click(d.debug().StopButton);
        QVERIFY(d.Idle());
        QCOMPARE(d.debug().StatusPanel->text(), QString("Idle"));
    }

    // The debug keys from each debug window: F11 Step, F10 Hop, F5 Run and
    // Shift+F5 Stop, each only while its button is enabled; F9 toggles the
    // breakpoint on the Code window's selected line and does nothing in the
    // other windows.
    void debugKeysFromEveryWindow_data() {
        QTest::addColumn<int>("window");
        const char* names[] = {"Debug", "Registers", "Code", "Watch"};
        for (int i = 0; i < 4; ++i) QTest::newRow(names[i]) << i;
    }
    void debugKeysFromEveryWindow() {
        QFETCH(int, window);
        DebugIde d(Sx28lFamily());
        QVERIFY(d.Start(Program(Sx28lFamily(), false)));
        QWidget* windows[] = {&d.debug(), &d.registers(), &d.code(), &d.watch()};
        QWidget& w = *windows[window];
        // Keys reach the window's focus widget, as typed keys do: in the
        // Registers window the cell editor, which takes every other key.
        if (&w == &d.registers()) {
            d.registers().SelectCell(0x0C);
            QCOMPARE(w.focusWidget(), d.registers().Editor);
        }
        auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            QApplication::setActiveWindow(&w);
            QTest::keyClick(w.focusWidget() ? w.focusWidget() : &w, key, mods);
        };
        auto pressSendsNothing = [&](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            const auto sent = d.ide.device->written.size();
            const std::uint8_t mask = d.debug().ButtonMask();
            press(key, mods);
            QCOMPARE(d.ide.device->written.size(), sent);
            QCOMPARE(d.debug().ButtonMask(), mask);
        };
        press(Qt::Key_F11);  // the reset jump
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kStart);
        pressSendsNothing(Qt::Key_F5, Qt::ShiftModifier);  // nothing runs: Stop is disabled
        press(Qt::Key_F10);                                // MOV W,#5, a line of its own
        QVERIFY(d.Idle());
        QCOMPARE(d.chip().ProgramCounter, kStart + 1);
        QCOMPARE(d.chip().W, 5u);
        press(Qt::Key_F5);  // no breakpoint: the loop runs on
        QCOMPARE(d.debug().ButtonMask(), std::uint8_t(kMaskPoll | kMaskStop));
        for (int i = 0; i < 5; ++i) d.debug().Tick();
        QCOMPARE(d.debug().StatusPanel->text(), QString("Running"));
        pressSendsNothing(Qt::Key_F5);  // Run is disabled while it runs
        press(Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(d.Idle());
        QVERIFY(d.reg(0x0C) > 5);  // count went round the loop

        // F9: the selected line is the next instruction's after a halt.
        const std::uint32_t pc = d.chip().ProgramCounter;
        QCOMPARE(d.code().SelectedLine(), d.LineOfAddress(pc));
        press(Qt::Key_F9);
        if (&w != &d.code()) {
            QCOMPARE(d.chip().Breakpoint, kNoBreakpoint);
            return;
        }
        QCOMPARE(d.chip().Breakpoint, pc);
        press(Qt::Key_F9);
        QCOMPARE(d.chip().Breakpoint, kNoBreakpoint);
        // A click selects its line (and toggles its breakpoint as before);
        // F9 then toggles that line's breakpoint.
        TCodeForm& c = d.code();
        ClickAt(c, c.RowRect(d.LineOfAddress(kLoop) - c.TopLine()).center());
        QCOMPARE(c.SelectedLine(), d.LineOfAddress(kLoop));
        QCOMPARE(d.chip().Breakpoint, kLoop);
        press(Qt::Key_F9);
        QCOMPARE(d.chip().Breakpoint, kNoBreakpoint);
        press(Qt::Key_F9);
        QCOMPARE(d.chip().Breakpoint, kLoop);
    }
};

QTEST_MAIN(DebugWindowsTest)
#include "DebugWindowsTest.moc"
