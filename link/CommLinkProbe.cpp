// The connect (its probe and, after a late or garbled reply, the probe's repeat), the
// exchanges taken from the event loop, and the connect's kept answer.
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/CommLinkExchange.h"
#include "platform/Clock.h"
#include "platform/WaitCursor.h"

#include <QSocketNotifier>

using commlink::kProbeRepeats;
using commlink::waitMsFor;

namespace {

// The main link's probe of the drive.
const QString kProbeNumber = QStringLiteral("0000");

} // namespace

void CommLink::setAllDriveCommands(bool connected) {
    if (!view_)
        return;
    for (DriveCommand c : kAllDriveCommands) {
        const bool keptForSpecialSetup = c == DriveCommand::KeyPad || c == DriveCommand::InverterInfo;
        view_->setDriveCommandEnabled(c, connected && (!specialSetup_ || keptForSpecialSetup));
    }
}

void CommLink::noteConnection(bool connected) {
    kept_ = KeptConnection{connected, settings_, portsFound_, replyTimeoutMs_, openGeneration_};
}

bool CommLink::probePending() const {
    return pending_ != nullptr;
}

bool CommLink::backgroundExchangePending() const {
    return pending_ && !pending_->probe;
}

bool CommLink::ConnectDrive() {
    if (monitorRunning())
        return false;
    if (lineHeld())
        return lastConnectFound(); // inside another exchange's wait: the port stays as it is
    // A connect that waits for the drive shows that it does.
    WaitCursor busy;
    if (probePending()) {
        // A probe of the same settings is on its way: its answer is as fresh as a new one.
        completePending(false);
        return !lastExchangeFailed_;
    }
    // Another kind of exchange on its way is let finish: its reply must not meet the probe.
    completePending(false);
    if (OpenCommPort() != 0) {
        setAllDriveCommands(false);
        noteConnection(false);
        return false;
    }
    Operation op;
    op.request = probeRequest();
    op.options = mainOptions();
    op.probe = true;
    while (!step(op, true)) {
    }
    takeConnectAnswer(!op.answer.error);
    return !lastExchangeFailed_;
}

FrameRequest CommLink::probeRequest() const {
    FrameRequest r;
    const int index = FindParaRow(kProbeNumber);
    // No drive type loaded (or one without "0000"): the drive answers the probe anyway.
    if (!(index >= 0 && index <= context_.drive.lastIndex() &&
          requestFor(index, QString(), QStringLiteral("R"), r)))
        r = request(kProbeNumber, 'R');
    return r;
}

void CommLink::takeConnectAnswer(bool connected) {
    lastExchangeFailed_ = !connected;
    // A drive that answered neither probe nor repeat is waited for no longer.
    if (!connected)
        answeredOnLine_ = false;
    setAllDriveCommands(connected);
    noteConnection(connected);
}

bool CommLink::probeRepeats(const ExchangeResult& failed, bool background) const {
    if (!answeredOnLine_ && !background)
        return false;
    switch (failed.failure) {
    case ExchangeFailure::ReplyTimeout:
    case ExchangeFailure::BadCheck:
    case ExchangeFailure::WrongEcho:
    case ExchangeFailure::Exception:
    case ExchangeFailure::Unconfirmed:
        return true;
    default:
        // Nothing went out, or the device failed.
        return false;
    }
}

std::optional<bool> CommLink::awaitLateReply(LateReplyWait& wait, const FrameRequest& probe, int timeoutMs,
                                             bool block) {
    const qint64 quietUs = qint64(std::max(timeoutMs, 1)) * 1000;
    for (;;) {
        // The probe's own late reply, read away as an owed one: the repeat may go at once.
        if (!owed_.alike(probe))
            return true;
        const qint64 now = clock_.nowUs();
        if (wait.bytes && now - wait.sinceUs > 2 * wait.boundUs(quietUs))
            return false; // a line that never falls quiet
        const qint64 until = wait.untilUs(quietUs);
        if (now >= until) {
            wait.silent = !wait.bytes;
            return wait.bytes;
        }
        const WaitResult w = block ? waitLine(waitMsFor(until - now)) : port_.waitReadable(0);
        if (w == WaitResult::Error)
            return false;
        if (w == WaitResult::Timeout) {
            if (!block)
                return std::nullopt;
            continue;
        }
        wait.bytes = true;
        if (!readOwedReplies())
            return false;
        wait.lastByteUs = clock_.nowUs();
    }
}

void CommLink::ConnectDriveInBackground(std::function<void(bool)> done) {
    if (monitorRunning())
        return;
    if (lineHeld()) {
        later([this, done = std::move(done)]() mutable { ConnectDriveInBackground(std::move(done)); });
        return;
    }
    if (probePending()) {
        if (done)
            probeDone_.push_back(std::move(done));
        return;
    }
    completePending(false); // an exchange of another kind: it is one exchange long
    if (OpenCommPort() != 0) {
        setAllDriveCommands(false);
        noteConnection(false);
        if (done)
            done(false);
        return;
    }
    auto op = std::make_unique<Operation>();
    op->request = probeRequest();
    op->options = mainOptions();
    op->probe = true;
    op->background = true;
    if (done)
        probeDone_.push_back(std::move(done));
    startPending(std::move(op));
}

