#include "ui/MonitorWindow.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "monitor/MonitorRun.h"
#include "monitor/RunPacing.h"
#include "platform/Prompter.h"
#include "ui/ChartWidget.h"
#include "ui/FormActivation.h"
#include "ui/TextButton.h"
#include "ui/UnderMainWindow.h"
#include "ui/UpDownEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kClientWidth = 631;
constexpr int kClientHeight = 376;
constexpr int kEditWidth = 58;
constexpr int kRowHeight = 22;

QString channelName(int i) {
    return QStringLiteral("CH") + QString::number(i + 1);
}

void setTextColour(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}

void setBackground(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, c);
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

} // namespace

// ---- MonitorWindow ------------------------------------------------------------------------------

MonitorWindow::MonitorWindow(ProgramContext& context, Options& options, CommLink& link,
                             MonitorWindowHooks hooks, QWidget* parent, RunPacer* pacer)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint),
      model_(std::make_unique<MonitorModel>(context, options, link)), hooks_(std::move(hooks)) {
    model_->setRunLock(hooks_.runLock);
    if (!pacer) {
        fineClock_ = std::make_unique<SystemFineClock>();
        ownPacer_ = std::make_unique<EventLoopPacer>(*fineClock_);
        pacer = ownPacer_.get();
    }
    run_ = std::make_unique<MonitorRun>(*model_, *pacer);
    setObjectName(QStringLiteral("Monitoring"));
    setWindowTitle(model_->caption());
    resize(kClientWidth, kClientHeight);

    pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    // The window's least size is the design's, or more where the texts of a language or of
    // the channels' items need it (the design's size shares the pages' cell): the layout then
    // widens the window.
    auto* outer = new QGridLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(pages, 0, 0);
    outer->addItem(new QSpacerItem(kClientWidth, kClientHeight), 0, 0);
    buildSettingPage();
    buildDisplayPage();
    pages->addTab(settingPage, QStringLiteral("Setting"));
    pages->addTab(displayPage, QStringLiteral("Display"));
    pages->setCurrentWidget(displayPage);

    MonitorModel& m = *model_;
    m.setFocusHandler([this](MonitorField field, int channel) {
        UpDownEdit* e = editOf(field, channel);
        if (e && e->isVisible() && e->isEnabled())
            e->setFocus(Qt::OtherFocusReason);
    });
    connect(&m, &MonitorModel::changed, this, &MonitorWindow::refresh);
    connect(&m, &MonitorModel::listsRebuilt, this, &MonitorWindow::refreshItemLists);
    connect(&m, &MonitorModel::monitorCommandEnabled, this, [this](bool on) {
        // While the window is shown its command stays off; closing turns it on again.
        if (hooks_.setMonitorCommandEnabled)
            hooks_.setMonitorCommandEnabled(on && !isVisible());
    });
    connect(&m, &MonitorModel::scaleChanged, chart, [this] { chart->update(); });
    FormActivation::watch(this, [this] { applyColoursAndConnect(); });
    FormActivation::watchDeactivation(this, [this] {
        model_->activationLeft();
        saveMonitorSetup();
    });

    MonitorRun& r = *run_;
    connect(&r, &MonitorRun::runStarted, this, [this] {
        const MonitorModel& mm = *model_;
        for (int i = 0; i < kMonitorChannels; ++i) {
            const MonitorChannel& c = mm.channels[std::size_t(i)];
            chart->setSeriesActive(i, c.active());
            chart->setSeriesTitle(i, c.itemText);
        }
        chart->setRunning(true);
        refresh();
        showRunState();
        pageChanged();
    });
    connect(&r, &MonitorRun::sampleTaken, this, &MonitorWindow::showRunState);
    connect(&r, &MonitorRun::runFinished, this, [this] {
        chart->setRunning(false);
        refresh();
        showRunState();
    });
    connect(startButton, &QPushButton::clicked, this, [this] { startMonitoring(); });
    connect(stopButton, &QPushButton::clicked, this, [this] { stopMonitoring(); });
    connect(openButton, &QPushButton::clicked, this, [this] { openMonitorFile(); });
    connect(saveAsButton, &QPushButton::clicked, this, [this] { saveMonitorFileAs(); });
    connect(printButton, &QPushButton::clicked, this, [this] { printChart(); });
    connect(pages, &QTabWidget::currentChanged, this, [this] { pageChanged(); });

    // Not in any menu: the options window names the keys beside "MonInvDrive".
    runAction = new QAction(QStringLiteral("Inverter Run"), this);
    runAction->setObjectName(QStringLiteral("InvRun"));
    runAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F9));
    stopAction = new QAction(QStringLiteral("Inverter Stop"), this);
    stopAction->setObjectName(QStringLiteral("InvStop"));
    stopAction->setShortcut(QKeySequence(Qt::Key_F9));
    for (QAction* a : {runAction, stopAction}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    connect(runAction, &QAction::triggered, this, [this] { run_->driveRun(); });
    connect(stopAction, &QAction::triggered, this, [this] { run_->driveStop(); });
    refresh();
}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::buildSettingPage() {
    settingPage = new QWidget;
    settingPage->setObjectName(QStringLiteral("TabSheet1"));
    auto* grid = new QGridLayout(settingPage);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    auto heading = [&](const char* name, const char* text, int col) {
        auto* l = new QLabel(QString::fromLatin1(text), settingPage);
        l->setObjectName(QString::fromLatin1(name));
        grid->addWidget(l, 0, col, Qt::AlignCenter);
        return l;
    };
    unitHeading = heading("Label_Unit", "Unit Chg.", 2);
    multiplierHeading = heading("Label_Multi", "Multi.", 3);
    offsetHeading = heading("Label_Offset", "Offset", 4);
    colourHeading = heading("Label_Color", "Color", 5);

    for (int i = 0; i < kMonitorChannels; ++i) {
        MonitorChannelRow& r = rows[std::size_t(i)];
        const int row = i + 1;
        r.channelBox = new QCheckBox(channelName(i), settingPage);
        r.channelBox->setObjectName(QStringLiteral("AryCheckBox%1").arg(i + 1));
        connect(r.channelBox, &QCheckBox::clicked, this, [this, i](bool on) { channelBoxClicked(i, on); });
        grid->addWidget(r.channelBox, row, 0);

        r.itemCombo = new QComboBox(settingPage);
        r.itemCombo->setObjectName(QStringLiteral("AryMonName%1").arg(i + 1));
        r.itemCombo->setFixedHeight(kRowHeight);
        connect(r.itemCombo, &QComboBox::activated, this, [this, i](int k) { itemChosen(i, k); });
        grid->addWidget(r.itemCombo, row, 1);

        r.unitBox = new QCheckBox(settingPage);
        r.unitBox->setObjectName(QStringLiteral("AryDisp%1").arg(i + 1));
        connect(r.unitBox, &QCheckBox::clicked, this, [this, i](bool on) { unitBoxClicked(i, on); });
        grid->addWidget(r.unitBox, row, 2, Qt::AlignCenter);

        r.multiplierEdit = new UpDownEdit(settingPage);
        r.multiplierEdit->setObjectName(QStringLiteral("AryTCMax%1").arg(i + 1));
        r.multiplierEdit->setDecimals(1);
        bindEdit(r.multiplierEdit, MonitorField::Multiplier, i);
        grid->addWidget(r.multiplierEdit, row, 3);

        r.offsetEdit = new UpDownEdit(settingPage);
        r.offsetEdit->setObjectName(QStringLiteral("AryPlus%1").arg(i + 1));
        bindEdit(r.offsetEdit, MonitorField::Offset, i);
        grid->addWidget(r.offsetEdit, row, 4);

        r.swatch = new ColourSwatch(settingPage);
        r.swatch->setObjectName(QStringLiteral("AryColor%1").arg(i + 1));
        r.swatch->onDoubleClick = [this, i] { swatchDoubleClicked(i); };
        grid->addWidget(r.swatch, row, 5, Qt::AlignCenter);
    }
    grid->setColumnStretch(1, 1);

    triggerGroup = new QGroupBox(QStringLiteral("Trigger Setting"), settingPage);
    triggerGroup->setObjectName(QStringLiteral("GroupBoxTrg"));
    auto* t = new QHBoxLayout(triggerGroup);
    t->setContentsMargins(6, 2, 6, 2);
    levelCaption = new QLabel(QStringLiteral("Level"), triggerGroup);
    levelCaption->setObjectName(QStringLiteral("Label_TrgLvl"));
    levelEdit = new UpDownEdit(triggerGroup);
    levelEdit->setObjectName(QStringLiteral("Edit3"));
    bindEdit(levelEdit, MonitorField::TriggerLevel, 0);
    delayCaption = new QLabel(QStringLiteral("Delay (%)"), triggerGroup);
    delayCaption->setObjectName(QStringLiteral("Label_TrgPos"));
    delayEdit = new UpDownEdit(triggerGroup);
    delayEdit->setObjectName(QStringLiteral("Edit4"));
    bindEdit(delayEdit, MonitorField::TriggerDelay, 0);
    t->addWidget(levelCaption);
    t->addWidget(levelEdit);
    t->addSpacing(16);
    t->addWidget(delayCaption);
    t->addWidget(delayEdit);
    t->addStretch(1);
    grid->addWidget(triggerGroup, kMonitorChannels + 1, 0, 1, 6);
    grid->setRowStretch(kMonitorChannels + 2, 1);
}

