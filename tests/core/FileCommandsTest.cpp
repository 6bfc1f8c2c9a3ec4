#include "core/ParaFileFixture.h"

#include "core/FileCommands.h"
#include "platform/IniFile.h"
#include "support/DriveTypeGenerator.h"

#include <functional>

namespace {

// The main window as the file commands see it.
class FakeMain : public FileCommandHost {
public:
    explicit FakeMain(const ProgramContext& context) : context_(context) {}
    bool saveEnabled() const override { return save; }
    void setSaveEnabled(bool on) override { save = on; }
    void setCaption(const QString& c) override { caption = c; }
    QString commentText() const override { return comment; }
    void setCommentText(const QString& t) override { comment = t; }
    bool blindViewOn() const override { return context_.BlindActive; }
    void refreshTable() override { events << "refresh"; }
    void focusTableGrid() override { events << "focus"; }
    QList<QStringList> tableRows() const override { return rows; }
    void clearPortMessageShown() override { events << "port"; }
    void runStartupForm() override {
        events << "startup";
        if (startup)
            startup();
    }
    void reloadCommSettings() override { events << "comms"; }
    void rearmSpecialSetupWarning() override { events << "drvchk"; }
    void rebuildMonitor() override { events << "monitor"; }
    void showTable() override { events << "table"; }
    void applyDriveTypeCommands() override { events << "quick"; }
    void quitApplication() override { events << "quit"; }

    bool save = false;
    QString caption = "KVR260X QX100-4037 (CPU Ver.V110)";
    QString comment;
    QStringList events;
    QList<QStringList> rows{{"Title", "No.", "Name", "Value", "Low", "High", "Unit", "Change"}};
    std::function<void()> startup;

private:
    const ProgramContext& context_;
};

class FileCommandsTest : public ParaFileFixture {
protected:
    void SetUp() override {
        ParaFileFixture::SetUp();
        setParams({{"0000", "3"}, {"0001", "600"}});
    }
    QByteArray kvr(const QString& type, const QStringList& data, const QString& comment = "No Comments.") {
        return (QStringList{"###", type, "-4037", "V110", "English", comment, "0", "0"} + data)
                   .join("\r\n")
                   .toUtf8() +
               "\r\n";
    }
    // Opens a file through the command, the dialog answered with it.
    void open(const QString& name) {
        prompter.answerFile(path(name));
        commands.ParaOpenClick();
    }
    FakeMain main{context};
    FileCommands commands{context, options, main};
};

TEST_F(FileCommandsTest, OpenMakesTheFileTheOpenedOneAndHandsOverItsComment) {
    writeFile("x.kvr", kvr("QX100", {"0000,9"}, "pump 3"));
    main.comment = "old";
    commands.CommentsChk = true;
    open("x.kvr");
    EXPECT_EQ(value("0000"), "9");
    EXPECT_EQ(main.caption, "KVR260X QX100-4037 (CPU Ver.V110) M1x.kvr (QX100-4037)");
    EXPECT_TRUE(main.save);
    EXPECT_EQ(main.comment, "pump 3");
    EXPECT_FALSE(commands.CommentsChk);
    EXPECT_EQ(context.OpenedFileName, "x.kvr");
    EXPECT_EQ(context.OpenedFileFolder, dir.path());
    EXPECT_EQ(main.events, (QStringList{"refresh", "focus"}));
    EXPECT_EQ(prompter.fileFilters().value(0), "Parameter Datas (*.kvr)|*.kvr|All Files (*.*)|*.*");
}

TEST_F(FileCommandsTest, StartFileCommentReachesTheCommentBoxAtOnce) {
    commands.takeStartFileComment("line 4 pump");
    EXPECT_TRUE(commands.CommentsChk);
    EXPECT_EQ(commands.CommentsBuff, "line 4 pump");
    EXPECT_EQ(main.comment, "line 4 pump");
    commands.takeStartFileComment("No Comments.");
    EXPECT_FALSE(commands.CommentsChk);
    EXPECT_EQ(main.comment, "");
}

TEST_F(FileCommandsTest, RefusedFileChangesOnlyTheLoadFolder) {
    QDir(dir.path()).mkdir("other");
    writeFile("other/y.kvr", kvr("QX200", {"0000,9"}));
    writeFile("other/z.txt", "hello\r\n");
    context.OpenedFileName = "x.kvr";
    context.OpenedFileFolder = dir.path();
    const QString caption = main.caption;
    open("other/y.kvr");
    open("other/z.txt");
    open("other/missing.kvr");
    EXPECT_EQ(prompter.texts(), (QStringList{"M9\nQX200-4037 (V110) M86", "M67",
                                             "Cannot open file " + path("other/missing.kvr") + "."}));
    EXPECT_EQ(context.LoadPath, path("other"));
    EXPECT_EQ(context.OpenedFileName, "x.kvr");
    EXPECT_EQ(main.caption, caption);
    EXPECT_FALSE(main.save);
    EXPECT_TRUE(main.events.isEmpty());
    EXPECT_EQ(value("0000"), "3");
}

TEST_F(FileCommandsTest, StoppedReadRebuildsTheTableButKeepsTheOpenedFile) {
    writeFile("x.kvr", kvr("QX100", {"0000,9", "0001,bad"}));
    context.OpenedFileName = "prev.kvr";
    open("x.kvr");
    EXPECT_EQ(value("0000"), "9");
    EXPECT_EQ(main.events, QStringList{"refresh"});
    EXPECT_EQ(context.OpenedFileName, "prev.kvr");
    EXPECT_FALSE(main.save);
}

TEST_F(FileCommandsTest, SaveWithoutAnOpenedFileShowsMessage15) {
    main.save = true;
    commands.ParaSaveOverWriteClick();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "M15");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::None);
}

