#pragma once
// The program's drive link: the one serial port, the communication settings it uses, the
// connection's state (the kept answer of the last connect, the link icon, the drive commands),
// and the one door through which every window talks to the drive. Behind the door: the line's
// rules (LineExchanger, link/LineExchange.h) and the waiting rule (LinkDriver). Every entry
// point, opening and closing the port included, passes the driver's gate: while a wait serves
// the windows, what the event loop asks is put off or refused. Needs no window: the main window
// shows the link through LinkView.
#include "link/ExchangeResult.h"
#include "link/LineExchange.h"
#include "link/LinkDriver.h"
#include "link/LinkView.h"
#include "link/MonitorRunLock.h"
#include "platform/BoxKinds.h"
#include "platform/SerialPort.h"
#include "protocol/FrameCodec.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class Asker;
class Clock;
enum class MsgId : int;
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
// Consecutive exchanges without a single byte in their whole wait after which a transfer makes
// sure whether the drive has gone (driveHasGone, link/TransferEngine.h); a drive gone gets the
// Abort/Retry/Ignore box whatever the options say.
inline constexpr int kSilentDriveExchanges = 3;
// How long a drive that answered counts as connected for a check that may use a kept answer.
inline constexpr int kKeptConnectionMs = 2000;
// How long a connect that found no drive is taken as the answer before a window asks again (a
// drive that answers again is used; switching windows does not probe each time).
inline constexpr int kKeptNoDriveMs = 5000;
// While the drive commands are greyed, the link asks the drive again in the background this
// often (no box, never holding a window) and enables them once it answers.
inline constexpr int kHealProbeMs = 2000;

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

class CommLink : private LineObserver {
public:
    // The link of the program the context describes (its drive type, store and settings
    // file). It owns neither the context, the port, the clock nor the asker. The link and
    // what works through it (transfers, checks, detection, the monitor, the keypad) ask the
    // user through `asker`.
    CommLink(ProgramContext& context, SerialPort& port, Clock& clock, Asker& asker);
    ~CommLink() override;
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;

    void setView(LinkView* view);
    // The link's waits for the drive serve the windows (LinkDriver) instead of holding the thread.
    void setServeWindowsWhileWaiting(bool on) { driver_.setServeWindows(on); }
    // Runs `work` now, or once the wait that holds the line is over (windows ask this rather
    // than deciding for themselves when a command or an activation may run).
    void whenLineFree(std::function<void()> work) { driver_.whenFree(std::move(work)); }
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
    // The "cannot open" message shows once until the main window allows it again (before a
    // connect the user starts) or the port fails under an exchange.
    void allowPortMessage() { portMessageShown_ = false; }
    bool PortOpen() const { return port_.isOpen(); }
    // The device failed under an exchange (a failed write or drain, a hang-up, a read error:
    // unplugged, or the drive's end of the line gone). The link closes it once the operation
    // is over and greys the drive commands; only opening the port again (the next connect) can
    // bring the drive back.
    bool portFailed() const { return portFailed_; }
    // The drive commands as the link last set them (true before any connect).
    bool driveCommandsOn() const { return driveCommandsOn_; }
    // Greyed drive commands are asked about again in the background every `everyMs` (the
    // program turns it on; tests that count the line's requests leave it off).
    void setHealInBackground(bool on, int everyMs = kHealProbeMs);
    // Says "Cannot connect" when the drive commands were greyed by a connect nobody has told the
    // user of (a blocking connect's caller tells its own; the link's box counts too). Once per
    // loss; the line is held while the box is up.
    void tellConnectionLost();
    // A caller that connected in the background tells its failure in a box of its own, unless
    // another who awaited the same connect told it already; the box holds the line as the
    // link's own do.
    void tellCannotConnect();
    // The failure of the connect just answered is shown by its caller in a way of its own (a
    // blocking connect's box, the monitor's disabled Start): nobody says "Cannot connect" for it.
    void failureShownByCaller() { lossUntold_ = false; }

    // "COMn" (or a path) -> device path. Default: the settings file's section "Ports", else
    // the n-th real serial device. Tests replace it; a null resolver takes the name as the path.
    void setPortPathResolver(std::function<QString(const QString&)> resolver) {
        portPathResolver_ = std::move(resolver);
    }
    QString portPath(const QString& name) const { return portPathResolver_ ? portPathResolver_(name) : name; }

