#include "link/CommLink.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/Clock.h"
#include "platform/WaitCursor.h"

#include <algorithm>

namespace {

// Milliseconds the link icon shows "busy" after the last exchange before it returns to idle.
constexpr int kIdleDelayMs = 300;
// The main link's probe of the drive.
const QString kProbeNumber = QStringLiteral("0000");

bool validKind(const QString& kind) {
    return !kind.isEmpty() && (kind[0] == u'R' || kind[0] == u'W' || kind[0] == u'P');
}

// The device itself failed: what it takes or gives no longer reaches the drive.
bool portGone(ExchangeFailure failure) {
    return failure == ExchangeFailure::WriteFailed || failure == ExchangeFailure::DrainTimeout ||
           failure == ExchangeFailure::PortError;
}

ExchangeResult failedWith(ExchangeFailure failure) {
    ExchangeResult r;
    r.error = true;
    r.failure = failure;
    return r;
}

} // namespace

int frameGapForBaudIndex(int baudIndex) {
    if (baudIndex < 0 || baudIndex >= int(std::size(kFrameGapMs)))
        return kFrameGapMs[0];
    return kFrameGapMs[baudIndex];
}

CommLink::CommLink(ProgramContext& context, SerialPort& port, Clock& clock, Asker& asker)
    : context_(context), port_(port), clock_(clock), asker_(asker), line_(port, clock),
      driver_(line_, port, clock) {
    line_.setObserver(this);
    portPathResolver_ = [this](const QString& name) { return comPortPath(name, context_.paths.settingsIni); };
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(kIdleDelayMs);
    idleTimer_.callOnTimeout([this] { idleTimeout(); });
    healTimer_.callOnTimeout([this] { healProbe(); });
}

CommLink::~CommLink() {
    driver_.abandonBackground();
}

void CommLink::setView(LinkView* view) {
    view_ = view;
    shownIcon_.reset();
}

// ---- Connection state ---------------------------------------------------------------------------

