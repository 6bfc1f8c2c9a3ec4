#pragma once
// The program's drive link: the one serial port, the communication settings it uses, and
// the one exchange routine through which every window talks to the drive. The main
// exchange (transact), the configuration scan, the start-up detection and the keypad's
// block read are that routine with different options. Needs no window: the main window
// shows the link through LinkView.
#include "link/ExchangeResult.h"
#include "link/LinkView.h"
#include "link/MonitorRunLock.h"
#include "link/OwedReplies.h"
#include "platform/SerialPort.h"
#include "protocol/FrameCodec.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Asker;
class Clock;
class QSocketNotifier;
struct ProgramContext;

// Port configuration tables, indexed by the settings' list positions.
inline constexpr int kCommSpeed[6] = {1200, 2400, 4800, 9600, 19200, 38400};
inline constexpr SerialParity kCommParity[3] = {SerialParity::None, SerialParity::Even, SerialParity::Odd};
inline constexpr SerialStopBits kCommStop[3] = {SerialStopBits::One, SerialStopBits::OneAndHalf,
                                                SerialStopBits::Two};
inline constexpr int kCommSize[2] = {7, 8};
// Pause after each MODBUS reply by baud index: the silent interval at that speed.
inline constexpr int kFrameGapMs[6] = {24, 12, 6, 3, 2, 1};
// FrameGap for a baud index; an index outside the table gets the slowest speed's gap.
int frameGapForBaudIndex(int baudIndex);
// The MODBUS silent interval between frames in microseconds: more than frameGapMs, and never
// less than 3.5 characters of 11 bits at the line's speed.
qint64 modbusSilenceUs(int frameGapMs, int baud);
// What the link waits beyond that interval: enough for the sleep's own wake-up, far less
// than a tick.
inline constexpr qint64 kSilenceMarginUs = 20;
// Consecutive exchanges without a single byte of reply after which the drive counts as
// silent (the transfer then offers its Abort/Retry/Ignore box whatever the options say).
inline constexpr int kSilentDriveExchanges = 3;
// How long a drive that answered counts as connected for a check that may use a kept answer.
inline constexpr int kKeptConnectionMs = 2000;

// The communication settings as the set-up dialog holds them (list positions and flags).
struct LinkSettings {
    int protocol = 0;       // ProtocolGr1: 1 MODBUS-RTU, any other value the maker's protocol
    int portIndex = 0;      // the port list's position in portsFound()
    int baudIndex = 3;      // CommSpeed
    int parityIndex = 1;    // CommParity
    int stopIndex = 0;      // CommStop
    int sizeIndex = 1;      // CommSize
    int inverterNumber = 0; // IdNmb, 0..63
    bool appendNo = false;  // "Set number"
    bool broadcast = false; // "Broadcast"

    Protocol protocolKind() const { return protocol == 1 ? Protocol::Modbus : Protocol::Inverter; }
    StationChoice station() const { return {appendNo, broadcast, inverterNumber}; }
    bool operator==(const LinkSettings&) const = default;
};

// How the link icon follows an exchange.
enum class IconMode {
    None,  // untouched (scan, start-up detection)
    Timed, // 2 during the exchange; 0 on failure; 1 after 300 ms without an exchange (the idle timer)
};

// Options of one exchange; CommLink::mainOptions() gives those of transact.
struct ExchangeOptions {
    Protocol protocol = Protocol::Inverter;
    int replyTimeoutMs = 200; // fail when more than this has passed without a full reply
    int frameGapMs = 3;       // MODBUS: silence of more than this between frames
    IconMode icon = IconMode::Timed;
    int expectedLength = 0;       // 0: ExpectedReplyLength(); else wait for this many bytes
    int drainTimeoutMs = 0;       // 0: a few times the request's wire time plus a margin
    bool checkBlockReply = false; // a block read's reply is checked too (keypad)
    // After a failure the drive may still owe its reply: the link keeps track of what it owes
    // (OwedReplies), so that a late reply is never taken for another request's. Off for the
    // start-up search's probes: any answer there means a drive.
    bool trackOwed = true;
    // A failed read is repeated as the connect's probe is, after the late reply it may have met
    // (five time-outs at most; the identity reads: a failure there would claim another drive).
    bool repeatAfterLateReply = false;
};