    // ---- The main link ----
    // Opens portsFound()[settings().portIndex] with the settings: 0 when open and configured, 1
    // on any failure (message NoUsablePort of the language file as the rules say, icon 0) and
    // while the line is held (nothing touched). The line is held while the message is up: a
    // connect asked meanwhile waits for it, and finds the failure told.
    int OpenCommPort() { return openCommPort(true); }
    // Reopens the port and probes "0000"; enables or disables the drive commands. False at
    // once, touching nothing, while a monitor run is in progress; the last connect's answer
    // while the line is held. The probe awaits a late reply (a second past its time-out) and
    // is asked again after a reply lost or garbled; a drive that has gone costs two time-outs
    // and that second. A connect on its way in the background is waited for and its answer
    // taken instead; an exchange on its way is waited for before the port is opened again.
    // A failed connect is its caller's to tell ("Cannot connect").
    bool ConnectDrive();
    // The same connect without waiting for the drive: the port is opened (with its message
    // as above) and the probe written at once; `done` is called with the answer from the event
    // loop (a second call while the probe runs only adds its `done`). Put off while the line is
    // held, and after an exchange on its way in the background. A port that offers nothing to
    // watch is waited for at once.
    void ConnectDriveInBackground(std::function<void(bool connected)> done = {}) {
        connectInBackground(std::move(done), true);
    }
    // Something is on its way in the background: a connect or an exchange.
    bool backgroundPending() const { return driver_.background() != nullptr; }
    // An exchangeInBackground on its way (a connect is not one).
    bool backgroundExchangePending() const;
    // One exchange as exchange() makes it, without waiting for the drive: written at once, its
    // reply taken from the event loop, and `done` called from the event loop with the result.
    // Another use of the port waits for it and its `done` still follows. Put off while the line
    // is held or another operation is on its way in the background (it follows that one's end,
    // in the order asked; nothing holds the windows meanwhile). Waited for at once on a port
    // that offers nothing to watch (done is then called before this returns).
    void exchangeInBackground(const FrameRequest& request, const ExchangeOptions& options,
                              std::function<void(const ExchangeResult&)> done);
    // Takes what has arrived for the operation in the background (the event loop calls it;
    // tests with a fake clock call it themselves).
    void continueBackground() { driver_.continueBackground(); }
    // The answer of the last connect while it still holds: "connected" while the link's last
    // exchange was good and came within kKeptConnectionMs, "no drive" for kKeptNoDriveMs unless
    // the settings, the port list or the time-out change or a connect is made again. Nothing
    // when neither holds.
    std::optional<bool> keptConnection() const;
    // The last connect found the drive (its commands are enabled).
    bool lastConnectFound() const { return kept_ && kept_->connected; }
    // The kept answer applied as ConnectDrive applies its own (drive commands, lastExchangeFailed),
    // without touching the port; a connect as above when there is none.
    bool ConnectDriveKept();
    // Consecutive exchanges whose whole wait brought not a single byte; reset by any byte.
    int silentExchanges() const { return line_.silentExchanges(); }
    void resetSilentExchanges() { line_.resetSilentExchanges(); }
    // One exchange for parameter index. kind "R", "W" or "P".
    // Refuses (Refused, nothing sent) an index outside 0..drive.lastIndex() or another kind.
    // The reply's value is unsigned (callers apply the sign), 0 on failure. Does not touch
    // lastExchangeFailed.
    ExchangeResult transact(int index, const QString& valueText, const QString& kind);
    // The same, its outcome noted (lastExchangeFailed) for the windows that show the link's state
    // after a request (the keypad's display, the set-up dialog, the connect).
    ExchangeResult transactNoted(int index, const QString& valueText, const QString& kind);
    // A read noted as transactNoted notes it, asked again after a lost or garbled reply as the
    // connect's probe is (ExchangeOptions::askAgain).
    ExchangeResult readNotedRepeating(int index);
    // transact without waiting for the drive: sent as exchangeInBackground sends, the result
    // handed to `done` from the event loop (a refused request at once).
    void transactInBackground(int index, const QString& valueText, const QString& kind,
                              std::function<void(const ExchangeResult&)> done);
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

