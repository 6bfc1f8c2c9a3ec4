#include "monitor/MonitorRecord.h"

#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "monitor/MonitorModel.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>

MonitorFileHeader monitorFileHeader(const MonitorModel& model, const QString& timeBase, int errorCount) {
    const ProgramContext& context = model.context();
    MonitorFileHeader h;
    h.typeName = context.drive.identity.typeName;
    h.formName = context.drive.identity.formName;
    h.cpuVersion = context.drive.identity.cpuVersion;
    h.alarmWord = model.runState().watchAlarm;
    h.tripCode = model.runState().watchTrip;
    h.tripData = model.runState().keepTripData;
    h.yMaximum = model.yMaximumEdit.text;
    h.timeBase = timeBase;
    h.triggerChannel = model.triggerSourceIndex;
    h.triggerSlope = model.triggerSlope;
    h.triggerLevel = model.triggerLevelEdit.text;
    h.triggerDelay = model.triggerDelayEdit.text;
    h.triggerOn = model.triggerChecked;
    h.errorCount = errorCount;
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = model.channels[std::size_t(i)];
        ChannelSetup& ch = h.channels[std::size_t(i)];
        // A channel without an item reads back as the first item.
        ch.itemIndex = c.item < 0 ? 0 : c.item;
        ch.multiplierStep = c.multiplierEdit.position;
        // The offset the samples were drawn with, not an edit's untaken text.
        ch.offset = QString::number(c.offset);
        ch.on = c.checked;
    }
    return h;
}

void applyMonitorFileHeader(MonitorModel& model, const MonitorFileHeader& h,
                            const MonitorFile::ReadResult& result) {
    if (!result.accepted())
        return;
    MonitorBatch batch(model);
    auto enterText = [&model](MonitorField field, int channel, const QString& text) {
        model.setText(field, channel, text);
        model.enter(field, channel);
    };
    if (result.form == MonitorFile::Form::Current) {
        Options& o = model.options();
        o.monitorShowsAlarms.setChecked(h.alarmWord);
        o.monitorShowsTrips.setChecked(h.tripCode);
        o.monitorShowsTripData.setChecked(h.tripData);
        model.SetStatusItems();
        enterText(MonitorField::YMaximum, 0, h.yMaximum);
        model.setTriggerSourceIndex(h.triggerChannel);
        model.setSlope(h.triggerSlope);
        enterText(MonitorField::TriggerLevel, 0, h.triggerLevel);
        enterText(MonitorField::TriggerDelay, 0, h.triggerDelay);
        model.setTriggerChecked(h.triggerOn);
    } else {
        enterText(MonitorField::YMaximum, 0, h.yMaximum);
        if (h.timeBasePosition >= 0)
            model.step(MonitorField::TimeBase, 0, h.timeBasePosition);
    }
    const int channels = std::clamp(result.channels, 0, kMonitorChannels);
    std::array<bool, kMonitorChannels> on{};
    for (int i = 0; i < channels; ++i) {
        const ChannelSetup& ch = h.channels[std::size_t(i)];
        model.chooseItem(i, ch.itemIndex);
        model.step(MonitorField::Multiplier, i, ch.multiplierStep);
        enterText(MonitorField::Offset, i, ch.offset);
        on[std::size_t(i)] = ch.on;
    }
    model.checkChannels(std::span<const bool>(on).first(std::size_t(channels)));
}

int scrollingChannelOf(const MonitorModel& model) {
    for (int i = 0; i < kMonitorChannels; ++i)
        if (model.channels[std::size_t(i)].checked && model.samples.lastPointOf(i) >= 0)
            return i;
    return -1;
}

MonitorCsvSetup monitorCsvSetup(const MonitorModel& model, int errorCount) {
    const ProgramContext& context = model.context();
    MonitorCsvSetup s;
    s.typeName = context.drive.identity.typeName;
    s.formName = context.drive.identity.formName;
    s.decimalComma = context.language.decimalComma;
    s.errorCount = QString::number(errorCount);
    if (!context.language.iniPath.isEmpty()) {
        const IniFile ini(Paths::resolvedOrAsGiven(context.language.iniPath));
        const QString section = QStringLiteral("PrintMon");
        s.itemCaption = ini.readString(section, QStringLiteral("Label3"), s.itemCaption);
        s.multiplierCaption = ini.readString(section, QStringLiteral("Label4"), s.multiplierCaption);
        s.offsetCaption = ini.readString(section, QStringLiteral("Label5"), s.offsetCaption);
    }
    if (context.store) {
        s.channelCaption = context.store->Msg(55);
        s.errorCaption = context.store->Msg(84);
    }
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = model.channels[std::size_t(i)];
        MonitorCsvChannel& ch = s.channels[std::size_t(i)];
        ch.itemText = c.itemText;
        ch.on = c.checked;
        ch.itemEnabled = c.controlsEnabled;
        ch.multiplier = c.multiplier;
        ch.offset = c.offset;
    }
    return s;
}
