#include "link/CommLink.h"
#include "link/CommLinkExchange.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/Clock.h"
#include "platform/PumpEvents.h"
#include "platform/WaitCursor.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>

namespace {

// Milliseconds the link icon shows "busy" after the last exchange before it returns to idle.
constexpr int kIdleDelayMs = 300;
// Bound of the output drain beyond the request's own wire time.
constexpr int kDrainFactor = 4;
constexpr int kDrainMarginMs = 100;

bool validKind(const QString& kind) {
    return !kind.isEmpty() && (kind[0] == u'R' || kind[0] == u'W' || kind[0] == u'P');
}

} // namespace

using commlink::waitMsFor;

int frameGapForBaudIndex(int baudIndex) {
    if (baudIndex < 0 || baudIndex >= int(std::size(kFrameGapMs)))
        return kFrameGapMs[0];
    return kFrameGapMs[baudIndex];
}

qint64 modbusSilenceUs(int frameGapMs, int baud) {
    const qint64 gap = qint64(std::max(frameGapMs, 0)) * 1000 + 1;
    // 3.5 characters of 11 bits, rounded up to the microsecond.
    const qint64 chars = baud > 0 ? (35LL * 11 * 1000000 + 10LL * baud - 1) / (10LL * baud) : 0;
    return std::max(gap, chars);
}

CommLink::CommLink(ProgramContext& context, SerialPort& port, Clock& clock, Asker& asker)
    : context_(context), port_(port), clock_(clock), asker_(asker) {
    portPathResolver_ = [this](const QString& name) { return comPortPath(name, context_.paths.settingsIni); };
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(kIdleDelayMs);
    idleTimer_.callOnTimeout([this] { idleTimeout(); });
    probeTimer_.setSingleShot(true);
    probeTimer_.setTimerType(Qt::PreciseTimer);
    probeTimer_.callOnTimeout([this] { continueProbe(); });
    laterTimer_.setSingleShot(true);
    laterTimer_.setInterval(0);
    laterTimer_.callOnTimeout([this] { runLater(); });
}

CommLink::~CommLink() {
    cancelPending();
}

void CommLink::setView(LinkView* view) {
    view_ = view;
    shownIcon_.reset();
}

void CommLink::showIcon(LinkIcon icon) {
    // The window draws the icon at once; an exchange that finds it as it should be leaves
    // it alone.
    if (!view_ || shownIcon_ == icon)
        return;
    shownIcon_ = icon;
    view_->setLinkIcon(icon);
}

void CommLink::idleTimeout() {
    const qint64 quiet = clock_.now() - lastExchangeMs_;
    if (shownIcon_ == LinkIcon::Busy && quiet < kIdleDelayMs) {
        idleTimer_.start(int(kIdleDelayMs - quiet));
        return;
    }
    idleTimer_.stop();
    showIcon(LinkIcon::Idle);
}

int CommLink::FindParaRow(const QString& comNo) const {
    return context_.store ? context_.drive.indexOfComNo(comNo) : -1;
}

void CommLink::resetLineState() {
    // The time of the last thing on the line is kept: a port opened again at once is the same
    // line, and the drive still needs the silent interval before the next frame.
    purgeBeforeNext_ = false;
    outputStuck_ = false;
}

SerialError CommLink::openPort(const QString& name, int baudIndex, int parityIndex, int stopIndex,
                               int sizeIndex) {
    closePort();
    auto inRange = [](int i, std::size_t n) { return i >= 0 && std::size_t(i) < n; };
    if (!inRange(baudIndex, std::size(kCommSpeed)) || !inRange(parityIndex, std::size(kCommParity)) ||
        !inRange(stopIndex, std::size(kCommStop)) || !inRange(sizeIndex, std::size(kCommSize)))
        return SerialError::ConfigFailed;
    const QString path = portPath(name);
    if (path.isEmpty())
        return SerialError::NotFound;
    const SerialError e = port_.open(path, kCommSpeed[baudIndex], kCommSize[sizeIndex],
                                     kCommParity[parityIndex], kCommStop[stopIndex]);
    openBaud_ = e == SerialError::None ? kCommSpeed[baudIndex] : 0;
    portFailed_ = false;
    const QString line = QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(path)
                             .arg(baudIndex)
                             .arg(parityIndex)
                             .arg(stopIndex)
                             .arg(sizeIndex);
    if (line != openLine_) {
        owed_.clear(owed_.protocol());
        answeredOnLine_ = false;
    }
    openLine_ = line;
    ++openGeneration_;
    return e;
}

