#include "ui/ChartPainter.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QColor kGridColor(0xC0, 0xC0, 0xC0);
const QString kDivisionMark = QStringLiteral("^");
constexpr int kMinDivisionPixels = 12;
// Points far outside the plot are held this far out: the raster engine slows down or drops
// lines at coordinates in the millions, and a curve of a huge reading is clipped anyway.
constexpr int kCoordinateLimit = 1 << 20;

int clampCoordinate(double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, double(-kCoordinateLimit), double(kCoordinateLimit)));
}

void appendPoint(QPolygon& poly, int x, int y) {
    const QPoint p(x, y);
    if (poly.isEmpty() || poly.constLast() != p)
        poly.append(p);
}

} // namespace

ChartLook::ChartLook() {
    colors = {QColor(255, 0, 0),   QColor(0, 0, 255),  QColor(0, 255, 0), QColor(255, 0, 255),
              QColor(0, 255, 255), QColor(128, 0, 0),  QColor(0, 0, 128), QColor(0, 128, 0),
              QColor(128, 0, 128), QColor(0, 128, 128)};
    active.fill(true);
}

struct ChartPainter::Axes {
    QRect plot;
    std::vector<double> left;
    std::vector<double> bottom;
    double step = kSampleStep; // samples per drawn division
};

ChartPainter::ChartPainter(const ChartLook& look, const SampleStore* store, double xMin, double xMax)
    : look_(look), store_(store), xMin_(xMin), xMax_(xMax) {}

double ChartPainter::xToPixel(const QRect& plot, double xMin, double xMax, double x) {
    if (!(xMax > xMin))
        return plot.left();
    return plot.left() + (x - xMin) * plot.width() / (xMax - xMin);
}

double ChartPainter::pixelToX(const QRect& plot, double xMin, double xMax, double px) {
    if (plot.width() <= 0)
        return xMin;
    return xMin + (px - plot.left()) * (xMax - xMin) / plot.width();
}

double ChartPainter::yToPixel(const QRect& plot, double yMax, double y) {
    if (!(yMax > 0) || !std::isfinite(yMax))
        yMax = 100;
    return plot.bottom() - y / yMax * (plot.bottom() - plot.top());
}

double ChartPainter::divisionStep(double xMin, double xMax, int plotWidth, int minSpacing) {
    if (!(xMax > xMin) || !std::isfinite(xMin) || !std::isfinite(xMax) || plotWidth <= 0)
        return kSampleStep;
    const double pixelsPerSample = plotWidth / (xMax - xMin);
    static constexpr int kFactors[] = {1, 2, 5};
    for (double decade = kSampleStep; decade < 1e9; decade *= 10) {
        // 5, 10, 25, 50, 100, 250, ...: every step is a multiple of the least one.
        for (int f : kFactors) {
            if (decade * f * pixelsPerSample >= minSpacing)
                return decade * f;
        }
    }
    return 1e9;
}

std::vector<double> ChartPainter::bottomDivisions(double xMin, double xMax, int plotWidth, int minSpacing) {
    std::vector<double> out;
    if (!(xMax > xMin) || !std::isfinite(xMin) || !std::isfinite(xMax) || plotWidth <= 0)
        return out;
    const double step = divisionStep(xMin, xMax, plotWidth, minSpacing);
    const double first = std::ceil(xMin / step) * step;
    // A range no step fits (beyond any record) gets no divisions rather than millions.
    if ((xMax - first) / step > plotWidth)
        return out;
    for (double x = first; x <= xMax; x += step)
        out.push_back(x);
    return out;
}

std::vector<double> ChartPainter::leftDivisions(double yMax, int plotHeight, int minSpacing) {
    std::vector<double> out;
    if (!(yMax > 0) || !std::isfinite(yMax) || plotHeight <= 0)
        return out;
    static constexpr int kFactors[] = {1, 2, 5};
    double step = 0;
    for (double decade = 1; decade <= yMax && step == 0; decade *= 10) {
        for (int f : kFactors) {
            if (decade * f * plotHeight / yMax >= minSpacing) {
                step = decade * f;
                break;
            }
        }
    }
    if (step == 0) {
        out.push_back(0);
        return out;
    }
    for (int k = 0; k * step <= yMax; ++k)
        out.push_back(k * step);
    return out;
}

