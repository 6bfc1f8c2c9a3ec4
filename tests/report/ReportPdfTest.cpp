// The pages as they come out of a PDF file, read back with poppler: the parameter list's
// header items and columns for each page set-up choice, page breaks and numbering of a
// long list, paper sizes and margins in points.
#include "report/ParamReport.h"

#include "support/PdfReadBack.h"
#include "support/ReportFixtures.h"

#include <QFontDatabase>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>

using namespace report;

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;
const QDateTime kPrintedAt(QDate(2026, 5, 7), QTime(9, 5, 3));

class ReportPdf : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString pdfOf(const ReportDocument& doc, const QString& name = QStringLiteral("out.pdf")) {
        const QString path = dir.filePath(name);
        QString error;
        EXPECT_TRUE(ReportFixtures::printToPdf(ReportPages(doc), path, &error)) << error.toStdString();
        return path;
    }

    static ParamReportData dataOf(const ParamReportSource& source) {
        ParamReportData d;
        d.typeForm = QStringLiteral("HXZ9-4037");
        d.rows = buildParamReportRows(source);
        d.printedAt = kPrintedAt;
        return d;
    }

    static PageSetup setupWithFace() {
        PageSetup s;
        s.face = installedFamily(QStringLiteral("DejaVu Sans"));
        return s;
    }

    // Lines of a page's text without the blanks around them, empty lines dropped.
    static QStringList linesOf(const QString& page) {
        QStringList out;
        for (const QString& l : page.split(u'\n')) {
            if (!l.trimmed().isEmpty())
                out << l.trimmed();
        }
        return out;
    }

    static QString dateText() { return QLocale().toString(kPrintedAt.date(), QLocale::ShortFormat); }

    QTemporaryDir dir;
};

TEST_F(ReportPdf, LongListBreaksIntoNumberedPagesEachWithItsHeaders) {
    const ParamReportSource source = ReportFixtures::longSource(2000);
    const PageSetup setup = setupWithFace();
    const ReportDocument doc = layoutParamReport(dataOf(source), setup, paramReportFaces(setup.face));
    const QStringList pages = PdfReadBack::pageTexts(pdfOf(doc));

    const int h = setup.cellHeightValue();
    const double body = printableSizeInDesign(setup.pageFormat()).height() - h - (h + 3) - h;
    const int perPage = int(body / h);
    ASSERT_EQ(pages.size(), (2000 + perPage - 1) / perPage);

    static const QRegularExpression detail(QStringLiteral("^(f[0-9a-f]{4})\\s+([0-9A-F]{4})\\s+Function"));
    QStringList printed;
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList lines = linesOf(pages[p]);
        ASSERT_GE(lines.size(), 3) << "page " << p + 1;
        EXPECT_TRUE(lines[0].startsWith("HXZ9-4037")) << "page " << p + 1;
        EXPECT_TRUE(lines[0].contains(dateText())) << "page " << p + 1;
        for (const QString& header : ParamReportData().headers) {
            if (header != "Default") {
                EXPECT_TRUE(lines[1].contains(header)) << "page " << p + 1 << " " << header.toStdString();
            }
        }
        EXPECT_FALSE(lines[1].contains("Default"));
        EXPECT_EQ(lines.last(), QString::number(p + 1)) << "the footer's page number";
        int rows = 0;
        for (const QString& l : lines) {
            const auto m = detail.match(l);
            if (!m.hasMatch())
                continue;
            EXPECT_EQ(m.captured(1), "f" + m.captured(2).toLower());
            printed << m.captured(2);
            ++rows;
        }
        EXPECT_EQ(rows, p + 1 < pages.size() ? perPage : 2000 - perPage * (pages.size() - 1))
            << "page " << p + 1;
    }
    QStringList expected;
    for (int i = 0; i < 2000; ++i)
        expected << ReportFixtures::comNoOf(i);
    EXPECT_EQ(printed, expected) << "every parameter once, in table order";
}

