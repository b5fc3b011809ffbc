#include "ui/FindReplaceUnit.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "model/TextBuffer.h"
#include "ui/WindowFit.h"

namespace korvid {

namespace {
std::string MemoBytes(const QPlainTextEdit* memo) {
    std::string out;
    for (QChar c : memo->toPlainText()) {
        char16_t u = c.unicode();
        if (u == '\n') {
            out += "\r\n";
        } else if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator) {
            out += "\r\n";
        } else if (u <= 255) {
            out.push_back(char(u));
        }
    }
    return out;
}
}  // namespace

TOneLineMemo::TOneLineMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
}

void TOneLineMemo::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();  // the dialog's default button
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

TFindReplaceForm::TFindReplaceForm(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      shell_(shell) {
    setWindowTitle(QStringLiteral("Find/Replace"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    // A memo in its sunken frame, at least as wide as 24 characters.
    auto framedMemo = [this](const char* bevelName, const char* memoName, QFrame*& bevel) {
        bevel = new QFrame(this);
        bevel->setObjectName(QString::fromLatin1(bevelName));
        bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        auto* memo = new TOneLineMemo(bevel);
        memo->setObjectName(QString::fromLatin1(memoName));
        const QFontMetrics m(memo->font());
        const int inside = 2 * (memo->frameWidth() + int(memo->document()->documentMargin()));
        memo->setFixedSize(std::max(148, 24 * m.averageCharWidth()), m.lineSpacing() + inside);
        auto* frame = new QVBoxLayout(bevel);
        frame->setContentsMargins(3, 3, 3, 3);
        frame->addWidget(memo);
        return memo;
    };
    FindMemo = framedMemo("FindBevel", "FindMemo", FindBevel);
    ReplaceMemo = framedMemo("ReplaceBevel", "ReplaceMemo", ReplaceBevel);
    auto label = [this](const char* caption, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setBuddy(buddy);  // its accelerator puts the caret into the memo
        return l;
    };
    FindLabel = label("Fi&nd:", FindMemo);
    ReplaceLabel = label("Re&place with:", ReplaceMemo);
    auto box = [this](const char* caption, const char* name) {
        auto* b = new QCheckBox(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    StartCheckBox = box("From &Start", "StartCheckBox");
    WordCheckBox = box("&Word Only", "WordCheckBox");
    WordCheckBox->setEnabled(false);
    MatchCaseCheckBox = box("&Match Case", "MatchCaseCheckBox");
    DividerBevel = new QFrame(this);
    DividerBevel->setObjectName(QStringLiteral("DividerBevel"));
    DividerBevel->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    auto button = [this](const char* caption, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    FindButton = button("&Find", "FindButton");
    ReplaceButton = button("&Replace", "ReplaceButton");
    AllButton = button("&All", "AllButton");
    CancelButton = button("&Cancel", "CancelButton");
    FindButton->setDefault(true);
    FindButton->setEnabled(false);
    ReplaceButton->setEnabled(false);
    AllButton->setEnabled(false);

    // Labelled memos | the options | divider | the buttons, two by two. The
    // dialog takes the size its contents need and keeps it.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(4);
    grid->addWidget(FindLabel, 0, 0);
    grid->addWidget(FindBevel, 0, 1);
    grid->addWidget(ReplaceLabel, 1, 0);
    grid->addWidget(ReplaceBevel, 1, 1);
    auto* options = new QVBoxLayout;
    options->setSpacing(0);
    for (QCheckBox* b : {StartCheckBox, WordCheckBox, MatchCaseCheckBox}) options->addWidget(b);
    grid->addLayout(options, 0, 2, 2, 1);
    grid->addWidget(DividerBevel, 0, 3, 2, 1);
    auto* buttons = new QGridLayout;
    buttons->addWidget(FindButton, 0, 0);
    buttons->addWidget(ReplaceButton, 0, 1);
    buttons->addWidget(AllButton, 1, 0);
    buttons->addWidget(CancelButton, 1, 1);
    grid->addLayout(buttons, 0, 4, 2, 1);

    connect(FindButton, &QPushButton::clicked, this, [this] { done(FindResult); });
    connect(ReplaceButton, &QPushButton::clicked, this, [this] { done(ReplaceResult); });
    connect(AllButton, &QPushButton::clicked, this, [this] { done(AllResult); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(CancelResult); });
    connect(FindMemo, &QPlainTextEdit::textChanged, this, &TFindReplaceForm::UpdateControls);
    setTabOrder(FindMemo, ReplaceMemo);
    FixWindowSize(*this, sizeHint());
}

std::string TFindReplaceForm::FindText() const { return MemoBytes(FindMemo); }
std::string TFindReplaceForm::ReplaceText() const { return MemoBytes(ReplaceMemo); }

void TFindReplaceForm::UpdateControls() {
    std::string text = FindText();
    bool any = !text.empty();
    bool word = any;
    for (char c : text) word = word && IsWordChar(std::uint8_t(c));
    FindButton->setEnabled(any);
    AllButton->setEnabled(any);
    WordCheckBox->setEnabled(word);
}

void TFindReplaceForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    UpdateControls();
    FindMemo->selectAll();
    ReplaceMemo->selectAll();
    FindMemo->setFocus();
}

}  // namespace korvid
