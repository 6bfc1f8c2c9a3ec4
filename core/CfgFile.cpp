#include "core/CfgFile.h"

#include "core/Messages.h"
#include "core/ParaFile.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

#include <QHash>

#include <array>

namespace CfgFile {

namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int k = 0; k < 8; ++k)
            v = (v & 1u) ? (v >> 1) ^ 0x8408u : v >> 1;
        t[i] = static_cast<std::uint16_t>(v);
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> kTable = makeTable();

QString hex4(unsigned v) {
    return QString::number(v, 16).toUpper().rightJustified(4, u'0');
}

bool code16(const QString& text, unsigned& v) {
    qint64 n = 0;
    if (!ValueRules::parseInteger(text, n) || n < 0 || n > 0xFFFF)
        return false;
    v = static_cast<unsigned>(n);
    return true;
}

bool isHex4(const QString& s) {
    if (s.size() != 4)
        return false;
    for (QChar c : s)
        if (!c.isDigit() && !(c.toLower() >= u'a' && c.toLower() <= u'f'))
            return false;
    return true;
}

BoxAnswer box(Asker& asker, const ProgramContext& context, const QString& text, BoxIcon icon,
              BoxButtons buttons) {
    return asker.ask({text, context.texts.caption, icon, buttons});
}

} // namespace

std::uint16_t Crc16Ccitt(std::uint16_t crc, const unsigned char* data, int count) {
    for (int i = 0; i < count; ++i)
        crc = static_cast<std::uint16_t>(kTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8));
    return crc;
}

WriteInput inputFromStore(const ProgramContext& context) {
    WriteInput in;
    if (!context.drive.files.infoIniPath.isEmpty())
        in.deviceId = IniFile(context.drive.files.infoIniPath)
                          .readBytes(QStringLiteral("Setup"), QStringLiteral("MLD_ID"), in.deviceId);
    in.typeCode = context.drive.identity.typeCode;
    in.formCode = context.drive.identity.formCode;
    in.cpuNumber = context.drive.identity.cpuNumber;
    in.valueText = [&context](const QString& comNo) -> QString {
        const int index = ValueRules::IndexOfComNo(context, comNo);
        const ParameterStore* p = context.store;
        if (index < 0 || !p)
            return QString();
        const QString& v = StoreCells::value(context, index);
        return v.isNull() ? QStringLiteral("") : v; // present, even when empty
    };
    return in;
}

