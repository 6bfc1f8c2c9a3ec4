#pragma once
// The printed page of a monitor run: drive type and form, date, time and comment; the chart
// as a picture; the time base, scope and trigger settings; and a table with one row per
// channel (number, on or off, item, multiplier, offset, least and greatest value, first and
// last value), each row in the colour of its curve.
//
// The page is always A4 portrait: the page set-up gives it margins, row height, font and the
// header items, not paper or orientation. Laid out without a window from plain texts, so
// that whoever holds the monitor's state only has to fill MonitorReportData.
#include "report/BandReport.h"
#include "report/PageSetup.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <array>
#include <functional>
#include <vector>

namespace report {

enum MonitorColumn {
    MC_Channel = 0,
    MC_State,
    MC_Item,
    MC_Multiplier,
    MC_Offset,
    MC_Minimum,
    MC_Maximum,
    MC_First,
    MC_Last,
    MC_Count
};
using MonitorRowTexts = std::array<QString, MC_Count>;

// What a value column prints when there is no value.
inline const QString kNoValue = QStringLiteral("-");

struct MonitorReportRow {
    MonitorRowTexts texts; // "ON"/"OFF" in MC_State, kNoValue where there is no value
    QColor color = Qt::black;
};

// The report's own captions (language file) and those of the monitor window it repeats.
struct MonitorReportCaptions {
    MonitorRowTexts columns{"CH",   "Monitor", "Title", "Multi.", "Offset",
                            "Min.", "Max.",    "Start", "Stop"}; // "PrintMon" Label2..9
    QString time = QStringLiteral("Time");                       // "Monitor" Label22
    QString timeUnit = QStringLiteral("(s/div)");                // "Monitor" Label23
    QString scope = QStringLiteral("Zoom");                      // "Monitor" Label24
    QString scopeUnit = QStringLiteral("(%)");                   // after the scope value
    QString triggerSource = QStringLiteral("Trigger Source");    // "Monitor" Label81
    QString triggerLevel = QStringLiteral("Trigger Level");      // "Monitor" Label83
    QString triggerSlope = QStringLiteral("Trigger Slope");      // "Monitor" Label82
    QString triggerDelay = QStringLiteral("Trigger Delay");      // "Monitor" Label84
};

// A time base (seconds per division of five samples) as the window shows it, with its value.
struct TimeBaseText {
    QString text;       // as the chart's time label shows it
    double seconds = 0; // its value; 0 when the text is no number
};

// The monitor's settings at the time of printing, as its window shows them.
struct MonitorReportSettings {
    bool continuous = false;         // continuous recording (option "Continuous")
    TimeBaseText timeBase;           // of the last run
    TimeBaseText continuousTimeBase; // of continuous recording
    QString scope;                   // percent of the record in view, as typed
    int scopePosition = 100;         // the same as a number; 100 shows the whole record
    bool trigger = false;            // "Use Level Trigger"
    QString triggerSource;           // "CH1" .. "CH10"
    QString triggerLevel;
    QString triggerSlope; // "Up", "Down", "Both" (the language's)
    QString triggerDelay; // percent
};

// The time base text for a division of `samplesPerDivision` samples when the time base is
// given for five: unchanged for five (or a time base without a value), else scaled, with the
// decimal sign the text had. The chart's time label and the printed time line state it, so a
// thinned grid never reads as the finer one.
QString timeBaseOfDivision(const TimeBaseText& timeBase, double samplesPerDivision);

// The six lines under the chart: caption and value (": " and the setting) each.
struct MonitorSettingLine {
    QString caption;
    QString value;
};
std::array<MonitorSettingLine, 6> monitorSettingLines(const MonitorReportCaptions& captions,
                                                      const MonitorReportSettings& settings);

// The chart picture's frame as laid out on a page wide enough for it; a picture of another
// size is stretched into the frame.
inline constexpr int kChartPictureWidth = 709;
inline constexpr int kChartPictureHeight = 273;

// The chart drawn onto the page by the chart's own painting code, sharp at any resolution:
// `paint` draws it into a box of the given size in design units; `divisionSamples` tells how
// many samples one division of its grid spans in such a box, so that the time line states
// the drawn division.
struct ChartDrawing {
    std::function<void(QPainter&, const QSizeF&)> paint;
    QFont textFont; // and the texts it writes in it (ImageItem)
    QString texts;
    std::function<double(const QSizeF&)> divisionSamples;
};

struct MonitorReportData {
    QString title = QStringLiteral("KVR260X"); // language "Print"/"Title": the document's name
    QString typeForm;                          // drive type followed by its form
    MonitorReportCaptions captions;
    MonitorReportSettings settings;
    std::vector<MonitorReportRow> rows; // CH1 first
    QImage chart;                       // stretched into the frame when there is no drawing
    ChartDrawing drawing;               // preferred to the picture
    QDateTime printedAt;
};

// The separators of the table for a printable width W: the design positions scaled to W
// (truncated).
std::array<int, 8> monitorColumnSeparators(int printableWidth);

// The page: A4 portrait, the page set-up's margins (fractions kept), row height, font size
// and face (`face`, the one that really prints) and header items.
ReportDocument layoutMonitorReport(const MonitorReportData& data, const PageSetup& setup,
                                   const QString& face);

} // namespace report
