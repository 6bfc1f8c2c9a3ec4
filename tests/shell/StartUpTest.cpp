// The start-up sequence inside the main window's creation, the start with a parameter file,
// the single-instance lock and the rules for closing.
#include "core/ProgramFolder.h"
#include "core/StoreCells.h"
#include "shell/StartUpFixture.h"

#include "core/Messages.h"
#include "core/ParameterFileChecks.h"
#include "core/ParameterStore.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "link/DriveChecks.h"
#include "platform/InstanceLock.h"
#include "shell/OptionsWindow.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "ui/DriveTypeDialog.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParameterTableWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTimer>

namespace {

class StartUp : public StartUpTestBase {
protected:
    // A main window whose start-up form chooses the given drive and counts its runs.
    std::unique_ptr<MainWindow> mainWithChoice(const QString& type = QStringLiteral("HXA1"),
                                               const QString& cpu = QStringLiteral("V110"),
                                               const QString& form = QStringLiteral("-2004")) {
        auto m = std::make_unique<MainWindow>(context, options, installedAsker(), nullptr);
        m->setStartupForm([this, type, cpu, form] {
            ++formRuns;
            languagesSeenByForm = IniFile(context.paths.settingsIni).keys(QStringLiteral("Language"));
            choose(type, cpu, form);
        });
        return m;
    }

    QString value(const char* comNo) const {
        const int i = ValueRules::IndexOfComNo(context, QString::fromLatin1(comNo));
        return i < 0 ? QStringLiteral("?") : StoreCells::work(context, UP_Value, i);
    }

    QString writeKvr(const QString& name, const QStringList& lines) {
        return folder.writeFile(name, (lines.join(QStringLiteral("\r\n")) + "\r\n").toUtf8());
    }

    static QStringList kvr(const QString& language = QStringLiteral("English"),
                           const QStringList& data = {QStringLiteral("0002,75,0,0"),
                                                      QStringLiteral("0003,5000,1,0")}) {
        QStringList l{QStringLiteral("###"),
                      QStringLiteral("HXA1"),
                      QStringLiteral("-2004"),
                      QStringLiteral("V110"),
                      language,
                      QStringLiteral("Site 4, pump 2"),
                      QStringLiteral("0"),
                      QStringLiteral("0")};
        return l + data;
    }

    void seedLanguages() {
        IniFile ini(folder.settingsIniPath());
        ini.writeInteger(QStringLiteral("Language"), QStringLiteral("Japanese"), 0);
        ini.writeInteger(QStringLiteral("Language"), QStringLiteral("English"), 0);
        ini.flush();
    }

