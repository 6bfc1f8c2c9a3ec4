#include "link/LineExchange.h"

#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <algorithm>

namespace {

// Bound of the output drain beyond the request's own wire time.
constexpr int kDrainFactor = 4;
constexpr int kDrainMarginMs = 100;
// How often the output queue is looked at while it drains: no event tells when it is empty.
constexpr qint64 kDrainLookUs = 500;
// The MODBUS syncs read so many registers of the display block: no other request of the
// program asks for these counts, so only another sync's reply can pass for a sync's.
constexpr int kSyncRegisters[] = {2, 3, 4};

} // namespace

int waitMsFor(qint64 us) {
    return int(std::max<qint64>(1, (us + 999) / 1000));
}

qint64 modbusSilenceUs(int frameGapMs, int baud) {
    const qint64 gap = qint64(std::max(frameGapMs, 0)) * 1000 + 1;
    // 3.5 characters of 11 bits, rounded up to the microsecond.
    const qint64 chars = baud > 0 ? (35LL * 11 * 1000000 + 10LL * baud - 1) / (10LL * baud) : 0;
    return std::max(gap, chars);
}

bool lineFailed(ExchangeFailure failure) {
    switch (failure) {
    case ExchangeFailure::NoPort:
    case ExchangeFailure::WriteFailed:
    case ExchangeFailure::DrainTimeout:
    case ExchangeFailure::PortError:
        return true;
    default:
        return false;
    }
}

LineExchanger::LineExchanger(SerialPort& port, Clock& clock) : port_(port), clock_(clock) {}

void LineExchanger::lineOpened(const QString& line, int baud) {
    if (line != line_) {
        owed_.clear(owed_.protocol());
        silentExchanges_ = 0;
        lateSeenUs_.reset();
    }
    line_ = line;
    baud_ = baud;
    // The time of the last thing on the line is kept: a port opened again at once is the same
    // line, and the drive still needs the silent interval before the next frame.
    purgeBeforeNext_ = outputStuck_ = false;
    lineBytes_.clear();
}

void LineExchanger::lineClosed() {
    baud_ = 0;
    purgeBeforeNext_ = outputStuck_ = false;
    lineBytes_.clear();
}

bool LineExchanger::advance(LineOperation& op, Wait& wait) {
    for (;;) {
        std::optional<Phase> next;
        switch (op.phase) {
        case Phase::Start:
            next = start(op);
            break;
        case Phase::Quiet:
            next = quiet(op, wait);
            break;
        case Phase::Drain:
            next = drain(op, wait);
            break;
        case Phase::Reply:
            next = reply(op, wait);
            break;
        case Phase::Done:
            return true;
        }
        if (!next)
            return false;
        op.phase = *next;
    }
}

void LineExchanger::lineError(LineOperation& op) {
    if (op.wire && op.phase != Phase::Start && op.phase != Phase::Done)
        op.wire->failure = ExchangeFailure::PortError;
}

void LineExchanger::abandon(LineOperation& op) {
    if ((op.phase == Phase::Drain || op.phase == Phase::Reply) && op.wire) {
        WireExchange& x = *op.wire;
        if (x.rtsUp)
            port_.setRts(false);
        record(x, op.options, ExchangeFailure::ReplyTimeout);
    }
    op.phase = Phase::Done;
    lastLineEventUs_ = clock_.nowUs();
}

// ---- Phases ---------------------------------------------------------------------------------

std::optional<LineExchanger::Phase> LineExchanger::start(LineOperation& op) {
    const ExchangeOptions& o = op.options;
    if (o.searching || o.protocol != owed_.protocol())
        owed_.clear(o.protocol);
    owed_.forgetOlderThan(clock_.nowUs(), kOwedForgetUs);
    op.quietSinceUs = clock_.nowUs();
    op.heard = false;
    op.wire = wireFor(op, op.request, false);
    // A scan's repeat without its start byte goes as it is: its outcome is not used.
    if (port_.isOpen() && !o.searching && !op.request.omitFirstByte && !owed_.empty()) {
        readOwedReplies();
        if (owed_.alike(op.request)) {
            op.wire = wireFor(op, syncFor(op.request), true);
            op.synced = true;
        }
    }
    return Phase::Quiet;
}

