#include "core/ValueRules.h"

#include "core/ConversionBases.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"

#include <charconv>
#include <cmath>
#include <string>

namespace ValueRules {

namespace {

// The text without surrounding blanks as ASCII bytes in buf; false when it holds any other
// character (never part of a number) or is too long for buf.
template <size_t N> bool asciiTrimmed(const QString& text, char (&buf)[N], size_t& len) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].isSpace())
        ++first;
    while (last > first && text[last - 1].isSpace())
        --last;
    len = static_cast<size_t>(last - first);
    if (len > N)
        return false;
    for (qsizetype i = first; i < last; ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7E)
            return false;
        buf[i - first] = static_cast<char>(c);
    }
    return true;
}

bool validIndex(const ProgramContext& context, int index) {
    const ParameterStore* p = context.store;
    return p && context.drive.holds(index) && index < p->workingCount();
}

// The definition of parameter `index`; an empty one for an index that is not a loaded parameter.
const ParameterDefinition& definitionOf(const ProgramContext& context, int index) {
    static const ParameterDefinition none;
    return validIndex(context, index) ? context.drive.definition(index) : none;
}
// The working record of parameter `index`; a clear one for an index that is not a loaded parameter.
const WorkingParameter& recordOf(const ProgramContext& context, int index) {
    static const WorkingParameter none;
    return validIndex(context, index) ? StoreCells::at(context, index) : none;
}

// Value of the parameter a limit cell names, as a number.
bool referencedValue(const ProgramContext& context, const QString& comNo, double& value) {
    const int ref = IndexOfComNo(context, comNo);
    return ref >= 0 && parseNumber(recordOf(context, ref).value, value);
}

// Reads a limit: rule 0 = the cell is the limit, any other rule names a parameter whose
// Value is the limit, negated for -1.
bool limitOf(const ProgramContext& context, int rule, const QString& cell, double& value) {
    if (rule == 0)
        return parseNumber(cell, value);
    if (!referencedValue(context, cell, value))
        return false;
    if (rule == -1)
        value = -value;
    return true;
}

} // namespace

bool parseNumber(const QString& text, double& value) {
    char buf[400];
    size_t len = 0;
    if (!asciiTrimmed(text, buf, len))
        return false;
    const char* first = buf;
    const char* last = buf + len;
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // from_chars would also take "inf", "nan" and a second sign.
    if (first == last || !((*first >= '0' && *first <= '9') || *first == '.'))
        return false;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || ptr != last || !std::isfinite(v))
        return false;
    value = negative ? -v : v;
    return true;
}

bool parseInteger(const QString& text, qint64& value) {
    char buf[64];
    size_t len = 0;
    if (!asciiTrimmed(text, buf, len))
        return false;
    const char* first = buf;
    const char* last = buf + len;
    if (first != last && *first == '+')
        ++first;
    if (first == last || (*first == '-' && (first + 1 == last || first[1] < '0' || first[1] > '9')))
        return false;
    long long v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v, 10);
    if (ec != std::errc() || ptr != last)
        return false;
    value = v;
    return true;
}

bool parseRawValue(const QString& text, qint64& value) {
    if (parseInteger(text, value))
        return true;
    double d = 0;
    if (!parseNumber(text, d) || std::fabs(d) >= 9.2e18)
        return false;
    value = static_cast<qint64>(std::trunc(d));
    return true;
}

QString fixedText(double value, int decimals, int width) {
    decimals = std::clamp(decimals, 0, 30);
    QString out;
    if (!std::isfinite(value)) {
        out = std::isnan(value) ? QStringLiteral("nan")
              : value < 0       ? QStringLiteral("-inf")
                                : QStringLiteral("inf");
    } else {
        // The shortest decimal form that reads back as the same double, so that rounding
        // works on the digits the user sees rather than on the binary fraction.
        char buf[400];
        const auto [end, ec] =
            std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
        std::string digits(buf, ec == std::errc() ? end : buf);
        std::string intPart = digits, frac;
        if (const auto dot = digits.find('.'); dot != std::string::npos) {
            intPart = digits.substr(0, dot);
            frac = digits.substr(dot + 1);
        }
        bool roundUp = false;
        if (static_cast<int>(frac.size()) > decimals) {
            roundUp = frac[static_cast<size_t>(decimals)] >= '5';
            frac.resize(static_cast<size_t>(decimals));
        }
        frac.append(static_cast<size_t>(decimals) - frac.size(), '0');
        std::string all = intPart + frac;
        if (roundUp) {
            int i = static_cast<int>(all.size()) - 1;
            for (; i >= 0; --i) {
                if (all[static_cast<size_t>(i)] == '9') {
                    all[static_cast<size_t>(i)] = '0';
                } else {
                    ++all[static_cast<size_t>(i)];
                    break;
                }
            }
            if (i < 0)
                all.insert(all.begin(), '1');
        }
        const size_t intLen = all.size() - static_cast<size_t>(decimals);
        std::string text = all.substr(0, intLen);
        if (decimals > 0)
            text += '.' + all.substr(intLen);
        const bool zero = all.find_first_not_of('0') == std::string::npos;
        if (value < 0 && !zero)
            text.insert(text.begin(), '-');
        out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    if (out.size() < width)
        out = QString(width - out.size(), QLatin1Char(' ')) + out;
    return out;
}

QString floatText(double value) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (ec != std::errc())
        return QString();
    return QString::fromLatin1(buf, static_cast<qsizetype>(end - buf));
}

