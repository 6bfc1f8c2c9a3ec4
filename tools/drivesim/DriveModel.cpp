#include "tools/drivesim/DriveModel.h"

#include "platform/CsvLine.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

#include <QHash>
#include <QStringList>
#include <algorithm>

namespace {

std::int64_t decimalPrefix(const QString& text) {
    return ParseDecimalPrefix(text);
}

QStringList splitDataLine(const QString& line) {
    QStringList fields;
    SplitDriveDataLine(line, fields);
    return fields;
}

struct Row {
    QString comNo, dIndex, def, byte, lIndex, low;
};

class DefaultResolver {
public:
    explicit DefaultResolver(const std::vector<Row>& rows) : rows_(rows) {
        for (int i = 0; i < int(rows.size()); ++i)
            if (!index_.contains(rows[i].comNo))
                index_.insert(rows[i].comNo, i);
    }
    // The default in raw units; a reference ("DIndex" 1) is followed, a broken or
    // circular one gives 0.
    std::int64_t defaultOf(const QString& comNo, int depth = 0) const {
        const auto it = index_.find(comNo);
        if (it == index_.end() || depth > 16)
            return 0;
        const Row& r = rows_[*it];
        if (decimalPrefix(r.dIndex) == 0)
            return decimalPrefix(r.def);
        return defaultOf(r.def.trimmed(), depth + 1);
    }
    bool lowIsNegative(const Row& r) const {
        const std::int64_t mode = decimalPrefix(r.lIndex);
        if (mode == 0)
            return decimalPrefix(r.low) < 0;
        if (mode == -1)
            return true;
        return defaultOf(r.low.trimmed()) < 0;
    }

private:
    const std::vector<Row>& rows_;
    QHash<QString, int> index_;
};

std::uint32_t maskFor(bool is32) {
    return is32 ? 0xFFFFFFFFu : 0xFFFFu;
}

// The keypad side of the drive: the handshake flag, the key code and the frequency command.
const std::uint16_t kKeyFlag = ComNoToRegister(u"FA10");
const std::uint16_t kKeyCode = ComNoToRegister(u"FA11");
const std::uint16_t kFreqCommand = ComNoToRegister(u"FA01");
// The drive's status words and its trip history, newest first.
const std::uint16_t kTripCode = ComNoToRegister(u"FC90");
const std::uint16_t kAlarmWord = ComNoToRegister(u"FC91");
const std::uint16_t kTripHistory[] = {ComNoToRegister(u"FE10"), ComNoToRegister(u"FE11"),
                                      ComNoToRegister(u"FE12"), ComNoToRegister(u"FE13")};
// The drive's own readings, each a share of the output frequency (0.01 Hz): a four-pole
// motor on a straight voltage-per-frequency line, at half its rated current at 60 Hz.
struct LiveReading {
    std::uint16_t address;
    std::int64_t numerator, denominator, ceiling; // ceiling 0: none
    bool command;                                 // follows the command even when stopped
};
const LiveReading kLiveReadings[] = {
    {ComNoToRegister(u"FD00"), 1, 1, 0, false},    // output frequency, 0.01 Hz
    {ComNoToRegister(u"FD01"), 1, 1, 0, true},     // frequency command, 0.01 Hz
    {ComNoToRegister(u"FD03"), 1, 12, 0, false},   // output current, 0.1 % of rated
    {ComNoToRegister(u"FD04"), 1, 6, 1000, false}, // output voltage, 0.1 % of rated
    {ComNoToRegister(u"FD11"), 30, 100, 0, false}, // motor speed, r/min
};
// Key bits of a key code, and the codes that end a held UP or DOWN.
constexpr std::uint32_t kRunBit = 0x01, kStopBit = 0x02, kUpBit = 0x04, kDownBit = 0x08;
constexpr std::uint32_t kUpRelease = 0x104, kDownRelease = 0x108;
// Segment codes of the digits; bit 7 is the decimal point.
constexpr std::uint8_t kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr std::uint8_t kPoint = 0x80;
constexpr std::uint8_t kRunLamp = 0x01, kMonitorAndPcLamps = 0x08 | 0x40;

} // namespace

