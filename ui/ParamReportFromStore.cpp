#include "ui/ParamReportFromStore.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
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
    const int count = std::max(context.ParaCountAll + 1, 0);
    source.rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const int r = i + 1;
        report::ParamSourceRow row;
        row.comNo = p->ParaDat.cell(PD_ComNo, r);
        row.dIndex = p->ParaDat.cell(PD_DIndex, r);
        row.defaultText = p->ParaDat.cell(PD_Default, r);
        row.name = p->ParaDat.cell(PD_FName, r);
        row.title = p->ParaDat.cell(PD_FTitle, r);
        row.unit = p->ParaDat.cell(PD_Unit, r);
        row.mul = p->ParaDat.cell(PD_Mul, r);
        row.quick = p->ParaDat.cell(PD_Quick, r);
        row.value = p->UPara.cell(UP_Value, r);
        row.highValue = p->UPara.cell(UP_HValue, r);
        row.lowValue = p->UPara.cell(UP_LValue, r);
        row.changeIndex = p->UPara.cell(UP_ChangeIndex, r);
        row.blindIndex = p->UPara.cell(UP_BlindIndex, r);
        source.rows.push_back(std::move(row));
    }
    return source;
}
