#pragma once
// The parameter table as a CSV file: one line per grid row, titles first, the cells exactly
// as the table shows them. The program never reads it back; spreadsheets do.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace CsvExport {

// ";" for a language that writes decimals with a comma, else ",".
QChar separatorFor(bool decimalComma);
// A cell as written: unchanged, unless it holds the separator, a double quote or a line
// break; then it is enclosed in double quotes with inner ones doubled.
QString cellText(const QString& cell, QChar separator);
// The file's bytes (UTF-8, no byte-order mark): rows joined by the separator, every line
// ending in CR LF.
QByteArray build(const QList<QStringList>& rows, bool decimalComma);
// Writes the file, replacing path only once it is complete; a failure shows
// "Cannot create file ..." and leaves an existing file as it was.
bool WriteParameterTableCsv(const QString& path, const QList<QStringList>& rows, bool decimalComma);

} // namespace CsvExport