// The largest font on the smallest paper in use, 12 pt on B5 with 30 mm margins: long names
// print whole inside their rows, which grow to hold them; values of ten digits keep a readable
// size; and on every page each word of the text layer lies inside one band, also where grown
// rows meet a page break.
TEST_F(ReportPdf, EveryTextStaysInsideItsRowAtTwelvePointsOnB5) {
    const struct {
        const char* name;
        const char* value;
        const char* low;
        const char* high;
    } kinds[] = {
        {"Communication baud rate 1", "3", "0", "4"},
        {"Frequency command source", "1", "0", "4"},
        {"Stop mode (0: decel, 1: free run)", "0", "0", "1"},
        {"Position offset", "0", "-2147483648", "2147483647"},
        {"Pulse count limit", "4000000000", "0", "4294967295"},
        {"Maximum frequency", "   60.00", "    0.00", "  400.00"},
    };
    const QStringList longValues = {"-2147483648", "2147483647", "4000000000", "4294967295"};
    ParamReportData data = dataOf(ParamReportSource());
    for (int i = 0; i < 100; ++i) {
        const auto& k = kinds[i % std::size(kinds)];
        const QString comNo = ReportFixtures::comNoOf(i);
        data.rows.push_back({"f" + comNo.toLower(), comNo, k.name, k.value, k.value, k.low, k.high, "pulse",
                             i % 2 ? kNoChangeMark : QStringLiteral("Change")});
    }
    // The values' least size as a share of the full size: half of it takes more room from the
    // names when the shipment column prints as well (without widening it was a third).
    const struct {
        bool shipment;
        double valueShare;
    } cases[] = {{false, 0.6}, {true, 0.5}};
    for (const auto& [shipment, valueShare] : cases) {
        PageSetup setup = setupWithFace();
        setup.paperPosition = 4; // B5
        setup.leftMargin = setup.topMargin = setup.rightMargin = setup.bottomMargin = "30";
        setup.fontSize = "12";
        setup.printShipment = shipment;
        const ReportPages pages(layoutParamReport(data, setup, paramReportFaces(setup.face)));
        const ReportDocument& doc = pages.document();
        const auto words = PdfReadBack::pageWords(pdfOf(doc));
        ASSERT_GT(pages.pageCount(), 1);
        ASSERT_EQ(int(words.size()), pages.pageCount());

        const double toPoints = 0.75, top = 30 * kPtPerMm, left = 30 * kPtPerMm, tolerance = 0.25;
        const double fullHeight = PdfReadBack::boxOf(words[0], "HXZ9-4037").height();
        ASSERT_GT(fullHeight, 0);
        const double footerTop = printableSizeInDesign(doc.format).height() - doc.pageFooter[0].height;
        for (int p = 0; p < pages.pageCount(); ++p) {
            // The page's bands in points from the paper's top; `row` for a detail.
            struct Slot {
                double top, bottom;
                int row;
            };
            std::vector<Slot> bands;
            double y = 0;
            for (const Band& b : doc.pageHeader)
                bands.push_back({y, y += b.height, -1});
            for (const Band& b : doc.columnHeader)
                bands.push_back({y, y += b.height, -1});
            const PageRange& range = pages.page(p);
            for (int r = range.firstDetail; r < range.firstDetail + range.detailCount; ++r)
                bands.push_back({y, y += doc.details[size_t(r)].height, r});
            EXPECT_LE(y, footerTop) << "page " << p + 1 << ": a row reaches the footer";
            bands.push_back({footerTop, footerTop + doc.pageFooter[0].height, -1});

            std::map<int, std::vector<PdfReadBack::Word>> names;
            for (const PdfReadBack::Word& word : words[size_t(p)]) {
                const auto slot = std::find_if(bands.begin(), bands.end(), [&](const Slot& s) {
                    return word.box.top() >= top + s.top * toPoints - tolerance &&
                           word.box.bottom() <= top + s.bottom * toPoints + tolerance;
                });
                ASSERT_NE(slot, bands.end())
                    << "page " << p + 1 << ": \"" << word.text.toStdString() << "\" crosses a band's edge";
                if (longValues.contains(word.text)) {
                    EXPECT_GE(word.box.height(), fullHeight * valueShare) << word.text.toStdString();
                }
                if (slot->row < 0)
                    continue;
                const QRectF name = doc.details[size_t(slot->row)].texts[PC_Name].rect;
                if (word.box.center().x() > left + name.left() * toPoints &&
                    word.box.center().x() < left + name.right() * toPoints)
                    names[slot->row].push_back(word);
            }
            for (int r = range.firstDetail; r < range.firstDetail + range.detailCount; ++r) {
                auto& inRow = names[r];
                std::sort(inRow.begin(), inRow.end(), [](const auto& a, const auto& b) {
                    return std::pair(std::lround(a.box.top()), a.box.left()) <
                           std::pair(std::lround(b.box.top()), b.box.left());
                });
                QStringList printed;
                for (const auto& word : inRow)
                    printed << word.text;
                // The PDF keeps ligatures ("ff" is one character).
                EXPECT_EQ(printed.join(u' ').normalized(QString::NormalizationForm_KC).toStdString(),
                          data.rows[size_t(r)][PC_Name].toStdString())
                    << "page " << p + 1 << " row " << r;
            }
        }
    }
}

