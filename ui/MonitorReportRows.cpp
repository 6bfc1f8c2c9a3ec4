#include "ui/MonitorReportRows.h"

#include <algorithm>
#include <optional>

namespace {

const QString kOn = QStringLiteral("ON");
const QString kOff = QStringLiteral("OFF");

} // namespace

std::vector<report::MonitorReportRow>
monitorReportRows(const SampleStore& store,
                  const std::array<MonitorChannelState, SampleStore::kChannels>& channels, bool alarmItem,
                  bool tripItem, int lastPoint, const MonitorValueFormat& format) {
    const int rowCount = SampleStore::kChannels - (alarmItem ? 1 : 0) - (tripItem ? 1 : 0);
    std::vector<report::MonitorReportRow> rows;
    rows.reserve(size_t(rowCount));
    for (int i = 0; i < rowCount; ++i) {
        const MonitorChannelState& ch = channels[size_t(i)];
        report::MonitorReportRow row;
        row.color = ch.color;
        auto& t = row.texts;
        t[report::MC_Channel] = QString::number(i + 1);
        t[report::MC_State] = ch.on ? kOn : kOff;
        t[report::MC_Item] = ch.item;
        // The multiplier and offset the values below are unscaled with, not what an edit may
        // still hold untaken.
        t[report::MC_Multiplier] = QString::number(double(ch.multiplier), 'g', 7);
        t[report::MC_Offset] = QString::number(ch.offset);
        for (int c = report::MC_Minimum; c <= report::MC_Last; ++c)
            t[size_t(c)] = report::kNoValue;

        if (ch.on && lastPoint >= 0 && ch.multiplier != 0.0f) {
            auto unscaled = [&](int p) { return (store.plotted(i, p) - ch.offset) / double(ch.multiplier); };
            auto text = [&](double v) { return format ? format(i, v) : QString::number(v); };
            std::optional<double> low, high;
            for (int p = 0; p < store.size(); ++p) {
                if (!store.hasPoint(i, p))
                    continue;
                const double v = unscaled(p);
                low = low ? std::min(*low, v) : v;
                high = high ? std::max(*high, v) : v;
            }
            if (low) {
                t[report::MC_Minimum] = text(*low);
                t[report::MC_Maximum] = text(*high);
            }
            if (store.hasPoint(i, 0))
                t[report::MC_First] = text(unscaled(0));
            if (store.hasPoint(i, lastPoint))
                t[report::MC_Last] = text(unscaled(lastPoint));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}
