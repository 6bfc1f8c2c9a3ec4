// The connect (its probe and, after a late or garbled reply, the probe's repeat), the
// exchanges taken from the event loop, and the connect's kept answer.
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/CommLinkExchange.h"
#include "platform/Clock.h"
#include "platform/WaitCursor.h"

#include <QSocketNotifier>

using commlink::kProbeRepeats;
using commlink::kQuietDrainBound;
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

bool CommLink::ConnectDrive() {
    if (monitorRunning())
        return false;
    // A connect that waits for the drive shows that it does.
    WaitCursor busy;
    if (probe_ && probeConnects_) {
        // A probe of the same settings is on its way: its answer is as fresh as a new one.
        completeProbe(false);
        return !lastExchangeFailed_;
    }
    // Another kind of exchange on its way is let finish: its reply must not meet the probe.
    completeProbe(false);
    if (OpenCommPort() != 0) {
        setAllDriveCommands(false);
        noteConnection(false);
        return false;
    }
    const FrameRequest r = probeRequest();
    takeConnectAnswer(!repeatProbe(r, mainOptions(), exchange(r, mainOptions()), 0, false).error);
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
        return true;
    default:
        // Nothing went out, the device failed, or the line never fell quiet.
        return false;
    }
}

std::optional<bool> CommLink::awaitLateReply(LateReplyWait& wait, int timeoutMs, bool block) {
    const qint64 quietUs = qint64(std::max(timeoutMs, 1)) * 1000;
    std::array<std::uint8_t, 64> sink{};
    for (;;) {
        const qint64 now = clock_.nowUs();
        if (wait.bytes && now - wait.sinceUs > 2 * kQuietDrainBound * quietUs)
            return false; // a line that never falls quiet
        const qint64 until = wait.untilUs(quietUs);
        if (now >= until)
            return wait.bytes;
        const WaitResult w = port_.waitReadable(block ? waitMsFor(until - now) : 0);
        if (w == WaitResult::Error)
            return false;
        if (w == WaitResult::Timeout) {
            if (!block)
                return std::nullopt;
            continue;
        }
        const int n = port_.read(sink);
        if (n < 0)
            return false;
        if (n > 0) {
            wait.bytes = true;
            wait.lastByteUs = lastLineEventUs_ = clock_.nowUs();
        }
    }
}

CommLink::LateReplyWait CommLink::lateWaitAfter(const ExchangeResult& failed) const {
    // A reply that came whole or in part is only waited out; a silent one may still come.
    return {clock_.nowUs(), lastLineEventUs_, !failed.reply.empty()};
}

ExchangeResult CommLink::repeatProbe(const FrameRequest& r, const ExchangeOptions& o, ExchangeResult answer,
                                     int repeated, bool background) {
    for (int n = repeated; answer.error && n < kProbeRepeats && probeRepeats(answer, background); ++n) {
        LateReplyWait wait = lateWaitAfter(answer);
        if (!awaitLateReply(wait, o.replyTimeoutMs, true).value_or(false))
            break;
        answer = repeatOnQuietLine(r, o, answer);
    }
    return answer;
}

void CommLink::ConnectDriveInBackground(std::function<void(bool)> done) {
    if (monitorRunning())
        return;
    if (probe_ && probeConnects_) {
        if (done)
            probeDone_.push_back(std::move(done));
        return;
    }
    completeProbe(false); // an exchange of another kind: it is one exchange long
    auto fail = [&] {
        setAllDriveCommands(false);
        noteConnection(false);
        if (done)
            done(false);
    };
    if (OpenCommPort() != 0)
        return fail();
    probe_ = std::make_unique<Exchange>();
    probe_->request = probeRequest();
    probe_->options = mainOptions();
    if (done)
        probeDone_.push_back(std::move(done));
    probeConnects_ = true;
    begin(*probe_);
    watchProbe();
}

void CommLink::exchangeInBackground(const FrameRequest& request, const ExchangeOptions& options,
                                    std::function<void(const ExchangeResult&)> done) {
    completeProbe(false);
    // A MODBUS read that owes a confirmation (a reply to an earlier request may still come)
    // takes the waiting exchange and its repeat: a late reply never passes for this one.
    if (confirmNextRead_ && options.protocol == Protocol::Modbus && request.kind == 'R' &&
        !IsBlockRead(request)) {
        const ExchangeResult result = exchange(request, options);
        if (done)
            done(result);
        return;
    }
    probe_ = std::make_unique<Exchange>();
    probe_->request = request;
    probe_->options = options;
    probeConnects_ = false;
    exchangeDone_ = std::move(done);
    sendWhenQuiet(*probe_);
    watchProbe();
}

bool CommLink::sendWhenQuiet(Exchange& x) {
    // Late bytes of a failed exchange are read away as they come, the window answering
    // meanwhile; a port that cannot be watched waits in prepareLine.
    if (!x.quietWait && drainBeforeNext_ && x.options.quietAfterFailure && port_.isOpen() &&
        port_.pollHandle() >= 0)
        x.quietWait = quietWaitFrom(x.options.replyTimeoutMs);
    if (x.quietWait) {
        if (!stepQuietWait(*x.quietWait, false).has_value()) {
            probeTimer_.start(waitMsFor(x.quietWait->quietUntilUs - clock_.nowUs() + 1));
            return false;
        }
        x.quietWait.reset();
        x.lineQuiet = true;
    }
    begin(x);
    return true;
}

