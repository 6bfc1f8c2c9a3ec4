#pragma once
// The parameter table as a CSV file: one line per grid row, titles first, the cells exactly
// as the table shows them. The program never reads it back; spreadsheets do.
#include "core/ParaFile.h"

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
// The file in the code page (a spreadsheet reads it in the system's): rows joined by the
// separator, every line ending in CR LF.
TextFile::Encoded build(const QList<QStringList>& rows, bool decimalComma);
// Writes the file as ParaFile::writeForOthers does.
bool WriteParameterTableCsv(const ProgramContext& context, const QString& path,
                            const QList<QStringList>& rows, bool decimalComma, Asker& asker,
                            const TextFile::AcceptSubstitutes& accept = {});

} // namespace CsvExport