    int formRuns = 0;
    QStringList languagesSeenByForm;
};

TEST_F(StartUp, FirstStartListsTheLanguagesBeforeTheFormOpensAndLoadsTheChosenDrive) {
    ASSERT_FALSE(QFile::exists(folder.settingsIniPath()));
    auto m = mainWithChoice();
    m->startProgram();

    EXPECT_EQ(formRuns, 1);
    EXPECT_EQ(languagesSeenByForm, (QStringList{QStringLiteral("Japanese"), QStringLiteral("English")}));
    EXPECT_FALSE(context.startupAborted);
    EXPECT_EQ(m->windowTitle(), QStringLiteral("KVR260X HXA1-2004 (CPU Ver.V110)"));
    EXPECT_EQ(context.tableView.lastIndex, context.drive.normalLastIndex);
    EXPECT_GT(context.drive.normalLastIndex, 0);
    EXPECT_FALSE(m->item(MainCommand::Save)->isEnabled());
    EXPECT_FALSE(m->button(MainCommand::Save)->isEnabled());
    EXPECT_EQ(value("0002"), QStringLiteral("60"));
    // The folders default to the program folder until the user uses others.
    EXPECT_EQ(context.recent.saveFolder, folder.path());
    EXPECT_EQ(context.recent.monitorFolder, folder.path());
    EXPECT_EQ(prompter.boxes().size(), 0u);
}

TEST_F(StartUp, StoredLanguagesAreLeftAsTheyAre) {
    folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nEnglish=1\r\nJapanese=0\r\n");
    auto m = mainWithChoice();
    m->startProgram();
    EXPECT_EQ(languagesSeenByForm, (QStringList{QStringLiteral("English"), QStringLiteral("Japanese")}));
    EXPECT_EQ(IniFile(folder.settingsIniPath())
                  .readInteger(QStringLiteral("Language"), QStringLiteral("English"), 7),
              1);
}

TEST_F(StartUp, SavedFoldersAreReadFromTheSettings) {
    folder.writeFile(
        QStringLiteral("KVR260X.ini"),
        "[Language]\r\nJapanese=0\r\nEnglish=0\r\n[File]\r\nSavePath=C:\\out\r\nLoadPath=/data/in\r\n"
        "[Monitor]\r\nMonPath=/data/mon\r\n");
    auto m = mainWithChoice();
    m->startProgram();
    EXPECT_EQ(context.recent.saveFolder, QStringLiteral("C:/out"));
    EXPECT_EQ(context.recent.openFolder, QStringLiteral("/data/in"));
    EXPECT_EQ(context.recent.monitorFolder, QStringLiteral("/data/mon"));
}

TEST_F(StartUp, AFormWithNothingToOfferEndsTheSequence) {
    auto m = std::make_unique<MainWindow>(context, options, installedAsker(), nullptr);
    m->setStartupForm([this] {
        ++formRuns;
        context.startupAborted = true;
    });
    m->startProgram();
    EXPECT_EQ(formRuns, 1);
    EXPECT_TRUE(context.startupAborted);
    EXPECT_EQ(context.store, nullptr);
}

TEST_F(StartUp, DriveDataWithoutWorkingValuesSendsTheUserBackToTheForm) {
    // A copy of a drive type whose first parameter names no usable default rule.
    ASSERT_TRUE(
        folder.copyTree(folder.filePath(QStringLiteral("dat/HXA1(V110)")), QStringLiteral("dat/HXA1(V990)")));
    const QString inv = folder.filePath(QStringLiteral("dat/HXA1(V990)/HXA1(Eng).inv"));
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(inv, lines));
    lines[0].replace(QStringLiteral("0000,0,0,"), QStringLiteral("0000,x,0,"));
    ASSERT_TRUE(TextFile::writeLines(inv, lines));

    auto m = std::make_unique<MainWindow>(context, options, installedAsker(), nullptr);
    const ParameterStore* firstStore = nullptr;
    m->setStartupForm([&] {
        ++formRuns;
        if (formRuns == 1) {
            choose(QStringLiteral("HXA1"), QStringLiteral("V990"), QStringLiteral("-2004"));
        } else {
            firstStore = context.store;
            choose(QStringLiteral("HXA1"), QStringLiteral("V110"), QStringLiteral("-2004"));
        }
    });
    prompter.allowUnexpected(); // the drive data's own complaint
    m->startProgram();

    EXPECT_EQ(formRuns, 2);
    EXPECT_FALSE(context.startupAborted);
    ASSERT_NE(context.store, nullptr);
    EXPECT_NE(firstStore, nullptr);
    EXPECT_EQ(context.store, firstStore) << "reloaded into the same store";
    EXPECT_EQ(m->windowTitle(), QStringLiteral("KVR260X HXA1-2004 (CPU Ver.V110)"));
    EXPECT_EQ(value("0002"), QStringLiteral("60"));
}

TEST_F(StartUp, SettingsThatCannotBeWrittenStopTheFirstStartWithOneBox) {
    QDir().mkpath(folder.settingsIniPath()); // a folder where the file should be
    auto m = mainWithChoice();
    m->startProgram();
    EXPECT_TRUE(context.startupAborted);
    EXPECT_EQ(formRuns, 0);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.contains(folder.settingsIniPath()));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
}

// ---- Start with a parameter file ------------------------------------------------------------