void CommLink::exchangeInBackground(const FrameRequest& request, const ExchangeOptions& options,
                                    std::function<void(const ExchangeResult&)> done) {
    if (lineHeld()) {
        later([this, request, options, done = std::move(done)]() mutable {
            exchangeInBackground(request, options, std::move(done));
        });
        return;
    }
    completePending(false);
    auto op = std::make_unique<Operation>();
    op->request = request;
    op->options = options;
    op->background = true;
    exchangeDone_ = std::move(done);
    startPending(std::move(op));
}

void CommLink::startPending(std::unique_ptr<Operation> op) {
    pending_ = std::move(op);
    // A port that cannot be watched (a test's fake line) is waited for at once.
    if (port_.pollHandle() < 0) {
        completePending(true);
        return;
    }
    // The request goes out now; what follows it, even a reply already there, from the event
    // loop: the caller's own work comes first.
    step(*pending_, false);
    watchPending();
}

void CommLink::watchPending() {
    const int fd = port_.pollHandle();
    if (!probeNotifier_) {
        probeNotifier_ = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
        QObject::connect(probeNotifier_.get(), &QSocketNotifier::activated, probeNotifier_.get(),
                         [this] { continueProbe(); });
    }
    // Each byte comes through the notifier; the timer ends the wait under way.
    const Operation& op = *pending_;
    qint64 untilUs = clock_.nowUs() + qint64(op.options.replyTimeoutMs) * 1000;
    if (op.phase == Operation::Phase::Done)
        untilUs = clock_.nowUs();
    else if (op.phase == Operation::Phase::AwaitLate)
        untilUs = op.late.untilUs(qint64(std::max(op.options.replyTimeoutMs, 1)) * 1000);
    else if (op.phase == Operation::Phase::Sync)
        untilUs = op.sync->deadlineUs;
    else if (op.phase == Operation::Phase::Main)
        untilUs = op.main->deadlineUs;
    probeTimer_.start(op.phase == Operation::Phase::Done ? 0 : waitMsFor(untilUs - clock_.nowUs() + 1));
}

void CommLink::continueProbe() {
    if (!pending_)
        return;
    if (step(*pending_, false)) {
        completePending(true, true);
        return;
    }
    watchPending();
}

void CommLink::completePending(bool notify, bool fromEventLoop) {
    if (!pending_)
        return;
    probeTimer_.stop();
    probeNotifier_.reset();
    while (!step(*pending_, true)) {
    }
    std::unique_ptr<Operation> op = std::move(pending_);
    if (!op->probe) {
        const ExchangeResult result = std::move(op->answer);
        const auto done = std::move(exchangeDone_);
        exchangeDone_ = {};
        if (!done)
            return;
        // Never inside another use of the port, nor inside the notifier's own signal: what
        // follows may start the next exchange.
        if (notify && !fromEventLoop)
            done(result);
        else
            later([done, result] { done(result); });
        return;
    }
    takeConnectAnswer(!op->answer.error);
    // Waited for by another use of the port, the answer is that caller's; what was to follow
    // the probe is left to it.
    const auto done = std::move(probeDone_);
    probeDone_.clear();
    if (notify)
        for (const auto& f : done)
            f(!lastExchangeFailed_);
}

void CommLink::cancelPending() {
    if (!pending_)
        return;
    probeTimer_.stop();
    probeNotifier_.reset();
    // What went out unanswered may still be answered: owed.
    for (std::optional<Exchange>* x : {&pending_->sync, &pending_->main}) {
        if (!*x || !(*x)->sent || (*x)->over)
            continue;
        if ((*x)->rtsUp)
            port_.setRts(false);
        if ((*x)->options.trackOwed && (*x)->sentUs > 0)
            owed_.add((*x)->request, (*x)->sentUs, (*x)->options.expectedLength > 0 ? (*x)->expected : 0);
    }
    pending_.reset();
    probeDone_.clear();
    exchangeDone_ = {};
    lastLineEventUs_ = clock_.nowUs();
}

std::optional<bool> CommLink::keptConnection() const {
    if (!kept_ || pending_ || kept_->settings != settings_ || kept_->ports != portsFound_ ||
        kept_->replyTimeout != replyTimeoutMs_)
        return std::nullopt;
    if (!kept_->connected)
        return false;
    if (port_.isOpen() && kept_->openGeneration == openGeneration_ && lastExchangeOk_ &&
        clock_.now() - lastGoodMs_ <= kKeptConnectionMs)
        return true;
    return std::nullopt;
}

bool CommLink::ConnectDriveKept() {
    if (monitorRunning())
        return false;
    const std::optional<bool> kept = keptConnection();
    if (!kept)
        return ConnectDrive();
    lastExchangeFailed_ = !*kept;
    setAllDriveCommands(*kept);
    return *kept;
}
