#include "link/DriveDetection.h"

#include "core/ProgramContext.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/StartupChoice.h"
#include "platform/IniFile.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"
#include "platform/WaitCursor.h"

namespace {

const QString kProbeNumber = QStringLiteral("0000");
const QString kTypeNumber = QStringLiteral("FB07");
const QString kCapacityNumber = QStringLiteral("FB05");
const QString kCpuNumber = QStringLiteral("FE08");
const QString kWideCapacityNumber = QStringLiteral("FB58");
// Reads of the type code before the drive is taken for one without it.
constexpr int kTypeReadTries = 3;
// Settings of a search that found nothing: 9,600 baud, even parity, the maker's protocol.
constexpr int kDefaultSpeed = 3, kDefaultParity = 1, kDefaultProtocol = 0;

// Position of text in a list of codes or names, -1 when absent.
int positionIn(const QStringList& list, const QString& text) {
    return StartupChoice::positionOf(list, text);
}

// The key of `section` whose value (default `def`) is `code`, else `missing`.
QString keyWithValue(const IniFile& ini, const QString& section, const QString& def, const QString& code,
                     const QString& missing) {
    for (const QString& key : ini.keys(section))
        if (ini.readString(section, key, def) == code)
            return key;
    return missing;
}

} // namespace

const QStringList& DriveDetection::candidatePorts() {
    static const QStringList ports = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                                      QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6"),
                                      QStringLiteral("COM7")};
    return ports;
}

DriveDetection::DriveDetection(CommLink& link, ProgramContext& context)
    : link_(link), context_(context), frameGapMs_(frameGapForBaudIndex(kDefaultSpeed)) {}

int DriveDetection::storedPort() const {
    const IniFile settings(context_.SettingsIniPath);
    const int stored =
        settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Commport"), kNoStoredPort);
    // A negative position would pass the range test below and name no port.
    return stored < 0 ? kNoStoredPort : stored;
}

void DriveDetection::warn(const QString& text, bool letMessagesThrough) {
    Prompter::instance().message(text, context_.MsgCaption, BoxIcon::Warning, BoxButtons::Ok);
    if (letMessagesThrough)
        PumpEvents();
}

int DriveDetection::listSerialPorts(const QString& noPortText) {
    ComboPort = link_.findPorts(candidatePorts());
    PortCount = int(ComboPort.size());
    if (PortCount == 0)
        warn(noPortText, false);
    return PortCount;
}

bool DriveDetection::openPortAt(int portPos, int speedIdx, int parityIdx) {
    // The silent interval follows the speed before anything is sent at it.
    frameGapMs_ = frameGapForBaudIndex(speedIdx);
    if (portPos < 0 || portPos >= ComboPort.size()) {
        link_.closePort();
        return false;
    }
    return link_.openPort(ComboPort.at(portPos), speedIdx, parityIdx, 0, 1) == SerialError::None;
}

std::uint32_t DriveDetection::transact(const QString& comNo, const QString& valueText, bool modbus,
                                       char kind) {
    FrameRequest r;
    r.comNo = comNo;
    r.kind = kind;
    r.value = kind == 'R' ? 0 : ParseDecimalPrefix(valueText);
    r.allowBlockRead = false;
    r.omitFirstByte = ProbeFailed;
    ProbeFailed = false;
    ExchangeOptions o;
    o.protocol = modbus ? Protocol::Modbus : Protocol::Inverter;
    o.replyTimeoutMs = kReplyTimeMs;
    o.frameGapMs = frameGapMs_;
    o.icon = IconMode::None;
    const ExchangeResult res = link_.exchange(r, o);
    link_.CommError = res.error;
    return res.value;
}

std::int16_t DriveDetection::read(const QString& comNo, bool* ok) {
    const std::uint32_t v = transact(comNo, QString(), ProtocolIdx == 1, 'R');
    if (ok)
        *ok = !link_.CommError;
    return std::int16_t(std::uint16_t(v & 0xFFFF));
}

bool DriveDetection::probe(bool modbus) {
    transact(kProbeNumber, QString(), modbus, 'R');
    return !link_.CommError;
}

