#include "core/CsvExport.h"

#include "core/ParaFile.h"
#include "platform/TextFile.h"

namespace CsvExport {

QChar separatorFor(bool decimalComma) {
    return decimalComma ? u';' : u',';
}

QString cellText(const QString& cell, QChar separator) {
    if (!cell.contains(separator) && !cell.contains(u'"') && !cell.contains(u'\r') && !cell.contains(u'\n'))
        return cell;
    QString quoted = cell;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

TextFile::Encoded build(const QList<QStringList>& rows, bool decimalComma) {
    const QChar sep = separatorFor(decimalComma);
    QString text;
    text.reserve(rows.size() * 80);
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c)
                text += sep;
            text += cellText(row.at(c), sep);
        }
        text += QLatin1String("\r\n");
    }
    return TextFile::encode(text);
}

bool WriteParameterTableCsv(const ProgramContext& context, const QString& path,
                            const QList<QStringList>& rows, bool decimalComma, Asker& asker,
                            const TextFile::AcceptSubstitutes& accept) {
    return ParaFile::writeForOthers(context, path, build(rows, decimalComma), accept, asker);
}

} // namespace CsvExport
