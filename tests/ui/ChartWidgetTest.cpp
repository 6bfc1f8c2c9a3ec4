// The monitor chart offscreen: its axis divisions, the curves drawn into an image (sample k
// at point k, gaps, inactive series, the legend), and the mouse: readout, scope steps and
// panning.
#include "ui/ChartWidget.h"
#include "monitor/SampleStore.h"
#include "monitor/SampleWindow.h"
#include "ui/ChartPainter.h"
#include "ui/ChartPictures.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <utility>
#include <vector>

namespace {

// The arguments of each emission of a signal, recorded while the recorder lives.
template <typename... Args> struct Emissions {
    template <typename Sender, typename Signal> Emissions(Sender* sender, Signal signal) {
        QObject::connect(sender, signal, &context, [this](Args... args) { seen.emplace_back(args...); });
    }
    int count() const { return static_cast<int>(seen.size()); }
    QObject context;
    std::vector<std::tuple<std::decay_t<Args>...>> seen;
};

TEST(ChartAxes, BottomDivisionsKeepAStepOfFiveSamplesWhileTheyFit) {
    struct Row {
        const char* name;
        double min, max;
        int width;
        double first, step;
        size_t count;
    };
    const Row rows[] = {
        {"run window", 0, 100, 440, 0, 5, 21},
        {"scrolled window", 905, 1005, 440, 905, 5, 21},
        {"crowded: every 10", 0, 200, 250, 0, 10, 21},
        {"more crowded: every 25", 0, 200, 200, 0, 25, 9},
        {"whole long record", 0, 10005, 440, 0, 500, 21},
        {"window starting below 0", -36, 64, 440, -35, 5, 20},
        {"empty range", 50, 50, 440, 0, 0, 0},
        {"beyond any record", 0, 1e18, 440, 0, 0, 0},
        {"endless", 0, std::numeric_limits<double>::infinity(), 440, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const auto d = ChartPainter::bottomDivisions(r.min, r.max, r.width, 12);
        ASSERT_EQ(d.size(), r.count);
        if (d.empty())
            continue;
        EXPECT_EQ(d.front(), r.first);
        if (d.size() > 1) {
            EXPECT_EQ(d[1] - d[0], r.step);
        }
    }
}

TEST(ChartAxes, LeftDivisionsTakeTheLeastStepWhoseLabelsDoNotTouch) {
    struct Row {
        double yMax;
        int height;
        double step, last;
    };
    const Row rows[] = {
        {100, 225, 10, 100}, {500, 225, 50, 500}, {150, 225, 20, 140}, {100, 600, 5, 100}, {100, 10, 0, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.yMax);
        const auto d = ChartPainter::leftDivisions(r.yMax, r.height, 17);
        ASSERT_FALSE(d.empty());
        EXPECT_EQ(d.front(), 0);
        EXPECT_EQ(d.back(), r.last);
        if (r.step > 0) {
            EXPECT_EQ(d[1], r.step);
        }
    }
    EXPECT_EQ(ChartPainter::leftLabel(150), QStringLiteral("150"));
}

class Chart : public ::testing::Test {
protected:
    void SetUp() override {
        chart.setSource(&store, &window);
        chart.resize(465, 263);
    }

    // Samples 0 .. count - 1, channel ch plotted at y(p) (nullopt: a gap).
    void fill(int count, int ch, const std::function<std::optional<double>(int)>& y) {
        while (store.size() < count)
            store.appendSample(static_cast<quint32>(store.size() * 50));
        for (int p = 0; p < count; ++p) {
            if (const auto v = y(p))
                store.setValue(ch, p, *v);
        }
    }
    // A window over `extent` samples as a finished run leaves it, then panned to [min, max].
    void view(int extent, double min, double max, int scope) {
        window.startRun();
        for (int p = 0; p <= extent - SampleWindow::kLead; ++p)
            window.pointAdded(p, p);
        window.finishRun();
        window.applyScope(scope);
        ASSERT_TRUE(window.panTo(min, max));
    }

    void mouse(QEvent::Type type, const QPoint& at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), chart.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&chart, &e);
    }
    void click(const QPoint& at, Qt::MouseButton button) {
        mouse(QEvent::MouseButtonPress, at, button, button);
        mouse(QEvent::MouseButtonRelease, at, button, Qt::NoButton);
    }
    void rightDrag(const QPoint& from, const QPoint& to) {
        mouse(QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::RightButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
    }
    QPoint plotCentre() const { return chart.plotRect().center(); }

    SampleStore store;
    SampleWindow window;
    ChartWidget chart;
};

// How many pixels of `image` inside `area` have exactly `color`.
int countColor(const QImage& image, const QRect& area, const QColor& color) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += image.pixelColor(x, y) == color ? 1 : 0;
    return n;
}