TEST_F(StartUp, FileArgumentTakesLanguageDriveAndValuesFromTheFile) {
    seedLanguages();
    const QString file = writeKvr(
        QStringLiteral("sets/pump.KvR"),
        kvr(QStringLiteral("English"), {QStringLiteral("0002,75,0,0"), QStringLiteral("0003,5000,1,0"),
                                        QString(), QStringLiteral("0004,999,0,0")}));
    MainWindow m(context, options, installedAsker(), nullptr);
    m.startProgram(file, folder.path());

    ASSERT_FALSE(context.startupAborted);
    EXPECT_EQ(prompter.boxes().size(), 0u);
    EXPECT_EQ(context.language.name, QStringLiteral("English"));
    EXPECT_EQ(context.language.suffix, QStringLiteral("Eng"));
    EXPECT_EQ(context.drive.identity.typeCode, QStringLiteral("41"));
    EXPECT_EQ(context.drive.identity.formCode, QStringLiteral("1"));
    EXPECT_EQ(context.drive.identity.cpuNumber, QStringLiteral("110"));
    EXPECT_EQ(context.drive.files.typeFolder, folder.path() + QStringLiteral("/dat/HXA1(V110)"));
    EXPECT_EQ(context.paths.helpFile, folder.path() + QStringLiteral("/KVR260X(Eng).chm"));
    EXPECT_EQ(context.recent.openFolder, folder.path() + QStringLiteral("/sets"));
    EXPECT_EQ(context.recent.openedName, QStringLiteral("pump.KvR"));
    EXPECT_EQ(context.recent.saveFolder, folder.path());
    EXPECT_TRUE(m.fileArgumentStart());
    EXPECT_TRUE(m.fileCommands().startCommentWaiting());
    EXPECT_EQ(m.fileCommands().CommentsBuff, QStringLiteral("Site 4, pump 2"));
    // The lines before the empty line only; the others keep their defaults.
    EXPECT_EQ(value("0002"), QStringLiteral("75"));
    EXPECT_EQ(value("0003"), QStringLiteral("5000"));
    EXPECT_NE(value("0004"), QStringLiteral("999"));
    EXPECT_EQ(
        context.store->workingText(UP_ChangeIndex, ValueRules::IndexOfComNo(context, QStringLiteral("0002"))),
        QStringLiteral("1"));
    EXPECT_EQ(
        context.store->workingText(UP_SelectIndex, ValueRules::IndexOfComNo(context, QStringLiteral("0003"))),
        QStringLiteral("1"));
    EXPECT_EQ(m.windowTitle(), QStringLiteral("KVR260X HXA1-2004 (CPU Ver.V110) ") +
                                   Msg(context, MsgId::FileLabel) + QStringLiteral("pump.KvR (HXA1-2004)"));
    EXPECT_TRUE(m.item(MainCommand::Save)->isEnabled());
    EXPECT_TRUE(m.button(MainCommand::Save)->isEnabled());
    EXPECT_EQ(IniFile(folder.settingsIniPath())
                  .readInteger(QStringLiteral("Default"), QStringLiteral("LangNo"), -1),
              1);
    // Without a start-up form the CPU check still knows the type's versions.
    EXPECT_EQ(m.cpuVersionNames(), (QStringList{QStringLiteral("V110"), QStringLiteral("V720")}));
    EXPECT_EQ(m.cpuVersionNumbers(), (QStringList{QStringLiteral("110"), QStringLiteral("720")}));
}

