// The metafile writer: its headers and records checked byte for byte, and the drawing read
// back by wmf2svg.
#include "platform/WmfWriter.h"
#include "support/PictureTools.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace {

quint16 word(const QByteArray& b, qsizetype at) {
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}
quint32 dword(const QByteArray& b, qsizetype at) {
    return word(b, at) | (quint32(word(b, at + 2)) << 16);
}

struct WmfRecord {
    quint16 function = 0;
    QByteArray params;
    qint16 param(int i) const { return qint16(word(params, 2 * i)); }
};

// Walks the file; fails the test on a header or a record that does not add up.
std::vector<WmfRecord> records(const QByteArray& b) {
    std::vector<WmfRecord> out;
    EXPECT_GE(b.size(), 22 + 18 + 6);
    if (b.size() < 22 + 18 + 6)
        return out;
    EXPECT_EQ(dword(b, 0), 0x9AC6CDD7u);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= word(b, i);
    EXPECT_EQ(word(b, 20), sum) << "checksum";
    const qsizetype header = 22;
    EXPECT_EQ(word(b, header + 2), 9);
    EXPECT_EQ(dword(b, header + 6) * 2, quint32(b.size() - header)) << "size in words";
    const quint32 maxRecord = dword(b, header + 12);
    quint32 largest = 0;
    qsizetype at = header + 18;
    while (at + 6 <= b.size()) {
        const quint32 words = dword(b, at);
        WmfRecord r;
        r.function = word(b, at + 4);
        EXPECT_GE(words, 3u);
        EXPECT_LE(at + qsizetype(words) * 2, b.size());
        r.params = b.mid(at + 6, qsizetype(words) * 2 - 6);
        largest = std::max(largest, words);
        out.push_back(r);
        at += qsizetype(words) * 2;
        if (r.function == 0)
            break;
    }
    EXPECT_EQ(at, b.size()) << "the end record ends the file";
    EXPECT_EQ(largest, maxRecord);
    return out;
}

int count(const std::vector<WmfRecord>& rs, quint16 function) {
    return int(
        std::count_if(rs.begin(), rs.end(), [&](const WmfRecord& r) { return r.function == function; }));
}

class WmfWriterTest : public testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(WmfWriterTest, HeadersDescribeThePictureAndTheRecordsAddUp) {
    WmfDevice device(QSize(200, 100));
    {
        QPainter p(&device);
        p.fillRect(QRect(0, 0, 200, 100), Qt::white);
        p.setPen(QPen(Qt::red, 0));
        p.drawLine(10, 10, 190, 90);
    }
    const QByteArray b = device.bytes();
    EXPECT_EQ(word(b, 10), 200); // bounding box right
    EXPECT_EQ(word(b, 12), 100); // and bottom
    EXPECT_EQ(word(b, 14), 96);  // units per inch
    const auto rs = records(b);
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs.back().function, 0x0000);
    ASSERT_EQ(count(rs, 0x041B), 1); // the background: bottom, right, top, left one past its pixels
    const auto fill =
        std::find_if(rs.begin(), rs.end(), [](const WmfRecord& r) { return r.function == 0x041B; });
    EXPECT_EQ((std::vector<int>{fill->param(0), fill->param(1), fill->param(2), fill->param(3)}),
              (std::vector<int>{101, 201, 0, 0}));
    ASSERT_EQ(count(rs, 0x0325), 1); // the line
    const auto line =
        std::find_if(rs.begin(), rs.end(), [](const WmfRecord& r) { return r.function == 0x0325; });
    EXPECT_EQ(
        (std::vector<int>{line->param(0), line->param(1), line->param(2), line->param(3), line->param(4)}),
        (std::vector<int>{2, 10, 10, 190, 90}));
}

TEST_F(WmfWriterTest, PenChangesReuseTheObjectSlots) {
    WmfDevice device(QSize(50, 50));
    {
        QPainter p(&device);
        for (int i = 0; i < 40; ++i) {
            p.setPen(QColor(i * 5, 0, 0));
            p.drawLine(0, i, 49, i);
            p.drawLine(0, i, 49, i); // the same pen again makes no new object
        }
    }
    const auto rs = records(device.bytes());
    EXPECT_EQ(count(rs, 0x02FA), 40);            // one pen a colour
    EXPECT_EQ(count(rs, 0x01F0), 39);            // each replaced one deleted
    EXPECT_EQ(word(device.bytes(), 22 + 10), 2); // never more than two alive at once
    for (const WmfRecord& r : rs) {
        if (r.function == 0x012D) { // every selection names a live slot: 0 or 1
            EXPECT_LE(r.param(0), 1);
        }
    }
}

