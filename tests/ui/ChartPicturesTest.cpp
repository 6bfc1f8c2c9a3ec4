// Pictures of the monitor chart, drawn offscreen: the legend names the channels that are on,
// a channel that is off is neither drawn nor listed, the chart on screen stays as it was, and
// each file format opens in its reader.
#include "ui/ChartPictures.h"

#include "monitor/SampleWindow.h"
#include "support/PictureTools.h"
#include "support/RecordedRunFixture.h"
#include "ui/ChartWidget.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace monitortest;

namespace {

QByteArray readRaw(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int pixelsOf(const QImage& image, const QColor& color) {
    int n = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            n += QColor(rgb.pixel(x, y)) == color ? 1 : 0;
    return n;
}

// A run of CH1..CH3 on a chart of the window's size; CH3 is then switched off.
class ChartPicturesTest : public testing::Test {
protected:
    ChartPicturesTest() {
        MonitorFileHeader h = exampleHeader();
        h.channels[1] = {1, 10, "0", true};
        h.channels[2] = {3, 10, "20", true};
        fillRun(store, h, 160, wave);
        window.pointAdded(159, 159);
        chart.setSource(&store, &window);
        chart.resize(465, 263);
        chart.setSeriesTitle(2, "before");
        on = {true, true, false};
        items = {"Output frequency", "Output current", "DC bus voltage"};
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    ChartPicture picture() const { return chartPicture(chart, on, items); }

    SampleStore store;
    SampleWindow window;
    ChartWidget chart;
    std::array<bool, 10> on{};
    std::array<QString, 10> items;
    QTemporaryDir dir;
};

TEST_F(ChartPicturesTest, LeavesOutChannelsThatAreOffAndWidensByTheLegend) {
    const QImage before = chart.renderImage(chart.size(), false);
    const ChartPicture p = picture();
    EXPECT_EQ(p.size(), QSize(465 + p.legendWidth(), 263));
    EXPECT_GT(p.legendWidth(), 30);
    EXPECT_EQ(p.xMin, window.minimum());
    EXPECT_EQ(p.xMax, window.maximum());
    const QImage image = renderChartPicture(p);
    ASSERT_EQ(image.size(), p.size());
    EXPECT_EQ(image.format(), QImage::Format_RGB888);
    EXPECT_GT(pixelsOf(image, chart.seriesColor(0)), 50);
    EXPECT_GT(pixelsOf(image, chart.seriesColor(1)), 50);
    EXPECT_EQ(pixelsOf(image, chart.seriesColor(2)), 0); // neither curve nor legend swatch

    // The chart on screen is as it was.
    EXPECT_EQ(chart.size(), QSize(465, 263));
    for (int c = 0; c < 10; ++c)
        EXPECT_TRUE(chart.seriesActive(c)) << c;
    EXPECT_EQ(chart.look().titles[2], "before");
    EXPECT_EQ(chart.renderImage(chart.size(), false), before);
}

TEST_F(ChartPicturesTest, BmpAndJpegHoldTheRenderedPicture) {
    const ChartPicture p = picture();
    const QImage image = renderChartPicture(p);
    QString error;
    ASSERT_TRUE(saveChartPicture(p, MonitorFile::SaveKind::Bmp, path("c.bmp"), &error))
        << error.toStdString();
    EXPECT_EQ(QImage(path("c.bmp")).convertToFormat(QImage::Format_RGB888), image);

    // Typed as chart.JPG in the picture dialog: a JPEG under that very name.
    const QString name = MonitorFile::nameWithExtension("chart.JPG", 1, true);
    ASSERT_EQ(MonitorFile::saveKindOf(name), MonitorFile::SaveKind::Jpeg);
    ASSERT_TRUE(saveChartPicture(p, MonitorFile::saveKindOf(name), dir.filePath(name), &error));
    const QByteArray jpeg = readRaw(dir.filePath(name));
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
    EXPECT_TRUE(jpeg.endsWith("\xFF\xD9"));
    const QImage back(dir.filePath(name));
    EXPECT_EQ(back.size(), image.size());

    int rc = -1;
    const auto ppm = picturetest::runTool("djpeg", {"-pnm", dir.filePath(name)}, rc);
    if (!ppm)
        GTEST_SKIP() << "djpeg is not installed";
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(
        ppm->startsWith(QStringLiteral("P6\n%1 %2\n").arg(image.width()).arg(image.height()).toLatin1()));
}

TEST_F(ChartPicturesTest, WmfHoldsTheCurvesAndTheLegendOfTheChannelsThatAreOn) {
    const ChartPicture p = picture();
    ASSERT_TRUE(saveChartPicture(p, MonitorFile::SaveKind::Wmf, path("c.wmf")));
    EXPECT_TRUE(readRaw(path("c.wmf")).startsWith("\xD7\xCD\xC6\x9A"));
    bool ok = false;
    const auto svg = picturetest::wmfAsSvg(path("c.wmf"), path("c.svg"), ok);
    if (!svg)
        GTEST_SKIP() << "wmf2svg is not installed";
    ASSERT_TRUE(ok);
    EXPECT_TRUE(svg->texts.contains("Output frequency"));
    EXPECT_TRUE(svg->texts.contains("Output current"));
    EXPECT_FALSE(svg->texts.contains("DC bus voltage"));
    EXPECT_FALSE(svg->texts.contains("before"));
    EXPECT_TRUE(svg->texts.contains("100")); // the left axis
    int points[3] = {};
    for (const auto& line : svg->lines)
        for (int c = 0; c < 3; ++c)
            if (QColor(line.stroke) == chart.seriesColor(c))
                points[c] += int(line.points.size());
    EXPECT_GT(points[0], 50); // the hundred samples in view
    EXPECT_GT(points[1], 50);
    EXPECT_EQ(points[2], 0);
    // Every curve stays inside the picture.
    for (const auto& line : svg->lines)
        for (const QPointF& pt : line.points) {
            EXPECT_GE(pt.x(), -1);
            EXPECT_LE(pt.x(), p.size().width() + 1);
        }
}

// A metafile holds its texts in the code page: a title with characters the page lacks is
// written with "?" only after the question the CSV asks, and No writes nothing. A picture
// of pixels and titles the page holds ask nothing.
TEST_F(ChartPicturesTest, AWmfAsksBeforeWritingCharactersItsCodePageLacks) {
    items[0] = QStringLiteral("Frequency \u2252 50 Hz \u2713"); // CP1252 has neither
    QStringList asked;
    bool yes = false;
    const auto accept = [&](const QString& characters) {
        asked << characters;
        return yes;
    };
    QString error;
    EXPECT_FALSE(saveChartPicture(picture(), MonitorFile::SaveKind::Wmf, path("no.wmf"), &error, accept));
    EXPECT_EQ(asked, QStringList{QStringLiteral("\u2252\u2713")});
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("no.wmf")));

    yes = true;
    EXPECT_TRUE(saveChartPicture(picture(), MonitorFile::SaveKind::Wmf, path("yes.wmf"), &error, accept));
    EXPECT_EQ(asked.size(), 2);
    const QByteArray wmf = readRaw(path("yes.wmf"));
    EXPECT_TRUE(wmf.contains("Frequency ")) << "the rest of the title stays";
    EXPECT_TRUE(wmf.contains('?'));

    EXPECT_TRUE(saveChartPicture(picture(), MonitorFile::SaveKind::Bmp, path("c.bmp"), &error, accept));
    items[0] = QStringLiteral("Output frequency");
    EXPECT_TRUE(saveChartPicture(picture(), MonitorFile::SaveKind::Wmf, path("c.wmf"), &error, accept));
    EXPECT_EQ(asked.size(), 2);
}

TEST_F(ChartPicturesTest, TheClipboardTakesTheImage) {
    const QImage image = renderChartPicture(picture());
    copyImageToClipboard(image);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), image);
}

TEST_F(ChartPicturesTest, OnlyPictureKindsAreWritten) {
    QString error;
    EXPECT_FALSE(saveChartPicture(picture(), MonitorFile::SaveKind::Csv, path("c.csv"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("c.csv")));
}

} // namespace