std::optional<LineExchanger::Phase> LineExchanger::quiet(LineOperation& op, Wait& wait) {
    const ExchangeOptions& o = op.options;
    if (op.wire->failure != ExchangeFailure::None)
        return ended(op); // the device failed while the line fell quiet
    if (!port_.isOpen()) {
        op.wire->failure = ExchangeFailure::NoPort;
        if (observer_)
            observer_->requestSent(o, false);
        return ended(op);
    }
    const qint64 silenceUs = modbusSilenceUs(o.frameGapMs, baud_);
    if (o.protocol == Protocol::Modbus && lastLineEventUs_ > 0 &&
        clock_.nowUs() < lastLineEventUs_ + silenceUs) {
        // The silent interval from the last thing on the line, to the microsecond.
        wait = {lastLineEventUs_ + silenceUs, false};
        return std::nullopt;
    }
    if (!o.searching && !owed_.empty()) {
        // An owed reply that is arriving ends first: one frame on the line at a time (a line
        // that never falls quiet is written to after a reply's whole wait).
        int read = 0;
        readOwedReplies(&read);
        const qint64 boundUs = qint64(o.replyTimeoutMs) * 1000 + kLateReplyUs;
        if (read > 0 && clock_.nowUs() - op.quietSinceUs < boundUs) {
            wait = {lastLineEventUs_ + silenceUs, true};
            return std::nullopt;
        }
    }
    send(op);
    if (op.wire->failure != ExchangeFailure::None)
        return ended(op);
    return Phase::Drain;
}

std::optional<LineExchanger::Phase> LineExchanger::drain(LineOperation& op, Wait& wait) {
    WireExchange& x = *op.wire;
    if (x.failure != ExchangeFailure::None)
        return ended(op); // the device failed while the output drained
    const bool drained = port_.drain(0);
    const qint64 now = clock_.nowUs();
    if (!drained && now < x.drainedByUs) {
        wait = {std::min(now + kDrainLookUs, x.drainedByUs), false};
        return std::nullopt;
    }
    x.sentUs = now;
    lastLineEventUs_ = now;
    if (!drained) {
        outputStuck_ = true;
        x.failure = ExchangeFailure::DrainTimeout;
        return ended(op);
    }
    x.waitUs = qint64(op.options.replyTimeoutMs) * 1000 + lateAllowanceUs(op);
    x.dueUs = x.sentUs + x.waitUs;
    return Phase::Reply;
}

std::optional<LineExchanger::Phase> LineExchanger::reply(LineOperation& op, Wait& wait) {
    WireExchange& x = *op.wire;
    if (!collect(x, op.options)) {
        wait = {x.dueUs + 1, true};
        return std::nullopt;
    }
    return ended(op);
}

LineExchanger::Phase LineExchanger::ended(LineOperation& op) {
    WireExchange& x = *op.wire;
    ExchangeResult r = finish(x, op.options);
    op.heard = op.heard || x.anyByte;
    if (!x.sync) {
        op.answer = std::move(r);
        if (op.synced || op.tries > 0)
            op.answer.afterFailure = true;
        return askAgainOrDone(op);
    }
    if (lineFailed(r.failure)) {
        // The line itself failed: that is the request's answer too.
        op.answer = ExchangeResult{};
        op.answer.error = true;
        op.answer.failure = r.failure;
        return askAgainOrDone(op);
    }
    if (owed_.alike(op.request)) {
        // The drive may still owe a reply that would pass for this request's: it is not sent.
        op.answer = ExchangeResult{};
        op.answer.error = true;
        op.answer.failure = ExchangeFailure::Unconfirmed;
        op.answer.afterFailure = true;
        return askAgainOrDone(op);
    }
    op.wire = wireFor(op, op.request, false);
    op.quietSinceUs = clock_.nowUs();
    return Phase::Quiet;
}

