#pragma once
// The monitor window: ten channel rows on the "Setting" page (channel box, item, unit change,
// multiplier, offset, colour), the source labels, readouts and units beside the chart on the
// "Display" page, the trigger, time base and Y maximum. It is shown modeless under the main
// window by the "Monitor" command. Its state and every check live in MonitorModel; the window
// routes its events there and shows what the model holds.
#include "monitor/MonitorModel.h"
#include "report/MonitorReport.h"
#include "ui/MonitorControls.h"

#include <QHash>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class UpDownEdit;
class MonitorRunLock;

class ChartWidget;
class EventLoopPacer;
class MonitorRun;
class QAction;
class RunPacer;
class SystemFineClock;
enum class RunEnd;

// The controls of one channel.
struct MonitorChannelRow {
    // "Setting" page
    QCheckBox* channelBox = nullptr;
    QComboBox* itemCombo = nullptr;
    QCheckBox* unitBox = nullptr;
    UpDownEdit* multiplierEdit = nullptr;
    UpDownEdit* offsetEdit = nullptr;
    ColourSwatch* swatch = nullptr;
    // "Display" page
    ClickLabel* sourceLabel = nullptr;
    QLineEdit* readout = nullptr;
    QLabel* unitLabel = nullptr;
};

// What the window needs of the main window.
struct MonitorWindowHooks {
    // The main window's frame: the monitor opens under it.
    std::function<QRect()> mainFrame;
    // The main window's "Monitor" item and tool button.
    std::function<void(bool)> setMonitorCommandEnabled;
    // "Print": the run's page to the monitor print window, shown and previewed.
    std::function<void(report::MonitorReportData)> print;
    // After a run that saw a trip with the trip data kept: the inverter information and the
    // trip data read into a result window, shown when "Display Data at Trip" is on.
    std::function<void()> tripReport;
    // The main window's lock while a run owns the link (none: nothing is locked).
    MonitorRunLock* runLock = nullptr;
};

// A time base text as the window shows it, with the value it reads as.
report::TimeBaseText shownTimeBase(const QString& text);

class MonitorWindow : public QWidget {
    Q_OBJECT
public:
    // pacer: what the runs wait with (tests pass one that moves virtual time); null takes
    // the system's clock and the event loop.
    MonitorWindow(ProgramContext& context, Options& options, CommLink& link, MonitorWindowHooks hooks,
                  QWidget* parent = nullptr, RunPacer* pacer = nullptr);
    ~MonitorWindow() override;

    MonitorModel& model() { return *model_; }
    MonitorRun& run() { return *run_; }

    // Creation: placement, texts, the saved set-up forgotten unless it is kept, the lists of
    // the drive type and the set-up restored. Does nothing once start-up has failed.
    void placeAndLoadSetup();
    // The "Monitor" command: shows the window (not modal) and brings it to the front.
    void ShowMonitor();
    // File > New chose a drive type: the lists follow it and its saved set-up is restored.
    void RebuildForDriveType();
    // Texts of the language file's section "Monitor".
    void LoadMonitorTexts();
    // A text of section "Monitor" as loaded (filters, captions the chart and reports use).
    QString monitorText(const QString& key) const { return texts_.value(key); }

