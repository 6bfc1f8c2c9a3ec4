#pragma once
// The loaded drive: who it is, where its files are, and its parameter definitions parsed
// once into typed rows. One loader builds it and it is replaced whole; nobody re-reads a
// size, a sign or a count from text.
#include <QHash>
#include <QString>
#include <QStringList>

#include <climits>
#include <vector>

// The drive type, capacity and CPU version chosen at start-up (from the drive or by the
// user), with their catalogue codes.
struct DriveIdentity {
    QString typeName;   // "HX..." drive type
    QString formName;   // the capacity name, beginning with "-"
    QString cpuVersion; // "V0102"
    QString typeCode;   // catalogue codes, as the configuration file writes them
    QString formCode;
    QString cpuNumber; // cpuVersion less its first character
};

// Where the drive type's data lies ("/" separated).
struct DriveFiles {
    QString typeFolder;
    QString capacityFolder;
    QString infoIniPath;
    QString typeFile;
    QString capacityFile;
};

// Columns of a drive-type line, in file order; also the columns the data-store window shows.
enum ParaDatCol {
    PD_ComNo = 0,
    PD_DIndex,
    PD_Default,
    PD_FName,
    PD_FTitle,
    PD_Unit,
    PD_Byte,
    PD_Sign,
    PD_HIndex,
    PD_High,
    PD_LIndex,
    PD_Low,
    PD_TMul,
    PD_Mul,
    PD_Memory,
    PD_Flag,
    PD_Quick,
    PD_CurrentVoltIndex,
    PD_No,
    PD_ColCount
};

// A default or limit rule that is not a whole number; the default's is reported when the
// working values are filled.
inline constexpr int kUnreadRule = INT_MIN;

// One parameter of the drive type, as its type file defines it. Defaults and limits stay text:
// under a rule other than 0 they name the parameter whose value they take.
struct ParameterDefinition {
    QString comNo;       // four characters
    int defaultRule = 0; // 0: defaultText is the value; 1: it names the parameter to follow
    QString defaultText;
    QString name;
    QString title;
    QString unit;
    int size = 0;          // bytes on the wire
    bool isSigned = false; // as the file marks it; a read's sign follows the working low limit
    int highRule = 0;      // 0: high is the limit; otherwise it names a parameter (-1: negated)
    QString high;
    int lowRule = 0;
    QString low;
    QString format;          // "#.#": the decimals shown
    double multiplier = 0;   // 0 when the file's is not a number
    QString memory;          // "RAM" for a value the drive does not keep
    int flag = 0;            // last transfer: 0 done, 1 refused, 2 failed
    bool quick = false;      // shown in the Quick view
    QString currentVoltKind; // "C" or "V" when shown in amperes or volts
    int position = 0;        // line of the type file

    bool wide() const { return size == 4; }
    bool inRam() const { return memory.trimmed() == QLatin1String("RAM"); }
    bool operator==(const ParameterDefinition&) const = default;
};

// A cell of the definition as text, and a cell set from text as the type file gives it.
QString definitionText(const ParameterDefinition& definition, int col);
void setDefinitionText(ParameterDefinition& definition, int col, const QString& text);

struct LoadedDrive {
    DriveIdentity identity;
    DriveFiles files;

    // The parameters, index = parameter index; replaced whole by the loader.
    std::vector<ParameterDefinition> parameters;
    int normalLastIndex = 0; // index of the last ordinary parameter
    int quickCount = 0;

    QStringList capacityNumbers;    // numbers listed in the capacity file, file order
    QStringList capacityFollowers;  // default-rule 1 parameters the capacity file lists
    QStringList currentVoltNumbers; // keys of Info.ini "Disp CV"

    // Index of the last parameter; -1 with none loaded.
    int lastIndex() const { return int(parameters.size()) - 1; }
    bool holds(int index) const { return index >= 0 && index < int(parameters.size()); }
    // The definition of parameter `index`; an empty one (size 0, no number) for an index the
    // drive type lacks.
    const ParameterDefinition& definition(int index) const;
    // Records a transfer's outcome on parameter `index` (0 done, 2 failed); a refusal (1)
    // stays until the drive type is loaded again.
    void markTransfer(int index, int flag);

    // Takes these rows as the loaded parameters and indexes their numbers.
    void setParameters(std::vector<ParameterDefinition> rows, int normalLast);
    void clearParameters() { setParameters({}, 0); }

    // Communication numbers of the loaded parameters: every number followed by ",".
    const QString& comNoList() const { return comNoList_; }
    // The parameter index of a whole four-character number, -1 when absent. O(1).
    int indexOfComNo(const QString& comNo) const;
    // Indexes the numbers again after a row's number changed.
    void rebuildComNoIndex();

private:
    QString comNoList_;
    QHash<QString, int> comNoIndex_;
};
