// The parameter list's rows: which parameters print under the table's views, and what each
// column shows, including values that cannot be shown and shipment values that refer on.
#include "report/ParamReport.h"

#include "support/ReportFixtures.h"

#include <gtest/gtest.h>

using namespace report;
using ReportFixtures::parameter;

namespace {

QStringList comNos(const std::vector<ParamRowTexts>& rows) {
    QStringList out;
    for (const ParamRowTexts& r : rows)
        out << r[PC_ComNo];
    return out;
}

// Five parameters with every combination the views look at.
ParamReportSource viewSource() {
    ParamReportSource s;
    s.formatValue = ReportFixtures::oneDecimal;
    auto add = [&](const char* comNo, bool changed, bool blind, bool quick) {
        ParamSourceRow r = parameter(comNo);
        r.changed = changed;
        r.blind = blind;
        r.quick = quick;
        s.rows.push_back(r);
    };
    add("0000", false, false, true);
    add("0001", true, false, false);
    add("0002", true, true, true);
    add("0003", false, true, false);
    add("0004", true, false, true);
    s.lastIndex = 4;
    return s;
}

TEST(ParamReportRows, TheViewsPrintWhatTheTableShows) {
    const struct {
        const char* name;
        bool changed, blind, quick;
        QStringList printed;
    } cases[] = {
        {"no view", false, false, false, {"0000", "0001", "0002", "0003", "0004"}},
        {"changed only", true, false, false, {"0001", "0002", "0004"}},
        {"blind", false, true, false, {"0000", "0001", "0004"}},
        {"quick", false, false, true, {"0000", "0002", "0004"}},
        {"changed and blind", true, true, false, {"0001", "0004"}},
        {"all three", true, true, true, {"0004"}},
    };
    for (const auto& c : cases) {
        ParamReportSource s = viewSource();
        s.changedOnly = c.changed;
        s.blindView = c.blind;
        s.quickView = c.quick;
        EXPECT_EQ(comNos(buildParamReportRows(s)), c.printed) << c.name;
    }
}

TEST(ParamReportRows, StopAfterTheLastIndexTheTableShows) {
    ParamReportSource s = viewSource();
    s.lastIndex = 2; // the maintenance parameters after it stay out
    EXPECT_EQ(comNos(buildParamReportRows(s)), QStringList({"0000", "0001", "0002"}));
    s.lastIndex = 99;
    EXPECT_EQ(buildParamReportRows(s).size(), 5u);
    s.lastIndex = -1;
    EXPECT_TRUE(buildParamReportRows(s).empty());
}

TEST(ParamReportRows, ColumnsOfAPrintedRow) {
    ParamReportSource s;
    ParamSourceRow r = parameter("00A1", 1500, 10);
    r.title = "F0A1";
    r.name = "Acceleration time";
    r.unit = "s";
    r.lowValue = -20;
    r.highValue = 36000;
    r.shipmentRaw = 50;
    r.changed = true;
    s.rows = {r};
    s.lastIndex = 0;
    std::vector<std::pair<int, double>> asked;
    s.formatValue = [&](int index, double v) {
        asked.emplace_back(index, v);
        return ReportFixtures::oneDecimal(index, v);
    };
    s.changedMark = "Change";
    const auto rows = buildParamReportRows(s);
    ASSERT_EQ(rows.size(), 1u);
    const ParamRowTexts expected{
        "f0a1", "00A1", "Acceleration time", "     5.0", "   150.0", "    -2.0", "  3600.0", "s", "Change"};
    EXPECT_EQ(rows[0], expected);
    for (const auto& [index, v] : asked)
        EXPECT_EQ(index, 0);

    s.rows[0].changed = false;
    EXPECT_EQ(buildParamReportRows(s)[0][PC_Changed], kNoChangeMark);
}

TEST(ParamReportRows, ShipmentValueFollowsReferencesWithTheRowsOwnScale) {
    ParamReportSource s;
    s.formatValue = ReportFixtures::oneDecimal;
    auto referring = [](const char* comNo, const char* to) {
        ParamSourceRow r = parameter(comNo);
        r.shipmentReferred = true;
        r.shipmentFrom = to;
        return r;
    };
    ParamSourceRow a = referring("0001", "0003");
    a.multiplier = 10;
    ParamSourceRow b = referring("0002", "ZZZZ"); // names a number nobody has
    ParamSourceRow c = referring("0003", "0004"); // refers on once more
    ParamSourceRow d = parameter("0004");
    d.shipmentRaw = 50;
    ParamSourceRow loop1 = referring("0005", "0006"); // a circle of two
    ParamSourceRow loop2 = referring("0006", "0005");
    ParamSourceRow self = referring("0007", "0007"); // a circle of one
    s.rows = {a, b, c, d, loop1, loop2, self};
    s.lastIndex = int(s.rows.size()) - 1;

    const auto rows = buildParamReportRows(s);
    ASSERT_EQ(rows.size(), s.rows.size()) << "a row whose shipment value ends nowhere still prints";
    EXPECT_EQ(rows[0][PC_Shipment], "     5.0") << "50 of 0004, divided by 0001's own 10";
    EXPECT_EQ(rows[1][PC_Shipment], "");
    EXPECT_EQ(rows[2][PC_Shipment], "    50.0");
    EXPECT_EQ(rows[4][PC_Shipment], "");
    EXPECT_EQ(rows[5][PC_Shipment], "");
    EXPECT_EQ(rows[6][PC_Shipment], "");
    EXPECT_EQ(rows[4][PC_Value], "    10.0") << "the rest of the row prints";
}

TEST(ParamReportRows, ValuesThatCannotBeShownPrintEmptyAndTheRowGoesOn) {
    const struct {
        const char* name;
        std::optional<double> value;
        double mul;
        const char* valueText;
        const char* lowText;
    } cases[] = {
        {"no value", std::nullopt, 1, "", "     0.0"},
        {"Mul 0", 15, 0, "", ""},
        {"fractional Mul", 15, 2.5, "", ""},
        {"plain", 15, 10, "     1.5", "     0.0"},
    };
    for (const auto& c : cases) {
        ParamReportSource s;
        s.formatValue = ReportFixtures::oneDecimal;
        ParamSourceRow r = parameter("0000", 0, c.mul);
        r.value = c.value;
        s.rows = {r, parameter("0001")};
        s.lastIndex = 1;
        const auto rows = buildParamReportRows(s);
        ASSERT_EQ(rows.size(), 2u) << c.name;
        EXPECT_EQ(rows[0][PC_Value], c.valueText) << c.name;
        EXPECT_EQ(rows[0][PC_Low], c.lowText) << c.name;
        EXPECT_EQ(rows[0][PC_Unit], "Hz") << c.name;
        EXPECT_EQ(rows[1][PC_Value], "    10.0") << c.name;
    }
}

} // namespace