    // ---- Controls ----
    std::array<MonitorChannelRow, kMonitorChannels> rows;
    QTabWidget* pages = nullptr;
    QWidget* settingPage = nullptr;
    QWidget* displayPage = nullptr;
    QLabel *unitHeading = nullptr, *multiplierHeading = nullptr, *offsetHeading = nullptr,
           *colourHeading = nullptr;
    QGroupBox* triggerGroup = nullptr;
    QLabel *levelCaption = nullptr, *delayCaption = nullptr;
    UpDownEdit* levelEdit = nullptr;
    UpDownEdit* delayEdit = nullptr;
    QLabel *triggerHeading = nullptr, *valueHeading = nullptr;
    ChartWidget* chart = nullptr;
    // Over the chart: alarm names, trip name, "Waiting for Trigger", the error count, the
    // time base of the run; and the trigger marker.
    QLabel *alarmLabel = nullptr, *tripLabel = nullptr, *waitLabel = nullptr, *errLabel = nullptr,
           *errCountLabel = nullptr, *timeBaseLabel = nullptr, *timeBaseUnit = nullptr;
    TriggerMarker* marker = nullptr;
    QLabel* zoomCaption = nullptr;
    UpDownEdit* scopeEdit = nullptr; // the visible share of the record, in percent
    // RUN (Shift+F9) and STOP (F9) of the drive; in no menu.
    QAction *runAction = nullptr, *stopAction = nullptr;
    QLabel *maxCaption = nullptr, *timeCaption = nullptr, *timeUnit = nullptr;
    UpDownEdit* yMaximumEdit = nullptr;
    UpDownEdit* timeEdit = nullptr;
    QLabel* continuousTime = nullptr; // seconds per division of continuous recording
    QLabel* continuousCaption = nullptr;
    QCheckBox* zoomBox = nullptr;
    QCheckBox* triggerBox = nullptr;
    QLabel* sourceCaption = nullptr;
    ClickLabel* sourceDisplay = nullptr;
    QLabel* slopeCaption = nullptr;
    SlopePicture* slopePicture = nullptr;
    QPushButton *startButton = nullptr, *stopButton = nullptr, *openButton = nullptr, *saveAsButton = nullptr,
                *printButton = nullptr;

    // The edit of a typed setting.
    UpDownEdit* editOf(MonitorField field, int channel = 0) const;
    // Brings every control up to the model (the model's changed() does it).
    void refresh();

    void applyColoursAndConnect();
    void saveMonitorSetup();

    // Start and Stop. A run that saw a trip with the trip data kept ends with the trip report.
    RunEnd startMonitoring();
    void stopMonitoring();
    // Open: a monitor file read back (set-up and samples). False when nothing was read.
    bool openMonitorFile();
    // Save As: a monitor file, the CSV export or a picture by the name's extension; pictures
    // only in continuous mode. False when nothing was written.
    bool saveMonitorFileAs();
    // Print: the chart to the clipboard and the run's page to the print window.
    void printChart();
    // The run's page as the print window lays it out: the model's set-up, the channel rows
    // from the samples and `chart` as the picture.
    report::MonitorReportData reportData(const QImage& chart) const;
    // The main window's printer check: without a printer the Print button stays off.
    void setPrintAllowed(bool on);
    // A click on point `index` of a channel's curve: the readout box.
    void showReadout(int channel, int index);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    class UnderMainWindow* placement_ = nullptr;
    void buildSettingPage();
    void buildDisplayPage();
    void bindEdit(UpDownEdit* edit, MonitorField field, int channel);
    void refreshItemLists();
    void resetForShowing();
    // One handler per kind of per-channel control.
    void channelBoxClicked(int i, bool on);
    void itemChosen(int i, int item);
    void unitBoxClicked(int i, bool on);
    void swatchDoubleClicked(int i);
    void sourceLabelClicked(int i);
    // What a run shows beside the chart (each sample).
    void showRunState();
    void placeOverlays();
    void placeMarker();
    void markerMoved(int top, bool released);
    void pageChanged();
    // The scope typed into its field: DataIncorrect or OutOfRange as the other fields; true when taken.
    bool enterScope();

    std::unique_ptr<MonitorModel> model_;
    std::unique_ptr<SystemFineClock> fineClock_;
    std::unique_ptr<EventLoopPacer> ownPacer_;
    std::unique_ptr<MonitorRun> run_;
    MonitorWindowHooks hooks_;
    QHash<QString, QString> texts_;
    QString openTitle_ = QStringLiteral("Open");
    QString saveTitle_ = QStringLiteral("Save As");
    bool refreshing_ = false;
    bool printAllowed_ = true;
    // The caption after a monitor file was opened or saved (empty: the window's own).
    QString fileCaption_;
};
