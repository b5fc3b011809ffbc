// The user guide window (Help > User Guide): the README and the pages of
// docs/ bundled with the program, shown as formatted text with working
// links between them.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <QWidget>

namespace korvid {

// The folder holding README.md and docs/: the installed one, else the
// source tree the program was built from; empty when neither is there.
QString GuideFolder();

class TGuideForm : public QWidget {
    Q_OBJECT
public:
    explicit TGuideForm(QWidget* parent = nullptr);
    QTextBrowser* Browser;
};

}  // namespace korvid
