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
    // The working values are texts; one that is no number prints empty.
    auto number = [](const QString& text) -> std::optional<double> {
        double v = 0;
        return ValueRules::parseNumber(text, v) ? std::optional(v) : std::nullopt;
    };
    for (int i = 0; i < count; ++i) {
        report::ParamSourceRow row;
        const ParameterDefinition& d = context.drive.parameters[std::size_t(i)];
        row.comNo = d.comNo;
        row.name = d.name;
        row.title = d.title;
        row.unit = d.unit;
        // Rule 0: the default is the value; any other names the parameter to follow.
        row.shipmentReferred = d.defaultRule != 0;
        if (row.shipmentReferred)
            row.shipmentFrom = d.defaultText;
        else
            row.shipmentRaw = number(d.defaultText);
        row.multiplier = d.multiplier;
        row.quick = d.quick;
        row.value = number(StoreCells::value(context, i));
        row.highValue = number(StoreCells::at(context, i).high);
        row.lowValue = number(StoreCells::at(context, i).low);
        row.changed = StoreCells::at(context, i).changed;
        row.blind = StoreCells::at(context, i).blind;
        source.rows.push_back(std::move(row));
    }
    return source;
}
