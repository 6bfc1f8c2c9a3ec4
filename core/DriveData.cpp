#include "core/DriveData.h"

#include "core/DriveIdentity.h"
#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

#include <QSet>
#include <QtDebug>

namespace {

const QString kSetup = QStringLiteral("Setup");
const QString kInfo = QStringLiteral("Info");
const QString kDispCv = QStringLiteral("Disp CV");

// A line shorter than this ends the drive-type file.
constexpr int kMinLineLength = 7;
// Fields of a drive-type line: 16, or 17 with the Quick mark.
constexpr int kTypeFields = 16;

// The lines of a data file; false when it is missing or cannot be read.
bool readDataFile(const QString& path, QStringList& lines) {
    lines.clear();
    const QString found = Paths::resolve(path);
    if (found.isEmpty())
        return false;
    QString error;
    if (!TextFile::readLines(found, lines, &error)) {
        qWarning("Cannot read %s: %s", qPrintable(found), qPrintable(error));
        lines.clear();
        return false;
    }
    return true;
}

bool typeFileHasData(const QStringList& lines) {
    return !lines.isEmpty() && lines[0].size() >= kMinLineLength;
}
bool capacityFileHasData(const QStringList& lines) {
    return !lines.isEmpty() && !lines[0].isEmpty();
}

void abortStartup(Asker& asker, ProgramContext& context, MsgId message) {
    asker.ask(MsgNotice(context, message, BoxIcon::Warning));
    context.startupAborted = true;
}

// Leaves no parameter loaded, so that a failed load never looks complete.
void clearTypeTable(ProgramContext& context) {
    context.drive.clearParameters();
}

QString infoIniFile(const ProgramContext& context) {
    return Paths::resolve(context.drive.files.infoIniPath);
}

// A communication number must be four characters: the list and every look-up rely on it.
bool validComNo(const QString& comNo) {
    if (comNo.size() != 4)
        return false;
    for (const QChar c : comNo)
        if (c == QLatin1Char(',') || c.isSpace())
            return false;
    return true;
}

QString negatedNumber(const QString& text) {
    qint64 i = 0;
    if (ValueRules::parseInteger(text, i))
        return QString::number(-i);
    double d = 0;
    if (ValueRules::parseNumber(text, d))
        return ValueRules::floatText(d == 0 ? 0.0 : -d);
    return text; // "Error." stays as it is
}

} // namespace