void MonitorWindow::buildDisplayPage() {
    displayPage = new QWidget;
    displayPage->setObjectName(QStringLiteral("TabSheet2"));
    auto* page = new QHBoxLayout(displayPage);
    page->setContentsMargins(6, 6, 6, 6);

    auto* left = new QGridLayout;
    left->setVerticalSpacing(2);
    left->setHorizontalSpacing(4);
    triggerHeading = new QLabel(QStringLiteral("Trigger"), displayPage);
    triggerHeading->setObjectName(QStringLiteral("Label_Trg"));
    valueHeading = new QLabel(QStringLiteral("Value"), displayPage);
    valueHeading->setObjectName(QStringLiteral("Label_Monitor"));
    left->addWidget(triggerHeading, 0, 0);
    left->addWidget(valueHeading, 0, 1);
    for (int i = 0; i < kMonitorChannels; ++i) {
        MonitorChannelRow& r = rows[std::size_t(i)];
        r.sourceLabel = new ClickLabel(channelName(i), displayPage);
        r.sourceLabel->setObjectName(QStringLiteral("AryTrgCH%1").arg(i + 1));
        r.sourceLabel->designedWidth = 96;
        r.sourceLabel->onClick = [this, i] { sourceLabelClicked(i); };
        r.readout = new QLineEdit(QStringLiteral("0"), displayPage);
        r.readout->setObjectName(QStringLiteral("AryValue%1").arg(i + 1));
        r.readout->setReadOnly(true);
        r.readout->setFocusPolicy(Qt::NoFocus);
        r.readout->setFixedWidth(56);
        r.readout->setAlignment(Qt::AlignRight);
        QFont bold = r.readout->font();
        bold.setBold(true);
        r.readout->setFont(bold);
        r.unitLabel = new QLabel(QStringLiteral("(-)"), displayPage);
        r.unitLabel->setObjectName(QStringLiteral("AryUnitLabel%1").arg(i + 1));
        r.unitLabel->setMinimumWidth(44);
        left->addWidget(r.sourceLabel, i + 1, 0);
        left->addWidget(r.readout, i + 1, 1);
        left->addWidget(r.unitLabel, i + 1, 2);
    }
    left->setRowStretch(kMonitorChannels + 1, 1);
    page->addLayout(left);

    auto* right = new QVBoxLayout;
    chart = new ChartWidget(displayPage);
    chart->setObjectName(QStringLiteral("Chart2"));
    chart->setMinimumSize(300, 180);
    chart->setSource(&model_->samples, &model_->sampleWindow);
    right->addWidget(chart, 1);
    auto overlay = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, chart);
        l->setObjectName(QString::fromLatin1(name));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        return l;
    };
    alarmLabel = overlay("Label_Alarm", QString());
    tripLabel = overlay("Label_Trip", QString());
    waitLabel = overlay("Label_Wait", QStringLiteral("Waiting for Trigger"));
    errLabel = overlay("Label_Err", QStringLiteral("Err.:"));
    errCountLabel = overlay("Label_ErrNo", QStringLiteral("0"));
    timeBaseLabel = overlay("Label_TimeVal", QString());
    timeBaseUnit = overlay("Label_TimeUnit2", QStringLiteral("(s/div)"));
    setTextColour(alarmLabel, Qt::red);
    setTextColour(tripLabel, Qt::red);
    QFont f = tripLabel->font();
    f.setBold(true);
    tripLabel->setFont(f);
    f = waitLabel->font();
    f.setItalic(true);
    waitLabel->setFont(f);
    for (QLabel* l : {waitLabel, errLabel, errCountLabel})
        l->hide();
    marker = new TriggerMarker(chart);
    marker->setObjectName(QStringLiteral("TrigMak"));
    marker->onMove = [this](int top) { markerMoved(top, false); };
    marker->onRelease = [this](int top) { markerMoved(top, true); };
    connect(chart, &ChartWidget::plotRectChanged, this, [this] {
        placeOverlays();
        placeMarker();
    });
    connect(chart, &ChartWidget::readoutRequested, this, &MonitorWindow::showReadout);
    connect(chart, &ChartWidget::windowChanged, this, [this] { showRunState(); });

    auto* settings = new QHBoxLayout;
    maxCaption = new QLabel(QStringLiteral("Max."), displayPage);
    maxCaption->setObjectName(QStringLiteral("Label_Max"));
    yMaximumEdit = new UpDownEdit(displayPage);
    yMaximumEdit->setObjectName(QStringLiteral("XValMax"));
    bindEdit(yMaximumEdit, MonitorField::YMaximum, 0);
    timeCaption = new QLabel(QStringLiteral("Time"), displayPage);
    timeCaption->setObjectName(QStringLiteral("Label_Time"));
    timeEdit = new UpDownEdit(displayPage);
    timeEdit->setObjectName(QStringLiteral("TimeVal"));
    // The up-down holds milliseconds; the edit shows seconds with one decimal.
    timeEdit->setDecimals(3);
    timeEdit->setStepFromText(false);
    bindEdit(timeEdit, MonitorField::TimeBase, 0);
    continuousTime = new QLabel(displayPage);
    continuousTime->setObjectName(QStringLiteral("ContTimeVal"));
    timeUnit = new QLabel(QStringLiteral("(s/div)"), displayPage);
    timeUnit->setObjectName(QStringLiteral("Label_TimeUnit"));
    zoomBox = new QCheckBox(QStringLiteral("Zoom"), displayPage);
    zoomBox->setObjectName(QStringLiteral("CheckBoxZoom"));
    connect(zoomBox, &QCheckBox::clicked, this, [this](bool on) { model_->setZoomChecked(on); });
    zoomCaption = new QLabel(QStringLiteral("Zoom"), displayPage);
    zoomCaption->setObjectName(QStringLiteral("Label_Zoom"));
    scopeEdit = new UpDownEdit(displayPage);
    scopeEdit->setObjectName(QStringLiteral("ZoomVal"));
    scopeEdit->setFixedWidth(kEditWidth);
    scopeEdit->setRange(SampleWindow::kScopeMin, SampleWindow::kScopeMax);
    scopeEdit->setIncrement(SampleWindow::kScopeStep);
    scopeEdit->setPosition(SampleWindow::kScopeMax);
    scopeEdit->setCheck([this] { return enterScope(); });
    connect(scopeEdit, &UpDownEdit::positionChanged, this, [this](int p) {
        if (refreshing_)
            return;
        model_->sampleWindow.applyScope(p);
        showRunState();
    });
    for (QWidget* w : {static_cast<QWidget*>(maxCaption), static_cast<QWidget*>(yMaximumEdit),
                       static_cast<QWidget*>(timeCaption), static_cast<QWidget*>(timeEdit),
                       static_cast<QWidget*>(continuousTime), static_cast<QWidget*>(timeUnit)})
        settings->addWidget(w);
    settings->addSpacing(8);
    settings->addWidget(zoomCaption);
    settings->addWidget(scopeEdit);
    settings->addWidget(zoomBox);
    settings->addStretch(1);
    right->addLayout(settings);

    auto* trigger = new QHBoxLayout;
    triggerBox = new QCheckBox(QStringLiteral("Use Level Trigger"), displayPage);
    triggerBox->setObjectName(QStringLiteral("Trigger"));
    connect(triggerBox, &QCheckBox::clicked, this, [this](bool on) { model_->setTriggerChecked(on); });
    sourceCaption = new QLabel(QStringLiteral("Source"), displayPage);
    sourceCaption->setObjectName(QStringLiteral("Label_CH"));
    sourceDisplay = new ClickLabel(QStringLiteral("CH1"), displayPage);
    sourceDisplay->setObjectName(QStringLiteral("TrgCHDisp"));
    sourceDisplay->onDoubleClick = [this] { model_->nextTriggerSource(); };
    slopeCaption = new QLabel(QStringLiteral("Slope"), displayPage);
    slopeCaption->setObjectName(QStringLiteral("Label_Slope"));
    slopePicture = new SlopePicture(displayPage);
    slopePicture->setObjectName(QStringLiteral("Image6"));
    slopePicture->onDoubleClick = [this] { model_->nextSlope(); };
    continuousCaption = new QLabel(QStringLiteral("Continuous Monitoring"), displayPage);
    continuousCaption->setObjectName(QStringLiteral("CntMonDisp"));
    QFont bold = continuousCaption->font();
    bold.setBold(true);
    continuousCaption->setFont(bold);
    trigger->addWidget(triggerBox);
    trigger->addSpacing(8);
    trigger->addWidget(sourceCaption);
    trigger->addWidget(sourceDisplay);
    trigger->addSpacing(8);
    trigger->addWidget(slopeCaption);
    trigger->addWidget(slopePicture);
    trigger->addWidget(continuousCaption);
    trigger->addStretch(1);
    right->addLayout(trigger);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto button = [&](const char* name, const char* text) {
        auto* b = new TextButton(QString::fromLatin1(text), QSize(67, 25), displayPage);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    startButton = button("MonStart", "Start");
    stopButton = button("MonStop", "Stop");
    buttons->addSpacing(8);
    openButton = button("MonFileOpen", "Open");
    saveAsButton = button("MonFile", "Save As");
    printButton = button("MonPrint", "Print");
    right->addLayout(buttons);
    page->addLayout(right, 1);
}

