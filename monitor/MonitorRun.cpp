#include "monitor/MonitorRun.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/DriveChecks.h"
#include "monitor/ChannelValues.h"
#include "monitor/ContinuousRecorder.h"
#include "monitor/LevelTrigger.h"
#include "monitor/RunPacing.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <limits>

namespace {

constexpr int kKeyRun = 0x01;
constexpr int kKeyStop = 0x02;
const QString kErr = QStringLiteral("Err.");

} // namespace

// What a run takes from the set-up when it starts; the set-up can change under a waiting
// loop (a handler, an activation) without touching the run in progress.
struct MonitorRun::Setup {
    std::array<bool, kMonitorChannels> active{};
    std::array<MonChannelRec, kChannelRecords> recs;
    std::array<bool, kMonitorChannels> unitChecked{};
    std::array<QString, kMonitorChannels> changedUnit;
    std::array<QString, kMonitorChannels> items;
    int scrolling = -1; // the channel whose points move the chart's window; -1: none
    int pointsPerChannel = 0;
    bool zeroOnError = false;
    int bitOn = 15;
    bool alarm = false, trip = false, tripDatas = false;
    qint64 keyBase = 0;
    int keyCodeIndex = -1, keyFlagIndex = -1;
    bool runKeysDuringRun = false;
    int triggerChannel = 0, level = 0, slope = 0, delay = 0;
    float triggerMultiplier = 1.0f;
    qint16 triggerOffset = 0;
    int minutes = 0, secondsPerPoint = 10, stepFactor = 1;
    bool decimalComma = false;
};

// ---- MonitorRun -------------------------------------------------------------------------------

MonitorRun::MonitorRun(MonitorModel& model, RunPacer& pacer, QObject* parent)
    : QObject(parent), m_(model), pacer_(pacer), s_(std::make_unique<Setup>()) {}

MonitorRun::~MonitorRun() = default;

qint64 MonitorRun::keyCode(int key, qint64 holdMs, bool wideKeyCode) {
    qint64 quarters = std::max<qint64>(holdMs, 0) / 4;
    // A 16-bit key code has eight bits for the time; more would spill out of the parameter.
    if (!wideKeyCode)
        quarters = std::min<qint64>(quarters, 255);
    return (quarters << 8) + key;
}

RunEnd MonitorRun::refuse(MsgId message, bool errorIcon) {
    return refuse(Msg(m_.context(), message), errorIcon);
}

RunEnd MonitorRun::refuse(const QString& text, bool errorIcon) {
    m_.link().asker().ask(
        {text, m_.context().texts.caption, errorIcon ? BoxIcon::Error : BoxIcon::Warning, BoxButtons::Ok});
    return RunEnd::Refused;
}

QStringList MonitorRun::cutChannels() const {
    const Protocol protocol = m_.link().settings().protocolKind();
    QStringList out;
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = m_.channels[std::size_t(i)];
        if (c.active() && ChannelValues::cutToLowHalf(m_.ChannelRecs[std::size_t(i)], protocol))
            out << QStringLiteral("CH%1 : %2").arg(i + 1).arg(c.itemText);
    }
    return out;
}

void MonitorRun::prepare(Setup& s) {
    const ProgramContext& ctx = m_.context();
    const Options& opt = m_.options();
    s = Setup();
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = m_.channels[std::size_t(i)];
        s.active[std::size_t(i)] = c.active();
        s.unitChecked[std::size_t(i)] = c.unitChecked;
        s.changedUnit[std::size_t(i)] = m_.lists.changedUnit(c.item);
        if (c.active()) {
            s.items[std::size_t(i)] = c.itemText;
            if (s.scrolling < 0)
                s.scrolling = i;
        }
    }
    s.recs = m_.ChannelRecs;
    s.pointsPerChannel = std::clamp(m_.runState().pointsPerChannel, 0, kMaxSampleTimes - 1);
    s.zeroOnError = opt.zeroOnCommError.checked();
    s.bitOn = m_.runState().bitOnValue;
    s.alarm = m_.runState().watchAlarm;
    s.trip = m_.runState().watchTrip;
    s.tripDatas = m_.runState().keepTripData;
    s.keyCodeIndex = m_.runState().keyCodeIndex;
    s.keyFlagIndex = m_.runState().keyFlagIndex;
    s.runKeysDuringRun = opt.monitorRunStopControl.checked() && opt.monitorRunStopControl.enabled();
    s.triggerChannel = std::clamp(m_.runState().triggerChannel, 0, kMonitorChannels - 1);
    s.level = m_.runState().triggerLevel;
    s.slope = m_.triggerSlope;
    s.delay = m_.triggerDelayEdit.position;
    s.triggerMultiplier = m_.channels[std::size_t(s.triggerChannel)].multiplier;
    s.triggerOffset = m_.channels[std::size_t(s.triggerChannel)].offset;
    s.minutes = m_.runState().recordMinutes;
    s.secondsPerPoint = std::max(1, m_.runState().recordSecondsPerPoint);
    s.stepFactor = std::max(1, m_.runState().recordStepFactor);
    s.decimalComma = ctx.language.decimalComma;

    // The period in whole microseconds: five samples per division of the time base (held in
    // milliseconds per division), so that no fraction is lost at any step.
    period_ = kind_ == RunKind::Continuous ? qint64(s.secondsPerPoint) * 1000000
                                           : qint64(std::max(m_.timeBaseEdit.position, 1)) * 200;
    const bool wide = ctx.store && ctx.drive.definition(s.keyCodeIndex).wide();
    s.keyBase = keyCode(0, period_ / 1000, wide);
}

