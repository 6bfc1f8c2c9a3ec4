#include "link/StartupChoice.h"

#include "core/DriveIdentity.h"
#include "core/ProgramContext.h"
#include "link/DriveDetection.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The list positions a box can take: pos when it is in the list, else none.
int fit(const QStringList& list, int pos) {
    return pos >= 0 && pos < list.size() ? pos : -1;
}

// Inserts text into a list kept sorted ignoring case, after any equal entries (the way a
// sorted drop-down list takes its entries).
void insertSorted(QStringList& list, const QString& text) {
    qsizetype i = 0;
    while (i < list.size() && QString::compare(list.at(i), text, Qt::CaseInsensitive) <= 0)
        ++i;
    list.insert(i, text);
}

void warn(const ProgramContext& program, const QString& text) {
    Prompter::instance().message(text, program.texts.caption, BoxIcon::Warning, BoxButtons::Ok);
    PumpEvents();
}

// The folder's entries in name order ignoring case: the order the data were made and
// listed in, whatever order the file system returns.
QFileInfoList entriesOf(const QString& folder) {
    const QString found = Paths::resolve(folder);
    if (found.isEmpty() || !QFileInfo(found).isDir())
        return {};
    return QDir(found).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                     QDir::Name | QDir::IgnoreCase);
}

} // namespace

QStringList StartupChoice::defaultLanguages() {
    return {QStringLiteral("Japanese"), QStringLiteral("English")};
}

StartupChoice::StartupChoice(ProgramContext& program, const Context& context)
    : program_(program), context_(context) {}

QString StartupChoice::at(const QStringList& list, int pos) {
    return pos >= 0 && pos < list.size() ? list.at(pos) : QString();
}