TEST_F(StartUp, FileArgumentWithAnUnknownNumberStopsThereAndKeepsSaveDisabled) {
    seedLanguages();
    const QString file =
        writeKvr(QStringLiteral("x.kvr"),
                 kvr(QStringLiteral("English"), {QStringLiteral("0002,75,0,0"), QStringLiteral("FFFF,1,0,0"),
                                                 QStringLiteral("0003,5000,0,0")}));
    MainWindow m(context, options, installedAsker(), nullptr);
    m.startProgram(file, folder.path());

    EXPECT_FALSE(context.startupAborted);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, Msg(context, MsgId::DataIncorrect));
    EXPECT_EQ(prompter.boxes()[0].caption, Msg(context, MsgId::Caption));
    EXPECT_EQ(value("0002"), QStringLiteral("75"));
    EXPECT_NE(value("0003"), QStringLiteral("5000"));
    EXPECT_EQ(m.windowTitle(), QStringLiteral("KVR260X HXA1-2004 (CPU Ver.V110)"));
    // A half-read set must not overwrite the user's file.
    EXPECT_FALSE(m.item(MainCommand::Save)->isEnabled());
}

struct Refusal {
    const char* name;
    const char* file;
    QStringList lines;
    const char* caption;
};

TEST_F(StartUp, EveryRefusedFileArgumentEndsTheStartWithItsBoxAndWritesNoFolders) {
    QStringList german = kvr(QStringLiteral("German"));
    QStringList shortForm{QStringLiteral("##"),           QStringLiteral("HXA1"), QStringLiteral("-2004"),
                          QStringLiteral("No Comments."), QStringLiteral("0"),    QStringLiteral("0"),
                          QStringLiteral("0002,75,0,0")};
    QStringList truncated = kvr().mid(0, 6);
    QStringList badBlind = kvr();
    badBlind[6] = QStringLiteral("yes");
    const Refusal cases[] = {
        {"other extension", "a.txt", kvr(), "Confirmation (File-type error)"},
        {"short form", "b.KvR", shortForm, "Confirmation (Data error)"},
        {"header cut short", "c.kvr", truncated, "Confirmation (Data error)"},
        {"blind flag not a number", "d.kvr", badBlind, "Confirmation (Data error)"},
        {"language not offered", "e.kvr", german, "Confirmation (Language error)"},
    };
    folder.writeFile(QStringLiteral("lng/German.ini"), "[General]\r\nMessage1=Bestätigung\r\n");
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        seedLanguages();
        prompter.clear();
        const QString file = writeKvr(QString::fromLatin1(c.file), c.lines);
        {
            ::StartUp::Environment env{folder.path(), folder.path(), file};
            ManualClock clock;
            FakeSerialPort port(clock);
            ::StartUp::Program program(env, &port, &clock);
            program.options().setAssociationHandler([](bool) {});
            EXPECT_FALSE(program.create());
            EXPECT_TRUE(port.writes.empty());
        }
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, QStringLiteral("Data is incorrect."));
        EXPECT_EQ(prompter.boxes()[0].caption, QString::fromLatin1(c.caption));
        EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
        const IniFile ini(folder.settingsIniPath());
        EXPECT_FALSE(ini.sectionExists(QStringLiteral("File")));
        EXPECT_FALSE(ini.sectionExists(QStringLiteral("Monitor")));
    }
}

TEST_F(StartUp, UnreadableFileArgumentSaysSoAndEnds) {
    seedLanguages();
    MainWindow m(context, options, installedAsker(), nullptr);
    m.startProgram(folder.filePath(QStringLiteral("missing.kvr")), folder.path());
    EXPECT_TRUE(context.startupAborted);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.contains(QStringLiteral("missing.kvr")));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
}

TEST_F(StartUp, FileArgumentValuesOutsideTheirLimitsAreListedAndMarked) {
    seedLanguages();
    const QString file = writeKvr(QStringLiteral("x.kvr"),
                                  kvr(QStringLiteral("English"), {QStringLiteral("0002,99999999,0,0")}));
    MainWindow m(context, options, installedAsker(), nullptr);
    m.startProgram(file, folder.path());
    EXPECT_FALSE(context.startupAborted);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.startsWith(Msg(context, MsgId::ValuesOutsideLimits) +
                                                    QStringLiteral("\n0002 : ")));
    EXPECT_EQ(
        context.store->workingText(UP_ChangeIndex, ValueRules::IndexOfComNo(context, QStringLiteral("0002"))),
        QStringLiteral("1"));
    EXPECT_TRUE(m.item(MainCommand::Save)->isEnabled());
}

