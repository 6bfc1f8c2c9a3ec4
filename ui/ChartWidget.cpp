#include "ui/ChartWidget.h"

#include "monitor/SampleStore.h"
#include "monitor/SampleWindow.h"

#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

// How near a click must come to a curve to hit it, in pixels.
constexpr int kHitDistance = 3;
// A right-button press moved this far becomes a pan instead of a click.
constexpr int kDragDistance = 3;

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / len2, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

bool polylineNear(const QPolygon& poly, const QPoint& pos, double within) {
    if (poly.size() == 1)
        return distanceToSegment(pos, poly.first(), poly.first()) <= within;
    for (int i = 1; i < poly.size(); ++i) {
        const QPoint& a = poly.at(i - 1);
        const QPoint& b = poly.at(i);
        if (std::max(a.x(), b.x()) < pos.x() - within || std::min(a.x(), b.x()) > pos.x() + within)
            continue;
        if (distanceToSegment(pos, a, b) <= within)
            return true;
    }
    return false;
}

} // namespace

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    look_.font = font();
    resize(sizeHint());
}

void ChartWidget::setSource(const SampleStore* store, SampleWindow* window) {
    store_ = store;
    window_ = window;
    update();
}

void ChartWidget::setSeriesColor(int channel, const QColor& color) {
    if (channel < 0 || channel >= SampleStore::kChannels)
        return;
    look_.colors[channel] = color;
    update();
}

QColor ChartWidget::seriesColor(int channel) const {
    return channel >= 0 && channel < SampleStore::kChannels ? look_.colors[channel] : QColor();
}

void ChartWidget::setSeriesActive(int channel, bool active) {
    if (channel < 0 || channel >= SampleStore::kChannels)
        return;
    look_.active[channel] = active;
    update();
}

bool ChartWidget::seriesActive(int channel) const {
    return channel >= 0 && channel < SampleStore::kChannels && look_.active[channel];
}

void ChartWidget::setSeriesTitle(int channel, const QString& title) {
    if (channel >= 0 && channel < SampleStore::kChannels)
        look_.titles[channel] = title;
}

void ChartWidget::setYMaximum(double yMax) {
    if (!(yMax > 0) || !std::isfinite(yMax))
        return;
    look_.yMaximum = yMax;
    // Wider numbers on the left axis move the plot's left edge.
    plotMayHaveMoved();
    update();
}

void ChartWidget::setBackgroundColor(const QColor& color) {
    look_.background = color;
    update();
}

void ChartWidget::setZoomMode(bool on) {
    zoomMode_ = on;
    if (on)
        setCursor(zoomCursor());
    else
        unsetCursor();
}

void ChartWidget::setRunning(bool running) {
    running_ = running;
    pressButton_ = Qt::NoButton;
    dragging_ = false;
    if (!zoomMode_)
        unsetCursor();
}

ChartPainter ChartWidget::painter() const {
    return ChartPainter(look_, store_, window_ ? window_->minimum() : 0.0,
                        window_ ? window_->maximum() : double(SampleWindow::kRunWidth));
}

QRect ChartWidget::plotRect() const {
    return painter().plotRect(rect());
}

double ChartWidget::divisionSamples() const {
    return painter().divisionSamples(rect());
}

double ChartWidget::pixelOfSample(double x) const {
    return ChartPainter::xToPixel(plotRect(), window_ ? window_->minimum() : 0.0,
                                  window_ ? window_->maximum() : double(SampleWindow::kRunWidth), x);
}

double ChartWidget::sampleAtPixel(double px) const {
    return ChartPainter::pixelToX(plotRect(), window_ ? window_->minimum() : 0.0,
                                  window_ ? window_->maximum() : double(SampleWindow::kRunWidth), px);
}

QPoint ChartWidget::pointPixel(int channel, int index) const {
    const QRect plot = plotRect();
    const double y = store_ ? store_->plotted(channel, index) : 0.0;
    const double x = store_ ? store_->position(index) : index;
    return QPoint(static_cast<int>(std::floor(pixelOfSample(x))),
                  static_cast<int>(std::lround(ChartPainter::yToPixel(plot, look_.yMaximum, y))));
}

