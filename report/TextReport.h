#pragma once
// Lines of plain text as a report (the communication results): one detail band per line on
// A4 portrait inside 10 mm margins; a line longer than the page is wide wraps at its words.
#include "report/BandReport.h"

#include <QStringList>

namespace report {

ReportDocument layoutTextReport(const QString& title, const QStringList& lines, const FontSpec& font);

} // namespace report
