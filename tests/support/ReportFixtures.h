#pragma once
// Builders for the printed reports' tests: parameters as the table holds them, a long drive
// type, the value format of a parameter with one decimal, a monitor run's page, and a PDF of
// pages. Header only: linked by the tests that link the report library.
#include "report/MonitorReport.h"
#include "report/ParamReport.h"

#include <QPrinter>
#include <QStringList>

#include <QString>
#include <utility>
#include <vector>

namespace ReportFixtures {

// A parameter with plain values: the shipment value is its own default.
inline report::ParamSourceRow parameter(const QString& comNo, double value = 10, double mul = 1) {
    report::ParamSourceRow r;
    r.comNo = comNo;
    r.shipmentRaw = 10;
    r.name = QStringLiteral("Function ") + comNo;
    r.title = QStringLiteral("F") + comNo;
    r.unit = QStringLiteral("Hz");
    r.multiplier = mul;
    r.quick = true;
    r.value = value;
    r.highValue = 5000;
    r.lowValue = 0;
    r.changed = value != *r.shipmentRaw;
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
        s.rows.push_back(parameter(comNoOf(i), i));
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

// A monitor run's page: drive "HXZ9-4037", a triggered run at 0.5 s/div, `rows` channels
// (the odd ones off), each row in its own colour, and a chart picture of one colour.
inline const QColor kMonitorChartColor(20, 160, 60);
inline report::MonitorReportData monitorData(int rows = 10) {
    static const QColor colors[] = {Qt::red,     Qt::blue,     Qt::darkGreen,  Qt::magenta,     Qt::darkCyan,
                                    Qt::darkRed, Qt::darkBlue, Qt::darkYellow, Qt::darkMagenta, Qt::black};
    report::MonitorReportData d;
    d.typeForm = QStringLiteral("HXZ9-4037");
    d.settings.timeBase = {QStringLiteral("0.5"), 0.5};
    d.settings.continuousTimeBase = {QStringLiteral("12.0"), 12.0};
    d.settings.scope = QStringLiteral("100");
    d.settings.scopePosition = 100;
    d.settings.trigger = true;
    d.settings.triggerSource = QStringLiteral("CH2");
    d.settings.triggerLevel = QStringLiteral("40");
    d.settings.triggerSlope = QStringLiteral("Up");
    d.settings.triggerDelay = QStringLiteral("30");
    for (int i = 0; i < rows; ++i) {
        report::MonitorReportRow r;
        const bool on = i % 2 == 0;
        r.texts = {QString::number(i + 1),
                   on ? QStringLiteral("ON") : QStringLiteral("OFF"),
                   QStringLiteral("Item%1").arg(i + 1),
                   QStringLiteral("1.5"),
                   QString::number(i * 10),
                   on ? QString::number(-i - 0.5) : report::kNoValue,
                   on ? QString::number(100 + i) : report::kNoValue,
                   on ? QString::number(i + 0.25) : report::kNoValue,
                   on ? QString::number(50 + i) : report::kNoValue};
        r.color = colors[i % 10];
        d.rows.push_back(r);
    }
    d.chart = QImage(report::kChartPictureWidth, report::kChartPictureHeight, QImage::Format_RGB32);
    d.chart.fill(kMonitorChartColor);
    d.printedAt = QDateTime(QDate(2026, 5, 7), QTime(9, 5, 3));
    return d;
}

// What is wrong with a laid-out page, one line a fault: a text whose drawn extent (its width
// placed by its alignment) leaves the printable width or crosses a separator of its band, a
// band lower than a line of a text in it, a text whose rectangle leaves its band, two texts of
// a band drawn over each other. Wrapped texts are checked by their rectangles, which must
// hold their lines.
inline QStringList layoutFaults(const report::ReportDocument& doc) {
    using namespace report;
    QStringList faults;
    const double w = printableSizeInDesign(doc.format).width();
    auto check = [&](const Band& b, const char* where) {
        std::vector<std::pair<QRectF, QString>> drawn;
        for (const TextItem& t : b.texts) {
            const QString text = t.sys == SysData::None ? t.text : sysDataText(t.sys, doc.printedAt, 1);
            if (text.trimmed().isEmpty())
                continue;
            QRectF r = t.rect;
            if (!t.wrap) {
                const double need = textWidth(t.font, text);
                double left = r.left();
                if (t.alignment & Qt::AlignRight)
                    left = r.right() - need;
                else if (t.alignment & Qt::AlignHCenter)
                    left = r.center().x() - need / 2;
                r = QRectF(left, r.top(), need, r.height());
                if (lineHeight(t.font) > b.height + 1e-6)
                    faults << QStringLiteral("%1: band %2 lower than the line of \"%3\"")
                                  .arg(where)
                                  .arg(b.height)
                                  .arg(text);
            }
            const QString name =
                QStringLiteral("%1: \"%2\" at %3..%4").arg(where, text).arg(r.left()).arg(r.right());
            if (t.wrap) {
                const QSizeF lines = wrappedSize(t.font, text, r.width());
                if (lines.width() > r.width() + 1e-6 || lines.height() > r.height() + 1e-6)
                    faults << name + QStringLiteral(" needs %1 x %2").arg(lines.width()).arg(lines.height());
            }
            if (r.top() < -1e-6 || r.bottom() > b.height + 1e-6)
                faults << name + QStringLiteral(" leaves its band of height ") + QString::number(b.height);
            if (r.left() < -1e-6 || r.right() > w + 1e-6)
                faults << name + QStringLiteral(" leaves the width ") + QString::number(w);
            for (const RectItem& sep : b.rects) {
                if (sep.rect.width() <= 1 && r.left() < sep.rect.right() - 1e-6 &&
                    r.right() > sep.rect.left() + 1e-6)
                    faults << name + QStringLiteral(" crosses the separator at ") +
                                  QString::number(sep.rect.left());
            }
            for (const auto& [other, otherName] : drawn) {
                if (other.intersected(r).width() > 1e-6 && other.intersected(r).height() > 1e-6)
                    faults << name + QStringLiteral(" overlaps ") + otherName;
            }
            drawn.emplace_back(r, name);
        }
    };
    for (const Band& b : doc.pageHeader)
        check(b, "page header");
    for (const Band& b : doc.columnHeader)
        check(b, "column header");
    for (const Band& b : doc.details)
        check(b, "row");
    for (const Band& b : doc.pageFooter)
        check(b, "footer");
    return faults;
}

// Prints the pages to a PDF file; false with the reason in `error`.
inline bool printToPdf(const report::ReportPages& pages, const QString& path, QString* error = nullptr) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return pages.print(printer, error);
}

} // namespace ReportFixtures
