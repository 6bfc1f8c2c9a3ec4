#pragma once
// The drive's line: one operation at a time (a request and its reply, with what comes before
// and after it on the line), stepped without waiting over the port and the clock. What waits,
// and where, is the caller's (LinkDriver): the exchanger only says what it waits for.
//
// The rules of the line, all of them here:
// - One request on the line at a time. A request goes out once the reply to the one before has
//   come or is no longer due, and (MODBUS) after the line's silent interval, measured from the
//   last byte read or the end of the last request's output. A MODBUS request on a line that owes
//   nothing clears the input first: what waits there is no one's.
// - A request's output is drained before its reply is awaited (a phase of its own: the line is
//   looked at every half millisecond), for at most a few times its own wire time plus a margin
//   (ExchangeOptions::drainTimeoutMs may set it); output that does not leave is a failure and is
//   cleared before the next request. The reply's time-out counts from the drained output.
// - A reply is due until its time-out. It is awaited a second more (kLateReplyUs) only where the
//   drive has been seen answering late within the last minute (kLateMemoryUs: a byte after its
//   request's time-out, or an owed reply read away that could not be the current request's own
//   or was followed by its own) and its last exchange was not silent (no byte in its whole
//   wait): a drive busy storing answers late, and a reply that late is still its request's own.
//   So on a line that only loses replies a loss costs its time-out; the first late reply on it
//   fails its request and is read away as owed. The first try of the connect's probe and of the
//   identity reads (ExchangeOptions::askAgain) awaits the late second always.
// - A value is its request's own reply or the exchange fails. A drive answers in order and may
//   answer later than any wait: every request whose reply did not come is owed (OwedReplies)
//   until a later reply shows the drive has done with it, for a minute at most (kOwedForgetUs)
//   and 512 requests at most (the oldest go first). What arrives while something is owed is
//   searched for whole replies; those of owed requests are read away, and a reply is taken for
//   the request only where no owed reply could look the same. A request that an owed reply
//   could pass for is preceded by a sync: a read whose reply cannot pass for it; once the sync
//   is over, a request that is still alike something owed is not sent (Unconfirmed).
// - A good reply clears what is owed: the drive sent it after everything before it.
// - A clean line pays for none of it.
#include "link/ExchangeResult.h"
#include "link/OwedReplies.h"
#include "protocol/FrameCodec.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

class Clock;
class SerialPort;

// How the link icon follows an exchange.
enum class IconMode {
    None,  // untouched (scan, start-up detection)
    Timed, // busy during the exchange, failed after a failure, idle 300 ms after the last one
};

// Options of one exchange; CommLink::mainOptions() gives those of the main exchange.
struct ExchangeOptions {
    Protocol protocol = Protocol::Inverter;
    int replyTimeoutMs = 200; // the reply is late when it is not whole by then
    int frameGapMs = 3;       // MODBUS: silence of more than this between frames
    IconMode icon = IconMode::Timed;
    int expectedLength = 0;       // 0: ExpectedReplyLength(); else wait for this many bytes
    int drainTimeoutMs = 0;       // 0: a few times the request's wire time plus a margin
    bool checkBlockReply = false; // a block read's reply is checked too (keypad)
    // The start-up search and the port scan: any answer means a drive at those settings. Nothing
    // is owed, no late reply awaited, and bytes of a broken reply are cleared before the next.
    bool searching = false;
    // The connect's probe and the identity reads: a reply lost, garbled or held behind an owed
    // one is no answer of the drive's, so the read is asked again (after a silent wait once,
    // else up to kAskAgain times), its first try awaiting a late reply whatever the line.
    bool askAgain = false;
};

// A reply later than its time-out by up to this is still awaited where the drive answers late.
inline constexpr qint64 kLateReplyUs = 1000 * 1000;
// How long a late reply seen keeps the line's replies awaited the late second.
inline constexpr qint64 kLateMemoryUs = 60LL * 1000 * 1000;
// A request owed longer than this is taken for lost: a reply later than that could pass for
// another request's.
inline constexpr qint64 kOwedForgetUs = 60LL * 1000 * 1000;
// How often a read with askAgain is asked again after a line fault that was not silence.
inline constexpr int kAskAgain = 3;

// One request on the wire and what has come for it.
struct WireExchange {
    FrameRequest request;
    bool sync = false; // sent only to learn that the drive owes nothing alike the request
    ExchangeResult result;
    // A clean line reads the reply's bytes from the start (kFrameBufferSize at most); a line
    // that owes replies keeps more, to find the reply behind those owed.
    std::array<std::uint8_t, 4 * kFrameBufferSize> buf{};
    int have = 0;
    int expected = 1;
    int owedLength = 0;      // the reply's length as the owed record keeps it (0: the usual one)
    bool checkBlock = false; // a block read's reply is checked too
    bool behindOwed = false; // replies owed to earlier requests may come first
    qint64 sentUs = 0;
    qint64 drainedByUs = 0; // the output must have left by then
    qint64 dueUs = 0;       // the reply is no longer awaited after this
    qint64 waitUs = 0;      // the time-out and the late allowance of this exchange
    bool rtsUp = false;
    bool anyByte = false;       // a byte came, the drive's or not
    bool readAwayAlike = false; // a reply that could be this one's was read away as owed
    ExchangeFailure failure = ExchangeFailure::None;
    ReplyJudgement judged; // where the reply stands once it is whole
    int replyAt = 0;       // behind owed replies: where the reply stands in buf
};

