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

#include <QPointer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A base read from the drive: its raw value (unsigned 32-bit) over the divisor, or `fallback`
// when the read failed.
float baseFrom(const ExchangeResult& read, double divisor, float fallback) {
    return read.error ? fallback : float(read.value / divisor);
}

} // namespace

bool ReadConversionBases(CommLink& link, const ProgramContext& ctx, const Options& options,
                         ConversionBases& bases, bool keptConnection) {
    const ConversionBaseParameters p = conversionBaseParameters(ctx);
    const bool online = options.onlineCurrentVoltageBase.checked();
    const bool portOk = keptConnection ? link.ConnectDriveKept() : link.ConnectDrive();
    bases = workingConversionBases(ctx);
    if (online && portOk && p.voltIndex >= 0)
        bases.volt = baseFrom(link.transact(p.voltIndex, QString(), QStringLiteral("R")), p.voltDivisor,
                              p.fallbackVoltage);
    if (online && portOk && p.currentIndex >= 0)
        bases.ampere = baseFrom(link.transact(p.currentIndex, QString(), QStringLiteral("R")),
                                p.currentDivisor, bases.ampere);
    return portOk;
}

int SpeedTestReadTimeMs(std::vector<qint64> answeredUs, qint64 allUs, int made) {
    // Nothing answered cleanly: the time it all took is what the link gives.
    if (answeredUs.empty())
        return int(allUs / 1000 / std::max(made, 1));
    std::sort(answeredUs.begin(), answeredUs.end());
    const std::size_t mid = answeredUs.size() / 2;
    const qint64 us = answeredUs.size() % 2 ? answeredUs[mid] : (answeredUs[mid - 1] + answeredUs[mid]) / 2;
    return int(us / 1000);
}

// ---- The activation's drive steps -------------------------------------------------------------
// They run in the background, one exchange after the other from the event loop: the user's clicks
// meanwhile (Key Pad in the main window, say) are taken at once rather than queued behind the
// whole measurement, and a command greyed by its connect is never one the user already clicked.

bool MonitorModel::activationTaken() {
    // A run started meanwhile owns the link, or the window was left (the user went on to another
    // window's work, and the next activation measures again): the pass ends here, what it
    // measured so far dropped.
    if (!runInProgress() && !activationLeft_)
        return false;
    finishActivation(false);
    return true;
}

void MonitorModel::activationLeft() {
    if (activating_)
        activationLeft_ = true;
}

void MonitorModel::readOnlineBase(int which) {
    if (which > 1)
        return MeasureCommSpeed();
    const ConversionBaseParameters p = conversionBaseParameters(ctx_);
    const int index = which == 0 ? p.voltIndex : p.currentIndex;
    if (!opt_.onlineCurrentVoltageBase.checked() || !portOk_ || index < 0)
        return readOnlineBase(which + 1);
    const QPointer<MonitorModel> self(this);
    link_.transactInBackground(index, QString(), QStringLiteral("R"),
                               [self, which, p](const ExchangeResult& read) {
                                   if (!self || self->activationTaken())
                                       return;
                                   ConversionBases& bases = *self->bases_;
                                   if (which == 0)
                                       bases.volt = baseFrom(read, p.voltDivisor, p.fallbackVoltage);
                                   else
                                       bases.ampere = baseFrom(read, p.currentDivisor, bases.ampere);
                                   self->readOnlineBase(which + 1);
                               });
}

void MonitorModel::MeasureCommSpeed() {
    // The connect is the activation's one, made with the conversion bases: a drive that has
    // gone is known after that connect's wait alone.
    if (!portOk_) {
        state_.startEnabled = false;
        noteSpeed(state_.readTimeMs, 500);
        return finishActivation(true);
    }
    state_.startEnabled = true;
    auto test = std::make_shared<SpeedTest>();
    test->reads = std::max(1, opt_.timedTestReads.position());
    // CH2's item as a rule; an item the drive type lacks would measure nothing, so then the
    // first channel whose item it has.
    test->index = ChannelRecs[1].ParaIndex;
    for (int i = 0; test->index < 0 && i < kMonitorChannels; ++i)
        test->index = ChannelRecs[std::size_t(i)].ParaIndex;
    test->startUs = test->beforeUs = link_.clock().nowUs();
    nextSpeedRead(test);
}

void MonitorModel::nextSpeedRead(const std::shared_ptr<SpeedTest>& test) {
    // The link's time is that of reads answered on a clean line: a read that failed (a late
    // reply's time-out) or went out behind one (the line read quiet, the read repeated)
    // measures the fault, not the link. Such a read is made once more, at most `reads` times
    // in all, and not once the drive has fallen silent. Of the reads answered, the middle one
    // counts: a drive that answers one request at a time holds the reads sent while it still
    // owes a late reply, and those few must not set the pace.
    SpeedTest& t = *test;
    const bool more = t.index >= 0 && t.made < 2 * t.reads && int(t.answeredUs.size()) < t.reads &&
                      !(t.made >= t.reads && link_.silentExchanges() >= kSilentDriveExchanges);
    if (!more) {
        const int readTime =
            t.index < 0 ? 0 : SpeedTestReadTimeMs(t.answeredUs, t.beforeUs - t.startUs, t.made);
        noteSpeed(readTime, ((readTime + opt_.readTimeMargin.position()) / 50) * 50 + 50);
        return finishActivation(true);
    }
    const QPointer<MonitorModel> self(this);
    link_.transactInBackground(t.index, QString(), QStringLiteral("R"),
                               [self, test](const ExchangeResult& read) {
                                   if (!self || self->activationTaken())
                                       return;
                                   const qint64 after = self->link_.clock().nowUs();
                                   if (!read.error && !read.afterFailure)
                                       test->answeredUs.push_back(after - test->beforeUs);
                                   test->beforeUs = after;
                                   ++test->made;
                                   self->nextSpeedRead(test);
                               });
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
    // One pass at a time: a box shown by the link re-activates the window when it closes, and
    // the window may be activated again while the drive is still being asked.
    if (activating_) {
        activationLeft_ = false; // back before the pass was over: it goes on
        return;
    }
    state_.bitOnValue = opt_.terminalSignalLevel.position();
    if (runInProgress())
        return finishActivation(false);
    activating_ = true;
    *bases_ = workingConversionBases(ctx_);
    const QPointer<MonitorModel> self(this);
    link_.ConnectDriveInBackground([self](bool connected) {
        if (!self || self->activationTaken())
            return;
        // Start disabled says it, as a connect that waited for the drive did.
        if (!connected)
            self->link_.failureShownByCaller();
        self->portOk_ = connected;
        self->readOnlineBase(0);
    });
}

void MonitorModel::finishActivation(bool measured) {
    MonitorBatch batch(*this);
    if (measured)
        SetStatusItems();
    state_.runStopEnabled = opt_.monitorRunStopControl.checked() && opt_.monitorRunStopControl.enabled();
    state_.continuousMode = opt_.continuousMonitoring.checked();
    if (state_.continuousMode)
        UpdateContinuousTimeBase();
    activating_ = false;
    activationLeft_ = false;
    notify();
}