TEST_F(StartUp, FileArgumentLargerThanAnyParameterSetIsRefusedUnread) {
    seedLanguages();
    QStringList lines = kvr(QStringLiteral("English"));
    lines << QString(ParameterFileChecks::kMaxFileBytes, u'0');
    const QString file = writeKvr(QStringLiteral("big.kvr"), lines);
    MainWindow m(context, options, installedAsker(), nullptr);
    m.startProgram(file, folder.path());
    EXPECT_TRUE(context.startupAborted);
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::FileTooLarge) + u'\n' + file});
}

TEST_F(StartUp, ProgramFolderIsTheWorkingFolderOrWithAFileTheProgramFilesFolder) {
    TempProgramFolder other;
    ASSERT_TRUE(other.copyTree(folder.path()));
    seedLanguages();
    const QString file = writeKvr(QStringLiteral("p.kvr"), kvr());
    {
        ::ProgramFolder::setProgramFolder(context, other.path());
        auto m = mainWithChoice();
        m->startProgram();
        EXPECT_EQ(context.paths.settingsIni, other.path() + QStringLiteral("/KVR260X.ini"));
        EXPECT_TRUE(QFile::exists(other.settingsIniPath()));
    }
    context = ProgramContext();
    ::ProgramFolder::setProgramFolder(context, other.path());
    MainWindow m(context, options, installedAsker(), nullptr);
    m.startProgram(file, folder.path());
    EXPECT_EQ(context.paths.programFolder, folder.path());
    EXPECT_EQ(context.paths.settingsIni, folder.settingsIniPath());
}

TEST(StartUpCpuVersions, OnlyFoldersOfExactlyThatTypeCount) {
    TempProgramFolder f;
    for (const char* d : {"HX10(V100)", "HX10(V110)", "HX20(VHX10)", "HX100(V200)", "HX10", "XY10(V100)"})
        QDir().mkpath(f.filePath(QString::fromLatin1("dat/") + d));
    QStringList names, numbers;
    ::ProgramFolder::cpuVersionsOf(f.filePath(QStringLiteral("dat")), QStringLiteral("HX10"), names, numbers);
    EXPECT_EQ(names, (QStringList{QStringLiteral("V100"), QStringLiteral("V110")}));
    EXPECT_EQ(numbers, (QStringList{QStringLiteral("100"), QStringLiteral("110")}));
}

TEST_F(StartUp, FirstStartOffersJapaneseFirstThenShowsTheMainWindowAndTheFilledTable) {
    ManualClock clock;
    FakeSerialPort port(clock);
    port.existingPaths = {QStringLiteral("/nonexistent/port")};
    ::StartUp::Environment env{folder.path(), QDir::tempPath(), QString()};
    ::StartUp::Program program(env, &port, &clock);
    program.options().setAssociationHandler([](bool) {});
    prompter.allowUnexpected(); // no port to open

    // The user picks English in the start-up form and presses OK.
    QStringList offered;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<DriveTypeDialog*>(w);
            // The form is on screen while the drive is looked for; OK takes the choice after.
            if (!form || !form->isVisible() || !form->ok->isEnabled())
                continue;
            user.stop();
            for (int i = 0; i < form->LangForm->count(); ++i)
                offered << form->LangForm->itemText(i);
            EXPECT_EQ(form->LangForm->currentIndex(), 0);
            form->LangForm->setCurrentIndex(1);
            form->ok->click();
        }
    });
    user.start(5);
    ASSERT_TRUE(program.create());
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Japanese"), QStringLiteral("English")}));

    program.showMain();
    MainWindow* m = program.main();
    EXPECT_EQ(m->windowTitle(), QStringLiteral("KVR260X HXA1-2004 (CPU Ver.V110)"));
    EXPECT_EQ(program.context().language.name, QStringLiteral("English"));
    ASSERT_NE(program.table(), nullptr);
    EXPECT_TRUE(program.table()->isVisible());
    EXPECT_TRUE(program.table()->isWindow());
    EXPECT_EQ(program.table()->rows().size(), program.context().tableView.lastIndex + 2);
    EXPECT_FALSE(m->item(MainCommand::ParameterTable)->isEnabled());
    const IniFile ini(folder.settingsIniPath());
    EXPECT_EQ(ini.readString(QStringLiteral("Default"), QStringLiteral("InvType")), QStringLiteral("HXA1"));
    EXPECT_EQ(ini.readInteger(QStringLiteral("Default"), QStringLiteral("LangNo"), -1), 1);
    // A monitor run locks the main window and the table's pop-up menu, not the table.
    program.monitorLock().setRunning(true);
    EXPECT_FALSE(m->isEnabled());
    EXPECT_TRUE(program.table()->isEnabled());
    EXPECT_FALSE(m->tableCommands().popupMenuEnabled());
    EXPECT_FALSE(m->close());
    program.monitorLock().setRunning(false);
    EXPECT_TRUE(m->isEnabled());
    EXPECT_TRUE(m->tableCommands().popupMenuEnabled());
}