TEST_F(WmfWriterTest, LinesAreCutToTheClipAndThePicture) {
    WmfDevice device(QSize(100, 100));
    {
        QPainter p(&device);
        p.setPen(QPen(Qt::blue, 0));
        // Far beyond what 16-bit coordinates hold.
        p.drawLine(QPointF(-1e6, 50), QPointF(1e6, 50));
        p.setClipRect(QRect(20, 20, 60, 60));
        p.drawPolyline(QPolygon({QPoint(0, 30), QPoint(50, 30), QPoint(50, 0)}));
        p.drawLine(0, 0, 10, 10); // wholly outside the clip
        p.setClipping(false);
        p.drawLine(0, 0, 10, 10);
    }
    const auto rs = records(device.bytes());
    std::vector<std::vector<int>> lines;
    for (const WmfRecord& r : rs) {
        if (r.function != 0x0325)
            continue;
        std::vector<int> pts;
        for (int i = 1; i <= 2 * r.param(0); ++i)
            pts.push_back(r.param(i));
        lines.push_back(pts);
    }
    EXPECT_EQ(lines,
              (std::vector<std::vector<int>>{{0, 50, 99, 50}, {20, 30, 50, 30, 50, 20}, {0, 0, 10, 10}}));
}

TEST_F(WmfWriterTest, TextKeepsItsFontAndColour) {
    WmfDevice device(QSize(200, 60));
    {
        QPainter p(&device);
        QFont f(QStringLiteral("Sans"));
        f.setPixelSize(14);
        p.setFont(f);
        p.setPen(Qt::darkGreen);
        p.drawText(QPoint(10, 30), QStringLiteral("Output frequency"));
    }
    const auto rs = records(device.bytes());
    const auto font =
        std::find_if(rs.begin(), rs.end(), [](const WmfRecord& r) { return r.function == 0x02FB; });
    ASSERT_NE(font, rs.end());
    EXPECT_EQ(font->param(0), -14);
    EXPECT_TRUE(font->params.mid(18).startsWith("Sans"));
    const auto text =
        std::find_if(rs.begin(), rs.end(), [](const WmfRecord& r) { return r.function == 0x0A32; });
    ASSERT_NE(text, rs.end());
    EXPECT_EQ(text->param(0), 30); // baseline
    EXPECT_EQ(text->param(1), 10);
    EXPECT_EQ(text->params.mid(8, text->param(2)), QByteArray("Output frequency"));
    const auto color =
        std::find_if(rs.begin(), rs.end(), [](const WmfRecord& r) { return r.function == 0x0209; });
    ASSERT_NE(color, rs.end());
    EXPECT_EQ(dword(color->params, 0), 0x00008000u); // dark green as 00BBGGRR
}

TEST_F(WmfWriterTest, Wmf2SvgReadsTheLinesAndTexts) {
    WmfDevice device(QSize(200, 100));
    {
        QPainter p(&device);
        p.fillRect(QRect(0, 0, 200, 100), Qt::white);
        p.setPen(QPen(Qt::red, 0));
        p.drawPolyline(QPolygon({QPoint(10, 90), QPoint(100, 10), QPoint(190, 90)}));
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, 200, 30), Qt::AlignCenter, QStringLiteral("CH1 Output"));
    }
    ASSERT_TRUE(device.save(path("a.wmf")));
    bool ok = false;
    const auto svg = picturetest::wmfAsSvg(path("a.wmf"), path("a.svg"), ok);
    if (!svg)
        GTEST_SKIP() << "wmf2svg is not installed";
    ASSERT_TRUE(ok);
    ASSERT_EQ(svg->lines.size(), 1u);
    EXPECT_EQ(svg->lines[0].stroke, QStringLiteral("red"));
    ASSERT_EQ(svg->lines[0].points.size(), 3u);
    EXPECT_NEAR(svg->lines[0].points[1].x(), 100, 1.5);
    EXPECT_NEAR(svg->lines[0].points[1].y(), 10, 1.5);
    EXPECT_EQ(svg->texts, QStringList{QStringLiteral("CH1 Output")});
}

TEST_F(WmfWriterTest, ATooLargeOrUnpaintedPictureWritesNothing) {
    WmfDevice huge(QSize(40000, 10));
    QPainter p;
    EXPECT_FALSE(p.begin(&huge));
    EXPECT_TRUE(huge.bytes().isEmpty());
    QString error;
    EXPECT_FALSE(huge.save(path("a.wmf"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("a.wmf")));
}

} // namespace
