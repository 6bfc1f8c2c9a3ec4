// The monitor run's printed page: the setting lines under the chart, where the columns and
// header items go for a printable width, and the page as it comes out of a PDF file (text,
// paper, the chart picture inside the page).
#include "report/MonitorReport.h"

#include "support/PdfReadBack.h"
#include "support/ReportFixtures.h"

#include <QLocale>
#include <QPaintDevice>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace report;

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;

PageSetup setupWithFace() {
    PageSetup s;
    s.face = installedFamily(QStringLiteral("DejaVu Sans"));
    return s;
}

const TextItem* textOf(const Band& band, const QString& text) {
    for (const TextItem& t : band.texts)
        if (t.text == text)
            return &t;
    return nullptr;
}

const TextItem* sysOf(const Band& band, SysData sys) {
    for (const TextItem& t : band.texts)
        if (t.sys == sys)
            return &t;
    return nullptr;
}

TEST(MonitorReport, SettingLinesFollowTheTriggerTheScopeAndTheRecordingMode) {
    const struct {
        const char* name;
        bool continuous, trigger;
        int scopePosition;
        std::array<const char*, 6> values;
    } cases[] = {
        {"trigger off", false, false, 100, {": 0.5(s/div)", ": 100(%)", ": -", ": -", ": -", ": -"}},
        {"trigger on, whole record",
         false,
         true,
         100,
         {": 0.5(s/div)", ": 100(%)", ": CH2", ": 40", ": Up", ": 30"}},
        {"trigger on, part in view",
         false,
         true,
         50,
         {": 0.5(s/div)", ": 50(%)", ": CH2", ": 40", ": Up", ": -"}},
        {"continuous", true, false, 100, {": 12.0(s/div)", ": 100(%)", ": -", ": -", ": -", ": -"}},
    };
    for (const auto& c : cases) {
        MonitorReportSettings s = ReportFixtures::monitorData().settings;
        s.continuous = c.continuous;
        s.trigger = c.trigger;
        s.scopePosition = c.scopePosition;
        s.scope = QString::number(c.scopePosition);
        const auto lines = monitorSettingLines(MonitorReportCaptions(), s);
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].value, QString::fromLatin1(c.values[i])) << c.name << " line " << i;
        EXPECT_EQ(lines[0].caption, "Time");
        EXPECT_EQ(lines[5].caption, "Trigger Delay");
    }
}

