#pragma once
// The parameter file of the sibling configuration tool: XML with one record per parameter
// whose number is four decimal digits or "A"/"C" and three digits, closed by a CRC-16
// comment. The peer checks the layout byte for byte, so the writer reproduces it exactly.
#include "core/Asker.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

struct ProgramContext;

namespace CfgFile {

// CRC-16 with the reflected polynomial 0x8408, no final exclusive-or; "123456789" from
// 0xFFFF gives 0x6F91. A count of 0 returns crc.
std::uint16_t Crc16Ccitt(std::uint16_t crc, const unsigned char* data, int count);

// ---- Writing -------------------------------------------------------------------------

struct WriteInput {
    QByteArray deviceId = "-"; // "MLD_ID" of the drive type's Info.ini as its bytes stand there
    QString typeCode;          // decimal texts of the drive's type, capacity and CPU codes
    QString formCode;
    QString cpuNumber;
    // The Value cell of a parameter; a null QString when the drive type has no such number.
    std::function<QString(const QString& comNo)> valueText;
};

// The input taken from the context, the drive type's Info.ini and the working table.
WriteInput inputFromStore(const ProgramContext& context);

// The file's bytes. False (nothing built) when a code is not a decimal number 0..65535.
// Parameters whose value cannot be stored in four hexadecimal digits (negative, above
// 0xFFFF, not a whole number) give no record; their numbers are listed in skipped.
bool build(const WriteInput& in, QByteArray& out, QStringList* skipped = nullptr);

// Writes the file for the loaded drive type. Refuses codes that are not numbers (message
// DataIncorrect), reports a file that cannot be written (ParaFile::writeFailureNotice) and lists
// the parameters it had to leave out (the language file's Main "CfgSkipped"), each in a box
// through the asker. True when the file was written.
bool WriteConfigurationXml(const ProgramContext& context, const QString& path, Asker& asker);

// ---- Reading -------------------------------------------------------------------------

// Line 4 names the creating program.
bool isConfigurationFile(const QStringList& lines);

// The file's last line that is not blank is its checksum comment and the CRC of every line
// before it, each ended by "\n" as the writer ends them (or by "\r\n"), matches it. A file
// cut short, changed or with anything after the checksum fails. The CRC covers the file's
// bytes: lineBytes, when the file was read in the code page (TextFile::readLines), else the
// lines in UTF-8.
bool checksumMatches(const QStringList& lines, const QList<QByteArray>& lineBytes = {});

struct Record {
    QString number; // as the file holds it ("0005", "a012")
    QString value;  // the four value characters, unchanged
    int line = 0;   // index of the records line it came from
};
// The records as the peer lays them out: from the first "<Data>" line, the line after it
// read in steps of eight characters, then four lines on while that line is "<Data>" again.
QList<Record> parseRecords(const QStringList& lines);

// The box text for records that mark a specially set-up drive ("0998" other than 1,
// "0999" other than 2), "" when there are none.
QString markerRefusalText(const ProgramContext& context, const QList<Record>& records);

// The value of a record number (letter case ignored, first record wins) as decimal text;
// "Err." when absent or not four hexadecimal digits.
QString LookupCfgValue(const QStringList& cnum, const QStringList& val, const QString& number);

// Names of a drive type and a capacity from their codes, "Err." when not found.
struct Names {
    std::function<QString(const QString& typeCode, const QString& identValue)> fileTypeName;
    std::function<QString(const QString& typeName, const QString& capacityCode)> capacityName;
};
// The look-ups in the drive catalogue of the context (paths.catalogueIni, read at each look-up).
Names catalogueNames(const ProgramContext& context);

enum class ReadResult { Loaded, Refused };
struct ReadOutcome {
    ReadResult result = ReadResult::Refused;
    QString typeName; // the file's drive type and capacity as the caption names them
    QString capacityName;
    QList<int> taken; // indices of the parameters whose value came from the file
};

// Reads a file already found to be a configuration file into the working table, with the
// checks and questions of File > Open, asked through the asker. cfgCNum/cfgVal receive the records (left
// empty when the file is refused for its special-setup records or its identity line).
ReadOutcome ReadConfigurationXml(ProgramContext& context, const QStringList& lines, QStringList& cfgCNum,
                                 QStringList& cfgVal, const Names& names, Asker& asker);

} // namespace CfgFile