bool LoadTypeTable(ProgramContext& context, Asker& asker, const DriveFileDialog& dialog) {
    ParameterStore* store = context.store;
    if (!store || context.startupAborted)
        return false;
    WaitCursor hourglass;

    QString disp =
        IniFile(infoIniFile(context)).readString(kSetup, QStringLiteral("Disp"), QStringLiteral("0*"));
    context.drive.files.typeFile =
        Paths::join(context.drive.files.typeFolder, context.drive.identity.typeName + QLatin1Char('(') +
                                                        context.language.suffix + QStringLiteral(").inv"));

    QStringList lines;
    if (!readDataFile(context.drive.files.typeFile, lines) || !typeFileHasData(lines)) {
        asker.ask(MsgNotice(context, MsgId::TypeFileMissing, BoxIcon::Warning));
        asker.letEventsThrough();
        const QString chosen =
            asker.chooseFile({dialog.title, context.drive.files.typeFolder, dialog.filter, 1});
        if (chosen.isEmpty()) {
            clearTypeTable(context);
            abortStartup(asker, context, MsgId::ProgramClosed);
            return false;
        }
        // The type is the one whose folder the user chose, as its Info.ini names it; the capacity
        // keeps its own folder and is settled by the capacity file.
        DriveIdentity& identity = context.drive.identity;
        DriveFiles& files = context.drive.files;
        const QString folder = Paths::folderOf(Paths::normalize(chosen));
        const IniFile info(Paths::resolve(infoIniIn(folder)));
        const DriveLocation named = locateDrive(
            {QString(), Paths::resolve(context.paths.catalogueIni)},
            info.readString(kInfo, QStringLiteral("Type"), QStringLiteral("-")), identity.formName,
            info.readString(kInfo, QStringLiteral("Cpu"), QStringLiteral("-")));
        disp = info.readString(kSetup, QStringLiteral("Disp"), QStringLiteral("0*"));
        // The identity codes follow the choice, or a configuration file written later
        // would carry the previous drive's identity.
        identity.typeName = named.identity.typeName;
        identity.cpuVersion = named.identity.cpuVersion;
        identity.typeCode = named.identity.typeCode;
        identity.cpuNumber = named.identity.cpuNumber;
        files.typeFolder = folder;
        files.typeFile = Paths::fileNameOf(chosen);
        files.infoIniPath = infoIniIn(folder);
        if (!readDataFile(chosen, lines) || !typeFileHasData(lines)) {
            clearTypeTable(context);
            abortStartup(asker, context, MsgId::ProgramClosed);
            return false;
        }
    }

    const bool otherPrefix = disp != QLatin1String("0*");
    const int maxLines = std::min<qsizetype>(lines.size(), kMaxParams);
    std::vector<ParameterDefinition> rows;
    rows.reserve(std::size_t(maxLines));
    int normalLast = 0;
    QStringList fields;
    for (int k = 0; k < maxLines; ++k) {
        const QString& line = lines[k];
        if (line.size() < kMinLineLength)
            break;
        SplitDriveDataLine(line, fields);
        if (fields.size() < kTypeFields || !validComNo(fields[0])) {
            // A cut or garbled line would shift every later look-up; refuse the drive type.
            clearTypeTable(context);
            asker.ask({Msg(context, MsgId::DataIncorrect) + QLatin1Char('\n') +
                           Paths::fileNameOf(context.drive.files.typeFile) +
                           QStringLiteral(" (%1): ").arg(k + 1) + line,
                       context.texts.caption, BoxIcon::Stop, BoxButtons::Ok});
            context.startupAborted = true;
            return false;
        }
        ParameterDefinition& d = rows.emplace_back();
        for (int c = 0; c < PD_Flag; ++c)
            setDefinitionText(d, c, fields[c]);
        static const char* const kEmptyDefaults[] = {"#", "1", "-"}; // TMul, Mul, Memory
        for (int c = PD_TMul; c <= PD_Memory; ++c)
            if (fields[c].isEmpty())
                setDefinitionText(d, c, QString::fromLatin1(kEmptyDefaults[c - PD_TMul]));
        setDefinitionText(d, PD_Flag, fields[PD_Flag]);
        setDefinitionText(d, PD_Quick, fields.size() > kTypeFields ? fields[PD_Quick] : QStringLiteral("0"));
        d.position = k;

        const QString& comNo = fields[PD_ComNo];
        if ((otherPrefix && comNo.left(2) == disp) || comNo.startsWith(QLatin1Char('0')))
            normalLast = k;
    }
    const int count = int(rows.size());
    if (count == kMaxParams && lines.size() > kMaxParams && lines[kMaxParams].size() >= kMinLineLength)
        qWarning("%s holds more than %d parameters; the rest is ignored",
                 qPrintable(context.drive.files.typeFile), kMaxParams);

    normalLast = std::min(normalLast, std::max(count - 1, 0));
    context.drive.setParameters(std::move(rows), normalLast);
    return true;
}

