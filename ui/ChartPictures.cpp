#include "ui/ChartPictures.h"

#include "monitor/SampleWindow.h"
#include "platform/ImageWriter.h"
#include "platform/WmfWriter.h"
#include "ui/ChartWidget.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

int ChartPicture::legendWidth() const {
    return ChartPainter(look, store, xMin, xMax).legendWidth();
}

ChartPicture chartPicture(const ChartWidget& chart, const std::array<bool, 10>& on,
                          const std::array<QString, 10>& itemTexts) {
    ChartPicture p;
    p.look = chart.look();
    for (int c = 0; c < SampleStore::kChannels; ++c) {
        p.look.active[c] = on[c];
        if (on[c])
            p.look.titles[c] = itemTexts[c];
    }
    p.store = chart.store();
    if (const SampleWindow* w = chart.sampleWindow()) {
        p.xMin = w->minimum();
        p.xMax = w->maximum();
    }
    p.chartSize = chart.size();
    return p;
}

QImage renderChartPicture(const ChartPicture& picture) {
    const QSize size = picture.size();
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    {
        QPainter painter(&image);
        ChartPainter(picture.look, picture.store, picture.xMin, picture.xMax)
            .paint(painter, QRect(QPoint(0, 0), size), true);
    }
    return image.convertToFormat(QImage::Format_RGB888);
}

bool saveChartPicture(const ChartPicture& picture, MonitorFile::SaveKind kind, const QString& path,
                      QString* error) {
    switch (kind) {
    case MonitorFile::SaveKind::Bmp:
        return ImageWriter::writeBmp(path, renderChartPicture(picture), error);
    case MonitorFile::SaveKind::Jpeg:
        return ImageWriter::writeJpeg(path, renderChartPicture(picture), error);
    case MonitorFile::SaveKind::Wmf: {
        WmfDevice device(picture.size());
        QPainter painter;
        if (!painter.begin(&device)) {
            if (error)
                *error = QStringLiteral("Cannot write %1: the picture is too large").arg(path);
            return false;
        }
        ChartPainter(picture.look, picture.store, picture.xMin, picture.xMax)
            .paint(painter, QRect(QPoint(0, 0), picture.size()), true);
        painter.end();
        return device.save(path, error);
    }
    default:
        if (error)
            *error = QStringLiteral("Cannot write %1: not a picture").arg(path);
        return false;
    }
}

void copyImageToClipboard(const QImage& image) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(image);
}
