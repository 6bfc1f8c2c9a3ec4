#pragma once
// How wide the parameter table's columns must be for their texts in the font in use, and
// how a text is drawn where its cell is narrower than that: a number is shown whole or
// visibly cut short ("…"), never as a shorter number.
#include "table/ParameterTable.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <array>

class QHeaderView;

namespace TableColumnFit {

// Room a cell keeps beside its text: its grid line and a pixel on either side.
constexpr int kCellRoom = 3;

// The width each column needs: the widest text of its data rows (values and limits read
// together in the value column, so that any value within the limits fits too; the value
// column measured bold, as a value typed and not yet sent is drawn), the header's own size
// hint where a header is given.
std::array<int, TC_Count> neededWidths(const TextGrid& grid, const QFont& font, const QHeaderView* header);

// The text to draw in a cell `room` pixels wide: as it stands when it fits, without its
// leading and trailing blanks when that fits, else cut short with "…".
QString fittedText(const QFontMetrics& metrics, const QString& text, int room);

} // namespace TableColumnFit
