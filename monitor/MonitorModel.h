#pragma once
// The monitor's set-up without its window: the item, unit, alarm and trip lists of the drive
// type, the ten channels (item, unit change, multiplier, offset, colour), the level trigger,
// the time base and the Y maximum, the counts the runs read, and the handlers that apply and
// check each setting. Values restored from the settings file and values typed into the
// window go through the same handlers, so they pass the same checks. The settings section
// (MonitorSettings.cpp) and the activation steps that talk to the drive (MonitorActivation.cpp)
// are members too. The window (ui/MonitorWindow) shows this state and routes its events here;
// the run, the chart, the files and the reports read it.
#include "core/ConversionBases.h"
#include "core/Messages.h"
#include "link/MonitorRunLock.h"
#include "monitor/SampleStore.h"
#include "monitor/SampleWindow.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

class CommLink;
class Options;
struct ProgramContext;

inline constexpr int kMonitorChannels = 10;
// Channel records: 0..9 the channels, 10 the alarm word, 11 the trip code, 12 spare.
inline constexpr int kChannelRecords = 13;
inline constexpr int kAlarmRecord = 10;
inline constexpr int kTripRecord = 11;
// Samples a run can hold per channel; every count that sizes a run's buffers stays below it.
inline constexpr int kMaxSampleTimes = 11000;
// Pixels from the top of the trigger marker to the row it points at.
inline constexpr int kMarkerOffset = 7;
// The longest time base, in milliseconds per division.
inline constexpr int kTimeBaseMaximum = 30000;
// Colours of CH1..CH10 (0x00BBGGRR): red, blue, lime, fuchsia, aqua, maroon, navy, green,
// purple, teal.
inline constexpr int kDefaultChannelColours[kMonitorChannels] = {255, 16711680, 65280, 16711935, 16776960,
                                                                 128, 8388608,  32768, 8388736,  8421376};

// What a run reads of one monitored quantity.
struct MonChannelRec {
    int ParaIndex = -1; // parameter index; -1 when the drive type lacks the parameter
    int Byte = 2;       // value width in bytes: 4 is 32-bit, anything else 16-bit
    int Low = 0;        // low limit; below 0 means a signed value
    float Mul = 1.0f;   // raw value / Mul = displayed value (never 0)
    QString BitNo;      // "" for a whole value, else the bit number ("03")
};

// An edit with its up-down: the text as it stands (typed or written by a handler) and the
// position the up-down holds.
struct NumberSetting {
    QString text;
    int position = 0;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
};

// The settings that are typed; with the channel index they name one edit.
enum class MonitorField { Multiplier, Offset, TriggerLevel, TriggerDelay, YMaximum, TimeBase };

// The lists of the drive type's Info.ini. The unit lists are indexed by item index.
struct MonitorItemLists {
    QStringList codes;        // item keys in file order ("FD00", "FD07-01")
    QStringList names;        // item texts, same order
    QStringList unitKeys;     // keys of the unit section
    QStringList normalUnits;  // each unit key less its first two characters
    QStringList changedUnits; // unit values ("(-)": no changed unit)
    QStringList alarmBits, alarmNames;
    QStringList tripCodes, tripNames;
    bool hasUnitSection = false;

    // The normal unit of item k ("" when the unit section is shorter than the item list).
    QString normalUnit(int k) const;
    // The changed unit of item k ("(-)" when there is none).
    QString changedUnit(int k) const;
    void clear();

    // The sections "<type> Monitor (<suffix>)", "<type> Monitor Unit", "<type> Alarm
    // (<suffix>)" and "<type> Trip (<suffix>)" of the drive type's Info.ini.
    static MonitorItemLists read(const QString& infoIniPath, const QString& typeName,
                                 const QString& languageSuffix);
};

