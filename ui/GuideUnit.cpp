#include "ui/GuideUnit.h"

#include <QFileInfo>
#include <QUrl>
#include <QVBoxLayout>

namespace korvid {

QString GuideFolder() {
    for (const char* folder : {KORVID_DOC_DIR, KORVID_SOURCE_GUIDE}) {
        const QString f = QString::fromLocal8Bit(folder);
        if (QFileInfo(f + QStringLiteral("/README.md")).isFile()) return f;
    }
    return {};
}

TGuideForm::TGuideForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("GuideForm"));
    setWindowTitle(QStringLiteral("User Guide"));
    resize(760, 600);
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("GuideBrowser"));
    Browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
    const QString folder = GuideFolder();
    if (folder.isEmpty()) {
        Browser->setPlainText(QStringLiteral("The user guide is not installed (README.md was not found)."));
        return;
    }
    Browser->setSearchPaths({folder});
    Browser->setSource(QUrl::fromLocalFile(folder + QStringLiteral("/README.md")), QTextDocument::MarkdownResource);
}

}  // namespace korvid
