#include "link/CommLink.h"
#include "link/CommLinkExchange.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/Clock.h"
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

using commlink::kQuietDrainBound;
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

// A failed probe's wait for its late reply: from the failure, the bytes that came since.

CommLink::CommLink(ProgramContext& context, SerialPort& port, Clock& clock, Asker& asker)
    : context_(context), port_(port), clock_(clock), asker_(asker) {
    portPathResolver_ = [this](const QString& name) { return comPortPath(name, context_.paths.settingsIni); };
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(kIdleDelayMs);
    idleTimer_.callOnTimeout([this] { idleTimeout(); });
    probeTimer_.setSingleShot(true);
    probeTimer_.setTimerType(Qt::PreciseTimer);
    probeTimer_.callOnTimeout([this] { continueProbe(); });
}

CommLink::~CommLink() {
    cancelProbe();
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
    drainBeforeNext_ = false;
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
    const QString line = QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(path)
                             .arg(baudIndex)
                             .arg(parityIndex)
                             .arg(stopIndex)
                             .arg(sizeIndex);
    if (line != openLine_) {
        confirmNextRead_ = false;
        answeredOnLine_ = false;
    }
    openLine_ = line;
    ++openGeneration_;
    return e;
}

void CommLink::closePort() {
    cancelProbe();
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

CommLink::QuietWait CommLink::quietWaitFrom(int quietMs) const {
    const qint64 quietUs = qint64(std::max(quietMs, 1)) * 1000;
    // Quiet since the failure counts; whatever is waiting now came later.
    return {quietUs, clock_.nowUs() + kQuietDrainBound * quietUs, lastLineEventUs_ + quietUs};
}

std::optional<bool> CommLink::stepQuietWait(QuietWait& wait, bool block) {
    std::array<std::uint8_t, 64> sink{};
    bool quiet = false;
    for (;;) {
        const qint64 left = wait.quietUntilUs - clock_.nowUs();
        const WaitResult w = port_.waitReadable(block && left > 0 ? waitMsFor(left) : 0);
        if (w == WaitResult::Error)
            break;
        if (w == WaitResult::Readable) {
            if (port_.read(sink) < 0)
                break;
            wait.quietUntilUs = clock_.nowUs() + wait.quietUs;
            if (clock_.nowUs() >= wait.giveUpAtUs)
                break;
            continue;
        }
        if (clock_.nowUs() >= wait.quietUntilUs) {
            quiet = true;
            break;
        }
        if (!block)
            return std::nullopt;
    }
    lastLineEventUs_ = clock_.nowUs();
    return quiet;
}

bool CommLink::drainUntilQuiet(int quietMs) {
    QuietWait wait = quietWaitFrom(quietMs);
    return stepQuietWait(wait, true).value_or(false);
}

bool CommLink::prepareLine(const ExchangeOptions& opt, bool lineQuiet) {
    const bool afterFailure = drainBeforeNext_ || purgeBeforeNext_ || outputStuck_;
    if (drainBeforeNext_ && opt.quietAfterFailure && !lineQuiet)
        drainUntilQuiet(opt.replyTimeoutMs);
    if (opt.protocol == Protocol::Modbus) {
        // The silent interval from the last thing on the line, to the microsecond.
        if (lastLineEventUs_ > 0)
            clock_.sleepUntilUs(lastLineEventUs_ + modbusSilenceUs(opt.frameGapMs, openBaud_) +
                                kSilenceMarginUs);
        port_.purgeInput();
    } else if (purgeBeforeNext_ || drainBeforeNext_) {
        port_.purgeInput();
    }
    if (outputStuck_)
        port_.purgeOutput();
    drainBeforeNext_ = purgeBeforeNext_ = outputStuck_ = false;
    return afterFailure;
}

ExchangeResult CommLink::exchange(const FrameRequest& req, const ExchangeOptions& opt) {
    completeProbe(false);
    // A block reply's byte count names a block read, and an earlier one is only an older
    // picture of the same block.
    const bool confirm =
        confirmNextRead_ && opt.protocol == Protocol::Modbus && req.kind == 'R' && !IsBlockRead(req);
    ExchangeResult first = exchangeOnce(req, opt);
    if (!confirm || first.error)
        return first;
    // Whatever this reply answered, the drive has done with the requests before it; those it
    // still owes follow back to back and are read away before the repeat goes out.
    return repeatOnQuietLine(req, opt, first);
}

ExchangeResult CommLink::repeatOnQuietLine(const FrameRequest& req, const ExchangeOptions& opt,
                                           ExchangeResult first) {
    drainBeforeNext_ = false;
    if (!drainUntilQuiet(opt.replyTimeoutMs)) {
        first.error = true;
        first.failure = ExchangeFailure::Unconfirmed;
        first.value = 0;
        first.afterFailure = true;
        drainBeforeNext_ = true;
        lastExchangeOk_ = false;
        if (opt.icon != IconMode::None) {
            idleTimer_.stop();
            showIcon(LinkIcon::Failed);
        }
        return first;
    }
    ExchangeResult repeat = exchangeOnce(req, opt);
    repeat.afterFailure = true;
    // Sent to a drive that owes nothing, the reply is the repeat's own.
    if (!repeat.error)
        confirmNextRead_ = false;
    return repeat;
}

ExchangeResult CommLink::exchangeOnce(const FrameRequest& req, const ExchangeOptions& opt) {
    Exchange x;
    x.request = req;
    x.options = opt;
    begin(x);
    while (!collect(x, true)) {
    }
    return finish(x);
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
    lastRequestWasBlockRead_ = IsBlockNumber(req.comNo);
    if (opt.protocol == Protocol::Modbus)
        lastModbusAddress_ = req.station.modbusAddress();
    else
        lastDataSize_ = req.wide ? 4 : 2;
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

    x.result.afterFailure = prepareLine(opt, x.lineQuiet);
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
        return stop(ExchangeFailure::DrainTimeout);
    }
    x.sentUs = clock_.nowUs();
    lastLineEventUs_ = x.sentUs;
}