TEST(MonitorReport, HeaderItemsAndColumnsScaleWithThePrintableWidth) {
    const MonitorReportData data = ReportFixtures::monitorData();
    const struct {
        const char* margin;
        int width;
    } cases[] = {{"10", 718}, {"30", 566}, {"0", 793}};
    for (const auto& c : cases) {
        PageSetup setup = setupWithFace();
        setup.printTime = true;
        setup.leftMargin = setup.rightMargin = c.margin;
        const ReportDocument doc = layoutMonitorReport(data, setup, setup.face);
        const int w = int(printableSizeInDesign(doc.format).width());
        ASSERT_EQ(w, c.width) << c.margin;
        ASSERT_EQ(doc.pageHeader.size(), 2u);
        ASSERT_EQ(doc.columnHeader.size(), 2u);
        ASSERT_EQ(doc.details.size(), 10u);

        EXPECT_EQ(textOf(doc.pageHeader[0], "HXZ9-4037")->rect.left(), int(w * 0.0111));
        // The date and the time stand apart near the right edge and end inside it.
        const QRectF date = sysOf(doc.pageHeader[0], SysData::Date)->rect;
        const QRectF time = sysOf(doc.pageHeader[0], SysData::Time)->rect;
        EXPECT_LE(date.left(), int(w * 0.86));
        EXPECT_LE(date.right() + 6, time.left() + 1e-6);
        EXPECT_LE(time.left(), int(w * 0.96));
        EXPECT_NEAR(time.right(), w, 1.0);
        if (w == 718) {
            EXPECT_EQ(int(w * 0.0111), 7);
        }

        // Separators in proportion to the width, the same in the captions and in each row.
        const std::array<int, 8> s = monitorColumnSeparators(w);
        const std::array<int, 8> design = monitorColumnSeparators(718);
        for (size_t k = 0; k < s.size(); ++k) {
            EXPECT_EQ(s[k], design[k] * w / 718) << c.margin << " separator " << k;
            EXPECT_EQ(doc.columnHeader[1].rects[k].rect.left(), s[k]);
            EXPECT_EQ(doc.details[3].rects[k].rect.left(), s[k]);
        }
        // The item column keeps 5 units from both of its separators.
        const TextItem* item = textOf(doc.details[3], "Item4");
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->rect.left(), s[1] + 5);
        EXPECT_EQ(item->rect.right(), s[2] - 5);
        // Other texts are centred in their column.
        const TextItem* last = textOf(doc.details[2], "52");
        ASSERT_NE(last, nullptr);
        EXPECT_NEAR(last->rect.center().x(), (s[7] + w) / 2.0, 1.0);

        // The picture keeps to the page: narrower than designed when the margins are wide.
        ASSERT_EQ(doc.columnHeader[0].images.size(), 1u);
        const ImageItem& picture = doc.columnHeader[0].images[0];
        EXPECT_EQ(picture.rect, QRectF(4, 8, std::min(709, w - 8), 273));
        EXPECT_TRUE(picture.frame);
        // Each setting's value stands 5 units right of its caption.
        const TextItem* caption = textOf(doc.columnHeader[0], "Trigger Level");
        const TextItem* value = textOf(doc.columnHeader[0], ": 40");
        ASSERT_NE(caption, nullptr);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(caption->rect.left(), int(w * 0.0111));
        EXPECT_EQ(value->rect.left(), caption->rect.right() + 5);
        EXPECT_EQ(value->rect.top(), 372);
    }
}

// From the smallest size to the largest the six setting lines stand one under the other,
// never overlapping, inside their band; at the usual sizes where they were designed.
TEST(MonitorReport, SettingLinesNeverOverlapWhateverTheFontSize) {
    const MonitorReportData data = ReportFixtures::monitorData();
    for (const QString& size : fontSizeNames()) {
        PageSetup setup = setupWithFace();
        setup.fontSize = size;
        const ReportDocument doc = layoutMonitorReport(data, setup, setup.face);
        const Band& band = doc.columnHeader[0];
        const auto lines = monitorSettingLines(data.captions, data.settings);
        double previousBottom = kChartPictureHeight + 8;
        for (const MonitorSettingLine& line : lines) {
            const TextItem* caption = textOf(band, line.caption);
            ASSERT_NE(caption, nullptr) << size.toStdString();
            EXPECT_GE(caption->rect.top(), previousBottom - 1e-6) << size.toStdString();
            EXPECT_GE(caption->rect.height(), lineHeight(caption->font) - 1e-6);
            previousBottom = caption->rect.bottom();
        }
        EXPECT_LE(previousBottom, band.height) << size.toStdString();
        if (setup.fontPoints() <= 8) {
            EXPECT_EQ(textOf(band, lines[0].caption)->rect.top(), 292);
        }
    }
}

// From 8 to 14 points, with the usual margins and with none at the right, and with item
// texts longer than their column: every text is whole inside its column and the page.
TEST(MonitorReport, EveryTextStaysInItsColumnAtEveryFontSizeAndMargin) {
    MonitorReportData data = ReportFixtures::monitorData();
    data.rows[3].texts[MC_Item] = QStringLiteral("Torque current command of the second motor");
    data.rows[4].texts[MC_Minimum] = QStringLiteral("-123456.789");
    for (const char* rightMargin : {"10", "0"}) {
        for (const int points : {8, 10, 12, 14}) {
            PageSetup setup = setupWithFace();
            setup.rightMargin = rightMargin;
            setup.fontSize = QString::number(points);
            setup.printTime = setup.printDate = true;
            const ReportDocument doc = layoutMonitorReport(data, setup, setup.face);
            EXPECT_EQ(ReportFixtures::layoutFaults(doc).join(u'\n').toStdString(), "")
                << "right margin " << rightMargin << " " << points << " pt";
        }
    }
}