bool LoadCapacityTable(ProgramContext& context, Asker& asker, const DriveFileDialog& dialog) {
    ParameterStore* store = context.store;
    if (!store || context.startupAborted)
        return false;
    WaitCursor hourglass;

    context.drive.files.capacityFile = Paths::join(
        context.drive.files.capacityFolder,
        context.drive.identity.typeName + context.drive.identity.formName + QStringLiteral(".cap"));
    context.drive.capacityNumbers.clear();
    context.drive.capacityFollowers.clear();
    QStringList lines;
    if (!readDataFile(context.drive.files.capacityFile, lines) || !capacityFileHasData(lines)) {
        asker.ask(MsgNotice(context, MsgId::CapacityFileMissing, BoxIcon::Warning));
        asker.letEventsThrough();
        const QString chosen =
            asker.chooseFile({dialog.title, context.drive.files.typeFolder, dialog.filter, 2});
        if (chosen.isEmpty()) {
            abortStartup(asker, context, MsgId::ProgramClosed);
            return false;
        }
        context.drive.files.capacityFolder = Paths::folderOf(Paths::normalize(chosen));
        context.drive.files.capacityFile = Paths::fileNameOf(chosen);
        // The name is the drive type, "-" and the capacity; a type name may itself hold "-".
        const QString base =
            context.drive.files.capacityFile.left(context.drive.files.capacityFile.size() - 4);
        const QString prefix = context.drive.identity.typeName + QLatin1Char('-');
        if (!base.startsWith(prefix)) {
            abortStartup(asker, context, MsgId::FileTypeDiffers);
            return false;
        }
        DriveIdentity& identity = context.drive.identity;
        identity.formName = base.mid(identity.typeName.size());
        identity.formCode = locateDrive({QString(), Paths::resolve(context.paths.catalogueIni)},
                                        identity.typeName, identity.formName, identity.cpuVersion)
                                .identity.formCode;
        if (!readDataFile(chosen, lines) || !capacityFileHasData(lines)) {
            abortStartup(asker, context, MsgId::ProgramClosed);
            return false;
        }
    }

    QStringList fields;
    for (int k = 0; k <= context.drive.lastIndex() && k < lines.size(); ++k) {
        if (lines[k].isEmpty())
            break;
        SplitDriveDataLine(lines[k], fields);
        if (fields.size() < 2)
            continue; // no number on the line: nothing to change
        context.drive.capacityNumbers << fields.first();
        const int i = context.drive.indexOfComNo(fields.first());
        if (context.drive.holds(i))
            context.drive.parameters[std::size_t(i)].defaultText = fields.last();
    }

    const IniFile info(infoIniFile(context));
    context.drive.currentVoltNumbers = info.keys(kDispCv);
    // Both lists are matched ignoring case.
    QSet<QString> capNumbers, cvNumbers;
    for (const QString& n : std::as_const(context.drive.capacityNumbers))
        capNumbers.insert(n.toUpper());
    for (const QString& n : std::as_const(context.drive.currentVoltNumbers))
        cvNumbers.insert(n.toUpper());
    for (ParameterDefinition& d : context.drive.parameters) {
        const QString upper = d.comNo.toUpper();
        if (d.defaultRule == 1 && capNumbers.contains(upper))
            context.drive.capacityFollowers << d.comNo;
        d.currentVoltKind = cvNumbers.contains(upper) ? info.readString(kDispCv, d.comNo) : QString();
    }
    return true;
}

bool InitValueTable(ProgramContext& context, Asker& asker) {
    ParameterStore* store = context.store;
    if (!store || context.startupAborted)
        return false;
    WaitCursor hourglass;

    const LoadedDrive& drive = context.drive;
    store->resizeWorking(drive.lastIndex() + 1);
    // A default that cannot be followed is reported as it is met and loads as "Error.".
    const auto defaultOf = [&context, &asker](const QString& comNo) {
        ValueRules::Failure failure;
        const QString def = ValueRules::DefaultOf(context, comNo, &failure);
        if (failure)
            asker.ask(MsgNotice(context, *failure, BoxIcon::Warning));
        return def;
    };
    for (int k = 0; k <= drive.lastIndex(); ++k) {
        const ParameterDefinition& d = drive.parameters[std::size_t(k)];
        if (d.defaultRule == kUnreadRule) {
            asker.ask(MsgNotice(context, MsgId::DataIncorrect, BoxIcon::Stop));
            asker.letEventsThrough();
            return false;
        }
        QString value = d.defaultRule == 0 ? d.defaultText : defaultOf(d.defaultText);
        QString high = d.highRule == 0 ? d.high : defaultOf(d.high);
        QString low = d.low;
        if (d.lowRule != 0) {
            low = defaultOf(low);
            if (d.lowRule == -1)
                low = negatedNumber(low);
        }
        if (WorkingParameter* w = StoreCells::editRecord(context, k))
            *w = WorkingParameter{.value = std::move(value), .high = std::move(high), .low = std::move(low)};
    }
    return true;
}

DriveLoad LoadDriveData(ProgramContext& context, Asker& asker, const DriveFileDialog& dialog) {
    if (context.startupAborted || !LoadTypeTable(context, asker, dialog) || context.startupAborted ||
        !LoadCapacityTable(context, asker, dialog) || context.startupAborted)
        return DriveLoad::Aborted;
    return InitValueTable(context, asker) ? DriveLoad::Loaded : DriveLoad::ValuesRefused;
}