void MonitorWindow::bindEdit(UpDownEdit* edit, MonitorField field, int channel) {
    edit->setFixedWidth(kEditWidth);
    edit->setCheck([this, edit, field, channel] {
        model_->setText(field, channel, edit->text());
        return model_->enter(field, channel);
    });
    connect(edit, &QLineEdit::textEdited, this,
            [this, field, channel](const QString& t) { model_->setText(field, channel, t); });
    connect(edit, &UpDownEdit::positionChanged, this, [this, field, channel](int p) {
        if (!refreshing_)
            model_->step(field, channel, p);
    });
}

UpDownEdit* MonitorWindow::editOf(MonitorField field, int channel) const {
    const std::size_t i = std::size_t(std::clamp(channel, 0, kMonitorChannels - 1));
    switch (field) {
    case MonitorField::Multiplier:
        return rows[i].multiplierEdit;
    case MonitorField::Offset:
        return rows[i].offsetEdit;
    case MonitorField::TriggerLevel:
        return levelEdit;
    case MonitorField::TriggerDelay:
        return delayEdit;
    case MonitorField::YMaximum:
        return yMaximumEdit;
    case MonitorField::TimeBase:
        break;
    }
    return timeEdit;
}

// ---- Handlers ---------------------------------------------------------------------------------

