#pragma once
// Names of the connected drive: its type, capacity ("form") and CPU version numbers, read
// from the drive as the values of "FB07", "FB05" and "FE08", turned into the names the
// drive catalogue (dat/Inverter.ini) lists. A name that cannot be found is "Err.".
//
// CPU versions are compared as numbers: from 700 on the "custom" catalogue sections apply,
// and an unlisted version from 700 on is named "V" and its number.
#include <QString>
#include <QStringList>

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
    // Index into I_TypeForm / I_TypeNo, -1 when not found; sets IdentFound/IdentTypeName.
    int FindTypeIndex(const QString& typeCode);
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
    // The identification step of LookupFileTypeName: the decimal index into I_TypeForm, or
    // "Err.".
    QString FindFileTypeIndex(const QString& typeCode, const QString& identValue);

    // The drive's CPU version as a signed 16-bit number: 0 when the table lacks "FE08" or
    // the read fails.
    int readCpuVersion();

    // Working lists, rebuilt by each look-up.
    QStringList I_TypeForm, I_TypeNo;
    QStringList I_CapaForm, I_CapaFormNewCpu, I_CapaNo, I_CapaNoNewCpu;
    bool IdentFound = false;
    QString IdentTypeName;

private:
    void fillTypeLists(const QString& section);
    QString capacityFrom(const QString& section, QStringList& names, const QString& capacityCode);

    CommLink& link_;
    const QStringList* cpuForms_;
    const QStringList* cpuNumbers_;
};

// Position of a CPU version in a list of version numbers: compared as numbers when both
// are integers, else as texts. -1 when absent.
int cpuVersionPosition(const QStringList& numbers, const QString& cpuText);
// True when the version is 700 or above (numbers; texts that are no integer compare as
// texts with "700").
bool isCustomCpu(const QString& cpuText);
