#pragma once
// Writes a large drive type into a program folder, for scale tests and benchmarks: the
// catalogue entries in dat/Inverter.ini, the type folder with Info.ini, the drive-type file
// in both languages and one capacity file. The parameters carry every communication number
// the program relies on, then fillers of every kind the loaders meet (default chains, limit
// references, signed and 32-bit values, RAM-only and never-written parameters, Quick ones,
// maintenance parameters after the ordinary ones).
#include <QString>
#include <QStringList>

namespace DriveTypeGenerator {

struct Options {
    QString typeName = QStringLiteral("HXZ9");
    QString cpuVersion = QStringLiteral("V100");    // folder <type>(<cpu>)
    QString capacityName = QStringLiteral("-4037"); // begins with "-"
    int parameterCount = 2000;                      // drive-type files hold at most 2,000 lines
    int typeCode = 90;                              // value of FB07
    int capacityCode = 13;                          // value of FB05
};

struct Result {
    QString typeFolder; // <program folder>/dat/<type>(<cpu>)
    QString infoIniPath;
    QString englishTypeFile;    // <type>(Eng).inv
    QString japaneseTypeFile;   // <type>(Jap).inv
    QString capacityFile;       // <type><capacity>.cap
    QStringList comNos;         // every communication number, in file order
    int lastOrdinaryIndex = -1; // index of the last parameter before the maintenance ones
};

// False with a reason when a file cannot be written or the options make no drive type
// (fewer parameters than the program needs, more than 2,000, a capacity name without "-").
bool write(const QString& programFolder, const Options& options, Result* result = nullptr,
           QString* error = nullptr);

} // namespace DriveTypeGenerator