LineExchanger::Phase LineExchanger::askAgainOrDone(LineOperation& op) {
    if (!op.options.askAgain || !op.answer.error)
        return Phase::Done;
    switch (op.answer.failure) {
    case ExchangeFailure::ReplyTimeout:
    case ExchangeFailure::BadCheck:
    case ExchangeFailure::WrongEcho:
    case ExchangeFailure::Unconfirmed:
        break;
    default:
        // Nothing went out, the device failed, or the drive answered (an exception reply).
        return Phase::Done;
    }
    if (!op.heard) {
        // Nothing at all came: the reply was lost on the line, or the drive has gone. Asked once
        // more, so that one lost reply is never taken for a drive that has gone.
        if (op.askedAfterSilence)
            return Phase::Done;
        op.askedAfterSilence = true;
    } else if (op.tries - (op.askedAfterSilence ? 1 : 0) >= kAskAgain) {
        return Phase::Done;
    }
    ++op.tries;
    op.synced = false;
    op.wire.reset();
    return Phase::Start;
}

// ---- One request on the wire ------------------------------------------------------------------

WireExchange LineExchanger::wireFor(const LineOperation& op, const FrameRequest& request, bool sync) const {
    const ExchangeOptions& o = op.options;
    WireExchange x;
    x.request = request;
    x.sync = sync;
    x.result.request = BuildFrame(o.protocol, request);
    const int length =
        !sync && o.expectedLength > 0 ? o.expectedLength : ExpectedReplyLength(o.protocol, request);
    x.expected = std::clamp(length, 1, kFrameBufferSize);
    x.owedLength = !sync && o.expectedLength > 0 ? x.expected : 0;
    x.checkBlock = sync || o.checkBlockReply;
    return x;
}

FrameRequest LineExchanger::syncFor(const FrameRequest& request) const {
    // Reads whose replies differ from each other and from the request's: MODBUS reads of the
    // display block asking for a number of registers no other request asks for (a reply names
    // only its byte count), the maker's reads of numbers every drive has (a reply names its
    // number).
    std::vector<FrameRequest> candidates;
    auto add = [&](const char* comNo, int registers) {
        FrameRequest s;
        s.comNo = QString::fromLatin1(comNo);
        s.kind = 'R';
        s.station = request.station;
        s.registers = registers;
        if (!RepliesAlike(owed_.protocol(), s, request))
            candidates.push_back(s);
    };
    if (owed_.protocol() == Protocol::Modbus) {
        for (const int registers : kSyncRegisters)
            add("FC10", registers);
    } else {
        for (const char* comNo : {"0000", "FC10", "FB05", "FB07", "FE08"})
            add(comNo, 0);
    }
    // The sync's reply is taken for the oldest owed reply it could be: it shows that the drive
    // owes nothing alike the request only when no such sync went out before the newest owed
    // request alike it. The sync with the fewest of those gets there soonest.
    return *std::min_element(candidates.begin(), candidates.end(),
                             [&](const FrameRequest& a, const FrameRequest& b) {
                                 return owed_.alikeBefore(a, request) < owed_.alikeBefore(b, request);
                             });
}

qint64 LineExchanger::lateAllowanceUs(const LineOperation& op) const {
    if (op.options.searching)
        return 0;
    if (op.options.askAgain && op.tries == 0)
        return kLateReplyUs;
    return silentExchanges_ == 0 && seenLate() ? kLateReplyUs : 0;
}

bool LineExchanger::seenLate() const {
    return lateSeenUs_ && clock_.nowUs() - *lateSeenUs_ <= kLateMemoryUs;
}

void LineExchanger::noteLate() {
    lateSeenUs_ = clock_.nowUs();
}

bool LineExchanger::prepareLine(const ExchangeOptions& o) {
    const bool afterFailure = !owed_.empty() || purgeBeforeNext_ || outputStuck_;
    if (owed_.empty()) {
        lineBytes_.clear();
        if (o.protocol == Protocol::Modbus || purgeBeforeNext_)
            port_.purgeInput();
    }
    if (outputStuck_)
        port_.purgeOutput();
    purgeBeforeNext_ = outputStuck_ = false;
    return afterFailure;
}

