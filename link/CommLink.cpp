#include "link/CommLink.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "platform/Clock.h"

#include <algorithm>
#include <array>

namespace {

// Milliseconds the link icon shows "busy" after a good exchange before it returns to idle.
constexpr int kIdleDelayMs = 300;
// Bound of the output drain beyond the request's own wire time.
constexpr int kDrainFactor = 4;
constexpr int kDrainMarginMs = 100;
// The main link's probe of the drive.
const QString kProbeNumber = QStringLiteral("0000");

bool validKind(const QString& kind) {
    return !kind.isEmpty() && (kind[0] == u'R' || kind[0] == u'W' || kind[0] == u'P');
}

} // namespace

int frameGapForBaudIndex(int baudIndex) {
    if (baudIndex < 0 || baudIndex >= int(std::size(kFrameGapMs)))
        return kFrameGapMs[0];
    return kFrameGapMs[baudIndex];
}

CommLink::CommLink(ProgramContext& context, SerialPort& port, Clock& clock)
    : context_(context), port_(port), clock_(clock) {
    portPathResolver = [this](const QString& name) { return comPortPath(name, context_.SettingsIniPath); };
    timer1_.setSingleShot(true);
    timer1_.setInterval(kIdleDelayMs);
    timer1_.callOnTimeout([this] { Timer1Timer(); });
}

CommLink::~CommLink() = default;

void CommLink::showIcon(LinkIcon icon) {
    if (view_)
        view_->setLinkIcon(icon);
}

void CommLink::Timer1Timer() {
    timer1_.stop();
    showIcon(LinkIcon::Idle);
}

int CommLink::FindParaRow(const QString& comNo) const {
    const ParameterStore* p = context_.Parameters;
    return p ? p->indexOfComNo(comNo) : -1;
}

SerialError CommLink::openPort(const QString& name, int baudIndex, int parityIndex, int stopIndex,
                               int sizeIndex) {
    closePort();
    auto inRange = [](int i, std::size_t n) { return i >= 0 && std::size_t(i) < n; };
    if (!inRange(baudIndex, std::size(kCommSpeed)) || !inRange(parityIndex, std::size(kCommParity)) ||
        !inRange(stopIndex, std::size(kCommStop)) || !inRange(sizeIndex, std::size(kCommSize)))
        return SerialError::ConfigFailed;
    const QString path = portPathResolver ? portPathResolver(name) : name;
    if (path.isEmpty())
        return SerialError::NotFound;
    const SerialError e = port_.open(path, kCommSpeed[baudIndex], kCommSize[sizeIndex],
                                     kCommParity[parityIndex], kCommStop[stopIndex]);
    openBaud_ = e == SerialError::None ? kCommSpeed[baudIndex] : 0;
    return e;
}

void CommLink::closePort() {
    if (port_.isOpen())
        port_.close();
    openBaud_ = 0;
}

QStringList CommLink::findPorts(const QStringList& names) {
    closePort();
    QStringList found;
    for (const QString& name : names) {
        const QString path = portPathResolver ? portPathResolver(name) : name;
        if (!path.isEmpty() && port_.probe(path) == SerialError::None)
            found << name;
    }
    return found;
}

int CommLink::OpenCommPort() {
    closePort();
    const int i = Settings.portIndex;
    const QString name = i >= 0 && i < PortsFound.size() ? PortsFound.at(i) : QString();
    if (name.isEmpty()) {
        if (PortChk) {
            ShowMsg(context_, MsgId::NoUsablePort, BoxIcon::None, BoxButtons::Ok);
            PortChk = false;
        }
        showIcon(LinkIcon::Failed);
        return 1;
    }
    PortChk = true;
    const SerialError e =
        openPort(name, Settings.baudIndex, Settings.parityIndex, Settings.stopIndex, Settings.sizeIndex);
    if (e != SerialError::None) {
        // Once until the main window clears the flag: a connect runs on every activation of
        // the table window, and a box each time would never let the user get away.
        if (!PortMsgShown) {
            ShowMsg(context_, MsgId::NoUsablePort, BoxIcon::None, BoxButtons::Ok);
            PortMsgShown = true;
        }
        showIcon(LinkIcon::Failed);
        return 1;
    }
    return 0;
}

void CommLink::setAllDriveCommands(bool connected) {
    if (!view_)
        return;
    for (DriveCommand c : kAllDriveCommands) {
        const bool keptForSpecialSetup = c == DriveCommand::KeyPad || c == DriveCommand::InverterInfo;
        view_->setDriveCommandEnabled(c, connected && (!SpDrv1 || keptForSpecialSetup));
    }
}

bool CommLink::ConnectDrive() {
    if (context_.MonitorRunning)
        return false;
    if (OpenCommPort() != 0) {
        setAllDriveCommands(false);
        return false;
    }
    const int index = FindParaRow(kProbeNumber);
    if (index >= 0 && index <= context_.ParaCountAll) {
        CommTransact(index, QString(), CommError, QStringLiteral("R"));
    } else {
        // No drive type loaded (or one without "0000"): the drive answers the probe anyway.
        CommError = exchange(request(kProbeNumber, 'R'), mainOptions()).error;
    }
    setAllDriveCommands(!CommError);
    return !CommError;
}

ExchangeOptions CommLink::mainOptions() const {
    ExchangeOptions o;
    o.protocol = Settings.protocolKind();
    o.replyTimeoutMs = ReplyTimeout;
    o.frameGapMs = FrameGap;
    o.icon = IconMode::Timed;
    return o;
}

FrameRequest CommLink::request(const QString& comNo, char kind, std::int64_t value, bool wide) const {
    FrameRequest r;
    r.comNo = comNo;
    r.kind = kind;
    r.value = value;
    r.wide = wide;
    r.station = Settings.station();
    return r;
}