// The grid as drawn states the samples per division the time label is given: the silver
// columns of a row near the plot's top are one division apart, for many widths and windows, on
// screen and in pictures with their legend.
TEST_F(Chart, TheDrawnGridSpansTheDivisionTheLabelStates) {
    const QColor silver(0xC0, 0xC0, 0xC0);
    for (const int extent : {100, 400, 2000}) {
        view(extent, 0, extent, 100);
        for (int width = 300; width <= 1300; width += 50) {
            for (const bool legend : {false, true}) {
                SCOPED_TRACE(QStringLiteral("extent %1 width %2 legend %3")
                                 .arg(extent)
                                 .arg(width)
                                 .arg(legend)
                                 .toStdString());
                chart.resize(width, 263);
                const ChartPicture picture = chartPicture(chart, chart.look().active, chart.look().titles);
                const QImage image =
                    legend ? renderChartPicture(picture) : chart.renderImage(chart.size(), false);
                const QRect area(legend ? picture.legendWidth() : 0, 0, width, 263);
                const QRect plot = ChartPainter(chart.look(), &store, 0, 1).plotRect(area);
                std::vector<int> columns;
                for (int x = plot.left() + 1; x < plot.right(); ++x)
                    if (image.pixelColor(x, plot.top() + 3) == silver)
                        columns.push_back(x);
                ASSERT_GE(columns.size(), 2u);
                const double drawn =
                    (columns[1] - columns[0]) * (window.maximum() - window.minimum()) / plot.width();
                // What the window's time label is scaled by.
                const double stated = chart.divisionSamples();
                // The monitor window at its default size gives the chart 413 pixels: a run's
                // window of 100 samples shows its 20 divisions of 5 there.
                if (extent == 100 && width >= 400) {
                    EXPECT_EQ(stated, 5);
                }
                EXPECT_NEAR(drawn, stated, 1.5 * (window.maximum() - window.minimum()) / plot.width());
            }
        }
    }
}

TEST_F(Chart, DrawsSampleKAtPointK) {
    fill(101, 0, [](int p) { return std::optional<double>(p * 0.9); });
    const QImage image = chart.renderImage(chart.size(), false);
    const QColor red(255, 0, 0);
    for (int k : {0, 10, 33, 50, 95}) {
        SCOPED_TRACE(k);
        const QPoint at = chart.pointPixel(0, k);
        EXPECT_TRUE(chart.plotRect().contains(at));
        EXPECT_EQ(image.pixelColor(at), red);
    }
    // Nothing red above the ramp's end or in the axis labels.
    const QRect plot = chart.plotRect();
    EXPECT_EQ(countColor(
                  image,
                  QRect(plot.left(), plot.top(), plot.width(), chart.pointPixel(0, 100).y() - plot.top() - 1),
                  red),
              0);
    EXPECT_EQ(countColor(image, QRect(0, 0, plot.left() - 1, chart.height()), red), 0);
}

TEST_F(Chart, LeavesGapsAndInactiveSeriesUndrawn) {
    fill(101, 0, [](int p) { return p >= 40 && p <= 60 ? std::nullopt : std::optional<double>(50); });
    fill(101, 1, [](int) { return std::optional<double>(25); });
    chart.setSeriesActive(1, false);
    const QImage image = chart.renderImage(chart.size(), false);
    const QColor red(255, 0, 0), blue(0, 0, 255);
    const int y = chart.pointPixel(0, 30).y();
    EXPECT_EQ(image.pixelColor(chart.pointPixel(0, 30)), red);
    EXPECT_EQ(image.pixelColor(chart.pointPixel(0, 70)), red);
    EXPECT_EQ(countColor(image,
                         QRect(QPoint(chart.pointPixel(0, 41).x(), y - 2),
                               QPoint(chart.pointPixel(0, 59).x(), y + 2)),
                         red),
              0);
    EXPECT_EQ(countColor(image, image.rect(), blue), 0);
}

