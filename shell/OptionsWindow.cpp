#include "shell/OptionsWindow.h"

#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Prompter.h"
#include "shell/StoreInspector.h"
#include "ui/UpDownEdit.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

// ---- ColorSwatch ------------------------------------------------------------------------

ColorSwatch::ColorSwatch(ColorOption& option, bool singleClick, QWidget* parent)
    : QFrame(parent), option_(option), singleClick_(singleClick) {
    setObjectName(QString::fromLatin1(option.name()));
    setFrameShape(QFrame::Box);
    setFixedSize(40, 20);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    refresh();
}

void ColorSwatch::refresh() {
    QPalette p = palette();
    p.setColor(QPalette::Window, option_.color());
    setPalette(p);
}

void ColorSwatch::pick() {
    QColor c = option_.color();
    if (Prompter::instance().chooseColor(c, this) && c.isValid())
        option_.setColor(c);
}

void ColorSwatch::mousePressEvent(QMouseEvent* e) {
    QFrame::mousePressEvent(e);
    if (singleClick_ && e->button() == Qt::LeftButton)
        pick();
}

void ColorSwatch::mouseDoubleClickEvent(QMouseEvent* e) {
    QFrame::mouseDoubleClickEvent(e);
    if (!singleClick_ && e->button() == Qt::LeftButton)
        pick();
}

// ---- OptionsWindow -------------------------------------------------------------------------

