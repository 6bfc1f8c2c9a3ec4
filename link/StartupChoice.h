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
    // Lines for searching the ports side by side (null: one after another on the link).
    SearchLineFactory searchLines = {};
    // The search waits for runDetection (the form shows first); the first entries meanwhile.
    bool detectLater = false;
};

// How the last search for the drive ended.
enum class SearchOutcome { NotRun, Found, NothingAnswered, Stopped, NoPort };

class StartupChoice {
public:
    using Context = StartupContext;

    // A settings key that was never written.
    static constexpr int kMissing = 999;
    // The languages offered when the settings name none, first the one preselected.
    static QStringList defaultLanguages();

    // The choice of the program the context describes; the close hands it over there.
    explicit StartupChoice(ProgramContext& program, const Context& context = Context());

    // The creation handler: reads the settings, lists the languages and drive types and
    // preselects the last drive (or, when that is not wanted, the drive found on the link).
    // Boxes go through the prompter. Sets the program's startupAborted and returns false when
    // the data folder offers no drive type.
    bool FormCreate();
    // The close handler: commits the choice to the program context, the settings file and the main
    // window's lists. Runs at most once; later calls do nothing.
    void FormClose();
    bool closed() const { return closed_; }
    // FormCreate ran and found something to offer.
    bool created() const { return created_; }
    // Created with detectLater and the search still to run.
    bool detectionDue() const { return detectionDue_; }
    // Runs the search left for later and preselects what it finds; `progress` follows it and
    // may stop it.
    void runDetection(const SearchProgressHandler& progress);

    // ---- The lists and their positions -------------------------------------------------
    QStringList LangForm;
    int LangPos = -1;
    QStringList I_TypeForm; // drive-type names, in the data folder's order
    QStringList I_TypeNo;   // their catalogue codes
    int TypePos = -1;
    QStringList I_CapaForm; // capacity names, sorted
    QStringList I_CapaNo;   // their catalogue codes
    int CapaPos = -1;
    QStringList I_CpuForm; // CPU versions ("V110")
    QStringList I_CpuNo;   // their numbers ("110")
    int CpuPos = -1;
    QStringList DatFolderName; // drive-type folder names, sorted

    // ---- Fields ------------------------------------------------------------------------
    int LangNo = 0;
    int CheckInv = 0;
    int CheckLang = kMissing;
    int InvTypeNo = kMissing, InvFormNo = kMissing, InvCpuNo = kMissing; // stored positions
    QString MsgNoPort, MsgClosed, MsgNoData, MsgNoLastData;
    QString MsgNothingAnswered, MsgSearchStopped; // the form's words after a search
    QString LanguageIniPath;                      // the language file the texts came from
    QString DataFolder;
    // Communication settings the close writes to "Comms" after a detection.
    int PortPos = 0;
    int SpeedIdx = 3, ParityIdx = 1, ProtocolIdx = 0;
    // The connected drive was looked for (its settings are then stored at close).
    bool DetectionRan = false;
    SearchOutcome Outcome = SearchOutcome::NotRun;
    QStringList PortsSearched; // the ports that opened for the last search

    // ---- List builders -----------------------------------------------------------------
    // Usable alone for the CPU versions of one type: set DataFolder, ScanDataFolder(DataFolder),
    // then FillCpuList(type) fills I_CpuForm and I_CpuNo.
    void ScanDataFolder(const QString& folderName);
    void FillCpuList(const QString& typeName);
    void FillCapacityList(const QString& typeName, const QString& cpuText);
    void SelectDriveType(const QString& typeName, int cpuPos);
    // The change rules the user's choice in a list runs (not run by code that sets a position).
    void I_TypeFormChange();
    void I_CpuFormChange();
    // The common selection step: positions of type, capacity and CPU version.
    void selectPositions(int typePos, int capaPos, int cpuPos);

    // The entry at pos, "" when pos is outside the list.
    static QString at(const QStringList& list, int pos);
    // Position of text in list ignoring case (the program's list look-up), -1 when absent.
    static int positionOf(const QStringList& list, const QString& text);

    // The data folder as a path ("/" separated).
    QString dataFolderPath() const;

private:
    void readMessages(const QString& languageIniPath);
    void preselectLastDrive();
    void detectAndSelect(const SearchProgressHandler& progress);
    // Writes "Default" (and "Comms" when asked), takes the decimal-comma choice; returns the WHP option.
    bool writeSettings(bool storeComms);

    ProgramContext& program_;
    Context context_;
    bool closed_ = false;
    bool created_ = false;
    bool detectionDue_ = false;
};