TEST_F(StartUp, NewShowsTheStartUpFormWithTheLanguageFixedAndReloadsTheTable) {
    ManualClock clock;
    FakeSerialPort port(clock);
    port.existingPaths = {QStringLiteral("/nonexistent/port")};
    ::StartUp::Environment env{folder.path(), QDir::tempPath(), QString()};
    ::StartUp::Program program(env, &port, &clock);
    program.options().setAssociationHandler([](bool) {});
    prompter.allowUnexpected(); // no port to open

    // The user takes what the form offers; under New notes whether the language could change.
    int forms = 0;
    bool languageFixed = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<DriveTypeDialog*>(w);
            // The form is on screen while the drive is looked for; OK takes the choice after.
            if (!form || !form->isVisible() || !form->ok->isEnabled())
                continue;
            ++forms;
            languageFixed = !form->LangForm->isEnabled();
            form->ok->click();
        }
    });
    user.start(5);
    ASSERT_TRUE(program.create());
    program.showMain();
    MainWindow* m = program.main();
    EXPECT_EQ(forms, 1);
    EXPECT_FALSE(languageFixed);
    const QString language = program.context().language.name;

    m->item(MainCommand::New)->trigger();
    EXPECT_EQ(forms, 2);
    EXPECT_TRUE(languageFixed);
    EXPECT_EQ(program.context().language.name, language);
    EXPECT_EQ(m->windowTitle(), QStringLiteral("KVR260X HXA1-2004 (CPU Ver.V110)"));
    EXPECT_FALSE(m->item(MainCommand::Save)->isEnabled());
    EXPECT_TRUE(program.table()->isVisible());
    EXPECT_EQ(program.table()->rows().size(), program.context().tableView.lastIndex + 2);
}

// ---- The run and its end --------------------------------------------------------------------

TEST_F(StartUp, ASecondInstanceIsRefused) {
    InstanceLock first;
    ASSERT_TRUE(first.tryLock(QStringLiteral("KVR260X")));
    EXPECT_EQ(::StartUp::run(*qApp, {folder.filePath(QStringLiteral("any.kvr"))}), 1);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, QStringLiteral("Already running."));
    EXPECT_EQ(prompter.boxes()[0].caption, QStringLiteral("KVR260X"));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
    EXPECT_TRUE(first.locked());
}