namespace {

// Texts of section "Options" of the language file: key, control, English text.
struct LangText {
    const char* key;
    const char* control;
    const char* text;
};

const LangText kTexts[] = {
    {"Form", "", "Environment Options"},
    {"Tab1", "TabSheet1", "Startup/Comm."},
    {"Label1", "Label4", "Startup Option"},
    {"Check11", "StartLang", "Display last selected Language"},
    {"Check12", "StartInv", "Display last selected Inverter"},
    {"Check13", "PrinterChk", "Check Printer Connection"},
    {"Check14", "TypCapChk", "Check Inverter Type-Form"},
    {"Label2", "Label1", "Communication Options"},
    {"Check21", "EEPWriteEnable", "Export to EEPROM"},
    {"Check22", "WriteNotChgPara", "Export 'Change' Parameters only"},
    {"Check23", "ParaErrDisp", "Display Communication Error"},
    {"Check24", "ParaResult", "Display Communication Result"},
    {"Check25", "CompMsgDisp", "Display Comparison Message"},
    {"Check26", "CompResult", "Display Comparison Result"},
    {"Check27", "SUMode", "Use Maintenance Mode"},
    {"Label21", "Label14", "* Using the Maintenance Mode related to the inverter control."},
    {"Label22", "Label15", "  Please do not check except for the case of being required."},
    {"Label23", "Label18", ""},
    {"Label24", "Label23", ""},
    {"Button", "DefBtn", "Restore to factory settings"},
    {"Tab2", "TabSheet2", "File/Parameter"},
    {"Label3", "Label22", "File Options"},
    {"Check31", "SaveNotChgPara", "Save 'Change' Parameters only"},
    {"Check32", "ParaSkipSave", "Save Comm./Comp. Result"},
    {"Check33", "FileRegist", "Regist file-type"},
    {"Label4", "Label2", "Parameter Table Options"},
    {"Check41", "ParaEnt", "Move to Cell on Enter Key"},
    {"Label41", "Label3", "Times of Undo Max."},
    {"Tab3", "TabSheet3", "Key Pad/Monitoring"},
    {"Label5", "Label19", "Key Pad Options"},
    {"Label51", "Label20", "LED Display Timer"},
    {"Label6", "Label5", "Monitoring Options"},
    {"Label61", "Label9", "Back Color"},
    {"Label7", "Label10", "Terminal Signal Level"},
    {"Check8", "FreeUnitMon", "Use Free Unit"},
    {"Label26", "Label26", "Numbers of All Recording Points"},
    {"Check9", "CntMon", "Continuous Monitoring"},
    {"Label91", "Label16", "Record Time"},
    {"Label92", "Label17", "Sampling Time"},
    {"CheckA", "MonInvDrive", "Inverter RUN/STOP control"},
    // The keys that really run and stop the drive from the monitor.
    {"LabelA1", "Label_MonInv1", "RUN:[Shift]+[F9]"},
    {"LabelA2", "Label_MonInv2", "STOP:[F9]"},
    {"CheckB", "MonAlrmDisp", "Display Alarm"},
    {"CheckC", "MonTripDisp", "Display Trip"},
    {"CheckD", "MonTripDataDisp", "Display Datas at Trip"},
    {"CheckE", "MonKeep", "Keep Monitor Setup"},
};

QString english(const char* control) {
    for (const LangText& t : kTexts)
        if (!qstrcmp(t.control, control))
            return QString::fromLatin1(t.text);
    return QString();
}

QWidget* heading(QLabel* l) {
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

} // namespace

OptionsWindow::OptionsWindow(ProgramContext& context, Options& options, Asker& asker,
                             std::function<void()> connectDrive, QWidget* parent)
    : QDialog(parent), context_(context), options_(options), asker_(asker) {
    setObjectName(QStringLiteral("KVROption"));
    setWindowTitle(english(""));
    build();
    connect(&options_, &Options::changed, this, &OptionsWindow::syncFromOptions);
    options_.setFocusBack([this](UpDownOption& u) {
        if (UpDownEdit* e = edit(u))
            e->takeFocusBack();
    });
    options_.setDataStoreViewer([this] { showDataStore(); });
    syncFromOptions();

    if (context_.startupAborted)
        return;
    move(std::max(0, (640 - sizeHint().width()) / 2), 0);
    ApplyLanguage();
    fitTabs();
    options_.create(connectDrive);
    tabs_->setCurrentIndex(0);
    syncFromOptions();
}

OptionsWindow::~OptionsWindow() {
    // The options outlive the window: nothing may call back into it.
    disconnect(&options_, nullptr, this, nullptr);
    options_.setFocusBack({});
    options_.setDataStoreViewer({});
    delete datasView_;
}

UpDownEdit* OptionsWindow::edit(const UpDownOption& option) const {
    return edits_.value(&option);
}

QCheckBox* OptionsWindow::box(const CheckOption& option) const {
    return checks_.value(&option);
}

QCheckBox* OptionsWindow::addCheck(CheckOption& option, const QString& caption, QWidget* parent) {
    auto* b = new QCheckBox(caption, parent);
    b->setObjectName(QString::fromLatin1(option.name()));
    b->setChecked(option.checked());
    // toggled fires on changes made by code too, so the rule runs either way.
    connect(b, &QCheckBox::toggled, this, [this, &option](bool on) {
        if (!syncing_)
            option.setChecked(on);
    });
    checks_.insert(&option, b);
    return b;
}

UpDownEdit* OptionsWindow::addEdit(UpDownOption& option, QWidget* parent) {
    auto* e = new UpDownEdit(parent);
    e->setObjectName(QString::fromLatin1(option.field()));
    e->setRange(option.minimum(), option.maximum());
    e->setIncrement(option.step());
    e->setFraction(UpDownEdit::Fraction::Truncate);
    if (&option == &options_.freeUnitFactor) {
        e->setDecimals(2);
        e->setMaxLength(6);
    }
    e->setFixedWidth(90);
    e->setPosition(option.position());
    if (option.validated()) {
        e->setCheck([this, &option] { return options_.validate(option, asker_); });
    } else {
        // These edits have no check: the up-down takes what the field holds when it can.
        e->setCheck([this, &option] {
            options_.takeTypedPosition(option);
            return true;
        });
    }
    connect(e, &QLineEdit::textEdited, this, [&option](const QString& t) { option.setText(t); });
    connect(e, &UpDownEdit::positionChanged, this, [this, &option](int p) {
        if (!syncing_)
            option.setPosition(p);
    });
    edits_.insert(&option, e);
    return e;
}

ColorSwatch* OptionsWindow::addSwatch(ColorOption& option, bool singleClick, QWidget* parent) {
    auto* s = new ColorSwatch(option, singleClick, parent);
    swatches_ << s;
    return s;
}

QLabel* OptionsWindow::label(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    labels_.insert(l->objectName(), l);
    return l;
}

void OptionsWindow::build() {
    Options& o = options_;
    auto* top = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    tabs_->setUsesScrollButtons(false);
    top->addWidget(tabs_);

    // Tab 1: start-up and communication.
    auto* startupTab = new QWidget;
    startupTab->setObjectName(QStringLiteral("TabSheet1"));
    auto* startupLayout = new QVBoxLayout(startupTab);
    startupLayout->addWidget(heading(label("Label4", english("Label4"), startupTab)));
    for (CheckOption* c :
         {&o.startWithLastLanguage, &o.startWithLastDrive, &o.checkPrinters, &o.checkDriveTypeAndCapacity})
        startupLayout->addWidget(addCheck(*c, english(c->name()), startupTab));
    startupLayout->addWidget(heading(label("Label1", english("Label1"), startupTab)));
    for (CheckOption* c :
         {&o.exportToEeprom, &o.exportChangedOnly, &o.showTransferErrors, &o.showTransferResult,
          &o.showComparisonMessage, &o.showComparisonResult, &o.useMaintenanceMode})
        startupLayout->addWidget(addCheck(*c, english(c->name()), startupTab));
    for (const char* n : {"Label14", "Label15", "Label18", "Label23"}) {
        QLabel* red = label(n, english(n), startupTab);
        red->setStyleSheet(QStringLiteral("color: red"));
        startupLayout->addWidget(red);
    }
    factorySettingsButton = new QPushButton(english("DefBtn"), startupTab);
    factorySettingsButton->setObjectName(QStringLiteral("DefBtn"));
    // Enter in a field must not press a button of the dialog.
    factorySettingsButton->setAutoDefault(false);
    connect(factorySettingsButton, &QPushButton::clicked, this,
            [this] { options_.restoreFactorySettings(); });
    startupLayout->addWidget(factorySettingsButton);
    startupLayout->addStretch();
    tabs_->addTab(startupTab, english("TabSheet1"));

    // Tab 2: files and the parameter table.
    auto* fileTab = new QWidget;
    fileTab->setObjectName(QStringLiteral("TabSheet2"));
    auto* fileLayout = new QVBoxLayout(fileTab);
    fileLayout->addWidget(heading(label("Label22", english("Label22"), fileTab)));
    for (CheckOption* c : {&o.saveChangedOnly, &o.saveTransferResult, &o.registerFileType})
        fileLayout->addWidget(addCheck(*c, english(c->name()), fileTab));
    fileLayout->addWidget(heading(label("Label2", english("Label2"), fileTab)));
    fileLayout->addWidget(addCheck(o.enterMovesToNextCell, english("ParaEnt"), fileTab));
    auto* undo = new QHBoxLayout;
    undo->addWidget(label("Label3", english("Label3"), fileTab));
    undo->addWidget(addEdit(o.undoDepth, fileTab));
    undo->addStretch();
    fileLayout->addLayout(undo);
    fileLayout->addStretch();
    tabs_->addTab(fileTab, english("TabSheet2"));

    // Tab 3: keypad and monitor.
    auto* monitorTab = new QWidget;
    monitorTab->setObjectName(QStringLiteral("TabSheet3"));
    auto* monitorGrid = new QGridLayout(monitorTab);
    int r = 0;
    monitorGrid->addWidget(heading(label("Label19", english("Label19"), monitorTab)), r++, 0, 1, 3);
    monitorGrid->addWidget(label("Label20", english("Label20"), monitorTab), r, 0);
    monitorGrid->addWidget(addEdit(o.ledBlinkInterval, monitorTab), r++, 1);
    monitorGrid->addWidget(heading(label("Label5", english("Label5"), monitorTab)), r++, 0, 1, 3);
    monitorGrid->addWidget(label("Label9", english("Label9"), monitorTab), r, 0);
    monitorGrid->addWidget(addSwatch(o.monitorBackColor, false, monitorTab), r++, 1);
    monitorGrid->addWidget(label("Label10", english("Label10"), monitorTab), r, 0);
    monitorGrid->addWidget(addEdit(o.terminalSignalLevel, monitorTab), r++, 1);
    monitorGrid->addWidget(addCheck(o.useFreeUnit, english("FreeUnitMon"), monitorTab), r, 0);
    monitorGrid->addWidget(addEdit(o.freeUnitFactor, monitorTab), r++, 1);
    monitorGrid->addWidget(label("Label26", english("Label26"), monitorTab), r, 0);
    monitorGrid->addWidget(addEdit(o.recordingPointCount, monitorTab), r++, 1);
    monitorGrid->addWidget(addCheck(o.continuousMonitoring, english("CntMon"), monitorTab), r++, 0);
    monitorGrid->addWidget(label("Label16", english("Label16"), monitorTab), r, 0);
    monitorGrid->addWidget(addEdit(o.continuousRecordMinutes, monitorTab), r++, 1);
    monitorGrid->addWidget(label("Label17", english("Label17"), monitorTab), r, 0);
    monitorGrid->addWidget(addEdit(o.continuousSampleSeconds, monitorTab), r++, 1);
    monitorGrid->addWidget(addCheck(o.monitorRunStopControl, english("MonInvDrive"), monitorTab), r, 0);
    monitorGrid->addWidget(label("Label_MonInv1", english("Label_MonInv1"), monitorTab), r, 1);
    monitorGrid->addWidget(label("Label_MonInv2", english("Label_MonInv2"), monitorTab), r++, 2);
    for (CheckOption* c :
         {&o.monitorShowsAlarms, &o.monitorShowsTrips, &o.monitorShowsTripData, &o.keepMonitorSetup})
        monitorGrid->addWidget(addCheck(*c, english(c->name()), monitorTab), r++, 0, 1, 3);
    monitorGrid->setRowStretch(r, 1);
    monitorGrid->setColumnStretch(2, 1);
    tabs_->addTab(monitorTab, english("TabSheet3"));

    // Tab 4: the master level's settings, shown by maintenance mode only.
    masters_ = new QWidget;
    masters_->setObjectName(QStringLiteral("TabSheet4"));
    auto* mastersGrid = new QGridLayout(masters_);
    r = 0;
    mastersGrid->addWidget(
        addCheck(o.newSetEndsMaintenance, QStringLiteral("Maintenance mode release at \"New\"."), masters_),
        r++, 0, 1, 2);
    mastersGrid->addWidget(addCheck(o.showBufferTable, QStringLiteral("Display the Buffer Table."), masters_),
                           r++, 0, 1, 2);
    mastersGrid->addWidget(label("Label8", QStringLiteral("Communication Speed Margins (ms)."), masters_), r,
                           0);
    mastersGrid->addWidget(addEdit(o.readTimeMargin, masters_), r++, 1);
    mastersGrid->addWidget(label("Label7", QStringLiteral("Communication Check Times."), masters_), r, 0);
    mastersGrid->addWidget(addEdit(o.timedTestReads, masters_), r++, 1);
    mastersGrid->addWidget(
        addCheck(o.zeroOnCommError, QStringLiteral("0 Value when Communication Error"), masters_), r++, 0, 1,
        2);
    mastersGrid->addWidget(
        addCheck(o.currentVoltageCellColor, QStringLiteral("Current/Voltage Cell Color."), masters_), r++, 0,
        1, 2);
    mastersGrid->addWidget(addCheck(o.onlineCurrentVoltageBase,
                                    QStringLiteral("Get Current/Voltage Base using On-Line"), masters_),
                           r++, 0, 1, 2);
    mastersGrid->addWidget(
        addCheck(o.hlpParameterHelp, QStringLiteral("Use WinHelp as Parameter Help"), masters_), r++, 0, 1,
        2);
    const struct {
        ColorOption& option;
        const char* image;
        const char* text;
    } swatches[] = {
        {o.settingValueTextColor, "PSText", "Setting Value Text Color."},
        {o.settingValueCellColor, "PSCell", "Setting Value Cell Color."},
        {o.otherValueTextColor, "PNText", "Other Value Text Color."},
        {o.otherValueCellColor, "PNCell", "Other Value Cell Color."},
        {o.selectedTextColor, "PSlctText", "Selected Value Text Color."},
        {o.currentVoltageColor, "PCVCell", "Current/Voltage Cell Color."},
        {o.waitingTextColor, "WaitMsg", "Waiting for Trigger Color on Chart."},
        {o.chartTimeColor, "CTime", "Time Value Color on Chart."},
        {o.chartErrorCountColor, "CErr", "Error Counter Color on Chart."},
    };
    for (const auto& s : swatches) {
        auto* row = new QHBoxLayout;
        row->addWidget(addSwatch(s.option, &s.option == &o.selectedTextColor, masters_));
        row->addWidget(label(s.image, QString::fromLatin1(s.text), masters_), 1);
        mastersGrid->addLayout(row, r++, 0, 1, 2);
    }
    defaultColorsButton = new QPushButton(QStringLiteral("Set default colors"), masters_);
    defaultColorsButton->setObjectName(QStringLiteral("Button1"));
    defaultColorsButton->setAutoDefault(false);
    connect(defaultColorsButton, &QPushButton::clicked, this, [this] { options_.setDefaultColors(); });
    mastersGrid->addWidget(defaultColorsButton, r++, 0, 1, 2);
    mastersGrid->setRowStretch(r, 1);
    mastersGrid->setColumnStretch(1, 1);
    tabs_->addTab(masters_, QStringLiteral("Master's"));
}

void OptionsWindow::ApplyLanguage() {
    IniFile ini(context_.language.iniPath);
    const QString section = QStringLiteral("Options");
    for (const LangText& t : kTexts) {
        const QString text = ini.readString(section, QString::fromLatin1(t.key), QString::fromLatin1(t.text));
        const QString control = QString::fromLatin1(t.control);
        if (control.isEmpty()) {
            setWindowTitle(text);
        } else if (control.startsWith(QLatin1String("TabSheet"))) {
            tabs_->setTabText(control.right(1).toInt() - 1, text);
        } else if (QLabel* l = labels_.value(control)) {
            l->setText(text);
        } else if (control == QLatin1String("DefBtn")) {
            factorySettingsButton->setText(text);
        } else {
            for (QCheckBox* b : std::as_const(checks_))
                if (b->objectName() == control)
                    b->setText(text);
        }
    }
}

void OptionsWindow::fitTabs() {
    // Room for the caption of every tab shown, in the language chosen.
    tabs_->setMinimumWidth(tabs_->tabBar()->sizeHint().width() + 8);
}

void OptionsWindow::syncFromOptions() {
    if (syncing_)
        return;
    syncing_ = true;
    for (auto it = checks_.cbegin(); it != checks_.cend(); ++it) {
        const QSignalBlocker block(it.value());
        it.value()->setChecked(it.key()->checked());
        it.value()->setEnabled(it.key()->enabled());
    }
    for (auto it = edits_.cbegin(); it != edits_.cend(); ++it) {
        UpDownEdit* e = it.value();
        const QSignalBlocker block(e);
        if (e->position() != it.key()->position())
            e->setPosition(it.key()->position());
        if (e->text() != it.key()->text())
            e->setText(it.key()->text());
        e->setEnabled(it.key()->enabled());
    }
    for (ColorSwatch* s : std::as_const(swatches_))
        s->refresh();
    const bool continuous = options_.continuousFieldsEnabled();
    labels_.value(QStringLiteral("Label16"))->setEnabled(continuous);
    labels_.value(QStringLiteral("Label17"))->setEnabled(continuous);
    for (const char* n : {"Label_MonInv1", "Label_MonInv2"}) {
        QLabel* l = labels_.value(QString::fromLatin1(n));
        l->setVisible(options_.runStopLabelsVisible());
        l->setEnabled(options_.monitorRunStopControl.enabled());
    }
    const int masters = tabs_->indexOf(masters_);
    if (tabs_->isTabVisible(masters) != options_.mastersTabVisible()) {
        tabs_->setTabVisible(masters, options_.mastersTabVisible());
        fitTabs();
    }
    syncing_ = false;
}

void OptionsWindow::showDataStore() {
    if (!context_.store)
        return;
    // The view follows the context's store, a new one after a restarted start-up included.
    if (!datasView_) {
        datasView_ = new StoreInspector(context_);
        connect(datasView_, &StoreInspector::closed, this,
                [this] { options_.showBufferTable.setChecked(false); });
        if (mainWindow_)
            datasView_->placeUnder(mainWindow_);
        else if (parentWidget())
            datasView_->placeUnder(parentWidget()->window());
    }
    datasView_->refresh();
    datasView_->show();
    datasView_->raise();
}

void OptionsWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    options_.show();
}

bool OptionsWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        emit activated();
    return QDialog::event(e);
}

void OptionsWindow::done(int r) {
    // The close box and Esc come here too: neither may leave a refused entry behind.
    if (!options_.closeQuery(asker_))
        return;
    if (const std::optional<Notice> failure = options_.saveSettings().failure)
        asker_.ask(*failure);
    QDialog::done(r);
}