class CommLink {
public:
    // The link of the program the context describes (its drive type, store and settings
    // file). It owns neither the context, the port, the clock nor the asker. The link and
    // what works through it (transfers, checks, detection, the monitor, the keypad) ask the
    // user through `asker`.
    CommLink(ProgramContext& context, SerialPort& port, Clock& clock, Asker& asker);
    ~CommLink();
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;

    void setView(LinkView* view);
    // The link's waits for the drive serve the windows (they answer the window manager, repaint
    // and run their timers; the user's input waits) instead of holding the thread. While such a
    // wait runs, what the event loop asks of the link is put off: a background exchange or
    // connect starts, and a background `done` is called, once the wait is over; a blocking
    // exchange asked for then fails as LineBusy and a blocking connect answers as the last did.
    // Off: the waits hold the thread (a port that cannot be watched is always waited for so).
    void setServeWindowsWhileWaiting(bool on) { serveWindows_ = on; }
    // A wait that serves the windows is running: the line is held by the exchange under it.
    bool lineHeld() const { return lineHeld_ > 0; }
    // What runs while the drive answers: called right after each request is written, before the
    // wait for its reply, so that drawing done there costs the exchange nothing. None: null.
    void setWhileAnswering(std::function<void()> work) { whileAnswering_ = std::move(work); }
    ProgramContext& context() { return context_; }
    SerialPort& port() { return port_; }
    Clock& clock() { return clock_; }
    Asker& asker() { return asker_; }
    // The monitor's run lock: while a run holds the link, nothing else connects (none: no
    // monitor in this program).
    void setMonitorRunLock(const MonitorRunLock* lock) { monitorRunLock_ = lock; }
    bool monitorRunning() const { return monitorRunLock_ && monitorRunLock_->running(); }

    // ---- Link state: read here, changed only through the functions below ----
    // The set-up dialog's controls (through CommSettings, which keeps their rules).
    const LinkSettings& settings() const { return settings_; }
    void setSettings(const LinkSettings& settings) { settings_ = settings; }
    // The settings as `change` leaves them, the rest as they are.
    void updateSettings(const std::function<void(LinkSettings&)>& change) { change(settings_); }
    // PC_ComboPort_COM: names of the ports that could be opened, in the settings' port order.
    const QStringList& portsFound() const { return portsFound_; }
    void setPortsFound(const QStringList& names) { portsFound_ = names; }
    // ms, settings "Delay" (30..5000; CommSettings bounds what the user enters).
    int replyTimeoutMs() const { return replyTimeoutMs_; }
    void setReplyTimeout(int ms) { replyTimeoutMs_ = ms; }
    // ms, from the baud index when the settings are loaded or stored (not when the dialog's
    // list moves).
    int frameGapMs() const { return frameGapMs_; }
    void setFrameGap(int ms) { frameGapMs_ = ms; }
    // The last exchange noted for the windows failed (transactNoted, a connect, the scan and
    // the keypad's reads note theirs); the set-up dialog's OK forgets it.
    bool lastExchangeFailed() const { return lastExchangeFailed_; }
    void noteExchangeFailed(bool failed) { lastExchangeFailed_ = failed; }
    // The drive is specially set up: the special-setup check marks it, and a connect leaves
    // the drive commands other than Key Pad and Inverter Info. disabled while it holds.
    bool specialSetup() const { return specialSetup_; }
    void markSpecialSetup(bool marked) { specialSetup_ = marked; }
    // The "cannot open" message was shown and stays silent until the main window allows it
    // again (before a connect the user starts).
    bool portMessageShown() const { return portMessageShown_; }
    void allowPortMessage() { portMessageShown_ = false; }
    // The "no port name" message is still to be shown on the next open without a name; a
    // name found arms it again.
    bool noPortNameMessageDue() const { return noPortNameMessageDue_; }
    // What the last request was, as the frame builders set it: the MODBUS address, the maker's
    // parameter size in bytes, and whether it was for a block number.
    std::uint32_t lastModbusAddress() const { return lastModbusAddress_; }
    int lastDataSize() const { return lastDataSize_; }
    bool lastRequestWasBlockRead() const { return lastRequestWasBlockRead_; }
    bool PortOpen() const { return port_.isOpen(); }
    // The device failed under an exchange (unplugged, or the drive's end of the line gone):
    // only opening the port again can bring the drive back.
    bool portFailed() const { return portFailed_; }

    // "COMn" (or a path) -> device path. Default: the settings file's section "Ports", else
    // the n-th real serial device. Tests replace it; a null resolver takes the name as the path.
    void setPortPathResolver(std::function<QString(const QString&)> resolver) {
        portPathResolver_ = std::move(resolver);
    }
    QString portPath(const QString& name) const { return portPathResolver_ ? portPathResolver_(name) : name; }