TEST_F(StartUp, ClosingWaitsForTheMonitorRunThenWritesTheFolders) {
    auto m = mainWithChoice();
    m->startProgram();
    m->show();
    context.recent.saveFolder = QStringLiteral("/s");
    context.recent.openFolder = QStringLiteral("/l");
    context.recent.monitorFolder = QStringLiteral("/m");

    bool monitorRunning = true;
    MainWindow::MonitorHooks hooks;
    hooks.running = [&monitorRunning] { return monitorRunning; };
    m->setMonitorHooks(hooks);
    EXPECT_FALSE(m->close());
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(IniFile(folder.settingsIniPath()).sectionExists(QStringLiteral("File")));
    EXPECT_EQ(prompter.boxes().size(), 0u);

    monitorRunning = false;
    EXPECT_TRUE(m->close());
    const QString text = settingsText();
    const int s = text.indexOf(QStringLiteral("SavePath=/s"));
    const int l = text.indexOf(QStringLiteral("LoadPath=/l"));
    const int mon = text.indexOf(QStringLiteral("MonPath=/m"));
    EXPECT_GE(s, 0);
    EXPECT_GT(l, s);
    EXPECT_GT(mon, l);
    // The options go with them, so the next start offers the language and drive chosen now.
    const IniFile ini(folder.settingsIniPath());
    EXPECT_EQ(ini.readInteger(QStringLiteral("Options"), QStringLiteral("CheckLang"), 999), 1);
    EXPECT_EQ(ini.readInteger(QStringLiteral("Options"), QStringLiteral("CheckInv"), 0), 1);
}

TEST_F(StartUp, FileStartWritesTheProgramAndFileFoldersBackAtClose) {
    seedLanguages();
    const QString file = writeKvr(QStringLiteral("in/p.kvr"), kvr());
    ManualClock clock;
    FakeSerialPort port(clock);
    port.existingPaths = {QStringLiteral("/nonexistent/port")};
    ::StartUp::Environment env{QDir::tempPath(), folder.path(), file};
    ::StartUp::Program program(env, &port, &clock);
    program.options().setAssociationHandler([](bool) {});
    prompter.allowUnexpected(); // no port to open
    ASSERT_TRUE(program.create());
    program.showMain();
    EXPECT_TRUE(program.main()->close());
    const IniFile ini(folder.settingsIniPath());
    EXPECT_EQ(ini.readString(QStringLiteral("File"), QStringLiteral("SavePath")), folder.path());
    EXPECT_EQ(ini.readString(QStringLiteral("File"), QStringLiteral("LoadPath")),
              folder.path() + QStringLiteral("/in"));
    EXPECT_EQ(ini.readString(QStringLiteral("Monitor"), QStringLiteral("MonPath")), folder.path());
}

TEST_F(StartUp, AFileArgumentsCommentGoesToThePageSetupOnceAndASaveWritesIt) {
    seedLanguages();
    const QString file = writeKvr(QStringLiteral("in/p.kvr"), kvr());
    ManualClock clock;
    FakeSerialPort port(clock);
    port.existingPaths = {QStringLiteral("/nonexistent/port")};
    ::StartUp::Program program({QDir::tempPath(), folder.path(), file}, &port, &clock);
    prompter.allowUnexpected(); // no port to open
    ASSERT_TRUE(program.create());
    MainWindow& m = *program.main();
    ASSERT_NE(program.pageSetup(), nullptr);
    EXPECT_EQ(program.pageSetup()->comment(), QStringLiteral("Site 4, pump 2"));
    EXPECT_FALSE(m.fileCommands().startCommentWaiting());
    EXPECT_EQ(m.commentText(), QStringLiteral("Site 4, pump 2"));
    program.showMain();

    // The user's edit survives the next showing of the page set-up.
    program.pageSetup()->setComment(QStringLiteral("edited"));
    QTimer::singleShot(0, program.pageSetup(), [&program] { program.pageSetup()->close(); });
    m.item(MainCommand::PageSetup)->trigger();
    EXPECT_EQ(m.commentText(), QStringLiteral("edited"));
    const QString saved = folder.filePath(QStringLiteral("out/p2.kvr"));
    QDir().mkpath(QFileInfo(saved).path());
    prompter.answerFile(saved, 1);
    m.fileCommands().saveParameterFileAs();
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(saved, lines));
    EXPECT_TRUE(lines.join(u'|').contains(QStringLiteral("edited")))
        << lines.mid(0, 8).join(u'|').toStdString();
}

} // namespace
