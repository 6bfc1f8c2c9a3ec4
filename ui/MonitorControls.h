#pragma once
// The monitor window's small controls: a label that reports clicks, the channel colour, the
// trigger slope's picture and the trigger marker.
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <functional>

// A label that reports clicks and double clicks (disabled, it reports nothing).
class ClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick, onDoubleClick;
    // The designed width: the label is never narrower, and wider when its text needs it.
    int designedWidth = 0;
    QSize minimumSizeHint() const override {
        const QSize text = QLabel::minimumSizeHint();
        return {std::max(designedWidth, text.width()), text.height()};
    }
    QSize sizeHint() const override { return minimumSizeHint().expandedTo(QLabel::sizeHint()); }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// The channel colour; a double click picks another.
class ColourSwatch : public QWidget {
public:
    explicit ColourSwatch(QWidget* parent = nullptr);
    void setColour(const QColor& c);
    QColor colour() const { return colour_; }
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QColor colour_;
};

// The trigger slope as a picture (rising, falling, both); a double click steps it.
class SlopePicture : public QWidget {
public:
    explicit SlopePicture(QWidget* parent = nullptr);
    void setSlope(int slope);
    int slope() const { return slope_; }
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    int slope_ = 0;
};

// The trigger marker at the chart's left edge: it points at the trigger level, and dragging
// it up or down sets the level.
class TriggerMarker : public QWidget {
public:
    explicit TriggerMarker(QWidget* parent = nullptr);
    // The marker's top while it is dragged (held inside the plot); the end of the drag.
    std::function<void(int top)> onMove, onRelease;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool dragging_ = false;
    int grabY_ = 0;
};
