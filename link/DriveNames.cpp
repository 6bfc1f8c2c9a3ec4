#include "link/DriveNames.h"

#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <cstdint>

namespace {

const QString kFe08 = QStringLiteral("FE08");

QString cataloguePath(const ProgramContext& context) {
    return Paths::resolvedOrAsGiven(context.paths.catalogueIni);
}

bool toInt(const QString& text, qint64& out) {
    bool ok = false;
    out = text.trimmed().toLongLong(&ok);
    return ok;
}

int signed16(std::uint32_t raw) {
    return std::int16_t(std::uint16_t(raw & 0xFFFF));
}

} // namespace

int cpuVersionPosition(const QStringList& numbers, const QString& cpuText) {
    qint64 wanted = 0;
    const bool wantedIsNumber = toInt(cpuText, wanted);
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        qint64 n = 0;
        if (wantedIsNumber && toInt(numbers.at(i), n) ? n == wanted : numbers.at(i) == cpuText)
            return int(i);
    }
    return -1;
}

bool isCustomCpu(const QString& cpuText) {
    qint64 n = 0;
    if (toInt(cpuText, n))
        return n >= DriveNames::kCustomCpu;
    return cpuText.compare(QLatin1String("700")) >= 0;
}

DriveNames::DriveNames(CommLink& link, const QStringList* cpuForms, const QStringList* cpuNumbers)
    : link_(link), cpuForms_(cpuForms), cpuNumbers_(cpuNumbers) {}

int DriveNames::readCpuVersion() {
    const int index = link_.FindParaRow(kFe08);
    if (index < 0)
        return 0;
    const ExchangeResult r = link_.transactNoted(index, QString(), QStringLiteral("R"));
    return r.error ? 0 : signed16(r.value);
}

void DriveNames::fillTypeLists(const QString& section) {
    typeNames_.clear();
    typeCodes_.clear();
    const IniFile ini(cataloguePath(link_.context()));
    for (const QString& key : ini.keys(section)) {
        typeNames_ << key;
        typeCodes_ << ini.readString(section, key, QStringLiteral("99"));
    }
}

QString DriveNames::LookupTypeName(const QString& typeCode) {
    typeNames_.clear();
    typeCodes_.clear();
    identifiedType_.reset();
    const int cpu = readCpuVersion();
    fillTypeLists(cpu >= kCustomCpu ? QStringLiteral("Type_Custom") : QStringLiteral("Type"));
    const int index = FindTypeIndex(typeCode);
    if (identifiedType_)
        return *identifiedType_;
    return index < 0 ? kNotFound : typeNames_.at(index);
}

int DriveNames::FindTypeIndex(const QString& typeCode) {
    const QString section = QStringLiteral("Type_Ident_") + typeCode;
    const QString ident = IniFile(cataloguePath(link_.context()))
                              .readString(section, QStringLiteral("Ident"), QStringLiteral("-"));
    const int cpu = readCpuVersion();
    if (cpu >= kCustomCpu || ident == QLatin1String("-"))
        return int(typeCodes_.indexOf(typeCode));

    // Types that share a code are told apart by one of their parameters.
    ConfigScan scan(link_);
    const std::uint32_t raw =
        scan.ScanTransact(ident, QString(), link_.settings().protocol == 1, QStringLiteral("R")).value;
    const QString key = QStringLiteral("Typ_") + QString::number(signed16(raw));
    const QString name =
        IniFile(cataloguePath(link_.context())).readString(section, key, QStringLiteral("-"));
    if (name != QLatin1String("-")) {
        identifiedType_ = name;
        return int(typeNames_.indexOf(name));
    }
    return int(typeCodes_.indexOf(typeCode));
}

// The capacity lists are the section's alone: each look-up starts them afresh.
QString DriveNames::capacityFrom(const QString& section, const QString& capacityCode) {
    capacityNames_.clear();
    capacityCodes_.clear();
    const IniFile ini(cataloguePath(link_.context()));
    for (const QString& key : ini.keys(section)) {
        capacityNames_ << key;
        capacityCodes_ << ini.readString(section, key, QStringLiteral("0"));
    }
    const qsizetype pos = capacityCodes_.indexOf(capacityCode);
    return pos < 0 ? kNotFound : capacityNames_.at(pos);
}

QString DriveNames::LookupCapacityName(const QString& typeName, const QString& capacityCode) {
    return capacityFrom(typeName, capacityCode);
}

QString DriveNames::LookupCapacityNameNewCpu(const QString& typeCode, const QString& cpuText,
                                             const QString& capacityCode) {
    const QString typeName = LookupTypeName(typeCode);
    return capacityFrom(typeName + QStringLiteral("(V") + cpuText + u')', capacityCode);
}

QString DriveNames::CpuVersionName(const QString& /*typeCode*/, const QString& cpuText) const {
    if (cpuNumbers_ && cpuForms_) {
        const int pos = cpuVersionPosition(*cpuNumbers_, cpuText);
        if (pos >= 0 && pos < cpuForms_->size())
            return cpuForms_->at(pos);
    }
    if (!isCustomCpu(cpuText))
        return kNotFound;
    return u'V' + cpuText;
}

QString DriveNames::FindFileTypeIndex(const QString& typeCode, const QString& identValue) {
    const QString section = QStringLiteral("Type_Ident_") + typeCode;
    const IniFile ini(cataloguePath(link_.context()));
    if (ini.readString(section, QStringLiteral("Ident"), QStringLiteral("-")) == QLatin1String("-"))
        return kNotFound;
    const QString name = ini.readString(section, QStringLiteral("Typ_") + identValue, QStringLiteral("-"));
    if (name == QLatin1String("-"))
        return kNotFound;
    identifiedType_ = name;
    return QString::number(typeNames_.indexOf(name));
}

QString DriveNames::LookupFileTypeName(const QString& typeCode, const QString& identValue) {
    identifiedType_.reset();
    fillTypeLists(QStringLiteral("Type"));
    const QString found = FindFileTypeIndex(typeCode, identValue);
    return identifiedType_ && found != kNotFound ? *identifiedType_ : kNotFound;
}
