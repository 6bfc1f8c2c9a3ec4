#include "link/StartupChoice.h"

#include "core/Asker.h"
#include "core/DriveIdentity.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/DriveDetection.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
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

void warn(Asker& asker, const ProgramContext& program, const QString& text) {
    asker.ask({text, program.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
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

// The languages offered when the settings name none, first the one preselected.
QStringList defaultLanguages() {
    return {QStringLiteral("Japanese"), QStringLiteral("English")};
}

} // namespace

StartupChoice::StartupChoice(ProgramContext& program, Asker& asker, const Context& context)
    : program_(program), asker_(asker), context_(context) {}

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
    return Paths::join(program_.paths.programFolder, dataFolder_);
}

bool StartupChoice::loadChoices() {
    ProgramContext& context = program_;
    const IniFile settings(context.paths.settingsIni);

    languages_ = settings.keys(QStringLiteral("Language"));
    // The start-up seeds the section before the form opens; should that have failed, the
    // form still offers the shipped languages rather than an empty choice.
    if (languages_.isEmpty())
        languages_ = defaultLanguages();
    stored_.language = settings.readInteger(QStringLiteral("Default"), QStringLiteral("LangNo"), 0);
    if (!context_.fileArgumentStart) {
        stored_.type = settings.readInteger(QStringLiteral("Default"), QStringLiteral("InvTypeNo"), kMissing);
        stored_.capacity =
            settings.readInteger(QStringLiteral("Default"), QStringLiteral("InvFormNo"), kMissing);
        stored_.cpu = settings.readInteger(QStringLiteral("Default"), QStringLiteral("InvCpuNo"), kMissing);
        context.drive.identity.typeName =
            settings.readString(QStringLiteral("Default"), QStringLiteral("InvType"));
        context.drive.identity.formName =
            settings.readString(QStringLiteral("Default"), QStringLiteral("InvForm"));
        context.drive.identity.cpuVersion =
            settings.readString(QStringLiteral("Default"), QStringLiteral("InvCpu"));
    }

    languageOption_ = settings.readInteger(QStringLiteral("Options"), QStringLiteral("CheckLang"), kMissing);
    if (!context_.firstShowDone && languageOption_ < 1)
        stored_.language = 0;

    lastDriveKept_ = settings.readBool(QStringLiteral("Options"), QStringLiteral("CheckInv"), false);
    dataFolder_ = Paths::normalize(
        settings.readString(QStringLiteral("Options"), QStringLiteral("DF"), QStringLiteral("\\dat")));
    commSettings_.speedIdx = settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Baudrate"), 3);
    commSettings_.parityIdx = settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Parity"), 1);
    commSettings_.protocolIdx = settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Prtocol"), 0);

    // Under File > New the program keeps running in its language: the form offers that one
    // (its language box is disabled then), whatever the stored position or option says.
    int runningLanguage = -1;
    if (context_.firstShowDone)
        runningLanguage = positionOf(languages_, context.language.name);
    // A stored position outside the list names no language: the texts fall back to English.
    const QString language =
        runningLanguage >= 0 ? languages_.at(runningLanguage) : at(languages_, stored_.language);
    readMessages(Paths::join(context.language.folder, language + QStringLiteral(".ini")));

    typeFolders_.clear();
    typeNames_.clear();
    typeCodes_.clear();
    listDriveTypes(dataFolder_);

    if (typeNames_.isEmpty()) {
        warn(asker_, program_, texts_.noData + u'\n' + texts_.closed);
        context.startupAborted = true;
        return false;
    }

    const IniFile catalogue(context.paths.catalogueIni);
    for (const QString& type : std::as_const(typeNames_))
        typeCodes_.append(catalogue.readString(QStringLiteral("Type"), type, QStringLiteral("99")));

    // A position outside the list would leave the box empty and the choice without a
    // language: the first language is offered instead.
    if (runningLanguage >= 0)
        selection_.language = runningLanguage;
    else if (languageOption_ == kMissing || stored_.language < 0 || stored_.language >= languages_.size())
        selection_.language = 0;
    else
        selection_.language = stored_.language;

    if (lastDriveKept_ && stored_.type != kMissing && stored_.capacity != kMissing &&
        stored_.cpu != kMissing) {
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
    const IniFile lang(found.isEmpty() ? languageIniPath : found);
    const QString general = QStringLiteral("General");
    program_.texts.caption =
        lang.readString(general, QStringLiteral("Message1"), QStringLiteral("Confirmation"));
    texts_.noPort = lang.readString(general, QStringLiteral("Message3"),
                                    QStringLiteral("Usable serial port is not found."));
    texts_.closed =
        lang.readString(general, QStringLiteral("Message86"), QStringLiteral("KVR260X is closed."));
    texts_.noData = lang.readString(general, QStringLiteral("Message94"),
                                    QStringLiteral("Not found Inverter data file."));
    texts_.noLastData = lang.readString(general, QStringLiteral("Message93"),
                                        QStringLiteral("Not found the Last Inverter data file."));
    texts_.nothingAnswered =
        lang.readString(general, QStringLiteral("Message118"),
                        QStringLiteral("No drive answered on %1. Choose the drive by hand."));
    texts_.searchStopped =
        lang.readString(general, QStringLiteral("Message119"),
                        QStringLiteral("The search was stopped. Choose the drive by hand."));

    const QString type = QStringLiteral("Type");
    const QString rs = QStringLiteral("RS232C");
    SearchTexts& search = texts_.search;
    search.title =
        lang.readString(type, QStringLiteral("Search"), QStringLiteral("Searching for the inverter..."));
    search.stop = lang.readString(type, QStringLiteral("Stop"), QStringLiteral("Stop"));
    search.trying =
        lang.readString(type, QStringLiteral("Trying"), QStringLiteral("%1: %2 baud, parity %3, %4"));
    search.answered =
        lang.readString(type, QStringLiteral("Answered"), QStringLiteral("%1: the inverter answered"));
    search.found = lang.readString(type, QStringLiteral("Found"), QStringLiteral("%1: %2 answered"));
    search.answeredAt =
        lang.readString(type, QStringLiteral("AnsweredAt"), QStringLiteral("%1 baud, parity %2, %3"));
    search.noAnswer = lang.readString(type, QStringLiteral("NoAnswer"), QStringLiteral("%1: no answer"));
    search.parities = {lang.readString(rs, QStringLiteral("ParityItems1"), QStringLiteral("None")),
                       lang.readString(rs, QStringLiteral("ParityItems2"), QStringLiteral("Even")),
                       lang.readString(rs, QStringLiteral("ParityItems3"), QStringLiteral("Odd"))};
    search.protocols = {lang.readString(rs, QStringLiteral("ProtocolItems1"), QStringLiteral("Inverter")),
                        lang.readString(rs, QStringLiteral("ProtocolItems2"), QStringLiteral("MODBUS-RTU"))};
}

QString StartupChoice::searchText(const SearchProgress& progress) const {
    const SearchTexts& words = texts_.search;
    QStringList lines;
    for (const SearchProgress::Port& p : progress.ports) {
        if (p.over && !p.answered) {
            lines << words.noAnswer.arg(p.name);
            continue;
        }
        const SearchTry& t = p.current;
        const bool known = t.speedIdx >= 0 && t.speedIdx < int(std::size(kCommSpeed));
        const QString speed = known ? QString::number(kCommSpeed[t.speedIdx]) : QStringLiteral("?");
        const QString parity = words.parities.value(t.parityIdx, QStringLiteral("?"));
        const QString protocol = words.protocols.value(t.protocolIdx, QStringLiteral("?"));
        if (!p.answered) {
            lines << words.trying.arg(p.name, speed, parity, protocol);
            continue;
        }
        // Two lines: in one, the form's width holds neither the settings nor the longer types.
        lines << (p.type.isEmpty() ? words.answered.arg(p.name) : words.found.arg(p.name, p.type));
        lines << QStringLiteral("    ") + words.answeredAt.arg(speed, parity, protocol);
    }
    return lines.join(u'\n');
}

void StartupChoice::listDriveTypes(const QString& folderName) {
    dataFolder_ = folderName;
    const QFileInfoList entries = entriesOf(Paths::join(program_.paths.programFolder, folderName));
    if (entries.isEmpty())
        return;
    const QString prefix = QLatin1String(kModelPrefix);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (!entry.isDir() || name.size() < prefix.size() || name.left(prefix.size()).toUpper() != prefix)
            continue;
        insertSorted(typeFolders_, name);
        const qsizetype v = name.lastIndexOf(QLatin1String("(V"));
        const QString type = v >= 0 ? name.left(v) : name;
        if (positionOf(typeNames_, type) < 0)
            typeNames_.append(type);
    }
    refillForType(fit(typeNames_, 0));
}

NamedCodes StartupChoice::cpuListOf(const QString& typeName) const {
    NamedCodes cpus;
    for (const QString& folder : std::as_const(typeFolders_)) {
        const qsizetype v = folder.lastIndexOf(QLatin1String("(V"));
        // Only the type's own folders: a type whose name begins another's ("HXB3" and
        // "HXB30") must not take the other's CPU versions.
        if (v < 0 || QString::compare(folder.left(v), typeName, Qt::CaseInsensitive) != 0)
            continue;
        QString cpu = folder.mid(typeName.size() + 1);
        const qsizetype close = cpu.indexOf(u')');
        if (close >= 0)
            cpu.remove(close, 1);
        cpus.names.append(cpu);
        cpus.codes.append(cpu.mid(1));
    }
    return cpus;
}

NamedCodes StartupChoice::capacityListOf(const QString& typeName, const QString& cpuText) const {
    NamedCodes capacities;
    const QString folder = typeFolderIn(dataFolderPath(), typeName, cpuText);
    for (const QFileInfo& entry : entriesOf(folder)) {
        const QString name = entry.fileName();
        if (!entry.isFile() || !name.endsWith(QLatin1String(".cap"), Qt::CaseInsensitive))
            continue;
        const qsizetype length = name.size() - typeName.size() - 4;
        insertSorted(capacities.names, length > 0 ? name.mid(typeName.size(), length) : QString());
    }
    const IniFile catalogue(program_.paths.catalogueIni);
    for (const QString& capacity : std::as_const(capacities.names))
        capacities.codes.append(catalogue.readString(typeName, capacity, QStringLiteral("0")));
    return capacities;
}

void StartupChoice::fillCpuList(const QString& typeName) {
    cpus_ = cpuListOf(typeName);
}

void StartupChoice::fillCapacityList(const QString& typeName, const QString& cpuText) {
    capacities_ = capacityListOf(typeName, cpuText);
}

void StartupChoice::fillListsForType(const QString& typeName, int cpuPos) {
    fillCpuList(typeName);
    fillCapacityList(typeName, at(cpus_.names, cpuPos));
}

void StartupChoice::refillForType(int typePos) {
    selection_.type = typePos;
    const QString type = at(typeNames_, typePos);
    fillCpuList(type);
    selection_.cpu = fit(cpus_.names, 0);
    fillCapacityList(type, at(cpus_.names, 0));
    selection_.capacity = fit(capacities_.names, 0);
}

void StartupChoice::refillForCpu(int cpuPos) {
    selection_.cpu = cpuPos;
    fillCapacityList(at(typeNames_, selection_.type), at(cpus_.names, cpuPos));
    selection_.capacity = fit(capacities_.names, 0);
}

void StartupChoice::selectPositions(int typePos, int capaPos, int cpuPos) {
    selection_.type = fit(typeNames_, typePos);
    fillListsForType(at(typeNames_, selection_.type), cpuPos);
    selection_.capacity = fit(capacities_.names, capaPos);
    selection_.cpu = fit(cpus_.names, cpuPos);
}

void StartupChoice::preselectLastDrive() {
    const ProgramContext& context = program_;
    const DriveIdentity& last = context.drive.identity;
    refillForType(positionOf(typeNames_, last.typeName));
    fillCapacityList(last.typeName, last.cpuVersion);

    int typePos = 0, capaPos = 0, cpuPos = 0;
    if (!last.typeName.isEmpty() && !last.formName.isEmpty() && !last.cpuVersion.isEmpty()) {
        typePos = positionOf(typeNames_, last.typeName);
        capaPos = positionOf(capacities_.names, last.formName);
        cpuPos = positionOf(cpus_.names, last.cpuVersion);
        if (typePos < 0 || capaPos < 0 || cpuPos < 0) {
            warn(asker_, context,
                 texts_.noLastData + u'\n' + last.typeName + u'(' + last.cpuVersion + u')' + last.formName);
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
        detectionRan_ = false;
        selectPositions(0, 0, 0);
        return;
    }
    DriveDetection detection(*context_.link, program_);
    detection.setSearchLines(context_.searchLines);
    detection.setProgressHandler(progress);
    detection.setReplyTime(context_.detectionReplyMs);
    applyDetection(detection.run(*this));
}

void StartupChoice::applyDetection(const DetectionResult& found) {
    detectionRan_ = found.ran;
    outcome_ = found.outcome;
    portsSearched_ = found.portsSearched;
    commPort_ = found.port;
    commSettings_ = found.settings;
    selectPositions(found.typePos, found.capacityPos, found.cpuPos);
}

void StartupChoice::takeChoice() {
    if (closed_ || !created_)
        return;
    closed_ = true;
    ProgramContext& context = program_;

    stored_ = selection_;
    context.language.name = at(languages_, selection_.language);
    context.language.suffix = context.language.name.left(3);

    const DriveLocation chosen =
        locateDrive({dataFolderPath(), context.paths.catalogueIni}, at(typeNames_, selection_.type),
                    at(capacities_.names, selection_.capacity), at(cpus_.names, selection_.cpu));
    context.drive.identity = chosen.identity;
    context.drive.files = chosen.files;

    const bool keepComms =
        lastDriveKept_ && stored_.type != kMissing && stored_.capacity != kMissing && stored_.cpu != kMissing;
    const bool winHelp = writeSettings(!keepComms && detectionRan_);

    context.language.iniPath =
        Paths::join(context.language.folder, context.language.name + QStringLiteral(".ini"));
    // WHP chooses the older of the two forms of parameter help.
    context.paths.parameterHelpFile = Paths::join(
        context.drive.files.typeFolder, context.drive.identity.typeName + u'(' + context.language.suffix +
                                            (winHelp ? QStringLiteral(").hlp") : QStringLiteral(").chm")));

    if (context_.cpuVersionsChosen)
        context_.cpuVersionsChosen(cpus_.names, cpus_.codes);
}

bool StartupChoice::writeSettings(bool storeComms) {
    ProgramContext& context = program_;
    IniFile settings(context.paths.settingsIni);
    context.language.decimalComma =
        settings.readBool(QStringLiteral("Language"), context.language.name, false);

    const QString def = QStringLiteral("Default");
    settings.writeInteger(def, QStringLiteral("LangNo"), stored_.language);
    settings.writeInteger(def, QStringLiteral("InvTypeNo"), stored_.type);
    settings.writeInteger(def, QStringLiteral("InvFormNo"), stored_.capacity);
    settings.writeInteger(def, QStringLiteral("InvCpuNo"), stored_.cpu);
    settings.writeString(def, QStringLiteral("InvType"), context.drive.identity.typeName);
    settings.writeString(def, QStringLiteral("InvForm"), context.drive.identity.formName);
    settings.writeString(def, QStringLiteral("InvCpu"), context.drive.identity.cpuVersion);

    if (storeComms) {
        const QString comms = QStringLiteral("Comms");
        settings.writeInteger(comms, QStringLiteral("Commport"), commPort_);
        settings.writeInteger(comms, QStringLiteral("Prtocol"), commSettings_.protocolIdx);
        settings.writeInteger(comms, QStringLiteral("Baudrate"), commSettings_.speedIdx);
        settings.writeInteger(comms, QStringLiteral("Parity"), commSettings_.parityIdx);
    }

    const bool winHelp = settings.readBool(QStringLiteral("Options"), QStringLiteral("WHP"), false);

    QString error;
    if (!settings.flush(&error))
        asker_.ask(
            {QStringLiteral("The settings cannot be saved in %1.\n%2").arg(context.paths.settingsIni, error),
             context.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
    return winHelp;
}