void CommLink::closePort() {
    cancelPending();
    if (port_.isOpen())
        port_.close();
    openBaud_ = 0;
    resetLineState();
}

QStringList CommLink::findPorts(const QStringList& names) {
    closePort();
    QStringList found;
    for (const QString& name : names) {
        const QString path = portPath(name);
        if (!path.isEmpty() && port_.probe(path) == SerialError::None)
            found << name;
    }
    return found;
}

int CommLink::OpenCommPort() {
    closePort();
    const int i = settings_.portIndex;
    const QString name = i >= 0 && i < portsFound_.size() ? portsFound_.at(i) : QString();
    if (name.isEmpty()) {
        if (noPortNameMessageDue_) {
            ShowMsg(asker_, context_, MsgId::NoUsablePort, BoxIcon::None, BoxButtons::Ok);
            noPortNameMessageDue_ = false;
        }
        showIcon(LinkIcon::Failed);
        return 1;
    }
    noPortNameMessageDue_ = true;
    const SerialError e =
        openPort(name, settings_.baudIndex, settings_.parityIndex, settings_.stopIndex, settings_.sizeIndex);
    if (e != SerialError::None) {
        // Once until the main window clears the flag: a connect runs on every activation of
        // the table window, and a box each time would never let the user get away.
        if (!portMessageShown_) {
            ShowMsg(asker_, context_, MsgId::NoUsablePort, BoxIcon::None, BoxButtons::Ok);
            portMessageShown_ = true;
        }
        showIcon(LinkIcon::Failed);
        return 1;
    }
    return 0;
}

ExchangeOptions CommLink::mainOptions() const {
    ExchangeOptions o;
    o.protocol = settings_.protocolKind();
    o.replyTimeoutMs = replyTimeoutMs_;
    o.frameGapMs = frameGapMs_;
    o.icon = IconMode::Timed;
    return o;
}

FrameRequest CommLink::request(const QString& comNo, char kind, std::int64_t value, bool wide) const {
    FrameRequest r;
    r.comNo = comNo;
    r.kind = kind;
    r.value = value;
    r.wide = wide;
    r.station = settings_.station();
    return r;
}

bool CommLink::requestFor(int index, const QString& valueText, const QString& kind, FrameRequest& out) const {
    const ProgramContext& context = context_;
    // A wrong index would put another parameter's number on the wire.
    if (index < 0 || index > context.drive.lastIndex() || !context.store || !validKind(kind))
        return false;
    const ParameterDefinition& d = context.drive.parameters[std::size_t(index)];
    const std::int64_t value = kind[0] == u'R' ? 0 : ParseDecimalPrefix(valueText);
    out = request(d.comNo, char(kind[0].unicode()), value, d.wide());
    return true;
}

ExchangeResult CommLink::refuse() {
    idleTimer_.stop();
    showIcon(LinkIcon::Failed);
    ExchangeResult refused;
    refused.error = true;
    refused.failure = ExchangeFailure::Refused;
    return refused;
}

ExchangeResult CommLink::transact(int index, const QString& valueText, const QString& kind) {
    FrameRequest r;
    if (!requestFor(index, valueText, kind, r))
        return refuse();
    return exchange(r, mainOptions());
}

ExchangeResult CommLink::transactNoted(int index, const QString& valueText, const QString& kind) {
    ExchangeResult res = transact(index, valueText, kind);
    lastExchangeFailed_ = res.error;
    return res;
}

