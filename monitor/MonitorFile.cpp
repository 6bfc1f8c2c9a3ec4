#include "monitor/MonitorFile.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "monitor/ChannelValues.h"
#include "monitor/SampleStore.h"
#include "monitor/SampleWindow.h"
#include "platform/BoxText.h"
#include "platform/CsvLine.h"
#include "platform/TextFile.h"

#include <QFile>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>

namespace {

const QString kMarker = QStringLiteral("###");
constexpr int kFirstDataLine = 16;      // current form: "Data1"
constexpr int kOlderFirstDataLine = 3;  // older form: the item line
constexpr int kOlderLastDataLine = 501; // older form: 4 set-up lines and 495 samples

QString onOff(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// Line n (from 1) of the file; a line past its end reads as empty.
QString lineAt(const QStringList& lines, int n) {
    return n >= 1 && n <= lines.size() ? lines[n - 1] : QString();
}

// Field k of a split line; a field past its end reads as empty.
QString fieldAt(const QStringList& fields, int k) {
    return k >= 0 && k < fields.size() ? fields[k] : QString();
}

// A whole number as the file holds it; blanks around it are allowed.
std::optional<qint64> wholeNumber(const QString& text) {
    qint64 v = 0;
    if (!ValueRules::parseInteger(text, v))
        return std::nullopt;
    return v;
}

// A sample value: a decimal point or a decimal comma, whatever the locale; it must fit the
// 32-bit float the value is held as.
std::optional<double> sampleValue(const QString& text) {
    QString t = text.trimmed();
    const qsizetype comma = t.indexOf(u',');
    if (comma >= 0)
        t[comma] = u'.';
    double v = 0;
    if (!ValueRules::parseNumber(t, v) || std::fabs(v) > double(FLT_MAX))
        return std::nullopt;
    return double(float(v));
}

// The parts of the reader that show boxes.
class Reader {
public:
    Reader(const ProgramContext& context, Asker& asker) : context_(context), asker_(asker) {}

    QString msg(MsgId id) const { return Msg(context_, id); }

    void conversionError(const QString& text, bool floatingPoint) const {
        const QString what = floatingPoint ? QStringLiteral("floating point") : QStringLiteral("integer");
        asker_.ask({QStringLiteral("'%1' is not a valid %2 value.").arg(BoxText::quoted(text), what),
                    QString::fromLatin1(kProductName), BoxIcon::Error, BoxButtons::Ok});
    }

    // A whole number, or the conversion box and nothing.
    std::optional<qint64> integer(const QString& text) const {
        const auto v = wholeNumber(text);
        if (!v)
            conversionError(text, false);
        return v;
    }

    bool typeMatches(const QString& type, const QString& identity) const {
        if (type == context_.drive.identity.typeName)
            return true;
        asker_.ask({msg(MsgId::FileTypeDiffers) + u'\n' + identity + msg(MsgId::FileDriveNotReadable),
                    context_.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
        return false;
    }

    bool cpuAccepted(const QString& cpu, const QString& identity) const {
        if (cpu == context_.drive.identity.cpuVersion)
            return true;
        return asker_.ask(
                   {msg(MsgId::FileCpuDiffers) + QStringLiteral("\n* ") + identity + msg(MsgId::FileDriveIs),
                    context_.texts.caption, BoxIcon::Warning, BoxButtons::OkCancel}) == BoxAnswer::Ok;
    }

private:
    const ProgramContext& context_;
    Asker& asker_;
};

// Lines from `first` (1-based) up to the first empty line, the end of the file or `last`.
QStringList dataLines(const QStringList& lines, int first, int last) {
    QStringList out;
    for (int n = first; n <= std::min<qsizetype>(last, lines.size()); ++n) {
        if (lines[n - 1].isEmpty())
            break;
        out << lines[n - 1];
    }
    return out;
}

std::vector<QStringList> splitAll(const QStringList& lines) {
    std::vector<QStringList> out(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        SplitCsvLine(lines[i], out[i]);
    return out;
}

// The set-up fields of one channel from its column of the four set-up lines (field
// `column`); false after a conversion box. `fixedStep` keeps the multiplier step given.
bool readChannel(const Reader& reader, const std::vector<QStringList>& rows, int column, int itemCount,
                 ChannelSetup& ch, bool readStep) {
    const QString item = fieldAt(rows.size() > 0 ? rows[0] : QStringList(), column).trimmed();
    if (item.isEmpty()) {
        ch.itemIndex = 0;
    } else {
        const auto v = reader.integer(item);
        if (!v)
            return false;
        // An index the item list does not have selects its first item.
        ch.itemIndex = (*v < 0 || (itemCount > 0 && *v >= itemCount)) ? 0 : int(*v);
    }
    if (readStep) {
        const QString step = fieldAt(rows.size() > 1 ? rows[1] : QStringList(), column).trimmed();
        if (step.isEmpty()) {
            ch.multiplierStep = 10;
        } else {
            const auto v = reader.integer(step);
            if (!v)
                return false;
            ch.multiplierStep = int(std::clamp<qint64>(*v, 1, 100));
        }
    }
    const QString offset = fieldAt(rows.size() > 2 ? rows[2] : QStringList(), column).trimmed();
    ch.offset = offset.isEmpty() ? QStringLiteral("0") : offset;
    const QString on = fieldAt(rows.size() > 3 ? rows[3] : QStringList(), column);
    if (on == QLatin1String("0")) {
        ch.on = false;
    } else {
        const auto v = reader.integer(on);
        if (!v)
            return false;
        ch.on = *v != 0;
    }
    return true;
}

} // namespace

QString ChannelSetup::multiplierText() const {
    return ValueRules::fixedText(multiplierStep / 10.0, 1);
}

namespace MonitorFile {

QStringList lines(const MonitorFileHeader& h, const SampleStore& store) {
    QStringList out{kMarker,
                    h.typeName,
                    h.formName,
                    h.cpuVersion,
                    onOff(h.alarmWord),
                    onOff(h.tripCode),
                    onOff(h.tripData),
                    h.yMaximum,
                    h.timeBase,
                    QString::number(h.triggerChannel),
                    QString::number(h.triggerSlope),
                    h.triggerLevel,
                    h.triggerDelay,
                    onOff(h.triggerOn),
                    QString::number(h.errorCount)};
    QString items = QStringLiteral("Data1"), steps = QStringLiteral("Data2"),
            offsets = QStringLiteral("Data3"), ons = QStringLiteral("Data4");
    for (const ChannelSetup& ch : h.channels) {
        items += u',' + QString::number(ch.itemIndex);
        steps += u',' + QString::number(ch.multiplierStep);
        offsets += u',' + ch.offset;
        ons += u',' + onOff(ch.on);
    }
    out << items << steps << offsets << ons;
    const QString off = QStringLiteral("0.000000");
    for (int p = 0; p <= store.lastPoint(); ++p) {
        QString row = QString::number(store.sampleTime(p));
        for (int c = 0; c < SampleStore::kChannels; ++c) {
            row += u',';
            row += h.channels[c].on ? ChannelValues::sampleText(double(float(store.unscaled(c, p))), false)
                                    : off;
        }
        out << row;
    }
    return out;
}

bool write(const QString& path, const MonitorFileHeader& header, const SampleStore& store, QString* error,
           const TextFile::AcceptSubstitutes& accept) {
    return TextFile::writeEncoded(path, TextFile::encodeLines(lines(header, store)), accept, error);
}

bool lastLineEnded(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() == 0 || !f.seek(f.size() - 1))
        return true;
    char c = 0;
    return f.getChar(&c) && (c == '\n' || c == '\r');
}

ReadResult read(const QStringList& file, const ProgramContext& context, int itemCount, Asker& asker,
                MonitorFileHeader& header, SampleStore& store, bool lastLineEnded) {
    const Reader reader(context, asker);
    ReadResult result;
    MonitorFileHeader h = header;
    QStringList data;

    if (lineAt(file, 1) == kMarker) {
        result.form = Form::Current;
        h.typeName = lineAt(file, 2);
        h.formName = lineAt(file, 3);
        h.cpuVersion = lineAt(file, 4);
        const QString identity =
            h.typeName + h.formName + QStringLiteral(" (") + h.cpuVersion + QStringLiteral(") ");
        if (!reader.typeMatches(h.typeName, identity) || !reader.cpuAccepted(h.cpuVersion, identity))
            return result;

        bool* const flags[] = {&h.alarmWord, &h.tripCode, &h.tripData};
        for (int n = 5; n <= 7; ++n) {
            const auto v = reader.integer(lineAt(file, n));
            if (!v)
                return result;
            *flags[n - 5] = *v != 0;
        }
        h.yMaximum = lineAt(file, 8);
        h.timeBase = lineAt(file, 9);
        const auto channel = reader.integer(lineAt(file, 10));
        if (!channel)
            return result;
        h.triggerChannel = (*channel < 0 || *channel > 9) ? 0 : int(*channel);
        const auto slope = reader.integer(lineAt(file, 11));
        if (!slope)
            return result;
        h.triggerSlope = (*slope < 0 || *slope > 2) ? 0 : int(*slope);
        h.triggerLevel = lineAt(file, 12);
        h.triggerDelay = lineAt(file, 13);
        const auto trigger = reader.integer(lineAt(file, 14));
        if (!trigger)
            return result;
        h.triggerOn = *trigger != 0;

        data = dataLines(file, kFirstDataLine, int(file.size()));
        const std::vector<QStringList> setup = splitAll(data.mid(0, 4));
        for (int c = 0; c < SampleStore::kChannels; ++c)
            if (!readChannel(reader, setup, c + 1, itemCount, h.channels[c], true))
                return result;

        const auto errors = reader.integer(lineAt(file, 15));
        if (!errors)
            return result;
        h.errorCount = int(
            std::clamp<qint64>(*errors, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
        h.timeBasePosition = -1;
    } else {
        result.form = Form::Older;
        result.channels = kOlderChannels;
        h.typeName = lineAt(file, 1);
        h.formName = lineAt(file, 2);
        if (!reader.typeMatches(h.typeName, h.typeName + h.formName + u' '))
            return result;

        data = dataLines(file, kOlderFirstDataLine, kOlderLastDataLine);
        const std::vector<QStringList> setup = splitAll(data.mid(0, 4));
        auto setupField = [&](int row, int column) {
            return fieldAt(row < int(setup.size()) ? setup[row] : QStringList(), column);
        };
        // The older form's CH1 has no multiplier: its field holds the Y maximum.
        h.channels[0].multiplierStep = 10;
        for (int c = 0; c < kOlderChannels; ++c)
            if (!readChannel(reader, setup, c + 1, itemCount, h.channels[c], c > 0))
                return result;
        h.yMaximum = setupField(1, 1);
        const auto position = reader.integer(setupField(3, 0));
        if (!position)
            return result;
        h.timeBasePosition = int(std::clamp<qint64>(*position, 0, std::numeric_limits<int>::max()));
    }

    // A last row the file ends in the middle of is no sample.
    const int firstLine = result.form == Form::Current ? kFirstDataLine : kOlderFirstDataLine;
    if (!lastLineEnded && data.size() > 4 && firstLine + data.size() - 1 == file.size()) {
        data.removeLast();
        result.lastRowIncomplete = true;
    }

    // The set-up is accepted: from here the samples replace the store's.
    header = h;
    result.outcome = ReadResult::Outcome::Read;
    store.clear();
    const int channels = result.channels;
    QStringList fields;
    double values[SampleStore::kChannels] = {};
    for (qsizetype r = 4; r < data.size(); ++r) {
        SplitCsvLine(data[r], fields);
        const QString timeText = fieldAt(fields, 0);
        if (timeText.isEmpty())
            break;
        if (store.size() >= store.capacity()) {
            // Counted as the loop would have read them: up to a row without a time.
            for (qsizetype rest = r; rest < data.size(); ++rest, ++result.rowsLeftOut) {
                SplitCsvLine(data[rest], fields);
                if (fieldAt(fields, 0).isEmpty())
                    break;
            }
            break;
        }
        const auto time = wholeNumber(timeText);
        if (!time || *time < 0 || *time > qint64(std::numeric_limits<quint32>::max())) {
            reader.conversionError(timeText, false);
            result.outcome = ReadResult::Outcome::ReadPartly;
            break;
        }
        bool rowOk = true;
        for (int c = 0; c < channels && rowOk; ++c) {
            if (!h.channels[c].on)
                continue;
            const QString text = fieldAt(fields, c + 1);
            const auto v = sampleValue(text);
            if (!v) {
                reader.conversionError(text, true);
                rowOk = false;
                break;
            }
            values[c] = *v;
        }
        // A row with a bad value is left out as a whole, so every sample held is complete.
        if (!rowOk) {
            result.outcome = ReadResult::Outcome::ReadPartly;
            break;
        }
        const int p = store.appendSample(quint32(*time));
        for (int c = 0; c < channels; ++c)
            if (h.channels[c].on)
                store.setValue(c, p, values[c]);
    }
    return result;
}

void showWholeRecord(SampleWindow& window, const SampleStore& store, int scrollingChannel) {
    window.reset();
    window.startRun();
    if (scrollingChannel >= 0 && scrollingChannel < SampleStore::kChannels) {
        for (int p = 0; p <= store.lastPoint(); ++p)
            if (store.hasPoint(scrollingChannel, p))
                window.pointAdded(store.position(p), store.position(p));
    }
    window.finishRun();
}

int saveFilterIndex(const QString& lastFileName, bool picturesOnly) {
    const QString ext = lastFileName.right(4).toUpper();
    if (picturesOnly)
        return ext == QLatin1String(".WMF") ? 3 : ext == QLatin1String(".JPG") ? 2 : 1;
    if (ext == QLatin1String(".WMF"))
        return 5;
    if (ext == QLatin1String(".JPG"))
        return 4;
    if (ext == QLatin1String(".BMP"))
        return 3;
    if (ext == QLatin1String(".CSV"))
        return 2;
    return 1;
}

QString nameWithExtension(const QString& name, int filterIndex, bool picturesOnly) {
    const QString ext = name.right(4).toUpper();
    QStringList known = {QStringLiteral(".WMF"), QStringLiteral(".JPG"), QStringLiteral(".BMP")};
    if (!picturesOnly)
        known << QStringLiteral(".CSV") << QStringLiteral(".MON");
    if (known.contains(ext))
        return name;
    if (picturesOnly) {
        static const char* const pictures[] = {".bmp", ".bmp", ".jpg", ".wmf"};
        return name + QLatin1String(filterIndex >= 1 && filterIndex <= 3 ? pictures[filterIndex] : ".bmp");
    }
    static const char* const data[] = {".mon", ".mon", ".csv", ".bmp", ".jpg", ".wmf"};
    return name + QLatin1String(filterIndex >= 1 && filterIndex <= 5 ? data[filterIndex] : ".mon");
}

SaveKind saveKindOf(const QString& name) {
    const QString ext = name.right(4).toUpper();
    if (ext == QLatin1String(".WMF"))
        return SaveKind::Wmf;
    if (ext == QLatin1String(".JPG"))
        return SaveKind::Jpeg;
    if (ext == QLatin1String(".BMP"))
        return SaveKind::Bmp;
    if (ext == QLatin1String(".CSV"))
        return SaveKind::Csv;
    return SaveKind::Monitor;
}

} // namespace MonitorFile