    // ---- The main link ----
    // Opens portsFound()[settings().portIndex] with the settings: 0 when open and configured, 1
    // on any failure (message NoUsablePort of the language file as the rules say, icon 0).
    int OpenCommPort();
    // Reopens the port and probes "0000"; enables or disables the drive commands. False at
    // once, touching nothing, while a monitor run is in progress. A failed probe on a line
    // where the drive has answered since the last failed connect may have met a late or
    // garbled reply (a drive answers one request at a time, so one late reply holds those
    // after it): the late reply is waited for (five time-outs, 5 s at least) and the
    // probe repeated as any exchange behind a failure is, up to kProbeRepeats times; the drive
    // is taken for absent only when such a wait brings nothing. A probe started in the
    // background is waited for and its answer taken instead; an exchangeInBackground on its
    // way is waited for before the port is opened again.
    bool ConnectDrive();
    // The same connect without waiting for the drive: the port is opened (with its message
    // as above) and the probe written at once; the answer is taken from the event loop when
    // the reply or the time-out comes, and then `done` is called with it (a second call while
    // the probe runs only adds its `done`). Any other use of the port first waits for it. A
    // port that offers nothing to watch (SerialPort::pollHandle) is waited for at once. A
    // failed probe is repeated as ConnectDrive's is, its wait for the late reply taken from
    // the event loop too.
    void ConnectDriveInBackground(std::function<void(bool connected)> done = {});
    // Anything on its way in the background: a connect's probe or an exchange.
    bool probePending() const;
    // One exchange as exchange() makes it, without waiting for the drive: written at once
    // (after waiting for an exchange of this kind or a probe already on the line; its sync, when
    // the drive owes a reply alike, also from the event loop), its reply taken from the event
    // loop as the probe's is, and `done` called from
    // the event loop with the result. Another use of the port waits for it and its `done`
    // still follows, from the event loop; closing the port drops it unanswered. Waited for at
    // once on a port that offers nothing to watch (done is then called before this returns).
    void exchangeInBackground(const FrameRequest& request, const ExchangeOptions& options,
                              std::function<void(const ExchangeResult&)> done);
    // An exchangeInBackground on its way (a probe is not one).
    bool backgroundExchangePending() const;
    // Takes what has arrived for the operation in the background and ends it when complete or
    // timed out (the event loop calls it; tests with a fake clock call it themselves).
    void continueProbe();
    // The answer of the last connect while it still holds: "connected" while the link's last
    // exchange was good and came within kKeptConnectionMs, "no drive" until the settings, the
    // port list or the time-out change or a connect is made again. Nothing when neither holds.
    std::optional<bool> keptConnection() const;
    // The last connect found the drive (its commands are enabled).
    bool lastConnectFound() const { return kept_ && kept_->connected; }
    // The kept answer applied as ConnectDrive applies its own (drive commands, lastExchangeFailed),
    // without touching the port; a connect as above when there is none.
    bool ConnectDriveKept();
    // Consecutive exchanges that ended in a time-out without a single byte; reset by any byte.
    int silentExchanges() const { return silentExchanges_; }
    void resetSilentExchanges() { silentExchanges_ = 0; }
    // One exchange for parameter index. kind "R", "W" or "P".
    // Refuses (Refused, nothing sent) an index outside 0..drive.lastIndex() or another kind.
    // The reply's value is unsigned (callers apply the sign), 0 on failure. Does not touch
    // lastExchangeFailed.
    ExchangeResult transact(int index, const QString& valueText, const QString& kind);
    // The same, its outcome noted (lastExchangeFailed) for the windows that show the link's state
    // after a request (the keypad's display, the set-up dialog, the connect).
    ExchangeResult transactNoted(int index, const QString& valueText, const QString& kind);
    // A read noted as transactNoted notes it, repeated after a late or garbled reply as the
    // connect's probe is (ExchangeOptions::repeatAfterLateReply).
    ExchangeResult readNotedRepeating(int index);
    // transactNoted without waiting for the drive: sent as exchangeInBackground sends, the
    // outcome noted and handed to `done` from the event loop. A refused request is noted and
    // handed on at once.
    void transactNotedInBackground(int index, const QString& valueText, const QString& kind,
                                   std::function<void(const ExchangeResult&)> done);
    // The parameter index of a communication number, -1 when the table lacks it.
    int FindParaRow(const QString& comNo) const;
    // The quiet timer's handler: icon back to idle once 300 ms have passed since the last
    // exchange, else the timer is set for the rest.
    void idleTimeout();
    bool idleTimerActive() const { return idleTimer_.isActive(); }

