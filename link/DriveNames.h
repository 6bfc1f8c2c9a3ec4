#pragma once
// Names of the connected drive: its type, capacity ("form") and CPU version numbers, read
// from the drive as the values of "FB07", "FB05" and "FE08", turned into the names the
// drive catalogue (dat/Inverter.ini) lists. A name that cannot be found is "Err.".
//
// CPU versions are compared as numbers: from 700 on the "custom" catalogue sections apply,
// and an unlisted version from 700 on is named "V" and its number.
#include <QString>
#include <QStringList>
#include <optional>

class CommLink;

class DriveNames {
public:
    // The CPU-version lists of the main window (names "V110" and numbers "110", filled by
    // the start-up form for the selected drive type); not owned, may be null (empty).
    DriveNames(CommLink& link, const QStringList* cpuForms = nullptr,
               const QStringList* cpuNumbers = nullptr);

    static constexpr int kCustomCpu = 700;
    static inline const QString kNotFound = QStringLiteral("Err.");

    // Type name of a type code; reads the CPU version (and, where the catalogue says so,
    // the parameter that tells types sharing a code apart) from the drive.
    QString LookupTypeName(const QString& typeCode);
    // Capacity name for drives with a CPU version below 700.
    QString LookupCapacityName(const QString& typeName, const QString& capacityCode);
    // Capacity name for drives from CPU version 700 on (the type is looked up again).
    QString LookupCapacityNameNewCpu(const QString& typeCode, const QString& cpuText,
                                     const QString& capacityCode);
    // The CPU version's name from the main window's lists.
    QString CpuVersionName(const QString& typeCode, const QString& cpuText) const;
    // Type name of a parameter file's type code and identifying value; no exchange. Only
    // codes with an identification section are named.
    QString LookupFileTypeName(const QString& typeCode, const QString& identValue);
    // The identification step of LookupFileTypeName: the decimal position in the type lists,
    // or "Err.".
    QString FindFileTypeIndex(const QString& typeCode, const QString& identValue);
    // The drive's CPU version as a signed 16-bit number: 0 when the table lacks "FE08" or
    // the read fails.
    int readCpuVersion();

    // What the last look-ups searched: the catalogue's types (names, codes) and capacities
    // (names, codes), and the type named by its identifying parameter, if one was.
    const QStringList& typeNames() const { return typeNames_; }
    const QStringList& typeCodes() const { return typeCodes_; }
    const QStringList& capacityNames() const { return capacityNames_; }
    const std::optional<QString>& identifiedType() const { return identifiedType_; }

private:
    // Position in the type lists, -1 when not found; notes the type identified by its parameter.
    int FindTypeIndex(const QString& typeCode);
    void fillTypeLists(const QString& section);
    QString capacityFrom(const QString& section, const QString& capacityCode);

    CommLink& link_;
    const QStringList* cpuForms_;
    const QStringList* cpuNumbers_;
    QStringList typeNames_, typeCodes_;
    QStringList capacityNames_, capacityCodes_;
    std::optional<QString> identifiedType_;
};

// Position of a CPU version in a list of version numbers: compared as numbers when both
// are integers, else as texts. -1 when absent.
int cpuVersionPosition(const QStringList& numbers, const QString& cpuText);
// True when the version is 700 or above (numbers; texts that are no integer compare as
// texts with "700").
bool isCustomCpu(const QString& cpuText);