RunEnd MonitorRun::start() {
    if (running_)
        return RunEnd::Refused;
    Options& opt = m_.options();
    // The connect step refuses once a run holds the link, so it comes first.
    if (!m_.connectDrive())
        return refuse(MsgId::CannotConnect, false);
    if (m_.runState().activeCount < 1)
        return refuse(MsgId::NoChannelSelected, true);
    kind_ = opt.continuousMonitoring.checked() ? RunKind::Continuous
            : m_.triggerChecked                ? RunKind::Triggered
                                               : RunKind::Normal;
    // A source that is not sampled has no value to compare.
    if (kind_ == RunKind::Triggered &&
        !m_.channels[std::size_t(std::clamp(m_.runState().triggerChannel, 0, kMonitorChannels - 1))].active())
        return refuse(MsgId::NoChannelSelected, true);
    // 16 bits of a 32-bit item would be charted, recorded and printed as its value.
    if (const QStringList cut = cutChannels(); !cut.isEmpty())
        return refuse(Msg(m_.context(), MsgId::WideItemsNotMonitored) + u'\n' + cut.join(u'\n'), false);
    if (kind_ == RunKind::Continuous)
        m_.UpdateContinuousTimeBase();

    running_ = true;
    stopRequest_ = false;
    end_ = RunEnd::Completed;
    noNumberShown_ = false;
    late_ = 0;
    // A request left over from before never reaches the drive.
    driveRunRequest_ = driveStopRequest_ = false;
    tripped_ = false;
    prepare(*s_);
    display_ = RunDisplay();
    display_.readouts.fill(QStringLiteral("0"));
    display_.timeBase =
        kind_ == RunKind::Continuous ? m_.runState().recordTimeBaseText : m_.timeBaseEdit.text;

    RunEnd end = RunEnd::Completed;
    {
        const auto done = qScopeGuard([this] {
            running_ = false;
            driveRunRequest_ = driveStopRequest_ = false;
            display_.waiting = false;
            display_.alarm.clear();
            display_.trip.clear();
        });
        MonitorRunningGuard guard(m_.runLock());
        SampleStore& store = m_.samples;
        store.clear();
        // The chart places each sample at the slot its time falls in; a continuous recording
        // plots one point every stepFactor samples.
        store.setPeriodMs(kind_ == RunKind::Continuous ? double(period_) * s_->stepFactor / 1000.0
                                                       : double(period_) / 1000.0);
        for (int i = 0; i < kMonitorChannels; ++i) {
            const MonitorChannel& c = m_.channels[std::size_t(i)];
            store.setScale(i, c.multiplier, c.offset);
        }
        m_.sampleWindow.startRun();
        emit runStarted();
        switch (kind_) {
        case RunKind::Normal:
            end = runNormal();
            break;
        case RunKind::Triggered:
            end = runTriggered();
            break;
        case RunKind::Continuous:
            end = runContinuous();
            break;
        }
        m_.keepLastPoint();
        m_.sampleWindow.finishRun();
    }
    emit runFinished(end);
    return end;
}

void MonitorRun::requestEnd(RunEnd why) {
    if (!stopRequest_) {
        stopRequest_ = true;
        end_ = why;
    }
    pacer_.interrupt();
}

