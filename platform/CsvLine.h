#pragma once
#include <QString>
#include <QStringList>

// Splits one line at "," into fields (the list is replaced): double quotes group a field
// and are not copied, a pair of double quotes adds one double quote (inside or outside
// quotes), blanks stay where they stand. An empty line gives one empty field. Callers that
// read numbers trim the fields themselves.
void SplitCsvLine(const QString& line, QStringList& fields);
// The same split as the drive-type and capacity files use it: a pair of double quotes
// adds an apostrophe instead.
void SplitDriveDataLine(const QString& line, QStringList& fields);