TEST_F(FileCommandsTest, SaveAsPicksTheFormatByExtensionAndFilter) {
    // A parameter file first, which becomes the opened file.
    prompter.answerFile(path("set.kvr"), 1);
    commands.ParaSaveChangeNameClick();
    EXPECT_EQ(context.OpenedFileName, "set.kvr");
    EXPECT_TRUE(main.save);
    const QString caption = main.caption;
    EXPECT_EQ(caption, "KVR260X QX100-4037 (CPU Ver.V110) M1set.kvr");

    prompter.answerFile(path("abc"), 2);
    commands.ParaSaveChangeNameClick();
    EXPECT_TRUE(readFile("abc.csv").startsWith("Title,No.,"));
    EXPECT_EQ(context.CurrentFileName, "abc.csv");
    EXPECT_EQ(main.caption, caption);

    prompter.answerFile(path("x.txt"), 1);
    commands.ParaSaveChangeNameClick();
    EXPECT_TRUE(readFile("x.txt.kvr").startsWith("###\r\n"));

    prompter.answerFile(path("y.CSV"), 1);
    commands.ParaSaveChangeNameClick();
    EXPECT_TRUE(readFile("y.CSV").startsWith("Title,"));
    EXPECT_EQ(context.OpenedFileName, "x.txt.kvr");

    // Save writes the opened parameter file, not the last CSV table.
    QFile::remove(path("x.txt.kvr"));
    commands.ParaSaveOverWriteClick();
    EXPECT_TRUE(readFile("x.txt.kvr").startsWith("###\r\n"));

    // The preselected filter follows the last name saved.
    const auto& d = prompter.fileDialogRecords();
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].filterIndex, 1);
    EXPECT_EQ(d[2].filterIndex, 2);
    EXPECT_EQ(d[3].filterIndex, 1);
    EXPECT_EQ(d[3].fileName, "x.txt");
}

TEST_F(FileCommandsTest, AppendedExtensionAsksBeforeReplacingAFile) {
    writeFile("keep.kvr", "precious");
    prompter.answerFile(path("keep"), 1);
    prompter.answer(BoxAnswer::No);
    commands.ParaSaveChangeNameClick();
    EXPECT_EQ(readFile("keep.kvr"), "precious");
    EXPECT_TRUE(context.OpenedFileName.isEmpty());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::YesNo);

    prompter.answerFile(path("keep"), 1);
    prompter.answer(BoxAnswer::Yes);
    commands.ParaSaveChangeNameClick();
    EXPECT_TRUE(readFile("keep.kvr").startsWith("###"));
}

TEST_F(FileCommandsTest, FailedSaveChangesNothingOfTheOpenedFile) {
    writeFile("x.kvr", kvr("QX100", {"0000,9"}));
    open("x.kvr");
    const QString caption = main.caption;
    const QByteArray before = readFile("x.kvr");
    writeFile("plain", "a file where a folder should be");
    prompter.answerFile(path("plain/new.kvr"), 1);
    commands.ParaSaveChangeNameClick();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Cannot create file " + path("plain/new.kvr") + ".");
    EXPECT_EQ(main.caption, caption);
    EXPECT_EQ(context.OpenedFileName, "x.kvr");
    EXPECT_TRUE(main.save);
    EXPECT_EQ(readFile("x.kvr"), before);
}

