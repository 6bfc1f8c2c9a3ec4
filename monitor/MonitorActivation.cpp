// What the monitor refreshes each time its window becomes active: the drive's rated voltage
// and current, the least time one item takes on the link, and the alarm and trip status
// items that take the places of CH10 and CH9.
#include "monitor/MonitorModel.h"

#include "core/ConversionBases.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "platform/Clock.h"

#include <algorithm>
#include <vector>

bool ReadConversionBases(CommLink& link, const ProgramContext& ctx, const Options& options,
                         ConversionBases& bases, bool keptConnection) {
    const ConversionBaseParameters p = conversionBaseParameters(ctx);
    const bool online = options.onlineCurrentVoltageBase.checked();
    const bool portOk = keptConnection ? link.ConnectDriveKept() : link.ConnectDrive();
    bases = workingConversionBases(ctx);
    const float workingCurrent = bases.ampere;
    if (online && portOk && p.voltIndex >= 0) {
        const ExchangeResult read = link.transact(p.voltIndex, QString(), QStringLiteral("R"));
        bases.volt = read.error ? p.fallbackVoltage : float(read.value / p.voltDivisor);
    }
    if (online && portOk && p.currentIndex >= 0) {
        const ExchangeResult read = link.transact(p.currentIndex, QString(), QStringLiteral("R"));
        bases.ampere = read.error ? workingCurrent : float(read.value / p.currentDivisor);
    }
    return portOk;
}

void MonitorModel::MeasureCommSpeed() {
    // The connect is the activation's one, made with the conversion bases: a drive that has
    // gone is known after that connect's wait alone.
    if (!portOk_) {
        state_.startEnabled = false;
        noteSpeed(state_.readTimeMs, 500);
        return;
    }
    state_.startEnabled = true;
    const int margin = opt_.readTimeMargin.position();
    const int reads = std::max(1, opt_.timedTestReads.position());
    // CH2's item as a rule; an item the drive type lacks would measure nothing, so then the
    // first channel whose item it has.
    int index = ChannelRecs[1].ParaIndex;
    for (int i = 0; index < 0 && i < kMonitorChannels; ++i)
        index = ChannelRecs[std::size_t(i)].ParaIndex;
    int readTime = 0;
    if (index >= 0) {
        // The link's time is that of reads answered on a clean line: a read that failed (a
        // late reply's time-out) or went out behind one (the line read quiet, the read
        // repeated) measures the fault, not the link. Such a read is made once more, at
        // most `reads` times in all, and not once the drive has fallen silent. Of the reads
        // answered, the middle one counts: a drive that answers one request at a time holds
        // the reads sent while it still owes a late reply, and those few must not set the pace.
        const qint64 t0 = link_.clock().nowUs();
        qint64 before = t0;
        std::vector<qint64> answeredUs;
        int made = 0;
        for (; made < 2 * reads && int(answeredUs.size()) < reads; ++made) {
            if (made >= reads && link_.silentExchanges() >= kSilentDriveExchanges)
                break;
            const ExchangeResult read = link_.transact(index, QString(), QStringLiteral("R"));
            const qint64 after = link_.clock().nowUs();
            if (!read.error && !read.afterFailure)
                answeredUs.push_back(after - before);
            before = after;
        }
        if (answeredUs.empty()) {
            // Nothing answered cleanly: the time it all took is what the link gives.
            readTime = int((before - t0) / 1000 / std::max(made, 1));
        } else {
            std::sort(answeredUs.begin(), answeredUs.end());
            const std::size_t mid = answeredUs.size() / 2;
            const qint64 us =
                answeredUs.size() % 2 ? answeredUs[mid] : (answeredUs[mid - 1] + answeredUs[mid]) / 2;
            readTime = int(us / 1000);
        }
    }
    noteSpeed(readTime, ((readTime + margin) / 50) * 50 + 50);
}

void MonitorModel::noteSpeed(int readTimeMs, int minItemTimeMs) {
    state_.readTimeMs = readTimeMs;
    state_.minItemTimeMs = minItemTimeMs;
}

void MonitorModel::SetStatusItems() {
    const bool alarm = opt_.monitorShowsAlarms.checked() && opt_.monitorShowsAlarms.enabled();
    const bool trip = opt_.monitorShowsTrips.checked() && opt_.monitorShowsTrips.enabled();
    // One status item takes CH10's row, two take CH9's as well.
    channels[9].shown = !(alarm || trip);
    channels[8].shown = !(alarm && trip);
    fillRecord(ChannelRecs[kAlarmRecord], alarm ? QStringLiteral("FC91") : QString());
    state_.watchAlarm = alarm && ChannelRecs[kAlarmRecord].ParaIndex >= 0;
    fillRecord(ChannelRecs[kTripRecord], trip ? QStringLiteral("FC90") : QString());
    state_.watchTrip = trip && ChannelRecs[kTripRecord].ParaIndex >= 0;
    recount();
    state_.keepTripData = opt_.monitorShowsTripData.checked() && opt_.monitorShowsTripData.enabled();
}

void MonitorModel::connectAndMeasure() {
    // A box shown by the link re-activates the window when it closes: no second pass inside
    // the first.
    if (activating_)
        return;
    activating_ = true;
    {
        MonitorBatch batch(*this);
        state_.bitOnValue = opt_.terminalSignalLevel.position();
        if (!runInProgress()) {
            portOk_ = ReadConversionBases(link_, ctx_, opt_, *bases_);
            MeasureCommSpeed();
            SetStatusItems();
        }
        state_.runStopEnabled = opt_.monitorRunStopControl.checked() && opt_.monitorRunStopControl.enabled();
        state_.continuousMode = opt_.continuousMonitoring.checked();
        if (state_.continuousMode)
            UpdateContinuousTimeBase();
        notify();
    }
    activating_ = false;
}