// What the model works out from the drive type, the options, the channels and the speed test.
// Only the model's handlers write it.
struct MonitorRunState {
    // Drive type
    bool itemListLoaded = false;
    int itemCount = 0;
    int tripItemCount = 0;
    // Trigger
    int triggerChannel = 0; // equal to triggerSourceIndex after each trigger display
    int triggerLevel = 0;
    // Counts
    int activeCount = 0;      // active channels plus checked status items
    int channelSlots = 10;    // 10 less one per status item
    int pointsPerChannel = 0; // recordingPointCount div activeCount
    int scrollingSeries = 0;  // the one series whose added points scroll the chart
    // Least milliseconds per item from the speed test; until the first test, the least the
    // test can give.
    int minItemTimeMs = 50;
    int readTimeMs = 0;
    bool startEnabled = false;
    // Status items
    bool watchAlarm = false, watchTrip = false;
    bool keepTripData = false; // a trip ends the run and its data is shown
    int bitOnValue = 15;       // the terminal signal level that reads as a set bit
    // Continuous recording
    bool continuousMode = false;
    int recordMinutes = 0, recordSecondsPerPoint = 0, recordStepFactor = 1;
    QString recordSizeText;      // estimated kilobytes
    QString recordTimeBaseText;  // seconds per division shown
    bool runStopEnabled = false; // the RUN/STOP keys of the pop-up menu
    // The keypad parameters a RUN/STOP key writes; -1 when the drive type lacks them
    int keyCodeIndex = -1; // "FA11"
    int keyFlagIndex = -1; // "FA10"
};

struct MonitorChannel {
    bool checked = false;         // the channel box
    bool shown = true;            // false while a status item takes the row (CH9, CH10)
    int item = -1;                // item index, -1 when none is chosen
    bool unitChecked = false;     // unit change
    bool unitEnabled = true;      // the unit-change box can be used
    bool controlsEnabled = false; // item, multiplier, offset, source label, readout, unit label
    QString unitLabel = QStringLiteral("(-)");
    QString itemText;        // caption of the source label and hint of the readout
    QString code;            // four-character parameter code of the item (ChannelCodes)
    float multiplier = 1.0f; // ChannelMultipliers: multiplier position x 0.1
    qint16 offset = 0;       // ChannelOffsets: offset position
    int colour = 0;          // 0x00BBGGRR
    NumberSetting multiplierEdit{QStringLiteral("1"), 10, 1, 100, 1};
    NumberSetting offsetEdit{QStringLiteral("0"), 0, 0, 500, 1};

    // A channel is sampled when its box is checked and its row is not taken by a status item.
    bool active() const { return checked && shown; }
};

class MonitorModel : public QObject {
    Q_OBJECT
public:
    MonitorModel(ProgramContext& context, Options& options, CommLink& link, QObject* parent = nullptr);
    ~MonitorModel() override;

    ProgramContext& context() { return ctx_; }
    const ProgramContext& context() const { return ctx_; }
    Options& options() { return opt_; }
    // The lock a run holds while it owns the link: the start-up's, which the link and the main
    // window follow (none: the model's own, which nobody else sees).
    void setRunLock(MonitorRunLock* lock) { runLock_ = lock ? lock : &ownRunLock_; }
    MonitorRunLock& runLock() const { return *runLock_; }
    // A run is in progress.
    bool runInProgress() const { return runLock_->running(); }
    // The bases of the "(A)" and "(V)" items: the program's, which the parameter table
    // shares (none: the model's own). The activation sets them.
    void shareConversionBases(ConversionBases* bases) { bases_ = bases ? bases : &ownBases_; }
    const ConversionBases& conversionBases() const { return *bases_; }
    const Options& options() const { return opt_; }
    CommLink& link() { return link_; }

    // ---- Drive type ----------------------------------------------------------------------
    MonitorItemLists lists;

    // ---- Channels ------------------------------------------------------------------------
    std::array<MonitorChannel, kMonitorChannels> channels;
    std::array<MonChannelRec, kChannelRecords> ChannelRecs;

    // ---- Trigger -------------------------------------------------------------------------
    bool triggerChecked = false;
    bool triggerEnabled = true; // the run disables it
    int triggerSourceIndex = 0; // the hidden source list's index, 0..9
    int triggerSlope = 0;       // 0 up, 1 down, 2 both
    bool sourceLabelEnabled = true;
    NumberSetting triggerLevelEdit{QStringLiteral("0"), 0, 0, 500, 5};
    NumberSetting triggerDelayEdit{QStringLiteral("0"), 0, 0, 100, 5};

    // ---- Display -------------------------------------------------------------------------
    NumberSetting yMaximumEdit{QStringLiteral("100"), 100, 100, 500, 5};
    double axisMaximum = 100.0; // the chart's left-axis maximum
    bool zoomChecked = false;
    // Milliseconds per division; the text is seconds per division, one decimal.
    NumberSetting timeBaseEdit{QStringLiteral("0.3"), 250, 250, kTimeBaseMaximum, 500};

