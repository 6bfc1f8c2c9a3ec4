// The sample store: its bounds, the plotted Y of each kind of point, rescaling, and the
// per-column reduction the chart draws from, against a brute-force reading of random data.
#include "monitor/SampleStore.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Kind = SampleStore::PointKind;

TEST(SampleStore, RefusesEveryWriteOutsideItsRoom) {
    SampleStore s;
    EXPECT_EQ(s.lastPoint(), -1);
    for (int p = 0; p < SampleStore::kCapacity; ++p)
        ASSERT_EQ(s.appendSample(static_cast<quint32>(p)), p);
    EXPECT_EQ(s.appendSample(1), -1);
    EXPECT_FALSE(s.setSampleTime(SampleStore::kCapacity, 1));
    EXPECT_FALSE(s.setSampleTime(-1, 1));
    EXPECT_EQ(s.lastPoint(), SampleStore::kCapacity - 1);

    struct Row {
        const char* name;
        int channel;
        int p;
    };
    const Row rows[] = {
        {"channel below", -1, 0},
        {"channel past", SampleStore::kChannels, 0},
        {"sample below", 0, -1},
        {"sample past", 9, SampleStore::kCapacity},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(s.setValue(r.channel, r.p, 1.0));
        EXPECT_FALSE(s.setErrorPoint(r.channel, r.p, Kind::ZeroOnError));
        EXPECT_EQ(s.kind(r.channel, r.p), Kind::Gap);
        EXPECT_EQ(s.plotted(r.channel, r.p), 0.0);
        EXPECT_EQ(s.unscaled(r.channel, r.p), 0.0);
        EXPECT_EQ(s.sampleTime(r.p), r.p >= 0 && r.p < SampleStore::kCapacity ? quint32(r.p) : 0u);
    }
}

TEST(SampleStore, ClearedSlotsComeBackAsGaps) {
    SampleStore s;
    s.appendSample(0);
    s.appendSample(50);
    s.setValue(0, 1, 12.5);
    s.clear();
    EXPECT_EQ(s.lastPoint(), -1);
    EXPECT_FALSE(s.setValue(0, 0, 1.0)); // nothing held yet
    ASSERT_EQ(s.appendSample(7), 0);
    ASSERT_EQ(s.appendSample(9), 1);
    EXPECT_EQ(s.kind(0, 1), Kind::Gap);
    EXPECT_EQ(s.sampleTime(1), 9u);
}

TEST(SampleStore, ALaterSampleFirstLeavesGapsInFront) {
    // A triggered run writes from its pre-trigger count on and fills the front at the end.
    SampleStore s;
    ASSERT_TRUE(s.setSampleTime(300, 0));
    EXPECT_EQ(s.size(), 301);
    EXPECT_TRUE(s.setValue(2, 300, 90.0));
    EXPECT_EQ(s.kind(2, 299), Kind::Gap);
    EXPECT_EQ(s.lastPointOf(2), 300);
    ASSERT_TRUE(s.setSampleTime(0, 12));
    EXPECT_EQ(s.size(), 301);
    EXPECT_TRUE(s.setValue(2, 0, 10.0));
    EXPECT_EQ(s.sampleTime(0), 12u);
    EXPECT_EQ(s.lastPointOf(1), -1);
}

