// Where the parameter list puts its columns and header items, and how the engine breaks
// bands into pages.
#include "report/ParamReport.h"

#include "support/ReportFixtures.h"

#include <gtest/gtest.h>

using namespace report;

namespace {

TEST(ParamLayout, A4PortraitWithTenMillimetreMarginsGivesTheKnownColumns) {
    PageSetup setup;
    const int w = int(printableSizeInDesign(setup.pageFormat()).width());
    ASSERT_EQ(w, 718);
    const ParamColumns c = paramColumns(w);
    EXPECT_EQ(c.separators, (std::array<int, 8>{56, 112, 355, 420, 484, 547, 612, 668}));
    EXPECT_EQ(c.typeFormLeft, 7);
    EXPECT_EQ(c.dateLeft, 617);
    EXPECT_EQ(c.timeLeft, 689);
    EXPECT_EQ(c.pageNumberLeft, 325);
}

TEST(ParamLayout, FractionalMarginsAndTheOrientationReachThePrintableWidth) {
    PageSetup setup;
    setup.portrait = false;
    setup.leftMargin = "12.5";
    EXPECT_EQ(int(printableSizeInDesign(setup.pageFormat()).width()), int(mmToDesign(297 - 12.5 - 10)));
}

// The detail band's texts, found by their text.
const TextItem* textOf(const Band& band, const QString& text) {
    for (const TextItem& t : band.texts)
        if (t.text == text)
            return &t;
    return nullptr;
}

TEST(ParamLayout, TheNameColumnSpansTheShipmentColumnWhenThatIsOff) {
    ParamReportData data;
    ParamReportSource source = ReportFixtures::longSource(1);
    data.rows = buildParamReportRows(source);
    const QString name = data.rows[0][PC_Name];
    for (const bool shipment : {true, false}) {
        PageSetup setup;
        setup.printShipment = shipment;
        const ReportDocument doc = layoutParamReport(data, setup, paramReportFaces(QString()));
        ASSERT_EQ(doc.details.size(), 1u);
        const TextItem* t = textOf(doc.details[0], name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->rect.left(), 117);
        EXPECT_EQ(t->rect.width(), shipment ? 355 - 5 - 117 : 420 - 5 - 117);
        // Its separator goes with the shipment column.
        int separators = 0;
        for (const RectItem& r : doc.details[0].rects)
            separators += r.rect.width() == 1 ? 1 : 0;
        EXPECT_EQ(separators, shipment ? 8 : 7);
        EXPECT_EQ(textOf(doc.columnHeader[0], "Default") != nullptr, shipment);
    }
}

TEST(ParamLayout, ValuesEndAtTheRightEdgeOfTheirSample) {
    ParamReportData data;
    data.rows.push_back({"f0000", "0000", "Name", "1.0", "2.0", "3.0", "12345.00", "Hz", "Change"});
    data.rows.push_back({"f0001", "0001", "Name", "10000.0", "20000.0", "30000.0", "4.0", "kHz", "Change"});
    const ReportDocument doc = layoutParamReport(data, PageSetup(), paramReportFaces(QString()));
    for (int column : {PC_Value, PC_Low, PC_High, PC_Unit}) {
        const TextItem* a = textOf(doc.details[0], data.rows[0][size_t(column)]);
        const TextItem* b = textOf(doc.details[1], data.rows[1][size_t(column)]);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->rect.right(), b->rect.right()) << column;
        EXPECT_TRUE(a->alignment & Qt::AlignRight);
    }
}