bool CommLink::collect(Exchange& x, bool block) {
    if (x.over)
        return true;
    const qint64 timeoutUs = qint64(x.options.replyTimeoutMs) * 1000;
    for (;;) {
        const qint64 elapsed = clock_.nowUs() - x.sentUs;
        if (elapsed > timeoutUs) {
            x.failure = ExchangeFailure::ReplyTimeout;
            x.over = true;
            return true;
        }
        // Sleep in poll until a byte arrives or the time-out has passed; then read what came.
        const WaitResult w = port_.waitReadable(block ? waitMsFor(timeoutUs - elapsed + 1) : 0);
        if (w == WaitResult::Error) {
            x.failure = ExchangeFailure::PortError;
            x.over = true;
            return true;
        }
        if (w == WaitResult::Timeout) {
            if (!block)
                return false;
            continue;
        }
        const int n = port_.read(std::span(x.buf).subspan(std::size_t(x.have)));
        if (n < 0) {
            x.failure = ExchangeFailure::PortError;
            x.over = true;
            return true;
        }
        if (n > 0) {
            x.have += n;
            lastLineEventUs_ = clock_.nowUs();
        }
        if (x.have >= x.expected) {
            x.over = true;
            return true;
        }
    }
}

ExchangeResult CommLink::finish(Exchange& x) {
    const ExchangeOptions& opt = x.options;
    const FrameRequest& req = x.request;
    ExchangeResult& res = x.result;
    res.reply.assign(x.buf.begin(), x.buf.begin() + x.have);
    const bool complete = x.failure == ExchangeFailure::None;
    if (x.rtsUp)
        port_.setRts(false);

    ExchangeFailure failure = x.failure;
    if (complete) {
        const bool checked = !IsBlockRead(req) || opt.checkBlockReply;
        const auto reply = std::span(x.buf).first(std::size_t(x.expected));
        if (checked && !ReplyCheckOk(opt.protocol, x.buf, x.expected))
            failure = ExchangeFailure::BadCheck;
        else if (opt.protocol == Protocol::Inverter ? !InverterReplyEchoOk(reply, req)
                                                    : checked && !ModbusReplyEchoOk(reply, req))
            failure = ExchangeFailure::WrongEcho;
    }
    if (failure == ExchangeFailure::None) {
        bool err = false;
        res.value = ParseReply(opt.protocol, std::span(x.buf).first(std::size_t(x.have)), req, err);
        if (err)
            failure = ExchangeFailure::Exception;
    }

    // What the next request must expect on the line.
    const bool wentOut = failure != ExchangeFailure::NoPort && failure != ExchangeFailure::WriteFailed;
    if (wentOut) {
        if (x.have > 0)
            silentExchanges_ = 0;
        else if (failure == ExchangeFailure::ReplyTimeout)
            ++silentExchanges_;
        if (failure != ExchangeFailure::None) {
            // A late reply may come from now on: the quiet the next request waits for starts here.
            if (opt.quietAfterFailure)
                lastLineEventUs_ = clock_.nowUs();
            // Bytes of a broken reply may still be coming. A reply that has not begun may come
            // at any time: the next request's check or the repeat of a MODBUS read (which
            // names no register) refuses it, so waiting for it would only hold the user.
            if (x.have > 0)
                drainBeforeNext_ = true;
            else
                purgeBeforeNext_ = true;
            // Only a MODBUS reply can pass for a MODBUS read's.
            if (opt.protocol == Protocol::Modbus)
                confirmNextRead_ = true;
        } else if (x.have > x.expected) {
            purgeBeforeNext_ = true;
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