TEST_F(ReportPdf, EachPageSetupChoiceShowsOrHidesItsItem) {
    ParamReportSource source = ReportFixtures::longSource(3);
    source.rows[1].shipmentRaw = 77; // a shipment value that no other column shows
    source.rows[1].changed = true;
    const QString comment = QStringLiteral("Tuned for the east conveyor");
    const struct {
        const char* name;
        bool PageSetup::*item;
        QString text;
    } cases[] = {
        {"date", &PageSetup::printDate, dateText()},
        {"time", &PageSetup::printTime, "09:05:03"},
        {"type and form", &PageSetup::printTypeForm, "HXZ9-4037"},
        {"page number", &PageSetup::printPageNumber, "\n1\n"},
        {"comment", &PageSetup::printComment, comment},
        {"shipment header", &PageSetup::printShipment, "Default"},
        {"shipment value", &PageSetup::printShipment, "77.0"},
    };
    for (const auto& c : cases) {
        for (const bool on : {true, false}) {
            PageSetup setup = setupWithFace();
            setup.comment = comment;
            setup.*c.item = on;
            const ReportDocument doc = layoutParamReport(dataOf(source), setup, paramReportFaces(setup.face));
            const QStringList pages = PdfReadBack::pageTexts(pdfOf(doc));
            ASSERT_EQ(pages.size(), 1) << c.name;
            // Blanks around each line dropped, so that a line of its own reads "\n1\n".
            const QString text = u'\n' + linesOf(pages[0]).join(u'\n') + u'\n';
            EXPECT_EQ(text.contains(c.text), on) << c.name << (on ? " on" : " off");
            // The columns print in every case.
            for (const char* cell :
                 {"f0001", "0001", "Function 0001", "1.0", "0.0", "5000.0", "Hz", "Change"})
                EXPECT_TRUE(text.contains(QLatin1String(cell))) << c.name << " " << cell;
        }
    }
}

TEST_F(ReportPdf, AReportWithoutRowsHasOnePageWithHeaderAndFooter) {
    const PageSetup setup = setupWithFace();
    ParamReportData data;
    data.typeForm = "HXZ9-4037";
    data.printedAt = kPrintedAt;
    const QStringList pages =
        PdfReadBack::pageTexts(pdfOf(layoutParamReport(data, setup, paramReportFaces(setup.face))));
    ASSERT_EQ(pages.size(), 1);
    const QStringList lines = linesOf(pages[0]);
    EXPECT_TRUE(lines.value(0).startsWith("HXZ9-4037"));
    EXPECT_TRUE(lines.value(1).startsWith("Title"));
    EXPECT_EQ(lines.last(), "1");
}

