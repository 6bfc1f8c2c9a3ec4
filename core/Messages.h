#pragma once
// Numbered messages of the language file shown in boxes whose caption is message 0.
#include "core/Asker.h"
#include <QString>

struct ProgramContext;

// The messages of the language file's section "General" the program shows, by what they
// say. The value is the message's position in that section (key "Message<value + 1>"): the
// language files are laid out by it, so a value never changes.
enum class MsgId : int {
    Caption = 0,                  // "Confirmation"
    FileLabel = 1,                // "File: "
    NoUsablePort = 2,             // "Usable serial port is not found."
    CannotConnect = 3,            // "Cannot connect. ..."
    TypeFileMissing = 6,          // "Not found the Inverter Type data file (*.inv). ..."
    CapacityFileMissing = 7,      // "Not found the Inverter Capacity data file (*.cap). ..."
    NoItemsToShow = 8,            // "There are no items to show for the selected inverter."
    FileTypeDiffers = 9,          // "The inverter type of the file is different ..."
    FileFormDiffers = 10,         // "The inverter form (capacity) of the file is different ..."
    YesReadAll = 11,              // "[Yes] : Read all parameters of the file."
    NoSkipCapacity = 12,          // "[No] : Do not read the capacity-dependent parameters."
    CancelDoNotRead = 13,         // "[Cancel] : Do not read the file."
    FileCpuDiffers = 14,          // "The CPU version of the file is different ..."
    NoFileToOverwrite = 15,       // "There is no file to overwrite. Please use Save As."
    SelectPaperSize = 17,         // "Please select the paper size from the list."
    SelectFont = 18,              // "Please select the font from the list."
    TableTitle = 20,              // "Parameter Table"
    ColumnTitle = 21,             // "Title"
    ColumnComNo = 22,             // "Comm. No."
    ColumnFunction = 23,          // "Function"
    ColumnValue = 25,             // "Set Val."
    ColumnLowLimit = 26,          // "Low limit."
    ColumnHighLimit = 27,         // "Up limit."
    ColumnUnit = 28,              // "Unit"
    ChangedMark = 30,             // "Change"
    DefaultNotDefined = 32,       // "The default value of this parameter is not defined correctly."
    ValueCannotBeSet = 40,        // "The value cannot be set."
    OutOfRange = 41,              // "The value is out of range."
    NotANumber = 42,              // "The value is not a valid number."
    NoChangedParameter = 43,      // "There is no changed parameter."
    NoSelectedParameter = 44,     // "There is no selected parameter."
    SearchTextNotFound = 45,      // "The search text was not found."
    CannotBeWritten = 46,         // "This parameter cannot be written to the inverter."
    CannotHideAll = 47,           // "All parameters cannot be hidden."
    NoChannelSelected = 49,       // "No channel is selected for monitoring."
    RecordTimeLabel = 50,         // "Record time : "
    SamplingTimeLabel = 51,       // "Sampling time : "
    RecordingToCsv = 52,          // "The monitored data are recorded to a CSV file. ..."
    EstimatedFileSize = 53,       // "Estimated file size : about "
    KilobyteUnit = 54,            // " KB"
    TimeMsColumn = 55,            // "Time(ms)"
    MaintenanceEnabled = 57,      // "Maintenance mode is enabled."
    AccessValueNotWritten = 58,   // "The access value has not been written to the inverter."
    PasswordIncorrect = 59,       // "The password is not correct."
    PressStartToImport = 61,      // "Press [Start] to import all parameters from the inverter."
    PressStartToExport = 62,      // "Press [Start] to export all parameters to the inverter."
    PressStartToCompare = 63,     // "Press [Start] to compare all parameters with the inverter."
    Importing = 64,               // "Importing parameters ..."
    Exporting = 65,               // "Exporting parameters ..."
    Comparing = 66,               // "Comparing parameters ..."
    DataIncorrect = 67,           // "Data is incorrect."
    CommErrorAtParameter = 68,    // "Communication error at parameter"
    AbortStopsJob = 69,           // "[Abort] : Stop the job."
    RetryParameter = 70,          // "[Retry] : Try this parameter again."
    IgnoreAndGoOn = 71,           // "[Ignore] : Skip this parameter and go on."
    DifferentValueFound = 72,     // "A different value was found."
    DifferentValueAt = 73,        // "Different value at parameter"
    DriveTypeDiffers = 74,        // "The inverter type is different from the selected type."
    DriveFormDiffers = 75,        // "The inverter form (capacity) is different ..."
    DriveTypeUnknown = 76,        // "The inverter type cannot be identified."
    DriveFormUnknown = 77,        // "The inverter form (capacity) cannot be identified."
    ConnectedDrive = 78,          // "Connected inverter : "
    DropOneFile = 79,             // "Please drop only one file."
    NumberNotInDrive = 80,        // "Communication No. not found in the selected inverter:"
    OkSkipLine = 81,              // "[OK] : Skip this line and go on."
    CancelStopReading = 82,       // "[Cancel] : Stop reading the file."
    OnlyChangedExported = 83,     // "* Only the changed parameters are exported."
    CommErrorCount = 84,          // "Communication errors : "
    ProgramClosed = 85,           // "KVR260X is closed."
    FileDriveNotReadable = 86,    // "is the inverter of the file. The file cannot be read."
    FileDriveIs = 87,             // "is the inverter of the file."
    LastDriveFileMissing = 92,    // "Not found the Last Inverter data file."
    DriveFileMissing = 93,        // "Not found Inverter data file."
    FileTooLarge = 94,            // "The file is too large to be a parameter file. ..."
    LineTooLong = 95,             // "A line of the file is too long for a parameter file. ..."
    ConfigChecksumMismatch = 96,  // "The checksum of the file does not match its contents. ..."
    ValuesOutsideLimits = 97,     // "These values of the file are outside the limits ..."
    DriveSpecial0998 = 99,        // "The inverter has a special setting (0998)."
    DriveSpecial0999 = 100,       // "The inverter has a special setting (0999)."
    SpecialDriveNoTransfer = 101, // "Parameters of this inverter cannot be imported, ..."
    ContactSupplier = 102,        // "Please contact your supplier."
    FileSpecial0998 = 103,        // "The file holds a special setting (0998)."
    FileSpecial0999 = 104,        // "The file holds a special setting (0999)."
    FileCannotBeOpened = 105,     // "This file cannot be opened."
    DriveCpuDiffers = 106,        // "The CPU version is different from the selected CPU version."
    DriveCpuUnknown = 107,        // "The CPU version cannot be identified."
    SelectionMismatch = 108,      // "It does not match the selected Inverter Type-Form."
    OkChangeCheckOrCancel = 109,  // "[OK] : Change the check in Environment Options. ..."
    UnwritableCharacters = 110,   // "These characters cannot be written in the file's code page ..."
    SaveAnyway = 111,             // "Do you want to save the file anyway?"
    DiskFull = 112,               // "The disk is full. The file could not be written:"
    WriteFailed = 113,            // "The file could not be written:"
    MonitorRowsLeftOut = 114,     // "The file holds more sample rows than the monitor can show. ..."
    MonitorRowCutShort = 115,     // "The last row of the file is incomplete and was left out."
    MonitorLineTooLong = 116,     // "A line of the file is too long for a monitor file. ..."
    // Messages 117 and 118 are the start-up search's, read by key.
    WideValueNotRead = 119,      // "32-bit value: MODBUS-RTU carries only its low 16 bits, ..."
    WideValueNotWritten = 120,   // "32-bit value: a MODBUS-RTU register write would not keep it ..."
    WideValueLowHalfShown = 121, // "* Inverter: its low 16 bits (MODBUS-RTU)"
    WideItemsNotMonitored = 122, // "These items are 32-bit values, ... cannot be monitored ..."
    WideValueNotShown = 123,     // "- (32-bit value: MODBUS-RTU carries only its low 16 bits)"
};

// The position of a message in the language file's section.
constexpr int msgNumber(MsgId id) {
    return static_cast<int>(id);
}

// The message of the language file the context's store loaded; "" when there is none.
QString Msg(const ProgramContext& context, MsgId id);
// The question before a file is written whose text holds characters its code page lacks:
// which characters, that each is written as "?", whether to save anyway.
QString UnwritableCharactersQuestion(const ProgramContext& context, const QString& characters);
// A write that failed, naming the file: DiskFull when the system said so, else WriteFailed.
QString WriteFailureText(const ProgramContext& context, const QString& path, bool diskFull);
// The message as a box with the context's caption (texts.caption).
Notice MsgNotice(const ProgramContext& context, MsgId id, BoxIcon icon = BoxIcon::Warning,
                 BoxButtons buttons = BoxButtons::Ok);