std::uint32_t CommLink::CommTransact(int index, const QString& valueText, bool& err, const QString& kind) {
    const ProgramContext& g = context_;
    if (index < 0 || index > g.ParaCountAll || !g.Parameters || !validKind(kind)) {
        // A wrong index would put another parameter's number on the wire.
        err = true;
        timer1_.stop();
        showIcon(LinkIcon::Failed);
        return 0;
    }
    const TextGrid& dat = g.Parameters->ParaDat;
    const int row = index + 1;
    const bool wide = dat.cell(PD_Byte, row).trimmed() == QLatin1String("4");
    const std::int64_t value = kind[0] == u'R' ? 0 : ParseDecimalPrefix(valueText);
    const FrameRequest r = request(dat.cell(PD_ComNo, row), char(kind[0].unicode()), value, wide);
    const ExchangeResult res = exchange(r, mainOptions());
    err = res.error;
    return res.value;
}

ExchangeResult CommLink::exchange(const FrameRequest& req, const ExchangeOptions& opt) {
    ExchangeResult res;
    if (opt.icon != IconMode::None) {
        showIcon(LinkIcon::Busy);
        if (opt.icon == IconMode::Timed)
            timer1_.start(); // restarts a running timer
    }

    res.request = BuildFrame(opt.protocol, req);
    BlockRead = IsBlockNumber(req.comNo);
    if (opt.protocol == Protocol::Modbus)
        ModbusAddress = req.station.modbusAddress();
    else
        DataSize = req.wide ? 4 : 2;

    auto finish = [&](ExchangeFailure f) {
        if (f != ExchangeFailure::None) {
            res.error = true;
            res.failure = f;
            res.value = 0;
        }
        if (opt.icon != IconMode::None) {
            if (res.error) {
                timer1_.stop();
                showIcon(LinkIcon::Failed);
            } else if (opt.icon == IconMode::Immediate) {
                showIcon(LinkIcon::Idle);
            }
        }
        return res;
    };

    // Without a port there is nothing to wait for.
    if (!port_.isOpen())
        return finish(ExchangeFailure::NoPort);

    port_.purgeOutput();
    port_.purgeInput();
    port_.setRts(true);
    auto failWithRtsDown = [&](ExchangeFailure f) {
        port_.setRts(false);
        return finish(f);
    };

    if (port_.write(res.request) != int(res.request.size()))
        return failWithRtsDown(ExchangeFailure::WriteFailed);
    const int drainLimit =
        opt.drainTimeoutMs > 0
            ? opt.drainTimeoutMs
            : kDrainFactor * WireTimeMs(int(res.request.size()), openBaud_ > 0 ? openBaud_ : kCommSpeed[0]) +
                  kDrainMarginMs;
    if (!port_.drain(drainLimit))
        return failWithRtsDown(ExchangeFailure::DrainTimeout);

    const int expected =
        std::clamp(opt.expectedLength > 0 ? opt.expectedLength : ExpectedReplyLength(opt.protocol, req), 1,
                   kFrameBufferSize);
    std::array<std::uint8_t, kFrameBufferSize> buf{};
    int have = 0;
    const qint64 start = clock_.now();
    for (;;) {
        const int n = port_.read(std::span(buf).subspan(std::size_t(have)));
        if (n < 0)
            return failWithRtsDown(ExchangeFailure::PortError);
        have += n;
        if (have >= expected)
            break;
        const qint64 elapsed = clock_.now() - start;
        if (elapsed > opt.replyTimeoutMs) {
            res.reply.assign(buf.begin(), buf.begin() + have);
            return failWithRtsDown(ExchangeFailure::ReplyTimeout);
        }
        // Sleep in poll until a byte arrives or the time-out has passed.
        if (port_.waitReadable(int(opt.replyTimeoutMs - elapsed + 1)) == WaitResult::Error)
            return failWithRtsDown(ExchangeFailure::PortError);
    }
    res.reply.assign(buf.begin(), buf.begin() + have);

    ExchangeFailure failure = ExchangeFailure::None;
    if ((!IsBlockRead(req) || opt.checkBlockReply) && !ReplyCheckOk(opt.protocol, buf, expected))
        failure = ExchangeFailure::BadCheck;
    if (opt.protocol == Protocol::Modbus) {
        // The silent interval after every complete reply, good or bad: strictly longer
        // than the gap.
        const qint64 t0 = clock_.now();
        for (qint64 waited = 0; waited <= opt.frameGapMs; waited = clock_.now() - t0)
            clock_.sleepMs(int(opt.frameGapMs + 1 - waited));
    }
    port_.setRts(false);
    if (failure != ExchangeFailure::None)
        return finish(failure);

    bool err = false;
    res.value = ParseReply(opt.protocol, std::span(buf).first(std::size_t(have)), req, err);
    return finish(err ? ExchangeFailure::Exception : ExchangeFailure::None);
}

std::int64_t applyParameterSign(const ProgramContext& g, int index, std::uint32_t raw) {
    if (!g.Parameters)
        return raw;
    const int row = index + 1;
    const bool wide = g.Parameters->ParaDat.cell(PD_Byte, row).trimmed() == QLatin1String("4");
    bool ok = false;
    const double low = g.Parameters->UPara.cell(UP_LValue, row).trimmed().toDouble(&ok);
    const bool isSigned = ok && low < 0;
    if (wide)
        return isSigned ? std::int64_t(std::int32_t(raw)) : std::int64_t(raw);
    const std::uint16_t v = std::uint16_t(raw & 0xFFFF);
    return isSigned ? std::int64_t(std::int16_t(v)) : std::int64_t(v);
}
