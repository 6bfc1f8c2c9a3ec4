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
    I_TypeForm.clear();
    I_TypeNo.clear();
    const IniFile ini(cataloguePath(link_.context()));
    for (const QString& key : ini.keys(section)) {
        I_TypeForm << key;
        I_TypeNo << ini.readString(section, key, QStringLiteral("99"));
    }
}

QString DriveNames::LookupTypeName(const QString& typeCode) {
    I_TypeForm.clear();
    I_TypeNo.clear();
    IdentFound = false;
    const int cpu = readCpuVersion();
    fillTypeLists(cpu >= kCustomCpu ? QStringLiteral("Type_Custom") : QStringLiteral("Type"));
    const int index = FindTypeIndex(typeCode);
    if (IdentFound)
        return IdentTypeName;
    return index < 0 ? kNotFound : I_TypeForm.at(index);
}

int DriveNames::FindTypeIndex(const QString& typeCode) {
    const QString section = QStringLiteral("Type_Ident_") + typeCode;
    const QString ident = IniFile(cataloguePath(link_.context()))
                              .readString(section, QStringLiteral("Ident"), QStringLiteral("-"));
    const int cpu = readCpuVersion();
    if (cpu >= kCustomCpu || ident == QLatin1String("-"))
        return int(I_TypeNo.indexOf(typeCode));

    // Types that share a code are told apart by one of their parameters.
    ConfigScan scan(link_);
    const std::uint32_t raw =
        scan.ScanTransact(ident, QString(), link_.settings().protocol == 1, QStringLiteral("R")).value;
    const QString key = QStringLiteral("Typ_") + QString::number(signed16(raw));
    const QString name =
        IniFile(cataloguePath(link_.context())).readString(section, key, QStringLiteral("-"));
    if (name != QLatin1String("-")) {
        IdentFound = true;
        IdentTypeName = name;
        return int(I_TypeForm.indexOf(name));
    }
    return int(I_TypeNo.indexOf(typeCode));
}

QString DriveNames::capacityFrom(const QString& section, QStringList& names, const QString& capacityCode) {
    const IniFile ini(cataloguePath(link_.context()));
    for (const QString& key : ini.keys(section)) {
        names << key;
        I_CapaNo << ini.readString(section, key, QStringLiteral("0"));
    }
    const qsizetype pos = I_CapaNo.indexOf(capacityCode);
    return pos < 0 ? kNotFound : names.at(pos);
}

QString DriveNames::LookupCapacityName(const QString& typeName, const QString& capacityCode) {
    I_CapaForm.clear();
    I_CapaNo.clear();
    return capacityFrom(typeName, I_CapaForm, capacityCode);
}

QString DriveNames::LookupCapacityNameNewCpu(const QString& typeCode, const QString& cpuText,
                                             const QString& capacityCode) {
    I_CapaFormNewCpu.clear();
    I_CapaNo.clear();
    I_CapaNoNewCpu.clear();
    const QString typeName = LookupTypeName(typeCode);
    return capacityFrom(typeName + QStringLiteral("(V") + cpuText + u')', I_CapaFormNewCpu, capacityCode);
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
    IdentFound = true;
    IdentTypeName = name;
    return QString::number(I_TypeForm.indexOf(name));
}

QString DriveNames::LookupFileTypeName(const QString& typeCode, const QString& identValue) {
    IdentFound = false;
    fillTypeLists(QStringLiteral("Type"));
    const QString found = FindFileTypeIndex(typeCode, identValue);
    return IdentFound && found != kNotFound ? IdentTypeName : kNotFound;
}
