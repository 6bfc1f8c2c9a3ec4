#pragma once
// The monitor chart's drawing, shared by the widget on screen and by the pictures drawn
// offscreen, so a saved picture shows exactly what the window shows.
//
// Layout: margins of 5 % at the top, 2 % at the bottom, none at the left and 1 % at the
// right of the area; the left axis (0 .. the Y maximum, numbered) and the bottom axis
// (slots of the sampling period, a "^" under each division) take their labels' room inside that. Both
// axes carry a silver grid at their divisions. With the legend, the area's left part holds
// it and the chart takes the rest.
//
// The curves are drawn from the sample store reduced per pixel column, a few lines per
// column whatever the number of samples. Consecutive samples are joined however many slots
// lie between them; only a sample without a value (a gap) breaks the curve.
#include "monitor/SampleStore.h"

#include <QColor>
#include <QFont>
#include <QPolygon>
#include <QRect>
#include <QString>

#include <array>
#include <vector>

class QPainter;
class QFontMetrics;
class SampleWindow;

struct ChartLook {
    ChartLook();

    std::array<QColor, SampleStore::kChannels> colors;  // the ten default channel colours
    std::array<QString, SampleStore::kChannels> titles; // legend texts
    std::array<bool, SampleStore::kChannels> active;    // drawn and listed
    double yMaximum = 100;                              // left axis: 0 .. this, percent of scale
    QColor background = Qt::white;
    QFont font;
};

class ChartPainter {
public:
    static constexpr int kSampleStep = 5; // the bottom axis's least division, in samples
    static constexpr int kTickLength = 4;
    static constexpr int kLabelGap = 2;
    static constexpr int kLegendColorWidth = 12;

    ChartPainter(const ChartLook& look, const SampleStore* store, double xMin, double xMax);

    // The rectangle the curves are drawn in, for a chart filling `area` (no legend).
    QRect plotRect(const QRect& area) const;
    // The room the legend adds to the left of the chart: the widest of the ten titles + 10
    // + the colour width + 16 pixels.
    int legendWidth() const;

    // The whole chart into `area`; with the legend, its left legendWidth() pixels hold the
    // legend and the chart the rest.
    void paint(QPainter& painter, const QRect& area, bool withLegend) const;

    // Pixel columns and rows of the plot rectangle and back.
    static double xToPixel(const QRect& plot, double xMin, double xMax, double x);
    static double pixelToX(const QRect& plot, double xMin, double xMax, double px);
    static double yToPixel(const QRect& plot, double yMax, double y);

    // The curve of a channel inside `plot` as connected polylines, in pixels.
    std::vector<QPolygon> curve(int channel, const QRect& plot) const;

    // Samples per division drawn for a chart filling `area`: 5, or more where 5 would crowd
    // the grid. The time label states the time of this many samples, never of 5 regardless.
    double divisionSamples(const QRect& area, bool withLegend = false) const;

    // The step of the bottom axis: 5 samples, or 10, 25, 50, 100, 250, ... when 5 would put
    // divisions closer than minSpacing pixels.
    static double divisionStep(double xMin, double xMax, int plotWidth, int minSpacing);
    // Divisions of the bottom axis: the multiples of divisionStep inside [xMin, xMax].
    static std::vector<double> bottomDivisions(double xMin, double xMax, int plotWidth, int minSpacing);
    // Divisions of the left axis from 0 to yMax: multiples of the least step of 1, 2, 5, 10,
    // 20, 50, ... whose labels stay at least minSpacing pixels apart.
    static std::vector<double> leftDivisions(double yMax, int plotHeight, int minSpacing);
    static QString leftLabel(double value);

private:
    struct Axes;
    static int minDivisionSpacing(const QFontMetrics& fm);
    Axes axes(const QRect& area, const QFontMetrics& fm) const;
    void paintLegend(QPainter& painter, const QRect& area, const QRect& plot) const;

    const ChartLook& look_;
    const SampleStore* store_;
    double xMin_;
    double xMax_;
};
