#pragma once
// The monitor window: ten channel rows on the "Setting" page (channel box, item, unit change,
// multiplier, offset, colour), the source labels, readouts and units beside the chart on the
// "Display" page, the trigger, time base and Y maximum. It is shown modeless under the main
// window by the "Monitor" command. Its state and every check live in MonitorModel; the window
// routes its events there and shows what the model holds.
#include "monitor/MonitorModel.h"

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

class ChartWidget;
class EventLoopPacer;
class MonitorRun;
class QAction;
class RunPacer;
class SystemFineClock;
enum class RunEnd;

// A label that reports clicks and double clicks (disabled, it reports nothing).
class ClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick, onDoubleClick;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// The channel colour; a double click picks another.
class ColourSwatch : public QWidget {
public:
    explicit ColourSwatch(QWidget* parent = nullptr);
    void setColour(const QColor& c);
    QColor colour() const { return colour_; }
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QColor colour_;
};

// The trigger slope as a picture (rising, falling, both); a double click steps it.
class SlopePicture : public QWidget {
public:
    explicit SlopePicture(QWidget* parent = nullptr);
    void setSlope(int slope);
    int slope() const { return slope_; }
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    int slope_ = 0;
};

// The trigger marker at the chart's left edge: it points at the trigger level, and dragging
// it up or down sets the level.
class TriggerMarker : public QWidget {
public:
    explicit TriggerMarker(QWidget* parent = nullptr);
    // The marker's top while it is dragged (held inside the plot); the end of the drag.
    std::function<void(int top)> onMove, onRelease;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool dragging_ = false;
    int grabY_ = 0;
};

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
};

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
    void FormCreate();
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

    void FormActivate();
    void FormDeactivate();

    // Start and Stop.
    RunEnd MonStartClick();
    void MonStopClick();
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
    void FormShow();
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
    // The scope typed into its field: message 67 or 41 as the other fields; true when taken.
    bool enterScope();

    std::unique_ptr<MonitorModel> model_;
    std::unique_ptr<SystemFineClock> fineClock_;
    std::unique_ptr<EventLoopPacer> ownPacer_;
    std::unique_ptr<MonitorRun> run_;
    MonitorWindowHooks hooks_;
    QHash<QString, QString> texts_;
    QString saveTitle_ = QStringLiteral("Save As");
    bool refreshing_ = false;
};