    // ---- Run state ---------------------------------------------------------------------
    // What the handlers worked out; the run, the window, the files and the reports read it.
    const MonitorRunState& runState() const { return state_; }
    // The speed test's outcome (MeasureCommSpeed; tests give their own).
    void noteSpeed(int readTimeMs, int minItemTimeMs);
    // A run's length set directly (benchmarks, tests); the recount sets it from the options.
    void setPointsPerChannel(int points) { state_.pointsPerChannel = points; }

    // ---- Samples ---------------------------------------------------------------------------
    // The samples of the last run (the chart, the readout, the files and the reports read
    // them) and the part of them the chart shows. A channel's new multiplier or offset is
    // applied to the points it holds.
    SampleStore samples;
    SampleWindow sampleWindow;

    // The last point of the record the store holds when it is complete (a run's end, a file
    // read); a run in progress leaves the one before.
    int lastPoint() const { return lastPoint_; }
    void keepLastPoint() { lastPoint_ = samples.lastPoint(); }

    // ---- Link -------------------------------------------------------------------------
    // The connect step of a run and of the activation; portOk() keeps its answer.
    bool connectDrive();
    bool portOk() const { return portOk_; }

    // ---- Window -----------------------------------------------------------------------
    // Gives the focus to an edit before its check shows a box (the window sets it).
    void setFocusHandler(std::function<void(MonitorField, int channel)> handler) {
        focusField_ = std::move(handler);
    }
    // The window's caption and the slopes' texts in the chosen language.
    void setLanguageTexts(const QString& caption, const QStringList& slopes);
    const QString& caption() const { return caption_; }
    // The last setting checked was refused (a typed one here, or the window's own scope); the
    // window does not close while it is set.
    bool inputError() const { return inputError_; }
    // The window checked its scope edit: taken or refused.
    void noteScopeChecked(bool taken) { inputError_ = !taken; }

    // ---- Item lists ----------------------------------------------------------------------
    // Rebuilds every list from the drive type's Info.ini (nothing is kept from the last
    // type), clears the channel records, and looks up the keypad parameters. NoItemsToShow when
    // the type has no monitorable items; then itemListLoaded is false and the main window's
    // Monitor command is disabled (monitorCommandEnabled).
    bool BuildMonitorItemLists();

    // ---- Channel handlers (each ends with changed()) -----------------------------------
    // The channel box clicked: recount, the time base back to its shortest.
    void setChannelChecked(int i, bool on);
    // The boxes of the first on.size() channels as a record sets them, then one click's recount.
    void checkChannels(std::span<const bool> on);
    // The item chosen; an index outside the list takes the first item.
    void chooseItem(int i, int item);
    void setUnitChecked(int i, bool on);
    void setColour(int i, int bgr);
    // The text of an edit as the user types it (no check yet).
    void setText(MonitorField field, int channel, const QString& text);
    const NumberSetting& setting(MonitorField field, int channel) const;
    // The check run on leaving an edit, on Enter, at restore and at the close query:
    // DataIncorrect for a text that is no number, OutOfRange (and the limit written back) for
    // one out of range. True when the value was taken.
    bool enter(MonitorField field, int channel = 0);
    // An arrow of the edit's up-down moved it to position p (forced into the range).
    void step(MonitorField field, int channel, int p);

    // ---- Trigger handlers ----------------------------------------------------------------
    void setTriggerChecked(bool on);
    // A click on a channel's source label.
    void clickTriggerSource(int i);
    // A double click on the source display: the next checked channel.
    void nextTriggerSource();
    void setTriggerSourceIndex(int i); // restore: 0..9, else 0
    void setSlope(int slope);          // restore: 0..2, else 0
    void nextSlope();
    void setZoomChecked(bool on);
    QString slopeText() const;

    // ---- Recount -------------------------------------------------------------------------
    // Counts the active items and sets the time base to the shortest they allow: a longer
    // one never survives a recount, so one slow measurement of the link is undone by the next.
    void recount();
    // Shown seconds per division of continuous recording (and the recording's time base and size texts).
    int UpdateContinuousTimeBase();
    // Top of the trigger marker for the level, in a plot rectangle from top to bottom.
    int markerTop(int plotTop, int plotBottom) const;

    // ---- Window life ---------------------------------------------------------------------
    void clearInputError();
    // The close query: refused while a run is in progress or while a time base, multiplier
    // or offset is refused. A refused text of a row that cannot take the focus (hidden or
    // disabled) is put back to its position first.
    bool mayClose();

