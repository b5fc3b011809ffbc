#include "ui/FindReplaceUnit.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "model/TextBuffer.h"

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
    setFixedSize(342, 66);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    auto bevel = [this](const char* name, int x, int y, int w, int h) {
        auto* f = new QFrame(this);
        f->setObjectName(QString::fromLatin1(name));
        f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        f->setGeometry(x, y, w, h);
        return f;
    };
    FindBevel = bevel("FindBevel", 2, 2, 156, 30);
    ReplaceBevel = bevel("ReplaceBevel", 2, 34, 156, 30);
    DividerBevel = bevel("DividerBevel", 162, 21, 178, 2);
    FindMemo = new TOneLineMemo(this);
    FindMemo->setObjectName(QStringLiteral("FindMemo"));
    FindMemo->setGeometry(6, 6, 148, 22);
    ReplaceMemo = new TOneLineMemo(this);
    ReplaceMemo->setObjectName(QStringLiteral("ReplaceMemo"));
    ReplaceMemo->setGeometry(6, 38, 148, 22);
    StartCheckBox = new QCheckBox(QStringLiteral("From &Start"), this);
    StartCheckBox->setObjectName(QStringLiteral("StartCheckBox"));
    StartCheckBox->setGeometry(164, 2, 88, 18);
    WordCheckBox = new QCheckBox(QStringLiteral("&Word Only"), this);
    WordCheckBox->setObjectName(QStringLiteral("WordCheckBox"));
    WordCheckBox->setGeometry(254, 2, 86, 18);
    WordCheckBox->setEnabled(false);
    auto button = [this](const char* caption, const char* name, int x, int y) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, 86, 19);
        b->setAutoDefault(false);
        return b;
    };
    FindButton = button("&Find", "FindButton", 164, 25);
    ReplaceButton = button("&Replace", "ReplaceButton", 254, 25);
    AllButton = button("&All", "AllButton", 164, 45);
    CancelButton = button("&Cancel", "CancelButton", 254, 45);
    FindButton->setDefault(true);
    FindButton->setEnabled(false);
    ReplaceButton->setEnabled(false);
    AllButton->setEnabled(false);
    connect(FindButton, &QPushButton::clicked, this, [this] { done(FindResult); });
    connect(ReplaceButton, &QPushButton::clicked, this, [this] { done(ReplaceResult); });
    connect(AllButton, &QPushButton::clicked, this, [this] { done(AllResult); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(CancelResult); });
    connect(FindMemo, &QPlainTextEdit::textChanged, this, &TFindReplaceForm::UpdateControls);
    setTabOrder(FindMemo, ReplaceMemo);
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
