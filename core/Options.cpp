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
    if (this == &owner_->ValMulti)
        return owner_->FreeUnitMon.checked();
    if (this == &owner_->CntMonTime || this == &owner_->CntMonSmp)
        return owner_->CntMon.checked();
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
    return {&StartLang,
            &StartInv,
            &PrinterChk,
            &TypCapChk,
            &EEPWriteEnable,
            &WriteNotChgPara,
            &ParaErrDisp,
            &ParaResult,
            &CompMsgDisp,
            &CompResult,
            &SUMode,
            &SaveNotChgPara,
            &ParaSkipSave,
            &FileRegist,
            &ParaEnt,
            &FreeUnitMon,
            &CntMon,
            &MonInvDrive,
            &MonAlrmDisp,
            &MonTripDisp,
            &MonTripDataDisp,
            &MonKeep,
            &MainteClear,
            &DispBuffer,
            &zeroOnCommError,
            &currentVoltageCellColor,
            &onlineCurrentVoltageBase,
            &WinHelpSlct,
            &runStopLock};
}

QList<UpDownOption*> Options::upDowns() {
    return {&UndoMaxSet, &LedDispTime, &TBValSet,  &ValMulti,   &MonRecPoint,
            &CntMonTime, &CntMonSmp,   &ComSpMarg, &ComChkTimes};
}

QList<ColorOption*> Options::colors() {
    return {&MonCB,      &PSTextC,  &PSCellC,  &PNTextC, &PNCellC,
            &PSlctTextC, &PCVCellC, &WaitMsgC, &CTimeC,  &CErrC};
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
    return {c("CheckLang", o.StartLang, true),
            c("CheckInv", o.StartInv, true),
            c("CheckPrt", o.PrinterChk, false),
            c("CheckInvTyp", o.TypCapChk, true),
            c("Eeprom", o.EEPWriteEnable, true),
            c("ChgPara1", o.WriteNotChgPara, true),
            c("ComDisp", o.ParaErrDisp, false),
            c("Result", o.ParaResult, true),
            c("CompDisp", o.CompMsgDisp, false),
            c("ResultC", o.CompResult, true),
            c("Mainte", o.SUMode, false),
            c("ChgPara2", o.SaveNotChgPara, false),
            c("SkipFile", o.ParaSkipSave, false),
            c("RegistFile", o.FileRegist, true),
            c("Entkey", o.ParaEnt, true),
            u("UndoMax", o.UndoMaxSet, 10),
            u("PanelTime1", o.LedDispTime, 260),
            s("MonBack", o.MonCB, 0xFFFFFF),
            u("MonVal", o.TBValSet, 15),
            c("MonMode2", o.FreeUnitMon, false),
            u("MonMode2Multi", o.ValMulti, 100),
            u("MonMode2Point", o.MonRecPoint, 3000),
            c("MonMode3", o.CntMon, false),
            u("MonMode3T", o.CntMonTime, 120),
            u("MonMode3Smp", o.CntMonSmp, 10),
            c("MonMode4", o.MonInvDrive, false),
            c("MonMode5", o.MonAlrmDisp, true),
            c("MonMode6", o.MonTripDisp, true),
            c("MonMode7", o.MonTripDataDisp, true),
            c("MonKeep", o.MonKeep, false),
            s("MSTC", o.PSTextC, 0x000000),
            s("MSCC", o.PSCellC, 0xFFFFFF),
            s("MNTC", o.PNTextC, 0x000000),
            s("MNCC", o.PNCellC, 0xE0FFFF),
            s("MSLTC", o.PSlctTextC, 0xFFFFFF),
            c("MCVCCC", o.currentVoltageCellColor, false),
            s("MCVCC", o.PCVCellC, 0x00FFFF),
            c("MCVBOC", o.onlineCurrentVoltageBase, false),
            c("WHP", o.WinHelpSlct, false),
            u("MMG", o.ComSpMarg, 50),
            u("MMCT", o.ComChkTimes, 5),
            s("MWC", o.WaitMsgC, 0x808080),
            s("MTC", o.CTimeC, 0x808080),
            s("MEC", o.CErrC, 0x808080),
            c("MZV", o.zeroOnCommError, false)};
}

// The order of reading and of the factory defaults: MonKeep right after PanelTime1.
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
    if (context_.StartupAbort)
        return false;
    setMastersTabVisible(false);
    TypCapChk.setChecked(true);
    loadSettings(connectDrive);
    UpdateTripAlarmOptions();
    return true;
}

