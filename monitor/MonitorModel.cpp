#include "monitor/MonitorModel.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "monitor/ContinuousRecorder.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/WaitCursor.h"

#include <algorithm>
#include <cmath>

namespace {

const QString kNoUnit = QStringLiteral("(-)");

// Products like 2.3 x 10 land a hair below the whole number in binary; the cut toward
// zero must not lose the digit the user typed.
int truncated(double v) {
    return static_cast<int>(std::trunc(v + (v >= 0 ? 1e-9 : -1e-9)));
}

QString oneDecimal(double v) {
    return ValueRules::fixedText(v, 1);
}

} // namespace

// ---- MonitorItemLists ----------------------------------------------------------------------

QString MonitorItemLists::normalUnit(int k) const {
    return k >= 0 && k < normalUnits.size() ? normalUnits[k] : QString();
}

QString MonitorItemLists::changedUnit(int k) const {
    return k >= 0 && k < changedUnits.size() ? changedUnits[k] : kNoUnit;
}

void MonitorItemLists::clear() {
    *this = MonitorItemLists();
}

MonitorItemLists MonitorItemLists::read(const QString& infoIniPath, const QString& typeName,
                                        const QString& languageSuffix) {
    MonitorItemLists lists;
    const IniFile info(Paths::resolvedOrAsGiven(infoIniPath));
    const QString language = QStringLiteral(" (") + languageSuffix + QLatin1Char(')');
    // Keys in file order, each with its value (or the section's default) index for index.
    auto section = [&info](const QString& name, QStringList& keys, QStringList* values, const QString& def) {
        keys = info.keys(name);
        if (values)
            for (const QString& key : std::as_const(keys))
                *values << info.readString(name, key, def);
    };
    section(typeName + QStringLiteral(" Monitor") + language, lists.codes, &lists.names,
            QStringLiteral("99"));
    section(typeName + QStringLiteral(" Monitor Unit"), lists.unitKeys, &lists.changedUnits, kNoUnit);
    lists.hasUnitSection = !lists.unitKeys.isEmpty();
    for (const QString& key : std::as_const(lists.unitKeys))
        lists.normalUnits << key.mid(2);
    section(typeName + QStringLiteral(" Alarm") + language, lists.alarmBits, &lists.alarmNames,
            QStringLiteral("-"));
    section(typeName + QStringLiteral(" Trip") + language, lists.tripCodes, &lists.tripNames,
            QStringLiteral("-"));
    return lists;
}

// ---- MonitorBatch ----------------------------------------------------------------------------

MonitorBatch::~MonitorBatch() {
    if (--m_.batch_ == 0 && m_.pending_) {
        m_.pending_ = false;
        emit m_.changed();
    }
}

// ---- MonitorModel ----------------------------------------------------------------------------

MonitorModel::MonitorModel(ProgramContext& context, Options& options, CommLink& link, QObject* parent)
    : QObject(parent), ctx_(context), opt_(options), link_(link) {
    for (int i = 0; i < kMonitorChannels; ++i)
        channels[std::size_t(i)].colour = kDefaultChannelColours[i];
    connect(this, &MonitorModel::scaleChanged, this, [this](int i) {
        const MonitorChannel& c = channels[std::size_t(i)];
        samples.setScale(i, c.multiplier, c.offset);
    });
}

MonitorModel::~MonitorModel() = default;

void MonitorModel::notify() {
    if (batch_ > 0)
        pending_ = true;
    else
        emit changed();
}

QString MonitorModel::message(MsgId id) const {
    return Msg(ctx_, id);
}

