#include "ui/HelpWindow.h"

#include "ui/FilePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
    setObjectName("HelpWindow");
    setWindowTitle("Tessary Help");
    browser_->setObjectName("HelpBrowser");
    browser_->setAccessibleName("Help");
    browser_->setOpenLinks(true);
    browser_->setSearchPaths({HelpFolder()});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    resize(640, 560);
}

QString HelpWindow::HelpFolder() {
    const QByteArray env = qgetenv("TESSARY_HELP_DIR");
    if (!env.isEmpty()) return PathText(env.toStdString());
    const QString app = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {app + "/help", app + "/../share/tessary/help"}) {
        if (QFileInfo::exists(candidate + "/topic4.html")) return QDir::cleanPath(candidate);
    }
    return app + "/help";
}

int HelpWindow::TopicFor(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        const QVariant v = w->property("helpTopic");
        if (v.isValid() && v.toInt() > 0) return v.toInt();
    }
    return 4;
}

void HelpWindow::ShowTopic(int topic) {
    topic_ = topic;
    const QString file = QString("%1/topic%2.html").arg(HelpFolder()).arg(topic);
    if (QFileInfo::exists(file)) {
        browser_->setSource(QUrl::fromLocalFile(file));
    } else {
        browser_->setHtml(QString("<h2>Help topic %1</h2><p>The help file <tt>%2</tt> was not found. "
                                  "Set TESSARY_HELP_DIR to the folder of the help topics.</p>")
                              .arg(topic)
                              .arg(file.toHtmlEscaped()));
    }
    show();
    raise();
    activateWindow();
}
