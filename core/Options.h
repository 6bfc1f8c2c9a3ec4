#pragma once
// The environment options: the live state every window reads at the moment it needs an
// option (a check mark, an up-down position, a colour, the free-unit factor's text), with
// the enabled states readers test. The options window only shows and edits this object,
// so the click rules, interlocks, loading, saving and factory defaults run without it.
//
// A check box changed by code runs its click rule exactly as a user's click does; rules
// run on real changes only.
#include "core/Asker.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class Options;
struct ProgramContext;

// A check box of the options window.
class CheckOption {
public:
    bool checked() const { return checked_; }
    // Whether the box can be used; readers of the ruled options test it with checked().
    bool enabled() const;
    // Sets the check mark and, when it changes, runs the box's click rule.
    void setChecked(bool on);
    const char* name() const { return name_; }

private:
    friend class Options;
    CheckOption(Options* owner, const char* name, bool def) : owner_(owner), name_(name), checked_(def) {}
    Options* owner_;
    const char* name_;
    bool checked_;
};

// An up-down control with its edit. The edit holds what the user typed until a check
// accepts it; any change of the position rewrites the edit.
class UpDownOption {
public:
    int position() const { return position_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int step() const { return step_; }
    bool enabled() const;
    // The position, forced into the range as the up-down does.
    void setPosition(int p);
    // The text of the edit beside it (for the free-unit factor: position / 100).
    const QString& text() const { return text_; }
    // Typed text, not yet checked.
    void setText(const QString& t);
    const char* name() const { return name_; }   // the up-down's name
    const char* field() const { return field_; } // the edit's name
    // True for the edits checked on leaving them.
    bool validated() const { return validated_; }

private:
    friend class Options;
    UpDownOption(Options* owner, const char* name, const char* field, int min, int max, int step, int def,
                 bool validated)
        : owner_(owner), name_(name), field_(field), min_(min), max_(max), step_(step), position_(def),
          validated_(validated) {}
    QString format(int p) const;
    Options* owner_;
    const char* name_;
    const char* field_;
    int min_, max_, step_;
    int position_;
    bool validated_;
    QString text_;
};

// A colour swatch; the value is 0x00BBGGRR as the settings file stores it.
class ColorOption {
public:
    int value() const { return value_; }
    QColor color() const;
    void setValue(int bgr);
    void setColor(const QColor& c);
    const char* name() const { return name_; }
    static int toBgr(const QColor& c);
    static QColor fromBgr(int bgr);

private:
    friend class Options;
    ColorOption(Options* owner, const char* name, int def) : owner_(owner), name_(name), value_(def) {}
    Options* owner_;
    const char* name_;
    int value_;
};

class Options : public QObject {
    Q_OBJECT
public:
    // The options of the program whose settings file, drive type and store the context names.
    explicit Options(ProgramContext& context);
    ~Options() override;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;

    // Tab "Startup/Comm."
    CheckOption startWithLastLanguage{this, "StartLang", true};
    CheckOption startWithLastDrive{this, "StartInv", true};
    CheckOption checkPrinters{this, "PrinterChk", false};
    CheckOption checkDriveTypeAndCapacity{this, "TypCapChk", true};
    CheckOption exportToEeprom{this, "EEPWriteEnable", true};
    CheckOption exportChangedOnly{this, "WriteNotChgPara", true};
    CheckOption showTransferErrors{this, "ParaErrDisp", false};
    CheckOption showTransferResult{this, "ParaResult", true};
    CheckOption showComparisonMessage{this, "CompMsgDisp", false};
    CheckOption showComparisonResult{this, "CompResult", true};
    CheckOption useMaintenanceMode{this, "SUMode", false};
    // Tab "File/Parameter"
    CheckOption saveChangedOnly{this, "SaveNotChgPara", false};
    CheckOption saveTransferResult{this, "ParaSkipSave", false};
    CheckOption registerFileType{this, "FileRegist", true};
    CheckOption enterMovesToNextCell{this, "ParaEnt", true};
    UpDownOption undoDepth{this, "UndoMaxSet", "Edit1", 0, 100, 1, 10, true};
    // Tab "Key Pad/Monitoring"
    UpDownOption ledBlinkInterval{this, "LedDispTime", "Edit7", 0, 1000, 5, 260, true};
    ColorOption monitorBackColor{this, "MonCB", 0xFFFFFF};
    UpDownOption terminalSignalLevel{this, "TBValSet", "Edit2", 0, 100, 1, 15, true};
    CheckOption useFreeUnit{this, "FreeUnitMon", false};
    UpDownOption freeUnitFactor{this, "ValMulti", "Edit9", 1, 20000, 10, 100, true};
    UpDownOption recordingPointCount{this, "MonRecPoint", "Edit4", 1250, 10000, 1, 3000, true};
    CheckOption continuousMonitoring{this, "CntMon", false};
    UpDownOption continuousRecordMinutes{this, "CntMonTime", "Edit5", 30, 1440, 10, 120, true};
    UpDownOption continuousSampleSeconds{this, "CntMonSmp", "Edit6", 10, 300, 5, 10, true};
    CheckOption monitorRunStopControl{this, "MonInvDrive", false};
    CheckOption monitorShowsAlarms{this, "MonAlrmDisp", true};
    CheckOption monitorShowsTrips{this, "MonTripDisp", true};
    CheckOption monitorShowsTripData{this, "MonTripDataDisp", true};
    CheckOption keepMonitorSetup{this, "MonKeep", false};
    // Tab "Master's"
    CheckOption newSetEndsMaintenance{this, "MainteClear", false};
    CheckOption showBufferTable{this, "DispBuffer", false};
    UpDownOption readTimeMargin{this, "ComSpMarg", "Edit8", 0, 100, 1, 50, false};
    UpDownOption timedTestReads{this, "ComChkTimes", "Edit3", 1, 100, 1, 5, false};
    CheckOption zeroOnCommError{this, "CheckBox1", false};
    CheckOption currentVoltageCellColor{this, "CheckBox2", false};
    CheckOption onlineCurrentVoltageBase{this, "CheckBox3", false};
    CheckOption hlpParameterHelp{this, "WinHelpSlct", false};
    ColorOption settingValueTextColor{this, "PSTextC", 0x000000};
    ColorOption settingValueCellColor{this, "PSCellC", 0xFFFFFF};
    ColorOption otherValueTextColor{this, "PNTextC", 0x000000};
    ColorOption otherValueCellColor{this, "PNCellC", 0xE0FFFF};
    ColorOption selectedTextColor{this, "PSlctTextC", 0xFFFFFF};
    ColorOption currentVoltageColor{this, "PCVCellC", 0x00FFFF};
    ColorOption waitingTextColor{this, "WaitMsgC", 0x808080};
    ColorOption chartTimeColor{this, "CTimeC", 0x808080};
    ColorOption chartErrorCountColor{this, "CErrC", 0x808080};
    // Never shown: the drive type's RUN/STOP lock (Info.ini [Setup] Option2).
    CheckOption runStopLock{this, "Option2Chk", false};