    // ---- Primitives for the other exchanges (scan, start-up detection, keypad) ----
    // Closes an open port and opens `name` with the given list positions; no messages, no
    // icon. Positions outside their tables give ConfigFailed; a held line Busy (nothing touched).
    SerialError openPort(const QString& name, int baudIndex, int parityIndex, int stopIndex = 0,
                         int sizeIndex = 1);
    // Closes the port once what is on its way has ended (put off while the line is held).
    void closePort();
    // Closes an open port, then returns those of `names` that could be opened exclusively
    // (each is closed at once). While the line is held: the ports found before, nothing touched.
    QStringList findPorts(const QStringList& names);

    // The options transact uses, from the current settings.
    ExchangeOptions mainOptions() const;
    // A request for comNo with the current station choice.
    FrameRequest request(const QString& comNo, char kind, std::int64_t value = 0, bool wide = false) const;
    // The one exchange, by the line's rules (link/LineExchange.h): the request goes out when the
    // line is ready for it, its reply is awaited (late too, on a line that answers), judged, and
    // its value is its own or the exchange fails. Refused (LineBusy, nothing sent) while the line
    // is held by a wait under way. Does not touch lastExchangeFailed.
    ExchangeResult exchange(const FrameRequest& request, const ExchangeOptions& options);

private:
    // The icon asked for, as the drive commands allow it: greyed commands come with the failed
    // icon, whatever the last exchange did.
    void showIcon(LinkIcon icon);
    void setAllDriveCommands(bool connected);
    int openCommPort(bool tell);
    void connectInBackground(std::function<void(bool connected)> done, bool withBoxes);
    // A port that failed under the operation just over is closed, and the connection lost.
    void closeIfFailed();
    void loseConnection();
    void healProbe();
    // Shows a box of the link's own about the line, holding the line while it is up.
    void tellHolding(MsgId id, BoxIcon icon);
    // The request of parameter index; false (nothing built) for an
    // index outside the table or another kind.
    bool requestFor(int index, const QString& valueText, const QString& kind, FrameRequest& out) const;
    // What a request requestFor refuses ends with (the icon shows the failure).
    ExchangeResult refuse();
    FrameRequest probeRequest() const;
    std::unique_ptr<LineOperation> probeOperation() const;
    // The connect's answer: flag, drive commands, kept answer.
    // keep: a "no drive" answer is kept for the windows' checks (kKeptNoDriveMs).
    void takeConnectAnswer(bool connected, bool keep = true);
    void noteConnection(bool connected);
    // Opens the settings' port for a connect; false (commands disabled, "no drive" kept) when it
    // does not open.
    bool openForConnect(bool tell = true);
    void closeNow();
    // Tells the caller of a background operation that it has ended: at once when it ran inside
    // the call (a port that offers nothing to watch), else from the event loop once the line is
    // free, never inside another use of the port.
    void tell(bool atOnce, std::function<void()> work);

    // LineObserver
    void requestSent(const ExchangeOptions& options, bool written) override;
    void exchangeEnded(const ExchangeOptions& options, const ExchangeResult& result, bool wentOut) override;

    ProgramContext& context_;
    SerialPort& port_;
    Clock& clock_;
    Asker& asker_;
    LineExchanger line_;
    LinkDriver driver_;
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
    bool portFailed_ = false;
    bool driveCommandsOn_ = true;
    bool lossUntold_ = false;   // the commands were greyed by a connect nobody has told of
    bool portBoxShown_ = false; // the open of the connect under way showed its box
    int failedConnects_ = 0;    // connects that found no drive and ports that failed, counted
    int toldFailure_ = 0;       // the last of them a box told
    bool healInBackground_ = false;
    QTimer healTimer_;

    // The link icon: shown only on a change; the idle timer set once per quiet period.
    QTimer idleTimer_;
    std::optional<LinkIcon> shownIcon_;
    qint64 lastExchangeMs_ = 0;

    // The answer of the last connect.
    struct KeptConnection {
        bool connected = false;
        LinkSettings settings;
        QStringList ports;
        int replyTimeout = 0;
        int openGeneration = 0;
        qint64 atMs = 0;
    };
    // Counts the opens and closes: another open (a scan) ends a kept "connected".
    int openGeneration_ = 0;
    int healGeneration_ = -1; // the port as the connect that greyed the commands left it
    std::optional<KeptConnection> kept_;
    bool lastExchangeOk_ = false;
    qint64 lastGoodMs_ = 0;
    // The connect in the background: who waits for its answer.
    std::vector<std::function<void(bool)>> connectDone_;
    bool connecting_ = false;
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