QString ChartPainter::leftLabel(double value) {
    return QString::number(std::llround(value));
}

ChartPainter::Axes ChartPainter::axes(const QRect& area, const QFontMetrics& fm) const {
    Axes a;
    const int top = area.top() + static_cast<int>(std::lround(area.height() * 0.05));
    const int bottomEdge = area.bottom() - static_cast<int>(std::lround(area.height() * 0.02));
    const int plotBottom = bottomEdge - (kTickLength + kLabelGap + fm.height());
    a.left = leftDivisions(look_.yMaximum, plotBottom - top, fm.height() + 4);
    int labelWidth = 0;
    for (double y : a.left)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(leftLabel(y)));
    const int plotLeft = area.left() + labelWidth + kLabelGap + kTickLength;
    const int plotRight = area.right() - static_cast<int>(std::lround(area.width() * 0.01));
    a.plot = QRect(QPoint(plotLeft, top), QPoint(std::max(plotLeft, plotRight), std::max(top, plotBottom)));
    a.step = divisionStep(xMin_, xMax_, a.plot.width(), minDivisionSpacing(fm));
    a.bottom = bottomDivisions(xMin_, xMax_, a.plot.width(), minDivisionSpacing(fm));
    return a;
}

// Neighbouring marks keep a gap between them. Twice the mark's width thinned the grid of a
// window of 100 samples at the monitor's default size, where 5 samples a division fit.
int ChartPainter::minDivisionSpacing(const QFontMetrics& fm) {
    return std::max(kMinDivisionPixels, fm.horizontalAdvance(kDivisionMark) + 2 * kLabelGap);
}

double ChartPainter::divisionSamples(const QRect& area, bool withLegend) const {
    QRect chartArea = area;
    if (withLegend)
        chartArea.setLeft(area.left() + legendWidth());
    return axes(chartArea, QFontMetrics(look_.font)).step;
}

QRect ChartPainter::plotRect(const QRect& area) const {
    return axes(area, QFontMetrics(look_.font)).plot;
}

int ChartPainter::legendWidth() const {
    const QFontMetrics fm(look_.font);
    int widest = 0;
    for (const QString& t : look_.titles)
        widest = std::max(widest, fm.horizontalAdvance(t));
    return widest + 10 + kLegendColorWidth + 16;
}

std::vector<QPolygon> ChartPainter::curve(int channel, const QRect& plot) const {
    std::vector<QPolygon> out;
    const int columns = plot.width();
    if (!store_ || columns <= 0 || !(xMax_ > xMin_))
        return out;
    std::vector<SampleStore::ColumnSpan> spans(columns);
    store_->reduce(channel, xMin_, xMax_, spans);

    const double yMax = look_.yMaximum;
    auto py = [&](double y) { return clampCoordinate(std::lround(yToPixel(plot, yMax, y))); };
    auto px = [&](int p) {
        return clampCoordinate(std::floor(xToPixel(plot, xMin_, xMax_, store_->position(p))));
    };

    QPolygon current;
    auto flush = [&] {
        if (!current.isEmpty())
            out.push_back(std::move(current));
        current = QPolygon();
    };
    int previousLast = INT_MIN;
    for (int c = 0; c < columns; ++c) {
        const SampleStore::ColumnSpan& s = spans[c];
        if (s.firstIndex < 0)
            continue;
        // Consecutive samples are joined however far apart they stand (a late reply, a slow
        // drive); only a sample without a value breaks the curve.
        if (s.firstIndex != previousLast + 1) {
            flush();
            // The curve comes in from the point before the window, when there is one.
            const int before = s.firstIndex - 1;
            if (previousLast == INT_MIN && store_->hasPoint(channel, before))
                appendPoint(current, px(before), py(store_->plotted(channel, before)));
        }
        const int x = plot.left() + c;
        appendPoint(current, x, py(s.first));
        appendPoint(current, x, py(s.low));
        appendPoint(current, x, py(s.high));
        appendPoint(current, x, py(s.last));
        previousLast = s.lastIndex;
    }
    if (previousLast != INT_MIN) {
        const int after = previousLast + 1;
        if (store_->position(after) > xMax_ && store_->hasPoint(channel, after))
            appendPoint(current, px(after), py(store_->plotted(channel, after)));
    } else {
        // A window between two neighbouring samples still crosses the line that joins them.
        const int before = store_->lastBefore(xMin_);
        if (before >= 0 && store_->position(before + 1) > xMax_ && store_->hasPoint(channel, before) &&
            store_->hasPoint(channel, before + 1)) {
            appendPoint(current, px(before), py(store_->plotted(channel, before)));
            appendPoint(current, px(before + 1), py(store_->plotted(channel, before + 1)));
        }
    }
    flush();
    return out;
}

