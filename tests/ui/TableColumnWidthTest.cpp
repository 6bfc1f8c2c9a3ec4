// The table's columns hold every number of the drive type whole at the window's first size,
// in the font in use, with whole headers; a cell too narrow shows its number cut short with
// "…", never as a shorter number.
#include "ui/ShippedTypeFixture.h"
#include "ui/TableColumnFit.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>

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
        for (int c : {TC_Title, TC_ComNo, TC_Value, TC_Low, TC_High, TC_Unit, TC_Changed}) {
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
};

TEST_F(TableColumnWidth, EveryNumberOfEveryShippedTypeIsWholeAtTheFirstWidthInEveryView) {
    std::vector<DriveTypeChoice> types = shippedTypes();
    ASSERT_GE(types.size(), 10u);
    for (const DriveTypeChoice& t : types) {
        SCOPED_TRACE(t.name());
        ASSERT_TRUE(load(t));
        showTable();
        EXPECT_EQ(table->width(), host.frame.width()) << "the first width is the main window's";
        EXPECT_EQ(clipped().join(" | ").toStdString(), "") << "all parameters";
        // The current/voltage display and the hexadecimal display of one parameter.
        context.AmpereBase = 8.8f;
        context.VoltBase = 400.0f;
        table->runCommand(C::CVDisp);
        EXPECT_EQ(clipped().join(" | ").toStdString(), "") << "current/voltage";
        table->runCommand(C::CVDisp);
        table->core().setCurrentCell(TC_Value, 1);
        table->entry().Click();
        table->runCommand(C::HexDisp);
        EXPECT_EQ(clipped().join(" | ").toStdString(), "") << "hex";
    }
}

TEST_F(TableColumnWidth, TheTwoThousandParameterTypeIsWholeAndTheWindowWidensOnlyAsFarAsTheFontNeeds) {
    ASSERT_TRUE(load(bigType));
    showTable();
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    EXPECT_EQ(table->width(), host.frame.width());

    // In a font too large for the first width the window grows until the numbers fit, and
    // no further.
    QFont large = table->font();
    large.setPixelSize(16);
    table->setFont(large);
    table->FillRows();
    QCoreApplication::processEvents();
    EXPECT_GT(table->width(), host.frame.width());
    EXPECT_EQ(clipped().join(" | ").toStdString(), "");
    const auto needed = TableColumnFit::neededWidths(table->cells(), table->gridView->font(),
                                                     table->gridView->horizontalHeader());
    const int client = table->gridView->viewport()->width();
    EXPECT_EQ(table->core().fittingClientWidth(host.frame.width(), needed), client);

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

    // A larger font needs wider columns; the name column gives up what they lack.
    const auto small = TableColumnFit::neededWidths(table->cells(), table->gridView->font(), nullptr);
    QFont large = table->gridView->font();
    large.setPixelSize(20);
    const auto big = TableColumnFit::neededWidths(table->cells(), large, nullptr);
    EXPECT_GT(big[TC_Value], small[TC_Value]);
    const auto widths = table->core().columnWidths(1000, big);
    EXPECT_EQ(widths[TC_Value], std::max(big[TC_Value], 88));
    int others = 0;
    for (int c = 0; c < TC_Count; ++c)
        others += c == TC_Name ? 0 : widths[c];
    const auto ratio = table->core().columnWidths(1000);
    int ratioSum = 0;
    for (int w : ratio)
        ratioSum += w;
    EXPECT_EQ(widths[TC_Name], ratioSum - others);
    // Where the texts fit, the widths are the shares of the grid width.
    std::array<int, TC_Count> none{};
    EXPECT_EQ(table->core().columnWidths(1000, none), ratio);
    EXPECT_EQ(table->core().fittingClientWidth(639, none), 639);
}

} // namespace
