#pragma once
// The monitor's chart: up to ten curves from the sample store over the window of samples
// the SampleWindow holds, drawn by ChartPainter (the same code draws the pictures).
//
// Mouse, none of it while a run is in progress:
// - a left click on a curve, out of zoom mode, asks for the readout of the clicked point;
// - in zoom mode a click on the plot's background narrows (left) or widens (any other
//   button) the window by one scope step, moved by the click's distance from the centre;
//   a click on a curve does nothing there;
// - a drag with the right button pans the window horizontally; a step that would leave
//   0 .. extent is refused as a whole.
// The store and the window belong to the monitor's model; the widget only reads the store
// and moves the window at the user's request.
#include "ui/ChartPainter.h"

#include <QImage>
#include <QWidget>

#include <optional>

class SampleStore;
class SampleWindow;

class ChartWidget : public QWidget {
    Q_OBJECT
public:
    struct Hit {
        int channel = -1;
        int index = -1;
    };

    explicit ChartWidget(QWidget* parent = nullptr);
    // The chart's size in the monitor window's layout.
    QSize sizeHint() const override { return {465, 263}; }

    // Both must outlive the widget or be replaced first; either may be null (empty chart).
    void setSource(const SampleStore* store, SampleWindow* window);
    const SampleStore* store() const { return store_; }
    SampleWindow* sampleWindow() const { return window_; }

    void setSeriesColor(int channel, const QColor& color);
    QColor seriesColor(int channel) const;
    // Inactive series are neither drawn nor listed in the legend.
    void setSeriesActive(int channel, bool active);
    bool seriesActive(int channel) const;
    void setSeriesTitle(int channel, const QString& title);
    // The left axis's maximum in percent of scale (its minimum is 0).
    void setYMaximum(double yMax);
    double yMaximum() const { return look_.yMaximum; }
    void setBackgroundColor(const QColor& color);

    void setZoomMode(bool on);
    bool zoomMode() const { return zoomMode_; }
    // While a run is in progress the mouse does nothing on the chart.
    void setRunning(bool running);
    bool running() const { return running_; }

    // Where the curves are drawn, in the widget's coordinates (overlay labels and the
    // trigger marker are placed from it).
    QRect plotRect() const;
    // Samples per division of the grid as drawn now (5 unless the grid had to be thinned).
    double divisionSamples() const;
    // The pixel of an X (a slot of the sampling period) and back, along the bottom axis of the
    // current window.
    double pixelOfSample(double x) const;
    double sampleAtPixel(double px) const;
    // The pixel a held point is drawn at.
    QPoint pointPixel(int channel, int index) const;
    // The curve under a position (the topmost when several are), and the held point of it
    // nearest to that position's sample index.
    std::optional<Hit> seriesAt(const QPoint& pos) const;

    // Colours, titles, active series, Y maximum, background and font as the chart draws them
    // (pictures start from a copy).
    const ChartLook& look() const { return look_; }

    // The room a legend adds at the left of a picture.
    int legendExtraWidth() const;
    // The chart drawn into an image of `size` with this widget's look and window; the
    // widget itself is not changed.
    QImage renderImage(const QSize& size, bool withLegend) const;

signals:
    // The window was narrowed, widened or panned by the mouse (the scope shown follows).
    void windowChanged();
    // A left click on point `index` of a curve, out of zoom mode.
    void readoutRequested(int channel, int index);
    // The plotting rectangle moved or changed size.
    void plotRectChanged(const QRect& plot);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ChartPainter painter() const;
    void updateCursor(const QPoint& pos);
    void plotMayHaveMoved();
    static const QCursor& zoomCursor();

    const SampleStore* store_ = nullptr;
    SampleWindow* window_ = nullptr;
    ChartLook look_;
    bool zoomMode_ = false;
    bool running_ = false;
    QRect lastPlot_;

    Qt::MouseButton pressButton_ = Qt::NoButton;
    QPoint pressPos_;
    double pressMin_ = 0;
    double pressMax_ = 0;
    bool dragging_ = false;
};
