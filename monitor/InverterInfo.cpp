#include "monitor/InverterInfo.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/DriveChecks.h"
#include "link/DriveNames.h"
#include "link/LowHalfRegister.h"
#include "link/ResultText.h"
#include "monitor/ChannelValues.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PumpEvents.h"

#include <cstdint>

namespace {

const QString kSection = QStringLiteral("InverterInfo");

bool isTripHistory(const QString& code) {
    return code == QLatin1String("FE10") || code == QLatin1String("FE11") || code == QLatin1String("FE12") ||
           code == QLatin1String("FE13");
}

} // namespace

InverterInfo::InverterInfo(CommLink& link, DriveNames& names, const ProgramContext& context, Asker& asker)
    : link_(link), names_(names), context_(context), asker_(asker) {}

InverterInfo::Reading InverterInfo::readParameter(int index) {
    // A failed read is not reported: the line shows what the exchange returned.
    const std::uint32_t raw = link_.transactNoted(index, QString(), QStringLiteral("R")).value;
    Reading r;
    r.raw = applyParameterSign(context_, index, raw);
    r.value = double(r.raw) / ValueRules::mulOf(context_, index);
    return r;
}

bool InverterInfo::readIdentity(const char* comNo, int& value) {
    const int index = ValueRules::IndexOfComNo(context_, QString::fromLatin1(comNo));
    if (index < 0)
        return false;
    const std::uint32_t raw = link_.transactNoted(index, QString(), QStringLiteral("R")).value;
    value = std::int16_t(std::uint16_t(raw & 0xFFFF));
    return true;
}

bool InverterInfo::readInverterInfo(ResultText& out, const MonitorItemLists& lists) {
    const IniFile language(Paths::resolvedOrAsGiven(context_.language.iniPath));
    keys_ = language.keys(kSection);
    numbers_.clear();

    // The drive's identity feeds the capacity look-up. A drive type without one of these
    // numbers gives CPU version 0 and an empty code (the look-ups then name nothing).
    int v = 0;
    cpu_ = readIdentity("FE08", v) ? v : 0;
    formCode_ = readIdentity("FB05", v) ? QString::number(v) : QString();
    typeCode_ = readIdentity("FB07", v) ? QString::number(v) : QString();
    typeName_.clear();
    typeNameKnown_ = false;

    if (keys_.isEmpty()) {
        const QString text = Msg(context_, MsgId::NoItemsToShow);
        asker_.ask({text, context_.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
        PumpEvents();
        return false;
    }
    for (const QString& key : std::as_const(keys_))
        numbers_ << language.readString(kSection, key, QStringLiteral("-"));
    const IniFile catalogue(Paths::resolvedOrAsGiven(context_.paths.catalogueIni));
    cpu2_ =
        catalogue.readString(context_.drive.identity.typeName, QStringLiteral("CPU2"), QStringLiteral("D"));

    out.addLine(numbers_.at(0));
    WriteAccessValue(link_, driveAccessValueText());
    // Position 1 is the trip data's title.
    for (qsizetype j = 2; j < keys_.size(); ++j) {
        const QString& key = keys_.at(j);
        if (key.startsWith(QLatin1String("cr"))) {
            out.addLine(QString());
            continue;
        }
        const QString& code = numbers_.at(j);
        const int index = ValueRules::IndexOfComNo(context_, code);
        out.addLine(key + (index < 0 ? QStringLiteral("-") : lineText(code, index, lists)));
    }
    return true;
}

QString InverterInfo::lineText(const QString& code, int index, const MonitorItemLists& lists) {
    if (LowHalfRegister::cuts(link_, context_, index))
        return Msg(context_, MsgId::WideValueNotShown);
    const Reading r = readParameter(index);
    if (code == QLatin1String("FB07")) {
        typeName_ = names_.LookupTypeName(ValueRules::floatText(r.value));
        typeNameKnown_ = true;
        return typeName_;
    }
    if (code == QLatin1String("FB05")) {
        if (cpu_ >= DriveNames::kCustomCpu)
            return names_.LookupCapacityNameNewCpu(typeCode_, QString::number(cpu_), formCode_);
        // The type name comes from an earlier "FB07" line; without one, from the type code
        // read at the start, so the order of the lines does not change the name.
        if (!typeNameKnown_) {
            typeName_ = names_.LookupTypeName(typeCode_);
            typeNameKnown_ = true;
        }
        return names_.LookupCapacityName(typeName_, ValueRules::floatText(r.value));
    }
    if (code == QLatin1String("FE73")) {
        // The drive's own value in hexadecimal: the raw number, which is whole whatever Mul says.
        if (cpu2_ != QLatin1String("D"))
            return ValueRules::ToHexText(double(r.raw));
        return ValueRules::floatText(r.value);
    }
    if (isTripHistory(code)) {
        const QString rawText = QString::number(r.raw);
        const qsizetype at = lists.tripCodes.indexOf(rawText);
        // A code the trip list lacks is shown as the number the drive gave.
        return at >= 0 && at < lists.tripNames.size() ? lists.tripNames.at(at) : rawText;
    }
    if (code == QLatin1String("FE14"))
        return ValueRules::floatText(r.value * 100);
    return ChannelValues::formatNumber(context_.drive, index, r.value, context_.language.decimalComma);
}

void InverterInfo::readTripData(ResultText& out, const MonitorItemLists& lists) {
    out.replaceFirstLine(numbers_.size() > 1 ? numbers_.at(1) : QString());
    out.addLine(QString());
    for (qsizetype e = 0; e < lists.codes.size(); ++e) {
        const QString& key = lists.codes.at(e);
        const QString name = lists.names.value(e);
        const int index = ValueRules::IndexOfComNo(context_, key.left(4));
        const bool oneBit = key.size() > 4 && key.at(4) == u'-';
        QString text = QStringLiteral("-");
        if (index >= 0 && !oneBit && LowHalfRegister::cuts(link_, context_, index)) {
            // Its bits 0..15 arrive whole; its value does not.
            text = Msg(context_, MsgId::WideValueNotShown);
        } else if (index >= 0) {
            const Reading r = readParameter(index);
            if (oneBit) {
                // One bit of a 16-bit word; a bit number outside 0..15 names no bit.
                bool ok = false;
                const int bit = key.mid(5).toInt(&ok);
                const bool on = ok && bit >= 0 && bit <= 15 && ((quint64(r.raw) & 0xFFFFu) >> bit) & 1u;
                text = on ? QStringLiteral("ON") : QStringLiteral("OFF");
            } else {
                text = ChannelValues::formatNumber(context_.drive, index, r.value,
                                                   context_.language.decimalComma);
            }
        }
        out.addLine(name + QStringLiteral(" : ") + text);
    }
}