void CommLink::watchProbe() {
    // A port that cannot be watched (a test's fake line) is waited for at once.
    const int fd = port_.pollHandle();
    if (probe_->over || fd < 0) {
        completeProbe(true);
        return;
    }
    probeNotifier_ = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
    QObject::connect(probeNotifier_.get(), &QSocketNotifier::activated, probeNotifier_.get(),
                     [this] { continueProbe(); });
    // A wait for a quiet line has set its own timer.
    if (!probe_->quietWait)
        probeTimer_.start(probe_->options.replyTimeoutMs + 1);
}

void CommLink::continueProbe() {
    if (!probe_)
        return;
    if (probe_->lateWait) {
        const std::optional<bool> late =
            awaitLateReply(*probe_->lateWait, probe_->options.replyTimeoutMs, false);
        if (!late) {
            // Each byte comes through the notifier; the timer ends the quiet or the wait.
            const qint64 quietUs = qint64(std::max(probe_->options.replyTimeoutMs, 1)) * 1000;
            probeTimer_.start(waitMsFor(probe_->lateWait->untilUs(quietUs) - clock_.nowUs() + 1));
            return;
        }
        probe_->lateWait.reset();
        if (!*late) {
            probe_->over = true;
            completeProbe(true, true);
            return;
        }
    }
    if (!probe_->sent) {
        if (!sendWhenQuiet(*probe_))
            return;
        if (probe_->over) {
            completeProbe(true, true);
            return;
        }
        probeTimer_.start(probe_->options.replyTimeoutMs + 1);
        return;
    }
    if (collect(*probe_, false)) {
        completeProbe(true, true);
        return;
    }
    // Not complete and not yet timed out (a timer may fire a little early): wait for the rest.
    const qint64 left = probe_->sentUs + qint64(probe_->options.replyTimeoutMs) * 1000 - clock_.nowUs();
    probeTimer_.start(waitMsFor(left + 1));
}

void CommLink::completeProbe(bool notify, bool fromEventLoop) {
    if (!probe_)
        return;
    probeTimer_.stop();
    probeNotifier_.reset();
    if (probe_->lateWait) {
        // Another use of the port waits for the repeat: the rest of the wait is waited out.
        const bool late =
            awaitLateReply(*probe_->lateWait, probe_->options.replyTimeoutMs, true).value_or(false);
        probe_->lateWait.reset();
        if (!late)
            probe_->over = true;
    }
    if (!probe_->sent && !probe_->over) {
        // The rest of a wait for a quiet line begun from the event loop, at once.
        if (probe_->quietWait) {
            stepQuietWait(*probe_->quietWait, true);
            probe_->quietWait.reset();
            probe_->lineQuiet = true;
        }
        begin(*probe_);
    }
    while (!collect(*probe_, true)) {
    }
    std::unique_ptr<Exchange> x = std::move(probe_);
    if (!probeConnects_) {
        probeConnects_ = true;
        const ExchangeResult result = finish(*x);
        const auto done = std::move(exchangeDone_);
        exchangeDone_ = {};
        if (!done)
            return;
        // Never inside another use of the port, nor inside the notifier's own signal: what
        // follows may start the next exchange.
        if (notify && !fromEventLoop)
            done(result);
        else
            QTimer::singleShot(0, &probeTimer_, [done, result] { done(result); });
        return;
    }
    ExchangeResult answer;
    if (!x->sent) {
        answer = *x->failedProbe; // no late reply came, or the line never fell quiet
    } else {
        answer = finish(*x);
        // A repeat went out on a quiet line: its reply is its own.
        if (x->failedProbe) {
            answer.afterFailure = true;
            if (!answer.error)
                confirmNextRead_ = false;
        }
    }
    if (answer.error && x->sent && x->repeats < kProbeRepeats && probeRepeats(answer, true)) {
        if (fromEventLoop) {
            // The wait for the late reply and the repeat, from the event loop as the probe.
            const int repeats = x->repeats + 1;
            const FrameRequest r = x->request;
            const ExchangeOptions o = x->options;
            probe_ = std::make_unique<Exchange>();
            probe_->request = r;
            probe_->options = o;
            probe_->failedProbe = answer;
            probe_->repeats = repeats;
            probe_->lateWait = lateWaitAfter(answer);
            watchProbe();
            return;
        }
        answer = repeatProbe(x->request, x->options, answer, x->repeats, true);
    }
    takeConnectAnswer(!answer.error);
    // Waited for by another use of the port, the answer is that caller's; what was to follow
    // the probe is left to it.
    const auto done = std::move(probeDone_);
    probeDone_.clear();
    if (notify)
        for (const auto& f : done)
            f(!lastExchangeFailed_);
}

void CommLink::cancelProbe() {
    if (!probe_)
        return;
    probeTimer_.stop();
    probeNotifier_.reset();
    if (probe_->rtsUp)
        port_.setRts(false);
    // Its reply may still come: the next exchange takes nothing that arrived before it.
    drainBeforeNext_ = true;
    if (probe_->options.protocol == Protocol::Modbus)
        confirmNextRead_ = true;
    probe_.reset();
    probeDone_.clear();
    exchangeDone_ = {};
    probeConnects_ = true;
    lastLineEventUs_ = clock_.nowUs();
}

std::optional<bool> CommLink::keptConnection() const {
    if (!kept_ || probe_ || kept_->settings != settings_ || kept_->ports != portsFound_ ||
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
