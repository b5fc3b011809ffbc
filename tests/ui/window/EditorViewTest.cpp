// The editing view: typing, the keys table with its modifiers, clicks,
// drags, the wheel, page moves, repainting only what changed.
#include <QApplication>
#include <QTest>
#include <QKeyEvent>
#include <QWheelEvent>

#include <cmath>
#include <cstring>

#include "WindowSupport.h"
#include "ui/SyntaxColours.h"

using namespace korvid;
using namespace korvid::test;

Q_DECLARE_METATYPE(Qt::Key)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

class EditorViewTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestIde> ide;
    std::uint32_t now = 100000;

    TEditorView& view() { return ide->view(); }
    TextBuffer& text() { return ide->text(); }
    void Click(int column, int row, std::uint32_t advanceMs = 1000) {
        now += advanceMs;
        QTest::mouseClick(&view(), Qt::LeftButton, Qt::NoModifier, view().CellCentre(column, row));
    }

private slots:
    // Each word gets the class the assembler's scanner and keyword tables
    // give it, in a source and in the source part of a listing line.
    void syntaxClasses() {
        SyntaxColourer colourer(Sx28lFamily());
        const std::string line = "start\tmov\tra,#$0F\t; note\r\tDEVICE TURBO\r\tdw 'ab' ?\r";
        const std::string listing = std::string(16, '0') + line.substr(0, line.find('\r') + 1);
        struct Case {
            const std::string* text;
            int prefix;
            const char* word;
            SyntaxKind kind;
        } cases[] = {
            {&line, 0, "start", SyntaxKind::Label},    {&line, 0, "mov", SyntaxKind::Instruction},
            {&line, 0, "ra", SyntaxKind::Register},    {&line, 0, "$0F", SyntaxKind::Number},
            {&line, 0, "; note", SyntaxKind::Comment}, {&line, 0, "DEVICE", SyntaxKind::Directive},
            {&line, 0, "TURBO", SyntaxKind::Directive}, {&line, 0, "'ab'", SyntaxKind::String},
            {&line, 0, "?", SyntaxKind::Error},        {&listing, 16, "0000", SyntaxKind::ListPrefix},
            {&listing, 16, "start", SyntaxKind::Label}, {&listing, 16, "mov", SyntaxKind::Instruction},
        };
        std::vector<SyntaxKind> kinds;
        for (const Case& c : cases) {
            colourer.Colour(*c.text, Dialect::Strict, c.prefix, kinds);
            QCOMPARE(kinds.size(), c.text->size());
            const std::size_t at = c.text->find(c.word, std::size_t(c.prefix));
            for (std::size_t i = at; i < at + std::strlen(c.word); ++i)
                QVERIFY2(kinds[i] == c.kind, c.word);
        }
        // The spaces between words are plain.
        colourer.Colour(line, Dialect::Strict, 0, kinds);
        QCOMPARE(kinds[line.find('\t')], SyntaxKind::Plain);
    }

    // A listing pads its address and code columns with TABs to column 16:
    // the source part starts after the padding, whatever its bytes.
    void listingColumnsAreDisplayColumns() {
        SyntaxColourer colourer(Sx28lFamily());
        const std::string listing =
            "000- 0FFF\t\tORG\t0\t; about twice\r"  // 9 columns, a TAB to 16, then the source's TAB
            "\t\t; LED blink about twice a second\r"
            "001- 0A02 0C05\tMOV\tW,#9\r";
        struct Case {
            const char* word;
            SyntaxKind kind;
        } cases[] = {
            {"000- 0FFF\t", SyntaxKind::ListPrefix},
            {"ORG", SyntaxKind::Directive},
            {"; about twice", SyntaxKind::Comment},
            {"; LED blink about twice a second", SyntaxKind::Comment},
            {"001- 0A02 0C05\t", SyntaxKind::ListPrefix},
            {"MOV", SyntaxKind::Instruction},
            {"#", SyntaxKind::Plain},
            {"9", SyntaxKind::Number},
        };
        std::vector<SyntaxKind> kinds;
        colourer.Colour(listing, Dialect::Strict, 16, kinds);
        for (const Case& c : cases) {
            const std::size_t at = listing.find(c.word);
            for (std::size_t i = at; i < at + std::strlen(c.word); ++i)
                QVERIFY2(kinds[i] == c.kind, qPrintable(QString::fromLatin1(c.word) + " at " + QString::number(i)));
        }
    }

    // Text of other colours is drawn on the same columns as uncoloured
    // text: every character of a line coloured alone lands where it lies
    // in the line drawn in one colour, at each text size.
    void colouredTextStaysOnItsColumns() {
        const std::string line(40, 'H');
        ide->editor().resize(1000, ide->editor().height());
        QApplication::processEvents();
        ide->SetText(line + "\r" + line + "\r");
        // The second line's characters in two alternating colours (each its
        // own run), the first line uncoloured but for its first character.
        view().Colourer = [](std::string_view text, std::vector<std::uint8_t>& kinds) {
            kinds.assign(text.size(), std::uint8_t(SyntaxKind::Plain));
            kinds[0] = std::uint8_t(SyntaxKind::Instruction);
            const std::size_t second = text.find('\r') + 1;
            for (std::size_t i = second; i < text.size(); ++i)
                kinds[i] = std::uint8_t((i - second) % 2 ? SyntaxKind::Instruction : SyntaxKind::Directive);
        };
        view().SetColours(true);
        for (int size : {9, 10, 11, 12, 14}) {
            view().EditorFontSize = size;
            view().LayoutView();
            const QImage image = view().grab().toImage();
            // The ink's centre in x of the last ten characters of a row.
            auto centre = [&](int row) {
                const QRect r = view().RowRect(row);
                const int from = view().areaLeft + view().leftMargin + 30 * view().charWidth - view().charWidth / 2;
                double sum = 0, count = 0;
                for (int y = r.top() + view().topMargin; y < r.bottom(); ++y)
                    for (int x = from; x < view().areaRight; ++x)
                        if (qGray(image.pixel(x, y)) < 160) sum += x, ++count;
                return count > 0 ? sum / count : -1.0;
            };
            const double plain = centre(0), coloured = centre(1);
            QVERIFY(plain > 0 && coloured > 0);
            QVERIFY(view().visibleColumns > 41);
            QVERIFY2(std::abs(plain - coloured) < 1.0,
                     qPrintable(QStringLiteral("size %1: %2 against %3").arg(size).arg(plain).arg(coloured)));
            // Both on the cells: ten characters centred on the tenth-last's cell.
            const double cells = view().areaLeft + view().leftMargin + 35 * view().charWidth;
            QVERIFY2(std::abs(plain - cells) < view().charWidth / 2.0,
                     qPrintable(QStringLiteral("size %1: %2 against the cells' %3").arg(size).arg(plain).arg(cells)));
        }
    }

    // With line numbers, the partly shown last row has its number too, and
    // a selection from the first column leaves the number column alone.
    void lineNumbersOnEveryRowAndNeverSelected() {
        std::string lines;
        for (int i = 0; i < 200; ++i) lines += "line\r";
        ide->SetText(lines);
        ide->editor().Item("ViewLineNumbersItem")->trigger();
        // Half a row below the whole rows.
        const int spare = (view().areaBottom - view().areaTop - view().topMargin) % view().charHeight;
        ide->editor().resize(ide->editor().width(), ide->editor().height() + view().charHeight * 2 / 3 - spare);
        QApplication::processEvents();
        view().LayoutView();
        const int last = view().visibleRows;
        QVERIFY(view().RowRect(last).height() >= view().charHeight / 2);
        // Lines 1 to 3 selected from their first column.
        text().caret = 0;
        text().anchor = 0;
        QTest::keyClick(&view(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(&view(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(&view(), Qt::Key_Down, Qt::ShiftModifier);
        const QImage image = view().grab().toImage();
        const QColor highlight = view().palette().color(QPalette::Highlight);
        const int gutterRight = view().areaLeft + 5 * view().charWidth;
        auto gutter = [&](int row, auto&& test) {
            int n = 0;
            const QRect r = view().RowRect(row);
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = view().areaLeft; x < gutterRight; ++x) n += test(QColor(image.pixel(x, y)));
            return n;
        };
        for (int row : {0, 1, 2}) QCOMPARE(gutter(row, [&](QColor c) { return c == highlight; }), 0);
        QVERIFY(gutter(1, [&](QColor c) { return c == highlight ? 0 : qGray(c.rgb()) < 200; }) > 0);
        QVERIFY2(gutter(last, [](QColor c) { return qGray(c.rgb()) < 200; }) > 0, "the last row has no number");
    }

    void init() {
        ide = std::make_unique<TestIde>(Sx28lFamily());
        view().Ticks = [this] { return now; };
        view().setFocus();
    }
    void cleanup() { ide.reset(); }

    // View > Line Numbers moves the text right of a number column: clicks
    // still land on the character under the pointer, and it goes away again.
    void lineNumbersKeepClicksOnTheirCharacters() {
        ide->SetText("abcdef\rghijkl\r");
        const int margin = view().leftMargin;
        ide->editor().Item("ViewLineNumbersItem")->trigger();
        QVERIFY(ide->editor().Item("ViewLineNumbersItem")->isChecked());
        QVERIFY(view().leftMargin >= margin + 5 * view().charWidth);
        Click(3, 1);
        QCOMPARE(text().caret, 10);
        ide->editor().Item("ViewLineNumbersItem")->trigger();
        QCOMPARE(view().leftMargin, margin);
    }

    void typing() {
        QTest::keyClicks(&view(), "ab");
        QTest::keyClick(&view(), Qt::Key_Tab);
        QTest::keyClick(&view(), Qt::Key_Return);
        QTest::keyClicks(&view(), "c");
        QKeyEvent umlaut(QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QString(QChar(0xE4)));
        QApplication::sendEvent(&view(), &umlaut);
        QTest::keyClick(&view(), Qt::Key_Escape);  // control characters are not text
        QCOMPARE(QByteArray::fromStdString(text().Text()), QByteArray("ab\t\rc\xe4"));
        // Shift+Tab arrives as Backtab without text and types a TAB too.
        QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
        QApplication::sendEvent(&view(), &backtab);
        QCOMPARE(QByteArray::fromStdString(text().Text()), QByteArray("ab\t\rc\xe4\t"));
        QTest::keyClick(&view(), Qt::Key_Backspace);
        QCOMPARE(text().modified, std::uint8_t(1));
        // Typing replaces a selection.
        SetMarked(*ide, "x^yz|w");
        QTest::keyClicks(&view(), "Q");
        QCOMPARE(Marked(text()), std::string("xQ|w"));
    }

    void keys_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("mods");
        QTest::addColumn<QString>("after");
        const auto none = Qt::KeyboardModifiers(Qt::NoModifier);
        const auto shift = Qt::KeyboardModifiers(Qt::ShiftModifier);
        const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
        const auto both = Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier);
        const auto alt = Qt::KeyboardModifiers(Qt::AltModifier);
        struct Row {
            const char* name;
            const char* before;
            Qt::Key key;
            Qt::KeyboardModifiers mods;
            const char* after;
        } rows[] = {
            {"bs", "abc|def", Qt::Key_Backspace, none, "ab|def"},
            {"bs at start", "|abc", Qt::Key_Backspace, none, "|abc"},
            {"shift bs", "ab\rcd|ef", Qt::Key_Backspace, shift, "ab\r|ef"},
            {"ctrl bs", "ab\rcd|ef\rgh", Qt::Key_Backspace, ctrl, "ab\r|gh"},
            {"shift ctrl bs", "ab\rcd|ef", Qt::Key_Backspace, both, "|ef"},
            {"bs selection", "a^bc|d", Qt::Key_Backspace, ctrl, "a|d"},
            {"del", "ab|cd", Qt::Key_Delete, none, "ab|d"},
            {"del at end", "ab|", Qt::Key_Delete, none, "ab|"},
            {"shift del", "ab|cd\ref", Qt::Key_Delete, shift, "ab|\ref"},
            {"ctrl del", "ab\rc|d\ref", Qt::Key_Delete, ctrl, "ab\r|ef"},
            {"shift ctrl del", "ab|cd\ref", Qt::Key_Delete, both, "ab|"},
            {"del selection", "a|bc^d", Qt::Key_Delete, shift, "a|d"},
            {"left", "ab|c", Qt::Key_Left, none, "a|bc"},
            {"alt left", "ab|c", Qt::Key_Left, alt, "a|bc"},
            {"shift left", "ab|c", Qt::Key_Left, shift, "a|b^c"},
            {"right", "a|bc", Qt::Key_Right, none, "ab|c"},
            {"shift right", "a|bc", Qt::Key_Right, shift, "a^b|c"},
            {"plain key drops selection", "a^b|c", Qt::Key_Right, none, "abc|"},
            {"ctrl left inside word", "foo ba|r", Qt::Key_Left, ctrl, "foo |bar"},
            {"ctrl left at word start", "foo |bar", Qt::Key_Left, ctrl, "|foo bar"},
            {"ctrl left at start", "|foo", Qt::Key_Left, ctrl, "|foo"},
            {"ctrl right", "|foo bar", Qt::Key_Right, ctrl, "foo| bar"},
            {"ctrl right after word", "foo| bar", Qt::Key_Right, ctrl, "foo bar|"},
            {"ctrl right at end", "foo |+", Qt::Key_Right, ctrl, "foo +|"},
            {"shift ctrl left selects word", "foo bar baz|", Qt::Key_Left, both, "foo bar |baz^"},
            {"shift ctrl right selects word", "foo| bar baz", Qt::Key_Right, both, "foo ^bar| baz"},
            {"up", "abcdef\rab|c", Qt::Key_Up, none, "ab|cdef\rabc"},
            {"up first line", "ab|c", Qt::Key_Up, none, "ab|c"},
            {"down last line", "x\rab|c", Qt::Key_Down, none, "x\rab|c"},
            {"down short line", "abcde|f\rab", Qt::Key_Down, none, "abcdef\rab|"},
            {"shift down", "ab|c\rdef", Qt::Key_Down, shift, "ab^c\rde|f"},
            {"home", "x\rab|c", Qt::Key_Home, none, "x\r|abc"},
            {"shift home", "x\rab|c", Qt::Key_Home, shift, "x\r|ab^c"},
            {"ctrl home", "x\rab|c", Qt::Key_Home, ctrl, "|x\rabc"},
            {"end", "a|bc\rx", Qt::Key_End, none, "abc|\rx"},
            {"ctrl end", "a|bc\rx", Qt::Key_End, ctrl, "abc\rx|"},
            {"shift ctrl end", "a|bc\rx", Qt::Key_End, both, "a^bc\rx|"},
            {"ctrl page up", "ab\rc|d", Qt::Key_PageUp, ctrl, "|ab\rcd"},
            {"ctrl page down", "a|b\rcd", Qt::Key_PageDown, ctrl, "ab\rcd|"},
            {"shift ctrl page down", "a|b\rcd", Qt::Key_PageDown, both, "a^b\rcd|"},
        };
        for (const Row& r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.before) << r.key << r.mods << QString::fromLatin1(r.after);
    }

    void keys() {
        QFETCH(QString, before);
        QFETCH(Qt::Key, key);
        QFETCH(Qt::KeyboardModifiers, mods);
        QFETCH(QString, after);
        SetMarked(*ide, before.toStdString());
        QTest::keyClick(&view(), key, mods);
        QCOMPARE(QString::fromStdString(Marked(text())), after);
    }

    void verticalMovesKeepTheColumn() {
        SetMarked(*ide, "abcdef\rab\rabcde|f");
        QTest::keyClick(&view(), Qt::Key_Up);
        QTest::keyClick(&view(), Qt::Key_Up);
        QCOMPARE(Marked(text()), std::string("abcde|f\rab\rabcdef"));
        // Another key in between lets the column lapse.
        SetMarked(*ide, "abcdef\rab\rabcde|f");
        QTest::keyClick(&view(), Qt::Key_Up);
        QTest::keyClick(&view(), Qt::Key_Left);
        QTest::keyClick(&view(), Qt::Key_Up);
        QCOMPARE(Marked(text()), std::string("a|bcdef\rab\rabcdef"));
    }

    void pageMoves() {
        std::string lines;
        for (int i = 0; i < 300; ++i) lines += "line" + std::to_string(i) + "\r";
        ide->SetText(lines);
        const int rows = view().visibleRows;
        QVERIFY(rows > 3);
        auto lineOfCaret = [&] {
            std::string t = text().Text().substr(0, std::size_t(text().caret));
            return int(std::count(t.begin(), t.end(), '\r'));
        };
        QTest::keyClick(&view(), Qt::Key_PageDown);
        QCOMPARE(lineOfCaret(), rows - 1);  // the last whole row
        QTest::keyClick(&view(), Qt::Key_PageDown);
        QCOMPARE(lineOfCaret(), 2 * rows - 1);  // a whole page further
        QTest::keyClick(&view(), Qt::Key_PageUp);
        QCOMPARE(text().caret, view().TopLine);  // first to the top row
        int top = lineOfCaret();
        QTest::keyClick(&view(), Qt::Key_PageUp);
        QCOMPARE(lineOfCaret(), std::max(top - rows, 0));
    }

    void clicks() {
        ide->SetText("alpha beta\r\tgamma\rdelta");
        Click(2, 0);
        QCOMPARE(text().caret, 2);
        QVERIFY(!text().HasSelection());
        // The right half of a character puts the caret after it.
        now += 1000;
        QPoint right = view().CellCentre(2, 0) + QPoint(view().charWidth / 2, 0);
        QTest::mouseClick(&view(), Qt::LeftButton, Qt::NoModifier, right);
        QCOMPARE(text().caret, 3);
        // Right of the line's end: on its CR.
        Click(30, 0);
        QCOMPARE(text().caret, 10);
        // Inside the TAB of line 2: the caret stands on the TAB.
        Click(3, 1);
        QCOMPARE(text().caret, 11);
        // Double click selects the word; on a space it selects nothing.
        Click(7, 0);
        Click(7, 0, 100);
        QCOMPARE(Marked(text()), std::string("alpha ^beta|\r\tgamma\rdelta"));
        Click(5, 0);
        Click(5, 0, 100);
        QVERIFY(!text().HasSelection());
        // Triple click selects the whole line with its CR; Delete removes it.
        Click(9, 1);
        Click(9, 1, 100);
        Click(9, 1, 100);
        QCOMPARE(Marked(text()), std::string("alpha beta\r^\tgamma\r|delta"));
        // A fourth quick click counts as a third.
        Click(9, 1, 100);
        QCOMPARE(Marked(text()), std::string("alpha beta\r^\tgamma\r|delta"));
        QTest::keyClick(&view(), Qt::Key_Delete);
        QCOMPARE(Marked(text()), std::string("alpha beta\r|delta"));
        // As Qt delivers them: the second press of a double click comes
        // only as a double-click event, and selects the word all the same.
        now += 1000;
        const QPoint word = view().CellCentre(8, 0);
        QTest::mousePress(&view(), Qt::LeftButton, Qt::NoModifier, word);
        QTest::mouseRelease(&view(), Qt::LeftButton, Qt::NoModifier, word);
        now += 100;
        QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(word), view().mapToGlobal(QPointF(word)), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view(), &dbl);
        QTest::mouseRelease(&view(), Qt::LeftButton, Qt::NoModifier, word);
        QCOMPARE(Marked(text()), std::string("alpha ^beta|\rdelta"));
        // Slow clicks are single clicks.
        Click(1, 0);
        Click(1, 0, 600);
        QVERIFY(!text().HasSelection());
        // Other buttons do nothing.
        QTest::mouseClick(&view(), Qt::RightButton, Qt::NoModifier, view().CellCentre(4, 1));
        QCOMPARE(text().caret, 1);
    }

    void dragAndAutoScroll() {
        std::string lines;
        for (int i = 0; i < 200; ++i) lines += "row " + std::to_string(i) + "\r";
        ide->SetText(lines);
        now += 1000;
        QTest::mousePress(&view(), Qt::LeftButton, Qt::NoModifier, view().CellCentre(1, 0));
        QTest::mouseMove(&view(), view().CellCentre(3, 2));
        QCOMPARE(text().anchor, 1);
        QCOMPARE(text().caret, 6 + 6 + 3);
        QVERIFY(text().HasSelection());
        QVERIFY(!view().SelectTimer.isActive());
        // Keys are ignored while dragging.
        QTest::keyClick(&view(), Qt::Key_Delete);
        QCOMPARE(text().length, std::int32_t(lines.size()));
        // Below the text: auto-scroll by rows per tick.
        QTest::mouseMove(&view(), QPoint(view().CellCentre(3, 0).x(), view().height() + 3 * view().charHeight));
        QVERIFY(view().SelectTimer.isActive());
        QVERIFY(view().scrollRows > 0);
        int before = view().TopLine;
        int caretBefore = text().caret;
        view().SelectTimerTick();
        QVERIFY(text().caret > caretBefore);
        for (int i = 0; i < 100 && view().TopLine == before; ++i) view().SelectTimerTick();
        QVERIFY(view().TopLine > before);  // the view follows the caret
        QTest::mouseRelease(&view(), Qt::LeftButton, Qt::NoModifier, view().CellCentre(3, 2));
        QVERIFY(!view().SelectTimer.isActive());
        QCOMPARE(view().dragging, std::uint8_t(0));
        QVERIFY(text().HasSelection());  // stays until the next key
        QTest::keyClick(&view(), Qt::Key_Right);
        QVERIFY(!text().HasSelection());
    }

    void wheelMovesTheCaret() {
        std::string lines;
        for (int i = 0; i < 100; ++i) lines += "w\r";
        ide->SetText(lines);
        const int steps = view().visibleRows / 8 + 1;
        QPointF pos = view().CellCentre(0, 0);
        QWheelEvent down(pos, view().mapToGlobal(pos), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view(), &down);
        QCOMPARE(text().caret, 2 * steps);
        QWheelEvent up(pos, view().mapToGlobal(pos), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view(), &up);
        QCOMPARE(text().caret, 0);
    }

    void onlyTheChangedRowRepaints() {
        std::string lines;
        for (int i = 0; i < 40; ++i) lines += "text on line " + std::to_string(i + 10) + "\r";
        ide->SetText(lines);
        text().caret = 3 * 16 + 4;
        view().HideCaret();
        view().RefreshView();
        QApplication::processEvents();
        view().paintedRows = 0;
        QTest::keyClicks(&view(), "x");
        QApplication::processEvents();
        QCOMPARE(view().paintedRows, 1L);
        // A line break changes every row below it.
        view().paintedRows = 0;
        QTest::keyClick(&view(), Qt::Key_Return);
        QApplication::processEvents();
        QVERIFY(view().paintedRows > 10);
    }

    void horizontalScrollFollowsTheCaret() {
        ide->SetText(std::string(500, 'h') + "\rshort");
        QTest::keyClick(&view(), Qt::Key_End);
        QCOMPARE(view().horizontalScroll, 500 - view().visibleColumns);
        QCOMPARE(view().caretColumn, view().visibleColumns);
        // A click lands on the column shown there, not the one of the text's start.
        Click(2, 0);
        QCOMPARE(text().caret, view().horizontalScroll + 2);
        QTest::keyClick(&view(), Qt::Key_Home);
        QCOMPARE(view().horizontalScroll, 0);
        QCOMPARE(view().caretColumn, 0);
    }

    void textSizeLimitsAndTinyWindow() {
        view().EditorFontSize = 72;
        ide->editor().Item("EditTextBiggerItem")->trigger();
        QCOMPARE(view().EditorFontSize, 72);
        QTest::keyClick(&ide->editor(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(view().EditorFontSize, 71);
        view().EditorFontSize = 1;
        QTest::keyClick(&ide->editor(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(view().EditorFontSize, 1);
        QTest::keyClick(&ide->editor(), Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(view().EditorFontSize, 2);
        // A window too small for one row still has one.
        view().EditorFontSize = 40;
        ide->editor().resize(60, 60);
        view().LayoutView();
        QCOMPARE(view().visibleRows, 1);
        ide->SetText("a\rb\rc");
        QTest::keyClick(&view(), Qt::Key_Down);
        QTest::keyClick(&view(), Qt::Key_Down);
        QCOMPARE(view().TopLine, 4);
    }
};

QTEST_MAIN(EditorViewTest)
#include "EditorViewTest.moc"