// A Japanese list in the Japanese font we install and in the face a Japanese session starts
// with, which lacks the ideographs and draws them from that font: every name is found in the
// PDF as typed, none in the look-alike radicals or ligatures a font would name the glyphs by.
TEST_F(ReportPdf, PrintedNamesAreFoundAsTypedWhicheverFontDrewThem) {
    const QString cjk = QStringLiteral("Noto Sans CJK JP");
    if (installedFamily(cjk) != cjk)
        GTEST_SKIP() << "the CJK fonts are missing (scripts/deps.sh)";
    const QStringList names =
        QString::fromUtf8("最高周波数 制御方式 停止方法 出力周波数 PID比例ゲイン 入力端子X1機能 目標位置 "
                          "自動再始動選択 モニタ項目 一・二")
            .split(u' ')
        << QStringLiteral("Coefficient offset fluff");
    ParamReportSource source = ReportFixtures::longSource(int(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        source.rows[size_t(i)].name = names[i];
    for (const QString& face : {cjk, defaultFace("Japanese", QFontDatabase::families())}) {
        PageSetup setup;
        setup.face = face;
        const QString text =
            PdfReadBack::pageTexts(pdfOf(layoutParamReport(dataOf(source), setup, paramReportFaces(face))))
                .join(u'\n');
        for (const QString& name : names)
            EXPECT_TRUE(text.contains(name)) << face.toStdString() << ": " << name.toStdString();
        static const QRegularExpression lookAlike(QStringLiteral("[\\x{2E80}-\\x{2FDF}\\x{F900}-\\x{FAFF}]"));
        EXPECT_FALSE(text.contains(lookAlike)) << face.toStdString() << "\n" << text.toStdString();
    }
}

TEST_F(ReportPdf, PaperSizesAndOrientationInPoints) {
    const struct {
        Paper paper;
        double widthMm, heightMm;
    } cases[] = {
        {Paper::A3, 297, 420}, {Paper::A4, 210, 297}, {Paper::A5, 148, 210},
        {Paper::B4, 257, 364}, {Paper::B5, 182, 257},
    };
    for (const auto& c : cases) {
        for (const bool portrait : {true, false}) {
            ReportDocument doc;
            doc.format.paper = c.paper;
            doc.format.portrait = portrait;
            doc.details.resize(1, ReportFixtures::band(20));
            const auto sizes = PdfReadBack::pageSizes(pdfOf(doc));
            ASSERT_EQ(sizes.size(), 1u);
            const double w = (portrait ? c.widthMm : c.heightMm) * kPtPerMm;
            const double h = (portrait ? c.heightMm : c.widthMm) * kPtPerMm;
            // The PDF writer gives its page box in whole points.
            EXPECT_NEAR(sizes[0].width(), w, 0.51) << c.widthMm << (portrait ? " portrait" : " landscape");
            EXPECT_NEAR(sizes[0].height(), h, 0.51) << c.heightMm << (portrait ? " portrait" : " landscape");
        }
    }
}

TEST_F(ReportPdf, MarginsPlaceThePageToTheFractionOfAMillimetre) {
    // Marks at the corners of the printable area: left-aligned at its left edge, right-aligned
    // at its right edge, one in the header and one in the footer.
    auto docWith = [](const QMarginsF& mm) {
        ReportDocument doc;
        doc.format.marginsMm = mm;
        const double w = printableSizeInDesign(doc.format).width();
        const FontSpec font{installedFamily("DejaVu Sans"), 10, false};
        Band header = ReportFixtures::band(30);
        header.texts.push_back({QRectF(0, 0, 100, 30), "LEFTMARK", SysData::None, font, Qt::black,
                                Qt::AlignLeft | Qt::AlignTop});
        header.texts.push_back({QRectF(w - 100, 0, 100, 30), "RIGHTMARK", SysData::None, font, Qt::black,
                                Qt::AlignRight | Qt::AlignTop});
        Band footer = ReportFixtures::band(30);
        footer.texts.push_back({QRectF(0, 0, 100, 30), "FOOTMARK", SysData::None, font, Qt::black,
                                Qt::AlignLeft | Qt::AlignTop});
        doc.pageHeader = {header};
        doc.pageFooter = {footer};
        return doc;
    };
    const auto plain = PdfReadBack::pageWords(pdfOf(docWith(QMarginsF(10, 10, 10, 10)), "plain.pdf"));
    const auto odd = PdfReadBack::pageWords(pdfOf(docWith(QMarginsF(12.5, 7.25, 3.75, 20.5)), "odd.pdf"));
    ASSERT_EQ(plain.size(), 1u);
    ASSERT_EQ(odd.size(), 1u);
    const double tolerance = 0.05; // points

    EXPECT_NEAR(PdfReadBack::boxOf(plain[0], "LEFTMARK").left(), 10 * kPtPerMm, tolerance);
    EXPECT_NEAR(PdfReadBack::boxOf(odd[0], "LEFTMARK").left(), 12.5 * kPtPerMm, tolerance);
    EXPECT_NEAR(PdfReadBack::boxOf(plain[0], "RIGHTMARK").right(), (210 - 10) * kPtPerMm, tolerance);
    EXPECT_NEAR(PdfReadBack::boxOf(odd[0], "RIGHTMARK").right(), (210 - 3.75) * kPtPerMm, tolerance);
    // Vertically the font's own ascent stands between the margin and the word's box; it is the
    // same in both files.
    EXPECT_NEAR(PdfReadBack::boxOf(odd[0], "LEFTMARK").top() - PdfReadBack::boxOf(plain[0], "LEFTMARK").top(),
                (7.25 - 10) * kPtPerMm, tolerance);
    EXPECT_NEAR(PdfReadBack::boxOf(odd[0], "FOOTMARK").top() - PdfReadBack::boxOf(plain[0], "FOOTMARK").top(),
                -(20.5 - 10) * kPtPerMm, tolerance);
}

} // namespace
