#pragma once
// The page set-up record: which header items print, the comment, the shipment column, the
// value colour, paper, orientation, margins, row height and font. It is kept in the settings
// section "Page" (the comment is not: it travels with the parameter files). The checks of
// its entries live here too, so that the window only shows their messages.
#include "report/BandReport.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <optional>

class IniFile;

namespace report {

inline constexpr const char* kPageSection = "Page";
inline constexpr int kNoFontChosen = 10000; // "PSet2" above 9999: no face chosen yet
inline constexpr int kCommentMaxLength = 90;

// The paper-size list ("A3" ... "B5") and the font-size list ("5" ... "22"), in list order.
const QStringList& paperNames();
const QStringList& fontSizeNames();
// Paper of a list position; A4 for a position outside the list.
Paper paperAt(int position);
// The platform's paper code of a list position ("8" A3, "9" A4, "11" A5, "12" B4, "13" B5;
// "9" outside the list).
QString paperCode(int position);

struct PageSetup {
    bool printDate = true;                       // "Item1"
    bool printTime = false;                      // "Item2"
    bool printTypeForm = true;                   // "Item3"
    bool printPageNumber = true;                 // "Item4"
    bool printComment = false;                   // "Item5"
    bool printShipment = false;                  // "Item6"
    int valueColor = 0;                          // "ValCol": 0x00BBGGRR, negative for a system colour
    bool portrait = true;                        // "PSet1"
    QString face;                                // "PSet2", stored as its position in the machine's font list
    int paperPosition = 1;                       // "PSet3"
    QString topMargin = QStringLiteral("10");    // "PSetT", millimetres
    QString bottomMargin = QStringLiteral("10"); // "PSetB"
    QString leftMargin = QStringLiteral("10");   // "PSetL"
    QString rightMargin = QStringLiteral("10");  // "PSetR"
    QString cellHeight = QStringLiteral("15");   // "PSet4", design units
    QString fontSize = QStringLiteral("8");      // "PSet5", stored as its position in fontSizeNames()
    QString comment;                             // not stored: it comes with the parameter file

    // Reads the section; a missing key keeps its default. `families` is the machine's font
    // list, in which "PSet2" is a position; a position outside it leaves no face, and a
    // value above 9999 selects defaultFace(languageName, families).
    void read(const IniFile& ini, const QStringList& families, const QString& languageName);
    // Writes every key, in the order the section has always had.
    void write(IniFile& ini, const QStringList& families) const;

    // The paper, orientation and margins (a margin that is no number counts as 0).
    PageFormat pageFormat() const;
    // Cell height as a whole number, 15 when it is none.
    int cellHeightValue() const;
    // Font size in points, 8 when the text is no whole number.
    int fontPoints() const;
};

// The colour of a stored "ValCol". A system colour (negative) prints as black text.
QColor colorFromColorRef(int value);
int colorRefFromColor(const QColor& color);

// The face to select when none was chosen: "Arial", or MS Gothic for the language
// "Japanese"; when the machine lacks it, the face it substitutes, when that is listed, else
// the application's own face. Empty when none of them is in `families`.
QString defaultFace(const QString& languageName, const QStringList& families);
// The face a report prints with for the page set-up's face: the one the machine uses for it,
// or the application's face when none is chosen.
QString printedFace(const QString& setupFace);
// The position to store for a typed font size: its list position, else that of the nearest
// entry (the lower one on a tie); -1 for a text that is no whole number.
int fontSizePositionFor(const QString& text);

// ---- Entry checks ------------------------------------------------------------------------
// What a check found wrong; the window shows the language file's message of that name.
enum class EntryFault {
    DataIncorrect, // empty or no number
    OutOfRange,
    SelectPaperSize,
    SelectFont,
};
// The outcome of one check: no fault when it passed, else the fault and, for OutOfRange, the
// limit text to put back.
struct EntryCheck {
    std::optional<EntryFault> fault;
    QString replacement;
    bool passed() const { return !fault; }
};

// Margins: any number from 0 to 30, fractions included.
EntryCheck checkMargin(const QString& text);
// Cell height: a whole number from 10 to 30.
EntryCheck checkCellHeight(const QString& text);
// Font size: a whole number from 5 to 22, also one the list lacks.
EntryCheck checkFontSize(const QString& text);
EntryCheck checkPaper(const QString& text);
EntryCheck checkFace(const QString& text, const QStringList& families);
// Zoom of the preview: a whole number from 2 to 999; a text that is none counts as
// `lastZoom`.
EntryCheck checkZoom(const QString& text, int lastZoom);
// The zoom a text asks for: the whole number, else lastZoom.
int zoomOf(const QString& text, int lastZoom);

// A number as the margin edits take it (C locale, blanks around ignored); false for
// anything else.
bool parseDecimal(const QString& text, double& value);

} // namespace report
