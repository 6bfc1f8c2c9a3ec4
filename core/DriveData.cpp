#include "core/DriveData.h"

#include "core/DriveIdentity.h"
#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
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

// Leaves the store without parameters, so that a failed load never looks complete.
void clearTypeTable(ProgramContext& context, ParameterStore& store) {
    context.ParaCountAll = -1;
    context.ParaCountNormal = 0;
    store.ParaDat.setRowCount(1);
    store.rebuildComNoIndex(-1);
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
    store->ParaDat.setRow(0, paraDatColumnNames());
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
            clearTypeTable(context, *store);
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
            clearTypeTable(context, *store);
            abortStartup(asker, context, MsgId::ProgramClosed);
            return false;
        }
    }

    context.ParaCountNormal = 0;
    store->ParaDat.setRowCount(std::max(store->ParaDat.rowCount(), kMaxParams + 1));
    const bool otherPrefix = disp != QLatin1String("0*");
    const int maxLines = std::min<qsizetype>(lines.size(), kMaxParams);
    int count = 0;
    QStringList fields;
    for (int k = 0; k < maxLines; ++k) {
        const QString& line = lines[k];
        if (line.size() < kMinLineLength)
            break;
        SplitDriveDataLine(line, fields);
        if (fields.size() < kTypeFields || !validComNo(fields[0])) {
            // A cut or garbled line would shift every later look-up; refuse the drive type.
            clearTypeTable(context, *store);
            asker.ask({Msg(context, MsgId::DataIncorrect) + QLatin1Char('\n') +
                           Paths::fileNameOf(context.drive.files.typeFile) +
                           QStringLiteral(" (%1): ").arg(k + 1) + line,
                       context.texts.caption, BoxIcon::Stop, BoxButtons::Ok});
            context.startupAborted = true;
            return false;
        }
        const int row = k + 1;
        // Every cell of the row is written, so nothing of a previous drive type survives.
        for (int c = 0; c < PD_Flag; ++c)
            store->ParaDat.setCell(c, row, fields[c]);
        static const char* const kEmptyDefaults[] = {"#", "1", "-"}; // TMul, Mul, Memory
        for (int c = PD_TMul; c <= PD_Memory; ++c)
            if (fields[c].isEmpty())
                store->ParaDat.setCell(c, row, QString::fromLatin1(kEmptyDefaults[c - PD_TMul]));
        store->ParaDat.setCell(PD_Flag, row, fields[PD_Flag]);
        store->ParaDat.setCell(PD_Quick, row,
                               fields.size() > kTypeFields ? fields[PD_Quick] : QStringLiteral("0"));
        store->ParaDat.setCell(PD_CurrentVoltIndex, row, QString());
        store->ParaDat.setCell(PD_No, row, QString::number(k));

        const QString& comNo = fields[PD_ComNo];
        if ((otherPrefix && comNo.left(2) == disp) || comNo.startsWith(QLatin1Char('0')))
            context.ParaCountNormal = k;
        count = k + 1;
    }
    if (count == kMaxParams && lines.size() > kMaxParams && lines[kMaxParams].size() >= kMinLineLength)
        qWarning("%s holds more than %d parameters; the rest is ignored",
                 qPrintable(context.drive.files.typeFile), kMaxParams);

    context.ParaCountAll = count - 1;
    context.ParaCountNormal = std::min(context.ParaCountNormal, std::max(context.ParaCountAll, 0));
    store->ParaDat.setRowCount(context.ParaCountAll + 2);
    store->rebuildComNoIndex(context.ParaCountAll);
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
    context.CapPara.clear();
    context.CapParaR.clear();
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
    for (int k = 0; k <= context.ParaCountAll && k < lines.size(); ++k) {
        if (lines[k].isEmpty())
            break;
        SplitDriveDataLine(lines[k], fields);
        if (fields.size() < 2)
            continue; // no number on the line: nothing to change
        context.CapPara << fields.first();
        const int i = store->indexOfComNo(fields.first());
        if (i >= 0 && i <= context.ParaCountAll)
            store->ParaDat.setCell(PD_Default, i + 1, fields.last());
    }

    const IniFile info(infoIniFile(context));
    context.ListBuff = info.keys(kDispCv);
    // Both lists are matched ignoring case.
    QSet<QString> capNumbers, cvNumbers;
    for (const QString& n : std::as_const(context.CapPara))
        capNumbers.insert(n.toUpper());
    for (const QString& n : std::as_const(context.ListBuff))
        cvNumbers.insert(n.toUpper());
    for (int i = 0; i <= context.ParaCountAll; ++i) {
        const int row = i + 1;
        const QString& comNo = store->ParaDat.cell(PD_ComNo, row);
        const QString upper = comNo.toUpper();
        if (store->ParaDat.cell(PD_DIndex, row) == QLatin1String("1") && capNumbers.contains(upper))
            context.CapParaR << comNo;
        const QString kind = cvNumbers.contains(upper) ? info.readString(kDispCv, comNo) : QString();
        store->ParaDat.setCell(PD_CurrentVoltIndex, row, kind);
    }
    return true;
}

bool InitValueTable(ProgramContext& context, Asker& asker) {
    ParameterStore* store = context.store;
    if (!store || context.startupAborted)
        return false;
    WaitCursor hourglass;

    TextGrid& up = store->UPara;
    const TextGrid& pd = store->ParaDat;
    up.setRowCount(context.ParaCountAll + 2);
    up.setRow(0, uParaColumnNames());
    const QString zero = QStringLiteral("0");
    // A default that cannot be followed is reported as it is met and loads as "Error.".
    const auto defaultOf = [&context, &asker](const QString& comNo) {
        ValueRules::Failure failure;
        const QString def = ValueRules::DefaultOf(context, comNo, &failure);
        if (failure)
            asker.ask(MsgNotice(context, *failure, BoxIcon::Warning));
        return def;
    };
    for (int k = 0; k <= context.ParaCountAll; ++k) {
        const int row = k + 1;
        qint64 mode = 0;
        if (!ValueRules::parseInteger(pd.cell(PD_DIndex, row), mode)) {
            asker.ask(MsgNotice(context, MsgId::DataIncorrect, BoxIcon::Stop));
            asker.letEventsThrough();
            return false;
        }
        up.setCell(UP_Value, row, mode == 0 ? pd.cell(PD_Default, row) : defaultOf(pd.cell(PD_Default, row)));
        up.setCell(UP_HValue, row,
                   pd.cell(PD_HIndex, row) == zero ? pd.cell(PD_High, row)
                                                   : defaultOf(pd.cell(PD_High, row)));
        const QString& lowMode = pd.cell(PD_LIndex, row);
        QString low = pd.cell(PD_Low, row);
        if (lowMode != zero) {
            low = defaultOf(low);
            if (lowMode == QLatin1String("-1"))
                low = negatedNumber(low);
        }
        up.setCell(UP_LValue, row, low);
        for (int c = UP_ChangeIndex; c <= UP_CommErrIndex; ++c)
            up.setCell(c, row, zero);
        up.setCell(UP_No, row, QString::number(k));
    }
    return true;
}
