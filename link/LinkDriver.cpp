#include "link/LinkDriver.h"

#include "platform/Clock.h"
#include "platform/PumpEvents.h"
#include "platform/SerialPort.h"

#include <QSocketNotifier>

#include <algorithm>
#include <utility>

LinkDriver::LinkDriver(LineExchanger& line, SerialPort& port, Clock& clock)
    : line_(line), port_(port), clock_(clock) {
    stepTimer_.setSingleShot(true);
    stepTimer_.setTimerType(Qt::PreciseTimer);
    stepTimer_.callOnTimeout([this] { continueBackground(); });
    putOffTimer_.setSingleShot(true);
    putOffTimer_.setInterval(0);
    putOffTimer_.callOnTimeout([this] { runPutOff(); });
}

LinkDriver::~LinkDriver() {
    abandonBackground();
}

void LinkDriver::whenFree(std::function<void()> work) {
    if (held()) {
        post(std::move(work));
        return;
    }
    // What was put off before comes first.
    runPutOff();
    work();
}

void LinkDriver::post(std::function<void()> work) {
    putOff_.push_back(std::move(work));
    if (!held())
        putOffTimer_.start();
}

void LinkDriver::afterBackground(std::function<void()> work) {
    if (pending_)
        afterBackground_.push_back(std::move(work));
    else
        post(std::move(work));
}

void LinkDriver::release() {
    --held_;
    if (held())
        return;
    if (!putOff_.empty())
        putOffTimer_.start();
    // The operation in the background was not stepped while the line was held (a box up when
    // its time-out came): it is now, or it would wait for a byte that may never come.
    if (std::exchange(stepPutOff_, false) && pending_)
        stepTimer_.start(0);
}

void LinkDriver::runPutOff() {
    // Started again when the wait that holds the line is over.
    while (!held() && !putOff_.empty()) {
        const std::function<void()> work = std::move(putOff_.front());
        putOff_.erase(putOff_.begin());
        work();
    }
}

void LinkDriver::run(LineOperation& op) {
    LineExchanger::Wait wait;
    while (!line_.advance(op, wait))
        if (waitFor(wait) == WaitResult::Error)
            line_.lineError(op);
}

WaitResult LinkDriver::waitFor(const LineExchanger::Wait& wait) {
    if (!wait.forBytes) {
        clock_.sleepUntilUs(wait.untilUs);
        return WaitResult::Timeout;
    }
    int ms = waitMsFor(wait.untilUs - clock_.nowUs());
    if (serveWindows_ && port_.pollHandle() >= 0) {
        // A reply on its way comes within a few milliseconds: it is waited for in poll, which
        // wakes tens of microseconds sooner than the event loop; only a longer wait serves the
        // windows.
        const int unserved = std::min(ms, kUnservedWaitMs);
        const WaitResult first = port_.waitReadable(unserved);
        if (first != WaitResult::Timeout || unserved == ms)
            return first;
        ms = waitMsFor(wait.untilUs - clock_.nowUs());
        ++held_;
        const ServedWait served = WaitReadableServingWindows(port_.pollHandle(), ms);
        release();
        // A failed device wakes the notifier too: the read that follows finds it.
        if (served != ServedWait::NotServed)
            return served == ServedWait::Readable ? WaitResult::Readable : WaitResult::Timeout;
    }
    return port_.waitReadable(ms);
}

void LinkDriver::start(std::unique_ptr<LineOperation> op, Done done) {
    pending_ = std::make_unique<Pending>(Pending{std::move(op), std::move(done)});
    if (port_.pollHandle() < 0) {
        // A port that cannot be watched (a test's fake line) is waited for at once.
        finishBackground();
        return;
    }
    // The request goes out now; what follows it, even a reply already there, from the event
    // loop: the caller's own work comes first.
    LineExchanger::Wait wait;
    if (stepBackground(wait))
        wait = {clock_.nowUs(), false};
    watch(wait);
}

bool LinkDriver::stepBackground(LineExchanger::Wait& wait) {
    ++held_;
    bool over = line_.advance(*pending_->op, wait);
    // A timer ticks by the millisecond: the end of a short wait by time (a silent interval, the
    // output draining) is slept to the microsecond.
    while (!over && !wait.forBytes && wait.untilUs - clock_.nowUs() <= kSleptSilenceUs) {
        clock_.sleepUntilUs(wait.untilUs);
        over = line_.advance(*pending_->op, wait);
    }
    release();
    return over;
}

void LinkDriver::continueBackground() {
    if (!pending_)
        return;
    if (held()) {
        // Stepped when the line is free again (release): until then bytes waiting would wake the
        // notifier again and again.
        stepPutOff_ = true;
        stopWatching();
        return;
    }
    LineExchanger::Wait wait;
    const bool over = stepBackground(wait);
    if (!over) {
        watch(wait);
        return;
    }
    stopWatching();
    ended(std::move(pending_));
}

void LinkDriver::finishBackground() {
    if (!pending_)
        return;
    stopWatching();
    // Taken off first: nothing that runs during the wait can end it under this call.
    std::unique_ptr<Pending> p = std::move(pending_);
    run(*p->op);
    ended(std::move(p));
}

void LinkDriver::ended(std::unique_ptr<Pending> p) {
    if (p->done)
        p->done(*p->op);
    for (auto& work : std::exchange(afterBackground_, {}))
        post(std::move(work));
}

void LinkDriver::abandonBackground() {
    afterBackground_.clear();
    if (!pending_)
        return;
    stopWatching();
    line_.abandon(*pending_->op);
    pending_.reset();
}

void LinkDriver::watch(const LineExchanger::Wait& wait) {
    const int fd = port_.pollHandle();
    if (!notifier_ || notifier_->socket() != qintptr(fd)) {
        notifier_ = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            inNotifier_ = true;
            continueBackground();
            inNotifier_ = false;
        });
    }
    // Each byte comes through the notifier (a wait for the silent interval takes none); the timer
    // ends the wait under way.
    notifier_->setEnabled(wait.forBytes);
    const qint64 leftUs = wait.untilUs - clock_.nowUs();
    // A silent interval's timer fires before its end, whose rest is slept (stepBackground).
    stepTimer_.start(wait.forBytes ? waitMsFor(leftUs)
                                   : int(std::max<qint64>(0, leftUs - kSleptSilenceUs) / 1000));
}

void LinkDriver::stopWatching() {
    stepTimer_.stop();
    // Kept for the next operation: this may run inside the notifier's own signal.
    if (notifier_)
        notifier_->setEnabled(false);
}

void LinkDriver::portClosed() {
    stopWatching();
    // Inside the notifier's own signal it is deleted from the event loop.
    if (notifier_ && inNotifier_)
        notifier_.release()->deleteLater();
    notifier_.reset();
}