TEST(MonitorReport, RowsPrintInTheirCurvesColoursAndHeightsFollowThePageSetup) {
    const MonitorReportData data = ReportFixtures::monitorData(8);
    PageSetup setup = setupWithFace();
    setup.cellHeight = "22";
    const ReportDocument doc = layoutMonitorReport(data, setup, setup.face);
    ASSERT_EQ(doc.details.size(), 8u);
    EXPECT_EQ(doc.pageHeader[0].height, 22);
    EXPECT_EQ(doc.pageHeader[1].height, 22);
    EXPECT_EQ(doc.columnHeader[0].height, 438);
    EXPECT_EQ(doc.columnHeader[1].height, 25);
    EXPECT_EQ(doc.columnHeader[1].rects.back().rect, QRectF(0, 21, 718, 1)) << "the line under the captions";
    for (size_t r = 0; r < doc.details.size(); ++r) {
        EXPECT_EQ(doc.details[r].height, 22);
        ASSERT_EQ(doc.details[r].texts.size(), size_t(MC_Count));
        for (const TextItem& t : doc.details[r].texts)
            EXPECT_EQ(t.color, data.rows[r].color) << "row " << r << " " << t.text.toStdString();
    }
    EXPECT_EQ(ReportPages(doc).pageCount(), 1);
}

class MonitorReportPdf : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString pdfOf(const ReportDocument& doc, const QString& name) {
        const QString path = dir.filePath(name);
        QString error;
        EXPECT_TRUE(ReportFixtures::printToPdf(ReportPages(doc), path, &error)) << error.toStdString();
        return path;
    }

    static QStringList linesOf(const QString& page) {
        QStringList out;
        for (const QString& l : page.split(u'\n')) {
            if (!l.trimmed().isEmpty())
                out << l.simplified().normalized(QString::NormalizationForm_KC); // "ff" may come as one glyph
        }
        return out;
    }

    QTemporaryDir dir;
};

TEST_F(MonitorReportPdf, ThePageReadsBackWithEveryItemOnA4PortraitWhateverThePaperChosen) {
    MonitorReportData data = ReportFixtures::monitorData(8);
    PageSetup setup = setupWithFace();
    setup.printTime = true;
    setup.printComment = true;
    setup.comment = "Conveyor 3 after the bearing change";
    // The parameter list's paper and orientation are not the monitor page's.
    setup.paperPosition = 0;
    setup.portrait = false;
    setup.topMargin = "10.5";
    const QString pdf = pdfOf(layoutMonitorReport(data, setup, setup.face), "monitor.pdf");

    const auto sizes = PdfReadBack::pageSizes(pdf);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_NEAR(sizes[0].width(), 210 * kPtPerMm, 0.51);
    EXPECT_NEAR(sizes[0].height(), 297 * kPtPerMm, 0.51);

    const QStringList lines = linesOf(PdfReadBack::pageTexts(pdf).value(0));
    const QString date = QLocale().toString(data.printedAt.date(), QLocale::ShortFormat);
    ASSERT_GE(lines.size(), 2 + 6 + 1 + 8);
    EXPECT_EQ(lines[0], "HXZ9-4037 " + date + " 09:05:03");
    EXPECT_EQ(lines[1], setup.comment);
    const QStringList settings = {"Time : 0.5(s/div)",  "Zoom : 100(%)",      "Trigger Source : CH2",
                                  "Trigger Level : 40", "Trigger Slope : Up", "Trigger Delay : 30"};
    EXPECT_EQ(lines.mid(2, 6), settings);
    EXPECT_EQ(lines[8], "CH Monitor Title Multi. Offset Min. Max. Start Stop");
    const QStringList rows = lines.mid(9);
    ASSERT_EQ(rows.size(), 8);
    EXPECT_EQ(rows[0], "1 ON Item1 1.5 0 -0.5 100 0.25 50");
    EXPECT_EQ(rows[1], "2 OFF Item2 1.5 10 - - - -");
    EXPECT_EQ(rows[7], "8 OFF Item8 1.5 70 - - - -");

    const auto words = PdfReadBack::pageWords(pdf);
    ASSERT_EQ(words.size(), 1u);
    EXPECT_NEAR(PdfReadBack::boxOf(words[0], "HXZ9-4037").left(), 10 * kPtPerMm + designToPoints(7), 0.05);
}