void ChartPainter::paint(QPainter& painter, const QRect& area, bool withLegend) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(look_.font);
    const QFontMetrics fm(look_.font);
    painter.fillRect(area, look_.background);

    QRect chartArea = area;
    if (withLegend)
        chartArea.setLeft(area.left() + legendWidth());
    const Axes a = axes(chartArea, fm);
    const QRect& plot = a.plot;

    painter.setPen(QPen(kGridColor, 0));
    for (double y : a.left) {
        const int yy = static_cast<int>(std::lround(yToPixel(plot, look_.yMaximum, y)));
        painter.drawLine(plot.left(), yy, plot.right(), yy);
    }
    for (double x : a.bottom) {
        const int xx = static_cast<int>(std::floor(xToPixel(plot, xMin_, xMax_, x)));
        painter.drawLine(xx, plot.top(), xx, plot.bottom());
    }

    painter.setPen(QPen(Qt::black, 0));
    painter.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
    painter.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());
    const int h = fm.height();
    for (double y : a.left) {
        const int yy = static_cast<int>(std::lround(yToPixel(plot, look_.yMaximum, y)));
        painter.drawLine(plot.left() - kTickLength, yy, plot.left() - 1, yy);
        const QRect label(chartArea.left(), yy - h / 2,
                          plot.left() - kTickLength - kLabelGap - chartArea.left(), h);
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, leftLabel(y));
    }
    const int markWidth = fm.horizontalAdvance(kDivisionMark);
    for (double x : a.bottom) {
        const int xx = static_cast<int>(std::floor(xToPixel(plot, xMin_, xMax_, x)));
        painter.drawLine(xx, plot.bottom() + 1, xx, plot.bottom() + kTickLength);
        const QRect label(xx - markWidth, plot.bottom() + kTickLength + kLabelGap, 2 * markWidth + 1, h);
        painter.drawText(label, Qt::AlignHCenter | Qt::AlignTop, kDivisionMark);
    }

    painter.setClipRect(plot);
    for (int ch = 0; ch < SampleStore::kChannels; ++ch) {
        if (!look_.active[ch])
            continue;
        painter.setPen(QPen(look_.colors[ch], 0));
        for (const QPolygon& poly : curve(ch, plot)) {
            if (poly.size() == 1)
                painter.drawPoint(poly.first());
            else
                painter.drawPolyline(poly);
        }
    }
    painter.setClipping(false);

    if (withLegend)
        paintLegend(painter, area, plot);
    painter.restore();
}

void ChartPainter::paintLegend(QPainter& painter, const QRect& area, const QRect& plot) const {
    const QFontMetrics fm(look_.font);
    const int row = fm.height() + 2;
    int rows = 0;
    for (bool on : look_.active)
        rows += on ? 1 : 0;
    if (rows == 0)
        return;
    const QRect box(area.left() + 4, plot.top(), legendWidth() - 8, rows * row + 6);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    int y = box.top() + 3;
    for (int ch = 0; ch < SampleStore::kChannels; ++ch) {
        if (!look_.active[ch])
            continue;
        const int mid = y + row / 2;
        painter.fillRect(QRect(box.left() + 5, mid - 1, kLegendColorWidth, 3), look_.colors[ch]);
        painter.setPen(QPen(Qt::black, 0));
        painter.drawText(QRect(box.left() + 5 + kLegendColorWidth + 5, y, box.right() - box.left(), row),
                         Qt::AlignLeft | Qt::AlignVCenter, look_.titles[ch]);
        y += row;
    }
}