TEST(SampleStore, PlotsEachKindOfPointAndFollowsANewScale) {
    struct Row {
        const char* name;
        Kind kind;
        double value;
        double yBefore; // multiplier 1.2, offset 10: the point before it is plotted at 34
        double yAfter;  // multiplier 2.0, offset 0: the point before it at 40
    };
    const Row rows[] = {
        {"value", Kind::Measured, 20.5, 20.5 * double(1.2f) + 10, 41.0},
        {"zero on error", Kind::ZeroOnError, 0, 0.0, 0.0},
        {"repeat on error", Kind::RepeatOnError, 0, 34.0, 40.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SampleStore s;
        s.setScale(0, 1.2f, 10);
        s.appendSample(0);
        s.appendSample(50);
        s.appendSample(100);
        s.setValue(0, 0, 20.0); // 34 with 1.2 and 10
        if (r.kind == Kind::Measured)
            s.setValue(0, 2, r.value);
        else
            s.setErrorPoint(0, 2, r.kind);
        EXPECT_NEAR(s.plotted(0, 2), r.yBefore, 1e-5);
        s.setScale(0, 2.0f, 0);
        EXPECT_NEAR(s.plotted(0, 0), 40.0, 1e-9);
        EXPECT_NEAR(s.plotted(0, 2), r.yAfter, 1e-9);
        EXPECT_EQ(s.kind(0, 1), Kind::Gap);
    }
}

TEST(SampleStore, ReadsBackTheValueThroughTheScaleAndNeverDividesByZero) {
    SampleStore s;
    s.appendSample(0);
    s.setScale(3, 1.2f, 0);
    s.setValue(3, 0, 20.5);
    EXPECT_NEAR(s.unscaled(3, 0), 20.5, 1e-6);
    EXPECT_EQ(s.unscaled(4, 0), 0.0); // no point there

    s.setScale(3, 0.0f, -5);
    EXPECT_FLOAT_EQ(s.scale(3).multiplier, 0.1f);
    EXPECT_EQ(s.scale(3).offset, 0);
    EXPECT_NEAR(s.unscaled(3, 0), 20.5, 1e-6);
    s.setScale(3, 50.0f, 900);
    EXPECT_FLOAT_EQ(s.scale(3).multiplier, 10.0f);
    EXPECT_EQ(s.scale(3).offset, 500);
}

TEST(SampleStore, ARepeatWithNothingBeforeItPlotsZero) {
    SampleStore s;
    s.setScale(0, 1.0f, 50);
    s.appendSample(0);
    s.appendSample(1);
    s.setErrorPoint(0, 1, Kind::RepeatOnError);
    EXPECT_EQ(s.plotted(0, 1), 0.0);
}

// Column c of [x0, x1] over n columns holds the samples p with x0 + c*w <= X < x0 + (c+1)*w,
// w = (x1 - x0) / n, and a sample at x1 the last column. The ranges below keep w a power of
// two, so these bounds are exact and the brute force needs no rounding rule of its own.
std::vector<SampleStore::ColumnSpan> bruteForce(const SampleStore& s, int ch, double x0, double x1, int n) {
    std::vector<SampleStore::ColumnSpan> out(n);
    const double w = (x1 - x0) / n;
    for (int c = 0; c < n; ++c) {
        const double lo = x0 + c * w;
        const double hi = c == n - 1 ? x1 : x0 + (c + 1) * w;
        for (int p = 0; p < s.size(); ++p) {
            const int x = s.position(p);
            const bool inside = x >= lo && (x < hi || (c == n - 1 && x <= hi));
            if (!inside || !s.hasPoint(ch, p))
                continue;
            const float y = static_cast<float>(s.plotted(ch, p));
            SampleStore::ColumnSpan& sp = out[c];
            if (sp.firstIndex < 0) {
                sp.low = sp.high = sp.first = y;
                sp.firstIndex = p;
            }
            sp.low = std::min(sp.low, y);
            sp.high = std::max(sp.high, y);
            sp.last = y;
            sp.lastIndex = p;
        }
    }
    return out;
}

TEST(SampleStore, ReducesEveryColumnToWhatABruteForceFinds) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> value(-50.0, 600.0);
    std::uniform_int_distribution<int> die(0, 9);
    SampleStore s;
    s.setPeriodMs(50);
    const int samples = 9000;
    quint32 t = 0;
    for (int p = 0; p < samples; ++p) {
        // Now and then a stall of the drive: the next sample takes the slot it falls in.
        t += die(rng) == 0 ? 50 * (1 + die(rng)) + 7 : 50;
        s.appendSample(t);
        for (int ch = 0; ch < 3; ++ch) {
            const int roll = die(rng);
            if (roll == 0)
                continue; // a gap
            if (roll == 1)
                s.setErrorPoint(ch, p, Kind::RepeatOnError);
            else
                s.setValue(ch, p, value(rng));
        }
    }
    s.setScale(1, 2.5f, 100);

    struct Row {
        const char* name;
        double x0;
        double pixelsPerSample; // a power of two
        int columns;
    };
    const Row rows[] = {
        {"many samples per column", 0, 1.0 / 16, 512},
        {"whole record and past its end", -8, 1.0 / 16, 600},
        {"fewer samples than columns", 100.5, 4, 300},
        {"window starting before 0", -37.25, 2, 100},
        {"window past the samples held", double(s.position(samples - 10)), 1, 64},
        {"window wholly past the samples", double(s.position(samples - 1) + 500), 1, 32},
        {"one column", 10, 1.0 / 1024, 1},
    };
    std::vector<SampleStore::ColumnSpan> fast;
    for (const Row& r : rows) {
        const double x1 = r.x0 + r.columns / r.pixelsPerSample;
        const auto expected = [&](int ch) { return bruteForce(s, ch, r.x0, x1, r.columns); };
        for (int ch = 0; ch < 4; ++ch) {
            SCOPED_TRACE(std::string(r.name) + ", channel " + std::to_string(ch));
            fast.assign(r.columns, {});
            s.reduce(ch, r.x0, x1, fast);
            const auto want = expected(ch);
            for (int c = 0; c < r.columns; ++c) {
                ASSERT_EQ(fast[c].firstIndex, want[c].firstIndex) << "column " << c;
                ASSERT_EQ(fast[c].lastIndex, want[c].lastIndex) << "column " << c;
                if (want[c].firstIndex < 0)
                    continue;
                ASSERT_EQ(fast[c].low, want[c].low) << "column " << c;
                ASSERT_EQ(fast[c].high, want[c].high) << "column " << c;
                ASSERT_EQ(fast[c].first, want[c].first) << "column " << c;
                ASSERT_EQ(fast[c].last, want[c].last) << "column " << c;
            }
        }
    }
}

