#include "ui/UnderMainWindow.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace {
constexpr int kSettleIntervalMs = 50;
constexpr int kSettleTicks = 60; // three seconds
constexpr int kHeldTicks = 3;
} // namespace

UnderMainWindow::UnderMainWindow(QWidget& window, std::function<QRect()> mainFrame, Rule rule)
    : QObject(&window), window_(window), mainFrame_(std::move(mainFrame)), rule_(std::move(rule)) {
    timer_.setInterval(kSettleIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &UnderMainWindow::settle);
    window_.installEventFilter(this);
}

QRect UnderMainWindow::underAtMainWidth(const QRect& mainFrame, const QSize&) {
    return QRect(mainFrame.left(), mainFrame.top() + mainFrame.height(), mainFrame.width(),
                 480 - mainFrame.height());
}

QRect UnderMainWindow::underKeepingSize(const QRect& mainFrame, const QSize& ownFrame) {
    return QRect(QPoint(mainFrame.left(), mainFrame.top() + mainFrame.height()), ownFrame);
}

QRect UnderMainWindow::clientRect(const QRect& outer, const QMargins& frame) {
    return outer.marginsRemoved(frame);
}

QMargins UnderMainWindow::frameMargins(const QWidget& window) {
    const QRect outer = window.frameGeometry(), client = window.geometry();
    return QMargins(client.left() - outer.left(), client.top() - outer.top(), outer.right() - client.right(),
                    outer.bottom() - client.bottom());
}

void UnderMainWindow::setMinimumHeightFollows(bool on) {
    minimumFollows_ = on;
    leastHeight_ = window_.minimumHeight();
}

void UnderMainWindow::place() {
    sized_ = QSize();
    given_.clear();
    apply();
    pending_ = true;
    if (window_.isVisible()) {
        pending_ = false;
        ticks_ = held_ = 0;
        timer_.start();
    }
}

void UnderMainWindow::apply() {
    const QRect main = mainFrame_ ? mainFrame_() : QRect();
    placedUnder_ = main;
    placedWith_ = frameMargins(window_);
    if (!main.isValid())
        return;
    const QRect outer = rule_(main, window_.frameGeometry().size());
    const QRect client = clientRect(outer, placedWith_);
    // First: a taller earlier minimum would stop the resize.
    if (minimumFollows_)
        window_.setMinimumHeight(std::max(client.height(), leastHeight_));
    const QSize size(std::max(client.width(), window_.minimumWidth()),
                     std::max(client.height(), window_.minimumHeight()));
    // A size someone else gave the window since the last placement stands. The window system
    // reports sizes late (on a loaded machine after the next tick): one that this placement
    // gave earlier is still its own.
    const QSize now = window_.size();
    if (now == size || !sized_.isValid() || now == sized_ || given_.contains(now)) {
        if (now != size)
            window_.resize(size);
        given_.append(window_.size());
    }
    sized_ = window_.size();
    // A top-level window's position is its frame's.
    if (window_.frameGeometry().topLeft() != outer.topLeft())
        window_.move(outer.topLeft());
}

void UnderMainWindow::widen(int width) {
    // Unlike a size given from outside, the window's own widening leaves the placement on.
    const bool placed = !sized_.isValid() || window_.size() == sized_;
    window_.resize(width, window_.height());
    if (placed) {
        sized_ = window_.size();
        given_.append(sized_);
    }
}

void UnderMainWindow::settle() {
    // Placed again only when a frame came or changed: whatever else moves or sizes the window
    // in the meantime stands.
    const QRect main = mainFrame_ ? mainFrame_() : QRect();
    const QMargins frame = frameMargins(window_);
    if (main != placedUnder_ || frame != placedWith_) {
        apply();
        held_ = 0;
    } else {
        ++held_;
    }
    // Held for a few ticks: the main window's frame may come a moment after the window's own.
    const bool framed = !frame.isNull();
    if ((framed && held_ >= kHeldTicks) || ++ticks_ >= kSettleTicks || !window_.isVisible())
        timer_.stop();
}

bool UnderMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Show && pending_) {
        pending_ = false;
        ticks_ = held_ = 0;
        timer_.start();
    }
    return QObject::eventFilter(watched, event);
}