void LineExchanger::send(LineOperation& op) {
    const ExchangeOptions& o = op.options;
    WireExchange& x = *op.wire;
    x.result.afterFailure = prepareLine(o);
    x.behindOwed = !o.searching && !owed_.empty();
    if (x.behindOwed) {
        // The start of an owed reply read before the request: the rest comes now.
        const std::size_t n = std::min(lineBytes_.size(), x.buf.size() / 2);
        std::copy_n(lineBytes_.end() - std::ptrdiff_t(n), n, x.buf.begin());
        x.have = int(n);
        lineBytes_.clear();
    }
    port_.setRts(true);
    x.rtsUp = true;
    const std::vector<std::uint8_t>& frame = x.result.request;
    const bool written = port_.write(frame) == int(frame.size());
    // The request goes first, on time; the windows draw while it is on the wire.
    if (observer_)
        observer_->requestSent(o, written);
    if (!written) {
        x.failure = ExchangeFailure::WriteFailed;
        return;
    }
    const int drainLimitMs =
        o.drainTimeoutMs > 0
            ? o.drainTimeoutMs
            : kDrainFactor * WireTimeMs(int(frame.size()), baud_ > 0 ? baud_ : 1200) + kDrainMarginMs;
    x.sentUs = clock_.nowUs();
    lastLineEventUs_ = x.sentUs;
    x.drainedByUs = x.sentUs + qint64(drainLimitMs) * 1000;
}

bool LineExchanger::collect(WireExchange& x, const ExchangeOptions& o) {
    if (x.failure != ExchangeFailure::None)
        return true;
    const std::size_t room = x.behindOwed ? x.buf.size() : std::size_t(kFrameBufferSize);
    while (std::size_t(x.have) < room) {
        const int n = port_.read(std::span(x.buf).first(room).subspan(std::size_t(x.have)));
        if (n < 0) {
            x.failure = ExchangeFailure::PortError;
            return true;
        }
        if (n == 0)
            break;
        x.have += n;
        x.anyByte = true;
        lastLineEventUs_ = clock_.nowUs();
        if (!o.searching && lastLineEventUs_ > x.sentUs + qint64(o.replyTimeoutMs) * 1000)
            noteLate();
        if (judge(x, o))
            return true;
    }
    // Past the time-out what has arrived was still read: a thread that comes late to the line
    // (the event loop busy elsewhere) does not take a reply that is there for a missing one.
    return clock_.nowUs() > x.dueUs;
}

bool LineExchanger::judge(WireExchange& x, const ExchangeOptions& o) {
    const auto bytes = std::span<const std::uint8_t>(x.buf).first(std::size_t(x.have));
    if (!x.behindOwed) {
        x.judged = JudgeReply(o.protocol, x.request, bytes, x.expected, x.checkBlock);
        return x.judged.verdict != ReplyVerdict::Incomplete;
    }
    for (;;) {
        const auto rest = std::span<const std::uint8_t>(x.buf).first(std::size_t(x.have));
        const OwedReplies::Found f = owed_.find(rest, &x.request, x.expected);
        if (f.length == 0)
            break;
        if (f.current) {
            x.replyAt = f.at;
            x.judged = JudgeReply(o.protocol, x.request, rest.subspan(std::size_t(f.at)), x.expected);
            // The reply read away before this one was an owed one's after all: a late reply.
            if (x.readAwayAlike && x.judged.verdict == ReplyVerdict::Good)
                noteLate();
            return true;
        }
        // A reply that could be this request's own shows no lateness by itself: on a line that
        // loses replies, it is this request's, read away for an alike one that never came. Only
        // a reply of this request's own behind it shows the drive late.
        const bool couldBeOwn =
            JudgeReply(o.protocol, x.request, rest.subspan(std::size_t(f.at)), x.expected).verdict ==
            ReplyVerdict::Good;
        owed_.answered(f.owedIndex);
        if (couldBeOwn)
            x.readAwayAlike = true;
        else
            noteLate();
        const int used = f.at + f.length;
        std::copy(x.buf.begin() + used, x.buf.begin() + x.have, x.buf.begin());
        x.have -= used;
        // The drive was busy with the owed reply: its time for this one starts now.
        x.dueUs = std::max(x.dueUs, clock_.nowUs() + x.waitUs);
    }
    // Nothing whole yet: keep the tail, where a reply may have begun.
    if (x.have == int(x.buf.size())) {
        std::copy(x.buf.begin() + kFrameBufferSize, x.buf.end(), x.buf.begin());
        x.have -= kFrameBufferSize;
    }
    return false;
}