    // ---- Primitives for the other exchanges (scan, start-up detection, keypad) ----
    // Closes an open port and opens `name` with the given list positions; no messages, no
    // icon. Positions outside their tables give ConfigFailed.
    SerialError openPort(const QString& name, int baudIndex, int parityIndex, int stopIndex = 0,
                         int sizeIndex = 1);
    void closePort();
    // Closes an open port, then returns those of `names` that could be opened exclusively
    // (each is closed at once).
    QStringList findPorts(const QStringList& names);

    // The options transact uses, from the current settings.
    ExchangeOptions mainOptions() const;
    // A request for comNo with the current station choice.
    FrameRequest request(const QString& comNo, char kind, std::int64_t value = 0, bool wide = false) const;
    // The one exchange: the line made ready (below), RTS up, write, bounded drain, wait for
    // the reply with the time-out (in poll), sum or CRC, the maker's echo, RTS down, parse.
    // Notes the request's MODBUS address, data size and block read as the builders do. Does not
    // touch lastExchangeFailed.
    //
    // A value is the reply to its own request, or the exchange fails. A drive answers one
    // request at a time, in order, and may answer far later than the time-out: every request
    // whose reply did not come is kept as owed (owedReplies) until a reply shows that the drive
    // has done with it. While anything is owed, what arrives is searched for whole replies:
    // those of owed requests are read away (the time-out then runs from there, the drive having
    // been busy), and the request's own is the first one that no owed reply could look like.
    // A request that an owed reply could pass for (a MODBUS read behind a MODBUS read, the
    // maker's read of the same parameter) is preceded by a sync: a read whose reply cannot pass
    // for it, answered only once the drive owes nothing before it. If the line still owes a
    // reply alike after the sync, the request is not sent and fails (Unconfirmed). A good
    // reply clears the list: the drive sent it after everything it owed. A clean line never
    // pays for any of it. MODBUS clears its input right before every request on a clean line
    // and keeps the silent interval (modbusSilenceUs) from the last byte read to an absolute
    // deadline.
    ExchangeResult exchange(const FrameRequest& request, const ExchangeOptions& options);
    // What the drive may still owe.
    const OwedReplies& owedReplies() const { return owed_; }

private:
    struct Exchange;
    struct LateReplyWait;
    struct Operation;
    void showIcon(LinkIcon icon);
    void setAllDriveCommands(bool connected);
    // The request of parameter index; false (nothing built) for an
    // index outside the table or another kind.
    bool requestFor(int index, const QString& valueText, const QString& kind, FrameRequest& out) const;
    // What a request requestFor refuses ends with (the icon shows the failure).
    ExchangeResult refuse();
    // Advances an operation as far as it goes; with `block` to its end. True when it is over.
    bool step(Operation& op, bool block);
    // The request that precedes `request` when an owed reply could pass for its own.
    FrameRequest syncFor(const FrameRequest& request) const;
    void begin(Exchange& x);
    // Takes what has arrived; with `block`, waits in poll until the reply is complete or the
    // time-out has passed. True when the wait is over.
    bool collect(Exchange& x, bool block);
    // Replies of owed requests at the start of x's bytes are read away; true when x's own
    // stands there.
    bool takeReplies(Exchange& x);
    ExchangeResult finish(Exchange& x);
    // The line made ready for the next request: owed replies waiting are read away, else (a
    // clean MODBUS line, or stale bytes of a failure) the input cleared. True when the request
    // goes out behind a failure.
    bool prepareLine(const ExchangeOptions& opt);
    // Reads what is waiting, without waiting, and takes the owed replies in it (what may be
    // the start of one is kept for the next call). False when the port failed.
    bool readOwedReplies();
    // ---- The connect's probe ----
    FrameRequest probeRequest() const;
    // A failed probe that may have met a late or garbled reply, on a line where the drive has
    // answered since the last failed connect (any line for a probe in the background, which
    // holds no window).
    bool probeRepeats(const ExchangeResult& failed, bool background) const;
    // After a failed probe: reads the line until its reply has come, or a reply has come and
    // the line has then been quiet for a time-out (true), or nothing came for
    // the late-reply bound (commlink) or the line never fell quiet (false). Without
    // `block`, nothing when neither has happened yet.
    std::optional<bool> awaitLateReply(LateReplyWait& wait, const FrameRequest& probe, int timeoutMs,
                                       bool block);
    // The connect's answer: flag, drive commands, kept answer.
    void takeConnectAnswer(bool connected);
    // Starts an operation in the background: stepped from the event loop from now on.
    void startPending(std::unique_ptr<Operation> op);
    // Waits for the rest of the operation in the background and takes its answer; `notify`
    // runs what was to follow it.
    void completePending(bool notify, bool fromEventLoop = false);
    // The notifier and timer that step the operation from the event loop.
    void watchPending();
    void cancelPending();
    void noteConnection(bool connected);
    void resetLineState();
    // A blocking wait for the port to become readable; serves the windows when asked to.
    WaitResult waitLine(int timeoutMs);
    // Runs `work` from the event loop once no wait holds the line, after what came before it.
    void later(std::function<void()> work);
    void runLater();

