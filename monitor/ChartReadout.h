#pragma once
// The text of the box a click on a curve shows: the channel and its item, the value of the
// clicked point with the channel's multiplier and offset, and the time of the point after
// the start of the run.
#include <QString>

struct ReadoutCaptions {
    QString value = QStringLiteral("Value");            // language key "Label12"
    QString multiplier = QStringLiteral("Multi.");      // "Label62"
    QString offset = QStringLiteral("Offset");          // "Label63"
    QString passedTime = QStringLiteral("Passed Time"); // "LabelA"
};

struct ReadoutPoint {
    int channel = 0;   // 0 .. 9
    QString itemText;  // the channel's monitored item
    QString valueText; // the point's value as the channel's readout formats it
    float multiplier = 1.0f;
    int offset = 0;
    int index = 0;    // the point's sample index
    QString timeBase; // seconds per division as the chart's time label shows it
    bool decimalComma = false;
};

// Seven lines joined by line feeds; the last ends in " (s) ". The time is index x 0.2 x the
// time base (five samples per division) with one decimal; a time base that is not a number
// counts as 0.
QString chartReadoutText(const ReadoutCaptions& captions, const ReadoutPoint& point);
