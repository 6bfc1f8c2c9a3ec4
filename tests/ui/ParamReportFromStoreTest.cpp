// The parameter list's rows taken from the data store: values formatted by the value rules
// (decimals, decimal comma, decimal whatever the table's hexadecimal display), shipment
// values found through other parameters, cells that are no number, the changed mark of the
// language file.
#include "ui/ParamReportFromStore.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

#include <gtest/gtest.h>

namespace {

class ParamReportFromStore : public testing::Test {
protected:
    void SetUp() override {
        context.store = &store;
        struct Row {
            const char *comNo, *dIndex, *def, *title, *tmul, *mul, *value, *hex, *changed;
        };
        const Row rows[] = {
            {"0000", "1", "0002", "F000", "#.#", "10", "1500", "0", "1"},
            {"0001", "0", "255", "F001", "#", "1", "255", "1", "0"},
            {"0002", "0", "50", "F002", "#", "1", "50", "0", "0"},
            {"0003", "0", "7", "M003", "#", "1", "7", "0", "0"}, // a maintenance parameter
        };
        const int count = int(std::size(rows));
        std::vector<ParameterDefinition> definitions(std::size_t(count), ParameterDefinition{});
        store.resizeWorking(count);
        for (int i = 0; i < count; ++i) {
            const Row& r = rows[i];
            const int row = i + 1;
            ParameterDefinition& d = definitions[std::size_t(i)];
            for (const auto& [col, text] : {std::pair{PD_ComNo, r.comNo},
                                            {PD_DIndex, r.dIndex},
                                            {PD_Default, r.def},
                                            {PD_FTitle, r.title},
                                            {PD_TMul, r.tmul},
                                            {PD_Mul, r.mul}})
                setDefinitionText(d, col, QString::fromLatin1(text));
            d.name = QStringLiteral("Name ") + r.comNo;
            d.quick = true;
            store.setWorkingText(UP_Value, row - 1, r.value);
            store.setWorkingText(UP_LValue, row - 1, "0");
            store.setWorkingText(UP_HValue, row - 1, "3000");
            store.setWorkingText(UP_HexIndex, row - 1, r.hex);
            store.setWorkingText(UP_ChangeIndex, row - 1, r.changed);
            store.setWorkingText(UP_BlindIndex, row - 1, "0");
        }
        context.drive.setParameters(std::move(definitions), count - 1);
        context.tableView.lastIndex = count - 2;
        QStringList messages;
        for (int n = 0; n < 40; ++n)
            messages << QStringLiteral("msg%1").arg(n);
        store.setMessages(messages);
    }
    ParameterStore store;
    ProgramContext context;
};

TEST_F(ParamReportFromStore, RowsPrintAsTheValueRulesFormatThem) {
    const auto rows = report::buildParamReportRows(paramReportSourceFromStore(context, false, false, false));
    ASSERT_EQ(rows.size(), 3u) << "up to the last parameter the table shows";
    EXPECT_EQ(rows[0][report::PC_Title], "f000");
    EXPECT_EQ(rows[0][report::PC_Value], "   150.0");
    EXPECT_EQ(rows[0][report::PC_Shipment], "     5.0") << "0002's 50 with this parameter's scale";
    EXPECT_EQ(rows[0][report::PC_Changed], "msg30");
    EXPECT_EQ(rows[1][report::PC_Value], "     255") << "decimal although the table shows it in hex";
    EXPECT_EQ(rows[1][report::PC_Changed], report::kNoChangeMark);

    context.language.decimalComma = true;
    EXPECT_EQ(report::buildParamReportRows(
                  paramReportSourceFromStore(context, false, false, false))[0][report::PC_Value],
              "   150,0");
}

TEST_F(ParamReportFromStore, ShipmentValuesReachTheMaintenanceParameters) {
    context.drive.parameters[0].defaultText = "0003";
    const auto rows = report::buildParamReportRows(paramReportSourceFromStore(context, false, false, false));
    EXPECT_EQ(rows[0][report::PC_Shipment], "     0.7");
}

TEST_F(ParamReportFromStore, WorkingValuesAndMulsThatAreNoNumberPrintEmpty) {
    auto row = [&] {
        return report::buildParamReportRows(paramReportSourceFromStore(context, false, false, false))[1];
    };
    for (const char* text : {"abc", "", "1,5"}) {
        store.setWorkingText(UP_Value, 1, text);
        const report::ParamRowTexts printed = row();
        EXPECT_EQ(printed[report::PC_Value], "") << text;
        EXPECT_EQ(printed[report::PC_Low], "       0") << text << ": the rest of the row prints";
    }
    setDefinitionText(context.drive.parameters[1], PD_Mul, "x");
    EXPECT_EQ(row()[report::PC_Low], "");
}

TEST_F(ParamReportFromStore, TheTablesViewsArePassedOn) {
    const auto rows = report::buildParamReportRows(paramReportSourceFromStore(context, true, false, false));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][report::PC_ComNo], "0000");
}

} // namespace
