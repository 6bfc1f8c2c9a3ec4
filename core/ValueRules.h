#pragma once
// The value rules: from a communication number to its parameter, from a raw drive value to
// the text shown and back, the limits, the default and the "changed" flag. Free functions
// over the data store and the counts of a program context, so that windows created before
// the parameter table can use them. Nothing here talks to the drive.
//
// Parameter index i addresses definition i of the loaded drive and working record i. An index
// outside 0..drive.lastIndex() reads as an empty definition and empty cells and is never written.
//
// Numbers are read and written in the C locale whatever the user's locale; conversion
// failures come back as a status (ok = false), never as an exception. The rules show no box:
// a rule that cannot be applied hands its message back (Failure) and the caller reports it.
#include "core/Messages.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

struct ProgramContext;
struct ConversionBases;

namespace ValueRules {

// What a rule could not do, for its caller to report in a warning box: the message. A rule
// sets it when it fails and leaves it alone otherwise.
using Failure = std::optional<MsgId>;

// ---- Number texts --------------------------------------------------------------------

// A decimal number: blanks around it allowed, optional sign, digits with at most one ".",
// optional exponent. "", "inf", "nan", hexadecimal and trailing garbage are refused.
bool parseNumber(const QString& text, double& value);
// A decimal integer (64-bit, so unsigned 32-bit values fit): blanks around it allowed,
// optional sign, digits only.
bool parseInteger(const QString& text, qint64& value);
// value rounded to `decimals` decimals, half away from zero on the shortest decimal form of
// the double (so 1.15 gives "1.2" and 12.5 gives "13"), right-aligned to at least `width`
// characters with blanks, "." as the decimal point. A zero result carries no minus sign.
QString fixedText(double value, int decimals, int width = 0);
// value with at most 15 significant digits, without trailing zeros ("12", "0.5", "1e+20").
QString floatText(double value);
// A raw value of a cell read tolerantly: an integer, or a decimal number cut toward zero
// (parameter files may hold "12.5"). False when the text is no number.
bool parseRawValue(const QString& text, qint64& value);

// ---- Look-ups ------------------------------------------------------------------------

// Parameter index of a whole four-character communication number; -1 when the text is
// not exactly such a number of the loaded drive type (so "" and "A0" give -1). O(1).
int IndexOfComNo(const ProgramContext& context, const QString& comNo);
// Raw value of a parameter. A number shorter than four characters is padded on the left
// with "0" ("12" finds "0012"). -1 for an empty text, an unknown number, or a Value that
// is not a number (so a value of -1 looks like "absent", as callers expect).
qint64 ValueOfComNo(const ProgramContext& context, const QString& comNo);
// The Value cell of the parameter; "" for an unknown number.
QString ValueTextOfComNo(const ProgramContext& context, const QString& comNo);

// ---- Limits, defaults, changed flag --------------------------------------------------

// The raw value of valueText forced into the limits of parameter `index`. Sets outOfRange
// to true when it clamps and never clears it (callers clear it first). A value equal to a
// limit passes unchanged. When the value, a limit or a referenced parameter cannot be read
// as a number, failure becomes NotANumber and the parameter's current Value is returned as
// an integer (0 when that is no number either); outOfRange is left alone then.
// HIndex other than "0" and LIndex other than "0" name another parameter whose Value is
// the limit; LIndex "-1" negates it.
double ClampToRange(const ProgramContext& context, const QString& valueText, int index, bool& outOfRange,
                    Failure& failure);
// The limits ClampToRange applies to parameter `index`, as raw values; false (and no box)
// when a limit or the parameter it names cannot be read as a number.
bool LimitsOf(const ProgramContext& context, int index, double& low, double& high);

// Default (shipment) raw value of a parameter as text: DIndex "0" its Default cell,
// DIndex "1" the default of the parameter its Default cell names, followed at most
// drive.lastIndex() + 1 steps. Any other DIndex, an unknown number or a chain that loops gives
// "Error." and the failure DefaultNotDefined (when failure is given).
QString DefaultOf(const ProgramContext& context, const QString& comNo, Failure* failure = nullptr);
inline constexpr const char* kDefaultError = "Error.";

// Sets the changed mark of the parameter: clear when raw equals its default exactly, else set;
// returns it as 0 or 1. When the number is unknown or its default is no number, nothing is
// written, 0 is returned and ok (when given) becomes false; the caller decides how to
// count it. An unknown number, or a default DefaultOf cannot follow, gives the failure
// DefaultNotDefined (when failure is given).
int UpdateChangedFlag(const ProgramContext& context, const QString& comNo, double raw, bool* ok = nullptr,
                      Failure* failure = nullptr);
// A new value of parameter `index` with its changed mark: stores `text` and marks it by `raw` (the
// same value as a number) as UpdateChangedFlag does, so that the two never part. Outside the set
// nothing is stored, 0 is returned and ok becomes false.
int storeValue(const ProgramContext& context, int index, const QString& text, double raw, bool* ok = nullptr,
               Failure* failure = nullptr);

// ---- Display texts -------------------------------------------------------------------

// Number of decimals the TMul code gives ("#.##" 2, "#.#x" 2, "#.##x" 3, anything else 0).
int decimalsOfTMul(const QString& tmul);
// The display value (raw / Mul) of parameter `index` as shown: TMul decimals, at least 8
// characters right-aligned, "," for "." when the language takes a decimal comma. Not cut when longer.
QString FormatValue(const ProgramContext& context, int index, double displayValue);
// Mul of the parameter as a positive divisor; 1 when it is missing, zero, negative or no
// number (a display must never divide by zero).
double mulOf(const ProgramContext& context, int index);

// Upper-case hexadecimal digits of a whole raw value, without leading zeros ("0" for 0).
// Accepts -2^31 .. 2^32 - 1 and prints the low 32 bits (so -1 and 4294967295 both give
// "FFFFFFFF"). A value that is not whole or lies outside that range gives "" and ok false.
QString ToHexText(double raw, bool* ok = nullptr);
// Raw value of up to eight significant hexadecimal digits (no prefix; blanks around them
// allowed): signed 32-bit when the parameter's LValue is below 0, else unsigned. "" or a
// non-digit or a ninth significant digit gives 0 and ok false.
qint64 ParseHex(const ProgramContext& context, const QString& digits, int index, bool* ok = nullptr);

// The value as the current/voltage display shows it: "C" parameters in amperes ("5.0A"),
// "V" in volts, other parameters "h" + hexadecimal when HexIndex is "1", else FormatValue.
// A raw text that is no number gives "" and ok false.
QString CurrentVoltageText(const ProgramContext& context, const ConversionBases& bases,
                           const QString& rawText, int index, bool* ok = nullptr);
// A typed amperes or volts text ("2.5A", "2.5") of a "C" or "V" parameter as a display
// value in percent of the base, with the decimals Mul gives; the text unchanged for other
// parameters. A text that is no number, or a base of 0, gives "" and ok false.
QString ParseCurrentVoltage(const ProgramContext& context, const ConversionBases& bases, const QString& text,
                            int index, bool* ok = nullptr);

// ---- Grid rows -----------------------------------------------------------------------

// The data row of the table grid showing parameter `index`: scans grid rows
// searchStartRow + 1 .. lastDataRow + 1, whose communication numbers numberColumn holds (one
// text per grid row, row 0 being the titles); the first match r is returned and stored in
// searchStartRow. No match returns index itself and leaves searchStartRow alone.
int GridRowOfIndex(const ProgramContext& context, int index, const QStringList& numberColumn,
                   int& searchStartRow, int lastDataRow);

} // namespace ValueRules
