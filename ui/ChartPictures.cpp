#include "ui/ChartPictures.h"

#include "monitor/SampleWindow.h"
#include "platform/ImageWriter.h"
#include "platform/WmfWriter.h"
#include "ui/ChartWidget.h"

#include <QClipboard>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>

#include <memory>

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
                      QString* error, const TextFile::AcceptSubstitutes& accept) {
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
        if (const QString lacking = device.substitutedCharacters();
            !lacking.isEmpty() && accept && !accept(lacking))
            return false;
        return device.save(path, error);
    }
    default:
        if (error)
            *error = QStringLiteral("Cannot write %1: not a picture").arg(path);
        return false;
    }
}

report::ChartDrawing chartDrawing(const ChartWidget& chart) {
    ChartPicture picture = chartPicture(chart, chart.look().active, chart.look().titles);
    // The page's painter measures in design units (the screen's pixels): a font sized in
    // pixels keeps the chart's text size at any resolution the device draws at.
    picture.look.font.setPixelSize(std::max(1, QFontInfo(chart.look().font).pixelSize()));
    // The print window stays open while the monitor may run again: it keeps the samples of the
    // moment of printing, as the rows beside the chart do.
    std::shared_ptr<const SampleStore> samples;
    if (picture.store)
        samples = std::make_shared<const SampleStore>(*picture.store);
    picture.store = samples.get();
    auto painterFor = [picture, samples] {
        return ChartPainter(picture.look, picture.store, picture.xMin, picture.xMax);
    };
    auto box = [](const QSizeF& size) { return QRect(0, 0, int(size.width()), int(size.height())); };
    report::ChartDrawing d;
    d.textFont = picture.look.font;
    for (const QString& title : picture.look.titles)
        d.texts += title;
    d.paint = [painterFor, box](QPainter& painter, const QSizeF& size) {
        painterFor().paint(painter, box(size), false);
    };
    d.divisionSamples = [painterFor, box](const QSizeF& size) {
        return painterFor().divisionSamples(box(size));
    };
    return d;
}

void copyImageToClipboard(const QImage& image) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(image);
}
