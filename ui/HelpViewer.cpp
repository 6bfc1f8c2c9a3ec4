#include "ui/HelpViewer.h"

#include "platform/Paths.h"

#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <vector>

namespace {
// One window per help folder, reused for every topic of it.
struct HelpWindow {
    QString folder;
    QPointer<QTextBrowser> view;
};
std::vector<HelpWindow>& windows() {
    static std::vector<HelpWindow> w;
    return w;
}
QPointer<QTextBrowser> last;
} // namespace

namespace HelpViewer {

bool displayTopic(const QString& helpFolder, const QString& topic) {
    const QString folder = Paths::resolve(Paths::normalize(helpFolder));
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    const QString page = Paths::resolve(
        Paths::join(folder, topic.isEmpty() ? QStringLiteral("index.htm") : Paths::normalize(topic)));
    if (page.isEmpty() || !QFileInfo(page).isFile())
        return false;

    QTextBrowser* view = nullptr;
    for (auto& w : windows())
        if (w.folder == folder && w.view)
            view = w.view;
    if (!view) {
        view = new QTextBrowser;
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->setOpenLinks(true);
        view->resize(640, 480);
        view->setSearchPaths({folder});
        windows().push_back({folder, view});
    }
    view->setSource(QUrl::fromLocalFile(page));
    view->setWindowTitle(view->documentTitle().isEmpty() ? QFileInfo(folder).fileName()
                                                         : view->documentTitle());
    view->show();
    view->raise();
    last = view;
    return true;
}

void closeAll() {
    for (auto& w : windows())
        if (w.view)
            w.view->close();
    windows().clear();
}

QTextBrowser* currentWindow() {
    return last;
}

} // namespace HelpViewer
