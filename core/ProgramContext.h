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

// The program's own folders and files ("/" separated), set from the program folder at start-up.
struct ProgramPaths {
    QString programFolder;
    QString settingsIni;  // the program's settings file
    QString catalogueIni; // dat/Inverter.ini, the drive types on offer
    QString helpFile;     // the program's help in the chosen language
    // The loaded drive type's parameter help in the chosen language (.chm, or .hlp by option).
    QString parameterHelpFile;
};

// The language chosen at start-up.
struct LanguageChoice {
    QString folder;  // where the language files are
    QString name;    // "English", the settings key of its decimal-comma choice
    QString suffix;  // "Eng", in the help files' names
    QString iniPath; // its language file
    bool decimalComma = false;
};

// Two texts of the language file needed before (or without) the store, kept apart from it.
struct MessageTexts {
    QString caption;       // every box's caption
    QString dataIncorrect; // a refused input value
};

// The folders and files last used, kept between runs where the settings file holds them.
struct RecentFiles {
    QString saveFolder; // parameter files
    QString openFolder;
    QString monitorFolder;
    QString saveName;   // the parameter file last saved (name only)
    QString openedName; // ... and last opened, which Save writes again
    QString openedFolder;
    QString monitorName; // the monitor file last opened or saved
};

// Which parameters the table lists: the ordinary ones, or all of them in maintenance mode,
// less those the Blind view hides. Set by the file commands, the options and the table.
struct TableView {
    int lastIndex = 0; // the last parameter listed
    bool blindOn = false;
    int blindCount = 0; // parameters the Blind view hides, from the end of the list
};

struct ProgramContext {
    ProgramPaths paths;
    LanguageChoice language;
    RecentFiles recent;
    TableView tableView;
    // Set when the start-up cannot go on (the program ends); never cleared.
    bool startupAborted = false;

    // The drive type loaded: identity, files and parameter definitions.
    LoadedDrive drive;

    MessageTexts texts;
    // The data store; null until start-up creates it.
    ParameterStore* store = nullptr;
};