    ProgramContext& context_;
    SerialPort& port_;
    Clock& clock_;
    Asker& asker_;
    const MonitorRunLock* monitorRunLock_ = nullptr;
    LinkView* view_ = nullptr;
    std::function<QString(const QString&)> portPathResolver_;
    std::function<void()> whileAnswering_;

    LinkSettings settings_;
    QStringList portsFound_;
    int replyTimeoutMs_ = 200;
    int frameGapMs_ = kFrameGapMs[3];
    bool lastExchangeFailed_ = false;
    bool specialSetup_ = false;
    bool portMessageShown_ = false;
    bool noPortNameMessageDue_ = true;
    std::uint32_t lastModbusAddress_ = kDefaultModbusAddress;
    int lastDataSize_ = 2;
    bool lastRequestWasBlockRead_ = false;
    QTimer idleTimer_;
    int openBaud_ = 0; // speed of the open port, for the drain bound and the silent interval
    bool portFailed_ = false;

    // The line between exchanges.
    qint64 lastLineEventUs_ = 0;   // last byte read, end of a drain or of a request's output
    bool purgeBeforeNext_ = false; // stale bytes no request owns (the start-up search)
    bool outputStuck_ = false;     // a request that did not leave: purged before the next
    OwedReplies owed_;
    std::vector<std::uint8_t> lineBytes_; // read between exchanges, not yet a whole owed reply
    QString openLine_;                    // path and settings of the last open: a reply owed on another
                                          // line or at another speed cannot be read on this one
    int silentExchanges_ = 0;
    bool answeredOnLine_ = false; // a good exchange on this line since the last failed connect

    // The link icon: shown only on a change; the idle timer set once per quiet period.
    std::optional<LinkIcon> shownIcon_;
    qint64 lastExchangeMs_ = 0;

    // The answer of the last connect.
    struct KeptConnection {
        bool connected = false;
        LinkSettings settings;
        QStringList ports;
        int replyTimeout = 0;
        int openGeneration = 0;
    };
    int openGeneration_ = 0; // counts the opens: another open (a scan) ends a kept "connected"
    std::optional<KeptConnection> kept_;
    bool lastExchangeOk_ = false;
    qint64 lastGoodMs_ = 0;

    // An operation running in the background: a connect's probe or an exchange.
    std::unique_ptr<Operation> pending_;
    std::vector<std::function<void(bool)>> probeDone_;
    std::function<void(const ExchangeResult&)> exchangeDone_;
    std::unique_ptr<QSocketNotifier> probeNotifier_;
    QTimer probeTimer_;

    bool serveWindows_ = false;
    int lineHeld_ = 0;
    std::vector<std::function<void()>> later_;
    QTimer laterTimer_;
};

// A raw drive value as the parameter holds it: 32 bits when is32, else the low 16; signed
// values sign-extended, unsigned 32-bit values kept unsigned.
std::int64_t normaliseRaw(std::int64_t raw, bool is32, bool isSigned);
// The parameter's size from its definition (4 bytes: 32 bits) and its sign from its working low
// limit (below 0: signed; no number: unsigned).
bool parameterIs32(const ProgramContext& context, int index);
bool parameterIsSigned(const ProgramContext& context, int index);
// A raw value as parameter index reads it: normaliseRaw with the parameter's size and sign.
std::int64_t applyParameterSign(const ProgramContext& context, int index, std::uint32_t raw);