// From 8 to 14 points, on A4, on B5 (also with 30 mm margins) and with no right margin, with
// and without the shipment column: every text is whole inside its column, its row and the
// printable width, no row is lower than its line, the date and the time stand apart; ten
// digits and more, long names and a word wider than the name column included.
TEST(ParamLayout, EveryTextStaysInItsColumnAtEveryFontSizeAndPaper) {
    ParamReportData data;
    data.rows = buildParamReportRows(ReportFixtures::longSource(53));
    data.rows.push_back({"f0000", "0000", "Communication baud rate 1", "4000000000", "-2147483648",
                         "4294967295", "123456789012.0", "kHz", "Change"});
    data.rows.push_back(
        {"f0001", "0001", "Stop mode (0: decel, 1: free run)", "1", "1", "0", "1", "", "Change"});
    data.rows.push_back(
        {"f0002", "0002", "Kommunikationsgeschwindigkeitsbegrenzung", "0", "0", "0", "1", "", ""});
    data.rows.push_back(
        {"f0003", "0003", QStringLiteral("通信ボーレート選択（チャンネル１）"), "3", "3", "0", "4", "", ""});
    data.typeForm = QStringLiteral("HXZ9-4037");
    data.printedAt = QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59));
    const struct {
        int paperPosition; // A3 A4 A5 B4 B5
        const char* margin;
        const char* rightMargin;
    } papers[] = {{1, "10", "10"}, {4, "10", "10"}, {1, "10", "0"}, {4, "30", "30"}};
    for (const auto& paper : papers) {
        for (const int points : {8, 10, 12, 14}) {
            for (const bool shipment : {false, true}) {
                PageSetup setup;
                setup.paperPosition = paper.paperPosition;
                setup.leftMargin = setup.topMargin = setup.bottomMargin = paper.margin;
                setup.rightMargin = paper.rightMargin;
                setup.fontSize = QString::number(points);
                setup.printTime = setup.printDate = true;
                setup.printShipment = shipment;
                ASSERT_EQ(setup.fontPoints(), points);
                const ReportDocument doc = layoutParamReport(data, setup, paramReportFaces(QString()));
                EXPECT_EQ(ReportFixtures::layoutFaults(doc).join(u'\n').toStdString(), "")
                    << "paper " << paper.paperPosition << " right margin " << paper.rightMargin << " "
                    << points << " pt" << (shipment ? " with shipment" : "");
            }
        }
    }
}

TEST(ParamLayout, ALongCommentWrapsAndTheHeaderGrowsToHoldIt) {
    PageSetup setup;
    setup.printComment = true;
    setup.comment = QString(90, u'W');
    setup.comment[30] = u' ';
    setup.comment[60] = u' ';
    const ReportDocument doc = layoutParamReport(ParamReportData(), setup, paramReportFaces(QString()));
    EXPECT_GT(doc.pageHeader[0].height, setup.cellHeightValue());
    setup.comment = "Short";
    EXPECT_EQ(layoutParamReport(ParamReportData(), setup, paramReportFaces(QString())).pageHeader[0].height,
              setup.cellHeightValue());
}

TEST(BandPages, DetailsFillEachPageUpToTheFooter) {
    ReportDocument doc;
    doc.format.marginsMm = QMarginsF(0, 0, 0, 0);
    const double height = printableSizeInDesign(doc.format).height(); // A4: 1122.5
    doc.pageHeader = {ReportFixtures::band(100)};
    doc.columnHeader = {ReportFixtures::band(22.5)};
    doc.pageFooter = {ReportFixtures::band(100)};
    // 900 units between header and footer: nine details of 100 each.
    ASSERT_NEAR(height - 100 - 22.5 - 100, 900, 0.1);
    doc.details.assign(19, ReportFixtures::band(100));
    ReportPages pages(doc);
    ASSERT_EQ(pages.pageCount(), 3);
    EXPECT_EQ(pages.page(0).detailCount, 9);
    EXPECT_EQ(pages.page(1).firstDetail, 9);
    EXPECT_EQ(pages.page(2).detailCount, 1);

    doc.details = {ReportFixtures::band(100), ReportFixtures::band(5000),
                   ReportFixtures::band(100)}; // one taller than a page
    ReportPages tall(doc);
    ASSERT_EQ(tall.pageCount(), 3);
    EXPECT_EQ(tall.page(1).firstDetail, 1);
    EXPECT_EQ(tall.page(1).detailCount, 1);

    doc.details.clear();
    EXPECT_EQ(ReportPages(doc).pageCount(), 1);
}

} // namespace
