#include "ui/HelpViewer.h"

#include "platform/Paths.h"
#include "ui/HelpViewerChm.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Pages inside a compiled help file are addressed as "chm:/html/f001.htm", so that relative
// links and pictures resolve against the page like those of a folder.
const QString kArchiveScheme = QStringLiteral("chm");

class HelpBrowser : public QTextBrowser {
public:
    HelpBrowser(const QString& file, std::unique_ptr<HelpArchive> archive) : archive_(std::move(archive)) {
        setAttribute(Qt::WA_DeleteOnClose);
        setOpenLinks(true);
        resize(720, 560);
        // The title follows every page shown, also those reached by links and Back; a page
        // without one is named by its help file.
        const QString fileName = QFileInfo(file).fileName();
        setWindowTitle(fileName);
        connect(this, &QTextBrowser::sourceChanged, this,
                [this, fileName] { setWindowTitle(documentTitle().isEmpty() ? fileName : documentTitle()); });
    }

    bool hasPage(const QString& page) const {
        return archive_ ? archive_->contains(page) : QFileInfo(page).isFile();
    }
    QUrl urlOf(const QString& page) const {
        if (!archive_)
            return QUrl::fromLocalFile(page);
        QUrl url;
        url.setScheme(kArchiveScheme);
        url.setPath(page.startsWith(u'/') ? page : u'/' + page);
        return url;
    }
    QString contentsPage(const QString& folder) const {
        return archive_ ? archive_->contentsPage() : Paths::join(folder, QStringLiteral("index.htm"));
    }

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        if (archive_ && name.scheme() == kArchiveScheme)
            return archive_->read(name.path());
        return QTextBrowser::loadResource(type, name);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QTextBrowser::keyPressEvent(e);
    }

private:
    std::unique_ptr<HelpArchive> archive_;
};

// One window per help file, reused for every topic of it.
struct HelpWindow {
    QString file;
    QPointer<HelpBrowser> view;
};
std::vector<HelpWindow>& windows() {
    static std::vector<HelpWindow> w;
    return w;
}
QPointer<QTextBrowser> last;

HelpBrowser* windowOf(const QString& file) {
    for (auto& w : windows())
        if (w.file == file && w.view)
            return w.view;
    const bool folder = QFileInfo(file).isDir();
    std::unique_ptr<HelpArchive> archive;
    if (!folder) {
        archive = HelpArchive::open(file);
        if (!archive)
            return nullptr;
    }
    auto* view = new HelpBrowser(file, std::move(archive));
    if (folder)
        view->setSearchPaths({file});
    windows().push_back({file, view});
    return view;
}

} // namespace

namespace HelpViewer {

bool displayTopic(const QString& helpFile, const QString& topic) {
    const QString file = Paths::resolve(Paths::normalize(helpFile));
    if (file.isEmpty())
        return false;
    const bool folder = QFileInfo(file).isDir();
    // A window made for a page that is missing is closed again: nothing is shown then.
    const bool existed = std::any_of(windows().begin(), windows().end(),
                                     [&](const HelpWindow& w) { return w.file == file && w.view; });
    HelpBrowser* view = windowOf(file);
    if (!view)
        return false;
    QString page;
    if (topic.isEmpty())
        page = view->contentsPage(file);
    else if (folder)
        page = Paths::resolve(Paths::join(file, Paths::normalize(topic)));
    else
        page = Paths::normalize(topic);
    if (page.isEmpty() || !view->hasPage(page)) {
        if (!existed) {
            windows().pop_back();
            delete view;
        }
        return false;
    }
    view->setSource(view->urlOf(page));
    view->show();
    view->raise();
    view->activateWindow();
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
