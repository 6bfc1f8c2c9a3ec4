#include "monitor/ContinuousRecorder.h"

#include "core/CsvExport.h"
#include "monitor/ChannelValues.h"
#include "monitor/SampleStore.h"
#include "platform/TextFile.h"

#include <algorithm>

namespace RecordingFile {

QString withCsvSuffix(const QString& fileName) {
    if (fileName.right(4).toUpper() == QLatin1String(".CSV"))
        return fileName;
    return fileName + QStringLiteral(".csv");
}

QByteArray header(const RecordingHeader& h, bool decimalComma) {
    const QChar sep = CsvExport::separatorFor(decimalComma);
    QString text = h.driveType + h.driveForm + QStringLiteral("\r\n");
    text += QString::number(h.minutes) + QStringLiteral("(min)\r\n");
    text += QString::number(h.secondsPerPoint) + QStringLiteral("(s/point)\r\n");
    text += CsvExport::cellText(h.timeCaption, sep);
    for (const QString& item : h.items)
        text += sep + (item.isEmpty() ? QStringLiteral("-") : CsvExport::cellText(item, sep));
    text += QStringLiteral("\r\n ");
    for (int i = 0; i < kMonitorChannels; ++i)
        text += sep + QStringLiteral("(CH%1)").arg(i + 1);
    text += QStringLiteral("\r\n");
    return TextFile::encode(text).bytes; // names of our own data: the language's page holds them
}

QByteArray row(quint32 elapsedMs, const ChannelArray& values, bool decimalComma) {
    QByteArray out = QByteArray::number(elapsedMs);
    out.reserve(160);
    for (double v : values) {
        out += decimalComma ? ';' : ',';
        out += ChannelValues::sampleText(v, decimalComma).toLatin1();
    }
    out += "\r\n";
    return out;
}

qint64 estimatedKilobytes(int minutes, int secondsPerPoint) {
    const qint64 step = qint64(std::max(secondsPerPoint, 1)) * 1000;
    const qint64 samples = qint64(std::max(minutes, 0)) * 60000 / step;
    RecordingHeader h;
    h.minutes = minutes;
    h.secondsPerPoint = secondsPerPoint;
    // Without the time's digits, which grow along the recording.
    const qint64 rowBytes = row(0, ChannelArray{}, false).size() - 1;
    qint64 bytes = header(h, false).size() + samples * rowBytes;
    for (qint64 k = 0; k < samples; ++k)
        bytes += QByteArray::number(k * step).size();
    return std::max<qint64>(1, (bytes + 500) / 1000);
}

} // namespace RecordingFile

ContinuousRecorder::ContinuousRecorder(SampleStore& store, int stepFactor, bool decimalComma)
    : store_(store), step_(std::max(stepFactor, 1)), decimalComma_(decimalComma) {}

bool ContinuousRecorder::create(const QString& path, const RecordingHeader& h, QString* error) {
    path_ = path;
    return TextFile::writeBytes(path, RecordingFile::header(h, decimalComma_), error, &writeError_);
}

bool ContinuousRecorder::write(quint32 elapsedMs, const ChannelArray& values) const {
    if (!TextFile::appendBytes(path_, RecordingFile::row(elapsedMs, values, decimalComma_), nullptr,
                               &writeError_))
        return false;
    ++rows_;
    return true;
}

bool ContinuousRecorder::diskFull() const {
    return TextFile::isDiskFull(writeError_);
}

int ContinuousRecorder::plot(quint32 elapsedMs, const ChannelArray& values,
                             const std::array<bool, kMonitorChannels>& recorded,
                             const std::array<bool, kMonitorChannels>& gap) {
    ChannelArray mean{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!recorded[i])
            continue;
        mean[i] = (values[i] + previous_[i]) * 0.5;
        previous_[i] = values[i];
    }
    if (count_ < step_) {
        ++count_;
        return -1;
    }
    count_ = 1;
    if (chartFull_)
        return -1;
    const int p = store_.appendSample(elapsedMs);
    if (p < 0) {
        chartFull_ = true;
        return -1;
    }
    for (int i = 0; i < kMonitorChannels; ++i) {
        if (recorded[std::size_t(i)] && !gap[std::size_t(i)])
            store_.setValue(i, p, mean[std::size_t(i)]);
    }
    return p;
}