bool DriveDetection::tryCombination(int portPos, int speedIdx, int parityIdx, int protocolIdx) {
    // A search over several ports takes long: the windows stay painted meanwhile.
    LetWindowsRepaint();
    if (!openPortAt(portPos, speedIdx, parityIdx))
        return false;
    const bool modbus = protocolIdx == 1;
    if (probe(modbus))
        return true;
    ProbeFailed = true;
    probe(modbus); // the repeat goes out; only an answer to the whole probe counts
    return false;
}

bool DriveDetection::detectDrive(int storedPort) {
    auto searchPort = [&](int port) {
        for (int i = 0; i < ConfigScan::kCombinationCount; ++i) {
            const ScanCombination c = ConfigScan::combination(i);
            if (tryCombination(port, c.baudIndex, c.parityIndex, c.protocol)) {
                PortPos = port;
                SpeedIdx = c.baudIndex;
                ParityIdx = c.parityIndex;
                ProtocolIdx = c.protocol;
                return true;
            }
        }
        return false;
    };

    if (storedPort >= 0 && storedPort < kNoStoredPort && storedPort < PortCount) {
        // A stored protocol the program does not know is not tried: a drive found with it
        // would be taken for no drive.
        if ((ProtocolIdx == 0 || ProtocolIdx == 1) &&
            tryCombination(storedPort, SpeedIdx, ParityIdx, ProtocolIdx)) {
            PortPos = storedPort;
            return true;
        }
        if (searchPort(storedPort))
            return true;
    }
    for (int port = 0; port < PortCount; ++port)
        if (searchPort(port))
            return true;
    PortCount = SpeedIdx = ParityIdx = ProtocolIdx = kNotFound;
    return false;
}

int DriveDetection::identifyDriveType(StartupChoice& form, const QString& codeText) {
    const IniFile catalogue(context_.CatalogueIniPath);
    const QString section = QStringLiteral("Type_Ident_") + codeText;
    const QString identNumber = catalogue.readString(section, QStringLiteral("Ident"), QStringLiteral("-"));
    if (identNumber != QLatin1String("-")) {
        const std::int16_t value = read(identNumber);
        const QString name = catalogue.readString(section, QStringLiteral("Typ_") + QString::number(value),
                                                  QStringLiteral("-"));
        if (name != QLatin1String("-")) {
            IdentFound = true;
            IdentTypeName = name;
            return positionIn(form.I_TypeForm, name);
        }
    }
    return positionIn(form.I_TypeNo, codeText);
}

int DriveDetection::readCpuIndex(StartupChoice& form, int typePos, const QString& comNo) {
    if (typePos >= 0)
        form.FillCpuList(StartupChoice::at(form.I_TypeForm, typePos));
    ReadCpuValue = read(comNo);
    return positionIn(form.I_CpuNo, QString::number(ReadCpuValue));
}

int DriveDetection::readCapacityIndex(StartupChoice& form, int typePos, const QString& comNo, int cpuPos) {
    if (typePos >= 0) {
        const QString type = StartupChoice::at(form.I_TypeForm, typePos);
        form.FillCpuList(type);
        form.FillCapacityList(type, StartupChoice::at(form.I_CpuForm, cpuPos));
        form.CpuPos = form.I_CpuForm.isEmpty() ? -1 : 0;
    }
    ReadFormCode = read(comNo);
    return positionIn(form.I_CapaNo, QString::number(ReadFormCode));
}

