#pragma once
// The rules of the start-up form, apart from its window: which languages and drive types
// the settings and the data folder offer, which entries are preselected, and what the
// choice hands to the rest of the program (its context, settings sections "Default" and
// "Comms", the main window's CPU-version lists) when the form closes.
//
// Positions are list positions from 0; -1 is "none", and a position outside its list
// yields an empty text, never an error.
#include "link/DriveDetection.h"

#include <QString>
#include <QStringList>
#include <functional>

class Asker;
class CommLink;
class IniFile;
struct ProgramContext;

// What the caller tells the start-up form about the run it belongs to.
struct StartupContext {
    bool firstShowDone = false;     // the main window has shown: this run comes from File > New
    bool fileArgumentStart = false; // started with a parameter file: the stored drive is not read
    // Handed the selected type's CPU versions (names, numbers) when the form closes.
    std::function<void(const QStringList& names, const QStringList& numbers)> cpuVersionsChosen;
    // The drive link the connected drive is looked for on (null: the first entries are
    // preselected instead and the stored communication settings stay).
    CommLink* link = nullptr;
    // Lines for searching the ports side by side (null: one after another on the link's port).
    SearchLineFactory searchLines = {};
    // The search waits for runDetection (the form shows first); the first entries meanwhile.
    bool detectLater = false;
    // The detection's reply time: a test against a drive on a loaded machine gives it room.
    int detectionReplyMs = DriveDetection::kReplyTimeMs;
};

// Positions in the form's four lists (language, type, capacity, CPU version), -1 for none.
struct StartupSelection {
    int language = -1, type = -1, capacity = -1, cpu = -1;
};

// The search's words, from the form's section of the language file: its title, the Stop
// button, a port's line while a try is under way, the lines of a port where a drive answered
// (that it answered, without and with its type, then at which settings), the line of a port
// where nothing did, and the names of parities and protocols.
struct SearchTexts {
    QString title, stop, trying, answered, found, answeredAt, noAnswer;
    QStringList parities, protocols;
};

// The form's own words, from the language file its language names.
struct StartupTexts {
    QString noPort, closed, noData, noLastData;
    QString nothingAnswered, searchStopped; // after a search
    SearchTexts search;
};

class StartupChoice {
public:
    using Context = StartupContext;

    // A settings key that was never written.
    static constexpr int kMissing = 999;

    // The choice of the program the context describes; the close hands it over there.
    // Its boxes go to `asker`.
    StartupChoice(ProgramContext& program, Asker& asker, const Context& context = Context());

    // The creation handler: reads the settings, lists the languages and drive types and
    // preselects the last drive (or, when that is not wanted, the drive found on the link).
    // Boxes go to the asker. Sets the program's startupAborted and returns false when
    // the data folder offers no drive type.
    bool loadChoices();
    // The close handler: commits the choice to the program context, the settings file and the main
    // window's lists. Runs at most once; later calls do nothing.
    void takeChoice();
    bool closed() const { return closed_; }
    // loadChoices ran and found something to offer.
    bool created() const { return created_; }
    // Created with detectLater and the search still to run.
    bool detectionDue() const { return detectionDue_; }
    // Runs the search left for later and preselects what it finds; `progress` follows it and
    // may stop it.
    void runDetection(const SearchProgressHandler& progress);

    // ---- What the form offers and what is selected --------------------------------------
    const QStringList& languages() const { return languages_; }
    const QStringList& typeNames() const { return typeNames_; }            // in the data folder's order
    const QStringList& typeCodes() const { return typeCodes_; }            // their catalogue codes
    const QStringList& capacityNames() const { return capacities_.names; } // sorted
    const QStringList& capacityCodes() const { return capacities_.codes; } // their catalogue codes
    const QStringList& cpuVersions() const { return cpus_.names; }         // "V110"
    const QStringList& cpuNumbers() const { return cpus_.codes; }          // "110"
    const StartupSelection& selection() const { return selection_; }
    const StartupTexts& texts() const { return texts_; }

    // ---- The communication settings and the last search ------------------------------------
    // The settings of "Comms" as read at creation (the search tries them first on the stored
    // port), then what a search leaves (those found, or the factory settings when nothing
    // answered), which the close writes.
    const SearchTry& commSettings() const { return commSettings_; }
    SearchOutcome outcome() const { return outcome_; }
    const QStringList& portsSearched() const { return portsSearched_; } // those that opened
    // What the search is doing in words, a line a port: "COM1: 9600 baud, parity Even,
    // MODBUS-RTU" while it tries, or that nothing answered; where a drive answered, that it
    // did ("COM3: the inverter answered", with the type once it is the drive found: "COM3:
    // HXA1 answered") and, indented on a line of its own, at which settings.
    QString searchText(const SearchProgress& progress) const;

    // ---- Choosing ----------------------------------------------------------------------
    // The CPU versions (names, numbers) and the capacities (names, codes) the data folder
    // holds for a type; the form's own lists stay as they are.
    NamedCodes cpuListOf(const QString& typeName) const;
    NamedCodes capacityListOf(const QString& typeName, const QString& cpuText) const;
    // The user's choice of a type or CPU version: selects it and refills the lists below it
    // with their first entries selected.
    void refillForType(int typePos);
    void refillForCpu(int cpuPos);
    // The positions the window shows as they stand, taken before the close; no rule runs.
    void takeSelection(const StartupSelection& shown) { selection_ = shown; }

    // The entry at pos, "" when pos is outside the list.
    static QString at(const QStringList& list, int pos);
    // Position of text in list ignoring case (the program's list look-up), -1 when absent.
    static int positionOf(const QStringList& list, const QString& text);

private:
    // The data folder as a path ("/" separated).
    QString dataFolderPath() const;
    void readMessages(const QString& languageIniPath);
    // Reads the drive-type folders of the data folder (a path below the program folder) into
    // the type list and selects the first type.
    void listDriveTypes(const QString& folderName);
    void fillCpuList(const QString& typeName);
    void fillCapacityList(const QString& typeName, const QString& cpuText);
    // The lists of a type, with the capacities of the CPU version at cpuPos.
    void fillListsForType(const QString& typeName, int cpuPos);
    // The common selection step: positions of type, capacity and CPU version, each fitted to
    // its list, the lists refilled for them.
    void selectPositions(int typePos, int capaPos, int cpuPos);
    // Takes what a search found: its settings, its outcome and the drive's positions.
    void applyDetection(const DetectionResult& found);
    void preselectLastDrive();
    void detectAndSelect(const SearchProgressHandler& progress);
    // Writes "Default" (and "Comms" when asked), takes the decimal-comma choice; returns the WHP option.
    bool writeSettings(bool storeComms);

    ProgramContext& program_;
    Asker& asker_;
    Context context_;
    bool closed_ = false;
    bool created_ = false;
    bool detectionDue_ = false;

    QStringList languages_;
    QStringList typeNames_, typeCodes_;
    NamedCodes capacities_, cpus_;
    QStringList typeFolders_; // drive-type folder names, sorted
    StartupSelection selection_;
    StartupSelection stored_{0, kMissing, kMissing, kMissing};
    // "CheckLang" (kMissing when unwritten) and "CheckInv" (start with the last drive).
    int languageOption_ = kMissing;
    bool lastDriveKept_ = false;
    StartupTexts texts_;
    QString dataFolder_;
    int commPort_ = 0;
    SearchTry commSettings_;
    bool detectionRan_ = false;
    SearchOutcome outcome_ = SearchOutcome::NotRun;
    QStringList portsSearched_;
};