TEST_F(FileCommandsTest, SaveOfAConfigurationFileAlwaysAsksForTheName) {
    context.InfoIniPath = path("Info.ini");
    writeFile("Info.ini", "[Setup]\nMLD_flt=1\n");
    commands.updateFilters();
    context.OpenedFileName = "a.cfg";
    context.OpenedFileFolder = dir.path();
    main.save = true;

    prompter.answerFile(QString());
    commands.ParaSaveOverWriteClick();
    EXPECT_FALSE(QFile::exists(path("a.cfg")));

    prompter.answerFile(path("b.kvr"));
    commands.ParaSaveOverWriteClick();
    EXPECT_TRUE(readFile("b.kvr").startsWith("###"));
    EXPECT_EQ(context.OpenedFileName, "b.kvr");
    const auto& d = prompter.fileDialogRecords();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].filterIndex, 3);
    EXPECT_EQ(d[0].fileName, "a.cfg");
}

TEST_F(FileCommandsTest, ConfigurationFileRoundTripThroughTheCommands) {
    context.CatalogueIniPath = path("Inverter.ini");
    writeFile("Inverter.ini", "[Type_Ident_65]\nIdent=0099\nTyp_1=QX100\n[QX100]\n-4037=6\n");
    context.DriveCpuVersion = "V105";
    commands.setCfgNames(CfgFile::catalogueNames(context));
    setValue("0001", "700");
    prompter.answerFile(path("set.cfg"), 1);
    commands.ParaSaveChangeNameClick();
    EXPECT_EQ(context.OpenedFileName, "set.cfg");

    setValue("0001", "1");
    open("set.cfg");
    EXPECT_EQ(value("0001"), "700");
    EXPECT_EQ(commands.CFG_CNum, (QStringList{"0000", "0001"}));
    EXPECT_EQ(main.caption, "KVR260X QX100-4037 (CPU Ver.V105) M1set.cfg (QX100-4037)");
    EXPECT_TRUE(prompter.boxes().empty());
}

// ---- New ---------------------------------------------------------------------------------

class NewParaSetTest : public FileCommandsTest {
protected:
    void SetUp() override {
        FileCommandsTest::SetUp();
        DriveTypeGenerator::Options o;
        o.typeName = "QX300";
        o.cpuVersion = "V110";
        o.parameterCount = 120;
        QString error;
        ASSERT_TRUE(DriveTypeGenerator::write(dir.path(), o, &generated, &error)) << error.toStdString();
        context.SettingsIniPath = path("KVR260X.ini");
        main.startup = [this] {
            ProgramContext& g = context;
            g.DriveTypeName = "QX300";
            g.DriveFormName = "-4037";
            g.DriveCpuVersion = "V110";
            g.LanguageSuffix = "Eng";
            g.TypeFolder = g.CapacityFolder = generated.typeFolder;
            g.InfoIniPath = generated.infoIniPath;
        };
        context.BlindActive = true;
        context.BlindCount = 3;
        commands.CommentsChk = true;
        commands.CommentsBuff = "from the start";
        main.save = true;
        options.MainteClear.setChecked(false);
    }
    DriveTypeGenerator::Result generated;
};

TEST_F(NewParaSetTest, NewLoadsTheDriveTypeAndResetsTheFileState) {
    {
        IniFile info(generated.infoIniPath);
        info.writeBool("Setup", "MLD_flt", true);
        ASSERT_TRUE(info.flush());
    }
    options.StartInv.setChecked(false);
    commands.ParaMakeNewClick();
    const ProgramContext& g = context;
    EXPECT_EQ(main.caption, "KVR260X QX300-4037 (CPU Ver.V110)");
    EXPECT_FALSE(main.save);
    EXPECT_FALSE(g.BlindActive);
    EXPECT_EQ(g.BlindCount, 0);
    EXPECT_FALSE(commands.CommentsChk);
    EXPECT_TRUE(commands.CommentsBuff.isEmpty());
    EXPECT_EQ(g.ParaCountAll, 119);
    EXPECT_EQ(g.RowsInUse, g.ParaCountNormal);
    EXPECT_EQ(main.events,
              (QStringList{"port", "startup", "comms", "drvchk", "refresh", "monitor", "table", "quick"}));
    EXPECT_EQ(commands.openFilter().split('|').size(), 6);
    EXPECT_EQ(commands.saveFilter().split('|').value(5), "*.cfg");
    options.StartInv.setChecked(true);
}

