#include "ui/FormActivation.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QColorDialog>
#include <QErrorMessage>
#include <QEvent>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTextBrowser>
#include <QTimer>

namespace {

// Windows that are not forms of the program: boxes, common dialogs, the help window, popups.
bool isForm(QWidget* w) {
    if (!w || !w->isWindow())
        return false;
    const Qt::WindowType type = w->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen)
        return false;
    return !qobject_cast<QMessageBox*>(w) && !qobject_cast<QFileDialog*>(w) &&
           !qobject_cast<QColorDialog*>(w) && !qobject_cast<QFontDialog*>(w) &&
           !qobject_cast<QAbstractPrintDialog*>(w) && !qobject_cast<QInputDialog*>(w) &&
           !qobject_cast<QProgressDialog*>(w) && !qobject_cast<QErrorMessage*>(w) &&
           !qobject_cast<QTextBrowser*>(w);
}

class ActivationFilter : public QObject {
public:
    struct Watched {
        std::function<void()> handler;
        bool running = false;
        bool pending = false;
    };

    static ActivationFilter& instance() {
        static ActivationFilter* f = [] {
            auto* filter = new ActivationFilter;
            qApp->installEventFilter(filter);
            return filter;
        }();
        return *f;
    }

    void watch(QWidget* form, std::function<void()> handler) {
        watched_.insert(form, Watched{std::move(handler)});
        connect(form, &QObject::destroyed, this, [this, form] {
            watched_.remove(form);
            if (last_ == form)
                last_ = nullptr;
        });
    }
    void watchDeactivation(QWidget* form, std::function<void()> handler) {
        deactivated_.insert(form, std::move(handler));
        connect(form, &QObject::destroyed, this, [this, form] { deactivated_.remove(form); });
    }
    QWidget* last() const { return last_; }
    void deferWith(QObject* owner, FormActivation::Deferral defer) {
        deferOwner_ = owner;
        defer_ = std::move(defer);
    }
    void observe(QObject* owner, std::function<void(QWidget*)> observer) {
        observerOwner_ = owner;
        observer_ = std::move(observer);
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::WindowActivate && o->isWidgetType()) {
            auto* w = static_cast<QWidget*>(o);
            if (isForm(w) && w != last_) {
                QWidget* previous = last_;
                last_ = w;
                if (previous) {
                    const auto d = deactivated_.constFind(previous);
                    if (d != deactivated_.constEnd()) {
                        const std::function<void()> handler = d.value();
                        handler();
                    }
                }
                if (observerOwner_ && observer_)
                    observer_(w);
                auto it = watched_.find(w);
                if (it != watched_.end() && !it->pending && !it->running) {
                    it->pending = true;
                    // Queued on the window itself: a window closed before the call runs drops
                    // it, so it never reaches a new window that took the same address.
                    QTimer::singleShot(0, w, [this, w] { run(w); });
                }
            }
        }
        return false;
    }

private:
    void run(QWidget* w) {
        if (deferOwner_ && defer_) {
            const QPointer<QWidget> form(w);
            defer_([this, form] {
                if (form)
                    runNow(form);
            });
            return;
        }
        runNow(w);
    }
    void runNow(QWidget* w) {
        auto it = watched_.find(w);
        if (it == watched_.end())
            return;
        it->pending = false;
        if (it->running)
            return;
        it->running = true;
        const std::function<void()> handler = it->handler;
        handler();
        auto again = watched_.find(w); // the handler may have destroyed the window
        if (again != watched_.end())
            again->running = false;
    }

    QHash<QWidget*, Watched> watched_;
    QHash<QWidget*, std::function<void()>> deactivated_;
    // Cleared when the form goes, so a new window at the same address is still a change.
    QPointer<QWidget> last_;
    QPointer<QObject> observerOwner_;
    QPointer<QObject> deferOwner_;
    FormActivation::Deferral defer_;
    std::function<void(QWidget*)> observer_;
};

} // namespace

void FormActivation::watch(QWidget* form, std::function<void()> handler) {
    ActivationFilter::instance().watch(form, std::move(handler));
}

void FormActivation::watchDeactivation(QWidget* form, std::function<void()> handler) {
    ActivationFilter::instance().watchDeactivation(form, std::move(handler));
}

QWidget* FormActivation::lastActiveForm() {
    return ActivationFilter::instance().last();
}

void FormActivation::deferWith(QObject* owner, Deferral defer) {
    ActivationFilter::instance().deferWith(owner, std::move(defer));
}

void FormActivation::observe(QObject* owner, std::function<void(QWidget*)> observer) {
    ActivationFilter::instance().observe(owner, std::move(observer));
}
