#pragma once
// The printed parameter list: one row per parameter (title, communication number, name,
// optional shipment value, set value, limits, unit, changed mark) under a page header (drive
// type and form, comment, date, time) and above a page footer (page number).
//
// Two steps, both without a window: the rows of the table become the report's texts
// (buildParamReportRows), then the texts and the page set-up become the pages
// (layoutParamReport).
#include "report/BandReport.h"
#include "report/PageSetup.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace report {

// One parameter as the table holds it: the texts it prints as they are, its numbers and its
// marks.
struct ParamSourceRow {
    QString comNo; // four hexadecimal digits
    QString name;
    QString title;
    QString unit;
    // Where the shipment value comes from: the row's own default (none when that is no
    // number), or the default of the parameter numbered `shipmentFrom`, which may refer on.
    bool shipmentReferred = false;
    std::optional<double> shipmentRaw;
    QString shipmentFrom;
    // The divisor of the raw values: one that is no whole number, or 0, prints no values.
    double multiplier = 1;
    // Raw values; none when the working cell is no number.
    std::optional<double> value;
    std::optional<double> highValue;
    std::optional<double> lowValue;
    bool quick = true; // in the Quick view
    bool changed = false;
    bool blind = false; // hidden by the Blind view
};

struct ParamReportSource {
    // Every loaded parameter in index order (a shipment value may name any of them).
    std::vector<ParamSourceRow> rows;
    // Index of the last parameter printed (the rows the table shows).
    int lastIndex = -1;
    // The table's views: a row prints only when none of them hides it.
    bool changedOnly = false;
    bool blindView = false;
    bool quickView = false;
    // The display text of a value of parameter `index` (raw value / Mul), as the table
    // formats it for print: decimal, with the parameter's decimals.
    std::function<QString(int index, double displayValue)> formatValue;
    // The changed mark (ChangedMark of the language file).
    QString changedMark;
};

enum ParamColumn {
    PC_Title = 0,
    PC_ComNo,
    PC_Name,
    PC_Shipment,
    PC_Value,
    PC_Low,
    PC_High,
    PC_Unit,
    PC_Changed,
    PC_Count
};
using ParamRowTexts = std::array<QString, PC_Count>;

// The mark of an unchanged parameter.
inline const QString kNoChangeMark = QStringLiteral("      ");

// The printed rows, in table order. A value cell that cannot be shown (no value, a Mul that is
// no whole number or 0, a shipment value whose chain of references names no loaded parameter
// or goes round in a circle) prints empty; the row still prints.
std::vector<ParamRowTexts> buildParamReportRows(const ParamReportSource& source);

// Everything the pages show apart from the page set-up.
struct ParamReportData {
    QString title = QStringLiteral("KVR260X"); // language "Print"/"Title"
    QString typeForm;                          // drive type followed by its form
    ParamRowTexts headers{"Title",      "Comm. No.", "Function", "Default", "Set Val.",
                          "Low limit.", "Up limit.", "Unit",     "Notes"}; // "General" Message22..30
    std::vector<ParamRowTexts> rows;
    QDateTime printedAt;
};

// The faces the parameter list prints with.
inline constexpr const char* kLedFace = "HXK52LED";
struct ParamReportFaces {
    QString text; // every label but the titles
    QString led;  // the title column
};
// The faces that will really print: the page set-up's face and the LED face, each replaced
// by what the machine substitutes when it is not installed (the LED face by the installed
// seven-segment face first).
ParamReportFaces paramReportFaces(const QString& setupFace);

// Horizontal positions of the columns for a printable width W (design units): the eight
// separators (after the title, after the number, after the name, before the set value, the
// low limit, the high limit, the unit, the changed mark) and the header item positions.
struct ParamColumns {
    int width = 0;
    std::array<int, 8> separators{};
    int typeFormLeft = 0;
    int dateLeft = 0;
    int timeLeft = 0;
    int pageNumberLeft = 0;
};
ParamColumns paramColumns(int printableWidth);

// "Half" as the layout means it: integer division by 2, truncating toward zero.
inline int half(int v) {
    return v / 2;
}
// The left edge of a label `width` wide centred in [a, b].
inline int centredLeft(int a, int b, int width) {
    return half(a + b) - half(width);
}

// The pages' bands. Column positions follow paramColumns(), except that the value columns
// widen at the name column's expense when their longest values would otherwise print at an
// unreadable size. The value labels are as wide as the sample "00000.00" (the unit "0000000"),
// or the column's widest value when that is wider, centred in their column, and values end at
// the right edge of that label. A longer value stays between its column's separators. A name
// wraps inside its column and its row grows to hold it, so that no text leaves its row.
ReportDocument layoutParamReport(const ParamReportData& data, const PageSetup& setup,
                                 const ParamReportFaces& faces);

} // namespace report