// With a period each sample stands at the slot its time falls in: a late one after the skipped
// slots, never two in one slot, a time counted anew (after a trigger) one slot on.
TEST(SampleStore, PlacesEachSampleAtTheSlotOfItsTime) {
    struct Row {
        const char* name;
        double periodMs;
        std::vector<quint32> times;
        std::vector<int> positions;
    };
    const Row rows[] = {
        {"steady", 100, {0, 100, 200, 300}, {0, 1, 2, 3}},
        {"late within its slot", 100, {0, 199, 200, 300}, {0, 1, 2, 3}},
        {"a stall of 4 s", 100, {0, 100, 4200, 4300}, {0, 1, 42, 43}},
        {"a millisecond cut short", 50.2, {0, 50, 100, 150}, {0, 1, 2, 3}},
        {"counted anew from the trigger", 100, {7000, 7100, 0, 100, 500}, {0, 1, 2, 3, 7}},
        {"no period", 0, {0, 100, 4200}, {0, 1, 2}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SampleStore s;
        s.setPeriodMs(r.periodMs);
        for (quint32 t : r.times)
            s.appendSample(t);
        for (size_t p = 0; p < r.positions.size(); ++p)
            EXPECT_EQ(s.position(int(p)), r.positions[p]) << p;
        EXPECT_EQ(s.indexAt(r.positions.back() + 0.4), int(r.positions.size()) - 1);
    }
}

TEST(SampleStore, ReducesNothingFromAnEmptyOrReversedRange) {
    SampleStore s;
    s.appendSample(0);
    s.setValue(0, 0, 5.0);
    std::vector<SampleStore::ColumnSpan> out(8);
    for (auto [x0, x1] : {std::pair{10.0, 10.0}, {20.0, 0.0}, {std::nan(""), 5.0}}) {
        out.assign(8, {});
        out[3].firstIndex = 42; // every column is written
        s.reduce(0, x0, x1, out);
        for (const auto& c : out)
            EXPECT_EQ(c.firstIndex, -1);
    }
    s.reduce(0, 0, 1, std::span<SampleStore::ColumnSpan>()); // no room: nothing written
}

} // namespace
