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
    quint32 elapsedMs = 0; // the point's sample time, as the files keep it
    bool decimalComma = false;
};

// Seven lines joined by line feeds; the last ends in " (s) ". The time is the sample's own
// time in seconds with one decimal: a sample taken late after a stall reads its real time,
// as the CSV and the monitor file give it.
QString chartReadoutText(const ReadoutCaptions& captions, const ReadoutPoint& point);

// The seconds of a time base as the time label shows it, with either decimal sign; 0 when it
// is not a number.
double timeBaseSeconds(const QString& text);