TEST_F(MonitorReportPdf, TheChartPictureFillsItsFrameAndStaysInsideWideMargins) {
    const MonitorReportData data = ReportFixtures::monitorData(10);
    for (const char* margin : {"10", "30"}) {
        PageSetup setup = setupWithFace();
        setup.leftMargin = setup.rightMargin = setup.topMargin = margin;
        const ReportDocument doc = layoutMonitorReport(data, setup, setup.face);
        // At 96 dots per inch one pixel is one design unit.
        const QImage page = PdfReadBack::renderPage(pdfOf(doc, QStringLiteral("m%1.pdf").arg(margin)), 1, 96);
        ASSERT_FALSE(page.isNull());
        const double m = mmToDesign(QString(margin).toDouble());
        const int w = int(printableSizeInDesign(doc.format).width());
        const int top = int(m + 2 * 15 + 8);
        const int row = top + 273 / 2;
        // Columns of the picture's colour along its middle row.
        int first = -1, last = -1;
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, row);
            if (std::abs(c.red() - ReportFixtures::kMonitorChartColor.red()) < 8 &&
                std::abs(c.green() - ReportFixtures::kMonitorChartColor.green()) < 8 &&
                std::abs(c.blue() - ReportFixtures::kMonitorChartColor.blue()) < 8) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        const int width = std::min(709, w - 8);
        EXPECT_NEAR(first, m + 4, 2) << margin;
        EXPECT_NEAR(last - first + 1, width, 3) << margin;
        EXPECT_LT(last, page.width() - m) << margin << ": inside the right margin";
    }
}

// A chart drawing takes the picture's place: it paints on the printer itself, into the frame's
// size, and the time line states the division its grid draws there.
TEST_F(MonitorReportPdf, AChartDrawingPaintsOnThePrinterAndTheTimeLineStatesItsDivision) {
    MonitorReportData data = ReportFixtures::monitorData(4);
    std::vector<std::pair<int, QSizeF>> painted; // device type, box
    data.drawing.paint = [&](QPainter& p, const QSizeF& box) {
        painted.emplace_back(p.device()->devType(), box);
        p.fillRect(QRectF(QPointF(0, 0), box), Qt::blue);
    };
    data.drawing.divisionSamples = [](const QSizeF& box) { return box.width() > 500 ? 10.0 : 5.0; };
    const PageSetup setup = setupWithFace();
    const QString pdf = pdfOf(layoutMonitorReport(data, setup, setup.face), "drawn.pdf");
    ASSERT_EQ(painted.size(), 1u);
    EXPECT_EQ(painted[0].first, int(QInternal::Printer));
    EXPECT_EQ(painted[0].second, QSizeF(709, 273));
    EXPECT_TRUE(linesOf(PdfReadBack::pageTexts(pdf).value(0)).contains("Time : 1(s/div)"));
    EXPECT_EQ(timeBaseOfDivision({QStringLiteral("0,3"), 0.3}, 25), QStringLiteral("1,5"));
}

} // namespace
