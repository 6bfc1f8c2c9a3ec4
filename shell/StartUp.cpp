#include "shell/StartUp.h"

#include "core/ProgramFolder.h"

#include "core/DriveData.h"
#include "core/DriveIdentity.h"
#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParaFile.h"
#include "core/ParameterFileChecks.h"
#include "core/ParameterFileDrop.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/DriveChecks.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"
#include "platform/SerialPort.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"
#include "shell/MainWindow.h"
#include "shell/OptionsWindow.h"
#include "ui/CommSetupDialog.h"
#include "ui/DriveTypeDialog.h"
#include "ui/HelpViewer.h"
#include "ui/InverterInfoCommand.h"
#include "ui/MonitorPrintWindow.h"
#include "ui/MonitorWindow.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParamReportFromStore.h"
#include "ui/ParameterPrintWindow.h"
#include "ui/ParameterTableWindow.h"
#include "ui/PrompterAsker.h"
#include "ui/QtLanguage.h"
#include "ui/ResultWindow.h"
#include "ui/TransferCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <algorithm>
#include <exception>

namespace StartUp {

namespace {

const QString kLanguage = QStringLiteral("Language");
const QString kDataIncorrect = QStringLiteral("Data is incorrect.");

QString product() {
    return QString::fromLatin1(kProductName);
}

// One of the refusals of a file given at start-up: the box, then the start is over.
void refuseFile(ProgramContext& context, const QString& caption) {
    Prompter::instance().message(kDataIncorrect, caption, BoxIcon::Warning, BoxButtons::Ok);
    PumpEvents();
    context.startupAborted = true;
}

int positionIn(const QStringList& list, const QString& text) {
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// An empty data store that loads the language file. The form shown again after drive data
// without working values reloads into the store made the first time, emptied, so nothing
// that took its address is left with a freed one.
bool createStore(MainWindow& main) {
    if (ParameterStore* store = main.store())
        *store = ParameterStore();
    else
        main.adoptStore(std::make_unique<ParameterStore>());
    ProgramContext& context = main.context();
    context.store->loadLanguageTexts(context, main.asker());
    return !context.startupAborted;
}

void useLanguageCodePage(const ProgramContext& context) {
    TextFile::setLegacyCodePage(TextFile::codePageForLanguage(context.language.name));
    QtLanguage::follow(context.language.name);
}

} // namespace

void RunStartupSequence(MainWindow& main) {
    ProgramContext& context = main.context();
    ProgramFolder::LoadSavedPaths(context);
    // Drive data whose working values cannot be computed sends the user back to the form.
    for (;;) {
        main.runStartupForm();
        if (context.startupAborted)
            return;
        useLanguageCodePage(context);
        context.tableView.blindOn = false;
        context.tableView.blindCount = 0;
        if (!createStore(main))
            return;
        const DriveFileDialog chooser = main.missingFileDialog();
        const DriveLoad load = LoadDriveData(context, main.asker(), chooser);
        if (load == DriveLoad::Aborted)
            return;
        if (load == DriveLoad::Loaded)
            break;
    }
    main.setCaption(ParaFile::captionBase(context));
    context.tableView.lastIndex = context.drive.normalLastIndex;
    main.setSaveEnabled(false);
}

void NormalStart(MainWindow& main) {
    if (const std::optional<Notice> failure = ProgramFolder::seedLanguageSection(main.context())) {
        showNotice(*failure);
        return;
    }
    RunStartupSequence(main);
}

void FileArgumentStart(MainWindow& main, const QString& path, const QString& programFileFolder) {
    ProgramContext& context = main.context();
    ProgramFolder::setProgramFolder(context, programFileFolder);
    const IniFile settings(context.paths.settingsIni);
    const QStringList languages = settings.keys(kLanguage);

    const QString file = Paths::normalize(path);
    if (file.right(4).toUpper() != QLatin1String(".KVR")) {
        refuseFile(context, QStringLiteral("Confirmation (File-type error)"));
        return;
    }
    const QFileInfo info(file);
    context.recent.openFolder = Paths::folderOf(info.absoluteFilePath());
    context.recent.openedFolder = context.recent.openFolder;
    context.recent.openedName = info.fileName();

    QStringList lines;
    if (const std::optional<Notice> refusal = ParameterFileChecks::readLines(context, file, lines)) {
        showNotice(*refusal);
        PumpEvents();
        context.startupAborted = true;
        return;
    }
    ParaFile::Header header = ParaFile::parseHeader(lines);
    if (header.form != ParaFile::Form::Full || lines.size() < 8) {
        refuseFile(context, QStringLiteral("Confirmation (Data error)"));
        return;
    }
    const int langNo = positionIn(languages, header.language);
    if (langNo < 0) {
        refuseFile(context, QStringLiteral("Confirmation (Language error)"));
        return;
    }
    // A file written on Windows in the language's code page: read it again in that page.
    context.language.name = header.language;
    useLanguageCodePage(context);
    QList<QByteArray> lineBytes;
    if (const std::optional<Notice> refusal =
            ParameterFileChecks::readLines(context, file, lines, &lineBytes)) {
        showNotice(*refusal);
        PumpEvents();
        context.startupAborted = true;
        return;
    }
    header = ParaFile::parseHeader(lines);
    // Blind lines that are not numbers would leave a half-read set behind: refuse first.
    bool blindActive = false;
    int blindCount = 0;
    if (!ParaFile::parseBlindLines(header, blindActive, blindCount)) {
        refuseFile(context, QStringLiteral("Confirmation (Data error)"));
        return;
    }
    main.fileCommands().takeStartFileComment(header.commentLine, lineBytes.value(header.commentAt));
    context.tableView.blindOn = blindActive;
    context.tableView.blindCount = blindCount;

    // A parameter file names its drive; its data are looked for below "dat", whatever folder
    // the settings name.
    DriveSources sources{Paths::join(context.paths.programFolder, QStringLiteral("dat")),
                         context.paths.catalogueIni};
    sources.unlistedTypeCode = QStringLiteral("Not_Support_Type");
    sources.unlistedFormCode = QStringLiteral("Not_Support_Form");
    const DriveLocation named = locateDrive(sources, header.type, header.driveForm, header.cpu);
    context.drive.identity = named.identity;
    context.drive.files = named.files;

    context.language.suffix = context.language.name.left(3);
    main.setFileArgumentStart();
    context.language.decimalComma = settings.readBool(kLanguage, context.language.name, false);
    {
        IniFile out(context.paths.settingsIni);
        out.writeInteger(QStringLiteral("Default"), QStringLiteral("LangNo"), langNo);
        out.flush();
    }

    context.language.iniPath = Paths::join(context.language.folder, context.language.name + ".ini");
    context.paths.helpFile =
        Paths::join(context.paths.programFolder, product() + "(" + context.language.suffix + ").chm");
    // No start-up form runs on this path; the CPU check needs the type's versions all the same.
    const QString dataFolder = Paths::normalize(
        settings.readString(QStringLiteral("Options"), QStringLiteral("DF"), QStringLiteral("\\dat")));
    QStringList cpuNames, cpuNumbers;
    ProgramFolder::cpuVersionsOf(context.paths.programFolder +
                                     (dataFolder.startsWith(u'/') ? dataFolder : "/" + dataFolder),
                                 context.drive.identity.typeName, cpuNames, cpuNumbers);
    main.setCpuVersions(cpuNames, cpuNumbers);

    const DriveFileDialog chooser = main.missingFileDialog();
    if (!createStore(main))
        return;
    const DriveLoad load = LoadDriveData(context, main.asker(), chooser);
    if (load == DriveLoad::Aborted)
        return;
    if (load == DriveLoad::ValuesRefused) {
        // The file's values cannot be placed into drive data that is itself broken.
        context.startupAborted = true;
        return;
    }

    context.recent.saveFolder = context.paths.programFolder;
    context.recent.monitorFolder = context.paths.programFolder;
    context.recent.saveName.clear();
    context.recent.monitorName.clear();
    main.setCaption(ParaFile::captionBase(context));
    context.tableView.lastIndex = context.drive.normalLastIndex;
    // Save stays disabled unless the whole file is read: a half-read set must not overwrite it.
    main.setSaveEnabled(false);

    WaitCursor busy;
    ParaFile::resetValuesToDefaults(context);
    ParaFile::ReadOptions options;
    options.acceptShortForms = false;
    options.markerCheck = false;
    options.identityChecks = false;
    options.askOnUnknownNumber = false;
    options.letEventsThroughAfterBoxes = true;
    QList<int> taken;
    const ParaFile::ReadResult result =
        ParaFile::loadDataLines(context, lines, header.firstDataLine, false, main.asker(), options, &taken);
    // Values read before a stop are in the table too, and may be exported.
    if (const std::optional<Notice> outside = ParameterFileChecks::markOutOfLimits(context, taken))
        showNotice(*outside);
    if (result != ParaFile::ReadResult::Loaded)
        return;
    main.setCaption(
        ParaFile::fileCaption(context, context.recent.openedName, header.type + header.driveForm));
    main.setSaveEnabled(true);
}

// ---- Program ------------------------------------------------------------------------------

Program::Program(const Environment& env, SerialPort* port, Clock* clock)
    : env_(env), port_(port), clock_(clock) {
    if (!port_) {
        ownPort_ = std::make_unique<TermiosSerialPort>();
        port_ = ownPort_.get();
    }
    if (!clock_)
        clock_ = &systemClock();
}

Program::~Program() {
    HelpViewer::closeAll();
    if (main_) {
        main_->setTable(nullptr);
        main_->setTransfers(nullptr);
        main_->fileCommands().setCfgNames(CfgFile::catalogueNames(context_));
    }
    mainLinks_ = {};
    if (main_) {
        main_->setPageSetupWindow(nullptr);
        main_->setPrintWindow(nullptr);
        main_->setPrinter(nullptr);
    }
    monitorPrint_.reset();
    printWindow_.reset();
    transfers_.reset();
    transferHost_.reset();
    monitorLock_.setHandler({});
    if (main_)
        main_->setMonitorHooks({});
    monitor_.reset();
    pageSetup_.reset();
    printer_.reset();
    table_.reset();
    option_.reset();
    rsset_.reset();
    if (main_)
        main_->setSpecialSetupCheck(nullptr);
    checks_.reset();
    main_.reset();
    link_.reset();
}

bool Program::create() {
    ProgramContext& context = context_;
    link_ = std::make_unique<CommLink>(context, *port_, *clock_, asker_);
    link_->setMonitorRunLock(&monitorLock_);
    // A drive that answers late or not at all never leaves a window unanswered.
    link_->setServeWindowsWhileWaiting(true);
    // Greyed drive commands come back by themselves once the drive answers again.
    link_->setHealInBackground(true);

    ProgramFolder::setProgramFolder(context, env_.currentFolder);
    main_ = std::make_unique<MainWindow>(context, options_, asker_, link_.get());
    link_->setView(main_.get());
    MainWindow& m = *main_;
    m.setStartupForm([this, &m] {
        if (startupForm) {
            startupForm(m);
            return;
        }
        // The search for the drive runs with the form on screen. On the system's own ports each
        // port is searched on a line of its own, side by side; a port given by the caller is
        // searched port by port.
        SearchLineFactory lines;
        if (ownPort_)
            lines = [] { return SearchLine{std::make_shared<TermiosSerialPort>(), nullptr}; };
        // A window of its own: disabling the main window must not disable it.
        const auto cpuVersionsChosen = [&m](const QStringList& names, const QStringList& numbers) {
            m.setCpuVersions(names, numbers);
        };
        DriveTypeDialog form(
            context_, m.asker(),
            {m.firstShowDone(), m.fileArgumentStart(), cpuVersionsChosen, link_.get(), lines, true});
        // Under New the language cannot change: the running texts stay as they are.
        if (m.firstShowDone())
            form.LangForm->setEnabled(false);
        form.run();
    });
    m.startProgram(env_.fileArgument, env_.programFileFolder);

    checks_ = std::make_unique<DriveChecks>(context, options_, *link_, m, &m.cpuVersionNames(),
                                            &m.cpuVersionNumbers());
    checks_->setOptionsOpener([this] {
        if (option_)
            option_->exec();
    });
    DriveChecks* checks = checks_.get();
    // Activations take the kept answer of the link and never wait for the drive.
    m.setSpecialSetupCheck([checks] { checks->CheckSpSetupOnActivation(); });
    // "Inverter Info." names the drive's type and capacity with the drive checks' look-ups.
    m.setInverterInfo([this, &m] {
        if (checks_)
            InverterInfoCommand(*link_, checks_->names(), context_, options_, mainLinks_).run(&m);
    });
    // A configuration file names its drive type and capacity as the drive's own identity does.
    m.fileCommands().setCfgNames({[checks](const QString& typeCode, const QString& identValue) {
                                      return checks->names().LookupFileTypeName(typeCode, identValue);
                                  },
                                  [checks](const QString& typeName, const QString& capacityCode) {
                                      return checks->names().LookupCapacityName(typeName, capacityCode);
                                  }});

    transferHost_ = std::make_unique<TransferHostHooks>([&m] { return m.tableActive(); });
    TransferHostHooks& host = *transferHost_;
    host.itemEnabled = [&m](DriveCommand c) {
        switch (c) {
        case DriveCommand::Import:
            return m.item(MainCommand::Import)->isEnabled();
        case DriveCommand::Export:
            return m.item(MainCommand::Export)->isEnabled();
        case DriveCommand::Comparison:
            return m.item(MainCommand::Comparison)->isEnabled();
        case DriveCommand::SelectedImport:
            return m.item(MainCommand::SelectedImport)->isEnabled();
        case DriveCommand::SelectedExport:
            return m.item(MainCommand::SelectedExport)->isEnabled();
        default:
            return false;
        }
    };
    host.refresh = [&m] { m.refreshTable(); };
    host.focusGrid = [&m] { m.focusTableGrid(); };
    host.selectedImport = [this] {
        if (table_)
            table_->runCommand(TableCommand::DownLoad);
    };
    host.selectedExport = [this] {
        if (table_)
            table_->runCommand(TableCommand::UpLoad);
    };
    host.owner = [&m]() -> QWidget* { return &m; };
    mainLinks_.window = &m;
    mainLinks_.printEnabled = [&m] { return m.item(MainCommand::Print)->isEnabled(); };
    mainLinks_.clearParaTableAct = [&m] { m.setParaTableAct(false); };
    transfers_ = std::make_unique<TransferCommands>(context, options_, *link_, host, *checks, mainLinks_);
    m.setTransfers(transfers_.get());
    // A monitor run owns the link: the main window and the table's pop-up menu wait for it;
    // the table itself stays usable (a window of its own).
    monitorLock_.setHandler([&m](bool running) {
        m.setEnabled(!running);
        m.tableCommands().setPopupMenuEnabled(!running);
    });

    rsset_ = std::make_unique<CommSetupDialog>(*link_);
    m.setCommSetupDialog(rsset_.get());
    // The options window's creation ends by connecting to the drive; the probe's answer comes
    // from the event loop, so that the windows appear without waiting for it.
    option_ = std::make_unique<OptionsWindow>(context, options_, asker_,
                                              [this] { link_->ConnectDriveInBackground(); });
    m.setOptionsWindow(option_.get());
    option_->setMainWindow(&m);
    QObject::connect(option_.get(), &OptionsWindow::activated, &m, [&m] { m.setParaTableAct(false); });

    table_ = std::make_unique<ParameterTableWindow>(context, options_, link_.get(), m);
    ParameterTableWindow* t = table_.get();
    t->core().shareConversionBases(&conversionBases_);
    t->placeAndFill();
    m.setTable(t);
    // A file dropped on the table is loaded as File > Open loads it.
    t->loadDroppedFiles = [&m, &context](const QStringList& paths) {
        ParameterFileDrop(m.fileCommands(), m, context, m.asker()).load(paths);
    };

    createPrinting();

    // The monitor window, made once for the run; its command follows its item list.
    MonitorWindowHooks monitorHooks;
    monitorHooks.runLock = &monitorLock_;
    monitorHooks.mainFrame = [&m] { return m.frameGeometry(); };
    monitorHooks.setMonitorCommandEnabled = [&m](bool on) { m.setMonitorCommandEnabled(on); };
    // Print hands the run's page to the monitor print window.
    monitorHooks.print = [this](report::MonitorReportData data) {
        if (monitorPrint_)
            monitorPrint_->showAndPreview(std::move(data));
    };
    // A trip seen during a run: the inverter information and the trip data, read at once.
    monitorHooks.tripReport = [this] {
        if (!checks_ || !monitor_)
            return;
        const CheckOption& show = options_.monitorShowsTripData;
        InverterInfoCommand(*link_, checks_->names(), context_, options_, mainLinks_)
            .tripReport(monitor_->model().lists, show.checked() && show.enabled(), monitor_.get());
    };
    monitor_ = std::make_unique<MonitorWindow>(context, options_, *link_, std::move(monitorHooks));
    MonitorWindow* mon = monitor_.get();
    mon->model().shareConversionBases(&conversionBases_);
    mon->placeAndLoadSetup();
    m.setMonitorHooks({[mon] { mon->ShowMonitor(); }, [mon] { mon->RebuildForDriveType(); },
                       [mon](bool on) { mon->setPrintAllowed(on); },
                       [this] { return monitorLock_.running(); }});
    return !context.startupAborted;
}

void Program::createPrinting() {
    ProgramContext& context = context_;
    if (context.startupAborted)
        return;
    MainWindow& m = *main_;
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m.setPrinter(printer_.get());
    mainLinks_.printer = printer_.get();
    const auto frame = [&m] { return m.frameGeometry(); };
    const auto clearParaTableAct = [&m] { m.setParaTableAct(false); };
    const auto message = [&context](MsgId id) {
        return id == MsgId::Caption ? context.texts.caption
               : context.store      ? context.store->Msg(id)
                                    : QString();
    };

    // The page set-up holds the comment a save writes: a file given at start-up hands its
    // comment over once.
    FileCommands& files = m.fileCommands();
    pageSetup_ = std::make_unique<PageSetupWindow>(
        PageSetupLinks{frame, clearParaTableAct, message, [&files] { return files.startCommentWaiting(); },
                       [&files] { return files.handOverStartComment(); }});
    pageSetup_->loadTextsAndSettings(context.language.iniPath, context.paths.settingsIni,
                                     context.language.name);
    m.setPageSetupWindow(pageSetup_.get());
    if (files.startCommentWaiting())
        pageSetup_->setComment(files.handOverStartComment());

    PrintWindowLinks links;
    links.mainFrame = frame;
    links.clearParaTableAct = clearParaTableAct;
    links.message = message;
    links.printer = printer_.get();
    links.setPrintCommandsEnabled = [&m](bool on) { m.setPrintCommandsEnabled(on); };
    // The list as the table shows it now.
    links.source = [&m] {
        const TableCommands& c = m.tableCommands();
        return paramReportSourceFromStore(m.context(), c.checked(TableCommand::ChgDisp),
                                          c.checked(TableCommand::Blind), c.checked(TableCommand::Quick));
    };
    links.typeForm = [&context] { return context.drive.identity.typeName + context.drive.identity.formName; };
    printWindow_ = std::make_unique<ParameterPrintWindow>(*pageSetup_, links);
    printWindow_->createWithTexts(context.language.iniPath);
    m.setPrintWindow(printWindow_.get());

    monitorPrint_ = std::make_unique<MonitorPrintWindow>(
        *pageSetup_, ReportWindowLinks{frame, clearParaTableAct, message, printer_.get()});
    monitorPrint_->createWithTexts(context.language.iniPath);
}

void Program::showMain() {
    if (main_)
        main_->show();
}

int run(QApplication& app, const QStringList& args) {
    InstanceLock lock;
    if (!lock.tryLock(product())) {
        Prompter::instance().message(QStringLiteral("Already running."), product(), BoxIcon::Error,
                                     BoxButtons::Ok);
        return 1;
    }
    Environment env;
    env.currentFolder = QDir::currentPath();
    env.programFileFolder = QCoreApplication::applicationDirPath();
    env.fileArgument = args.isEmpty() ? QString() : args.first();
    try {
        Program program(env);
        if (!program.create())
            return 0;
        program.showMain();
        app.exec();
    } catch (const std::exception& e) {
        Prompter::instance().message(QString::fromLocal8Bit(e.what()), product(), BoxIcon::Error,
                                     BoxButtons::Ok);
    }
    return 0;
}

} // namespace StartUp
