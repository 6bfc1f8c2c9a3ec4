#include "monitor/ChartReadout.h"

namespace {

QString withSeparator(QString text, bool decimalComma) {
    if (decimalComma)
        text.replace(u'.', u',');
    return text;
}

} // namespace

QString chartReadoutText(const ReadoutCaptions& captions, const ReadoutPoint& point) {
    const double seconds = point.elapsedMs / 1000.0;
    const QString time = withSeparator(QString::number(seconds, 'f', 1), point.decimalComma);
    // Seven significant digits show the single-precision multiplier as it was set (1.2, not
    // 1.20000005).
    const QString multiplier =
        withSeparator(QString::number(static_cast<double>(point.multiplier), 'g', 7), point.decimalComma);
    const QString lf = QStringLiteral("\n");
    return QStringLiteral("CH%1 : %2").arg(point.channel + 1).arg(point.itemText) + lf + lf + captions.value +
           QStringLiteral(" : ") + point.valueText + lf + captions.multiplier + QStringLiteral(" : ") +
           multiplier + lf + captions.offset + QStringLiteral(" : ") + QString::number(point.offset) + lf +
           lf + captions.passedTime + QStringLiteral(" : ") + time + QStringLiteral(" (s) ");
}

double timeBaseSeconds(const QString& text) {
    QString t = text.trimmed();
    t.replace(u',', u'.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v : 0.0;
}