ExchangeResult CommLink::readNotedRepeating(int index) {
    FrameRequest r;
    if (!requestFor(index, QString(), QStringLiteral("R"), r)) {
        lastExchangeFailed_ = true;
        return refuse();
    }
    ExchangeOptions o = mainOptions();
    o.repeatAfterLateReply = true;
    ExchangeResult res = exchange(r, o);
    lastExchangeFailed_ = res.error;
    return res;
}

void CommLink::transactNotedInBackground(int index, const QString& valueText, const QString& kind,
                                         std::function<void(const ExchangeResult&)> done) {
    auto noted = [this, done = std::move(done)](const ExchangeResult& res) {
        lastExchangeFailed_ = res.error;
        if (done)
            done(res);
    };
    FrameRequest r;
    if (!requestFor(index, valueText, kind, r))
        return noted(refuse());
    exchangeInBackground(r, mainOptions(), std::move(noted));
}

FrameRequest CommLink::syncFor(const FrameRequest& req) const {
    // A read of the probe's number, or of the display block: whichever no owed reply and not
    // the request's own can be taken for, else whichever the request's cannot.
    FrameRequest candidates[2];
    candidates[0] = request(QStringLiteral("0000"), 'R');
    candidates[1] = request(QStringLiteral("FC10"), 'R');
    for (FrameRequest& c : candidates)
        c.station = req.station;
    const Protocol p = owed_.protocol();
    for (const FrameRequest& c : candidates)
        if (!RepliesAlike(p, c, req) && !owed_.alike(c))
            return c;
    return RepliesAlike(p, candidates[0], req) ? candidates[1] : candidates[0];
}

ExchangeResult CommLink::exchange(const FrameRequest& req, const ExchangeOptions& opt) {
    if (lineHeld()) {
        // Asked for from inside another exchange's wait: that exchange owns the line.
        ExchangeResult busy;
        busy.error = true;
        busy.failure = ExchangeFailure::LineBusy;
        return busy;
    }
    completePending(false);
    Operation op;
    op.request = req;
    op.options = opt;
    while (!step(op, true)) {
    }
    return std::move(op.answer);
}

