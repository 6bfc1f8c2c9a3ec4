#pragma once
// The drive's rated voltage and current, the bases of the current/voltage display (percent
// of rated shown as volts and amperes) and of the monitor's "(A)" and "(V)" items: FE71 for
// the voltage, FE70 (else FB58) for the current, each its working value over its Mul. The
// capacity file sets these working values, so a drive type without a drive has them too.
#include <QString>

struct ProgramContext;

struct ConversionBaseParameters {
    int voltIndex = -1;        // FE71, -1 when the drive type lacks it
    double voltDivisor = 10.0; // its Mul (10 when absent)
    int currentIndex = -1;     // FE70, else FB58
    double currentDivisor = 10.0;
    float fallbackVoltage = 0; // the voltage the form name implies
};

// Where the bases come from in the loaded drive type.
ConversionBaseParameters conversionBaseParameters(const ProgramContext& ctx);

// 100 % of a voltage and of a current parameter. The start-up owns the program's pair and
// hands it to the parameter table and the monitor, whose activations set it.
struct ConversionBases {
    float volt = 0;
    float ampere = 0;
};

// The bases from the working table: the voltage falls back to the form name's voltage without
// FE71, the current to 0 without FE70 and FB58.
ConversionBases workingConversionBases(const ProgramContext& ctx);

// Whether the bases the current/voltage display needs can be formed for the loaded type:
// a positive voltage where the display lists a voltage parameter, a positive current where it
// lists a current one. Without them the display could show only zeros.
bool ConversionBasesAvailable(const ProgramContext& ctx);

// The voltage a drive form name implies (digit x 100): the form's second character, or its
// third when it begins with "S". 0 when that is no digit.
int FallbackVoltage(const QString& formName);
