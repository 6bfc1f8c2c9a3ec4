#include "link/CommSettings.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "link/CommLink.h"
#include "platform/IniFile.h"

namespace {

const QString kSection = QStringLiteral("Comms");
const QString kDefSection = QStringLiteral("Def Comms");

// A stored list position or number, or `def` when it is missing, not a number or outside
// low..high.
int readInRange(const IniFile& ini, const QString& key, int low, int high, int def) {
    // A fall-back outside the range stands for "missing or not a number".
    const int a = ini.readInteger(kSection, key, low - 1);
    if (a < low || a > high)
        return def;
    return a;
}

bool readFlag(const IniFile& ini, const QString& key) {
    return ini.readInteger(kSection, key, 0) != 0;
}

// The whole text as a decimal integer (blanks around it allowed); false otherwise.
bool parseWholeInt(const QString& text, int& out) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        out = v;
    return ok;
}

// The working value of the parameter with that communication number (shorter numbers padded
// with "0" to four characters), looked up exactly; false when the table lacks the number or
// its value is not an integer.
bool tableValueOf(const ProgramContext& context, const QString& comNo, int& out) {
    if (!context.store || comNo.isEmpty())
        return false;
    const QString number = comNo.rightJustified(4, QLatin1Char('0'));
    const int index = context.drive.indexOfComNo(number);
    if (index < 0)
        return false;
    return parseWholeInt(StoreCells::value(context, index), out);
}

} // namespace

QStringList CommSettings::allPortNames() {
    QStringList names;
    for (int n = 1; n <= 15; ++n)
        names << QStringLiteral("COM%1").arg(n);
    return names;
}

QStringList CommSettings::baudTexts() {
    return {QStringLiteral("   1,200"), QStringLiteral("   2,400"), QStringLiteral("   4,800"),
            QStringLiteral("   9,600"), QStringLiteral(" 19,200"),  QStringLiteral(" 38,400")};
}

CommSettings::CommSettings(CommLink& link) : link_(link) {}

void CommSettings::load(const IniFile& ini) {
    LinkSettings s = link_.settings();
    s.protocol = readInRange(ini, QStringLiteral("Prtocol"), 0, 1, 0);
    s.baudIndex = readInRange(ini, QStringLiteral("Baudrate"), 0, 5, 3);
    // A position into the ports found, of which there are at most fifteen; one that names no
    // port found leaves the list without a selection until the user picks one.
    s.portIndex = readInRange(ini, QStringLiteral("Commport"), 0, 14, 0);
    s.parityIndex = readInRange(ini, QStringLiteral("Parity"), 0, 2, 1);
    s.stopIndex = readInRange(ini, QStringLiteral("Stopbits"), 0, 2, 0);
    s.sizeIndex = readInRange(ini, QStringLiteral("Bytesize"), 0, 1, 1);
    s.inverterNumber = readInRange(ini, QStringLiteral("ID"), kIdLow, kIdHigh, 0);
    s.appendNo = readFlag(ini, QStringLiteral("AppendNo"));
    s.broadcast = readFlag(ini, QStringLiteral("Douhou"));
    link_.setSettings(s);
    link_.setReplyTimeout(readInRange(ini, QStringLiteral("Delay"), kDelayLow, kDelayHigh, kDefaultDelay));
    // The "Set number" rule runs after loading, so a file with both choices set keeps the
    // station number.
    setAppendNo(s.appendNo);
    link_.setFrameGap(frameGapForBaudIndex(s.baudIndex));
}

void CommSettings::load() {
    IniFile ini(link_.context().paths.settingsIni);
    load(ini);
}

void CommSettings::save(IniFile& ini) {
    const LinkSettings s = link_.settings();
    link_.setFrameGap(frameGapForBaudIndex(s.baudIndex));
    ini.writeInteger(kSection, QStringLiteral("Prtocol"), s.protocol);
    ini.writeInteger(kSection, QStringLiteral("Commport"), s.portIndex);
    ini.writeInteger(kSection, QStringLiteral("Baudrate"), s.baudIndex);
    ini.writeInteger(kSection, QStringLiteral("Parity"), s.parityIndex);
    ini.writeInteger(kSection, QStringLiteral("Stopbits"), s.stopIndex);
    ini.writeInteger(kSection, QStringLiteral("Bytesize"), s.sizeIndex);
    ini.writeInteger(kSection, QStringLiteral("ID"), s.inverterNumber);
    ini.writeBool(kSection, QStringLiteral("AppendNo"), s.appendNo);
    ini.writeBool(kSection, QStringLiteral("Douhou"), s.broadcast);
    ini.writeInteger(kSection, QStringLiteral("Delay"), link_.replyTimeoutMs());
}

bool CommSettings::save() {
    IniFile ini(link_.context().paths.settingsIni);
    save(ini);
    return ini.flush();
}

void CommSettings::setInverterNumber(int n) {
    link_.updateSettings([&](LinkSettings& s) { s.inverterNumber = qBound(kIdLow, n, kIdHigh); });
}

void CommSettings::setReplyTimeout(int ms) {
    link_.setReplyTimeout(qBound(kDelayLow, ms, kDelayHigh));
}

void CommSettings::setAppendNo(bool on) {
    link_.updateSettings([on](LinkSettings& s) {
        s.appendNo = on;
        if (on)
            s.broadcast = false;
    });
}

