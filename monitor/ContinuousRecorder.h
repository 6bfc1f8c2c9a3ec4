#pragma once
// A continuous recording: every sample becomes one row of a CSV file, and every k-th sample
// (as the mean of it and the sample before it) a point of the chart. The file is created with
// its five header lines and then takes one row per sample, appended and closed at once, so it
// is complete up to the last sample whenever the recording ends. The chart's store holds what
// it can; when it is full the chart stops taking points and the file keeps the rest, so a
// recording of a day runs at flat memory.
//
// Rows end in CR LF. Without a decimal comma: "t,v1,...,v10" with six decimals and a point;
// with one: "t;v1;...;v10", each value with at most 15 significant digits and a comma.
#include "monitor/MonitorModel.h"

#include <QByteArray>
#include <QString>
#include <array>

class SampleStore;

struct RecordingHeader {
    QString driveType, driveForm;
    int minutes = 120;
    int secondsPerPoint = 10;
    QString timeCaption = QStringLiteral("Time(ms)");
    // The item of each recorded channel; empty for one that is not recorded ("-").
    std::array<QString, kMonitorChannels> items;
};

using ChannelArray = std::array<double, kMonitorChannels>;

namespace RecordingFile {

// The name with ".csv" appended unless it already ends so (in any case).
QString withCsvSuffix(const QString& fileName);
QByteArray header(const RecordingHeader& h, bool decimalComma);
QByteArray row(quint32 elapsedMs, const ChannelArray& values, bool decimalComma);
// The size of a recording of `minutes` at `secondsPerPoint` in whole kilobytes (at least 1):
// the header and one row a sample, each row as long as one without a decimal comma whose
// values are all 0 and whose time is the sample's.
qint64 estimatedKilobytes(int minutes, int secondsPerPoint);

} // namespace RecordingFile

class ContinuousRecorder {
public:
    // stepFactor: every stepFactor-th sample is plotted (at least 1).
    ContinuousRecorder(SampleStore& store, int stepFactor, bool decimalComma);

    // Creates (or replaces) the file with the header; false, with the reason in error, when it
    // cannot be written.
    bool create(const QString& path, const RecordingHeader& h, QString* error = nullptr);
    // Appends the row of one sample, whole or not at all; false when the file cannot take it.
    bool write(quint32 elapsedMs, const ChannelArray& values) const;
    // The last failed write (or create) failed for a full disk.
    bool diskFull() const;

    // The value a channel had at the sample before (0 before the first).
    double previous(int channel) const { return previous_[std::size_t(channel)]; }
    // One sample of the recorded channels (`recorded`; the others hold 0): the means are
    // plotted when it is this sample's turn, at the next index of the store, except for the
    // channels in `gap` (a reading that was no number). Returns the index plotted, -1 when
    // this sample was not plotted or the store is full.
    int plot(quint32 elapsedMs, const ChannelArray& values,
             const std::array<bool, kMonitorChannels>& recorded,
             const std::array<bool, kMonitorChannels>& gap);

    const QString& path() const { return path_; }
    bool chartFull() const { return chartFull_; }
    qint64 rowsWritten() const { return rows_; }

private:
    SampleStore& store_;
    int step_;
    bool decimalComma_;
    QString path_;
    ChannelArray previous_{};
    int count_ = 1;
    bool chartFull_ = false;
    mutable qint64 rows_ = 0;
    mutable int writeError_ = 0;
};
