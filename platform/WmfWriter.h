#pragma once
// A Windows placeable metafile drawn with QPainter, so that code that paints a widget can
// paint the same picture as vector records: pens, solid brushes, lines and polylines,
// rectangles and polygons, and text in the legacy code page (one font record per font). Coordinates are those
// of a device of the given pixel size at 96 dots per inch.
//
// What lies outside the clip rectangle or the picture is cut off here rather than left to
// the reader, since the format holds 16-bit coordinates only. Pictures (pixmaps, images)
// are not recorded.
#include <QByteArray>
#include <QPaintDevice>
#include <QSize>
#include <QString>

#include <memory>

class WmfPaintEngine;

class WmfDevice : public QPaintDevice {
public:
    static constexpr int kDpi = 96;
    // Larger pictures cannot be addressed by the format's coordinates.
    static constexpr int kMaxSide = 32767;

    // A size outside 1 .. kMaxSide on either side gives a device QPainter refuses to begin on.
    explicit WmfDevice(const QSize& size);
    ~WmfDevice() override;

    QSize size() const { return size_; }
    QPaintEngine* paintEngine() const override;

    // The whole file: placeable header, metafile header, the records painted since the
    // device was made, and the end record. Empty before the first painter has ended.
    QByteArray bytes() const;
    // The characters of the texts drawn that the legacy code page lacks, each once: they are
    // written as "?".
    QString substitutedCharacters() const;
    // The file written through a temporary file and a rename.
    bool save(const QString& path, QString* error = nullptr) const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize size_;
    std::unique_ptr<WmfPaintEngine> engine_;
};
