#include "ui/ParamReportFromStore.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"

report::ParamReportSource paramReportSourceFromStore(const ProgramContext& context, bool changedOnly,
                                                     bool blindView, bool quickView) {
    report::ParamReportSource source;
    source.lastIndex = context.tableView.lastIndex;
    source.changedOnly = changedOnly;
    source.blindView = blindView;
    source.quickView = quickView;
    source.formatValue = [&context](int index, double displayValue) {
        return ValueRules::FormatValue(context, index, displayValue);
    };
    source.changedMark = Msg(context, MsgId::ChangedMark);
    const ParameterStore* p = context.store;
    if (!p)
        return source;
    const int count = std::max(context.drive.lastIndex() + 1, 0);
    source.rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        report::ParamSourceRow row;
        const ParameterDefinition& d = context.drive.parameters[std::size_t(i)];
        row.comNo = d.comNo;
        row.dIndex = definitionText(d, PD_DIndex);
        row.defaultText = d.defaultText;
        row.name = d.name;
        row.title = d.title;
        row.unit = d.unit;
        row.mul = definitionText(d, PD_Mul);
        row.quick = definitionText(d, PD_Quick);
        row.value = StoreCells::value(context, i);
        row.highValue = StoreCells::at(context, i).high;
        row.lowValue = StoreCells::at(context, i).low;
        row.changeIndex = StoreCells::work(context, UP_ChangeIndex, i);
        row.blindIndex = StoreCells::work(context, UP_BlindIndex, i);
        source.rows.push_back(std::move(row));
    }
    return source;
}