void CommLink::showIcon(LinkIcon icon) {
    if (icon == LinkIcon::Idle && !driveCommandsOn_)
        icon = LinkIcon::Failed;
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

void CommLink::requestSent(const ExchangeOptions& options, bool written) {
    if (options.icon == IconMode::Timed) {
        lastExchangeMs_ = clock_.now();
        if (!idleTimer_.isActive())
            idleTimer_.start(kIdleDelayMs);
    }
    if (options.icon != IconMode::None)
        showIcon(LinkIcon::Busy);
    if (written && whileAnswering_)
        whileAnswering_();
}

void CommLink::exchangeEnded(const ExchangeOptions& options, const ExchangeResult& result, bool wentOut) {
    if (portGone(result.failure))
        portFailed_ = true;
    if (wentOut) {
        lastExchangeOk_ = !result.error;
        if (!result.error)
            lastGoodMs_ = clock_.now();
    }
    // The drive answered the program's own request: greyed commands are wrong now (a connect
    // lost its replies, or they came late), and the connect's answer is taken from this one.
    if (!result.error && options.icon != IconMode::None && !driveCommandsOn_ && !connecting_)
        takeConnectAnswer(true);
    if (options.icon != IconMode::None && result.error) {
        idleTimer_.stop();
        showIcon(LinkIcon::Failed);
    }
}

void CommLink::setAllDriveCommands(bool connected) {
    driveCommandsOn_ = connected;
    if (connected) {
        healTimer_.stop();
    } else {
        healGeneration_ = openGeneration_;
        idleTimer_.stop();
        showIcon(LinkIcon::Failed);
        if (healInBackground_ && !healTimer_.isActive())
            healTimer_.start();
    }
    if (!view_)
        return;
    for (DriveCommand c : kAllDriveCommands) {
        const bool keptForSpecialSetup = c == DriveCommand::KeyPad || c == DriveCommand::InverterInfo;
        view_->setDriveCommandEnabled(c, connected && (!specialSetup_ || keptForSpecialSetup));
    }
}

void CommLink::setHealInBackground(bool on, int everyMs) {
    healInBackground_ = on;
    healTimer_.setInterval(everyMs);
    if (!on)
        healTimer_.stop();
    else if (!driveCommandsOn_)
        healTimer_.start();
}

void CommLink::healProbe() {
    // Asked again only while nothing else uses the line: a window's own work comes first, and
    // the next tick tries again. A port opened or closed by another since (a scan at other
    // settings, the start-up search lending it to its workers) waits for the next connect.
    if (driveCommandsOn_ || monitorRunning() || driver_.held() || driver_.background() ||
        openGeneration_ != healGeneration_)
        return;
    connectInBackground({}, false);
}

void CommLink::tellHolding(MsgId id, BoxIcon icon) {
    const LinkDriver::Hold hold(driver_);
    ShowMsg(asker_, context_, id, icon, BoxButtons::Ok);
}

void CommLink::tellConnectionLost() {
    if (!lossUntold_)
        return;
    tellCannotConnect();
}

void CommLink::tellCannotConnect() {
    lossUntold_ = false;
    // Two who awaited the same connect (an activation's check and the keypad) tell its failure
    // once.
    if (toldFailure_ == failedConnects_)
        return;
    toldFailure_ = failedConnects_;
    tellHolding(MsgId::CannotConnect, BoxIcon::Warning);
}

void CommLink::closeIfFailed() {
    if (!portFailed_ || !port_.isOpen())
        return;
    closeNow();
    loseConnection();
}

void CommLink::loseConnection() {
    // Told once: by the next connect's box, or by whoever greyed commands tell.
    portMessageShown_ = false;
    ++failedConnects_;
    if (driveCommandsOn_)
        lossUntold_ = true;
    setAllDriveCommands(false);
    // No kept answer: the next activation connects at once.
    kept_.reset();
}

void CommLink::noteConnection(bool connected) {
    kept_ = KeptConnection{connected, settings_, portsFound_, replyTimeoutMs_, openGeneration_, clock_.now()};
}

void CommLink::takeConnectAnswer(bool connected, bool keep) {
    if (connected)
        lossUntold_ = false;
    else if (driveCommandsOn_)
        lossUntold_ = true;
    if (!connected)
        ++failedConnects_;
    lastExchangeFailed_ = !connected;
    setAllDriveCommands(connected);
    if (connected || keep)
        noteConnection(connected);
}

std::optional<bool> CommLink::keptConnection() const {
    if (!kept_ || driver_.background() || kept_->settings != settings_ || kept_->ports != portsFound_ ||
        kept_->replyTimeout != replyTimeoutMs_)
        return std::nullopt;
    if (!kept_->connected)
        return clock_.now() - kept_->atMs <= kKeptNoDriveMs ? std::optional<bool>(false) : std::nullopt;
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

int CommLink::FindParaRow(const QString& comNo) const {
    return context_.store ? context_.drive.indexOfComNo(comNo) : -1;
}

// ---- The port -------------------------------------------------------------------------------------

SerialError CommLink::openPort(const QString& name, int baudIndex, int parityIndex, int stopIndex,
                               int sizeIndex) {
    if (driver_.held())
        return SerialError::Busy; // the exchange under way owns the port
    closeNow();
    auto inRange = [](int i, std::size_t n) { return i >= 0 && std::size_t(i) < n; };
    if (!inRange(baudIndex, std::size(kCommSpeed)) || !inRange(parityIndex, std::size(kCommParity)) ||
        !inRange(stopIndex, std::size(kCommStop)) || !inRange(sizeIndex, std::size(kCommSize)))
        return SerialError::ConfigFailed;
    const QString path = portPath(name);
    if (path.isEmpty())
        return SerialError::NotFound;
    const SerialError e = port_.open(path, kCommSpeed[baudIndex], kCommSize[sizeIndex],
                                     kCommParity[parityIndex], kCommStop[stopIndex]);
    portFailed_ = false;
    const QString line = QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(path)
                             .arg(baudIndex)
                             .arg(parityIndex)
                             .arg(stopIndex)
                             .arg(sizeIndex);
    line_.lineOpened(line, e == SerialError::None ? kCommSpeed[baudIndex] : 0);
    ++openGeneration_;
    return e;
}

void CommLink::closeNow() {
    // What is on its way ends first: the port is never closed under an exchange.
    driver_.finishBackground();
    if (port_.isOpen())
        port_.close();
    line_.lineClosed();
    driver_.portClosed();
    ++openGeneration_;
}

void CommLink::closePort() {
    driver_.whenFree([this] { closeNow(); });
}

QStringList CommLink::findPorts(const QStringList& names) {
    if (driver_.held())
        return portsFound_;
    closeNow();
    QStringList found;
    for (const QString& name : names) {
        const QString path = portPath(name);
        if (!path.isEmpty() && port_.probe(path) == SerialError::None)
            found << name;
    }
    return found;
}

int CommLink::openCommPort(bool tell) {
    if (driver_.held())
        return 1;
    closeNow();
    const int i = settings_.portIndex;
    const QString name = i >= 0 && i < portsFound_.size() ? portsFound_.at(i) : QString();
    if (name.isEmpty()) {
        showIcon(LinkIcon::Failed);
        if (tell && noPortNameMessageDue_) {
            // Marked before the box: a connect that comes while it is up shows no second one.
            noPortNameMessageDue_ = false;
            lossUntold_ = false;
            portBoxShown_ = true;
            tellHolding(MsgId::NoUsablePort, BoxIcon::None);
        }
        return 1;
    }
    noPortNameMessageDue_ = true;
    const SerialError e =
        openPort(name, settings_.baudIndex, settings_.parityIndex, settings_.stopIndex, settings_.sizeIndex);
    if (e != SerialError::None) {
        // Once until the main window clears the flag (or the port fails again): a connect runs
        // on every activation of the table window, and a box each time would never let the
        // user get away.
        showIcon(LinkIcon::Failed);
        if (tell && !portMessageShown_) {
            portMessageShown_ = true;
            lossUntold_ = false;
            portBoxShown_ = true;
            tellHolding(MsgId::NoUsablePort, BoxIcon::None);
        }
        return 1;
    }
    return 0;
}

// ---- Requests -----------------------------------------------------------------------------------

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
    return failedWith(ExchangeFailure::Refused);
}

ExchangeResult CommLink::exchange(const FrameRequest& req, const ExchangeOptions& opt) {
    if (driver_.held())
        return failedWith(ExchangeFailure::LineBusy); // inside another exchange's wait
    driver_.finishBackground();
    LineOperation op;
    op.request = req;
    op.options = opt;
    driver_.run(op);
    closeIfFailed();
    return std::move(op.answer);
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
    o.askAgain = true;
    ExchangeResult res = exchange(r, o);
    lastExchangeFailed_ = res.error;
    return res;
}

void CommLink::exchangeInBackground(const FrameRequest& request, const ExchangeOptions& options,
                                    std::function<void(const ExchangeResult&)> done) {
    if (driver_.held() || driver_.background()) {
        driver_.afterBackground([this, request, options, done = std::move(done)]() mutable {
            exchangeInBackground(request, options, std::move(done));
        });
        return;
    }
    auto op = std::make_unique<LineOperation>();
    op->request = request;
    op->options = options;
    const bool atOnce = port_.pollHandle() < 0;
    driver_.start(std::move(op), [this, atOnce, done = std::move(done)](LineOperation& ended) {
        closeIfFailed();
        if (done)
            tell(atOnce, [done, result = std::move(ended.answer)] { done(result); });
    });
}

void CommLink::tell(bool atOnce, std::function<void()> work) {
    if (atOnce)
        work();
    else
        driver_.post(std::move(work));
}

bool CommLink::backgroundExchangePending() const {
    return driver_.background() && !connecting_;
}

void CommLink::transactInBackground(int index, const QString& valueText, const QString& kind,
                                    std::function<void(const ExchangeResult&)> done) {
    FrameRequest r;
    if (!requestFor(index, valueText, kind, r)) {
        const ExchangeResult refused = refuse();
        if (done)
            done(refused);
        return;
    }
    exchangeInBackground(r, mainOptions(), std::move(done));
}

void CommLink::transactNotedInBackground(int index, const QString& valueText, const QString& kind,
                                         std::function<void(const ExchangeResult&)> done) {
    transactInBackground(index, valueText, kind, [this, done = std::move(done)](const ExchangeResult& res) {
        lastExchangeFailed_ = res.error;
        if (done)
            done(res);
    });
}

// ---- The connect --------------------------------------------------------------------------------

FrameRequest CommLink::probeRequest() const {
    FrameRequest r;
    const int index = FindParaRow(kProbeNumber);
    // No drive type loaded (or one without "0000"): the drive answers the probe anyway.
    if (!(index >= 0 && index <= context_.drive.lastIndex() &&
          requestFor(index, QString(), QStringLiteral("R"), r)))
        r = request(kProbeNumber, 'R');
    return r;
}

std::unique_ptr<LineOperation> CommLink::probeOperation() const {
    auto op = std::make_unique<LineOperation>();
    op->request = probeRequest();
    op->options = mainOptions();
    op->options.askAgain = true;
    return op;
}

bool CommLink::openForConnect(bool tell) {
    portBoxShown_ = false;
    if (openCommPort(tell) == 0)
        return true;
    ++failedConnects_;
    if (portBoxShown_)
        toldFailure_ = failedConnects_; // the port's box told it
    else if (driveCommandsOn_)
        lossUntold_ = true;
    setAllDriveCommands(false);
    // The background probe's "no drive" is not kept: an activation still asks at once.
    if (tell)
        noteConnection(false);
    return false;
}

bool CommLink::ConnectDrive() {
    if (monitorRunning())
        return false;
    if (driver_.held())
        return lastConnectFound(); // inside another exchange's wait: the port stays as it is
    // A connect that waits for the drive shows that it does.
    WaitCursor busy;
    if (connecting_) {
        // A connect of the same settings is on its way: its answer is as fresh as a new one.
        driver_.finishBackground();
        if (lastExchangeFailed_)
            failureShownByCaller();
        return !lastExchangeFailed_;
    }
    if (!openForConnect()) {
        failureShownByCaller();
        return false;
    }
    const std::unique_ptr<LineOperation> op = probeOperation();
    driver_.run(*op);
    closeIfFailed();
    takeConnectAnswer(!op->answer.error);
    if (lastExchangeFailed_)
        failureShownByCaller();
    return !lastExchangeFailed_;
}

void CommLink::connectInBackground(std::function<void(bool)> done, bool withBoxes) {
    if (monitorRunning()) {
        // As ConnectDrive answers: no connect while a run holds the link.
        if (done)
            tell(port_.pollHandle() < 0, [done = std::move(done)] { done(false); });
        return;
    }
    if (connecting_) {
        if (done)
            connectDone_.push_back(std::move(done));
        return;
    }
    if (driver_.held() || driver_.background()) {
        // The connect follows what holds the line or is on its way rather than wait for it here.
        driver_.afterBackground([this, done = std::move(done), withBoxes]() mutable {
            connectInBackground(std::move(done), withBoxes);
        });
        return;
    }
    if (!openForConnect(withBoxes)) {
        if (done)
            done(false);
        return;
    }
    if (done)
        connectDone_.push_back(std::move(done));
    connecting_ = true;
    const bool atOnce = port_.pollHandle() < 0;
    driver_.start(probeOperation(), [this, atOnce, withBoxes](LineOperation& ended) {
        connecting_ = false;
        closeIfFailed();
        takeConnectAnswer(!ended.answer.error, withBoxes);
        const bool connected = !lastExchangeFailed_;
        for (auto& waiter : std::exchange(connectDone_, {}))
            tell(atOnce, [waiter = std::move(waiter), connected] { waiter(connected); });
    });
}

// ---- Values ---------------------------------------------------------------------------------------

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
