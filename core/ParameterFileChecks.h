#pragma once
// Guards around loading a parameter set from a file (the own format and the configuration
// file): the file is read within bounds no real set reaches, and values outside their
// parameter's limits are shown to the user before an export could send them.
#include "core/Asker.h"
#include "platform/TextFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct ProgramContext;

namespace ParameterFileChecks {

// A full set of 2,000 parameters is some 40 KB in either format and its longest line under
// a kilobyte; far above that a file is damaged or no parameter file.
inline constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
inline constexpr qsizetype kMaxLineBytes = 8 * 1024;
TextFile::ReadBounds bounds();

// The refusal of a file beyond the bounds, quoting nothing of its contents: FileTooLarge or
// LineTooLong, and the file's path.
QString refusalText(const ProgramContext& context, const QString& path, const TextFile::ReadProblem& problem);
// Reads the file's lines within the bounds; a failure returns the box to show (its refusal or
// "Cannot open file ...") before anything of the file reaches a parser; nothing when read.
// lineBytes as TextFile::readLines gives them.
std::optional<Notice> readLines(const ProgramContext& context, const QString& path, QStringList& lines,
                                QList<QByteArray>* lineBytes = nullptr);

struct OutOfLimit {
    int index = -1;
    QString comNo;
    QString value;  // the Value cell as read
    double raw = 0; // and as a number
    double low = 0;
    double high = 0;
};
// The parameters among `indices` whose Value lies outside the limits the value rules give
// it. A parameter whose value or limits cannot be read as numbers is not listed.
QList<OutOfLimit> findOutOfLimits(const ProgramContext& context, const QList<int>& indices);
// The box listing them (ValuesOutsideLimits, one line each as the table shows the values, at most
// kListedValues lines and then a count of the rest).
inline constexpr int kListedValues = 20;
QString outOfLimitText(const ProgramContext& context, const QList<OutOfLimit>& found);
// Marks every value read from a file that lies outside its limits as changed and returns the
// one warning box listing them; nothing when there are none.
std::optional<Notice> markOutOfLimits(const ProgramContext& context, const QList<int>& indices);

} // namespace ParameterFileChecks