bool CommLink::step(Operation& op, bool block) {
    using Phase = Operation::Phase;
    auto startMain = [&] {
        op.main.emplace();
        op.main->request = op.request;
        op.main->options = op.options;
        begin(*op.main);
        op.phase = Phase::Main;
    };
    // A connect's failed probe waits for the late reply it may have met, then goes again.
    auto ended = [&] {
        op.phase = Phase::Done;
        if ((op.probe || op.options.repeatAfterLateReply) && op.answer.error && !op.askedAfterSilence &&
            op.repeats < commlink::kProbeRepeats && probeRepeats(op.answer, op.background)) {
            op.late = {clock_.nowUs(), lastLineEventUs_, !op.answer.reply.empty(), op.probe};
            op.phase = Phase::AwaitLate;
        }
    };
    for (;;) {
        switch (op.phase) {
        case Phase::Start:
            if (!op.options.trackOwed || op.options.protocol != owed_.protocol())
                owed_.clear(op.options.protocol);
            owed_.forgetOlderThan(clock_.nowUs(), commlink::kOwedForgetUs);
            // A scan's repeat without its start byte goes as it is: its outcome is not used.
            if (port_.isOpen() && op.options.trackOwed && !op.request.omitFirstByte) {
                if (!owed_.empty())
                    readOwedReplies();
                if (owed_.alike(op.request)) {
                    op.sync.emplace();
                    op.sync->request = syncFor(op.request);
                    op.sync->options = op.options;
                    op.sync->options.expectedLength = 0;
                    op.sync->options.checkBlockReply = true;
                    op.sync->sync = true;
                    begin(*op.sync);
                    op.phase = Phase::Sync;
                    break;
                }
            }
            startMain();
            break;
        case Phase::Sync:
            if (!collect(*op.sync, block)) {
                if (!owed_.alike(op.request)) {
                    // The owed reply has come: the request need not wait for the sync's, which
                    // is owed from now on.
                    if (op.sync->rtsUp)
                        port_.setRts(false);
                    owed_.add(op.sync->request, op.sync->sentUs);
                    startMain();
                    break;
                }
                if (!block)
                    return false;
                break;
            }
            {
                const ExchangeResult sync = finish(*op.sync);
                if (sync.failure == ExchangeFailure::NoPort || sync.failure == ExchangeFailure::WriteFailed ||
                    sync.failure == ExchangeFailure::DrainTimeout ||
                    sync.failure == ExchangeFailure::PortError) {
                    // The line itself failed: that is the request's answer too.
                    op.answer = sync;
                    op.answer.request.clear();
                    op.answer.reply.clear();
                    ended();
                    break;
                }
            }
            if (!owed_.alike(op.request)) {
                startMain();
                break;
            }
            // The drive still owes a reply that would pass for this request's: it is not sent.
            op.answer = ExchangeResult{};
            op.answer.error = true;
            op.answer.failure = ExchangeFailure::Unconfirmed;
            op.answer.afterFailure = true;
            ended();
            break;
        case Phase::Main:
            if (!collect(*op.main, block))
                return false;
            op.answer = finish(*op.main);
            if (op.sync || op.repeats > 0)
                op.answer.afterFailure = true;
            ended();
            break;
        case Phase::AwaitLate: {
            const std::optional<bool> late =
                awaitLateReply(op.late, op.request, op.options.replyTimeoutMs, block);
            if (!late)
                return false;
            if (!*late) {
                // Nothing at all came: the reply was lost on the line, or the drive has gone. A
                // drive that answered here is asked once more (without another wait) before it
                // is taken for absent, so that one lost reply never says "Cannot connect".
                if (!op.late.silent || op.askedAfterSilence || !answeredOnLine_) {
                    op.phase = Phase::Done;
                    return true;
                }
                op.askedAfterSilence = true;
            }
            ++op.repeats;
            op.sync.reset();
            op.main.reset();
            op.phase = Phase::Start;
            break;
        }
        case Phase::Done:
            return true;
        }
    }
}

bool CommLink::readOwedReplies() {
    if (!port_.isOpen())
        return false;
    std::vector<std::uint8_t>& buf = lineBytes_;
    for (;;) {
        const WaitResult w = port_.waitReadable(0);
        if (w == WaitResult::Error)
            return false;
        if (w != WaitResult::Readable)
            return true;
        const std::size_t have = buf.size();
        buf.resize(have + 64);
        const int n = port_.read(std::span(buf).subspan(have));
        buf.resize(have + std::size_t(std::max(n, 0)));
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        lastLineEventUs_ = clock_.nowUs();
        for (;;) {
            const OwedReplies::Found f = owed_.find(buf, nullptr);
            if (f.length == 0)
                break;
            owed_.answered(f.owedIndex);
            buf.erase(buf.begin(), buf.begin() + f.at + f.length);
        }
        // Keep the tail, where a reply may have begun.
        if (buf.size() > std::size_t(2 * kFrameBufferSize))
            buf.erase(buf.begin(), buf.end() - kFrameBufferSize);
    }
}

bool CommLink::prepareLine(const ExchangeOptions& opt) {
    const bool afterFailure = !owed_.empty() || purgeBeforeNext_ || outputStuck_;
    if (opt.protocol == Protocol::Modbus && lastLineEventUs_ > 0)
        // The silent interval from the last thing on the line, to the microsecond.
        clock_.sleepUntilUs(lastLineEventUs_ + modbusSilenceUs(opt.frameGapMs, openBaud_) + kSilenceMarginUs);
    if (opt.trackOwed && !owed_.empty())
        readOwedReplies(); // what waits there is owed, never the next request's
    // Bytes that came before the request are never part of its reply.
    lineBytes_.clear();
    if (owed_.empty() && (opt.protocol == Protocol::Modbus || purgeBeforeNext_))
        port_.purgeInput();
    if (outputStuck_)
        port_.purgeOutput();
    purgeBeforeNext_ = outputStuck_ = false;
    return afterFailure;
}