int IndexOfComNo(const ProgramContext& context, const QString& comNo) {
    const int i = context.drive.indexOfComNo(comNo);
    return validIndex(context, i) ? i : -1;
}

qint64 ValueOfComNo(const ProgramContext& context, const QString& comNo) {
    if (comNo.isEmpty())
        return -1;
    QString padded = comNo;
    if (padded.size() < 4)
        padded = QString(4 - padded.size(), QLatin1Char('0')) + padded;
    const int i = IndexOfComNo(context, padded);
    qint64 v = -1;
    if (i < 0 || !parseRawValue(recordOf(context, i).value, v))
        return -1;
    return v;
}

QString ValueTextOfComNo(const ProgramContext& context, const QString& comNo) {
    return recordOf(context, IndexOfComNo(context, comNo)).value;
}

bool LimitsOf(const ProgramContext& context, int index, double& low, double& high) {
    if (!validIndex(context, index))
        return false;
    const ParameterDefinition& d = definitionOf(context, index);
    return limitOf(context, d.highRule, d.high, high) && limitOf(context, d.lowRule, d.low, low);
}

double ClampToRange(const ProgramContext& context, const QString& valueText, int index, bool& outOfRange,
                    Failure& failure) {
    double v = 0, high = 0, low = 0;
    const bool ok = parseNumber(valueText, v) && LimitsOf(context, index, low, high);
    if (!ok) {
        failure = MsgId::NotANumber;
        qint64 current = 0;
        if (!parseRawValue(recordOf(context, index).value, current))
            current = 0;
        return static_cast<double>(current);
    }
    if (v > high) {
        outOfRange = true;
        return high;
    }
    if (low > v) {
        outOfRange = true;
        return low;
    }
    return v;
}

QString DefaultOf(const ProgramContext& context, const QString& comNo, Failure* failure) {
    // A chain longer than the table must loop; stop it there.
    const int maxSteps = std::max(context.drive.lastIndex(), 0) + 1;
    QString number = comNo;
    for (int step = 0; step <= maxSteps; ++step) {
        const int i = IndexOfComNo(context, number);
        if (i < 0)
            break;
        const ParameterDefinition& d = definitionOf(context, i);
        if (d.defaultRule == 0)
            return d.defaultText;
        if (d.defaultRule != 1)
            break;
        number = d.defaultText;
    }
    if (failure)
        *failure = MsgId::DefaultNotDefined;
    return QString::fromLatin1(kDefaultError);
}

int UpdateChangedFlag(const ProgramContext& context, const QString& comNo, double raw, bool* ok,
                      Failure* failure) {
    if (ok)
        *ok = false;
    const int i = IndexOfComNo(context, comNo);
    if (i < 0) {
        if (failure)
            *failure = MsgId::DefaultNotDefined;
        return 0;
    }
    double def = 0;
    if (!parseNumber(DefaultOf(context, comNo, failure), def))
        return 0;
    const int flag = raw == def ? 0 : 1;
    StoreCells::set(context, i, &WorkingParameter::changed, flag == 1);
    if (ok)
        *ok = true;
    return flag;
}

int storeValue(const ProgramContext& context, int index, const QString& text, double raw, bool* ok,
               Failure* failure) {
    WorkingParameter* w = StoreCells::editRecord(context, index);
    if (!w) {
        if (ok)
            *ok = false;
        return 0;
    }
    w->value = text;
    return UpdateChangedFlag(context, definitionOf(context, index).comNo, raw, ok, failure);
}

int decimalsOfTMul(const QString& tmul) {
    static const struct {
        const char* code;
        int decimals;
    } kFormats[] = {{"#.#", 1},   {"#.##", 2}, {"#.###", 3}, {"#.x", 1},  {"#.xx", 2},
                    {"#.xxx", 3}, {"#.#x", 2}, {"#.#xx", 3}, {"#.##x", 3}};
    for (const auto& f : kFormats)
        if (tmul == QLatin1String(f.code))
            return f.decimals;
    return 0;
}