std::optional<SimStatusEvent> parseSimStatusEvent(SimStatusEvent::Kind kind, const QString& text,
                                                  QString* error) {
    auto fail = [&]() {
        if (error)
            *error = QStringLiteral("a status event is <ms>[:<value>], not \"%1\"").arg(text);
        return std::optional<SimStatusEvent>();
    };
    const QStringList parts = text.split(u':');
    if (parts.size() > 2)
        return fail();
    SimStatusEvent e;
    e.kind = kind;
    e.value = kind == SimStatusEvent::Kind::Trip ? 1u : 0x0004u;
    bool ok = false;
    const int ms = parts[0].trimmed().toInt(&ok);
    if (!ok || ms < 0)
        return fail();
    e.after = std::chrono::milliseconds(ms);
    if (parts.size() == 2) {
        const uint v = parts[1].trimmed().toUInt(&ok, 0);
        if (!ok || v == 0 || v > 0xFFFF)
            return fail();
        e.value = v;
    }
    return e;
}

int cpuNumberOf(const QString& cpuVersion) {
    QString t = cpuVersion.trimmed();
    if (t.startsWith(u'V') || t.startsWith(u'v'))
        t.remove(0, 1);
    return int(decimalPrefix(t));
}

bool DriveModel::load(const QString& programFolder, const SimDriveIdentity& id, QString* error) {
    QString cpu = id.cpuVersion.trimmed();
    if (!cpu.isEmpty() && !cpu.startsWith(u'V'))
        cpu.prepend(u'V');
    const QString datFolder = Paths::join(programFolder, QStringLiteral("dat"));
    const QString typeFolder = Paths::join(datFolder, id.typeName + u'(' + cpu + u')');

    const QString invPath =
        Paths::join(typeFolder, id.typeName + u'(' + id.language + QStringLiteral(").inv"));
    QStringList lines;
    const QString resolvedInv = Paths::resolve(invPath);
    if (resolvedInv.isEmpty() || !TextFile::readLines(resolvedInv, lines)) {
        if (error)
            *error = QStringLiteral("cannot read the drive-type file %1").arg(invPath);
        return false;
    }
    std::vector<Row> rows;
    for (int k = 0; k < lines.size() && k < 2000; ++k) {
        if (lines[k].size() < 7)
            break;
        const QStringList f = splitDataLine(lines[k]);
        auto at = [&](int i) { return i < f.size() ? f[i] : QString(); };
        rows.push_back({at(0), at(1), at(2), at(6), at(10), at(11)});
    }

    // Capacity defaults replace the type's defaults before references are followed.
    const QString capPath =
        Paths::resolve(Paths::join(typeFolder, id.typeName + id.capacityName + QStringLiteral(".cap")));
    if (!capPath.isEmpty() && TextFile::readLines(capPath, lines)) {
        for (int k = 0; k < lines.size() && k < int(rows.size()); ++k) {
            if (lines[k].isEmpty())
                break;
            const QStringList f = splitDataLine(lines[k]);
            if (f.size() < 2)
                continue;
            for (Row& r : rows)
                if (r.comNo == f.first()) {
                    r.def = f.last();
                    break;
                }
        }
    }

    const DefaultResolver resolver(rows);
    {
        std::lock_guard lock(mutex_);
        params_.clear();
        for (const Row& r : rows) {
            SimParameter p;
            p.comNo = r.comNo;
            p.address = ComNoToRegister(r.comNo);
            p.is32 = r.byte.trimmed() == QStringLiteral("4");
            p.isSigned = resolver.lowIsNegative(r);
            p.raw = std::uint32_t(resolver.defaultOf(r.comNo)) & maskFor(p.is32);
            params_.emplace(p.address, p); // the first of two numbers sharing a register wins
        }
    }

    // Identity as the catalogue codes it; CPU versions from 700 on use the custom sections.
    const int cpuNumber = cpuNumberOf(cpu);
    const IniFile catalogue(Paths::resolve(Paths::join(datFolder, QStringLiteral("Inverter.ini"))));
    const bool custom = cpuNumber >= 700;
    const int typeCode = int(decimalPrefix(catalogue.readString(
        custom ? QStringLiteral("Type_Custom") : QStringLiteral("Type"), id.typeName, QStringLiteral("99"))));
    const QString capaSection = custom ? id.typeName + QStringLiteral("(V%1)").arg(cpuNumber) : id.typeName;
    const int capacityCode =
        int(decimalPrefix(catalogue.readString(capaSection, id.capacityName, QStringLiteral("0"))));
    setIdentity(typeCode, capacityCode, cpuNumber);

    // Types sharing a code are told apart by one parameter's value: give it ours.
    const QString identSection = QStringLiteral("Type_Ident_%1").arg(typeCode);
    const QString identNo = catalogue.readString(identSection, QStringLiteral("Ident"), QStringLiteral("-"));
    if (!custom && identNo != QStringLiteral("-")) {
        for (const QString& key : catalogue.keys(identSection)) {
            if (key.startsWith(QStringLiteral("Typ_")) &&
                catalogue.readString(identSection, key) == id.typeName) {
                const auto existing = parameter(identNo);
                setParameter(identNo, decimalPrefix(key.mid(4)), false, existing ? existing->isSigned : true);
                break;
            }
        }
    }
    return true;
}

