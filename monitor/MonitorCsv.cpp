#include "monitor/MonitorCsv.h"

#include "monitor/ChannelValues.h"
#include "monitor/SampleStore.h"
#include "platform/TextFile.h"

namespace MonitorCsv {

QStringList lines(const MonitorCsvSetup& s, const SampleStore& store) {
    const QChar sep = s.decimalComma ? u';' : u',';
    // Every number of the file follows the one decimal rule, the multipliers included.
    auto decimal = [&](QString text) {
        if (s.decimalComma)
            text.replace(u'.', u',');
        return text;
    };
    QString items = s.itemCaption, multipliers = s.multiplierCaption, offsets = s.offsetCaption,
            headings = s.channelCaption;
    for (int c = 0; c < int(s.channels.size()); ++c) {
        const MonitorCsvChannel& ch = s.channels[c];
        items += sep + (ch.on && ch.itemEnabled ? ch.itemText : QStringLiteral("-"));
        multipliers += sep + decimal(QString::number(double(ch.multiplier), 'g', 7));
        offsets += sep + QString::number(ch.offset);
        headings += sep + QStringLiteral("(CH%1)").arg(c + 1);
    }
    QStringList out{s.typeName + s.formName,      items, multipliers, offsets, headings,
                    s.errorCaption + s.errorCount};
    for (int p = 0; p <= store.lastPoint(); ++p) {
        QString row = QString::number(store.sampleTime(p));
        for (int c = 0; c < int(s.channels.size()); ++c) {
            row += sep;
            const bool on = s.channels[c].on;
            if (s.decimalComma)
                row += on ? ChannelValues::sampleText(store.unscaled(c, p), true) : QStringLiteral("0");
            else
                row += on ? ChannelValues::sampleText(double(float(store.unscaled(c, p))), false)
                          : QStringLiteral("0.000000");
        }
        out << row;
    }
    return out;
}

bool write(const QString& path, const MonitorCsvSetup& setup, const SampleStore& store, QString* error,
           const TextFile::AcceptSubstitutes& accept) {
    return TextFile::writeEncoded(path, TextFile::encodeLines(lines(setup, store)), accept, error);
}

} // namespace MonitorCsv