bool build(const WriteInput& in, QByteArray& out, QStringList* skipped) {
    unsigned type = 0, form = 0, cpu = 0;
    if (!code16(in.typeCode, type) || !code16(in.formCode, form) || !code16(in.cpuNumber, cpu))
        return false;
    unsigned v = 0;
    // The reader ignores this value, so a missing or unusable "FB72" is written as 0.
    if (in.valueText) {
        qint64 n = 0;
        if (ValueRules::parseInteger(in.valueText(QStringLiteral("FB72")), n) && n >= 0 && n <= 0xFFFF)
            v = static_cast<unsigned>(n);
    }

    QByteArray text;
    text.reserve(64 * 1024);
    // Every text of the file but the device identifier is ASCII, which reads alike in any page.
    // The identifier is the peer's name of the drive, copied as the bytes Info.ini holds: UTF-8
    // in the drive data we ship, the code page in drive data made on Windows.
    auto line = [&text](const QString& s) {
        text += s.toUtf8();
        text += '\n';
    };
    line(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    line(QStringLiteral("<n1:SystemConfigurationFile SystemCfgTransferMode=\"VLR\">"));
    line(QStringLiteral("<SystemConfigurationFilecomment>"));
    line(QStringLiteral("Created By ") + QString::fromLatin1(kProductName));
    line(QStringLiteral("</SystemConfigurationFilecomment>"));
    text += "<Device DeviceSlot=\"0\" DeviceID=\"" + in.deviceId + "\">\n";
    line(QStringLiteral("<DeviceCompatibilityData>"));
    line(QStringLiteral("FB07") + hex4(type) + QStringLiteral("FB05") + hex4(form) + QStringLiteral("FB72") +
         hex4(v) + QStringLiteral("FE08") + hex4(cpu));
    line(QStringLiteral("</DeviceCompatibilityData>"));
    line(QStringLiteral("<ConfigurationSlot ConfigurationSlotID=\"0\">"));

    static const char* const kPrefix[3] = {"0.0.0.", "0.0.1.", "0.0.2."};
    static const char kLetter[3] = {0, 'A', 'C'};
    for (int group = 0; group < 3; ++group) {
        for (int b = 0; b < 10; ++b) {
            QString records;
            int count = 0;
            for (int i = 100 * b; i < 100 * b + 100; ++i) {
                const QString number = group == 0 ? QString::number(i).rightJustified(4, u'0')
                                                  : QChar::fromLatin1(kLetter[group]) +
                                                        QString::number(i).rightJustified(3, u'0');
                const QString valueText = in.valueText ? in.valueText(number) : QString();
                if (valueText.isNull())
                    continue; // not a parameter of this drive type
                qint64 n = 0;
                if (!ValueRules::parseInteger(valueText, n) || n < 0 || n > 0xFFFF) {
                    if (skipped)
                        *skipped << number;
                    continue;
                }
                QString value = hex4(static_cast<unsigned>(n));
                if (group == 0)
                    value = value.toLower();
                records += number.toLower() + value;
                ++count;
            }
            if (count == 0)
                continue;
            // Blocks are numbered by their decimal digits read as hexadecimal: 1..9, then 16.
            const int id = (b + 1) / 10 * 16 + (b + 1) % 10;
            line(QStringLiteral("<CfgFile DataSize=\"%1\" CfgFileID=\"%2%3\">")
                     .arg(8 * count)
                     .arg(QString::fromLatin1(kPrefix[group]))
                     .arg(id));
            line(QStringLiteral("<Data>"));
            line(records + QStringLiteral("</Data>"));
            line(QStringLiteral("</CfgFile>"));
        }
    }
    line(QStringLiteral("</ConfigurationSlot>"));
    line(QStringLiteral("</Device>"));
    line(QStringLiteral("</n1:SystemConfigurationFile>"));
    const std::uint16_t crc = Crc16Ccitt(0xFFFF, reinterpret_cast<const unsigned char*>(text.constData()),
                                         static_cast<int>(text.size()));
    line(QStringLiteral("<!--ChecksumData::") + hex4(crc) + QStringLiteral("-->"));
    text += "\r\n";
    out = text;
    return true;
}

bool WriteConfigurationXml(const ProgramContext& context, const QString& path, Asker& asker) {
    QByteArray bytes;
    QStringList skipped;
    if (!build(inputFromStore(context), bytes, &skipped)) {
        asker.ask(MsgNotice(context, MsgId::DataIncorrect, BoxIcon::Warning, BoxButtons::Ok));
        return false;
    }
    if (int code = 0; !TextFile::writeBytes(path, bytes, nullptr, &code)) {
        asker.ask(ParaFile::writeFailureNotice(context, path, code));
        return false;
    }
    if (!skipped.isEmpty())
        box(asker, context,
            ParaFile::mainText(
                context, QStringLiteral("CfgSkipped"),
                QStringLiteral("These parameters could not be stored in the configuration file:")) +
                "\n" + skipped.join(QStringLiteral(", ")),
            BoxIcon::Warning, BoxButtons::Ok);
    return true;
}

bool isConfigurationFile(const QStringList& lines) {
    return lines.size() > 3 && lines.at(3).contains(QLatin1String("Created By"));
}

bool checksumMatches(const QStringList& lines, const QList<QByteArray>& lineBytes) {
    qsizetype last = lines.size() - 1;
    while (last >= 0 && lines.at(last).trimmed().isEmpty())
        --last;
    if (last < 0)
        return false;
    const QString mark = lines.at(last).trimmed();
    static const QLatin1String kHead("<!--ChecksumData::"), kTail("-->");
    if (mark.size() != kHead.size() + 4 + kTail.size() || !mark.startsWith(kHead) || !mark.endsWith(kTail))
        return false;
    const QString digits = mark.mid(kHead.size(), 4);
    if (!isHex4(digits))
        return false;
    const auto expected = static_cast<std::uint16_t>(digits.toUInt(nullptr, 16));
    static const unsigned char kLf[] = {'\n'}, kCrLf[] = {'\r', '\n'};
    std::uint16_t lf = 0xFFFF, crlf = 0xFFFF;
    for (qsizetype i = 0; i < last; ++i) {
        const QByteArray bytes = lineBytes.size() == lines.size() ? lineBytes.at(i) : lines.at(i).toUtf8();
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        lf = Crc16Ccitt(Crc16Ccitt(lf, data, static_cast<int>(bytes.size())), kLf, 1);
        crlf = Crc16Ccitt(Crc16Ccitt(crlf, data, static_cast<int>(bytes.size())), kCrLf, 2);
    }
    return lf == expected || crlf == expected;
}

QList<Record> parseRecords(const QStringList& lines) {
    QList<Record> out;
    int at = lines.indexOf(QStringLiteral("<Data>"));
    if (at < 0)
        return out;
    while (at >= 0 && at < lines.size() && lines.at(at).contains(QLatin1String("<Data>"))) {
        if (at + 1 < lines.size()) {
            const QString& l = lines.at(at + 1);
            for (qsizetype pos = 0; pos < l.size(); pos += 8) {
                const QString number = l.mid(pos, 4);
                if (number.contains(u'<'))
                    break;
                out.append({number, l.mid(pos + 4, 4), at + 1});
            }
        }
        at += 4;
    }
    return out;
}

QString markerRefusalText(const ProgramContext& context, const QList<Record>& records) {
    for (qsizetype i = 0; i < records.size();) {
        const int line = records.at(i).line;
        bool first = false, second = false;
        for (; i < records.size() && records.at(i).line == line; ++i) {
            const Record& r = records.at(i);
            if (r.number == QLatin1String("0998") &&
                r.value.compare(QLatin1String("0001"), Qt::CaseInsensitive))
                first = true;
            if (r.number == QLatin1String("0999") &&
                r.value.compare(QLatin1String("0002"), Qt::CaseInsensitive))
                second = true;
        }
        if (first || second) {
            QString text;
            if (first)
                text += Msg(context, MsgId::FileSpecial0998) + "\n";
            if (second)
                text += Msg(context, MsgId::FileSpecial0999) + "\n";
            return text + "\n" + Msg(context, MsgId::FileCannotBeOpened);
        }
    }
    return QString();
}

QString LookupCfgValue(const QStringList& cnum, const QStringList& val, const QString& number) {
    for (qsizetype k = 0; k < cnum.size() && k < val.size(); ++k)
        if (cnum.at(k).compare(number, Qt::CaseInsensitive) == 0)
            return isHex4(val.at(k)) ? QString::number(val.at(k).toUInt(nullptr, 16))
                                     : QStringLiteral("Err.");
    return QStringLiteral("Err.");
}

Names catalogueNames(const ProgramContext& context) {
    Names n;
    n.fileTypeName = [&context](const QString& typeCode, const QString& identValue) -> QString {
        const QString path = context.paths.catalogueIni;
        if (path.isEmpty())
            return QStringLiteral("Err.");
        IniFile ini(path);
        const QString section = QStringLiteral("Type_Ident_") + typeCode;
        if (ini.readString(section, QStringLiteral("Ident"), QStringLiteral("-")) == QLatin1String("-"))
            return QStringLiteral("Err.");
        const QString name =
            ini.readString(section, QStringLiteral("Typ_") + identValue, QStringLiteral("-"));
        return name == QLatin1String("-") ? QStringLiteral("Err.") : name;
    };
    n.capacityName = [&context](const QString& typeName, const QString& capacityCode) -> QString {
        const QString path = context.paths.catalogueIni;
        if (path.isEmpty())
            return QStringLiteral("Err.");
        IniFile ini(path);
        for (const QString& key : ini.keys(typeName))
            if (ini.readString(typeName, key, QStringLiteral("0")) == capacityCode)
                return key;
        return QStringLiteral("Err.");
    };
    return n;
}

ReadOutcome ReadConfigurationXml(ProgramContext& context, const QStringList& lines, QStringList& cfgCNum,
                                 QStringList& cfgVal, const Names& names, Asker& asker) {
    ReadOutcome out;
    if (!isConfigurationFile(lines)) {
        asker.ask(MsgNotice(context, MsgId::DataIncorrect, BoxIcon::Warning, BoxButtons::Ok));
        return out;
    }
    const QList<Record> records = parseRecords(lines);
    const QString marker = markerRefusalText(context, records);
    if (!marker.isEmpty()) {
        box(asker, context, marker, BoxIcon::None, BoxButtons::Ok);
        asker.letEventsThrough();
        return out;
    }

    // Identity codes from the compatibility line; a line the peer cannot have written is
    // refused before any record is kept.
    const QString id = lines.size() > 7 ? lines.at(7) : QString();
    const QString typeHex = id.mid(4, 4), formHex = id.mid(12, 4), cpuHex = id.mid(28, 4);
    if (id.size() < 32 || !isHex4(typeHex) || !isHex4(formHex) || !isHex4(cpuHex)) {
        asker.ask(MsgNotice(context, MsgId::DataIncorrect, BoxIcon::Warning, BoxButtons::Ok));
        return out;
    }
    for (const Record& r : records) {
        cfgCNum << r.number;
        cfgVal << r.value;
    }

    QString p0099 = LookupCfgValue(cfgCNum, cfgVal, QStringLiteral("0099"));
    if (p0099 == QLatin1String("Err."))
        p0099 = QStringLiteral("1");
    const QString typeCode = QString::number(typeHex.toUInt(nullptr, 16));
    const QString formCode = QString::number(formHex.toUInt(nullptr, 16));
    const QString cpuText =
        QStringLiteral("V") + QString::number(cpuHex.toUInt(nullptr, 16)).rightJustified(3, u'0');
    out.typeName = names.fileTypeName ? names.fileTypeName(typeCode, p0099) : QStringLiteral("Err.");
    out.capacityName =
        names.capacityName ? names.capacityName(out.typeName, formCode) : QStringLiteral("Err.");
    const QString who = out.typeName + out.capacityName + " (" + cpuText + ") ";

    if (out.typeName != context.drive.identity.typeName) {
        box(asker, context,
            Msg(context, MsgId::FileTypeDiffers) + "\n" + who + Msg(context, MsgId::FileDriveNotReadable),
            BoxIcon::Warning, BoxButtons::Ok);
        return out;
    }
    bool withCapacity = true;
    if (out.capacityName != context.drive.identity.formName) {
        const QString text = Msg(context, MsgId::FileFormDiffers) + "\n* " + who +
                             Msg(context, MsgId::FileDriveIs) + "\n\n" + Msg(context, MsgId::YesReadAll) +
                             "\n" + Msg(context, MsgId::NoSkipCapacity) + "\n" +
                             Msg(context, MsgId::CancelDoNotRead);
        const BoxAnswer a = box(asker, context, text, BoxIcon::Warning, BoxButtons::YesNoCancel);
        asker.letEventsThrough();
        if (a == BoxAnswer::No)
            withCapacity = false;
        else if (a != BoxAnswer::Yes)
            return out;
    }
    if (cpuText != context.drive.identity.cpuVersion) {
        if (box(asker, context,
                Msg(context, MsgId::FileCpuDiffers) + "\n* " + who + Msg(context, MsgId::FileDriveIs),
                BoxIcon::Warning, BoxButtons::OkCancel) != BoxAnswer::Ok)
            return out;
    }

    WaitCursor wait;
    ParaFile::resetValuesToDefaults(context);
    // The value of a number is that of its first record (as LookupCfgValue gives it).
    QHash<QString, QString> firstValue;
    for (qsizetype k = 0; k < cfgCNum.size(); ++k) {
        const QString key = cfgCNum.at(k).toUpper();
        if (!firstValue.contains(key))
            firstValue.insert(key, isHex4(cfgVal.at(k)) ? QString::number(cfgVal.at(k).toUInt(nullptr, 16))
                                                        : QStringLiteral("Err."));
    }
    for (const QString& number : std::as_const(cfgCNum)) {
        if (!withCapacity && ParaFile::isCapacityParameter(context, number, Qt::CaseInsensitive))
            continue;
        const QString value = firstValue.value(number.toUpper());
        const int index = ValueRules::IndexOfComNo(context, number.toUpper());
        if (value == QLatin1String("Err.") || index < 0)
            continue;
        ParaFile::takeValue(context, index, value, value.toDouble(), QString(), QString());
        out.taken.append(index);
    }
    out.result = ReadResult::Loaded;
    return out;
}

} // namespace CfgFile