ExchangeResult LineExchanger::finish(WireExchange& x, const ExchangeOptions& o) {
    if (x.rtsUp)
        port_.setRts(false);
    ExchangeResult& res = x.result;
    ExchangeFailure failure = x.failure;
    if (failure == ExchangeFailure::None) {
        switch (x.judged.verdict) {
        case ReplyVerdict::Incomplete:
            failure = ExchangeFailure::ReplyTimeout;
            break;
        case ReplyVerdict::BadCheck:
            failure = ExchangeFailure::BadCheck;
            break;
        case ReplyVerdict::WrongEcho:
            failure = ExchangeFailure::WrongEcho;
            break;
        case ReplyVerdict::Exception:
            failure = ExchangeFailure::Exception;
            break;
        case ReplyVerdict::Good:
            break;
        }
    }
    // A clean line's reply is every byte read (kFrameBufferSize at most); behind owed replies, the one found.
    const int at = x.behindOwed ? x.replyAt : 0;
    const bool whole = x.judged.verdict != ReplyVerdict::Incomplete;
    const int length = x.behindOwed && whole ? x.judged.length : std::min(x.have - at, kFrameBufferSize);
    res.reply.assign(x.buf.begin() + at, x.buf.begin() + at + std::max(length, 0));
    if (failure == ExchangeFailure::None) {
        bool err = false;
        res.value = ParseReply(o.protocol, res.reply, x.request, err);
        if (err)
            failure = ExchangeFailure::Exception;
    }
    record(x, o, failure);
    if (failure != ExchangeFailure::None) {
        res.error = true;
        res.failure = failure;
        res.value = 0;
    }
    if (observer_)
        observer_->exchangeEnded(
            o, res, failure != ExchangeFailure::NoPort && failure != ExchangeFailure::WriteFailed);
    // The exchange ends here: its frames move out rather than being copied.
    return std::move(res);
}

void LineExchanger::record(const WireExchange& x, const ExchangeOptions& o, ExchangeFailure failure) {
    if (failure == ExchangeFailure::NoPort || failure == ExchangeFailure::WriteFailed)
        return;
    if (x.anyByte)
        silentExchanges_ = 0;
    else if (failure == ExchangeFailure::ReplyTimeout)
        ++silentExchanges_;
    const bool answered = failure == ExchangeFailure::None || failure == ExchangeFailure::Exception;
    const int replyLength = x.judged.verdict != ReplyVerdict::Incomplete ? x.judged.length : x.expected;
    if (o.searching) {
        // Bytes of a broken reply may still come: whatever waits is cleared before the next.
        if (failure != ExchangeFailure::None || x.have > replyLength)
            purgeBeforeNext_ = true;
        return;
    }
    if ((o.protocol == Protocol::Modbus && x.request.station.modbusAddress() == 0) || x.request.omitFirstByte)
        return; // a MODBUS broadcast is never answered, nor a frame without its start
    if (answered) {
        // The drive sent this reply after every reply it owed before it.
        owed_.clear(o.protocol);
        if (!x.behindOwed && x.have > replyLength)
            purgeBeforeNext_ = true; // more than the reply came: what follows is no one's
        return;
    }
    // Its reply, or the rest of it, may still come, however late.
    owed_.add(x.request, x.sentUs, x.owedLength);
}

bool LineExchanger::readOwedReplies(int* read) {
    if (!port_.isOpen())
        return false;
    std::vector<std::uint8_t>& buf = lineBytes_;
    for (;;) {
        const std::size_t have = buf.size();
        buf.resize(have + 64);
        const int n = port_.read(std::span(buf).subspan(have));
        buf.resize(have + std::size_t(std::max(n, 0)));
        if (n <= 0)
            return n == 0;
        if (read)
            *read += n;
        // The drive is there: it answers, however late.
        silentExchanges_ = 0;
        lastLineEventUs_ = clock_.nowUs();
        for (;;) {
            const OwedReplies::Found f = owed_.find(buf, nullptr);
            if (f.length == 0)
                break;
            owed_.answered(f.owedIndex);
            noteLate();
            buf.erase(buf.begin(), buf.begin() + f.at + f.length);
        }
        // Keep the tail, where a reply may have begun.
        if (buf.size() > std::size_t(2 * kFrameBufferSize))
            buf.erase(buf.begin(), buf.end() - kFrameBufferSize);
    }
}
