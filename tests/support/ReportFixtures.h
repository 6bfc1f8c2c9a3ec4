#pragma once
// Builders for the printed parameter list's tests: parameters as the store holds them, a
// long drive type, the value format of a parameter with one decimal, and a PDF of pages.
// Header only: linked by the tests that link the report library.
#include "report/ParamReport.h"

#include <QPrinter>
#include <QString>

namespace ReportFixtures {

// A parameter with plain values: the shipment value is its own default.
inline report::ParamSourceRow parameter(const QString& comNo, const QString& value = QStringLiteral("10"),
                                        const QString& mul = QStringLiteral("1")) {
    report::ParamSourceRow r;
    r.comNo = comNo;
    r.dIndex = QStringLiteral("0");
    r.defaultText = QStringLiteral("10");
    r.name = QStringLiteral("Function ") + comNo;
    r.title = QStringLiteral("F") + comNo;
    r.unit = QStringLiteral("Hz");
    r.mul = mul;
    r.quick = QStringLiteral("1");
    r.value = value;
    r.highValue = QStringLiteral("5000");
    r.lowValue = QStringLiteral("0");
    r.changeIndex = value == r.defaultText ? QStringLiteral("0") : QStringLiteral("1");
    r.blindIndex = QStringLiteral("0");
    return r;
}

// Numbers "0000", "0001", ... in hexadecimal, as drive types number their parameters.
inline QString comNoOf(int i) {
    return QStringLiteral("%1").arg(i, 4, 16, QLatin1Char('0')).toUpper();
}

// The display value with one decimal, right-aligned in eight characters.
inline QString oneDecimal(int, double v) {
    return QString::number(v, 'f', 1).rightJustified(8);
}

// `count` parameters, every one printed, with the format above.
inline report::ParamReportSource longSource(int count) {
    report::ParamReportSource s;
    for (int i = 0; i < count; ++i)
        s.rows.push_back(parameter(comNoOf(i), QString::number(i)));
    s.lastIndex = count - 1;
    s.formatValue = oneDecimal;
    s.changedMark = QStringLiteral("Change");
    return s;
}

// An empty band of the given height.
inline report::Band band(double height) {
    report::Band b;
    b.height = height;
    return b;
}

// Prints the pages to a PDF file; false with the reason in `error`.
inline bool printToPdf(const report::ReportPages& pages, const QString& path, QString* error = nullptr) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return pages.print(printer, error);
}

} // namespace ReportFixtures