QString FormatValue(const ProgramContext& context, int index, double displayValue) {
    QString text = fixedText(displayValue, decimalsOfTMul(definitionOf(context, index).format), 8);
    if (context.language.decimalComma) {
        const qsizetype dot = text.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            text[dot] = QLatin1Char(',');
    }
    return text;
}

double mulOf(const ProgramContext& context, int index) {
    double m = 0;
    if (!((m = definitionOf(context, index).multiplier) > 0))
        return 1.0;
    return m;
}

QString ToHexText(double raw, bool* ok) {
    if (ok)
        *ok = false;
    // Whole at 15 significant digits, as the value is shown everywhere else.
    double v = 0;
    if (!std::isfinite(raw) || !parseNumber(floatText(raw), v) || v != std::trunc(v) || v < -2147483648.0 ||
        v > 4294967295.0)
        return QString();
    const auto bits = static_cast<quint32>(static_cast<qint64>(v) & 0xFFFFFFFFLL);
    if (ok)
        *ok = true;
    return QString::number(bits, 16).toUpper();
}

qint64 ParseHex(const ProgramContext& context, const QString& digits, int index, bool* ok) {
    if (ok)
        *ok = false;
    char buf[64];
    size_t len = 0;
    if (!asciiTrimmed(digits, buf, len))
        return 0;
    const std::string s(buf, len);
    const size_t significant = s.find_first_not_of('0');
    if (s.empty() || (significant != std::string::npos && s.size() - significant > 8))
        return 0;
    unsigned long long v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (ec != std::errc() || ptr != s.data() + s.size())
        return 0;
    qint64 low = 0;
    const bool isSigned = parseRawValue(recordOf(context, index).low, low) && low < 0;
    if (ok)
        *ok = true;
    const auto bits = static_cast<quint32>(v);
    return isSigned ? static_cast<qint64>(static_cast<qint32>(bits)) : static_cast<qint64>(bits);
}

QString CurrentVoltageText(const ProgramContext& context, const ConversionBases& bases,
                           const QString& rawText, int index, bool* ok) {
    if (ok)
        *ok = false;
    double raw = 0;
    if (!parseNumber(rawText, raw))
        return QString();
    const double m = mulOf(context, index);
    const QString& kind = definitionOf(context, index).currentVoltKind;
    QString text;
    if (kind == QLatin1String("C") || kind == QLatin1String("V")) {
        const bool current = kind == QLatin1String("C");
        const double base = current ? bases.ampere : bases.volt;
        const double step = 0.01 * base / m;
        const double value = raw / m * 0.01 * base;
        text = fixedText(value, step >= 0.1 ? 2 : 1) + (current ? QLatin1Char('A') : QLatin1Char('V'));
    } else if (recordOf(context, index).hex) {
        bool hexOk = false;
        const QString hex = ToHexText(raw, &hexOk);
        if (!hexOk)
            return QString();
        text = QLatin1Char('h') + hex;
    } else {
        text = FormatValue(context, index, raw / m);
    }
    if (ok)
        *ok = true;
    return text;
}

QString ParseCurrentVoltage(const ProgramContext& context, const ConversionBases& bases, const QString& text,
                            int index, bool* ok) {
    if (ok)
        *ok = false;
    const QString& kind = definitionOf(context, index).currentVoltKind;
    const bool current = kind == QLatin1String("C");
    if (!current && kind != QLatin1String("V")) {
        if (ok)
            *ok = true;
        return text;
    }
    QString number = text;
    const QChar unit = current ? QLatin1Char('A') : QLatin1Char('V');
    if (const qsizetype at = number.indexOf(unit); at >= 0)
        number.remove(at, 1);
    double amount = 0;
    const double base = current ? bases.ampere : bases.volt;
    if (!parseNumber(number, amount) || base == 0)
        return QString();
    const double m = mulOf(context, index);
    const int decimals = m == 1 ? 0 : m == 10 ? 1 : m == 100 ? 2 : 3;
    if (ok)
        *ok = true;
    return fixedText(amount / base * 100.0, decimals);
}

int GridRowOfIndex(const ProgramContext& context, int index, const QStringList& numberColumn,
                   int& searchStartRow, int lastDataRow) {
    for (int r = std::max(searchStartRow, 0); r <= lastDataRow && r + 1 < numberColumn.size(); ++r) {
        if (IndexOfComNo(context, numberColumn[r + 1]) == index) {
            searchStartRow = r;
            return r;
        }
    }
    return index;
}

} // namespace ValueRules
