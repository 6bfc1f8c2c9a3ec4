#pragma once
// A monitor run, without its window: Start takes the link for itself, samples every active
// channel at the set pace into the model's sample store, watches the alarm word and the trip
// code, passes RUN and STOP of the drive to it between samples, and returns when the run has
// ended (all points taken, Stop, a trip with "Display Data at Trip", the recording's time up,
// or the application quitting). Three loops share the per-sample steps: the normal one, the
// level-triggered one and the continuous recording to a CSV file.
//
// Rules every loop keeps:
// - Sample k is due at start + k x period on the pacer's clock; a sample that comes after
//   its whole slot has passed is counted as late and takes the slot it falls in, so samples
//   are never taken back to back to catch up.
// - Every active channel (checked and not hidden by a status item) gets exactly one point
//   per sample: a failed read is an error point, a reading that is no number a gap. Point p
//   of every channel is sample p.
// - The run lock (which the link and the main window follow) is set and cleared by one guard, so no way out
//   of a run leaves the program locked; RUN and STOP requests are cleared at every Start and
//   at every end.
// - The exchanges go through the link's one routine; handlers that run while the loop waits
//   or between two exchanges only set flags, so no two exchanges overlap. A Stop between the
//   exchanges of a sample drops that sample (unless the run has none yet): a silent drive
//   holds Stop for one reply time-out, not for a whole sample.
//
// The window routes Start, Stop and the two keys here and shows `display()` and the store
// when sampleTaken() is emitted.
#include "monitor/MonitorModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class RunPacer;
class ContinuousRecorder;

enum class RunKind { Normal, Triggered, Continuous };

enum class RunEnd {
    Refused,    // not started: no drive, nothing to sample, no trigger source, or a run in progress
    Cancelled,  // a recording whose file was not chosen or could not be created
    Completed,  // every point taken, or the recording's time is up
    Stopped,    // Stop
    Tripped,    // a trip code with "Display Data at Trip"
    FileFailed, // a recording row could not be written (the rows before it stay)
    Quit,       // the application is quitting
};

// What the window shows of a run beside the chart.
struct RunDisplay {
    std::array<QString, kMonitorChannels> readouts; // the channels' values
    QString alarm;                                  // names of the set alarm bits
    QString trip;                                   // the trip's name
    bool waiting = false;                           // "Waiting for Trigger"
    bool errorsShown = false;                       // "Err.:" and the count
    int errorCount = 0;
    QString timeBase; // seconds per division of the run, as the chart's time label shows it
};

// Holds the run lock set for as long as it lives.
class MonitorRunningGuard {
public:
    explicit MonitorRunningGuard(MonitorRunLock& lock) : lock_(lock) { lock_.setRunning(true); }
    ~MonitorRunningGuard() { lock_.setRunning(false); }
    MonitorRunningGuard(const MonitorRunningGuard&) = delete;
    MonitorRunningGuard& operator=(const MonitorRunningGuard&) = delete;

private:
    MonitorRunLock& lock_;
};

class MonitorRun : public QObject {
    Q_OBJECT
public:
    MonitorRun(MonitorModel& model, RunPacer& pacer, QObject* parent = nullptr);
    ~MonitorRun() override;

    // Start: returns when the run has ended.
    RunEnd start();
    // Stop: the run ends after the sample in progress (or at once while it waits).
    void stop();
    // RUN (Shift+F9) and STOP (F9) of the drive. During a normal or triggered run the loop
    // carries them out between its exchanges, at once if it is waiting; otherwise (no run, a
    // recording) they are written at once.
    void driveRun();
    void driveStop();

    bool running() const { return running_; }
    RunKind kind() const { return kind_; }
    const RunDisplay& display() const { return display_; }
    // What the window shows beside the chart for a record opened from a file: readouts of
    // "0", the record's time base and its failed reads.
    void showRecord(const QString& timeBase, int errorCount);
    // Samples of the last run that came after their whole slot had passed.
    int lateSamples() const { return late_; }
    // The sample period of the last run in microseconds.
    qint64 periodMicros() const { return period_; }
    // The last run saw a trip code; cleared at the next Start.
    bool tripped() const { return tripped_; }

    // Texts of the recording's file dialog (the window's language texts).
    QString saveTitle = QStringLiteral("Save As");
    QString saveFilter = QStringLiteral("Monitor Datas(*.csv)|*.csv");

    // The key code of a RUN or STOP press held for `holdMs` (low byte 1 RUN, 2 STOP; above it
    // the time in units of 4 ms, at most 255 when the key code parameter is 16 bits wide).
    static qint64 keyCode(int key, qint64 holdMs, bool wideKeyCode);

signals:
    // The run has begun: the set-up controls are locked.
    void runStarted();
    // A sample was taken (or the buffer waits for a trigger): readouts, labels and chart.
    void sampleTaken();
    // The run has ended: the controls are back.
    void runFinished(RunEnd end);

private:
    struct Setup;
    enum class Read { Value, Failed, NoNumber };
    struct ChannelReading {
        Read outcome = Read::Failed;
        double value = 0;
    };

    RunEnd refuse(MsgId message, bool errorIcon);
    RunEnd refuse(const QString& text, bool errorIcon);
    // The active channels whose item the link's protocol cuts to 16 bits, as "CHn : item".
    QStringList cutChannels() const;
    void prepare(Setup& s);
    void requestEnd(RunEnd why);
    RunEnd sampleIntoStore(int first, SampleStore::PointKind firstErrorKind,
                           SampleStore::PointKind laterErrorKind);
    RunEnd runNormal();
    RunEnd runTriggered();
    RunEnd runContinuous();
    std::optional<RunEnd> openRecording(ContinuousRecorder& recorder);

    using ChannelReadings = std::array<ChannelReading, kMonitorChannels>;
    ChannelReading readChannel(int i);
    // Reads every active channel of one sample, with events let through after each exchange.
    // With `mayDrop`, a Stop that comes meanwhile ends the reading: false, the sample is dropped.
    bool readChannels(ChannelReadings& out, bool mayDrop);
    void betweenExchanges();
    void showValue(int i, double value);
    void noteNoNumber(int i);
    void readStatus();
    void countError(bool failed);
    void serviceRequests();
    void writeKey(int index, qint64 value);
    void pressImmediately(int key);
    void beginSchedule();
    // Waits for the next slot of the schedule; false when the run must end (Stop, a trip or
    // the application quitting), with the reason in end_.
    bool waitForNextSlot();
    quint32 elapsedMs() const;
    void scroll(int p);

    MonitorModel& m_;
    RunPacer& pacer_;
    std::unique_ptr<Setup> s_;
    RunDisplay display_;
    RunKind kind_ = RunKind::Normal;
    bool running_ = false;
    bool stopRequest_ = false;
    // RUN and STOP of the drive pressed during a run, carried out between two exchanges.
    bool driveRunRequest_ = false;
    bool driveStopRequest_ = false;
    bool tripped_ = false;
    RunEnd end_ = RunEnd::Completed;
    bool noNumberShown_ = false;
    qint64 period_ = 0;
    qint64 start_ = 0;
    qint64 slot_ = 0;
    int late_ = 0;
};
