#include "core/ConversionBases.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"

namespace {

// The divisor of a base parameter: its Mul, 10 when the drive type lacks the parameter, and
// never 0.
double divisorOf(const ProgramContext& ctx, int index) {
    if (index < 0 || !ctx.store)
        return 10.0;
    const double m = StoreCells::definition(ctx, index).multiplier;
    return m > 0 ? m : 1.0;
}

bool workingValue(const ProgramContext& ctx, int index, double& value) {
    return index >= 0 && ctx.store && ValueRules::parseNumber(StoreCells::value(ctx, index), value);
}

int indexOf(const ProgramContext& ctx, const char* comNo) {
    return ctx.store ? ctx.drive.indexOfComNo(QString::fromLatin1(comNo)) : -1;
}

} // namespace

int FallbackVoltage(const QString& formName) {
    if (formName.isEmpty())
        return 0;
    const int at = formName[0] == u'S' ? 2 : 1;
    if (at >= formName.size() || !formName[at].isDigit())
        return 0;
    return formName[at].digitValue() * 100;
}

ConversionBaseParameters conversionBaseParameters(const ProgramContext& ctx) {
    ConversionBaseParameters p;
    p.fallbackVoltage = float(FallbackVoltage(ctx.drive.identity.formName));
    p.voltIndex = indexOf(ctx, "FE71");
    p.voltDivisor = divisorOf(ctx, p.voltIndex);
    p.currentIndex = indexOf(ctx, "FE70");
    if (p.currentIndex < 0)
        p.currentIndex = indexOf(ctx, "FB58");
    p.currentDivisor = divisorOf(ctx, p.currentIndex);
    return p;
}

ConversionBases workingConversionBases(const ProgramContext& ctx) {
    const ConversionBaseParameters p = conversionBaseParameters(ctx);
    ConversionBases b;
    double v = 0;
    b.volt = workingValue(ctx, p.voltIndex, v) ? float(v / p.voltDivisor) : p.fallbackVoltage;
    // Without either current parameter there is no rated current: 0, which the current
    // display and the unit change refuse to divide by.
    double a = 0;
    b.ampere = workingValue(ctx, p.currentIndex, a) ? float(a / p.currentDivisor) : 0.0f;
    return b;
}

bool ConversionBasesAvailable(const ProgramContext& ctx) {
    if (!ctx.store || ctx.drive.currentVoltNumbers.isEmpty())
        return false;
    const ConversionBases bases = workingConversionBases(ctx);
    bool any = false;
    for (const QString& comNo : ctx.drive.currentVoltNumbers) {
        const int i = ctx.drive.indexOfComNo(comNo);
        if (i < 0)
            continue;
        const QString& kind = ctx.drive.definition(i).currentVoltKind;
        if (kind == QLatin1String("C") && !(bases.ampere > 0))
            return false;
        if (kind == QLatin1String("V") && !(bases.volt > 0))
            return false;
        any = any || kind == QLatin1String("C") || kind == QLatin1String("V");
    }
    return any;
}
