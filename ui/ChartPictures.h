#pragma once
// Pictures of the monitor chart: BMP, JPEG and WMF files and the clipboard's bitmap. They are
// drawn offscreen from the sample store by the chart's own painting code, with a legend of
// the channels that are on at the left and the chart at its size on screen beside it; the
// chart on screen is not touched.
#include "monitor/MonitorFile.h"
#include "platform/TextFile.h"
#include "report/MonitorReport.h"
#include "ui/ChartPainter.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <array>

class ChartWidget;
class SampleStore;

struct ChartPicture {
    ChartLook look;
    const SampleStore* store = nullptr;
    double xMin = 0, xMax = 100;
    QSize chartSize; // the chart's own part; the legend widens the picture

    // The legend's room added to the chart's width.
    int legendWidth() const;
    QSize size() const { return {chartSize.width() + legendWidth(), chartSize.height()}; }
};

// The chart as `chart` shows it now (look, store, window and size), with each channel that
// is on titled by its item text and each channel that is off left out of curves and legend.
ChartPicture chartPicture(const ChartWidget& chart, const std::array<bool, 10>& on,
                          const std::array<QString, 10>& itemTexts);

// The picture as a 24-bit image.
QImage renderChartPicture(const ChartPicture& picture);

// Writes the picture as the kind says (Bmp, Jpeg or Wmf; any other kind writes nothing and
// fails). False with a reason when the file could not be written. A metafile holds its texts in
// the code page: accept is asked as TextFile::writeEncoded asks it (false, error untouched,
// nothing written when declined).
bool saveChartPicture(const ChartPicture& picture, MonitorFile::SaveKind kind, const QString& path,
                      QString* error = nullptr, const TextFile::AcceptSubstitutes& accept = {});

// The chart as `chart` shows it now (look, store, window; no legend) for drawing onto a
// printed page: laid out for the box it is given, in design units, with the chart's text size.
report::ChartDrawing chartDrawing(const ChartWidget& chart);

// Puts the image on the clipboard (the monitor report takes the chart from there).
void copyImageToClipboard(const QImage& image);