void Options::loadSettings(const std::function<void()>& connectDrive) {
    {
        IniFile ini(context_.SettingsIniPath);
        for (const Key& k : loadOrder(*this)) {
            if (!std::strcmp(k.key, "CheckInvTyp"))
                continue; // TypCapChk is on at every start
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
        association_(FileRegist.checked());
    UpdateRunStopControl();

    ProgramContext& context = context_;
    context.RowsInUse =
        context.Parameters && context.Parameters->MainteFlag ? context.ParaCountAll : context.ParaCountNormal;
    IniFile info(context.InfoIniPath);
    runStopLock.setChecked(info.readInteger(QStringLiteral("Setup"), QStringLiteral("Option2"), 0) != 0);
}

Options::SaveOutcome Options::saveSettings() {
    const QString path = context_.SettingsIniPath;
    IniFile ini(path);
    const bool mainte = context_.Parameters && context_.Parameters->MainteFlag;
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
                          context_.MsgCaption, BoxIcon::Warning, BoxButtons::Ok}};
}

// ---- Showing, closing and the number checks ----------------------------------------------

void Options::show() {
    BadEntry = 0;
    UpdateTripAlarmOptions();
    resultSavingRule();
    UpdateRunStopControl();
}

bool Options::closeQuery(Asker& asker) {
    for (UpDownOption* f : {&ComSpMarg, &ComChkTimes})
        takeTypedPosition(*f);
    bool ok = true;
    for (UpDownOption* f : {&UndoMaxSet, &LedDispTime, &TBValSet, &CntMonTime, &CntMonSmp, &ValMulti})
        ok = validate(*f, asker) && ok;
    return ok;
}

bool Options::validate(UpDownOption& f, Asker& asker) {
    const bool percent = &f == &ValMulti;
    auto reject = [&](MsgId msg) {
        if (focusBack_)
            focusBack_(f);
        asker.ask(MsgNotice(context_, msg, BoxIcon::Error));
        BadEntry = 1;
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
    BadEntry = 0;
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
    PSTextC.setValue(0x000000);
    PSCellC.setValue(0xFFFFFF);
    PNTextC.setValue(0x000000);
    PNCellC.setValue(0xE0FFFF);
    PSlctTextC.setValue(0xFFFFFF);
    currentVoltageCellColor.setChecked(false);
    PCVCellC.setValue(0x00FFFF);
    onlineCurrentVoltageBase.setChecked(false);
    WinHelpSlct.setChecked(false);
    ComSpMarg.setPosition(50);
    ComChkTimes.setPosition(5);
    WaitMsgC.setValue(0x808080);
    CTimeC.setValue(0x808080);
    CErrC.setValue(0x808080);
    zeroOnCommError.setChecked(false);
}

// ---- Click rules and enabled states --------------------------------------------------------

void Options::clicked(CheckOption& box) {
    if (&box == &ParaResult || &box == &CompResult || &box == &ParaSkipSave) {
        resultSavingRule();
    } else if (&box == &CompMsgDisp) {
        // One of the two comparison outputs always stays on.
        if (!CompMsgDisp.checked() && !CompResult.checked())
            CompResult.setChecked(true);
    } else if (&box == &DispBuffer) {
        if (DispBuffer.checked() && dataStoreViewer_)
            dataStoreViewer_();
    } else if (&box == &FileRegist) {
        if (association_)
            association_(FileRegist.checked());
    } else if (&box == &CntMon) {
        UpdateRunStopControl();
    }
}

void Options::resultSavingRule() {
    IniFile info(context_.InfoIniPath);
    resultSavingAlwaysAllowed_ = info.readInteger(QStringLiteral("Setup"), QStringLiteral("Option1"), 0) != 0;
    if (!CompResult.checked() && !CompMsgDisp.checked())
        CompMsgDisp.setChecked(true);
    emitChanged();
}

void Options::UpdateTripAlarmOptions() {
    const ProgramContext& context = context_;
    IniFile info(context.InfoIniPath);
    const QString type = context.DriveTypeName;
    const QString suffix = context.LanguageSuffix;
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
    return context_.Parameters && ValueRules::IndexOfComNo(context_, QString::fromLatin1(comNo)) >= 0;
}

bool Options::maintenanceUnlocked() const {
    const ParameterStore* p = context_.Parameters;
    return p && (p->MainteFlag || p->SMainteFlag);
}

// One rule per option for everything that steers its enabled state, whichever window asks.
bool Options::enabledOf(const CheckOption& box) const {
    if (&box == &ParaSkipSave)
        return !(ParaResult.checked() && CompResult.checked()) || resultSavingAlwaysAllowed_;
    if (&box == &MonAlrmDisp)
        return hasParameter("FC91") && alarmList_;
    if (&box == &MonTripDisp)
        return hasParameter("FC90") && tripList_;
    if (&box == &MonTripDataDisp)
        return hasParameter("FC90") && tripList_ && MonTripDisp.checked();
    if (&box == &MonInvDrive)
        return !CntMon.checked() && (!runStopLock.checked() || maintenanceUnlocked()) &&
               hasParameter("FA11") && hasParameter("FA10");
    return true;
}