int StartupChoice::positionOf(const QStringList& list, const QString& text) {
    for (qsizetype i = 0; i < list.size(); ++i)
        if (QString::compare(list.at(i), text, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString StartupChoice::dataFolderPath() const {
    return Paths::join(program_.paths.programFolder, DataFolder);
}

bool StartupChoice::FormCreate() {
    ProgramContext& context = program_;
    const IniFile settings(context.paths.settingsIni);

    LangForm = settings.keys(QStringLiteral("Language"));
    // The start-up seeds the section before the form opens; should that have failed, the
    // form still offers the shipped languages rather than an empty choice.
    if (LangForm.isEmpty())
        LangForm = defaultLanguages();
    LangNo = settings.readInteger(QStringLiteral("Default"), QStringLiteral("LangNo"), 0);
    if (!context_.fileArgumentStart) {
        InvTypeNo = settings.readInteger(QStringLiteral("Default"), QStringLiteral("InvTypeNo"), kMissing);
        InvFormNo = settings.readInteger(QStringLiteral("Default"), QStringLiteral("InvFormNo"), kMissing);
        InvCpuNo = settings.readInteger(QStringLiteral("Default"), QStringLiteral("InvCpuNo"), kMissing);
        context.drive.identity.typeName =
            settings.readString(QStringLiteral("Default"), QStringLiteral("InvType"));
        context.drive.identity.formName =
            settings.readString(QStringLiteral("Default"), QStringLiteral("InvForm"));
        context.drive.identity.cpuVersion =
            settings.readString(QStringLiteral("Default"), QStringLiteral("InvCpu"));
    }

    CheckLang = settings.readInteger(QStringLiteral("Options"), QStringLiteral("CheckLang"), kMissing);
    if (!context_.firstShowDone && CheckLang < 1)
        LangNo = 0;

    CheckInv = settings.readBool(QStringLiteral("Options"), QStringLiteral("CheckInv"), false) ? 1 : 0;
    DataFolder = Paths::normalize(
        settings.readString(QStringLiteral("Options"), QStringLiteral("DF"), QStringLiteral("\\dat")));
    SpeedIdx = settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Baudrate"), 3);
    ParityIdx = settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Parity"), 1);
    ProtocolIdx = settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Prtocol"), 0);

    // Under File > New the program keeps running in its language: the form offers that one
    // (its language box is disabled then), whatever the stored position or option says.
    int runningLanguage = -1;
    if (context_.firstShowDone)
        runningLanguage = positionOf(LangForm, context.language.name);
    // A stored position outside the list names no language: the texts fall back to English.
    const QString language = runningLanguage >= 0 ? LangForm.at(runningLanguage) : at(LangForm, LangNo);
    readMessages(Paths::join(context.language.folder, language + QStringLiteral(".ini")));

    DatFolderName.clear();
    I_TypeForm.clear();
    I_TypeNo.clear();
    ScanDataFolder(DataFolder);

    if (I_TypeForm.isEmpty()) {
        warn(program_, MsgNoData + u'\n' + MsgClosed);
        context.startupAborted = true;
        return false;
    }

    const IniFile catalogue(context.paths.catalogueIni);
    for (const QString& type : std::as_const(I_TypeForm))
        I_TypeNo.append(catalogue.readString(QStringLiteral("Type"), type, QStringLiteral("99")));

    // A position outside the list would leave the box empty and the choice without a
    // language: the first language is offered instead.
    if (runningLanguage >= 0)
        LangPos = runningLanguage;
    else if (CheckLang == kMissing || LangNo < 0 || LangNo >= LangForm.size())
        LangPos = 0;
    else
        LangPos = LangNo;

    if (CheckInv == 1 && InvTypeNo != kMissing && InvFormNo != kMissing && InvCpuNo != kMissing) {
        preselectLastDrive();
    } else if (context_.detectLater && context_.link) {
        selectPositions(0, 0, 0);
        detectionDue_ = true;
    } else {
        detectAndSelect({});
    }
    created_ = true;
    return true;
}

void StartupChoice::readMessages(const QString& languageIniPath) {
    const QString found = Paths::resolve(languageIniPath);
    LanguageIniPath = found.isEmpty() ? languageIniPath : found;
    const IniFile lang(LanguageIniPath);
    const QString general = QStringLiteral("General");
    program_.texts.caption =
        lang.readString(general, QStringLiteral("Message1"), QStringLiteral("Confirmation"));
    MsgNoPort = lang.readString(general, QStringLiteral("Message3"),
                                QStringLiteral("Usable serial port is not found."));
    MsgClosed = lang.readString(general, QStringLiteral("Message86"), QStringLiteral("KVR260X is closed."));
    MsgNoData = lang.readString(general, QStringLiteral("Message94"),
                                QStringLiteral("Not found Inverter data file."));
    MsgNoLastData = lang.readString(general, QStringLiteral("Message93"),
                                    QStringLiteral("Not found the Last Inverter data file."));
    MsgNothingAnswered =
        lang.readString(general, QStringLiteral("Message118"),
                        QStringLiteral("No drive answered on %1. Choose the drive by hand."));
    MsgSearchStopped = lang.readString(general, QStringLiteral("Message119"),
                                       QStringLiteral("The search was stopped. Choose the drive by hand."));
}

void StartupChoice::ScanDataFolder(const QString& folderName) {
    const QFileInfoList entries = entriesOf(Paths::join(program_.paths.programFolder, folderName));
    if (entries.isEmpty())
        return;
    const QString prefix = QLatin1String(kModelPrefix);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (!entry.isDir() || name.size() < prefix.size() || name.left(prefix.size()).toUpper() != prefix)
            continue;
        insertSorted(DatFolderName, name);
        const qsizetype v = name.lastIndexOf(QLatin1String("(V"));
        const QString type = v >= 0 ? name.left(v) : name;
        if (positionOf(I_TypeForm, type) < 0)
            I_TypeForm.append(type);
    }
    TypePos = fit(I_TypeForm, 0);
    I_TypeFormChange();
}

void StartupChoice::FillCpuList(const QString& typeName) {
    I_CpuForm.clear();
    I_CpuNo.clear();
    for (const QString& folder : std::as_const(DatFolderName)) {
        const qsizetype v = folder.lastIndexOf(QLatin1String("(V"));
        // Only the type's own folders: a type whose name begins another's ("HXB3" and
        // "HXB30") must not take the other's CPU versions.
        if (v < 0 || QString::compare(folder.left(v), typeName, Qt::CaseInsensitive) != 0)
            continue;
        QString cpu = folder.mid(typeName.size() + 1);
        const qsizetype close = cpu.indexOf(u')');
        if (close >= 0)
            cpu.remove(close, 1);
        I_CpuForm.append(cpu);
        I_CpuNo.append(cpu.mid(1));
    }
}

void StartupChoice::FillCapacityList(const QString& typeName, const QString& cpuText) {
    I_CapaForm.clear();
    I_CapaNo.clear();
    const QString folder = typeFolderIn(dataFolderPath(), typeName, cpuText);
    for (const QFileInfo& entry : entriesOf(folder)) {
        const QString name = entry.fileName();
        if (!entry.isFile() || !name.endsWith(QLatin1String(".cap"), Qt::CaseInsensitive))
            continue;
        const qsizetype length = name.size() - typeName.size() - 4;
        insertSorted(I_CapaForm, length > 0 ? name.mid(typeName.size(), length) : QString());
    }
    const IniFile catalogue(program_.paths.catalogueIni);
    for (const QString& capacity : std::as_const(I_CapaForm))
        I_CapaNo.append(catalogue.readString(typeName, capacity, QStringLiteral("0")));
}

void StartupChoice::SelectDriveType(const QString& typeName, int cpuPos) {
    FillCpuList(typeName);
    FillCapacityList(typeName, at(I_CpuForm, cpuPos));
}

void StartupChoice::I_TypeFormChange() {
    const QString type = at(I_TypeForm, TypePos);
    FillCpuList(type);
    CpuPos = fit(I_CpuForm, 0);
    FillCapacityList(type, at(I_CpuForm, 0));
    CapaPos = fit(I_CapaForm, 0);
}

void StartupChoice::I_CpuFormChange() {
    FillCapacityList(at(I_TypeForm, TypePos), at(I_CpuForm, CpuPos));
    CapaPos = fit(I_CapaForm, 0);
}

void StartupChoice::selectPositions(int typePos, int capaPos, int cpuPos) {
    TypePos = fit(I_TypeForm, typePos);
    SelectDriveType(at(I_TypeForm, TypePos), cpuPos);
    CapaPos = fit(I_CapaForm, capaPos);
    CpuPos = fit(I_CpuForm, cpuPos);
}

void StartupChoice::preselectLastDrive() {
    const ProgramContext& context = program_;
    TypePos = positionOf(I_TypeForm, context.drive.identity.typeName);
    I_TypeFormChange();
    FillCapacityList(context.drive.identity.typeName, context.drive.identity.cpuVersion);

    int typePos = 0, capaPos = 0, cpuPos = 0;
    if (!context.drive.identity.typeName.isEmpty() && !context.drive.identity.formName.isEmpty() &&
        !context.drive.identity.cpuVersion.isEmpty()) {
        typePos = positionOf(I_TypeForm, context.drive.identity.typeName);
        capaPos = positionOf(I_CapaForm, context.drive.identity.formName);
        cpuPos = positionOf(I_CpuForm, context.drive.identity.cpuVersion);
        if (typePos < 0 || capaPos < 0 || cpuPos < 0) {
            warn(context, MsgNoLastData + u'\n' + context.drive.identity.typeName + u'(' +
                              context.drive.identity.cpuVersion + u')' + context.drive.identity.formName);
            typePos = capaPos = cpuPos = 0;
        }
    }
    selectPositions(typePos, capaPos, cpuPos);
}

void StartupChoice::runDetection(const SearchProgressHandler& progress) {
    if (!detectionDue_)
        return;
    detectionDue_ = false;
    detectAndSelect(progress);
}

void StartupChoice::detectAndSelect(const SearchProgressHandler& progress) {
    if (!context_.link) {
        // Nowhere to look: the user picks the drive, starting from the first entries, and
        // the stored communication settings stay as they are.
        DetectionRan = false;
        selectPositions(0, 0, 0);
        return;
    }
    DriveDetection detection(*context_.link, program_);
    detection.setSearchLines(context_.searchLines);
    detection.setProgressHandler(progress);
    detection.run(*this);
}

void StartupChoice::FormClose() {
    if (closed_ || !created_)
        return;
    closed_ = true;
    ProgramContext& context = program_;

    LangNo = LangPos;
    context.language.name = at(LangForm, LangPos);
    context.language.suffix = context.language.name.left(3);

    InvTypeNo = TypePos;
    InvFormNo = CapaPos;
    InvCpuNo = CpuPos;
    const DriveLocation chosen =
        locateDrive({dataFolderPath(), context.paths.catalogueIni}, at(I_TypeForm, TypePos),
                    at(I_CapaForm, CapaPos), at(I_CpuForm, CpuPos));
    context.drive.identity = chosen.identity;
    context.drive.files = chosen.files;

    const bool keepComms =
        CheckInv == 1 && InvTypeNo != kMissing && InvFormNo != kMissing && InvCpuNo != kMissing;
    const bool winHelp = writeSettings(!keepComms && DetectionRan);

    context.language.iniPath =
        Paths::join(context.language.folder, context.language.name + QStringLiteral(".ini"));
    // WHP chooses the older of the two forms of parameter help.
    context.paths.parameterHelpFile = Paths::join(
        context.drive.files.typeFolder, context.drive.identity.typeName + u'(' + context.language.suffix +
                                            (winHelp ? QStringLiteral(").hlp") : QStringLiteral(").chm")));

    if (context_.cpuVersionsChosen)
        context_.cpuVersionsChosen(I_CpuForm, I_CpuNo);
}

bool StartupChoice::writeSettings(bool storeComms) {
    ProgramContext& context = program_;
    IniFile settings(context.paths.settingsIni);
    context.language.decimalComma =
        settings.readBool(QStringLiteral("Language"), context.language.name, false);

    const QString def = QStringLiteral("Default");
    settings.writeInteger(def, QStringLiteral("LangNo"), LangNo);
    settings.writeInteger(def, QStringLiteral("InvTypeNo"), InvTypeNo);
    settings.writeInteger(def, QStringLiteral("InvFormNo"), InvFormNo);
    settings.writeInteger(def, QStringLiteral("InvCpuNo"), InvCpuNo);
    settings.writeString(def, QStringLiteral("InvType"), context.drive.identity.typeName);
    settings.writeString(def, QStringLiteral("InvForm"), context.drive.identity.formName);
    settings.writeString(def, QStringLiteral("InvCpu"), context.drive.identity.cpuVersion);

    if (storeComms) {
        const QString comms = QStringLiteral("Comms");
        settings.writeInteger(comms, QStringLiteral("Commport"), PortPos);
        settings.writeInteger(comms, QStringLiteral("Prtocol"), ProtocolIdx);
        settings.writeInteger(comms, QStringLiteral("Baudrate"), SpeedIdx);
        settings.writeInteger(comms, QStringLiteral("Parity"), ParityIdx);
    }

    const bool winHelp = settings.readBool(QStringLiteral("Options"), QStringLiteral("WHP"), false);

    QString error;
    if (!settings.flush(&error))
        Prompter::instance().message(
            QStringLiteral("The settings cannot be saved in %1.\n%2").arg(context.paths.settingsIni, error),
            context.texts.caption, BoxIcon::Warning);
    return winHelp;
}
