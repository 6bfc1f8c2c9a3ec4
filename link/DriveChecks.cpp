#include "link/DriveChecks.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/CoreNotices.h"
#include "platform/CommandGuard.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PumpEvents.h"

#include <QRegularExpression>
#include <cstdint>

namespace {

QString infoIniPath(const ProgramContext& context) {
    return Paths::resolvedOrAsGiven(context.drive.files.infoIniPath);
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
    return !link.transactNoted(index, value, QStringLiteral("P")).error;
}

DriveChecks::DriveChecks(ProgramContext& context, const Options& options, CommLink& link,
                         SpecialSetupWarningHost& warningHost, const QStringList* cpuForms,
                         const QStringList* cpuNumbers)
    : context_(context), options_(options), link_(link), warningHost_(warningHost),
      names_(link, cpuForms, cpuNumbers) {}

void DriveChecks::CheckSpSetupOnActivation() {
    if (CommandGuard::running("CheckSpSetup"))
        return;
    const int activation = ++activation_;
    if (link_.backgroundExchangePending()) {
        // An earlier activation's read is on the line: this check follows it.
        activationWanted_ = true;
        return;
    }
    startActivationCheck(activation);
}

bool DriveChecks::activationCurrent(int activation) {
    if (activation == activation_ && !link_.monitorRunning() && !CommandGuard::running("CheckSpSetup"))
        return true;
    if (activationWanted_ && !link_.backgroundExchangePending() && !link_.monitorRunning() &&
        !CommandGuard::running("CheckSpSetup"))
        startActivationCheck(activation_);
    return false;
}

bool DriveChecks::specialSetupChecked() const {
    return IniFile(infoIniPath(context_)).readBool(QStringLiteral("Setup"), QStringLiteral("SpChk"), false);
}

void DriveChecks::startActivationCheck(int activation) {
    activationWanted_ = false;
    const std::weak_ptr<bool> alive = alive_;
    auto connected = [this, alive, activation](bool ok) {
        if (alive.expired())
            return;
        sayIfDisconnected(ok);
        if (!ok || !activationCurrent(activation) || !specialSetupChecked())
            return;
        readMarkerInBackground(activation, 0, QString(), false);
    };
    if (link_.backgroundPending() || !link_.keptConnection()) {
        link_.ConnectDriveInBackground(connected);
        return;
    }
    connected(link_.ConnectDriveKept());
}

namespace {

struct Marker {
    const char* comNo;
    std::uint32_t normal;
    MsgId message;
};
// A specially set-up drive holds other values than these.
constexpr Marker kMarkers[2] = {{"0998", 1, MsgId::DriveSpecial0998}, {"0999", 2, MsgId::DriveSpecial0999}};

} // namespace

void DriveChecks::readMarkerInBackground(int activation, int marker, QString text, bool marked) {
    const std::weak_ptr<bool> alive = alive_;
    ConfigScan(link_).ScanReadInBackground(
        QString::fromLatin1(kMarkers[marker].comNo), link_.settings().protocol == 1,
        [this, alive, activation, marker, text, marked](const ExchangeResult& r) mutable {
            if (alive.expired() || !activationCurrent(activation))
                return;
            link_.noteExchangeFailed(r.error);
            // A drive that does not answer is never marked.
            if (!r.error && r.value != kMarkers[marker].normal) {
                text += Msg(context_, kMarkers[marker].message) + u'\n';
                marked = true;
            }
            if (marker + 1 < int(std::size(kMarkers)))
                return readMarkerInBackground(activation, marker + 1, text, marked);
            applyMarks(text, marked);
            if (alive.expired() || !activationCurrent(activation))
                return;
            // The closing connect, from the answer just had or in the background.
            if (link_.keptConnection()) {
                link_.ConnectDriveKept();
            } else {
                link_.ConnectDriveInBackground([this, alive](bool ok) {
                    if (!alive.expired())
                        sayIfDisconnected(ok);
                });
            }
        });
}

void DriveChecks::sayIfDisconnected(bool connected) {
    // The drive commands greyed behind the user's back: said, once (the link icon connects
    // again).
    if (!connected)
        link_.tellConnectionLost();
}

void DriveChecks::applyMarks(QString text, bool marked) {
    // The warning box lets events through, and activations start the check again.
    CommandGuard guard("CheckSpSetup");
    if (!marked) {
        link_.markSpecialSetup(false);
        return;
    }
    if (warningHost_.specialSetupWarningDue()) {
        text += QStringLiteral("\n\n") + Msg(context_, MsgId::SpecialDriveNoTransfer) + u'\n' +
                Msg(context_, MsgId::ContactSupplier);
        link_.asker().ask({text, context_.texts.caption, BoxIcon::None, BoxButtons::Ok});
        PumpEvents();
        warningHost_.specialSetupWarningShown();
    }
    link_.markSpecialSetup(true);
}

void DriveChecks::CheckSpSetup() {
    if (CommandGuard::running("CheckSpSetup"))
        return;
    // Answers of earlier activations still on their way no longer count.
    ++activation_;
    activationWanted_ = false;
    if (!link_.ConnectDrive())
        return;
    if (!specialSetupChecked())
        return;

    ConfigScan scan(link_);
    const bool modbus = link_.settings().protocol == 1;
    QString text;
    bool marked = false;
    for (const Marker& m : kMarkers) {
        const ExchangeResult r =
            scan.ScanTransact(QString::fromLatin1(m.comNo), QString(), modbus, QStringLiteral("R"));
        // A drive that does not answer is never marked.
        if (!r.error && r.value != m.normal) {
            text += Msg(context_, m.message) + u'\n';
            marked = true;
        }
    }
    applyMarks(text, marked);
    link_.ConnectDrive();
}

QString DriveChecks::readIdentityValue(const char* comNo) {
    const int index = link_.FindParaRow(QString::fromLatin1(comNo));
    if (index < 0)
        return QStringLiteral("0"); // as a failed read: the look-ups then name nothing
    // A failed read gives 0, which names nothing and so reports itself: only after the repeats
    // a connect would make, a late reply waited for.
    const std::uint32_t raw = link_.readNotedRepeating(index).value;
    return QString::number(std::int16_t(std::uint16_t(raw & 0xFFFF)));
}

IdentityCheckResult DriveChecks::CheckDriveIdentity(int transferMode) {
    const ProgramContext& context = context_;
    IdentityCheckResult result;

    WriteAccessValue(link_, driveAccessValueText());
    const QString typeCode = readIdentityValue("FB07");
    const QString capacityCode = readIdentityValue("FB05");
    const QString cpuText = readIdentityValue("FE08");
    readIdentityValue("FB72"); // the drive expects it in the sequence; its value is not used
    cpuVersionText_ = cpuText;

    QStringList lines;
    const QString typeName = names_.LookupTypeName(typeCode);
    if (typeName == DriveNames::kNotFound)
        lines << Msg(context_, MsgId::DriveTypeUnknown);
    else if (typeName != context.drive.identity.typeName)
        lines << Msg(context_, MsgId::DriveTypeDiffers);
    else
        result.typeMatches = true;

    const QString cpuName = names_.CpuVersionName(typeCode, cpuText);
    if (cpuName == DriveNames::kNotFound)
        lines << Msg(context_, MsgId::DriveCpuUnknown);
    else if (transferMode == 2 && !sameCpuVersion(cpuName, context.drive.identity.cpuVersion))
        lines << Msg(context_, MsgId::DriveCpuDiffers);

    const QString capacityName = cpuText.toInt() < DriveNames::kCustomCpu
                                     ? names_.LookupCapacityName(typeName, capacityCode)
                                     : names_.LookupCapacityNameNewCpu(typeCode, cpuText, capacityCode);
    if (capacityName == DriveNames::kNotFound)
        lines << Msg(context_, MsgId::DriveFormUnknown);
    else if (capacityNamesMatch(context.drive.identity.formName, capacityName))
        result.capacityMatches = true;
    else
        lines << Msg(context_, MsgId::DriveFormDiffers);

    if (lines.isEmpty() || !options_.checkDriveTypeAndCapacity.checked())
        return result;

    const QString identity = typeName + capacityName + QStringLiteral(" (V") + cpuText + u')';
    if (transferMode != 2) {
        const QString text = Msg(context_, MsgId::ConnectedDrive) + identity + QStringLiteral("\n\n") +
                             Msg(context_, MsgId::SelectionMismatch) + QStringLiteral("\n\n") +
                             Msg(context_, MsgId::OkChangeCheckOrCancel);
        const BoxAnswer a =
            link_.asker().ask({text, context.texts.caption, BoxIcon::Warning, BoxButtons::OkCancel});
        if (a == BoxAnswer::Ok) {
            if (openOptions_)
                openOptions_();
        } else {
            result.cancelled = true;
        }
    } else {
        QString text = Msg(context_, MsgId::ConnectedDrive) + identity + QStringLiteral("\n\n");
        for (const QString& line : std::as_const(lines))
            text += line + u'\n';
        link_.asker().ask({text, context.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
    }
    return result;
}
