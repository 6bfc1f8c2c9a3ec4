// Pictures written as BMP and JPEG and read back as a viewer would.
#include "platform/ImageWriter.h"
#include "support/PictureTools.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readRaw(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A picture with flat colour fields, so that a lossy copy can be compared area by area.
QImage testPicture() {
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(0, 0, 40, 40, QColor(255, 0, 0));
    p.fillRect(40, 0, 40, 40, QColor(0, 0, 255));
    p.fillRect(80, 40, 40, 40, QColor(0, 128, 0));
    return image;
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The JPEG's markers up to the start of the scan, and the quantisation values of its tables.
struct JpegMarkers {
    std::vector<int> markers;
    std::vector<int> quantisation;
};

JpegMarkers jpegMarkers(const QByteArray& b) {
    JpegMarkers m;
    qsizetype at = 2;
    while (at + 4 <= b.size() && quint8(b[at]) == 0xFF) {
        const int marker = quint8(b[at + 1]);
        const int length = (quint8(b[at + 2]) << 8) | quint8(b[at + 3]);
        m.markers.push_back(marker);
        if (marker == 0xDB) {
            // Tables of 64 values, each after a byte of precision and table number.
            for (qsizetype t = at + 4; t + 65 <= at + 2 + length; t += 65)
                for (int i = 1; i <= 64; ++i)
                    m.quantisation.push_back(quint8(b[t + i]));
        }
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return m;
}

class ImageWriterTest : public testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(ImageWriterTest, BmpHoldsThePixelsIn24Bits) {
    const QImage image = testPicture();
    QString error;
    ASSERT_TRUE(ImageWriter::writeBmp(path("a.bmp"), image, &error)) << error.toStdString();
    const QByteArray b = readRaw(path("a.bmp"));
    ASSERT_GT(b.size(), 54);
    EXPECT_EQ(b.left(2), QByteArray("BM"));
    EXPECT_EQ(quint8(b[28]) | (quint8(b[29]) << 8), 24); // bits per pixel
    const QImage back(path("a.bmp"));
    ASSERT_EQ(back.size(), image.size());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image);
}

TEST_F(ImageWriterTest, JpegIsColourBaselineAtQualityHundred) {
    const QImage image = testPicture();
    QString error;
    ASSERT_TRUE(ImageWriter::writeJpeg(path("a.jpg"), image, &error)) << error.toStdString();
    const QByteArray b = readRaw(path("a.jpg"));
    ASSERT_GT(b.size(), 4);
    EXPECT_EQ(b.left(2), QByteArray("\xFF\xD8"));
    EXPECT_EQ(b.right(2), QByteArray("\xFF\xD9"));
    const JpegMarkers m = jpegMarkers(b);
    EXPECT_NE(std::find(m.markers.begin(), m.markers.end(), 0xC0), m.markers.end()); // baseline
    EXPECT_EQ(std::find(m.markers.begin(), m.markers.end(), 0xC2), m.markers.end()); // not progressive
    ASSERT_EQ(m.quantisation.size(), 128u); // luminance and chrominance
    for (int q : m.quantisation)
        EXPECT_EQ(q, 1);

    const QImage back(path("a.jpg"));
    ASSERT_EQ(back.size(), image.size());
    EXPECT_FALSE(back.isGrayscale());
    for (const QPoint at : {QPoint(20, 20), QPoint(60, 20), QPoint(100, 60), QPoint(20, 60)})
        EXPECT_TRUE(near(back.pixel(at), image.pixel(at), 8)) << at.x() << "," << at.y();
}

TEST_F(ImageWriterTest, JpegOpensInDjpeg) {
    ASSERT_TRUE(ImageWriter::writeJpeg(path("a.jpg"), testPicture()));
    int rc = -1;
    const auto ppm =
        picturetest::runTool(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), path("a.jpg")}, rc);
    if (!ppm)
        GTEST_SKIP() << "djpeg is not installed";
    EXPECT_EQ(rc, 0);
    // "P6", width and height, 255, then three bytes a pixel.
    EXPECT_TRUE(ppm->startsWith("P6\n120 80\n255\n")) << ppm->left(20).toStdString();
    EXPECT_EQ(ppm->size(), qsizetype(strlen("P6\n120 80\n255\n")) + 120 * 80 * 3);
}

TEST_F(ImageWriterTest, AFailureIsReportedAndLeavesTheOldFile) {
    QFile old(path("a.jpg"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    // Wider than the format allows: the library's error comes back instead of ending us.
    QImage wide(70000, 1, QImage::Format_RGB32);
    wide.fill(Qt::white);
    QString error;
    EXPECT_FALSE(ImageWriter::writeJpeg(path("a.jpg"), wide, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readRaw(path("a.jpg")), QByteArray("old"));
    // What a save cut off leaves is removed by the next save of the picture, as for any file.
    QFile leftover(path("a.jpg.kvrtmp-AbC123"));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    ASSERT_TRUE(ImageWriter::writeJpeg(path("a.jpg"), testPicture(), &error));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.jpg"});

    EXPECT_FALSE(ImageWriter::writeJpeg(path("no/such/folder/a.jpg"), testPicture(), &error));
    EXPECT_FALSE(ImageWriter::writeBmp(path("no/such/folder/a.bmp"), testPicture(), &error));
    EXPECT_FALSE(ImageWriter::writeBmp(path("b.bmp"), QImage(), &error));
    EXPECT_FALSE(QFile::exists(path("b.bmp")));
}

} // namespace
