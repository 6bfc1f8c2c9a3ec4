#include "core/ParameterFileChecks.h"

#include "core/Messages.h"
#include "core/ParaFile.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "platform/BoxText.h"

#include <QSet>

namespace ParameterFileChecks {

namespace {

// As the table shows a raw value of the parameter.
QString shown(const ProgramContext& context, int index, double raw) {
    return BoxText::quoted(
        ValueRules::FormatValue(context, index, raw / ValueRules::mulOf(context, index)).trimmed());
}

} // namespace

TextFile::ReadBounds bounds() {
    return {kMaxFileBytes, kMaxLineBytes};
}

QString refusalText(const ProgramContext& context, const QString& path,
                    const TextFile::ReadProblem& problem) {
    return Msg(context, problem.failure == TextFile::ReadFailure::TooLarge ? MsgId::FileTooLarge
                                                                           : MsgId::LineTooLong) +
           u'\n' + path;
}

std::optional<Notice> readLines(const ProgramContext& context, const QString& path, QStringList& lines,
                                QList<QByteArray>* lineBytes) {
    TextFile::ReadProblem problem;
    if (TextFile::readLines(path, lines, bounds(), problem, lineBytes))
        return std::nullopt;
    if (problem.failure == TextFile::ReadFailure::TooLarge ||
        problem.failure == TextFile::ReadFailure::LineTooLong)
        return Notice{refusalText(context, path, problem), context.texts.caption, BoxIcon::Warning,
                      BoxButtons::Ok};
    return ParaFile::cannotOpenNotice(path);
}

QList<OutOfLimit> findOutOfLimits(const ProgramContext& context, const QList<int>& indices) {
    QList<OutOfLimit> out;
    if (!context.store)
        return out;
    QSet<int> seen; // a number recorded twice is read once
    for (int index : indices) {
        if (seen.contains(index))
            continue;
        seen.insert(index);
        const QString& value = StoreCells::value(context, index);
        double v = 0, low = 0, high = 0;
        if (!ValueRules::parseNumber(value, v) || !ValueRules::LimitsOf(context, index, low, high))
            continue;
        if (v < low || v > high)
            out.append({index, context.drive.parameters[std::size_t(index)].comNo, value, v, low, high});
    }
    return out;
}

QString outOfLimitText(const ProgramContext& context, const QList<OutOfLimit>& found) {
    QString text = Msg(context, MsgId::ValuesOutsideLimits);
    const qsizetype listed = qMin<qsizetype>(found.size(), kListedValues);
    for (qsizetype i = 0; i < listed; ++i) {
        const OutOfLimit& o = found.at(i);
        text += u'\n' + o.comNo + QStringLiteral(" : ") + shown(context, o.index, o.raw) +
                QStringLiteral("  (") + shown(context, o.index, o.low) + QStringLiteral(" .. ") +
                shown(context, o.index, o.high) + u')';
    }
    if (found.size() > listed)
        text += QStringLiteral("\n\u2026 (+%1)").arg(found.size() - listed);
    return text;
}

std::optional<Notice> markOutOfLimits(const ProgramContext& context, const QList<int>& indices) {
    ParameterStore* store = context.store;
    if (!store)
        return std::nullopt;
    const QList<OutOfLimit> found = findOutOfLimits(context, indices);
    if (found.isEmpty())
        return std::nullopt;
    static const QString one = QStringLiteral("1");
    for (const OutOfLimit& o : found)
        StoreCells::set(context, o.index, &WorkingParameter::changed, true);
    return Notice{outOfLimitText(context, found), context.texts.caption, BoxIcon::Warning, BoxButtons::Ok};
}

} // namespace ParameterFileChecks
