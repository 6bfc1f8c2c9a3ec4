// The settings section "Monitor": the set-up of the channels, the trigger and the time base,
// kept for the drive type and CPU version it was saved with.
#include "monitor/MonitorModel.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/WaitCursor.h"

namespace {

const QString kSection = QStringLiteral("Monitor");

QString key(const char* stem, int n) {
    return QString::fromLatin1(stem) + QString::number(n);
}

} // namespace

QStringList MonitorModel::settingsKeys() {
    QStringList keys{QStringLiteral("Inv1"), QStringLiteral("Inv2"), QStringLiteral("Inv3")};
    for (const char* stem : {"Select", "Item", "Unit", "Bi", "Plus", "MonCh"})
        for (int n = 1; n <= kMonitorChannels; ++n)
            keys << key(stem, n);
    for (const char* k : {"Max", "Zoom", "Trig", "TrigCh", "TrigSlope", "TrigLv", "TrigPos", "Time"})
        keys << QString::fromLatin1(k);
    return keys;
}

void MonitorModel::EraseMonitorSetupUnlessKept() {
    if (opt_.keepMonitorSetup.checked() || ctx_.paths.settingsIni.isEmpty())
        return;
    IniFile ini(ctx_.paths.settingsIni);
    if (!ini.sectionExists(kSection))
        return;
    ini.eraseSection(kSection);
    ini.flush();
}

void MonitorModel::RestoreMonitorSetup() {
    if (!state_.itemListLoaded || ctx_.paths.settingsIni.isEmpty())
        return;
    WaitCursor wait;
    MonitorBatch batch(*this);
    IniFile ini(ctx_.paths.settingsIni);
    // A set-up belongs to one drive type and CPU version; the form alone does not matter.
    if (ini.readString(kSection, QStringLiteral("Inv1"), QStringLiteral("-")) !=
            ctx_.drive.identity.typeName ||
        ini.readString(kSection, QStringLiteral("Inv3"), QStringLiteral("-")) !=
            ctx_.drive.identity.cpuVersion) {
        if (ini.sectionExists(kSection)) {
            ini.eraseSection(kSection);
            ini.flush();
        }
    }

    for (int n = 1; n <= kMonitorChannels; ++n)
        chooseItem(n - 1, ini.readInteger(kSection, key("Item", n), n - 1));
    for (int n = 1; n <= kMonitorChannels; ++n)
        setUnitChecked(n - 1, ini.readBool(kSection, key("Unit", n), false));
    for (int n = 1; n <= kMonitorChannels; ++n) {
        setText(MonitorField::Multiplier, n - 1, ini.readString(kSection, key("Bi", n), QStringLiteral("1")));
        enter(MonitorField::Multiplier, n - 1);
    }
    for (int n = 1; n <= kMonitorChannels; ++n) {
        setText(MonitorField::Offset, n - 1, ini.readString(kSection, key("Plus", n), QStringLiteral("0")));
        enter(MonitorField::Offset, n - 1);
    }
    for (int n = 1; n <= kMonitorChannels; ++n) {
        const int def = kDefaultChannelColours[n - 1];
        const int c = ini.readInteger(kSection, key("MonCh", n), def);
        // A system colour (negative) or garbage takes the channel's own colour.
        setColour(n - 1, c >= 0 && c <= 0xFFFFFF ? c : def);
    }
    // A saved time base is checked as a typed one; the recount below then sets the shortest.
    if (ini.valueExists(kSection, QStringLiteral("Time"))) {
        setText(MonitorField::TimeBase, 0, ini.readString(kSection, QStringLiteral("Time")));
        enter(MonitorField::TimeBase);
    }
    for (int n = 1; n <= kMonitorChannels; ++n)
        channels[std::size_t(n - 1)].checked = ini.readBool(kSection, key("Select", n), n <= 5);
    recount();
    setText(MonitorField::YMaximum, 0,
            ini.readString(kSection, QStringLiteral("Max"), QStringLiteral("100")));
    enter(MonitorField::YMaximum);
    setZoomChecked(ini.readBool(kSection, QStringLiteral("Zoom"), false));
    setTriggerSourceIndex(ini.readInteger(kSection, QStringLiteral("TrigCh"), 0));
    setSlope(ini.readInteger(kSection, QStringLiteral("TrigSlope"), 0));
    setText(MonitorField::TriggerLevel, 0,
            ini.readString(kSection, QStringLiteral("TrigLv"), QStringLiteral("0")));
    enter(MonitorField::TriggerLevel);
    setText(MonitorField::TriggerDelay, 0,
            ini.readString(kSection, QStringLiteral("TrigPos"), QStringLiteral("0")));
    enter(MonitorField::TriggerDelay);
    setTriggerChecked(ini.readBool(kSection, QStringLiteral("Trig"), false));
}

bool MonitorModel::WriteMonitorSetup() {
    // Without items there is no set-up: the one saved for this type's predecessor stays.
    if (!state_.itemListLoaded || ctx_.paths.settingsIni.isEmpty())
        return false;
    IniFile ini(ctx_.paths.settingsIni);
    ini.writeString(kSection, QStringLiteral("Inv1"), ctx_.drive.identity.typeName);
    ini.writeString(kSection, QStringLiteral("Inv2"), ctx_.drive.identity.formName);
    ini.writeString(kSection, QStringLiteral("Inv3"), ctx_.drive.identity.cpuVersion);
    for (int n = 1; n <= kMonitorChannels; ++n)
        ini.writeBool(kSection, key("Select", n), channels[std::size_t(n - 1)].checked);
    for (int n = 1; n <= kMonitorChannels; ++n)
        ini.writeInteger(kSection, key("Item", n), channels[std::size_t(n - 1)].item);
    for (int n = 1; n <= kMonitorChannels; ++n)
        ini.writeBool(kSection, key("Unit", n), channels[std::size_t(n - 1)].unitChecked);
    for (int n = 1; n <= kMonitorChannels; ++n)
        ini.writeString(kSection, key("Bi", n), channels[std::size_t(n - 1)].multiplierEdit.text);
    for (int n = 1; n <= kMonitorChannels; ++n)
        ini.writeString(kSection, key("Plus", n), channels[std::size_t(n - 1)].offsetEdit.text);
    for (int n = 1; n <= kMonitorChannels; ++n)
        ini.writeInteger(kSection, key("MonCh", n), channels[std::size_t(n - 1)].colour);
    ini.writeString(kSection, QStringLiteral("Max"), yMaximumEdit.text);
    ini.writeBool(kSection, QStringLiteral("Zoom"), zoomChecked);
    ini.writeBool(kSection, QStringLiteral("Trig"), triggerChecked);
    ini.writeInteger(kSection, QStringLiteral("TrigCh"), triggerSourceIndex);
    ini.writeInteger(kSection, QStringLiteral("TrigSlope"), triggerSlope);
    ini.writeString(kSection, QStringLiteral("TrigLv"), triggerLevelEdit.text);
    ini.writeString(kSection, QStringLiteral("TrigPos"), triggerDelayEdit.text);
    ini.writeString(kSection, QStringLiteral("Time"), timeBaseEdit.text);
    return ini.flush();
}
