#include "core/Options.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "platform/FileAssociation.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const QString kSection = QStringLiteral("Options");

} // namespace

// ---- CheckOption ------------------------------------------------------------------------

bool CheckOption::enabled() const {
    return owner_->enabledOf(*this);
}

void CheckOption::setChecked(bool on) {
    if (checked_ == on)
        return;
    checked_ = on;
    owner_->clicked(*this);
    owner_->emitChanged();
}

// ---- UpDownOption -----------------------------------------------------------------------

bool UpDownOption::enabled() const {
    if (this == &owner_->freeUnitFactor)
        return owner_->useFreeUnit.checked();
    if (this == &owner_->continuousRecordMinutes || this == &owner_->continuousSampleSeconds)
        return owner_->continuousMonitoring.checked();
    return true;
}

QString UpDownOption::format(int p) const {
    if (std::strcmp(field_, "Edit9") == 0)
        return QString::number(p * 0.01, 'f', 2);
    return QString::number(p);
}

void UpDownOption::setPosition(int p) {
    position_ = qBound(min_, p, max_);
    text_ = format(position_);
    owner_->emitChanged();
}

void UpDownOption::setText(const QString& t) {
    if (text_ == t)
        return;
    text_ = t;
    owner_->emitChanged();
}

// ---- ColorOption ------------------------------------------------------------------------