TEST_F(NewParaSetTest, MaintenanceStaysUnlockedUnlessReleasedAtNew) {
    store->MainteFlag = true;
    commands.ParaMakeNewClick();
    EXPECT_EQ(context.RowsInUse, context.ParaCountAll);
    EXPECT_TRUE(store->MainteFlag);

    options.MainteClear.setChecked(true);
    options.setMastersTabVisible(true);
    commands.ParaMakeNewClick();
    EXPECT_FALSE(store->MainteFlag);
    EXPECT_FALSE(options.mastersTabVisible());
    EXPECT_FALSE(options.DispBuffer.checked());
    EXPECT_EQ(context.RowsInUse, context.ParaCountNormal);
    options.MainteClear.setChecked(false);
}

TEST_F(NewParaSetTest, AbortedStartUpFormEndsTheProgramWithoutLoadersAndKeepsTheFolders) {
    main.startup = [this] { context.StartupAbort = true; };
    context.LoadPath = "/data/sets";
    commands.ParaMakeNewClick();
    EXPECT_TRUE(prompter.boxes().empty()); // no "file missing" box, no chooser
    EXPECT_EQ(prompter.fileDialogs(), 0);
    EXPECT_EQ(main.events.last(), "quit");
    EXPECT_EQ(IniFile(path("KVR260X.ini")).readString("File", "LoadPath"), "/data/sets");
}

} // namespace

namespace {

// A new user's round: start over with a drive type, save the set, change it, open it again,
// save it as a CSV table and as a configuration file, open that, start over with another type.
TEST_F(NewParaSetTest, SaveChangeOpenExportAndStartOverAsAUserWould) {
    DriveTypeGenerator::Options other;
    other.typeName = "QX400";
    other.cpuVersion = "V110";
    other.parameterCount = 80;
    other.typeCode = 91;
    DriveTypeGenerator::Result second;
    ASSERT_TRUE(DriveTypeGenerator::write(dir.path(), other, &second));
    QString type = "QX300";
    main.startup = [&] {
        ProgramContext& g = context;
        const DriveTypeGenerator::Result& r = type == "QX300" ? generated : second;
        g.DriveTypeName = type;
        g.DriveFormName = "-4037";
        g.DriveCpuVersion = "V110";
        g.DriveTypeCode = type == "QX300" ? "90" : "91";
        g.DriveFormCode = "13";
        g.DriveCpuNumber = "110";
        g.LanguageSuffix = "Eng";
        g.TypeFolder = g.CapacityFolder = r.typeFolder;
        g.InfoIniPath = r.infoIniPath;
    };
    context.CatalogueIniPath = path("dat/Inverter.ini");
    commands.ParaMakeNewClick();
    ASSERT_EQ(context.ParaCountAll, 119);
    prompter.allowUnexpected(); // the configuration writer lists values it cannot store

    QString number; // an ordinary parameter the configuration file carries
    for (const QString& n : generated.comNos)
        if (n.startsWith('0') && n != "0099" && n != "0998" && n != "0999") {
            number = n;
            break;
        }
    ASSERT_FALSE(number.isEmpty());
    setValue(number, "42");

    prompter.answerFile(path("pump.kvr"), 1);
    commands.ParaSaveChangeNameClick();
    setValue(number, "43");
    open("pump.kvr");
    EXPECT_EQ(value(number), "42");
    EXPECT_EQ(main.caption, "KVR260X QX300-4037 (CPU Ver.V110) M1pump.kvr (QX300-4037)");

    prompter.answerFile(path("pump-table"), 2);
    commands.ParaSaveChangeNameClick();
    EXPECT_TRUE(QFile::exists(path("pump-table.csv")));
    EXPECT_EQ(context.OpenedFileName, "pump.kvr");

    prompter.answerFile(path("pump"), 3);
    commands.ParaSaveChangeNameClick();
    EXPECT_EQ(context.OpenedFileName, "pump.cfg");
    setValue(number, "43");
    open("pump.cfg");
    EXPECT_EQ(value(number), "42");
    EXPECT_EQ(main.caption, "KVR260X QX300-4037 (CPU Ver.V110) M1pump.cfg (QX300-4037)");
    EXPECT_TRUE(main.save);

    type = "QX400";
    commands.ParaMakeNewClick();
    EXPECT_EQ(context.ParaCountAll, 79);
    EXPECT_EQ(main.caption, "KVR260X QX400-4037 (CPU Ver.V110)");
    EXPECT_FALSE(main.save);
    for (const auto& box : prompter.boxes())
        EXPECT_NE(box.icon, BoxIcon::Error) << box.text.toStdString();
}

} // namespace
