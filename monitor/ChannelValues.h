#pragma once
// What one reading of a monitored quantity means: the raw 32-bit reply taken with the width
// and sign of its parameter, a bit item's one bit, the value divided by the parameter's Mul,
// the readout's unit change and its text. Pure functions; the run, the chart's readout and
// the reports share them.
#include "monitor/MonitorModel.h"
#include "protocol/FrameCodec.h"

#include <QString>
#include <cstdint>
#include <optional>

class Options;
class ParameterStore;
struct LoadedDrive;

namespace ChannelValues {

// The reply as the parameter reads it: 32-bit signed or unsigned when its width is 4 bytes,
// else the low 16 bits, signed when its low limit is below 0. An unsigned 32-bit reading of
// 2^31 or more is a value like any other.
qint64 reading(const MonChannelRec& rec, std::uint32_t raw);

// The reading over `protocol` is cut to the low 16 bits of a 32-bit item: a whole value, or a
// bit above 15 (the low bits arrive whole).
bool cutToLowHalf(const MonChannelRec& rec, Protocol protocol);

// Bit b of n as the drive sends it (two's complement for a negative n); 0 for a bit outside
// 0..31.
bool bitSet(qint64 n, int bit);

// The channel value of a reading: for a bit item `bitOnValue` when its bit is set, else 0;
// for a whole value the reading divided by Mul. Nothing when the bit number is no number.
std::optional<double> channelValue(const MonChannelRec& rec, std::uint32_t raw, int bitOnValue);

// The value the readout shows: times the free-unit factor when the option "Use Free Unit" is
// on (every channel); else, with the unit change checked, a percentage of rated current or
// voltage ("(A)", "(V)") in amperes or volts; else the value.
double displayValue(double value, bool unitChecked, const QString& changedUnit, const Options& options,
                    float ampereBase, float voltBase);

// A value as display text with the decimals its parameter's Mul implies ("10" one, "100"
// two, "1000" three, anything else none); a decimal comma when the language writes one.
QString formatNumber(const LoadedDrive& drive, int paraIndex, double value, bool decimalComma);

// A sample as the monitor file, its CSV export and the continuous recording write it: six
// decimals after a point, or with the decimal comma the value's shortest exact text. A value
// that comes out as zero carries no minus sign, so what is read back is written the same.
QString sampleText(double value, bool decimalComma);

} // namespace ChannelValues