    // ---- Settings section "Monitor" (MonitorSettings.cpp) --------------------------------
    // Erases the section unless the option "Keep Monitor Setup" is checked.
    void EraseMonitorSetupUnlessKept();
    // Reads the section through the handlers; nothing when the type has no items. A section
    // saved for another drive type or CPU version is erased first.
    void RestoreMonitorSetup();
    // Writes the section in its fixed key order; false when the file could not be written.
    bool WriteMonitorSetup();
    // The keys in the order they are written.
    static QStringList settingsKeys();

    // ---- Activation (MonitorActivation.cpp) ------------------------------------------------
    // Every activation: options read, and while no run is in progress the conversion bases,
    // the speed test and the status items. The drive is asked in the background: the state is
    // notified once the last step is over (at once on a port that offers nothing to watch).
    // A call made while a pass is on its way returns at once; a run started meanwhile, or the
    // window left, ends the pass where it stands.
    void connectAndMeasure();
    // The window was left: a pass on its way ends after its exchange.
    void activationLeft();
    void SetStatusItems();
    bool activating() const { return activating_; }

signals:
    // Any state the window shows changed.
    void changed();
    // The lists were rebuilt for a drive type.
    void listsRebuilt();
    // A channel's multiplier or offset changed: what was drawn or computed with the old one
    // must follow.
    void scaleChanged(int channel);
    // The main window's Monitor command and tool button follow the item list.
    void monitorCommandEnabled(bool on);

private:
    friend class MonitorBatch;
    void notify();
    QString message(MsgId id) const;
    void refuse(MonitorField field, int channel, MsgId id);
    bool enterMultiplier(int i);
    bool enterOffset(int i);
    bool enterTriggerLevel();
    bool enterTriggerDelay();
    bool enterYMaximum();
    bool enterTimeBase();
    void applyItem(int i);
    void applyUnitLabel(int i);
    void fillRecord(MonChannelRec& rec, const QString& code) const;
    void triggerDisplay();
    NumberSetting& settingRef(MonitorField field, int channel);

    // The activation's steps on the link, each from the end of the one before.
    struct SpeedTest {
        int index = -1; // the item read
        int reads = 1;  // reads answered wanted
        int made = 0;
        qint64 startUs = 0, beforeUs = 0;
        std::vector<qint64> answeredUs;
    };
    bool activationTaken();
    void readOnlineBase(int which); // 0 the voltage, 1 the current
    // The speed test on the answer of the activation's connect (portOk()).
    void MeasureCommSpeed();
    void nextSpeedRead(const std::shared_ptr<SpeedTest>& test);
    void finishActivation(bool measured);

    ProgramContext& ctx_;
    Options& opt_;
    MonitorRunLock ownRunLock_;
    MonitorRunLock* runLock_ = &ownRunLock_;
    ConversionBases ownBases_;
    ConversionBases* bases_ = &ownBases_;
    CommLink& link_;
    int batch_ = 0;
    bool pending_ = false;
    bool activating_ = false;
    bool activationLeft_ = false;
    bool portOk_ = false;
    bool inputError_ = false;
    int lastPoint_ = 0;
    MonitorRunState state_;
    std::function<void(MonitorField, int channel)> focusField_;
    QString caption_ = QStringLiteral("Monitoring");
    // Texts of the slopes ("Up", "Down", "Both" or the language's).
    QStringList slopeTexts_ = {QStringLiteral("Up"), QStringLiteral("Down"), QStringLiteral("Both")};
};

// Holds back changed() until the outermost batch ends (restore applies eighty values).
class MonitorBatch {
public:
    explicit MonitorBatch(MonitorModel& m) : m_(m) { ++m_.batch_; }
    ~MonitorBatch();
    MonitorBatch(const MonitorBatch&) = delete;
    MonitorBatch& operator=(const MonitorBatch&) = delete;

private:
    MonitorModel& m_;
};

// The drive's rated voltage and current (the conversion bases): from the
// working table, or read from the drive when the option "Get Current/Voltage Base using
// On-Line" is on. Connects first (keptConnection: the link's kept answer when it holds, so
// that no activation waits for a drive known to be absent); returns whether the drive
// answered the connect step. The monitor's activation and the parameter table's activation
// call it.
bool ReadConversionBases(CommLink& link, const ProgramContext& context, const Options& options,
                         ConversionBases& bases, bool keptConnection = false);
// The speed test's read time: the middle of the reads answered cleanly, else all the time the
// `made` reads took, each.
int SpeedTestReadTimeMs(std::vector<qint64> answeredUs, qint64 allUs, int made);