// What a caller asked of the line, and where it stands.
struct LineOperation {
    FrameRequest request;
    ExchangeOptions options;
    ExchangeResult answer; // once over

    enum class Phase { Start, Quiet, Drain, Reply, Done };
    Phase phase = Phase::Start;
    std::optional<WireExchange> wire;
    bool synced = false; // a sync went before the request
    int tries = 0;       // asked again so many times
    bool heard = false;  // a byte came during this try
    bool askedAfterSilence = false;
    qint64 quietSinceUs = 0; // waiting for the line to fall quiet since
};

// What the connection state learns of each exchange (the link icon, the kept answer).
class LineObserver {
public:
    virtual ~LineObserver() = default;
    // The request is on its way (or found no port): the windows may draw while the drive answers.
    virtual void requestSent(const ExchangeOptions& options, bool written) = 0;
    // The exchange is over; `wentOut`: the request reached the line.
    virtual void exchangeEnded(const ExchangeOptions& options, const ExchangeResult& result,
                               bool wentOut) = 0;
};

class LineExchanger {
public:
    LineExchanger(SerialPort& port, Clock& clock);

    void setObserver(LineObserver* observer) { observer_ = observer; }

    // The port was opened: `line` names the device and its settings, `baud` its speed. Replies
    // owed on another line, or at another speed, cannot come on this one.
    void lineOpened(const QString& line, int baud);
    void lineClosed();

    // What an unfinished operation waits for: bytes on the line (or the time untilUs), or only
    // the time.
    struct Wait {
        qint64 untilUs = 0;
        bool forBytes = true;
    };
    // Advances the operation as far as it goes without waiting. True when it is over (its
    // answer set); else `wait` says what it waits for.
    bool advance(LineOperation& op, Wait& wait);
    // The device failed while the operation waited (poll said so): it ends as PortError.
    void lineError(LineOperation& op);
    // The operation ends where it stands (its port is closing): what went out is owed.
    void abandon(LineOperation& op);

    // Consecutive exchanges whose whole wait brought not a single byte; reset by any byte.
    int silentExchanges() const { return silentExchanges_; }
    void resetSilentExchanges() { silentExchanges_ = 0; }

private:
    using Phase = LineOperation::Phase;
    std::optional<Phase> start(LineOperation& op);
    std::optional<Phase> quiet(LineOperation& op, Wait& wait);
    std::optional<Phase> drain(LineOperation& op, Wait& wait);
    std::optional<Phase> reply(LineOperation& op, Wait& wait);
    Phase ended(LineOperation& op);
    Phase askAgainOrDone(LineOperation& op);

    WireExchange wireFor(const LineOperation& op, const FrameRequest& request, bool sync) const;
    // The request that precedes `request` when an owed reply could pass for its own.
    FrameRequest syncFor(const FrameRequest& request) const;
    // How long past its time-out a reply is awaited for this operation.
    qint64 lateAllowanceUs(const LineOperation& op) const;
    // The drive answered late within kLateMemoryUs.
    bool seenLate() const;
    void noteLate();
    void send(LineOperation& op);
    // Takes what has arrived; true when the exchange is over.
    bool collect(WireExchange& x, const ExchangeOptions& options);
    // Whether the bytes so far end the exchange (a whole reply, good or not).
    bool judge(WireExchange& x, const ExchangeOptions& options);
    ExchangeResult finish(WireExchange& x, const ExchangeOptions& options);
    // What the next request must expect on the line after x.
    void record(const WireExchange& x, const ExchangeOptions& options, ExchangeFailure failure);
    // Reads what is waiting without waiting, and reads away the owed replies in it (what may be
    // the start of one is kept for the next call). False when the port failed; `read` counts the
    // bytes.
    bool readOwedReplies(int* read = nullptr);
    // The line made ready for the request: stale bytes cleared. True when it goes out behind a
    // failure.
    bool prepareLine(const ExchangeOptions& options);

    SerialPort& port_;
    Clock& clock_;
    LineObserver* observer_ = nullptr;

    OwedReplies owed_;
    std::vector<std::uint8_t> lineBytes_; // read between exchanges, not yet a whole owed reply
    QString line_;                        // the open line: replies owed elsewhere cannot come here
    int baud_ = 0;                        // its speed, for the drain bound and the silent interval
    qint64 lastLineEventUs_ = 0;          // last byte read, or the end of a request's output
    bool purgeBeforeNext_ = false;        // stale bytes no request owns (the start-up search)
    bool outputStuck_ = false;            // a request that did not leave: purged before the next
    int silentExchanges_ = 0;
    std::optional<qint64> lateSeenUs_; // when the drive last answered past a time-out
};

// Whole milliseconds that cover `us`, at least one: a wait of 0 would not advance.
int waitMsFor(qint64 us);
// The MODBUS silent interval between frames in microseconds: more than frameGapMs, and never
// less than 3.5 characters of 11 bits at the line's speed.
qint64 modbusSilenceUs(int frameGapMs, int baud);
// The line itself failed (no port, a write or drain that failed, the device gone): no answer of
// the drive's.
bool lineFailed(ExchangeFailure failure);
