#include "monitor/ChannelValues.h"

#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ValueRules.h"
#include "link/LowHalfRegister.h"

namespace ChannelValues {

qint64 reading(const MonChannelRec& rec, std::uint32_t raw) {
    if (rec.Byte == 4)
        return rec.Low < 0 ? qint64(std::int32_t(raw)) : qint64(raw);
    const auto low16 = std::uint16_t(raw & 0xFFFFu);
    return rec.Low < 0 ? qint64(std::int16_t(low16)) : qint64(low16);
}

bool cutToLowHalf(const MonChannelRec& rec, Protocol protocol) {
    if (!LowHalfRegister::cuts(protocol, rec.Byte == 4))
        return false;
    if (rec.BitNo.isEmpty())
        return true;
    bool ok = false;
    const int bit = rec.BitNo.trimmed().toInt(&ok);
    return !ok || bit > 15;
}

bool bitSet(qint64 n, int bit) {
    if (bit < 0 || bit > 31)
        return false;
    return ((std::uint32_t(n) >> bit) & 1u) != 0;
}

std::optional<double> channelValue(const MonChannelRec& rec, std::uint32_t raw, int bitOnValue) {
    const qint64 n = reading(rec, raw);
    if (!rec.BitNo.isEmpty()) {
        bool ok = false;
        const int b = rec.BitNo.trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
        return bitSet(n, b) ? double(bitOnValue) : 0.0;
    }
    const float mul = rec.Mul > 0 ? rec.Mul : 1.0f;
    return double(static_cast<long double>(n) / static_cast<long double>(mul));
}

double displayValue(double value, bool unitChecked, const QString& changedUnit, const Options& options,
                    float ampereBase, float voltBase) {
    if (options.useFreeUnit.checked()) {
        double factor = 0;
        if (!ValueRules::parseNumber(options.freeUnitFactorText(), factor))
            factor = 1.0;
        return value * factor;
    }
    if (!unitChecked)
        return value;
    if (changedUnit == QLatin1String("(A)"))
        return double(static_cast<long double>(value) * ampereBase * 0.01L);
    if (changedUnit == QLatin1String("(V)"))
        return double(static_cast<long double>(value) * voltBase * 0.01L);
    return value;
}

QString formatNumber(const LoadedDrive& drive, int paraIndex, double value, bool decimalComma) {
    // An item the drive type lacks has multiplier 0: no decimals.
    const double m = drive.definition(paraIndex).multiplier;
    const int decimals = m == 10 ? 1 : m == 100 ? 2 : m == 1000 ? 3 : 0;
    QString text = ValueRules::fixedText(value, decimals);
    if (decimalComma) {
        const qsizetype dot = text.indexOf(u'.');
        if (dot >= 0)
            text[dot] = u',';
    }
    return text;
}

QString sampleText(double value, bool decimalComma) {
    if (decimalComma)
        return ValueRules::floatText(value == 0 ? 0.0 : value).replace(u'.', u',');
    QString text = QString::number(value, 'f', 6);
    if (text == QLatin1String("-0.000000"))
        text.remove(0, 1);
    return text;
}

} // namespace ChannelValues