void DriveModel::setIdentity(int typeCode, int capacityCode, int cpuNumber) {
    typeCode_ = typeCode;
    capacityCode_ = capacityCode;
    cpuNumber_ = cpuNumber;
    setParameter(QStringLiteral("FB07"), typeCode);
    setParameter(QStringLiteral("FB05"), capacityCode);
    setParameter(QStringLiteral("FE08"), cpuNumber);
}

void DriveModel::setParameter(const QString& comNo, std::int64_t value, bool is32, bool isSigned) {
    std::lock_guard lock(mutex_);
    SimParameter p;
    p.comNo = comNo;
    p.address = ComNoToRegister(comNo);
    p.is32 = is32;
    p.isSigned = isSigned;
    p.raw = std::uint32_t(value) & maskFor(is32);
    params_[p.address] = p;
}

std::size_t DriveModel::parameterCount() const {
    std::lock_guard lock(mutex_);
    return params_.size();
}

std::optional<SimParameter> DriveModel::parameter(std::uint16_t address) const {
    std::lock_guard lock(mutex_);
    const auto it = params_.find(address);
    if (it == params_.end())
        return std::nullopt;
    return it->second;
}

std::optional<SimParameter> DriveModel::read(std::uint16_t address) const {
    std::lock_guard lock(mutex_);
    const auto it = params_.find(address);
    if (it == params_.end())
        return std::nullopt;
    SimParameter p = it->second;
    if (const auto live = liveValueLocked(address))
        p.raw = *live & maskFor(p.is32);
    return p;
}

std::optional<std::uint32_t> DriveModel::liveValueLocked(std::uint16_t address) const {
    const auto freq = params_.find(kFreqCommand);
    if (freq == params_.end())
        return std::nullopt;
    for (const LiveReading& r : kLiveReadings) {
        if (r.address != address)
            continue;
        const std::int64_t f = r.command ? std::int64_t(freq->second.raw) : outputFrequencyLocked();
        std::int64_t v = f * r.numerator / r.denominator;
        if (r.ceiling > 0 && v > r.ceiling)
            v = r.ceiling;
        return std::uint32_t(v);
    }
    return std::nullopt;
}

std::int64_t DriveModel::outputFrequencyLocked() const {
    const auto freq = params_.find(kFreqCommand);
    const double target = running_ && freq != params_.end() ? double(freq->second.raw) : 0.0;
    const auto now = now_();
    if (ramp_.count() <= 0) {
        output_ = target;
    } else {
        const double ms = std::chrono::duration<double, std::milli>(now - outputAt_).count();
        const double step = 6000.0 * ms / double(ramp_.count());
        output_ = output_ < target ? std::min(target, output_ + step) : std::max(target, output_ - step);
    }
    outputAt_ = now;
    return std::int64_t(output_);
}

void DriveModel::setRampTime(std::chrono::milliseconds forSixtyHertz) {
    std::lock_guard lock(mutex_);
    outputFrequencyLocked();
    ramp_ = forSixtyHertz;
}

void DriveModel::setTimeSource(TimeSource now) {
    std::lock_guard lock(mutex_);
    outputFrequencyLocked();
    now_ = std::move(now);
    outputAt_ = now_();
}

void DriveModel::trip(std::uint32_t code) {
    std::lock_guard lock(mutex_);
    tripLocked(code);
}

void DriveModel::raiseAlarm(std::uint32_t bits) {
    std::lock_guard lock(mutex_);
    raiseAlarmLocked(bits);
}

void DriveModel::tripLocked(std::uint32_t code) {
    outputFrequencyLocked();
    running_ = false;
    if (const auto it = params_.find(kTripCode); it != params_.end())
        it->second.raw = code & maskFor(it->second.is32);
    std::uint32_t carried = code;
    for (const std::uint16_t address : kTripHistory) {
        const auto it = params_.find(address);
        if (it == params_.end())
            break;
        std::swap(carried, it->second.raw);
    }
}