void CommLink::begin(Exchange& x) {
    x.sent = true;
    const ExchangeOptions& opt = x.options;
    const FrameRequest& req = x.request;
    if (opt.icon == IconMode::Timed) {
        lastExchangeMs_ = clock_.now();
        if (!idleTimer_.isActive())
            idleTimer_.start(kIdleDelayMs);
    }

    x.result.request = BuildFrame(opt.protocol, req);
    if (!x.sync) {
        lastRequestWasBlockRead_ = IsBlockNumber(req.comNo);
        if (opt.protocol == Protocol::Modbus)
            lastModbusAddress_ = req.station.modbusAddress();
        else
            lastDataSize_ = req.wide ? 4 : 2;
    }
    x.expected =
        std::clamp(opt.expectedLength > 0 ? opt.expectedLength : ExpectedReplyLength(opt.protocol, req), 1,
                   kFrameBufferSize);

    auto stop = [&](ExchangeFailure f) {
        x.failure = f;
        x.over = true;
    };
    // Without a port there is nothing to wait for.
    if (!port_.isOpen()) {
        if (opt.icon != IconMode::None)
            showIcon(LinkIcon::Busy);
        return stop(ExchangeFailure::NoPort);
    }

    x.result.afterFailure = prepareLine(opt);
    x.scan = opt.trackOwed && !owed_.empty();
    port_.setRts(true);
    x.rtsUp = true;
    const bool written = port_.write(x.result.request) == int(x.result.request.size());
    // The request goes first, on time; the windows draw (the busy icon, a job's progress) while
    // it is on the wire.
    if (opt.icon != IconMode::None)
        showIcon(LinkIcon::Busy);
    if (written && whileAnswering_)
        whileAnswering_();
    if (!written)
        return stop(ExchangeFailure::WriteFailed);
    const int drainLimit = opt.drainTimeoutMs > 0
                               ? opt.drainTimeoutMs
                               : kDrainFactor * WireTimeMs(int(x.result.request.size()),
                                                           openBaud_ > 0 ? openBaud_ : kCommSpeed[0]) +
                                     kDrainMarginMs;
    if (!port_.drain(drainLimit)) {
        outputStuck_ = true;
        x.sentUs = clock_.nowUs();
        return stop(ExchangeFailure::DrainTimeout);
    }
    x.sentUs = clock_.nowUs();
    x.deadlineUs = x.sentUs + qint64(opt.replyTimeoutMs) * 1000;
    lastLineEventUs_ = x.sentUs;
}

bool CommLink::takeReplies(Exchange& x) {
    for (;;) {
        const auto bytes = std::span(x.buf).first(std::size_t(x.have));
        const OwedReplies::Found f = owed_.find(bytes, &x.request, x.expected);
        if (f.length == 0)
            break;
        if (f.current) {
            x.replyAt = f.at;
            return true;
        }
        owed_.answered(f.owedIndex);
        const int used = f.at + f.length;
        std::copy(x.buf.begin() + used, x.buf.begin() + x.have, x.buf.begin());
        x.have -= used;
        // The drive was busy with the owed reply: its time for this one starts now.
        x.deadlineUs = std::max(x.deadlineUs, clock_.nowUs() + qint64(x.options.replyTimeoutMs) * 1000);
    }
    // Nothing whole yet: keep the tail, where a reply may have begun.
    if (x.have == int(x.buf.size())) {
        std::copy(x.buf.begin() + kFrameBufferSize, x.buf.end(), x.buf.begin());
        x.have -= kFrameBufferSize;
    }
    return false;
}

