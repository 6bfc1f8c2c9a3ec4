#include "link/ConfigScan.h"

#include <QScopeGuard>

#include "link/CommLink.h"

namespace {

const QString kProbeNumber = QStringLiteral("0000");

// Baud positions 9,600, 19,200, 38,400; parity positions even, odd, none.
constexpr int kScanBauds[3] = {3, 4, 5};
constexpr int kScanParities[3] = {1, 2, 0};

bool validKind(const QString& kind) {
    return !kind.isEmpty() && (kind[0] == u'R' || kind[0] == u'W' || kind[0] == u'P');
}

} // namespace

ScanCombination ConfigScan::combination(int i) {
    return {kScanBauds[(i / 2) % 3], kScanParities[(i / 6) % 3], i % 2};
}

int ConfigScan::OpenCommPortWith(int portIndex, int baudIndex, int parityIndex) {
    if (portIndex < 0 || portIndex >= link_.portsFound().size()) {
        link_.closePort();
        return 1;
    }
    // Always 8 data bits and 1 stop bit: the drive's factory frame.
    return link_.openPort(link_.portsFound().at(portIndex), baudIndex, parityIndex, 0, 1) == SerialError::None
               ? 0
               : 1;
}

bool ConfigScan::prepare(const QString& comNo, const QString& valueText, bool modbus, const QString& kind,
                         FrameRequest& request, ExchangeOptions& options) {
    if (!validKind(kind))
        return false;
    const char k = char(kind[0].unicode());
    request = link_.request(comNo, k, k == 'R' ? 0 : ParseDecimalPrefix(valueText), false);
    request.allowBlockRead = false;
    if (!modbus && retry_) {
        request.omitFirstByte = true;
        retry_ = false;
    }
    options = ExchangeOptions{};
    options.protocol = modbus ? Protocol::Modbus : Protocol::Inverter;
    options.replyTimeoutMs = link_.replyTimeoutMs();
    options.frameGapMs = link_.frameGapMs();
    options.icon = IconMode::None;
    options.drainTimeoutMs = kDrainTimeoutMs;
    // The scan's probes: any answer means a drive at those settings.
    options.searching = scanning_;
    return true;
}

ExchangeResult ConfigScan::ScanTransact(const QString& comNo, const QString& valueText, bool modbus,
                                        const QString& kind) {
    FrameRequest r;
    ExchangeOptions o;
    ExchangeResult res;
    if (prepare(comNo, valueText, modbus, kind, r, o)) {
        res = link_.exchange(r, o);
    } else {
        res.error = true;
        res.failure = ExchangeFailure::Refused;
    }
    link_.noteExchangeFailed(res.error);
    return res;
}

void ConfigScan::ScanReadInBackground(const QString& comNo, bool modbus,
                                      std::function<void(const ExchangeResult&)> done) {
    FrameRequest r;
    ExchangeOptions o;
    prepare(comNo, QString(), modbus, QStringLiteral("R"), r, o);
    link_.exchangeInBackground(r, o, std::move(done));
}

ScanResult ConfigScan::ScanDriveConfig() {
    ScanResult result;
    const int count = int(link_.portsFound().size());
    const int selected = link_.settings().portIndex;
    QList<int> order;
    if (selected >= 0 && selected < count)
        order << selected;
    for (int p = 0; p < count; ++p)
        if (p != selected)
            order << p;

    scanning_ = true;
    const auto done = qScopeGuard([this] { scanning_ = false; });
    for (int port : order) {
        for (int i = 0; i < kCombinationCount; ++i) {
            const ScanCombination c = combination(i);
            if (OpenCommPortWith(port, c.baudIndex, c.parityIndex) != 0)
                continue;
            const bool modbus = c.protocol == 1;
            if (!ScanTransact(kProbeNumber, QString(), modbus, QStringLiteral("R")).error) {
                result.portIndex = port;
                result.baudIndex = c.baudIndex;
                result.parityIndex = c.parityIndex;
                result.protocol = c.protocol;
                return result;
            }
            // The repeat goes out, but only an answer to the whole probe identifies the
            // settings; its own reply is never taken.
            retry_ = true;
            ScanTransact(kProbeNumber, QString(), modbus, QStringLiteral("R"));
            retry_ = false;
        }
    }
    return result;
}
