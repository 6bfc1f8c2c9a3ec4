#include "core/LoadedDrive.h"

#include "core/ValueRules.h"

namespace {

// A whole number of a cell, 0 when it is none (as the drive-type file's empty cells read).
int intOf(const QString& text) {
    qint64 n = 0;
    return ValueRules::parseInteger(text, n) && n >= INT_MIN && n <= INT_MAX ? int(n) : 0;
}

int ruleOf(const QString& text) {
    qint64 n = 0;
    return ValueRules::parseInteger(text, n) && n > INT_MIN && n <= INT_MAX ? int(n) : kUnreadRule;
}

QString ruleText(int rule) {
    return rule == kUnreadRule ? QString() : QString::number(rule);
}

// A limit's rule: "0" takes the cell itself, anything else follows the parameter it names.
int limitRuleOf(const QString& text) {
    const int rule = ruleOf(text);
    return rule == kUnreadRule ? 1 : rule;
}

} // namespace

QString definitionText(const ParameterDefinition& d, int col) {
    switch (col) {
    case PD_ComNo:
        return d.comNo;
    case PD_DIndex:
        return ruleText(d.defaultRule);
    case PD_Default:
        return d.defaultText;
    case PD_FName:
        return d.name;
    case PD_FTitle:
        return d.title;
    case PD_Unit:
        return d.unit;
    case PD_Byte:
        return QString::number(d.size);
    case PD_Sign:
        return QString::number(int(d.isSigned));
    case PD_HIndex:
        return QString::number(d.highRule);
    case PD_High:
        return d.high;
    case PD_LIndex:
        return QString::number(d.lowRule);
    case PD_Low:
        return d.low;
    case PD_TMul:
        return d.format;
    case PD_Mul:
        return ValueRules::floatText(d.multiplier);
    case PD_Memory:
        return d.memory;
    case PD_Flag:
        return QString::number(d.flag);
    case PD_Quick:
        return QString::number(int(d.quick));
    case PD_CurrentVoltIndex:
        return d.currentVoltKind;
    case PD_No:
        return QString::number(d.position);
    default:
        return {};
    }
}

void setDefinitionText(ParameterDefinition& d, int col, const QString& text) {
    switch (col) {
    case PD_ComNo:
        d.comNo = text;
        break;
    case PD_DIndex:
        d.defaultRule = ruleOf(text);
        break;
    case PD_Default:
        d.defaultText = text;
        break;
    case PD_FName:
        d.name = text;
        break;
    case PD_FTitle:
        d.title = text;
        break;
    case PD_Unit:
        d.unit = text;
        break;
    case PD_Byte:
        d.size = intOf(text);
        break;
    case PD_Sign:
        d.isSigned = intOf(text) == 1;
        break;
    case PD_HIndex:
        d.highRule = limitRuleOf(text);
        break;
    case PD_High:
        d.high = text;
        break;
    case PD_LIndex:
        d.lowRule = limitRuleOf(text);
        break;
    case PD_Low:
        d.low = text;
        break;
    case PD_TMul:
        d.format = text;
        break;
    case PD_Mul:
        if (!ValueRules::parseNumber(text, d.multiplier))
            d.multiplier = 0;
        break;
    case PD_Memory:
        d.memory = text;
        break;
    case PD_Flag:
        d.flag = intOf(text);
        break;
    case PD_Quick:
        d.quick = text != QLatin1String("0");
        break;
    case PD_CurrentVoltIndex:
        d.currentVoltKind = text;
        break;
    case PD_No:
        d.position = intOf(text);
        break;
    default:
        break;
    }
}

const ParameterDefinition& LoadedDrive::definition(int index) const {
    static const ParameterDefinition none;
    return holds(index) ? parameters[std::size_t(index)] : none;
}

void LoadedDrive::markTransfer(int index, int flag) {
    if (holds(index) && parameters[std::size_t(index)].flag != 1)
        parameters[std::size_t(index)].flag = flag;
}

void LoadedDrive::setParameters(std::vector<ParameterDefinition> rows, int normalLast) {
    parameters = std::move(rows);
    normalLastIndex = normalLast;
    rebuildComNoIndex();
}

void LoadedDrive::rebuildComNoIndex() {
    comNoList_.clear();
    comNoIndex_.clear();
    comNoList_.reserve(qsizetype(parameters.size()) * 5);
    comNoIndex_.reserve(qsizetype(parameters.size()));
    for (int i = 0; i < int(parameters.size()); ++i) {
        const QString& comNo = parameters[std::size_t(i)].comNo;
        comNoList_ += comNo;
        comNoList_ += QLatin1Char(',');
        // The first entry wins, as a search of the list from its start finds it.
        if (comNo.size() == 4 && !comNoIndex_.contains(comNo))
            comNoIndex_.insert(comNo, i);
    }
}

int LoadedDrive::indexOfComNo(const QString& comNo) const {
    if (comNo.size() != 4)
        return -1;
    return comNoIndex_.value(comNo, -1);
}