void MonitorWindow::channelBoxClicked(int i, bool on) {
    model_->setChannelChecked(i, on);
}

void MonitorWindow::itemChosen(int i, int item) {
    model_->chooseItem(i, item);
}

void MonitorWindow::unitBoxClicked(int i, bool on) {
    model_->setUnitChecked(i, on);
}

void MonitorWindow::swatchDoubleClicked(int i) {
    QColor c = ColorOption::fromBgr(model_->channels[std::size_t(i)].colour);
    if (Prompter::instance().chooseColor(c, this) && c.isValid())
        model_->setColour(i, ColorOption::toBgr(c));
}

void MonitorWindow::sourceLabelClicked(int i) {
    model_->clickTriggerSource(i);
}

// ---- Showing the model ------------------------------------------------------------------------

void MonitorWindow::refreshItemLists() {
    const QStringList& names = model_->lists.names;
    for (MonitorChannelRow& r : rows) {
        const QSignalBlocker block(r.itemCombo);
        r.itemCombo->clear();
        r.itemCombo->addItems(names);
    }
    refresh();
}

void MonitorWindow::refresh() {
    const MonitorModel& m = *model_;
    refreshing_ = true;
    setWindowTitle(fileCaption_.isEmpty() ? m.caption() : fileCaption_);
    auto showSetting = [](UpDownEdit* e, const NumberSetting& s) {
        e->setRange(s.minimum, s.maximum);
        e->setIncrement(s.step);
        if (e->position() != s.position)
            e->setPosition(s.position);
        if (e->text() != s.text)
            e->setText(s.text);
    };
    // While a run is in progress the set-up it took stays as it is.
    const bool idle = !m.runInProgress();
    const bool sourceShown = m.triggerChecked && m.triggerEnabled;
    for (int i = 0; i < kMonitorChannels; ++i) {
        MonitorChannelRow& r = rows[std::size_t(i)];
        const MonitorChannel& c = m.channels[std::size_t(i)];
        for (QWidget* w : {static_cast<QWidget*>(r.channelBox), static_cast<QWidget*>(r.itemCombo),
                           static_cast<QWidget*>(r.unitBox), static_cast<QWidget*>(r.multiplierEdit),
                           static_cast<QWidget*>(r.offsetEdit), static_cast<QWidget*>(r.swatch),
                           static_cast<QWidget*>(r.sourceLabel), static_cast<QWidget*>(r.readout),
                           static_cast<QWidget*>(r.unitLabel)})
            w->setHidden(!c.shown);
        r.channelBox->setChecked(c.checked);
        if (r.itemCombo->currentIndex() != c.item) {
            const QSignalBlocker block(r.itemCombo);
            r.itemCombo->setCurrentIndex(c.item);
        }
        r.channelBox->setEnabled(idle);
        r.unitBox->setChecked(c.unitChecked);
        r.unitBox->setEnabled(c.unitEnabled && idle);
        showSetting(r.multiplierEdit, c.multiplierEdit);
        showSetting(r.offsetEdit, c.offsetEdit);
        for (QWidget* w : {static_cast<QWidget*>(r.itemCombo), static_cast<QWidget*>(r.multiplierEdit),
                           static_cast<QWidget*>(r.offsetEdit)})
            w->setEnabled(c.controlsEnabled && idle);
        for (QWidget* w : {static_cast<QWidget*>(r.sourceLabel), static_cast<QWidget*>(r.readout),
                           static_cast<QWidget*>(r.unitLabel)})
            w->setEnabled(c.controlsEnabled);
        const QColor colour = ColorOption::fromBgr(c.colour);
        r.swatch->setColour(colour);
        r.swatch->setEnabled(idle);
        chart->setSeriesColor(i, colour);
        r.sourceLabel->setText(c.itemText.isEmpty() ? channelName(i) : c.itemText);
        r.sourceLabel->setToolTip(c.itemText);
        const bool source = sourceShown && i == m.runState().triggerChannel;
        setTextColour(r.sourceLabel, source ? QColor(255, 0, 0) : palette().color(QPalette::WindowText));
        QFont f = r.sourceLabel->font();
        f.setBold(source);
        r.sourceLabel->setFont(f);
        setTextColour(r.readout, colour);
        r.readout->setToolTip(c.itemText);
        r.unitLabel->setText(c.unitLabel);
    }
    showSetting(levelEdit, m.triggerLevelEdit);
    levelEdit->setToolTip(QString::number(m.runState().triggerLevel));
    showSetting(delayEdit, m.triggerDelayEdit);
    showSetting(yMaximumEdit, m.yMaximumEdit);
    showSetting(timeEdit, m.timeBaseEdit);
    zoomBox->setChecked(m.zoomChecked);
    for (QWidget* w : {static_cast<QWidget*>(maxCaption), static_cast<QWidget*>(yMaximumEdit),
                       static_cast<QWidget*>(timeCaption), static_cast<QWidget*>(timeEdit),
                       static_cast<QWidget*>(timeUnit), static_cast<QWidget*>(zoomCaption),
                       static_cast<QWidget*>(scopeEdit), static_cast<QWidget*>(zoomBox)})
        w->setEnabled(idle);
    chart->setYMaximum(m.axisMaximum);
    // Zoom mode is the box checked and usable; a run takes no clicks on the chart at all.
    chart->setZoomMode(m.zoomChecked && idle);
    startButton->setEnabled(m.runState().startEnabled && idle);
    stopButton->setEnabled(!idle && run_->running());
    openButton->setEnabled(idle);
    saveAsButton->setEnabled(idle);
    printButton->setEnabled(idle && printAllowed_);
    runAction->setEnabled(m.runState().runStopEnabled);
    stopAction->setEnabled(m.runState().runStopEnabled);

    const bool continuous = m.runState().continuousMode;
    triggerBox->setChecked(m.triggerChecked);
    triggerBox->setEnabled(m.triggerEnabled && idle);
    triggerBox->setHidden(continuous);
    for (QWidget* w : {static_cast<QWidget*>(triggerHeading), static_cast<QWidget*>(sourceCaption),
                       static_cast<QWidget*>(sourceDisplay), static_cast<QWidget*>(slopeCaption),
                       static_cast<QWidget*>(slopePicture)})
        w->setHidden(continuous || !sourceShown);
    sourceDisplay->setText(channelName(m.triggerSourceIndex));
    sourceDisplay->setEnabled(m.sourceLabelEnabled && idle);
    slopePicture->setSlope(m.triggerSlope);
    slopePicture->setEnabled(m.triggerEnabled && idle);
    slopePicture->setToolTip(m.slopeText());
    continuousCaption->setHidden(!continuous);
    timeEdit->setHidden(continuous);
    continuousTime->setHidden(!continuous);
    continuousTime->setText(m.runState().recordTimeBaseText);
    placeOverlays();
    placeMarker();
    refreshing_ = false;
}