void DriveModel::raiseAlarmLocked(std::uint32_t bits) {
    if (const auto it = params_.find(kAlarmWord); it != params_.end())
        it->second.raw = (it->second.raw | bits) & maskFor(it->second.is32);
}

void DriveModel::schedule(const SimStatusEvent& event) {
    std::lock_guard lock(mutex_);
    pending_.push_back({now_() + event.after, event});
}

void DriveModel::applyDueEvents() {
    std::lock_guard lock(mutex_);
    if (pending_.empty())
        return;
    const auto now = now_();
    // In the order they fall due, so that a trip history lists them as they happened.
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const PendingEvent& a, const PendingEvent& b) { return a.due < b.due; });
    std::size_t done = 0;
    for (; done < pending_.size() && pending_[done].due <= now; ++done) {
        const SimStatusEvent& e = pending_[done].event;
        if (e.kind == SimStatusEvent::Kind::Trip)
            tripLocked(e.value);
        else
            raiseAlarmLocked(e.value);
    }
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(done));
}

bool DriveModel::write(std::uint16_t address, std::int64_t value) {
    std::lock_guard lock(mutex_);
    const auto it = params_.find(address);
    if (it == params_.end())
        return false;
    if (address == kFreqCommand || address == kKeyCode)
        outputFrequencyLocked();
    it->second.raw = std::uint32_t(value) & maskFor(it->second.is32);
    keyCodeWrittenLocked(address);
    return true;
}

bool DriveModel::writeRegister(std::uint16_t address, std::uint16_t value) {
    std::lock_guard lock(mutex_);
    const auto it = params_.find(address);
    if (it == params_.end())
        return false;
    if (address == kFreqCommand || address == kKeyCode)
        outputFrequencyLocked();
    SimParameter& p = it->second;
    if (p.is32 && p.isSigned)
        p.raw = std::uint32_t(std::int32_t(std::int16_t(value)));
    else
        p.raw = value;
    keyCodeWrittenLocked(address);
    return true;
}

void DriveModel::keyCodeWrittenLocked(std::uint16_t address) {
    if (address != kKeyCode)
        return;
    const auto flag = params_.find(kKeyFlag);
    if (flag == params_.end() || flag->second.raw != 1)
        return;
    const std::uint32_t code = params_.at(kKeyCode).raw;
    if (code == 0 || code == kUpRelease || code == kDownRelease)
        return;
    if (code & kRunBit)
        running_ = true;
    if (code & kStopBit)
        running_ = false;
    const auto freq = params_.find(kFreqCommand);
    if (freq == params_.end())
        return;
    std::uint32_t& f = freq->second.raw;
    const std::uint32_t mask = maskFor(freq->second.is32);
    if ((code & kUpBit) && f < mask)
        ++f;
    if ((code & kDownBit) && f > 0)
        --f;
}

bool DriveModel::motorRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::array<std::uint8_t, 10> DriveModel::displayBlock() const {
    std::lock_guard lock(mutex_);
    const auto freq = params_.find(kFreqCommand);
    if (freq == params_.end()) {
        // "60.00" in both images (the second digit with its point), with the monitor and PC
        // lamps lit: what an idle drive under PC control shows.
        const std::uint8_t six = 0x7D, zeroDot = 0xBF, zero = 0x3F, lamps = kMonitorAndPcLamps;
        // Each image is sent as its second, first, fourth and third character.
        return {zeroDot, six, zero, zero, zeroDot, six, zero, zero, lamps, lamps};
    }
    // The output frequency in hundredths of a hertz: "0.00" to "99.99", then "100.0" on.
    std::uint32_t shown = std::uint32_t(outputFrequencyLocked());
    int pointAt = 1;
    if (shown >= 10000) {
        shown = (shown / 10) % 10000;
        pointAt = 2;
    }
    std::uint8_t c[4];
    std::uint32_t v = shown;
    for (int i = 3; i >= 0; --i, v /= 10)
        c[i] = kDigitSegments[v % 10];
    c[pointAt] |= kPoint;
    if (pointAt == 1 && shown < 1000)
        c[0] = 0; // no leading zero
    const std::uint8_t lamps = std::uint8_t(kMonitorAndPcLamps | (running_ ? kRunLamp : 0));
    return {c[1], c[0], c[3], c[2], c[1], c[0], c[3], c[2], lamps, lamps};
}