bool DriveDetection::identify(StartupChoice& form, int& typePos, int& capaPos, int& cpuPos) {
    bool typeRead = false;
    for (int i = 0; i < kTypeReadTries && !typeRead; ++i)
        ReadTypeCode = read(kTypeNumber, &typeRead);
    const QString wideCode = QString::number(kTypeCodeWithCapacityInFB58);

    if (typeRead) {
        typePos = identifyDriveType(form, QString::number(ReadTypeCode));
        cpuPos = readCpuIndex(form, typePos, kCpuNumber);
        capaPos = readCapacityIndex(form, typePos, kCapacityNumber, cpuPos);
        if (capaPos == -1 && ReadTypeCode == 0) {
            ReadTypeCode = read(kCapacityNumber);
            if (ReadTypeCode != kTypeCodeWithCapacityInFB58)
                return false;
            typePos = positionIn(form.I_TypeNo, wideCode);
            // The CPU position must be that of this type's list, not of the one read before.
            cpuPos = readCpuIndex(form, typePos, kCpuNumber);
            capaPos = readCapacityIndex(form, typePos, kWideCapacityNumber, cpuPos);
        }
        return true;
    }

    ReadTypeCode = read(kCapacityNumber);
    typePos = positionIn(form.I_TypeNo, QString::number(ReadTypeCode));
    if (ReadTypeCode == kTypeCodeWithCapacityInFB58) {
        cpuPos = readCpuIndex(form, typePos, kCpuNumber);
        capaPos = readCapacityIndex(form, typePos, kWideCapacityNumber, cpuPos);
    } else {
        typePos = capaPos = cpuPos = -1;
    }
    return true;
}

void DriveDetection::warnUnlistedDrive(StartupChoice& form) {
    ProgramContext& g = context_;
    if (ReadTypeCode > 0) {
        const IniFile catalogue(g.CatalogueIniPath);
        g.DriveTypeName = IdentFound ? IdentTypeName
                                     : keyWithValue(catalogue, QStringLiteral("Type"), QStringLiteral("99"),
                                                    QString::number(ReadTypeCode), QStringLiteral("****"));
        g.DriveFormName = keyWithValue(catalogue, g.DriveTypeName, QStringLiteral("0"),
                                       QString::number(ReadFormCode), QStringLiteral("-****"));
        g.DriveCpuVersion =
            ReadCpuValue >= 0 ? QStringLiteral("V") + QString::number(ReadCpuValue) : QStringLiteral("V***");
    }
    warn(form.MsgNoData + u'\n' + g.DriveTypeName + u'(' + g.DriveCpuVersion + u')' + g.DriveFormName, true);
}

void DriveDetection::run(StartupChoice& form) {
    form.DetectionRan = true;
    SpeedIdx = form.SpeedIdx;
    ParityIdx = form.ParityIdx;
    ProtocolIdx = form.ProtocolIdx;
    PortPos = 0;
    ProbeFailed = false;
    IdentFound = false;
    IdentTypeName.clear();
    ReadTypeCode = ReadFormCode = ReadCpuValue = 0;

    auto select = [&](int typePos, int capaPos, int cpuPos) {
        form.PortPos = PortPos;
        form.SpeedIdx = SpeedIdx;
        form.ParityIdx = ParityIdx;
        form.ProtocolIdx = ProtocolIdx;
        form.selectPositions(typePos, capaPos, cpuPos);
    };
    auto selectFirstWithDefaultSettings = [&] {
        SpeedIdx = kDefaultSpeed;
        ParityIdx = kDefaultParity;
        ProtocolIdx = kDefaultProtocol;
        select(0, 0, 0);
    };

    if (listSerialPorts(form.MsgNoPort) == 0) {
        selectFirstWithDefaultSettings();
        return;
    }
    int typePos = -1, capaPos = -1, cpuPos = -1;
    {
        WaitCursor busy;
        if (!detectDrive(storedPort())) {
            PortPos = 0;
            selectFirstWithDefaultSettings();
            return;
        }
        if (!openPortAt(PortPos, SpeedIdx, ParityIdx)) {
            select(0, 0, 0);
            return;
        }
        // The drive answers its identity only after the access value; a refusal is no reason
        // to stop.
        transact(QString::fromLatin1(kDriveAccessNumber), driveAccessValueText(), ProtocolIdx == 1, 'P');
        if (!identify(form, typePos, capaPos, cpuPos)) {
            select(0, 0, 0);
            return;
        }
    }
    if (typePos >= 0 && capaPos >= 0 && cpuPos >= 0) {
        select(typePos, capaPos, cpuPos);
        return;
    }
    warnUnlistedDrive(form);
    select(0, 0, 0);
}