void MonitorWindow::showRunState() {
    const RunDisplay& d = run_->display();
    for (int i = 0; i < kMonitorChannels; ++i) {
        QLineEdit* readout = rows[std::size_t(i)].readout;
        if (readout->text() != d.readouts[std::size_t(i)])
            readout->setText(d.readouts[std::size_t(i)]);
    }
    alarmLabel->setText(d.alarm);
    tripLabel->setText(d.trip);
    waitLabel->setVisible(d.waiting);
    errLabel->setVisible(d.errorsShown);
    errCountLabel->setVisible(d.errorsShown);
    errCountLabel->setText(QString::number(d.errorCount));
    const int scope = model_->sampleWindow.scope();
    if (scopeEdit->position() != scope || scopeEdit->text() != QString::number(scope)) {
        refreshing_ = true;
        scopeEdit->setPosition(scope);
        refreshing_ = false;
    }
    placeOverlays();
    chart->update();
}

void MonitorWindow::placeOverlays() {
    const QRect plot = chart->plotRect();
    // One time base in the window: in continuous mode the recording's, as the field under the
    // chart shows it; and always for the division as drawn, should the grid be thinned.
    const MonitorModel& m = *model_;
    const bool continuousShown = m.options().continuousMonitoring.checked() && !run_->running();
    const QString timeBase = continuousShown ? m.runState().recordTimeBaseText : run_->display().timeBase;
    timeBaseLabel->setText(report::timeBaseOfDivision(shownTimeBase(timeBase), chart->divisionSamples()));
    for (QLabel* l : {alarmLabel, tripLabel, waitLabel, errLabel, errCountLabel, timeBaseLabel, timeBaseUnit})
        l->adjustSize();
    alarmLabel->move(plot.left() + 4, plot.top() + 5);
    tripLabel->move(plot.left() + 4, alarmLabel->y() + 17);
    waitLabel->move(plot.center().x() - waitLabel->width() / 2, plot.top() + 5);
    errCountLabel->move(plot.right() - 24 - errCountLabel->width(), plot.top() + 5);
    errLabel->move(errCountLabel->x() - 2 - errLabel->width(), plot.top() + 5);
    timeBaseLabel->move(plot.left() + 4, plot.bottom() - 16);
    timeBaseUnit->move(timeBaseLabel->x() + timeBaseLabel->width() + 4, timeBaseLabel->y());
}