std::optional<ChartWidget::Hit> ChartWidget::seriesAt(const QPoint& pos) const {
    if (!store_ || store_->isEmpty())
        return std::nullopt;
    const QRect plot = plotRect();
    if (!plot.adjusted(-kHitDistance, -kHitDistance, kHitDistance, kHitDistance).contains(pos))
        return std::nullopt;
    // Only the columns near the position are drawn again: the same mapping over a narrow
    // strip, so a hit test costs little however many samples the window holds.
    const double min = window_ ? window_->minimum() : 0.0;
    const double max = window_ ? window_->maximum() : double(SampleWindow::kRunWidth);
    const int left = std::max(plot.left(), pos.x() - kHitDistance - 1);
    const int right = std::min(plot.right(), pos.x() + kHitDistance + 1);
    if (right < left)
        return std::nullopt;
    const QRect strip(left, plot.top(), right - left + 1, plot.height());
    const ChartPainter cp(look_, store_, ChartPainter::pixelToX(plot, min, max, left),
                          ChartPainter::pixelToX(plot, min, max, right + 1));
    // The last series is drawn on top, so it is the one a click meets first.
    for (int ch = SampleStore::kChannels - 1; ch >= 0; --ch) {
        if (!look_.active[ch])
            continue;
        bool near = false;
        for (const QPolygon& poly : cp.curve(ch, strip)) {
            if (polylineNear(poly, pos, kHitDistance)) {
                near = true;
                break;
            }
        }
        if (!near)
            continue;
        // The pixel column's centre gives the sample; the nearest point the series holds.
        const int last = store_->lastPointOf(ch);
        const int wanted =
            std::clamp(store_->indexAt(std::lround(sampleAtPixel(pos.x() + 0.5))), 0, std::max(0, last));
        for (int d = 0; d <= last; ++d) {
            if (store_->hasPoint(ch, wanted - d))
                return Hit{ch, wanted - d};
            if (store_->hasPoint(ch, wanted + d))
                return Hit{ch, wanted + d};
        }
    }
    return std::nullopt;
}

int ChartWidget::legendExtraWidth() const {
    return painter().legendWidth();
}

QImage ChartWidget::renderImage(const QSize& size, bool withLegend) const {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter p(&image);
    painter().paint(p, QRect(QPoint(0, 0), size), withLegend);
    return image;
}

void ChartWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    painter().paint(p, rect(), false);
}

void ChartWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    plotMayHaveMoved();
}

void ChartWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        look_.font = font();
        plotMayHaveMoved();
        update();
    }
}

void ChartWidget::plotMayHaveMoved() {
    const QRect plot = plotRect();
    if (plot != lastPlot_) {
        lastPlot_ = plot;
        emit plotRectChanged(plot);
    }
}

void ChartWidget::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (running_ || pressButton_ != Qt::NoButton)
        return;
    pressButton_ = event->button();
    pressPos_ = event->position().toPoint();
    pressMin_ = window_ ? window_->minimum() : 0.0;
    pressMax_ = window_ ? window_->maximum() : 0.0;
    dragging_ = false;
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (pressButton_ == Qt::NoButton) {
        updateCursor(pos);
        return;
    }
    if (running_ || pressButton_ != Qt::RightButton || !window_)
        return;
    if (!dragging_ && (pos - pressPos_).manhattanLength() < kDragDistance)
        return;
    dragging_ = true;
    const QRect plot = plotRect();
    if (plot.width() <= 0)
        return;
    // Measured from the press, so a refused step costs nothing once the mouse comes back.
    const double shift = -(pos.x() - pressPos_.x()) * (pressMax_ - pressMin_) / plot.width();
    if (window_->panTo(pressMin_ + shift, pressMax_ + shift)) {
        update();
        emit windowChanged();
    }
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (running_ || event->button() != pressButton_)
        return;
    const Qt::MouseButton button = pressButton_;
    const bool wasDrag = dragging_;
    pressButton_ = Qt::NoButton;
    dragging_ = false;
    if (wasDrag)
        return;
    const QPoint pos = event->position().toPoint();
    if (const std::optional<Hit> hit = seriesAt(pos)) {
        if (!zoomMode_ && button == Qt::LeftButton)
            emit readoutRequested(hit->channel, hit->index);
        return;
    }
    const QRect plot = plotRect();
    if (zoomMode_ && window_ && plot.contains(pos) && plot.width() > 0) {
        const float fraction =
            static_cast<float>((pos.x() - (plot.left() + plot.width() / 2.0)) / plot.width());
        window_->stepScope(button == Qt::RightButton, fraction);
        update();
        emit windowChanged();
    }
}

void ChartWidget::updateCursor(const QPoint& pos) {
    if (zoomMode_)
        return;
    if (!running_ && seriesAt(pos))
        setCursor(Qt::WhatsThisCursor);
    else
        unsetCursor();
}

const QCursor& ChartWidget::zoomCursor() {
    // A magnifying glass, hot spot at the centre of its lens.
    static const QCursor cursor = [] {
        QPixmap pm(32, 32);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 4));
        p.drawEllipse(QPointF(12, 12), 8, 8);
        p.drawLine(QPointF(18, 18), QPointF(28, 28));
        p.setPen(QPen(Qt::black, 2));
        p.drawEllipse(QPointF(12, 12), 8, 8);
        p.drawLine(QPointF(18, 18), QPointF(28, 28));
        p.end();
        return QCursor(pm, 12, 12);
    }();
    return cursor;
}
