// The chart's window of samples: scrolling with a run, the typed scope, scope steps at a
// click and panning inside the extent; and the readout box's text.
#include "monitor/SampleWindow.h"
#include "monitor/ChartReadout.h"

#include <gtest/gtest.h>

namespace {

// A window after a run of `points` points (0 .. points - 1), as the run leaves it.
SampleWindow afterRun(int points) {
    SampleWindow w;
    w.startRun();
    for (int p = 0; p < points; ++p)
        w.pointAdded(p, p);
    w.finishRun();
    return w;
}

// A window over `extent` samples showing [min, max] at the given scope.
SampleWindow showing(int extent, double min, double max, int scope) {
    SampleWindow w = afterRun(extent - SampleWindow::kLead + 1);
    EXPECT_EQ(w.extent(), extent);
    w.applyScope(scope);
    EXPECT_TRUE(w.panTo(min, max));
    return w;
}

TEST(SampleWindow, ScrollsWithTheRunFromPoint96On) {
    struct Row {
        int points;
        double min, max;
        int extent, scope;
    };
    const Row rows[] = {
        {51, 0, 100, 100, 100},         {96, 0, 100, 100, 100},   {97, 1, 101, 101, 99},
        {201, 105, 205, 205, 49},       {801, 705, 805, 805, 12}, {1001, 905, 1005, 1005, 10},
        {10001, 9905, 10005, 10005, 5}, // 1 % is below the scope's least value
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.points);
        SampleWindow w;
        w.startRun();
        for (int p = 0; p < r.points; ++p)
            w.pointAdded(p, p);
        EXPECT_EQ(w.minimum(), r.min);
        EXPECT_EQ(w.maximum(), r.max);
        EXPECT_EQ(w.extent(), r.extent);
        EXPECT_EQ(w.scope(), r.scope);
        w.finishRun();
        EXPECT_EQ(w.minimum(), 0); // the whole record
        EXPECT_EQ(w.maximum(), r.max);
        EXPECT_EQ(w.scope(), 100);
    }
}

TEST(SampleWindow, ATriggeredRunJumpsBackOnceAtItsFirstPostTriggerPoint) {
    SampleWindow w;
    w.startRun();
    w.setTriggerRingIndex(300);
    w.showFrom(300);
    EXPECT_EQ(w.minimum(), 300);
    EXPECT_EQ(w.maximum(), 400);
    w.pointAdded(300, 300);
    EXPECT_EQ(w.minimum(), 205);
    EXPECT_EQ(w.maximum(), 305);
    w.startRun();
    EXPECT_EQ(w.triggerRingIndex(), 0);
}

TEST(SampleWindow, TypedScopeKeepsTheLeftEdgeInsideTheExtent) {
    struct Row {
        const char* name;
        double min, max;
        int scope;
        double wantMin, wantMax;
    };
    const Row rows[] = {
        {"room on the right", 300, 400, 50, 300, 800},
        {"pushed back from the end", 700, 800, 50, 500, 1000},
        {"held at the least scope", 300, 400, 1, 300, 350},
        {"whole extent", 300, 400, 100, 0, 1000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SampleWindow w = showing(1000, r.min, r.max, 10);
        w.applyScope(r.scope);
        EXPECT_EQ(w.minimum(), r.wantMin);
        EXPECT_EQ(w.maximum(), r.wantMax);
    }
}

TEST(SampleWindow, ScopeStepsMoveByTheClickAndStayInsideTheExtent) {
    struct Row {
        const char* name;
        double min, max;
        bool wider;
        float fraction; // the click's distance from the centre over the plot's width
        double wantMin, wantMax;
        int wantScope;
    };
    const Row rows[] = {
        {"narrower at the centre", 300, 400, false, 0.0f, 325, 375, 5},
        {"wider at the centre", 300, 400, true, 0.0f, 275, 425, 15},
        {"wider near the right end", 900, 1000, true, 0.45f, 850, 1000, 15},
        {"wider near the start", 0, 100, true, -0.45f, 0, 150, 15},
        {"narrower right of centre", 300, 400, false, 0.25f, 350, 400, 5},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SampleWindow w = showing(1000, r.min, r.max, 10);
        w.stepScope(r.wider, r.fraction);
        EXPECT_EQ(w.minimum(), r.wantMin);
        EXPECT_EQ(w.maximum(), r.wantMax);
        EXPECT_EQ(w.scope(), r.wantScope);
    }
    SampleWindow w = showing(1000, 300, 350, 5);
    w.stepScope(false, 0.0f);
    EXPECT_EQ(w.scope(), 5); // no narrower than the least scope
}

TEST(SampleWindow, RefusesAPanLeavingTheExtentAsAWhole) {
    struct Row {
        double min, max;
        bool accepted;
    };
    const Row rows[] = {
        {0, 100, true}, {900, 1000, true}, {-1, 99, false}, {901, 1001, false}, {-5, 1005, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.min);
        SampleWindow w = showing(1000, 300, 400, 10);
        EXPECT_EQ(w.panTo(r.min, r.max), r.accepted);
        EXPECT_EQ(w.minimum(), r.accepted ? r.min : 300);
        EXPECT_EQ(w.maximum(), r.accepted ? r.max : 400);
    }
}

TEST(ChartReadout, ShowsTheChannelValueScaleAndTime) {
    ReadoutPoint p;
    p.channel = 0;
    p.itemText = QStringLiteral("Speed");
    p.valueText = QStringLiteral("20.5");
    p.multiplier = 1.2f;
    p.offset = 0;
    p.elapsedMs = 2049;
    EXPECT_EQ(
        chartReadoutText({}, p),
        QStringLiteral("CH1 : Speed\n\nValue : 20.5\nMulti. : 1.2\nOffset : 0\n\nPassed Time : 2.0 (s) "));

    p.channel = 9;
    p.decimalComma = true;
    p.multiplier = 0.7f;
    p.offset = 250;
    p.elapsedMs = 129500;
    p.valueText = QStringLiteral("3,25");
    ReadoutCaptions c{QStringLiteral("Wert"), QStringLiteral("Faktor"), QStringLiteral("Versatz"),
                      QStringLiteral("Zeit")};
    EXPECT_EQ(
        chartReadoutText(c, p),
        QStringLiteral("CH10 : Speed\n\nWert : 3,25\nFaktor : 0,7\nVersatz : 250\n\nZeit : 129,5 (s) "));
}

} // namespace