bool CommLink::collect(Exchange& x, bool block) {
    if (x.over)
        return true;
    for (;;) {
        const qint64 now = clock_.nowUs();
        // Past the time-out what has arrived is still read: a thread that comes late to the line
        // (the event loop busy elsewhere) must not take a reply that is there for a missing one.
        const bool late = now > x.deadlineUs;
        // Sleep in poll until a byte arrives or the time-out has passed; then read what came.
        const WaitResult w =
            block && !late ? waitLine(waitMsFor(x.deadlineUs - now + 1)) : port_.waitReadable(0);
        if (w == WaitResult::Error) {
            x.failure = ExchangeFailure::PortError;
            x.over = true;
            return true;
        }
        if (w == WaitResult::Timeout) {
            if (late) {
                x.failure = ExchangeFailure::ReplyTimeout;
                x.over = true;
                return true;
            }
            if (!block)
                return false;
            continue;
        }
        const std::size_t room = x.scan ? x.buf.size() : std::size_t(kFrameBufferSize);
        const int n = port_.read(std::span(x.buf).first(room).subspan(std::size_t(x.have)));
        if (n < 0) {
            x.failure = ExchangeFailure::PortError;
            x.over = true;
            return true;
        }
        if (n > 0) {
            x.have += n;
            x.anyByte = true;
            lastLineEventUs_ = clock_.nowUs();
        }
        const int owedBefore = owed_.size();
        if (x.scan ? takeReplies(x) : x.have >= x.expected) {
            x.over = true;
            return true;
        }
        if (late && owed_.size() == owedBefore) {
            x.failure = ExchangeFailure::ReplyTimeout;
            x.over = true;
            return true;
        }
        // A sync's caller looks again once an owed reply has come.
        if (x.sync && owed_.size() < owedBefore)
            return false;
    }
}

ExchangeResult CommLink::finish(Exchange& x) {
    const ExchangeOptions& opt = x.options;
    const FrameRequest& req = x.request;
    ExchangeResult& res = x.result;
    if (x.rtsUp)
        port_.setRts(false);

    ExchangeFailure failure = x.failure;
    if (x.scan) {
        // Found in the stream: its check and echo held.
        const int at = std::max(x.replyAt, 0);
        const int length =
            failure == ExchangeFailure::None
                ? ReplyFrameAt(opt.protocol, req,
                               std::span(x.buf).first(std::size_t(x.have)).subspan(std::size_t(at)),
                               x.expected)
                : x.have;
        res.reply.assign(x.buf.begin() + at, x.buf.begin() + at + std::min(length, kFrameBufferSize));
    } else {
        res.reply.assign(x.buf.begin(), x.buf.begin() + x.have);
        if (failure == ExchangeFailure::None) {
            const bool checked = !IsBlockRead(req) || opt.checkBlockReply;
            const auto reply = std::span(x.buf).first(std::size_t(x.expected));
            if (checked && !ReplyCheckOk(opt.protocol, x.buf, x.expected))
                failure = ExchangeFailure::BadCheck;
            else if (opt.protocol == Protocol::Inverter ? !InverterReplyEchoOk(reply, req)
                                                        : checked && !ModbusReplyEchoOk(reply, req))
                failure = ExchangeFailure::WrongEcho;
        }
    }
    // A MODBUS exception reply is shorter than a reply and ends in the time-out; it is an answer.
    if (failure == ExchangeFailure::ReplyTimeout && opt.protocol == Protocol::Modbus && x.have > 0 &&
        ReplyFrameAt(opt.protocol, req, res.reply) > 0 && (res.reply[1] & 0x80) != 0)
        failure = ExchangeFailure::Exception;
    if (failure == ExchangeFailure::None) {
        bool err = false;
        res.value = ParseReply(opt.protocol, res.reply, req, err);
        if (err)
            failure = ExchangeFailure::Exception;
    }

    if (failure == ExchangeFailure::PortError)
        portFailed_ = true;
    // What the next request must expect on the line.
    const bool wentOut = failure != ExchangeFailure::NoPort && failure != ExchangeFailure::WriteFailed;
    if (wentOut) {
        if (x.anyByte)
            silentExchanges_ = 0;
        else if (failure == ExchangeFailure::ReplyTimeout)
            ++silentExchanges_;
        const bool answered = failure == ExchangeFailure::None || failure == ExchangeFailure::Exception;
        if (!opt.trackOwed) {
            // Bytes of a broken reply may still come: whatever waits is cleared before the next.
            if (failure != ExchangeFailure::None || x.have > x.expected)
                purgeBeforeNext_ = true;
        } else if ((opt.protocol == Protocol::Modbus && req.station.modbusAddress() == 0) ||
                   req.omitFirstByte) {
            // A MODBUS broadcast is never answered, nor a frame without its start: they owe
            // nothing and show nothing.
        } else if (answered) {
            // The drive sent this reply after every reply it owed before it.
            owed_.clear(opt.protocol);
            if (!x.scan && x.have > x.expected)
                purgeBeforeNext_ = true; // more than the reply came: what follows is no one's
        } else {
            // Its reply, or the rest of it, may still come, however late.
            owed_.add(req, x.sentUs, opt.expectedLength > 0 ? x.expected : 0);
        }
    }

    if (failure != ExchangeFailure::None) {
        res.error = true;
        res.failure = failure;
        res.value = 0;
    }
    if (wentOut) {
        lastExchangeOk_ = !res.error;
        if (!res.error) {
            lastGoodMs_ = clock_.now();
            answeredOnLine_ = true;
        }
    }
    if (opt.icon != IconMode::None && res.error) {
        idleTimer_.stop();
        showIcon(LinkIcon::Failed);
    }
    // The exchange ends here: its frames move out rather than being copied.
    return std::move(res);
}

