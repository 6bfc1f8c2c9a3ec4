#include "ui/MonitorControls.h"

#include "monitor/MonitorModel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick)
        onClick();
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick();
}

ColourSwatch::ColourSwatch(QWidget* parent) : QWidget(parent) {
    setFixedSize(45, 17);
    setCursor(Qt::PointingHandCursor);
}

void ColourSwatch::setColour(const QColor& c) {
    if (c == colour_)
        return;
    colour_ = c;
    update();
}

void ColourSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.setBrush(colour_);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ColourSwatch::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick();
}

SlopePicture::SlopePicture(QWidget* parent) : QWidget(parent) {
    setFixedSize(24, 16);
}

void SlopePicture::setSlope(int slope) {
    if (slope == slope_)
        return;
    slope_ = slope;
    update();
}

void SlopePicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(isEnabled() ? QColor(200, 0, 0) : palette().color(QPalette::Disabled, QPalette::WindowText),
                  1.5));
    const qreal w = width(), h = height();
    // A step crossing the level, with an arrow head on the crossing edge.
    auto edge = [&](qreal x, bool up) {
        QPainterPath path;
        path.moveTo(x - 5, up ? h - 3 : 3);
        path.lineTo(x, up ? h - 3 : 3);
        path.lineTo(x, up ? 3 : h - 3);
        path.lineTo(x + 5, up ? 3 : h - 3);
        p.drawPath(path);
        const qreal tip = h / 2 + (up ? -3 : 3);
        p.drawLine(QPointF(x, tip), QPointF(x - 2.5, tip + (up ? 3 : -3)));
        p.drawLine(QPointF(x, tip), QPointF(x + 2.5, tip + (up ? 3 : -3)));
    };
    if (slope_ == 0)
        edge(w / 2, true);
    else if (slope_ == 1)
        edge(w / 2, false);
    else {
        edge(w / 2 - 5, true);
        edge(w / 2 + 5, false);
    }
}

void SlopePicture::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick();
}

TriggerMarker::TriggerMarker(QWidget* parent) : QWidget(parent) {
    setFixedSize(18, 12);
    setCursor(Qt::SplitVCursor);
}

void TriggerMarker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(128, 0, 0), 1));
    p.setBrush(QColor(255, 0, 0));
    // Pointing left into the plot, its tip at the row of the level.
    const qreal tip = kMarkerOffset;
    p.drawPolygon(
        QPolygonF({QPointF(0.5, tip), QPointF(width() - 0.5, 0.5), QPointF(width() - 0.5, height() - 0.5)}));
}

void TriggerMarker::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    grabY_ = int(e->position().y());
}

void TriggerMarker::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_)
        return;
    const int top = y() + int(e->position().y()) - grabY_;
    if (onMove)
        onMove(top);
}

void TriggerMarker::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ || e->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    if (onRelease)
        onRelease(y());
}
