#pragma once
// The state of one program run: its folders and files, the chosen drive identity, the counts
// of the loaded drive type and the data store. The start-up owns one and hands it by
// reference to every object and function that reads or sets it; a test makes its own.
#include "core/LoadedDrive.h"

#include <QString>
#include <QStringList>
#include <cstdint>

class ParameterStore;

// The two-letter prefix of every drive type name of our maker.
inline constexpr const char* kModelPrefix = "HX";
// The product name, used where no language text exists yet.
inline constexpr const char* kProductName = "KVR260X";
// At most this many parameters are loaded from a drive-type file.
inline constexpr int kMaxParams = 2000;

struct ProgramContext {
    // Folders and files (Part of start-up; "/" separated).
    QString ProgramFolder;
    QString LanguageFolder;
    QString SettingsIniPath;
    QString CatalogueIniPath;
    QString LanguageName;
    QString LanguageSuffix;
    QString LanguageIniPath;
    bool DecimalComma = false;
    QString HelpFilePath;
    QString ParaHelpFilePath;

    // The chosen drive identity and its files.
    QString DriveTypeName;
    QString DriveFormName; // the capacity name, beginning with "-"
    QString DriveCpuVersion;
    QString DriveTypeCode;
    QString DriveFormCode;
    QString DriveCpuNumber;
    QString TypeFolder;
    QString CapacityFolder;
    QString InfoIniPath;
    QString TypeFile;
    QString CapacityFile;

    // Last used folders and files.
    QString SavePath;
    QString LoadPath;
    QString MonPath;
    QString CurrentFileName;
    QString OpenedFileName;
    QString OpenedFileFolder;
    QString MonFileName;

    bool StartupAbort = false; // set once, never cleared
    bool BlindActive = false;
    int BlindCount = 0;
    int RowsInUse = 0;
    bool OsMajor6OrLater = true;

    // Texts of the language file kept apart from the store.
    QString MsgCaption;
    QString MsgEmptyInput;

    // 100 % of a current and of a voltage parameter, from the monitor's base reading.
    float AmpereBase = 0.0f;
    float VoltBase = 0.0f;

    // Set while a monitor run is in progress; only the monitor writes it.
    std::uint8_t MonitorRunning = 0;

    // The drive type loaded (being moved here from the fields above).
    LoadedDrive drive;

    // The data store; null until start-up creates it.
    ParameterStore* Parameters = nullptr;
};