    // The free-unit factor as the monitor reads it: the text of its edit ("1.00" for 100).
    QString freeUnitFactorText() const { return freeUnitFactor.text(); }
    // The RUN/STOP hint labels: visible while monitorRunStopControl is checked, enabled with it.
    bool runStopLabelsVisible() const { return monitorRunStopControl.checked(); }
    // The continuous-recording fields and their labels follow continuousMonitoring.
    bool continuousFieldsEnabled() const { return continuousMonitoring.checked(); }

    // The hidden "Master's" tab, shown by maintenance mode.
    bool mastersTabVisible() const { return mastersTab_; }
    void setMastersTabVisible(bool on);

    // Set to 1 by a check that rejected its field, to 0 by one that accepted; cleared at
    // every showing.
    quint8 entryRejected = 0;

    // ---- The window's operations, headless ---------------------------------------------

    // Creation: checkDriveTypeAndCapacity checked, the Master's tab hidden, the settings loaded (connecting
    // to the drive in between), the trip and alarm options enabled for the drive type.
    // Does nothing, and returns false, once start-up has failed.
    bool create(const std::function<void()>& connectDrive = {});
    // Reads section "Options" of the settings file; numbers are forced into their ranges
    // and colours outside 0..0xFFFFFF take their default.
    void loadSettings(const std::function<void()>& connectDrive = {});
    // Writes section "Options" in its fixed key order, leaving other keys and sections as
    // they are. A failed write hands back the box naming the file and the reason, once per run.
    struct SaveOutcome {
        bool saved = false;
        std::optional<Notice> failure;
    };
    SaveOutcome saveSettings();
    // Showing: entryRejected cleared, the enabled states brought up to date.
    void show();
    // The checks run on closing, their boxes shown through the asker; false (the window stays)
    // when any of them rejected.
    bool closeQuery(Asker& asker);
    // The check of one edit: message DataIncorrect for an empty or non-numeric text, message
    // OutOfRange with the bound for one out of range. True when accepted.
    bool validate(UpDownOption& field, Asker& asker);
    // The edits without a check (readTimeMargin, timedTestReads): the up-down takes a typed number, forced
    // into its range, as it reads its edit; anything else puts the position back in the edit.
    void takeTypedPosition(UpDownOption& field);
    // "Restore to factory settings" and "Set default colors".
    void restoreFactorySettings();
    void setDefaultColors();

    // Enabled states of the options that depend on the drive type and the program state.
    // Re-reads the drive type's Info.ini (its Option2 lock and its alarm and trip lists);
    // called when a drive type is loaded and whenever a window wants the states fresh.
    void UpdateTripAlarmOptions();
    void UpdateRunStopControl();

    // ---- Hooks ------------------------------------------------------------------------

    // Applies the file-type association for the state of registerFileType (the running program's
    // XDG association unless replaced).
    void setAssociationHandler(std::function<void(bool)> h) { association_ = std::move(h); }
    // Shows the data store's inspection window when showBufferTable becomes checked.
    void setDataStoreViewer(std::function<void()> h) { dataStoreViewer_ = std::move(h); }
    // Called with a rejected edit before its box, so the window can give it the focus.
    void setFocusBack(std::function<void(UpDownOption&)> h) { focusBack_ = std::move(h); }

    // Every check box, up-down and swatch, for binding and tests.
    QList<CheckOption*> checks();
    QList<UpDownOption*> upDowns();
    QList<ColorOption*> colors();

    // The keys of section "Options" in the order they are written.
    static QStringList settingsKeys();

signals:
    // Any state of the options changed (check mark, enabled state, position, text, colour,
    // tab visibility).
    void changed();

private:
    friend class CheckOption;
    friend class UpDownOption;
    friend class ColorOption;
    void clicked(CheckOption& box);
    void resultSavingRule();
    bool hasParameter(const char* comNo) const;
    bool maintenanceUnlocked() const;
    bool enabledOf(const CheckOption& box) const;
    void emitChanged() { emit changed(); }

    ProgramContext& context_;
    bool mastersTab_ = false;
    bool resultSavingAlwaysAllowed_ = false; // Info.ini [Setup] Option1
    bool alarmList_ = true;                  // the drive type lists its alarm bits
    bool tripList_ = true;                   // the drive type lists its trip codes
    bool saveFailureShown_ = false;
    std::function<void(bool)> association_;
    std::function<void()> dataStoreViewer_;
    std::function<void(UpDownOption&)> focusBack_;
};
