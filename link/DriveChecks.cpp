#include "link/DriveChecks.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "platform/CommandGuard.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"

#include <QRegularExpression>
#include <cstdint>

namespace {

QString infoIniPath(const ProgramContext& context) {
    return Paths::resolvedOrAsGiven(context.InfoIniPath);
}

// "V" followed by digits: the number, else -1.
qint64 versionNumber(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^V(\\d+)$"));
    const QRegularExpressionMatch m = re.match(name.trimmed());
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

// The drive's CPU name against the selected version. Names of the form "V<number>" compare
// as numbers ("V1000" is not "V100"); others by the selection's first four characters.
bool sameCpuVersion(const QString& cpuName, const QString& selected) {
    const qint64 a = versionNumber(cpuName);
    const qint64 b = versionNumber(selected);
    if (a >= 0 && b >= 0)
        return a == b;
    return cpuName == selected.left(4);
}

} // namespace

bool capacityNamesMatch(const QString& selected, const QString& drive) {
    if (selected.isEmpty() || drive.isEmpty())
        return false;
    return selected.contains(drive) || drive.contains(selected);
}

bool WriteAccessValue(CommLink& link, const QString& value) {
    const int index = link.FindParaRow(QString::fromLatin1(kDriveAccessNumber));
    if (index < 0)
        return false; // never let another parameter take the access value
    link.CommTransact(index, value, link.CommError, QStringLiteral("P"));
    return !link.CommError;
}

void MonitorRunLock::apply() const {
    if (handler_)
        handler_(context_.MonitorRunning != 0);
}

DriveChecks::DriveChecks(ProgramContext& context, const Options& options, CommLink& link,
                         DriveCheckFlags flags, const QStringList* cpuForms, const QStringList* cpuNumbers)
    : context_(context), options_(options), link_(link), flags_(flags), names_(link, cpuForms, cpuNumbers) {}

void DriveChecks::CheckSpSetup() {
    checkSpSetup(false);
}

void DriveChecks::CheckSpSetupOnActivation() {
    if (CommandGuard::running("CheckSpSetup"))
        return;
    if (link_.probePending() || !link_.keptConnection()) {
        link_.ConnectDriveInBackground([this](bool connected) {
            if (connected)
                checkSpSetup(true);
        });
        return;
    }
    checkSpSetup(true);
}

void DriveChecks::checkSpSetup(bool keptConnection) {
    // The warning box lets events through, and activations start this check again.
    CommandGuard guard("CheckSpSetup");
    if (guard.busy())
        return;
    auto connect = [&] { return keptConnection ? link_.ConnectDriveKept() : link_.ConnectDrive(); };
    if (!connect())
        return;
    if (!IniFile(infoIniPath(context_)).readBool(QStringLiteral("Setup"), QStringLiteral("SpChk"), false))
        return;

    ConfigScan scan(link_);
    const bool modbus = link_.Settings.protocol == 1;
    QString text;
    bool marked = false;
    auto check = [&](const char* comNo, std::uint32_t normal, MsgId message) {
        const std::uint32_t v = scan.ScanTransact(QString::fromLatin1(comNo), QString(), link_.CommError,
                                                  modbus, QStringLiteral("R"));
        // A drive that does not answer is never marked.
        if (!link_.CommError && v != normal) {
            text += Msg(context_, message) + u'\n';
            marked = true;
        }
    };
    check("0998", 1, MsgId::DriveSpecial0998);
    check("0999", 2, MsgId::DriveSpecial0999);

    if (!marked) {
        link_.specialSetup = false;
    } else {
        if (flags_.ParaTableAct && flags_.DrvChkAct && !flags_.DrvChkd) {
            text += QStringLiteral("\n\n") + Msg(context_, MsgId::SpecialDriveNoTransfer) + u'\n' +
                    Msg(context_, MsgId::ContactSupplier);
            Prompter::instance().message(text, context_.MsgCaption, BoxIcon::None, BoxButtons::Ok);
            PumpEvents();
            flags_.DrvChkAct = false;
            flags_.DrvChkd = true;
        }
        link_.specialSetup = true;
    }
    connect();
}

QString DriveChecks::readIdentityValue(const char* comNo) {
    const int index = link_.FindParaRow(QString::fromLatin1(comNo));
    if (index < 0)
        return QStringLiteral("0"); // as a failed read: the look-ups then name nothing
    // A failed read gives 0, which names nothing and so reports itself.
    const std::uint32_t raw = link_.CommTransact(index, QString(), link_.CommError, QStringLiteral("R"));
    return QString::number(std::int16_t(std::uint16_t(raw & 0xFFFF)));
}

void DriveChecks::CheckDriveIdentity(int transferMode) {
    const ProgramContext& g = context_;
    flags_.TypeCheck = false;
    flags_.FormCheck = false;
    flags_.CPUCheck = false;

    WriteAccessValue(link_, driveAccessValueText());
    const QString typeCode = readIdentityValue("FB07");
    const QString capacityCode = readIdentityValue("FB05");
    const QString cpuText = readIdentityValue("FE08");
    readIdentityValue("FB72"); // the drive expects it in the sequence; its value is not used
    CpuVerLabel = cpuText;
    if (onCpuVersionText)
        onCpuVersionText(cpuText);

    QStringList lines;
    const QString typeName = names_.LookupTypeName(typeCode);
    if (typeName == DriveNames::kNotFound)
        lines << Msg(context_, MsgId::DriveTypeUnknown);
    else if (typeName != g.DriveTypeName)
        lines << Msg(context_, MsgId::DriveTypeDiffers);
    else
        flags_.TypeCheck = true;

    const QString cpuName = names_.CpuVersionName(typeCode, cpuText);
    if (cpuName == DriveNames::kNotFound)
        lines << Msg(context_, MsgId::DriveCpuUnknown);
    else if (transferMode == 2 && !sameCpuVersion(cpuName, g.DriveCpuVersion))
        lines << Msg(context_, MsgId::DriveCpuDiffers);

    const QString capacityName = cpuText.toInt() < DriveNames::kCustomCpu
                                     ? names_.LookupCapacityName(typeName, capacityCode)
                                     : names_.LookupCapacityNameNewCpu(typeCode, cpuText, capacityCode);
    if (capacityName == DriveNames::kNotFound)
        lines << Msg(context_, MsgId::DriveFormUnknown);
    else if (capacityNamesMatch(g.DriveFormName, capacityName))
        flags_.FormCheck = true;
    else
        lines << Msg(context_, MsgId::DriveFormDiffers);

    if (lines.isEmpty() || !options_.TypCapChk.checked())
        return;

    const QString identity = typeName + capacityName + QStringLiteral(" (V") + cpuText + u')';
    if (transferMode != 2) {
        const QString text = Msg(context_, MsgId::ConnectedDrive) + identity + QStringLiteral("\n\n") +
                             Msg(context_, MsgId::SelectionMismatch) + QStringLiteral("\n\n") +
                             Msg(context_, MsgId::OkChangeCheckOrCancel);
        const BoxAnswer a =
            Prompter::instance().message(text, g.MsgCaption, BoxIcon::Warning, BoxButtons::OkCancel);
        if (a == BoxAnswer::Ok) {
            if (openOptions)
                openOptions();
        } else {
            flags_.ComCancel = true;
        }
    } else {
        QString text = Msg(context_, MsgId::ConnectedDrive) + identity + QStringLiteral("\n\n");
        for (const QString& line : std::as_const(lines))
            text += line + u'\n';
        Prompter::instance().message(text, g.MsgCaption, BoxIcon::Warning, BoxButtons::Ok);
    }
}