void MonitorWindow::placeMarker() {
    const MonitorModel& m = *model_;
    const QRect plot = chart->plotRect();
    // Held inside the plot; shown only with the level trigger in use.
    const int top = std::min(m.markerTop(plot.top(), plot.bottom()), plot.bottom() - kMarkerOffset);
    marker->move(plot.right() + 1 - marker->width(), top);
    marker->setVisible(m.triggerChecked && !m.runState().continuousMode && top > plot.top() - kMarkerOffset);
    marker->setToolTip(m.triggerLevelEdit.text);
    marker->setEnabled(!m.runInProgress());
}

void MonitorWindow::markerMoved(int top, bool released) {
    MonitorModel& m = *model_;
    const QRect plot = chart->plotRect();
    top = std::clamp(top, plot.top() - kMarkerOffset, plot.bottom() - kMarkerOffset);
    marker->move(marker->x(), top);
    // The level at the row the marker points at, as the marker's placement rule inverted.
    const int h2 = (plot.bottom() - plot.top()) / 2;
    if (h2 <= 0)
        return;
    const double half = m.axisMaximum * 0.5;
    const int d = top + kMarkerOffset - (plot.top() + h2);
    const float q = float(d * half / h2);
    const int level = int(std::trunc(std::trunc(m.axisMaximum) - (std::trunc(q) + half)));
    marker->setToolTip(QString::number(level));
    if (!released)
        return;
    m.setText(MonitorField::TriggerLevel, 0, QString::number(level));
    m.enter(MonitorField::TriggerLevel);
}

