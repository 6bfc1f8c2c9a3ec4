#pragma once
// The line splitter of the program's comma-separated files and the three loaders that fill
// the data store from a drive type's files (type file ".inv", capacity file ".cap" and the
// drive type's Info.ini). They work on a program context and its store and need no window; boxes
// and file choosers go through the asker the caller hands in. The loaders fill the store of the program
// context they are given and do nothing (returning false) while it is null or startupAborted
// is set.
#include <QString>
#include <QStringList>

#include "core/Asker.h"
#include "platform/CsvLine.h"

struct ProgramContext;

// Title and filter ("Desc|*.inv|Desc|*.cap") of the chooser offered when a drive-type or
// capacity file is missing. The main window passes its language texts once it has them.
struct DriveFileDialog {
    QString title = QStringLiteral("Open");
    QString filter =
        QStringLiteral("KVR260X Inverter Type Data (*.inv)|*.inv|KVR260X Inverter Capa. Data (*.cap)|*.cap");
};

// Reads the drive-type file files.typeFolder/typeName(language suffix).inv into definitions and
// replaces the loaded drive's whole (with its counts and number index); sets files.typeFile. A missing or
// empty file offers the chooser (message TypeFileMissing); cancelling it (message ProgramClosed), an
// unreadable chosen file (ProgramClosed) or malformed data (message DataIncorrect naming the line)
// sets startupAborted and leaves no parameter loaded. Returns false exactly then.
bool LoadTypeTable(ProgramContext& context, Asker& asker, const DriveFileDialog& dialog = {});

// Reads the capacity file files.capacityFolder/typeName formName.cap into the Default cells it
// names and the "Disp CV" section of Info.ini into the definitions' current/voltage kinds; fills
// the loaded drive's capacity and current/voltage number lists. A missing or empty file offers the chooser
// (message CapacityFileMissing); a chosen file of another drive type (message FileTypeDiffers), cancelling
// (message ProgramClosed) or an unreadable chosen file (ProgramClosed) sets startupAborted. Returns false
// exactly then.
bool LoadCapacityTable(ProgramContext& context, Asker& asker, const DriveFileDialog& dialog = {});

// Fills the working set: the value from the default rule, the limits from theirs, flags
// clear. A DIndex that is not an integer shows message DataIncorrect (stop
// icon) and returns false: the caller then shows the start-up form again and reloads
// into the same store.
bool InitValueTable(ProgramContext& context, Asker& asker);

enum class DriveLoad {
    Loaded,
    Aborted,       // StartupAbort is set: the program ends
    ValuesRefused, // the working values cannot be computed: the caller chooses again
};
// The three loaders in order, each only after the one before succeeded, none while
// StartupAbort is set.
DriveLoad LoadDriveData(ProgramContext& context, Asker& asker, const DriveFileDialog& dialog = {});
