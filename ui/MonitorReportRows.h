#pragma once
// The monitor report's channel table taken from the samples of the last run or opened file:
// the only place where the report meets the sample store.
#include "monitor/SampleStore.h"
#include "report/MonitorReport.h"

#include <QColor>
#include <QString>
#include <array>
#include <functional>
#include <vector>

// One channel as the monitor window holds it at the time of printing.
struct MonitorChannelState {
    bool on = false;          // the channel's box
    QString item;             // the text of its item box
    float multiplier = 1.0f;  // as applied to its curve
    int offset = 0;           // as applied to its curve
    QColor color = Qt::black; // of its curve
};

// A channel value as the monitor shows it (with its parameter's decimals).
using MonitorValueFormat = std::function<QString(int channel, double value)>;

// The rows CH1, CH2, ...: ten, less one for the alarm word and one for the trip code, whose
// rows take the places of CH10 and CH9. `lastPoint` is the index of the last sample (below 0
// when there is none). A channel that is off, or any channel when there is no last sample,
// prints no values; the least and greatest value are those of every point the channel
// holds, and a first or last sample the channel holds no point at prints none either.
// Values are unscaled with the multiplier and offset printed beside them.
std::vector<report::MonitorReportRow>
monitorReportRows(const SampleStore& store,
                  const std::array<MonitorChannelState, SampleStore::kChannels>& channels, bool alarmItem,
                  bool tripItem, int lastPoint, const MonitorValueFormat& format);