std::int64_t normaliseRaw(std::int64_t raw, bool is32, bool isSigned) {
    if (is32)
        return isSigned ? std::int64_t(std::int32_t(std::uint32_t(raw))) : std::int64_t(std::uint32_t(raw));
    return isSigned ? std::int64_t(std::int16_t(std::uint16_t(raw))) : std::int64_t(std::uint16_t(raw));
}

bool parameterIs32(const ProgramContext& context, int index) {
    return context.store && StoreCells::definition(context, index).wide();
}

bool parameterIsSigned(const ProgramContext& context, int index) {
    if (!context.store)
        return false;
    double low = 0;
    return ValueRules::parseNumber(StoreCells::at(context, index).low, low) && low < 0;
}

std::int64_t applyParameterSign(const ProgramContext& context, int index, std::uint32_t raw) {
    if (!context.store)
        return raw;
    return normaliseRaw(raw, parameterIs32(context, index), parameterIsSigned(context, index));
}

WaitResult CommLink::waitLine(int timeoutMs) {
    if (!serveWindows_ || timeoutMs <= 0 || port_.pollHandle() < 0)
        return port_.waitReadable(timeoutMs);
    const WaitResult ready = port_.waitReadable(0);
    if (ready != WaitResult::Timeout)
        return ready;
    ++lineHeld_;
    const ServedWait w = WaitReadableServingWindows(port_.pollHandle(), timeoutMs);
    --lineHeld_;
    if (!lineHeld() && !later_.empty())
        laterTimer_.start();
    switch (w) {
    case ServedWait::Readable:
        return port_.waitReadable(0);
    case ServedWait::TimedOut:
        return WaitResult::Timeout;
    case ServedWait::NotServed:
        break;
    }
    return port_.waitReadable(timeoutMs);
}

void CommLink::later(std::function<void()> work) {
    later_.push_back(std::move(work));
    laterTimer_.start();
}

void CommLink::runLater() {
    // Started again when the wait that holds the line is over.
    if (lineHeld())
        return;
    const std::vector<std::function<void()>> due = std::move(later_);
    later_.clear();
    for (const auto& work : due)
        work();
}
