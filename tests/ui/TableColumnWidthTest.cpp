// The table's columns hold every number and name of the drive type whole at the window's
// first size (widened as far as the screen allows), in the font in use, with whole headers; a
// cell too narrow shows its number cut short with "…", never as a shorter number.
#include "ui/ShippedTypeFixture.h"
#include "ui/TableColumnFit.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>

#include <numeric>

namespace {

using C = TableCommand;

class TableColumnWidth : public ShippedTypeFixture {
protected:
    // The texts that do not fit their column at its present width, as "column:row:text".
    QStringList clipped() const {
        QStringList out;
        const TextGrid& g = table->cells();
        QFont boldFont = table->gridView->font();
        boldFont.setBold(true);
        const QFontMetrics plain(table->gridView->font()), bold(boldFont);
        for (int c = 0; c < TC_Count; ++c) {
            // Names are whole unless the window stands at the screen's edge.
            if (c == TC_Name && atScreenEdge())
                continue;
            const int room = table->gridView->columnWidth(c) - TableColumnFit::kCellRoom;
            const QFontMetrics& m = c == TC_Value ? bold : plain;
            for (int r = 1; r < g.rowCount(); ++r)
                if (m.horizontalAdvance(g.cell(c, r).trimmed()) > room)
                    out << QStringLiteral("%1:%2:%3").arg(c).arg(r).arg(g.cell(c, r));
        }
        for (int c = 0; c < TC_Count; ++c)
            if (table->gridView->horizontalHeader()->sectionSizeHint(c) > table->gridView->columnWidth(c))
                out << QStringLiteral("header %1:%2").arg(c).arg(g.cell(c, 0));
        return out;
    }
    bool atScreenEdge() const {
        return table->frameGeometry().right() >= table->screen()->availableGeometry().right();
    }
};

TEST_F(TableColumnWidth, EveryNumberOfEveryShippedTypeIsWholeAtTheFirstWidthInEveryView) {
    std::vector<DriveTypeChoice> types = shippedTypes();
    ASSERT_GE(types.size(), 10u);
    for (const DriveTypeChoice& t : types) {
        SCOPED_TRACE(t.name());
        ASSERT_TRUE(load(t));
        showTable();
        EXPECT_GE(table->width(), host.frame.width()) << "the first width is at least the main window's";
        EXPECT_EQ(clipped().join(" | ").toStdString(), "") << "all parameters";
        // The current/voltage display and the hexadecimal display of one parameter.
        table->core().conversionBases() = ConversionBases{.volt = 400.0f, .ampere = 8.8f};
        table->runCommand(C::CVDisp);
        EXPECT_EQ(clipped().join(" | ").toStdString(), "") << "current/voltage";
        table->runCommand(C::CVDisp);
        table->core().setCurrentCell(TC_Value, 1);
        table->entry().cancelForMove();
        table->runCommand(C::HexDisp);
        EXPECT_EQ(clipped().join(" | ").toStdString(), "") << "hex";
    }
}

TEST_F(TableColumnWidth, TheTwoThousandParameterTypeIsWholeAndTheWindowWidensOnlyAsFarAsTheFontNeeds) {
    ASSERT_TRUE(load(bigType));
    showTable();
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    const int first = table->width();

    // In a font too large for the first width the window grows until the numbers fit, and
    // no further.
    QFont large = table->font();
    large.setPixelSize(16);
    table->setFont(large);
    table->FillRows();
    QCoreApplication::processEvents();
    EXPECT_TRUE(table->width() > first || atScreenEdge());
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    const auto needed = TableColumnFit::neededWidths(table->cells(), table->gridView->font(),
                                                     table->gridView->horizontalHeader());
    const int client = table->gridView->viewport()->width();
    if (!atScreenEdge()) {
        EXPECT_EQ(table->core().fittingClientWidth(host.frame.width(), needed), client);
    }

    // Never past the screen's right edge: there the narrow cells cut their numbers short.
    large.setPixelSize(40);
    table->setFont(large);
    table->FillRows();
    QCoreApplication::processEvents();
    EXPECT_EQ(table->frameGeometry().right(), table->screen()->availableGeometry().right());
}

TEST_F(TableColumnWidth, ANarrowerWindowCutsNumbersShortVisiblyAndWidthsFollowTheFont) {
    ASSERT_TRUE(load(shippedTypes().front()));
    showTable();
    // The user narrows a column below a number's width: the number is cut short with "…".
    const QFontMetrics m(table->gridView->font());
    const QString number = QStringLiteral("-2147483648");
    const QString shown = TableColumnFit::fittedText(m, number, m.horizontalAdvance(number) - 1);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(number.startsWith(shown.chopped(1)));
    // Blanks that pad a number give way before a digit does.
    EXPECT_EQ(TableColumnFit::fittedText(m, "   60.00", m.horizontalAdvance("60.00")), "60.00");
    EXPECT_EQ(TableColumnFit::fittedText(m, "   60.00", 500), "   60.00");

    // A larger font needs wider columns; they come out of the name column's share, but the
    // names keep at least that share (the grid then scrolls sideways).
    const auto small = TableColumnFit::neededWidths(table->cells(), table->gridView->font(), nullptr);
    QFont large = table->gridView->font();
    large.setPixelSize(20);
    const auto big = TableColumnFit::neededWidths(table->cells(), large, nullptr);
    EXPECT_GT(big[TC_Value], small[TC_Value]);
    const auto widths = table->core().columnWidths(1000, big);
    EXPECT_EQ(widths[TC_Value], std::max(big[TC_Value], 88));
    const auto ratio = table->core().columnWidths(1000);
    EXPECT_GE(widths[TC_Name], std::min(ratio[TC_Name], big[TC_Name]));
    // Long names take what the limit and value columns have beyond their numbers.
    auto sum = [](const std::array<int, TC_Count>& w) { return std::accumulate(w.begin(), w.end(), 0); };
    std::array<int, TC_Count> longNames;
    longNames.fill(40);
    longNames[TC_Name] = 480;
    const auto named = table->core().columnWidths(1000, longNames);
    EXPECT_EQ(named[TC_Name], 480);
    EXPECT_EQ(named[TC_High], 40);
    EXPECT_EQ(named[TC_Changed], ratio[TC_Changed]);
    EXPECT_EQ(sum(named), sum(ratio));
    // Where nothing can give way any more, the window must widen: to the least width that
    // holds the names.
    longNames[TC_Name] = 900;
    const int wide = table->core().fittingClientWidth(1000, longNames);
    EXPECT_GE(table->core().columnWidths(wide, longNames)[TC_Name], 900);
    EXPECT_LT(table->core().columnWidths(wide - 1, longNames)[TC_Name], 900);
    // Where the texts fit, the widths are the shares of the grid width.
    std::array<int, TC_Count> none{};
    EXPECT_EQ(table->core().columnWidths(1000, none), ratio);
    EXPECT_EQ(table->core().fittingClientWidth(639, none), 639);
}

} // namespace
