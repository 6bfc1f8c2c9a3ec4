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
    auto add = [&](const char* comNo, const char* changed, const char* blind, const char* quick) {
        ParamSourceRow r = parameter(comNo);
        r.changeIndex = changed;
        r.blindIndex = blind;
        r.quick = quick;
        s.rows.push_back(r);
    };
    add("0000", "0", "0", "1");
    add("0001", "1", "0", "0");
    add("0002", "1", "1", "1");
    add("0003", "0", "1", "0");
    add("0004", "1", "0", "2");
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
    ParamSourceRow r = parameter("00A1", "1500", "10");
    r.title = "F0A1";
    r.name = "Acceleration time";
    r.unit = "s";
    r.lowValue = "-20";
    r.highValue = "36000";
    r.defaultText = "50";
    r.changeIndex = "1";
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

    s.rows[0].changeIndex = "0";
    EXPECT_EQ(buildParamReportRows(s)[0][PC_Changed], kNoChangeMark);
}

TEST(ParamReportRows, ShipmentValueFollowsReferencesWithTheRowsOwnScale) {
    ParamReportSource s;
    s.formatValue = ReportFixtures::oneDecimal;
    ParamSourceRow a = parameter("0001", "10", "10");
    a.dIndex = "1";
    a.defaultText = "0003";
    ParamSourceRow b = parameter("0002"); // names a number nobody has
    b.dIndex = "1";
    b.defaultText = "ZZZZ";
    ParamSourceRow c = parameter("0003"); // refers on once more
    c.dIndex = "1";
    c.defaultText = "0004";
    ParamSourceRow d = parameter("0004");
    d.defaultText = "50";
    ParamSourceRow loop1 = parameter("0005"); // a circle of two
    loop1.dIndex = "1";
    loop1.defaultText = "0006";
    ParamSourceRow loop2 = parameter("0006");
    loop2.dIndex = "1";
    loop2.defaultText = "0005";
    ParamSourceRow self = parameter("0007"); // a circle of one
    self.dIndex = "1";
    self.defaultText = "0007";
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

TEST(ParamReportRows, CellsThatAreNoNumberPrintEmptyAndTheRowGoesOn) {
    const struct {
        const char* name;
        const char* value;
        const char* mul;
        const char* valueText;
        const char* lowText;
    } cases[] = {
        {"value no number", "abc", "1", "", "     0.0"},
        {"empty value", "", "1", "", "     0.0"},
        {"Mul 0", "15", "0", "", ""},
        {"fractional Mul", "15", "2.5", "", ""},
        {"Mul no number", "15", "x", "", ""},
        {"plain", "15", "10", "     1.5", "     0.0"},
    };
    for (const auto& c : cases) {
        ParamReportSource s;
        s.formatValue = ReportFixtures::oneDecimal;
        s.rows = {parameter("0000", c.value, c.mul), parameter("0001")};
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
