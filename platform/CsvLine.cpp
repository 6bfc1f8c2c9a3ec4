#include "platform/CsvLine.h"

namespace {

void split(const QString& line, QStringList& fields, QChar doubledQuote) {
    fields.clear();
    fields.reserve(18);
    const QStringView view(line);
    QString field;
    bool quoted = false;
    qsizetype plainFrom = 0; // start of the characters not yet copied into field
    const qsizetype n = line.size();
    // QString holds UTF-16: a character outside the basic plane is a surrogate pair, and
    // neither half can be taken for a comma or a quote, so no character is ever split.
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('"')) {
            field += view.mid(plainFrom, i - plainFrom);
            if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
                field += doubledQuote;
                ++i;
            } else {
                quoted = !quoted;
            }
            plainFrom = i + 1;
        } else if (c == QLatin1Char(',') && !quoted) {
            if (field.isEmpty()) {
                fields << line.mid(plainFrom, i - plainFrom);
            } else {
                field += view.mid(plainFrom, i - plainFrom);
                fields << field;
                field.clear();
            }
            plainFrom = i + 1;
        }
    }
    if (field.isEmpty()) {
        fields << line.mid(plainFrom);
    } else {
        field += view.mid(plainFrom);
        fields << field;
    }
}

} // namespace

void SplitCsvLine(const QString& line, QStringList& fields) {
    split(line, fields, QLatin1Char('"'));
}

void SplitDriveDataLine(const QString& line, QStringList& fields) {
    split(line, fields, QLatin1Char('\''));
}
