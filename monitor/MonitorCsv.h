#pragma once
// The monitor's CSV export: the samples of the last run as a table for spreadsheets. Six
// header lines (drive type and form; item, multiplier and offset of each channel; the
// channel headings; the failed reads), then one row per sample: the time in milliseconds
// and each channel's value unscaled.
//
// With the decimal comma every field is separated by ";" and every number, the multipliers
// included, takes a comma; otherwise "," separates and numbers take a point.
#include "platform/TextFile.h"

#include <QString>
#include <QStringList>

#include <array>

class SampleStore;

struct MonitorCsvChannel {
    QString itemText;        // the item combo's text
    bool on = false;         // the channel's on/off box
    bool itemEnabled = true; // the item combo is enabled
    float multiplier = 1.0f; // the applied multiplier
    int offset = 0;          // the applied offset
};

struct MonitorCsvSetup {
    QString typeName, formName;
    // Language file, section "PrintMon": "Label3", "Label4", "Label5".
    QString itemCaption = QStringLiteral("Monitoring");
    QString multiplierCaption = QStringLiteral("Multi.");
    QString offsetCaption = QStringLiteral("Offset");
    QString channelCaption; // TimeMsColumn
    QString errorCaption;   // CommErrorCount
    QString errorCount = QStringLiteral("0");
    bool decimalComma = false;
    std::array<MonitorCsvChannel, 10> channels;
};

namespace MonitorCsv {

QStringList lines(const MonitorCsvSetup& setup, const SampleStore& store);
// Written in the code page with CR LF through a temporary file and a rename; accept as
// TextFile::writeEncoded asks it.
bool write(const QString& path, const MonitorCsvSetup& setup, const SampleStore& store,
           QString* error = nullptr, const TextFile::AcceptSubstitutes& accept = {});

} // namespace MonitorCsv