void MonitorRun::showRecord(const QString& timeBase, int errorCount) {
    display_ = RunDisplay();
    display_.readouts.fill(QStringLiteral("0"));
    display_.timeBase = timeBase;
    display_.errorCount = errorCount;
    display_.errorsShown = errorCount > 0;
}

void MonitorRun::stop() {
    if (running_)
        requestEnd(RunEnd::Stopped);
}

// ---- Drive RUN and STOP -------------------------------------------------------------------------

void MonitorRun::writeKey(int index, qint64 value) {
    m_.link().transact(index, QString::number(value), QStringLiteral("P"));
}

void MonitorRun::pressImmediately(int key) {
    const ProgramContext& ctx = m_.context();
    const bool wide = ctx.store && ctx.drive.definition(m_.runState().keyCodeIndex).wide();
    writeKey(m_.runState().keyCodeIndex, 0);
    writeKey(m_.runState().keyFlagIndex, 1);
    writeKey(m_.runState().keyCodeIndex, keyCode(key, m_.runState().readTimeMs, wide));
    writeKey(m_.runState().keyFlagIndex, 0);
}

void MonitorRun::driveRun() {
    // A recording waits seconds between its samples: the keys act at once there (the loop is
    // waiting, so nothing else is on the link).
    if (running_ && kind_ != RunKind::Continuous && s_->runKeysDuringRun) {
        writeKey(s_->keyCodeIndex, 0);
        driveRunRequest_ = true;
        pacer_.interrupt();
        return;
    }
    pressImmediately(kKeyRun);
}

void MonitorRun::driveStop() {
    if (running_ && kind_ != RunKind::Continuous) {
        writeKey(s_->keyCodeIndex, 0);
        driveStopRequest_ = true;
        pacer_.interrupt();
        return;
    }
    pressImmediately(kKeyStop);
}

void MonitorRun::serviceRequests() {
    const Setup& s = *s_;
    if (driveRunRequest_) {
        writeKey(s.keyFlagIndex, 1);
        writeKey(s.keyCodeIndex, s.keyBase + kKeyRun);
        driveRunRequest_ = false;
        writeKey(s.keyFlagIndex, 0);
    }
    if (driveStopRequest_) {
        writeKey(s.keyFlagIndex, 1);
        writeKey(s.keyCodeIndex, s.keyBase + kKeyStop);
        driveStopRequest_ = false;
        writeKey(s.keyFlagIndex, 0);
    }
}

// ---- Per sample --------------------------------------------------------------------------------

MonitorRun::ChannelReading MonitorRun::readChannel(int i) {
    const MonChannelRec& rec = s_->recs[std::size_t(i)];
    const ExchangeResult read = m_.link().transact(rec.ParaIndex, QString(), QStringLiteral("R"));
    if (read.error)
        return {Read::Failed, 0.0};
    const std::optional<double> v = ChannelValues::channelValue(rec, read.value, s_->bitOn);
    if (!v)
        return {Read::NoNumber, 0.0};
    return {Read::Value, *v};
}

void MonitorRun::betweenExchanges() {
    pacer_.serveEvents();
    serviceRequests();
}

bool MonitorRun::readChannels(ChannelReadings& out, bool mayDrop) {
    // A sample begun after Stop (the one a triggered run still takes) is taken whole.
    const bool stoppedBefore = stopRequest_;
    for (int i = 0; i < kMonitorChannels; ++i) {
        if (!s_->active[std::size_t(i)])
            continue;
        if (mayDrop && stopRequest_ && !stoppedBefore)
            return false;
        out[std::size_t(i)] = readChannel(i);
        betweenExchanges();
    }
    return true;
}

void MonitorRun::showValue(int i, double value) {
    const ProgramContext& ctx = m_.context();
    const Setup& s = *s_;
    const double shown =
        ChannelValues::displayValue(value, s.unitChecked[std::size_t(i)], s.changedUnit[std::size_t(i)],
                                    m_.options(), m_.conversionBases().ampere, m_.conversionBases().volt);
    display_.readouts[std::size_t(i)] =
        ChannelValues::formatNumber(ctx.drive, s.recs[std::size_t(i)].ParaIndex, shown, s.decimalComma);
}