bool MonitorWindow::enterScope() {
    MonitorModel& m = *model_;
    const ProgramContext& ctx = m.context();
    auto refuseWith = [&](MsgId id) {
        m.noteScopeChecked(false);
        scopeEdit->takeFocusBack();
        Prompter::instance().message(Msg(ctx, id), ctx.texts.caption, BoxIcon::Error, BoxButtons::Ok, this);
        return false;
    };
    double v = 0;
    if (!UpDownEdit::parseNumber(scopeEdit->text(), v))
        return refuseWith(MsgId::DataIncorrect);
    if (v < SampleWindow::kScopeMin || v > SampleWindow::kScopeMax) {
        refuseWith(MsgId::OutOfRange);
        scopeEdit->setText(
            QString::number(v < SampleWindow::kScopeMin ? SampleWindow::kScopeMin : SampleWindow::kScopeMax));
        return false;
    }
    m.noteScopeChecked(true);
    m.sampleWindow.applyScope(int(std::trunc(v)));
    showRunState();
    return true;
}

void MonitorWindow::pageChanged() {
    if (model_->runInProgress()) {
        pages->setFocus(Qt::OtherFocusReason);
        return;
    }
    auto focusable = [](QWidget* w) { return w->isVisible() && w->isEnabled(); };
    if (pages->currentWidget() == displayPage) {
        if (focusable(startButton))
            startButton->setFocus(Qt::OtherFocusReason);
        else if (focusable(stopButton))
            stopButton->setFocus(Qt::OtherFocusReason);
        else
            yMaximumEdit->setFocus(Qt::OtherFocusReason);
    } else if (pages->currentWidget() == settingPage) {
        if (focusable(rows[0].itemCombo))
            rows[0].itemCombo->setFocus(Qt::OtherFocusReason);
        else
            rows[0].channelBox->setFocus(Qt::OtherFocusReason);
    }
}

