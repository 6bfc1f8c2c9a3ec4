#include "link/FoundDriveReader.h"

#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/DetectionExchange.h"
#include "link/StartupChoice.h"
#include "platform/IniFile.h"

#include <utility>

namespace {

const QString kTypeNumber = QStringLiteral("FB07");
const QString kCapacityNumber = QStringLiteral("FB05");
const QString kCpuNumber = QStringLiteral("FE08");
const QString kWideCapacityNumber = QStringLiteral("FB58");
// Reads of the type code before the drive is taken for one without it.
constexpr int kTypeReadTries = 3;

} // namespace

FoundDriveReader::FoundDriveReader(CommLink& line, const StartupChoice& form, QString catalogueIni,
                                   int replyTimeMs, const std::atomic<bool>& stop)
    : line_(line), form_(form), catalogueIni_(std::move(catalogueIni)), replyTimeMs_(replyTimeMs),
      stop_(stop) {}

FoundIdentity FoundDriveReader::read(const QString& port, const SearchTry& settings) {
    FoundIdentity found;
    modbus_ = settings.protocolIdx == 1;
    // The silent interval follows the speed before anything is sent at it.
    frameGapMs_ = frameGapForBaudIndex(settings.speedIdx);
    // The look-ups start from the form's lists as they stand.
    cpus_ = {form_.cpuVersions(), form_.cpuNumbers()};
    capacities_ = {form_.capacityNames(), form_.capacityCodes()};
    if (line_.openPort(port, settings.speedIdx, settings.parityIdx, 0, 1) != SerialError::None)
        return found;
    found.opened = true;
    exchange(QString::fromLatin1(kDriveAccessNumber), 'P', kDriveAccessValue);
    found.named = identify(found);
    found.lastReadFailed = line_.lastExchangeFailed();
    if (found.named)
        found.typeName = StartupChoice::at(form_.typeNames(), found.typePos);
    return found;
}

std::uint32_t FoundDriveReader::exchange(const QString& comNo, char kind, std::int64_t value) {
    if (stop_) {
        line_.noteExchangeFailed(true);
        return 0;
    }
    // The drive has answered on this line: a late reply is never taken for another read's, and
    // a read behind one is repeated rather than taken for a value the drive lacks.
    ExchangeOptions o = detectionOptions(modbus_, frameGapMs_, replyTimeMs_);
    o.searching = false;
    o.askAgain = kind == 'R';
    const ExchangeResult res = line_.exchange(detectionRequest(comNo, kind, value, false), o);
    line_.noteExchangeFailed(res.error);
    return res.value;
}

std::int16_t FoundDriveReader::readValue(const QString& comNo, bool* ok) {
    const std::uint32_t v = exchange(comNo, 'R');
    if (ok)
        *ok = !line_.lastExchangeFailed();
    return std::int16_t(std::uint16_t(v & 0xFFFF));
}

bool FoundDriveReader::identify(FoundIdentity& found) {
    bool typeRead = false;
    for (int i = 0; i < kTypeReadTries && !typeRead; ++i)
        found.typeCode = readValue(kTypeNumber, &typeRead);
    if (typeRead)
        return identifyByTypeCode(found);
    identifyByCapacityCode(found);
    return true;
}

bool FoundDriveReader::identifyByTypeCode(FoundIdentity& found) {
    found.typePos = typePosition(found, QString::number(found.typeCode));
    found.cpuPos = cpuPosition(found, found.typePos);
    found.capacityPos = capacityPosition(found, found.typePos, kCapacityNumber, found.cpuPos);
    if (found.capacityPos != -1 || found.typeCode != 0)
        return true;
    // Type code 0: the drive may be one that names its type by code 65 on "FB05".
    found.typeCode = readValue(kCapacityNumber);
    if (found.typeCode != kTypeCodeWithCapacityInFB58)
        return false;
    found.typePos =
        StartupChoice::positionOf(form_.typeCodes(), QString::number(kTypeCodeWithCapacityInFB58));
    // The CPU position must be that of this type's list, not of the one read before.
    found.cpuPos = cpuPosition(found, found.typePos);
    found.capacityPos = capacityPosition(found, found.typePos, kWideCapacityNumber, found.cpuPos);
    return true;
}

void FoundDriveReader::identifyByCapacityCode(FoundIdentity& found) {
    found.typeCode = readValue(kCapacityNumber);
    found.typePos = StartupChoice::positionOf(form_.typeCodes(), QString::number(found.typeCode));
    if (found.typeCode != kTypeCodeWithCapacityInFB58) {
        found.typePos = found.capacityPos = found.cpuPos = -1;
        return;
    }
    found.cpuPos = cpuPosition(found, found.typePos);
    found.capacityPos = capacityPosition(found, found.typePos, kWideCapacityNumber, found.cpuPos);
}

int FoundDriveReader::typePosition(FoundIdentity& found, const QString& codeText) {
    // Types that share a code are told apart by a parameter the catalogue names for the code.
    const IniFile catalogue(catalogueIni_);
    const QString section = QStringLiteral("Type_Ident_") + codeText;
    const QString identNumber = catalogue.readString(section, QStringLiteral("Ident"), QStringLiteral("-"));
    if (identNumber != QLatin1String("-")) {
        const std::int16_t value = readValue(identNumber);
        const QString name = catalogue.readString(section, QStringLiteral("Typ_") + QString::number(value),
                                                  QStringLiteral("-"));
        if (name != QLatin1String("-")) {
            found.identifiedType = name;
            return StartupChoice::positionOf(form_.typeNames(), name);
        }
    }
    return StartupChoice::positionOf(form_.typeCodes(), codeText);
}

int FoundDriveReader::cpuPosition(FoundIdentity& found, int typePos) {
    if (typePos >= 0)
        cpus_ = form_.cpuListOf(StartupChoice::at(form_.typeNames(), typePos));
    found.cpuValue = readValue(kCpuNumber);
    return StartupChoice::positionOf(cpus_.codes, QString::number(found.cpuValue));
}

int FoundDriveReader::capacityPosition(FoundIdentity& found, int typePos, const QString& comNo, int cpuPos) {
    if (typePos >= 0) {
        const QString type = StartupChoice::at(form_.typeNames(), typePos);
        cpus_ = form_.cpuListOf(type);
        capacities_ = form_.capacityListOf(type, StartupChoice::at(cpus_.names, cpuPos));
    }
    found.capacityCode = readValue(comNo);
    return StartupChoice::positionOf(capacities_.codes, QString::number(found.capacityCode));
}
