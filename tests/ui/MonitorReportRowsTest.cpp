// The monitor report's channel table taken from the sample store: the rows the status items
// leave, channels that are off, least, greatest, first and last values unscaled with the
// multiplier and offset the row prints, and every missing value as "-".
#include "ui/MonitorReportRows.h"

#include <gtest/gtest.h>

namespace {

using Channels = std::array<MonitorChannelState, SampleStore::kChannels>;

QString oneDecimal(int, double v) {
    return QString::number(v, 'f', 1);
}

// Channels 1..10 on, item "Item<n>", multiplier 1, offset 0.
Channels channelsOn() {
    Channels c;
    for (int i = 0; i < SampleStore::kChannels; ++i) {
        c[size_t(i)].on = true;
        c[size_t(i)].item = QStringLiteral("Item%1").arg(i + 1);
        c[size_t(i)].color = QColor::fromHsv(i * 36, 255, 200);
    }
    return c;
}

// `count` samples; channel 0 holds 10, 30, -5, 20, ... (value of sample p: (p * 7) % 40 - 5).
SampleStore samples(int count, float multiplier = 1.0f, qint16 offset = 0) {
    SampleStore s;
    s.setScale(0, multiplier, offset);
    for (int p = 0; p < count; ++p) {
        s.appendSample(quint32(p * 100));
        s.setValue(0, p, (p * 7) % 40 - 5);
    }
    return s;
}

TEST(MonitorReportRows, StatusItemsTakeTheLastRows) {
    const SampleStore store = samples(3);
    const struct {
        bool alarm, trip;
        size_t rows;
    } cases[] = {{false, false, 10}, {true, false, 9}, {false, true, 9}, {true, true, 8}};
    for (const auto& c : cases) {
        const auto rows = monitorReportRows(store, channelsOn(), c.alarm, c.trip, 2, oneDecimal);
        ASSERT_EQ(rows.size(), c.rows);
        for (size_t r = 0; r < rows.size(); ++r) {
            EXPECT_EQ(rows[r].texts[report::MC_Channel], QString::number(r + 1));
            EXPECT_EQ(rows[r].color, channelsOn()[r].color) << "the curve's colour";
        }
    }
}

TEST(MonitorReportRows, ValuesOfTheRunAndEveryValueThatIsMissing) {
    const int n = 12; // samples 0..11 of channel 0: -5 2 9 16 23 30 -3 4 11 18 25 32
    const struct {
        const char* name;
        bool on;
        int lastPoint;
        std::function<void(SampleStore&)> change;
        std::array<const char*, 4> values; // least, greatest, first, last
    } cases[] = {
        {"after a run: the last sample taken", true, n - 1, nullptr, {"-5.0", "32.0", "-5.0", "32.0"}},
        {"a last point inside the record", true, 4, nullptr, {"-5.0", "32.0", "-5.0", "23.0"}},
        {"off", false, n - 1, nullptr, {"-", "-", "-", "-"}},
        {"no sample yet", true, -1, nullptr, {"-", "-", "-", "-"}},
        {"a last point past the record", true, n + 5, nullptr, {"-5.0", "32.0", "-5.0", "-"}},
        {"a gap at the first sample",
         true,
         n - 1,
         [](SampleStore& s) { s.setErrorPoint(0, 0, SampleStore::PointKind::Gap); },
         {"-3.0", "32.0", "-", "32.0"}},
        {"a channel without points",
         true,
         n - 1,
         [](SampleStore& s) {
             for (int p = 0; p < s.size(); ++p)
                 s.setErrorPoint(0, p, SampleStore::PointKind::Gap);
         },
         {"-", "-", "-", "-"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SampleStore store = samples(n);
        if (c.change)
            c.change(store);
        Channels channels = channelsOn();
        channels[0].on = c.on;
        const auto rows = monitorReportRows(store, channels, false, false, c.lastPoint, oneDecimal);
        const auto& t = rows[0].texts;
        EXPECT_EQ(t[report::MC_State], c.on ? "ON" : "OFF");
        EXPECT_EQ(t[report::MC_Item], "Item1") << "also when off";
        EXPECT_EQ(t[report::MC_Multiplier], "1");
        EXPECT_EQ(t[report::MC_Offset], "0");
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(t[size_t(report::MC_Minimum + k)], QString::fromLatin1(c.values[size_t(k)]))
                << "column " << k;
        // A channel on without any sample held prints no values either.
        EXPECT_EQ(rows[1].texts[report::MC_Minimum], "-");
    }
}

TEST(MonitorReportRows, ValuesAreUnscaledWithTheMultiplierAndOffsetPrintedBesideThem) {
    // A multiplier of 1.25 typed is taken as 1.2: the row shows 1.2 and unscales with it.
    const SampleStore store = samples(6, 1.2f, 40);
    Channels channels = channelsOn();
    channels[0].multiplier = 1.2f;
    channels[0].offset = 40;
    const auto rows = monitorReportRows(store, channels, false, false, 5, oneDecimal);
    const auto& t = rows[0].texts;
    EXPECT_EQ(t[report::MC_Multiplier], "1.2");
    EXPECT_EQ(t[report::MC_Offset], "40");
    EXPECT_EQ(t[report::MC_Minimum], "-5.0");
    EXPECT_EQ(t[report::MC_Maximum], "30.0");
    EXPECT_EQ(t[report::MC_First], "-5.0");
    EXPECT_EQ(t[report::MC_Last], "30.0");
    // A failed read plotted at 0 counts as the value that plots there.
    SampleStore withError = samples(6, 1.0f, 40);
    withError.setErrorPoint(0, 5, SampleStore::PointKind::ZeroOnError);
    channels[0].multiplier = 1.0f;
    EXPECT_EQ(monitorReportRows(withError, channels, false, false, 5, oneDecimal)[0].texts[report::MC_Last],
              "-40.0");
}

} // namespace