// Samples later than one slot apart (a slow drive, a file of rows 300 or 410 ms apart at
// 200 ms slots) stand at their real times and are still one curve: the line crosses the
// empty slots. Only a sample without a value breaks it, and a window between two far-apart
// samples still shows the line that joins them.
TEST_F(Chart, SpacedSamplesAreOneCurveAndOnlyASampleWithoutAValueBreaksIt) {
    store.setPeriodMs(200);
    struct Row {
        quint32 spacingMs;
        int gapAt; // the sample without a value; -1: none
        double xMin, xMax;
        int polylines;
    };
    const Row rows[] = {
        {300, -1, 0, 100, 1}, {410, -1, 0, 100, 1},  {1000, -1, 0, 100, 1}, {410, 10, 0, 100, 2},
        {1000, -1, 1, 4, 1},  {1000, -1, 12, 38, 1}, {1000, 3, 12, 13, 0},  {410, -1, 7, 93, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(QStringLiteral("%1 ms apart, gap at %2, window %3 .. %4")
                         .arg(r.spacingMs)
                         .arg(r.gapAt)
                         .arg(r.xMin)
                         .arg(r.xMax)
                         .toStdString());
        store.clear();
        for (int p = 0; store.position(p - 1) < 100; ++p) {
            store.appendSample(static_cast<quint32>(p) * r.spacingMs);
            store.setValue(0, p, 20 + p % 2 * 40);
        }
        if (r.gapAt >= 0)
            store.setErrorPoint(0, r.gapAt, SampleStore::PointKind::Gap);
        ASSERT_GT(store.position(store.lastPoint()), store.lastPoint()) << "slots left empty";
        const ChartPainter painter(chart.look(), &store, r.xMin, r.xMax);
        const QRect plot = painter.plotRect(chart.rect());
        const std::vector<QPolygon> curve = painter.curve(0, plot);
        ASSERT_EQ(static_cast<int>(curve.size()), r.polylines);
        for (const QPolygon& poly : curve) {
            EXPECT_GE(poly.size(), 2);
            // Every point of the line is a sample's, at its slot, or on a column inside.
            for (const QPoint& pt : poly)
                EXPECT_TRUE(pt.y() == std::lround(ChartPainter::yToPixel(plot, 100, 20)) ||
                            pt.y() == std::lround(ChartPainter::yToPixel(plot, 100, 60)));
        }
    }

    // Drawn: the pixel half way between two samples 410 ms apart is on the line.
    store.clear();
    for (int p = 0; p < 30; ++p) {
        store.appendSample(static_cast<quint32>(p) * 410);
        store.setValue(0, p, 50);
    }
    const QImage image = chart.renderImage(chart.size(), false);
    for (int k : {0, 5, 17}) {
        const QPoint a = chart.pointPixel(0, k), b = chart.pointPixel(0, k + 1);
        ASSERT_GT(b.x() - a.x(), 4) << k;
        EXPECT_EQ(image.pixelColor((a + b) / 2), QColor(255, 0, 0)) << k;
    }
}

TEST_F(Chart, AddsTheLegendOfTheActiveSeriesAtTheLeftOfAPicture) {
    fill(101, 0, [](int) { return std::optional<double>(50); });
    fill(101, 2, [](int) { return std::optional<double>(30); });
    chart.setSeriesTitle(0, QStringLiteral("Output frequency"));
    chart.setSeriesTitle(2, QStringLiteral("Current"));
    chart.setSeriesActive(1, false);
    for (int ch = 3; ch < 10; ++ch)
        chart.setSeriesActive(ch, false);
    const int extra = chart.legendExtraWidth();
    EXPECT_GT(extra, QFontMetrics(chart.font()).horizontalAdvance(QStringLiteral("Output frequency")) + 30);

    const QImage picture = chart.renderImage(QSize(chart.width() + extra, chart.height()), true);
    ASSERT_EQ(picture.width(), chart.width() + extra);
    const QRect legend(0, 0, extra, picture.height());
    EXPECT_GT(countColor(picture, legend, QColor(255, 0, 0)), 0);
    EXPECT_GT(countColor(picture, legend, QColor(0, 255, 0)), 0);
    EXPECT_EQ(countColor(picture, legend, QColor(0, 0, 255)), 0);
    // The chart beside the legend is the chart the widget shows.
    const QImage shown = chart.renderImage(chart.size(), false);
    EXPECT_EQ(picture.copy(extra, 0, chart.width(), chart.height()), shown);
}

TEST_F(Chart, ALeftClickOnACurveAsksForThatPointsReadout) {
    store.setScale(0, 1.2f, 0);
    fill(101, 0, [](int p) { return std::optional<double>(p == 10 ? 20.5 : 10.0); });
    Emissions<int, int> readout(&chart, &ChartWidget::readoutRequested);
    click(chart.pointPixel(0, 10), Qt::LeftButton);
    ASSERT_EQ(readout.count(), 1);
    EXPECT_EQ(readout.seen[0], std::make_tuple(0, 10));
    EXPECT_NEAR(store.unscaled(0, 10), 20.5, 1e-6);

    struct Row {
        const char* name;
        Qt::MouseButton button;
        bool zoomMode, running;
        QPoint at;
    };
    const Row quiet[] = {
        {"right button", Qt::RightButton, false, false, chart.pointPixel(0, 10)},
        {"zoom mode", Qt::LeftButton, true, false, chart.pointPixel(0, 10)},
        {"during a run", Qt::LeftButton, false, true, chart.pointPixel(0, 10)},
        {"background", Qt::LeftButton, false, false, chart.pointPixel(0, 50) - QPoint(0, 40)},
    };
    for (const Row& r : quiet) {
        SCOPED_TRACE(r.name);
        const double min = window.minimum(), max = window.maximum();
        chart.setZoomMode(r.zoomMode);
        chart.setRunning(r.running);
        click(r.at, r.button);
        EXPECT_EQ(readout.count(), 1);
        EXPECT_EQ(window.minimum(), min); // a click on a curve never steps the scope
        EXPECT_EQ(window.maximum(), max);
    }
}

TEST_F(Chart, AClickBetweenFarApartPointsMeetsTheLineJoiningThemAtTheNearerPoint) {
    fill(101, 0, [](int p) { return std::optional<double>(40 + p); });
    window.applyScope(5); // samples 0 .. 5 across the plot
    const QPoint a = chart.pointPixel(0, 2), b = chart.pointPixel(0, 3);
    ASSERT_GT(b.x() - a.x(), 40);
    Emissions<int, int> readout(&chart, &ChartWidget::readoutRequested);
    click(a + (b - a) / 4, Qt::LeftButton);
    click(a + (b - a) * 3 / 4, Qt::LeftButton);
    click(a + (b - a) / 2 - QPoint(0, 20), Qt::LeftButton); // off the line
    ASSERT_EQ(readout.count(), 2);
    EXPECT_EQ(readout.seen[0], std::make_tuple(0, 2));
    EXPECT_EQ(readout.seen[1], std::make_tuple(0, 3));
}

TEST_F(Chart, ZoomModeClicksOnTheBackgroundStepTheScope) {
    fill(1001, 0, [](int) { return std::optional<double>(90); });
    view(1000, 300, 400, 10);
    chart.setZoomMode(true);
    Emissions<> changed(&chart, &ChartWidget::windowChanged);
    click(plotCentre(), Qt::LeftButton);
    EXPECT_EQ(window.minimum(), 325);
    EXPECT_EQ(window.maximum(), 375);
    click(plotCentre(), Qt::RightButton);
    click(plotCentre(), Qt::RightButton);
    EXPECT_EQ(window.scope(), 15);
    EXPECT_EQ(window.minimum(), 275);
    EXPECT_EQ(window.maximum(), 425);
    EXPECT_EQ(changed.count(), 3);

    chart.setZoomMode(false);
    click(plotCentre(), Qt::LeftButton);
    EXPECT_EQ(window.scope(), 15); // out of zoom mode the background does nothing
}

TEST_F(Chart, RightDragPansInsideTheExtentOnly) {
    fill(1001, 0, [](int) { return std::optional<double>(90); });
    view(1000, 300, 400, 10);
    const QRect plot = chart.plotRect();
    const double samplesPerPixel = 100.0 / plot.width();

    rightDrag(plotCentre(), plotCentre() + QPoint(40, 0));
    EXPECT_NEAR(window.minimum(), 300 - 40 * samplesPerPixel, 1e-9);
    EXPECT_NEAR(window.maximum() - window.minimum(), 100, 1e-9);

    view(1000, 2, 102, 10);
    rightDrag(plotCentre(), plotCentre() + QPoint(plot.width() / 2, 0)); // past 0: refused
    EXPECT_GE(window.minimum(), 0);
    EXPECT_LE(window.minimum(), 2);

    view(1000, 300, 400, 10);
    chart.setRunning(true);
    Emissions<> changed(&chart, &ChartWidget::windowChanged);
    rightDrag(plotCentre(), plotCentre() + QPoint(40, 0));
    EXPECT_EQ(window.minimum(), 300);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(Chart, TellsWhenThePlotMoves) {
    Emissions<const QRect&> moved(&chart, &ChartWidget::plotRectChanged);
    const QRect before = chart.plotRect();
    EXPECT_EQ(before.top(), 13); // 5 % of 263
    chart.setYMaximum(500);      // wider numbers on the left axis
    chart.resize(600, 300);
    EXPECT_GE(moved.count(), 1);
    EXPECT_NE(chart.plotRect(), before);
    EXPECT_EQ(chart.plotRect().right(), 600 - 1 - 6); // 1 % right margin
}

} // namespace