int ColorOption::toBgr(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

QColor ColorOption::fromBgr(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QColor ColorOption::color() const {
    return fromBgr(value_);
}

void ColorOption::setValue(int bgr) {
    value_ = bgr & 0xFFFFFF;
    owner_->emitChanged();
}

void ColorOption::setColor(const QColor& c) {
    setValue(toBgr(c));
}

// ---- Options ----------------------------------------------------------------------------

Options::Options(ProgramContext& context) : context_(context) {
    for (UpDownOption* u : upDowns())
        u->text_ = u->format(u->position_);
    association_ = [](bool on) { applyFileAssociation(on); };
}

Options::~Options() = default;

QList<CheckOption*> Options::checks() {
    return {&startWithLastLanguage,
            &startWithLastDrive,
            &checkPrinters,
            &checkDriveTypeAndCapacity,
            &exportToEeprom,
            &exportChangedOnly,
            &showTransferErrors,
            &showTransferResult,
            &showComparisonMessage,
            &showComparisonResult,
            &useMaintenanceMode,
            &saveChangedOnly,
            &saveTransferResult,
            &registerFileType,
            &enterMovesToNextCell,
            &useFreeUnit,
            &continuousMonitoring,
            &monitorRunStopControl,
            &monitorShowsAlarms,
            &monitorShowsTrips,
            &monitorShowsTripData,
            &keepMonitorSetup,
            &newSetEndsMaintenance,
            &showBufferTable,
            &zeroOnCommError,
            &currentVoltageCellColor,
            &onlineCurrentVoltageBase,
            &hlpParameterHelp,
            &runStopLock};
}

QList<UpDownOption*> Options::upDowns() {
    return {&undoDepth,           &ledBlinkInterval,        &terminalSignalLevel,     &freeUnitFactor,
            &recordingPointCount, &continuousRecordMinutes, &continuousSampleSeconds, &readTimeMargin,
            &timedTestReads};
}

QList<ColorOption*> Options::colors() {
    return {&monitorBackColor,    &settingValueTextColor, &settingValueCellColor, &otherValueTextColor,
            &otherValueCellColor, &selectedTextColor,     &currentVoltageColor,   &waitingTextColor,
            &chartTimeColor,      &chartErrorCountColor};
}

void Options::setMastersTabVisible(bool on) {
    if (mastersTab_ == on)
        return;
    mastersTab_ = on;
    emitChanged();
}

// ---- Settings ---------------------------------------------------------------------------

namespace {

enum class Kind { Check, UpDown, Color };

struct Key {
    const char* key;
    Kind kind;
    void* option;
    int def;
};

// Section "Options" in the order it is written. CheckInvTyp is written, never read.
std::vector<Key> keyTable(Options& o) {
    auto c = [](const char* k, CheckOption& b, bool d) { return Key{k, Kind::Check, &b, d ? 1 : 0}; };
    auto u = [](const char* k, UpDownOption& b, int d) { return Key{k, Kind::UpDown, &b, d}; };
    auto s = [](const char* k, ColorOption& b, int d) { return Key{k, Kind::Color, &b, d}; };
    return {c("CheckLang", o.startWithLastLanguage, true),
            c("CheckInv", o.startWithLastDrive, true),
            c("CheckPrt", o.checkPrinters, false),
            c("CheckInvTyp", o.checkDriveTypeAndCapacity, true),
            c("Eeprom", o.exportToEeprom, true),
            c("ChgPara1", o.exportChangedOnly, true),
            c("ComDisp", o.showTransferErrors, false),
            c("Result", o.showTransferResult, true),
            c("CompDisp", o.showComparisonMessage, false),
            c("ResultC", o.showComparisonResult, true),
            c("Mainte", o.useMaintenanceMode, false),
            c("ChgPara2", o.saveChangedOnly, false),
            c("SkipFile", o.saveTransferResult, false),
            c("RegistFile", o.registerFileType, true),
            c("Entkey", o.enterMovesToNextCell, true),
            u("UndoMax", o.undoDepth, 10),
            u("PanelTime1", o.ledBlinkInterval, 260),
            s("MonBack", o.monitorBackColor, 0xFFFFFF),
            u("MonVal", o.terminalSignalLevel, 15),
            c("MonMode2", o.useFreeUnit, false),
            u("MonMode2Multi", o.freeUnitFactor, 100),
            u("MonMode2Point", o.recordingPointCount, 3000),
            c("MonMode3", o.continuousMonitoring, false),
            u("MonMode3T", o.continuousRecordMinutes, 120),
            u("MonMode3Smp", o.continuousSampleSeconds, 10),
            c("MonMode4", o.monitorRunStopControl, false),
            c("MonMode5", o.monitorShowsAlarms, true),
            c("MonMode6", o.monitorShowsTrips, true),
            c("MonMode7", o.monitorShowsTripData, true),
            c("MonKeep", o.keepMonitorSetup, false),
            s("MSTC", o.settingValueTextColor, 0x000000),
            s("MSCC", o.settingValueCellColor, 0xFFFFFF),
            s("MNTC", o.otherValueTextColor, 0x000000),
            s("MNCC", o.otherValueCellColor, 0xE0FFFF),
            s("MSLTC", o.selectedTextColor, 0xFFFFFF),
            c("MCVCCC", o.currentVoltageCellColor, false),
            s("MCVCC", o.currentVoltageColor, 0x00FFFF),
            c("MCVBOC", o.onlineCurrentVoltageBase, false),
            c("WHP", o.hlpParameterHelp, false),
            u("MMG", o.readTimeMargin, 50),
            u("MMCT", o.timedTestReads, 5),
            s("MWC", o.waitingTextColor, 0x808080),
            s("MTC", o.chartTimeColor, 0x808080),
            s("MEC", o.chartErrorCountColor, 0x808080),
            c("MZV", o.zeroOnCommError, false)};
}

// The order of reading and of the factory defaults: keepMonitorSetup right after PanelTime1.
std::vector<Key> loadOrder(Options& o) {
    std::vector<Key> keys = keyTable(o);
    auto monKeep =
        std::find_if(keys.begin(), keys.end(), [](const Key& k) { return !std::strcmp(k.key, "MonKeep"); });
    const Key moved = *monKeep;
    keys.erase(monKeep);
    auto panel = std::find_if(keys.begin(), keys.end(),
                              [](const Key& k) { return !std::strcmp(k.key, "PanelTime1"); });
    keys.insert(panel + 1, moved);
    return keys;
}

void applyDefault(const Key& k) {
    switch (k.kind) {
    case Kind::Check:
        static_cast<CheckOption*>(k.option)->setChecked(k.def != 0);
        break;
    case Kind::UpDown:
        static_cast<UpDownOption*>(k.option)->setPosition(k.def);
        break;
    case Kind::Color:
        static_cast<ColorOption*>(k.option)->setValue(k.def);
        break;
    }
}

} // namespace

QStringList Options::settingsKeys() {
    ProgramContext none;
    Options scratch(none);
    QStringList keys;
    for (const Key& k : keyTable(scratch))
        keys << QString::fromLatin1(k.key);
    return keys;
}

bool Options::create(const std::function<void()>& connectDrive) {
    if (context_.startupAborted)
        return false;
    setMastersTabVisible(false);
    checkDriveTypeAndCapacity.setChecked(true);
    loadSettings(connectDrive);
    UpdateTripAlarmOptions();
    return true;
}

void Options::loadSettings(const std::function<void()>& connectDrive) {
    {
        IniFile ini(context_.paths.settingsIni);
        for (const Key& k : loadOrder(*this)) {
            if (!std::strcmp(k.key, "CheckInvTyp"))
                continue; // checkDriveTypeAndCapacity is on at every start
            const QString key = QString::fromLatin1(k.key);
            switch (k.kind) {
            case Kind::Check:
                static_cast<CheckOption*>(k.option)->setChecked(ini.readBool(kSection, key, k.def != 0));
                break;
            case Kind::UpDown:
                // A stored number out of range would reach readers that size arrays by it.
                static_cast<UpDownOption*>(k.option)->setPosition(ini.readInteger(kSection, key, k.def));
                break;
            case Kind::Color: {
                const int v = ini.readInteger(kSection, key, k.def);
                static_cast<ColorOption*>(k.option)->setValue(v >= 0 && v <= 0xFFFFFF ? v : k.def);
                break;
            }
            }
        }
    }
    resultSavingRule();
    if (connectDrive)
        connectDrive();
    if (association_)
        association_(registerFileType.checked());
    UpdateRunStopControl();

    ProgramContext& context = context_;
    context.tableView.lastIndex = context.store && context.store->maintenance()
                                      ? context.drive.lastIndex()
                                      : context.drive.normalLastIndex;
    IniFile info(context.drive.files.infoIniPath);
    runStopLock.setChecked(info.readInteger(QStringLiteral("Setup"), QStringLiteral("Option2"), 0) != 0);
}

Options::SaveOutcome Options::saveSettings() {
    const QString path = context_.paths.settingsIni;
    IniFile ini(path);
    const bool mainte = context_.store && context_.store->maintenance();
    for (const Key& k : keyTable(*this)) {
        // A check set by unlocking maintenance mode is not kept.
        if (mainte && !std::strcmp(k.key, "Mainte"))
            continue;
        const QString key = QString::fromLatin1(k.key);
        switch (k.kind) {
        case Kind::Check:
            ini.writeBool(kSection, key, static_cast<CheckOption*>(k.option)->checked());
            break;
        case Kind::UpDown:
            ini.writeInteger(kSection, key, static_cast<UpDownOption*>(k.option)->position());
            break;
        case Kind::Color:
            ini.writeInteger(kSection, key, static_cast<ColorOption*>(k.option)->value());
            break;
        }
    }
    QString error;
    if (ini.flush(&error))
        return {true, std::nullopt};
    qWarning("Options: cannot write %s: %s", qPrintable(path), qPrintable(error));
    // Every close writes again; one box per run is enough.
    if (saveFailureShown_)
        return {false, std::nullopt};
    saveFailureShown_ = true;
    return {false, Notice{QStringLiteral("The settings cannot be saved in %1.\n%2").arg(path, error),
                          context_.texts.caption, BoxIcon::Warning, BoxButtons::Ok}};
}

// ---- Showing, closing and the number checks ----------------------------------------------

void Options::show() {
    entryRejected = 0;
    UpdateTripAlarmOptions();
    resultSavingRule();
    UpdateRunStopControl();
}

bool Options::closeQuery(Asker& asker) {
    for (UpDownOption* f : {&readTimeMargin, &timedTestReads})
        takeTypedPosition(*f);
    bool ok = true;
    for (UpDownOption* f : {&undoDepth, &ledBlinkInterval, &terminalSignalLevel, &continuousRecordMinutes,
                            &continuousSampleSeconds, &freeUnitFactor})
        ok = validate(*f, asker) && ok;
    return ok;
}

bool Options::validate(UpDownOption& f, Asker& asker) {
    const bool percent = &f == &freeUnitFactor;
    auto reject = [&](MsgId msg) {
        if (focusBack_)
            focusBack_(f);
        asker.ask(MsgNotice(context_, msg, BoxIcon::Error));
        entryRejected = 1;
    };
    double typed = 0;
    if (!ValueRules::parseNumber(f.text(), typed) || !std::isfinite(typed)) {
        reject(MsgId::DataIncorrect);
        return false;
    }
    // The free-unit factor is typed in units, kept in hundredths.
    const double value = percent ? std::round(typed * 100.0) : typed;
    if (value < f.minimum() || value > f.maximum()) {
        reject(MsgId::OutOfRange);
        f.setPosition(value < f.minimum() ? f.minimum() : f.maximum());
        return false;
    }
    f.setPosition(static_cast<int>(std::trunc(value)));
    entryRejected = 0;
    return true;
}

void Options::takeTypedPosition(UpDownOption& f) {
    double typed = 0;
    if (ValueRules::parseNumber(f.text(), typed) && std::isfinite(typed))
        f.setPosition(static_cast<int>(std::trunc(qBound<double>(f.minimum(), typed, f.maximum()))));
    else
        f.setPosition(f.position());
}

// ---- Factory defaults -------------------------------------------------------------------

void Options::restoreFactorySettings() {
    for (const Key& k : loadOrder(*this)) {
        applyDefault(k);
        if (!std::strcmp(k.key, "MonMode7"))
            break;
    }
    setDefaultColors();
}

void Options::setDefaultColors() {
    settingValueTextColor.setValue(0x000000);
    settingValueCellColor.setValue(0xFFFFFF);
    otherValueTextColor.setValue(0x000000);
    otherValueCellColor.setValue(0xE0FFFF);
    selectedTextColor.setValue(0xFFFFFF);
    currentVoltageCellColor.setChecked(false);
    currentVoltageColor.setValue(0x00FFFF);
    onlineCurrentVoltageBase.setChecked(false);
    hlpParameterHelp.setChecked(false);
    readTimeMargin.setPosition(50);
    timedTestReads.setPosition(5);
    waitingTextColor.setValue(0x808080);
    chartTimeColor.setValue(0x808080);
    chartErrorCountColor.setValue(0x808080);
    zeroOnCommError.setChecked(false);
}

// ---- Click rules and enabled states --------------------------------------------------------

void Options::clicked(CheckOption& box) {
    if (&box == &showTransferResult || &box == &showComparisonResult || &box == &saveTransferResult) {
        resultSavingRule();
    } else if (&box == &showComparisonMessage) {
        // One of the two comparison outputs always stays on.
        if (!showComparisonMessage.checked() && !showComparisonResult.checked())
            showComparisonResult.setChecked(true);
    } else if (&box == &showBufferTable) {
        if (showBufferTable.checked() && dataStoreViewer_)
            dataStoreViewer_();
    } else if (&box == &registerFileType) {
        if (association_)
            association_(registerFileType.checked());
    } else if (&box == &continuousMonitoring) {
        UpdateRunStopControl();
    }
}

void Options::resultSavingRule() {
    IniFile info(context_.drive.files.infoIniPath);
    resultSavingAlwaysAllowed_ = info.readInteger(QStringLiteral("Setup"), QStringLiteral("Option1"), 0) != 0;
    if (!showComparisonResult.checked() && !showComparisonMessage.checked())
        showComparisonMessage.setChecked(true);
    emitChanged();
}

void Options::UpdateTripAlarmOptions() {
    const ProgramContext& context = context_;
    IniFile info(context.drive.files.infoIniPath);
    const QString type = context.drive.identity.typeName;
    const QString suffix = context.language.suffix;
    alarmList_ = !info.keys(type + QStringLiteral(" Alarm (") + suffix + QLatin1Char(')')).isEmpty();
    tripList_ = !info.keys(type + QStringLiteral(" Trip (") + suffix + QLatin1Char(')')).isEmpty();
    // The RUN/STOP lock belongs to the drive type loaded now, not to the one of start-up.
    runStopLock.setChecked(info.readInteger(QStringLiteral("Setup"), QStringLiteral("Option2"), 0) != 0);
    emitChanged();
}

void Options::UpdateRunStopControl() {
    emitChanged();
}

bool Options::hasParameter(const char* comNo) const {
    return context_.store && ValueRules::IndexOfComNo(context_, QString::fromLatin1(comNo)) >= 0;
}

bool Options::maintenanceUnlocked() const {
    const ParameterStore* p = context_.store;
    return p && (p->maintenance() || p->superMaintenance());
}

// One rule per option for everything that steers its enabled state, whichever window asks.
bool Options::enabledOf(const CheckOption& box) const {
    if (&box == &saveTransferResult)
        return !(showTransferResult.checked() && showComparisonResult.checked()) ||
               resultSavingAlwaysAllowed_;
    if (&box == &monitorShowsAlarms)
        return hasParameter("FC91") && alarmList_;
    if (&box == &monitorShowsTrips)
        return hasParameter("FC90") && tripList_;
    if (&box == &monitorShowsTripData)
        return hasParameter("FC90") && tripList_ && monitorShowsTrips.checked();
    if (&box == &monitorRunStopControl)
        return !continuousMonitoring.checked() && (!runStopLock.checked() || maintenanceUnlocked()) &&
               hasParameter("FA11") && hasParameter("FA10");
    return true;
}