bool MonitorModel::BuildMonitorItemLists() {
    WaitCursor wait;
    MonitorBatch batch(*this);
    lists.clear();
    state_.itemCount = 0;
    state_.tripItemCount = 0;
    state_.itemListLoaded = false;
    state_.keyCodeIndex = state_.keyFlagIndex = -1;
    for (MonitorChannel& c : channels) {
        c.item = -1;
        c.code.clear();
        c.itemText.clear();
        c.unitLabel = kNoUnit;
    }
    ChannelRecs.fill(MonChannelRec());

    lists = MonitorItemLists::read(ctx_.drive.files.infoIniPath, ctx_.drive.identity.typeName,
                                   ctx_.language.suffix);
    state_.itemCount = int(lists.codes.size());
    if (state_.itemCount < 1) {
        // Nothing of a type without items is used.
        lists.clear();
        link_.asker().ask(
            {message(MsgId::NoItemsToShow), ctx_.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
        emit monitorCommandEnabled(false);
        emit listsRebuilt();
        notify();
        return false;
    }
    state_.itemListLoaded = true;
    for (MonitorChannel& c : channels)
        c.unitEnabled = lists.hasUnitSection;
    state_.tripItemCount = int(lists.tripCodes.size());

    // Whether the alarm, trip and RUN/STOP options can be used is the options' one rule (it
    // reads the same sections and parameters); they only need to look again.
    if (ctx_.store) {
        state_.keyCodeIndex = ctx_.drive.indexOfComNo(QStringLiteral("FA11"));
        state_.keyFlagIndex = ctx_.drive.indexOfComNo(QStringLiteral("FA10"));
    }
    opt_.UpdateRunStopControl();

    emit monitorCommandEnabled(true);
    emit listsRebuilt();
    notify();
    return true;
}

void MonitorModel::fillRecord(MonChannelRec& rec, const QString& code) const {
    rec = MonChannelRec();
    if (!ctx_.store)
        return;
    rec.ParaIndex = ctx_.drive.indexOfComNo(code);
    if (rec.ParaIndex < 0)
        return; // such an item reads as a failed read
    const ParameterDefinition& d = ctx_.drive.parameters[std::size_t(rec.ParaIndex)];
    rec.Byte = d.size;
    qint64 n = 0;
    if (ValueRules::parseRawValue(d.low, n))
        rec.Low = int(std::clamp<qint64>(n, INT_MIN, INT_MAX));
    if (d.multiplier > 0)
        rec.Mul = float(d.multiplier);
}

// ---- Channels --------------------------------------------------------------------------------

void MonitorModel::setChannelChecked(int i, bool on) {
    if (i < 0 || i >= kMonitorChannels)
        return;
    channels[std::size_t(i)].checked = on;
    recount();
    notify();
}

void MonitorModel::checkChannels(std::span<const bool> on) {
    for (std::size_t i = 0; i < on.size() && i < channels.size(); ++i)
        channels[i].checked = on[i];
    recount();
    notify();
}

void MonitorModel::chooseItem(int i, int item) {
    if (i < 0 || i >= kMonitorChannels)
        return;
    if (item < 0 || item >= state_.itemCount)
        item = state_.itemCount > 0 ? 0 : -1;
    channels[std::size_t(i)].item = item;
    applyItem(i);
    notify();
}

void MonitorModel::applyItem(int i) {
    MonitorChannel& c = channels[std::size_t(i)];
    MonChannelRec& rec = ChannelRecs[std::size_t(i)];
    const int k = c.item;
    if (k < 0 || k >= state_.itemCount) {
        c.code.clear();
        c.itemText.clear();
        rec = MonChannelRec();
        c.unitLabel = kNoUnit;
        return;
    }
    const QString entry = lists.codes[k];
    c.code = entry.left(4);
    fillRecord(rec, c.code);
    rec.BitNo = entry.size() > 4 && entry[4] == u'-' ? entry.mid(5, 2) : QString();
    c.itemText = lists.names.value(k);
    if (lists.changedUnit(k) == kNoUnit) {
        c.unitChecked = false;
        c.unitEnabled = false;
    } else {
        c.unitEnabled = true;
    }
    applyUnitLabel(i);
}

void MonitorModel::applyUnitLabel(int i) {
    MonitorChannel& c = channels[std::size_t(i)];
    if (c.item < 0)
        c.unitLabel = kNoUnit;
    else
        c.unitLabel = c.unitChecked ? lists.changedUnit(c.item) : lists.normalUnit(c.item);
}

void MonitorModel::setUnitChecked(int i, bool on) {
    if (i < 0 || i >= kMonitorChannels)
        return;
    MonitorChannel& c = channels[std::size_t(i)];
    // A box that cannot be used stays unchecked: its item has no changed unit.
    c.unitChecked = on && c.unitEnabled;
    applyUnitLabel(i);
    notify();
}

void MonitorModel::setColour(int i, int bgr) {
    if (i < 0 || i >= kMonitorChannels)
        return;
    channels[std::size_t(i)].colour = bgr;
    notify();
}

// ---- Typed settings ---------------------------------------------------------------------------

NumberSetting& MonitorModel::settingRef(MonitorField field, int channel) {
    const std::size_t i = std::size_t(std::clamp(channel, 0, kMonitorChannels - 1));
    switch (field) {
    case MonitorField::Multiplier:
        return channels[i].multiplierEdit;
    case MonitorField::Offset:
        return channels[i].offsetEdit;
    case MonitorField::TriggerLevel:
        return triggerLevelEdit;
    case MonitorField::TriggerDelay:
        return triggerDelayEdit;
    case MonitorField::YMaximum:
        return yMaximumEdit;
    case MonitorField::TimeBase:
        break;
    }
    return timeBaseEdit;
}

const NumberSetting& MonitorModel::setting(MonitorField field, int channel) const {
    return const_cast<MonitorModel*>(this)->settingRef(field, channel);
}

void MonitorModel::setText(MonitorField field, int channel, const QString& text) {
    settingRef(field, channel).text = text;
}

void MonitorModel::refuse(MonitorField field, int channel, MsgId id) {
    inputError_ = true;
    if (focusField_)
        focusField_(field, channel);
    link_.asker().ask({message(id), ctx_.texts.caption, BoxIcon::Error, BoxButtons::Ok});
}

bool MonitorModel::enter(MonitorField field, int channel) {
    if ((field == MonitorField::Multiplier || field == MonitorField::Offset) &&
        (channel < 0 || channel >= kMonitorChannels))
        return false;
    bool ok = false;
    switch (field) {
    case MonitorField::Multiplier:
        ok = enterMultiplier(channel);
        break;
    case MonitorField::Offset:
        ok = enterOffset(channel);
        break;
    case MonitorField::TriggerLevel:
        ok = enterTriggerLevel();
        break;
    case MonitorField::TriggerDelay:
        ok = enterTriggerDelay();
        break;
    case MonitorField::YMaximum:
        ok = enterYMaximum();
        break;
    case MonitorField::TimeBase:
        ok = enterTimeBase();
        break;
    }
    notify();
    return ok;
}

bool MonitorModel::enterMultiplier(int i) {
    MonitorChannel& c = channels[std::size_t(i)];
    NumberSetting& s = c.multiplierEdit;
    double v = 0;
    if (!ValueRules::parseNumber(s.text, v)) {
        refuse(MonitorField::Multiplier, i, MsgId::DataIncorrect);
        return false;
    }
    const double tenths = v * 10;
    if (tenths < s.minimum || tenths > s.maximum) {
        refuse(MonitorField::Multiplier, i, MsgId::OutOfRange);
        s.text = oneDecimal((tenths < s.minimum ? s.minimum : s.maximum) * 0.1);
        return false;
    }
    inputError_ = false;
    s.position = std::clamp(truncated(tenths), s.minimum, s.maximum);
    // The edit shows the multiplier in use, so that what is saved and printed is what the
    // chart was drawn with.
    s.text = oneDecimal(s.position * 0.1);
    const float before = c.multiplier;
    c.multiplier = float(s.position * 0.1);
    if (c.multiplier != before)
        emit scaleChanged(i);
    return true;
}

bool MonitorModel::enterOffset(int i) {
    MonitorChannel& c = channels[std::size_t(i)];
    NumberSetting& s = c.offsetEdit;
    double v = 0;
    if (!ValueRules::parseNumber(s.text, v)) {
        refuse(MonitorField::Offset, i, MsgId::DataIncorrect);
        return false;
    }
    if (v < s.minimum || v > s.maximum) {
        refuse(MonitorField::Offset, i, MsgId::OutOfRange);
        s.text = QString::number(v < s.minimum ? s.minimum : s.maximum);
        return false;
    }
    inputError_ = false;
    s.position = std::clamp(truncated(v), s.minimum, s.maximum);
    s.text = QString::number(s.position);
    const qint16 before = c.offset;
    c.offset = qint16(s.position);
    if (c.offset != before)
        emit scaleChanged(i);
    return true;
}

bool MonitorModel::enterTriggerLevel() {
    NumberSetting& s = triggerLevelEdit;
    double v = 0;
    if (!ValueRules::parseNumber(s.text, v)) {
        refuse(MonitorField::TriggerLevel, 0, MsgId::DataIncorrect);
        return false;
    }
    // Checked against the level's own range whatever the Y maximum is.
    if (v < s.minimum || v > s.maximum) {
        refuse(MonitorField::TriggerLevel, 0, MsgId::OutOfRange);
        s.text = QString::number(v < s.minimum ? s.minimum : s.maximum);
        return false;
    }
    inputError_ = false;
    s.position = std::clamp(truncated(v), s.minimum, s.maximum);
    state_.triggerLevel = s.position;
    return true;
}

bool MonitorModel::enterTriggerDelay() {
    NumberSetting& s = triggerDelayEdit;
    double v = 0;
    if (!ValueRules::parseNumber(s.text, v)) {
        refuse(MonitorField::TriggerDelay, 0, MsgId::DataIncorrect);
        return false;
    }
    if (v < s.minimum || v > s.maximum) {
        refuse(MonitorField::TriggerDelay, 0, MsgId::OutOfRange);
        s.text = QString::number(v < s.minimum ? s.minimum : s.maximum);
        return false;
    }
    inputError_ = false;
    s.position = std::clamp(truncated(v), s.minimum, s.maximum);
    return true;
}

bool MonitorModel::enterYMaximum() {
    NumberSetting& s = yMaximumEdit;
    double v = 0;
    if (!ValueRules::parseNumber(s.text, v)) {
        refuse(MonitorField::YMaximum, 0, MsgId::DataIncorrect);
        return false;
    }
    if (v < s.minimum || v > s.maximum) {
        refuse(MonitorField::YMaximum, 0, MsgId::OutOfRange);
        s.position = v < s.minimum ? s.minimum : s.maximum;
        s.text = QString::number(s.position);
        return false;
    }
    inputError_ = false;
    // A value off the up-down's steps (150.5) scales the axis as typed; the up-down holds
    // its whole part.
    axisMaximum = v;
    s.position = std::clamp(truncated(v), s.minimum, s.maximum);
    return true;
}

bool MonitorModel::enterTimeBase() {
    NumberSetting& s = timeBaseEdit;
    double v = 0;
    if (!ValueRules::parseNumber(s.text, v)) {
        refuse(MonitorField::TimeBase, 0, MsgId::DataIncorrect);
        return false;
    }
    const double ms = std::round(v * 1000);
    if (ms < s.minimum || ms > s.maximum) {
        refuse(MonitorField::TimeBase, 0, MsgId::OutOfRange);
        s.position = ms < s.minimum ? s.minimum : s.maximum;
        s.text = oneDecimal(s.position * 0.001);
        return false;
    }
    inputError_ = false;
    s.position = std::clamp(truncated(v * 1000), s.minimum, s.maximum);
    s.text = oneDecimal(s.position * 0.001);
    return true;
}

void MonitorModel::step(MonitorField field, int channel, int p) {
    if ((field == MonitorField::Multiplier || field == MonitorField::Offset) &&
        (channel < 0 || channel >= kMonitorChannels))
        return;
    NumberSetting& s = settingRef(field, channel);
    const bool inRange = p >= s.minimum && p <= s.maximum;
    p = std::clamp(p, s.minimum, s.maximum);
    switch (field) {
    case MonitorField::Multiplier: {
        s.position = p;
        s.text = oneDecimal(p * 0.1);
        MonitorChannel& c = channels[std::size_t(channel)];
        if (inRange && c.multiplier != float(p * 0.1)) {
            c.multiplier = float(p * 0.1);
            emit scaleChanged(channel);
        }
        break;
    }
    case MonitorField::Offset: {
        s.position = p;
        s.text = QString::number(p);
        MonitorChannel& c = channels[std::size_t(channel)];
        if (inRange && c.offset != qint16(p)) {
            c.offset = qint16(p);
            emit scaleChanged(channel);
        }
        break;
    }
    case MonitorField::TriggerLevel:
    case MonitorField::YMaximum:
        // The arrows write the edit; its check applies it.
        s.text = QString::number(p);
        enter(field, channel);
        return;
    case MonitorField::TriggerDelay:
        s.position = p;
        s.text = QString::number(p);
        break;
    case MonitorField::TimeBase:
        s.position = p;
        s.text = oneDecimal(p * 0.001);
        break;
    }
    notify();
}

// ---- Trigger ------------------------------------------------------------------------------------

void MonitorModel::triggerDisplay() {
    state_.triggerChannel = std::clamp(triggerSourceIndex, 0, kMonitorChannels - 1);
    sourceLabelEnabled = channels[std::size_t(state_.triggerChannel)].active();
}

void MonitorModel::setTriggerChecked(bool on) {
    triggerChecked = on;
    triggerDisplay();
    notify();
}

void MonitorModel::clickTriggerSource(int i) {
    if (i < 0 || i >= kMonitorChannels || !triggerChecked || !triggerEnabled || runInProgress() ||
        opt_.continuousMonitoring.checked())
        return;
    triggerSourceIndex = i;
    triggerDisplay();
    notify();
}

void MonitorModel::nextTriggerSource() {
    if (!triggerChecked || !triggerEnabled)
        return;
    // Through CH1..CH(state_.channelSlots) only; a source past them is left by the first step.
    int c = triggerSourceIndex;
    for (int tries = 0; tries <= state_.channelSlots; ++tries) {
        ++c;
        if (c >= state_.channelSlots)
            c = 0;
        if (channels[std::size_t(c)].checked) {
            triggerSourceIndex = c;
            break;
        }
    }
    triggerDisplay();
    notify();
}

void MonitorModel::setTriggerSourceIndex(int i) {
    triggerSourceIndex = i >= 0 && i < kMonitorChannels ? i : 0;
    notify();
}

void MonitorModel::setSlope(int slope) {
    triggerSlope = slope >= 0 && slope <= 2 ? slope : 0;
    notify();
}

void MonitorModel::nextSlope() {
    if (!triggerEnabled)
        return;
    setSlope((triggerSlope + 1) % 3);
}

QString MonitorModel::slopeText() const {
    return slopeTexts_.value(triggerSlope);
}

void MonitorModel::setZoomChecked(bool on) {
    zoomChecked = on;
    notify();
}

// ---- Recount ------------------------------------------------------------------------------------

void MonitorModel::recount() {
    state_.channelSlots = 10;
    state_.activeCount = 0;
    for (MonitorChannel& c : channels) {
        if (c.active()) {
            ++state_.activeCount;
            c.controlsEnabled = true;
            if (lists.changedUnit(c.item) != kNoUnit)
                c.unitEnabled = true;
        } else {
            c.controlsEnabled = false;
            c.unitEnabled = false;
        }
    }
    if (state_.activeCount < 1) {
        state_.startEnabled = false;
    } else if (portOk_) {
        state_.startEnabled = true;
    }
    for (bool status : {state_.watchAlarm, state_.watchTrip}) {
        if (status) {
            --state_.channelSlots;
            ++state_.activeCount;
        }
    }
    state_.scrollingSeries = 0;
    if (!channels[0].checked) {
        for (int j = 1; j < kMonitorChannels; ++j) {
            if (channels[std::size_t(j)].checked) {
                state_.scrollingSeries = j;
                break;
            }
        }
    }
    sourceLabelEnabled =
        channels[std::size_t(std::clamp(state_.triggerChannel, 0, kMonitorChannels - 1))].active();

    if (state_.activeCount >= 1) {
        state_.pointsPerChannel =
            std::min(opt_.recordingPointCount.position() / state_.activeCount, kMaxSampleTimes - 1);
        NumberSetting& t = timeBaseEdit;
        t.minimum = state_.minItemTimeMs * state_.activeCount * 5;
        // A slow link can need more than the longest time base; the window must still take one.
        t.maximum = std::max(kTimeBaseMaximum, t.minimum);
        t.position = t.minimum;
        t.text = oneDecimal(t.minimum * 0.001);
        if (opt_.continuousMonitoring.checked())
            UpdateContinuousTimeBase();
    }
}

int MonitorModel::UpdateContinuousTimeBase() {
    state_.recordMinutes = opt_.continuousRecordMinutes.position();
    state_.recordSecondsPerPoint = std::max(1, opt_.continuousSampleSeconds.position());
    const unsigned samples = unsigned(state_.recordMinutes) * 60u / unsigned(state_.recordSecondsPerPoint);
    state_.recordSizeText = QString::number(
        RecordingFile::estimatedKilobytes(state_.recordMinutes, state_.recordSecondsPerPoint));
    // Before any channel was active there is no share yet: one item takes all points.
    const int points = state_.pointsPerChannel > 0 ? state_.pointsPerChannel
                                                   : std::max(1, opt_.recordingPointCount.position());
    const float r = float(double(state_.recordMinutes) * samples / points);
    int k = 1;
    while (float(state_.recordSecondsPerPoint) * 5 * k <= r && k < 100000)
        ++k;
    state_.recordStepFactor = k;
    const int shown = state_.recordSecondsPerPoint * k * 5;
    state_.recordTimeBaseText = QString::number(shown);
    return shown;
}

int MonitorModel::markerTop(int plotTop, int plotBottom) const {
    const double half = axisMaximum * 0.5;
    double level = state_.triggerLevel;
    ValueRules::parseNumber(triggerLevelEdit.text, level);
    const int h = (plotBottom - plotTop) / 2;
    if (!(half > 0))
        return plotTop + h - kMarkerOffset;
    return int(std::lround((half - level) * h / half + plotTop + h - kMarkerOffset));
}

// ---- Window life ---------------------------------------------------------------------------------

bool MonitorModel::connectDrive() {
    portOk_ = link_.ConnectDrive();
    return portOk_;
}

void MonitorModel::setLanguageTexts(const QString& caption, const QStringList& slopes) {
    caption_ = caption;
    slopeTexts_ = slopes;
}

void MonitorModel::clearInputError() {
    inputError_ = false;
    notify();
}

bool MonitorModel::mayClose() {
    if (runInProgress())
        return false;
    MonitorBatch batch(*this);
    // An edit that cannot take the focus could never be corrected: it goes back to the value
    // its up-down holds instead of keeping the window open for ever.
    for (MonitorChannel& c : channels) {
        if (c.shown && c.controlsEnabled)
            continue;
        c.multiplierEdit.text = oneDecimal(c.multiplierEdit.position * 0.1);
        c.offsetEdit.text = QString::number(c.offsetEdit.position);
    }
    if (state_.continuousMode)
        timeBaseEdit.text = oneDecimal(timeBaseEdit.position * 0.001);
    if (!enter(MonitorField::TimeBase))
        return false;
    for (int i = 0; i < kMonitorChannels; ++i)
        if (!enter(MonitorField::Multiplier, i))
            return false;
    for (int i = 0; i < kMonitorChannels; ++i)
        if (!enter(MonitorField::Offset, i))
            return false;
    return !inputError_;
}