void CommSettings::setBroadcast(bool on) {
    link_.updateSettings([on](LinkSettings& s) {
        s.broadcast = on;
        if (on)
            s.appendNo = false;
    });
}

void CommSettings::selectProtocol(int protocol) {
    link_.updateSettings([protocol](LinkSettings& s) { s.protocol = protocol; });
}

void CommSettings::selectPort(int position) {
    link_.updateSettings([position](LinkSettings& s) { s.portIndex = position; });
}

void CommSettings::selectBaud(int position) {
    link_.updateSettings([position](LinkSettings& s) { s.baudIndex = position; });
}

void CommSettings::selectParity(int position) {
    link_.updateSettings([position](LinkSettings& s) { s.parityIndex = position; });
}

bool CommSettings::inverterNumberEnabled() const {
    return link_.settings().appendNo;
}

int CommSettings::listSerialPorts() {
    const QString remembered = link_.portsFound().value(link_.settings().portIndex);
    link_.setPortsFound(link_.findPorts(allPortNames()));
    portCount_ = int(link_.portsFound().size());
    if (portCount_ > 0) {
        const int at = link_.portsFound().indexOf(remembered);
        selectPort(at >= 0 && !remembered.isEmpty() ? at : 0);
    }
    return portCount_;
}

QStringList CommSettings::ports() const {
    return link_.portsFound();
}

int CommSettings::selectedPort() const {
    const int i = link_.settings().portIndex;
    return i >= 0 && i < link_.portsFound().size() ? i : -1;
}

CommSnapshot CommSettings::snapshot() const {
    const LinkSettings s = link_.settings();
    return {s.protocol, s.portIndex, s.baudIndex, s.parityIndex, s.inverterNumber, s.appendNo};
}

CommChanges CommSettings::changesSince(const CommSnapshot& o) const {
    const CommSnapshot n = snapshot();
    return {n.protocol != o.protocol,       n.portIndex != o.portIndex,           n.baudIndex != o.baudIndex,
            n.parityIndex != o.parityIndex, n.inverterNumber != o.inverterNumber, n.appendNo != o.appendNo};
}

DefaultButtons CommSettings::defaultButtons(const IniFile& info) {
    DefaultButtons b;
    b.driveDefaults = info.readInteger(kDefSection, QStringLiteral("Protocol"), -1) >= 0 &&
                      info.readInteger(kDefSection, QStringLiteral("Baudrate"), -1) >= 0 &&
                      info.readInteger(kDefSection, QStringLiteral("Parity"), -1) >= 0 &&
                      info.readInteger(kDefSection, QStringLiteral("InvNo"), -1) >= 0;
    for (const char* key : {"Para_Protocol", "Para_Baudrate", "Para_Parity", "Para_InvNo"})
        if (info.readString(kDefSection, QLatin1String(key), QStringLiteral("-")) != QLatin1String("-"))
            b.tableDefaults = true;
    return b;
}

void CommSettings::applyProtocol(int v) {
    if (v >= 0 && v <= 1)
        selectProtocol(v);
}

void CommSettings::applyBaud(int v) {
    if (v >= 0 && v <= 5)
        selectBaud(v);
}

void CommSettings::applyParity(int v) {
    if (v >= 0 && v <= 2)
        selectParity(v);
}

bool CommSettings::applyInverterNumber(int v) {
    if (v < kIdLow || v > kIdHigh)
        return false;
    link_.updateSettings([&](LinkSettings& s) { s.inverterNumber = v; });
    return true;
}

void CommSettings::applyDriveDefaults(const IniFile& info) {
    auto value = [&](const char* key, int def) {
        return info.readInteger(kDefSection, QLatin1String(key), def) +
               info.readInteger(kDefSection, QLatin1String(key) + QLatin1String("_B"), 0);
    };
    applyProtocol(value("Protocol", 0));
    applyBaud(value("Baudrate", 4));
    applyParity(value("Parity", 1));
    applyInverterNumber(value("InvNo", 0));
    setAppendNo(link_.settings().inverterNumber != 0);
}

void CommSettings::applyTableDefaults(const IniFile& info, const ProgramContext& context) {
    static const char* const plainKeys[] = {"Protocol", "Baudrate", "Parity", "InvNo"};
    QString sources[4];
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        sources[i] = info.readString(kDefSection, QLatin1String("Para_") + QLatin1String(plainKeys[i]),
                                     QStringLiteral("-"));
        if (sources[i] != QLatin1String("-"))
            any = true;
    }
    if (!any)
        return;
    for (int i = 0; i < 4; ++i) {
        const QString plain = QLatin1String(plainKeys[i]);
        const int offset = info.readInteger(kDefSection, plain + QLatin1String("_B"), 0);
        int v = 0;
        if (sources[i].contains(QLatin1String("Fixed"))) {
            v = info.readInteger(kDefSection, plain, -1);
            if (v <= 0)
                continue;
        } else if (sources[i] == QLatin1String("-")) {
            continue;
        } else if (!tableValueOf(context, sources[i], v)) {
            continue;
        }
        v += offset;
        switch (i) {
        case 0:
            applyProtocol(v);
            break;
        case 1:
            applyBaud(v);
            break;
        case 2:
            applyParity(v);
            break;
        default:
            applyInverterNumber(v);
            break;
        }
    }
    setAppendNo(link_.settings().inverterNumber != 0);
}