// ---- Life --------------------------------------------------------------------------------------

void MonitorWindow::placeAndLoadSetup() {
    MonitorModel& m = *model_;
    if (m.context().startupAborted)
        return;
    if (hooks_.mainFrame) {
        // At the main window's width and 480 pixels less its height, no smaller than the
        // window's least size.
        if (!placement_)
            placement_ = new UnderMainWindow(*this, hooks_.mainFrame, UnderMainWindow::underAtMainWidth);
        placement_->place();
    }
    LoadMonitorTexts();
    m.EraseMonitorSetupUnlessKept();
    if (m.BuildMonitorItemLists())
        m.RestoreMonitorSetup();
    pages->setCurrentWidget(displayPage);
}

void MonitorWindow::ShowMonitor() {
    if (!model_->runState().itemListLoaded)
        return;
    show();
    raise();
    activateWindow();
}

void MonitorWindow::RebuildForDriveType() {
    model_->BuildMonitorItemLists();
    model_->RestoreMonitorSetup();
}

void MonitorWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous())
        resetForShowing();
}

void MonitorWindow::resetForShowing() {
    model_->clearInputError();
    if (hooks_.setMonitorCommandEnabled)
        hooks_.setMonitorCommandEnabled(false);
}

void MonitorWindow::applyColoursAndConnect() {
    const Options& o = model_->options();
    const QColor back = o.monitorBackColor.color();
    chart->setBackgroundColor(back);
    for (MonitorChannelRow& r : rows)
        setBackground(r.readout, back);
    setTextColour(continuousTime, o.chartTimeColor.color());
    setTextColour(waitLabel, o.waitingTextColor.color());
    setTextColour(timeBaseLabel, o.chartTimeColor.color());
    setTextColour(timeBaseUnit, o.chartTimeColor.color());
    setTextColour(errLabel, o.chartErrorCountColor.color());
    setTextColour(errCountLabel, o.chartErrorCountColor.color());
    model_->connectAndMeasure();
}

void MonitorWindow::saveMonitorSetup() {
    model_->WriteMonitorSetup();
}

void MonitorWindow::closeEvent(QCloseEvent* e) {
    if (!model_->mayClose()) {
        e->ignore();
        return;
    }
    model_->WriteMonitorSetup();
    e->accept();
    // A drive type without items keeps the command off.
    if (hooks_.setMonitorCommandEnabled)
        hooks_.setMonitorCommandEnabled(model_->runState().itemListLoaded);
}