void MonitorRun::noteNoNumber(int) {
    // Once per run: a box at every sample would stall the run for good.
    if (noNumberShown_)
        return;
    noNumberShown_ = true;
    const ProgramContext& ctx = m_.context();
    QString text = ctx.texts.dataIncorrect;
    if (text.isEmpty() && ctx.store)
        text = Msg(ctx, MsgId::DataIncorrect);
    m_.link().asker().ask({text, ctx.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
}

void MonitorRun::readStatus() {
    const Setup& s = *s_;
    if (s.alarm) {
        const MonChannelRec& rec = s.recs[kAlarmRecord];
        const ExchangeResult read = m_.link().transact(rec.ParaIndex, QString(), QStringLiteral("R"));
        const qint64 w = read.error ? 0 : ChannelValues::reading(rec, read.value);
        QString line;
        for (int b = 0; w > 0 && b < 16; ++b) {
            if (ChannelValues::bitSet(w, b))
                line += m_.lists.alarmNames.value(b, QStringLiteral("-")) + QLatin1Char(',');
        }
        display_.alarm = line;
        betweenExchanges();
    }
    if (s.trip) {
        const MonChannelRec& rec = s.recs[kTripRecord];
        const ExchangeResult read = m_.link().transact(rec.ParaIndex, QString(), QStringLiteral("R"));
        const qint64 code = read.error ? 0 : ChannelValues::reading(rec, read.value);
        QString line;
        if (code > 0) {
            tripped_ = true;
            const qsizetype j = m_.lists.tripCodes.indexOf(QString::number(code));
            if (j >= 0)
                line = m_.lists.tripNames.value(j);
            if (s.tripDatas)
                requestEnd(RunEnd::Tripped);
        }
        display_.trip = line;
    }
}

void MonitorRun::countError(bool failed) {
    if (!failed)
        return;
    ++display_.errorCount;
    display_.errorsShown = true;
}

void MonitorRun::scroll(int p) {
    if (s_->scrolling >= 0) {
        const int x = m_.samples.position(p);
        m_.sampleWindow.pointAdded(x, x);
    }
}

// ---- Pacing ------------------------------------------------------------------------------------

void MonitorRun::beginSchedule() {
    start_ = pacer_.nowMicros();
    slot_ = 0;
}

quint32 MonitorRun::elapsedMs() const {
    return quint32((pacer_.nowMicros() - start_) / 1000);
}

bool MonitorRun::waitForNextSlot() {
    ++slot_;
    const qint64 deadline = start_ + slot_ * period_;
    for (;;) {
        if (stopRequest_)
            return false;
        const RunPacer::Wake wake = pacer_.waitUntil(deadline);
        if (stopRequest_)
            return false;
        if (wake == RunPacer::Wake::Quit) {
            requestEnd(RunEnd::Quit);
            return false;
        }
        if (wake == RunPacer::Wake::Deadline)
            break;
        // A RUN or STOP key was pressed while waiting: carried out now, between exchanges.
        serviceRequests();
    }
    const qint64 now = pacer_.nowMicros();
    if (now - deadline >= period_) {
        // The whole slot has passed: this sample is late and takes the slot it falls in.
        ++late_;
        slot_ = (now - start_) / period_;
    }
    return true;
}

// ---- Sampling into the store ----------------------------------------------------------------------

// Takes samples from index `first` until the store is full or the run ends. A failed read on the
// first sample is stored as `firstErrorKind`, on every later one as `laterErrorKind`.
RunEnd MonitorRun::sampleIntoStore(int first, SampleStore::PointKind firstErrorKind,
                                   SampleStore::PointKind laterErrorKind) {
    const Setup& s = *s_;
    SampleStore& store = m_.samples;
    beginSchedule();
    for (int p = first;; ++p) {
        const quint32 t = elapsedMs();
        ChannelReadings readings;
        if (!readChannels(readings, p > 0))
            break;
        store.appendSample(t);
        bool failed = false;
        for (int i = 0; i < kMonitorChannels; ++i) {
            if (!s.active[std::size_t(i)])
                continue;
            const ChannelReading& r = readings[std::size_t(i)];
            switch (r.outcome) {
            case Read::Value:
                store.setValue(i, p, r.value);
                showValue(i, r.value);
                break;
            case Read::Failed:
                store.setErrorPoint(i, p, p > first ? laterErrorKind : firstErrorKind);
                display_.readouts[std::size_t(i)] = kErr;
                failed = true;
                break;
            case Read::NoNumber:
                noteNoNumber(i);
                break;
            }
        }
        scroll(p);
        readStatus();
        countError(failed);
        emit sampleTaken();
        serviceRequests();
        if (stopRequest_ || p >= s.pointsPerChannel || !waitForNextSlot())
            break;
    }
    return stopRequest_ ? end_ : RunEnd::Completed;
}

// ---- The normal loop -----------------------------------------------------------------------------

RunEnd MonitorRun::runNormal() {
    const Setup& s = *s_;
    const auto errorKind =
        s.zeroOnError ? SampleStore::PointKind::ZeroOnError : SampleStore::PointKind::RepeatOnError;
    return sampleIntoStore(0, errorKind, errorKind);
}

// ---- The triggered loop --------------------------------------------------------------------------

RunEnd MonitorRun::runTriggered() {
    const Setup& s = *s_;
    SampleStore& store = m_.samples;
    PreTriggerBuffer buffer(preTriggerCount(s.delay, s.pointsPerChannel));
    LevelTrigger trigger(s.level, s.slope, s.triggerMultiplier, s.triggerOffset);
    const double none = std::numeric_limits<double>::quiet_NaN();

    display_.waiting = true;
    beginSchedule();
    for (;;) {
        BufferedSample b;
        b.elapsedMs = elapsedMs();
        ChannelReadings readings;
        if (!readChannels(readings, !buffer.isEmpty()))
            break;
        for (int i = 0; i < kMonitorChannels; ++i) {
            if (!s.active[std::size_t(i)])
                continue;
            const ChannelReading& r = readings[std::size_t(i)];
            switch (r.outcome) {
            case Read::Value:
                b.value[std::size_t(i)] = r.value;
                b.kind[std::size_t(i)] = SampleStore::PointKind::Measured;
                showValue(i, r.value);
                break;
            case Read::Failed:
                // The channel's sample before stands in (not counted while waiting).
                b.value[std::size_t(i)] = buffer.isEmpty() ? none : buffer.newest().value[std::size_t(i)];
                b.kind[std::size_t(i)] = SampleStore::PointKind::RepeatOnError;
                display_.readouts[std::size_t(i)] = kErr;
                break;
            case Read::NoNumber:
                b.value[std::size_t(i)] = none;
                b.kind[std::size_t(i)] = SampleStore::PointKind::Gap;
                noteNoNumber(i);
                break;
            }
        }
        buffer.push(b);
        readStatus();
        emit sampleTaken();
        serviceRequests();
        if (stopRequest_)
            break;
        const bool fired = trigger.test(b.value[std::size_t(s.triggerChannel)]);
        if (!waitForNextSlot() || fired)
            break;
        buffer.trim();
    }

    // The sample that fired (or the one Stop or a trip ended the wait on) is not kept; those
    // before it are the pre-trigger part, at indices 0 .. tri - 1.
    const int tri = buffer.size() - 1;
    // A failed read kept from the wait (the run's first sample among them) is part of the
    // record and counts as one after the trigger does; those the wait dropped do not.
    int keptFailures = 0;
    for (int d = 0; d < tri; ++d) {
        const BufferedSample& b = buffer.at(d);
        store.setSampleTime(d, b.elapsedMs);
        bool failed = false;
        for (int i = 0; i < kMonitorChannels; ++i) {
            if (!s.active[std::size_t(i)])
                continue;
            const SampleStore::PointKind kind = b.kind[std::size_t(i)];
            if (kind == SampleStore::PointKind::Measured)
                store.setValue(i, d, b.value[std::size_t(i)]);
            else if (kind != SampleStore::PointKind::Gap)
                store.setErrorPoint(i, d, kind);
            failed = failed || kind == SampleStore::PointKind::RepeatOnError;
        }
        keptFailures += failed ? 1 : 0;
    }
    // The first sample after the trigger stands one slot after the last one before it.
    const int triggerX = tri > 0 ? store.position(tri - 1) + 1 : 0;
    m_.sampleWindow.setTriggerRingIndex(triggerX);
    if (s.scrolling >= 0)
        m_.sampleWindow.showFrom(triggerX);
    display_.waiting = false;
    display_.errorCount = keptFailures;
    display_.errorsShown = keptFailures > 0;

    // Times after the trigger count from the trigger. Stop or a trip while waiting still
    // takes this one sample.
    // The first sample after the trigger has no plotted point before it.
    return sampleIntoStore(tri, SampleStore::PointKind::ZeroOnError, SampleStore::PointKind::RepeatOnError);
}

// ---- The continuous recording ----------------------------------------------------------------------

std::optional<RunEnd> MonitorRun::openRecording(ContinuousRecorder& recorder) {
    ProgramContext& ctx = m_.context();
    const Setup& s = *s_;
    auto msg = [&](MsgId id) { return Msg(ctx, id); };
    const QString info = msg(MsgId::RecordTimeLabel) + QString::number(s.minutes) +
                         QStringLiteral("(min)\n") + msg(MsgId::SamplingTimeLabel) +
                         QString::number(s.secondsPerPoint) + QStringLiteral("(s/point)\n\n") +
                         msg(MsgId::RecordingToCsv) + QStringLiteral("\n") + msg(MsgId::EstimatedFileSize) +
                         m_.runState().recordSizeText + msg(MsgId::KilobyteUnit);
    Asker& asker = m_.link().asker();
    asker.ask({info, ctx.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
    const QString chosen =
        asker.chooseSaveFile({saveTitle, ctx.recent.monitorFolder, saveFilter, 1}, QString(), nullptr);
    if (chosen.isEmpty())
        return RunEnd::Cancelled;
    const QFileInfo info2(chosen);
    const QString name = info2.fileName();
    if (name.isEmpty())
        return RunEnd::Cancelled;
    // Always the folder chosen, never the current folder.
    const QString folder = info2.absolutePath();
    ctx.recent.monitorFolder = folder;
    const QString final = RecordingFile::withCsvSuffix(name);
    const QString path = Paths::join(folder, final);
    // The dialog asked about the name as typed; a file under the longer name was not asked
    // about and would be lost without a word.
    if (final != name && QFileInfo::exists(path)) {
        const BoxAnswer a = asker.ask({QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                           .arg(QDir::toNativeSeparators(path)),
                                       ctx.texts.caption, BoxIcon::Warning, BoxButtons::YesNoDefaultNo});
        if (a != BoxAnswer::Yes)
            return RunEnd::Cancelled;
    }
    ctx.recent.monitorName = final;

    RecordingHeader h;
    h.driveType = ctx.drive.identity.typeName;
    h.driveForm = ctx.drive.identity.formName;
    h.minutes = s.minutes;
    h.secondsPerPoint = s.secondsPerPoint;
    if (const QString caption = msg(MsgId::TimeMsColumn); !caption.isEmpty())
        h.timeCaption = caption;
    h.items = s.items;
    QString error;
    if (!recorder.create(path, h, &error)) {
        // A full disk is said as a row that cannot be written says it; any other failure with
        // the system's reason.
        asker.ask({recorder.diskFull() ? WriteFailureText(ctx, path, true) : error,
                   QString::fromLatin1(kProductName), BoxIcon::Error, BoxButtons::Ok});
        return RunEnd::Cancelled;
    }
    return std::nullopt;
}

RunEnd MonitorRun::runContinuous() {
    const Setup& s = *s_;
    ContinuousRecorder recorder(m_.samples, s.stepFactor, s.decimalComma);
    if (const std::optional<RunEnd> refused = openRecording(recorder))
        return *refused;
    const quint64 limitMs = quint64(std::max(s.minutes, 0)) * 60000u;
    beginSchedule();
    for (;;) {
        const quint32 t = elapsedMs();
        ChannelReadings readings;
        if (!readChannels(readings, true))
            return end_;
        ChannelArray values{};
        std::array<bool, kMonitorChannels> recorded{}, gap{};
        bool failed = false;
        for (int i = 0; i < kMonitorChannels; ++i) {
            const auto k = std::size_t(i);
            if (!s.active[k])
                continue;
            recorded[k] = true;
            const ChannelReading& r = readings[k];
            switch (r.outcome) {
            case Read::Value:
                values[k] = r.value;
                showValue(i, r.value);
                break;
            case Read::Failed:
                values[k] = recorder.previous(i);
                display_.readouts[k] = kErr;
                failed = true;
                break;
            case Read::NoNumber:
                values[k] = recorder.previous(i);
                gap[k] = true;
                noteNoNumber(i);
                break;
            }
        }
        const int plotted = recorder.plot(t, values, recorded, gap);
        if (plotted >= 0)
            scroll(plotted);
        readStatus();
        countError(failed);
        emit sampleTaken();
        if (limitMs < t)
            return RunEnd::Completed;
        // Written before the wait: Stop, a trip or a lost drive lose nothing already sampled.
        if (!recorder.write(t, values)) {
            m_.link().asker().ask({WriteFailureText(m_.context(), recorder.path(), recorder.diskFull()),
                                   QString::fromLatin1(kProductName), BoxIcon::Error, BoxButtons::Ok});
            return RunEnd::FileFailed;
        }
        if (stopRequest_ || !waitForNextSlot())
            return end_;
    }
}
