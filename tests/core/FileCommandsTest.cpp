#include "core/FakeFileCommandHost.h"
#include "core/ParaFileFixture.h"

#include "core/FileCommands.h"
#include "core/ParameterFileChecks.h"
#include "platform/BoxText.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "support/DriveTypeGenerator.h"

#include <cerrno>
#include <functional>

namespace {

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
        commands.openParameterFile();
    }
    FakeMain main{context};
    FileCommands commands{context, options, main, prompter};
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
    EXPECT_EQ(context.recent.openedName, "x.kvr");
    EXPECT_EQ(context.recent.openedFolder, dir.path());
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
    context.recent.openedName = "x.kvr";
    context.recent.openedFolder = dir.path();
    const QString caption = main.caption;
    open("other/y.kvr");
    open("other/z.txt");
    open("other/missing.kvr");
    EXPECT_EQ(prompter.texts(), (QStringList{"M9\nQX200-4037 (V110) M86", "M67",
                                             "Cannot open file " + path("other/missing.kvr") + "."}));
    EXPECT_EQ(context.recent.openFolder, path("other"));
    EXPECT_EQ(context.recent.openedName, "x.kvr");
    EXPECT_EQ(main.caption, caption);
    EXPECT_FALSE(main.save);
    EXPECT_TRUE(main.events.isEmpty());
    EXPECT_EQ(value("0000"), "3");
}

// A file stopped at a bad line after another was opened: the table, the caption and the
// comment stay, and Save writes the opened file as it was.
TEST_F(FileCommandsTest, FileStoppedAtAnyLineLeavesTheOpenedFileWholeThroughSave) {
    writeFile("x.kvr", kvr("QX100", {"0000,9", "0001,601"}, "pump 3"));
    open("x.kvr");
    commands.saveParameterFile();
    const QByteArray saved = readFile("x.kvr");
    const QString caption = main.caption;
    const QString zeroByte = QString("0001,6") + QChar(0);
    for (const QString& bad : {QString("0001,bad"), QString("0001"), QString("0001,1e999"),
                               QString("0001,nan"), zeroByte, QString("ZZZZ,1")}) {
        writeFile("y.kvr", kvr("QX100", {"0000,5", bad, "0001,7"}));
        main.events.clear();
        prompter.answer(BoxAnswer::Cancel); // the question at an unknown number
        open("y.kvr");
        prompter.clear();
        EXPECT_EQ(values(), (QStringList{"9", "601"})) << bad.toStdString();
        EXPECT_EQ(main.caption, caption);
        EXPECT_EQ(main.comment, "pump 3");
        EXPECT_TRUE(main.events.isEmpty());
    }
    EXPECT_EQ(context.recent.openedName, "x.kvr");
    commands.saveParameterFile();
    EXPECT_EQ(readFile("x.kvr"), saved);
}

TEST_F(FileCommandsTest, SaveWithoutAnOpenedFileShowsMessage15) {
    main.save = true;
    commands.saveParameterFile();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "M15");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::None);
}

TEST_F(FileCommandsTest, SaveAsPicksTheFormatByExtensionAndFilter) {
    // A parameter file first, which becomes the opened file.
    prompter.answerFile(path("set.kvr"), 1);
    commands.saveParameterFileAs();
    EXPECT_EQ(context.recent.openedName, "set.kvr");
    EXPECT_TRUE(main.save);
    const QString caption = main.caption;
    EXPECT_EQ(caption, "KVR260X QX100-4037 (CPU Ver.V110) M1set.kvr");

    prompter.answerFile(path("abc"), 2);
    commands.saveParameterFileAs();
    EXPECT_TRUE(readFile("abc.csv").startsWith("Title,No.,"));
    EXPECT_EQ(context.recent.saveName, "abc.csv");
    EXPECT_EQ(main.caption, caption);

    prompter.answerFile(path("x.txt"), 1);
    commands.saveParameterFileAs();
    EXPECT_TRUE(readFile("x.txt.kvr").startsWith("###\r\n"));

    prompter.answerFile(path("y.CSV"), 1);
    commands.saveParameterFileAs();
    EXPECT_TRUE(readFile("y.CSV").startsWith("Title,"));
    EXPECT_EQ(context.recent.openedName, "x.txt.kvr");

    // Save writes the opened parameter file, not the last CSV table.
    QFile::remove(path("x.txt.kvr"));
    commands.saveParameterFile();
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
    commands.saveParameterFileAs();
    EXPECT_EQ(readFile("keep.kvr"), "precious");
    EXPECT_TRUE(context.recent.openedName.isEmpty());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::YesNo);

    prompter.answerFile(path("keep"), 1);
    prompter.answer(BoxAnswer::Yes);
    commands.saveParameterFileAs();
    EXPECT_TRUE(readFile("keep.kvr").startsWith("###"));
}

TEST_F(FileCommandsTest, FailedSaveChangesNothingOfTheOpenedFile) {
    writeFile("x.kvr", kvr("QX100", {"0000,9"}));
    open("x.kvr");
    const QString caption = main.caption;
    const QByteArray before = readFile("x.kvr");
    writeFile("plain", "a file where a folder should be");
    prompter.answerFile(path("plain/new.kvr"), 1);
    commands.saveParameterFileAs();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "M113\n" + path("plain/new.kvr")); // could not be written
    EXPECT_EQ(main.caption, caption);
    EXPECT_EQ(context.recent.openedName, "x.kvr");
    EXPECT_TRUE(main.save);
    EXPECT_EQ(readFile("x.kvr"), before);
    // A full disk or quota is named as such.
    for (int code : {ENOSPC, EDQUOT})
        EXPECT_EQ(ParaFile::writeFailureNotice(context, "f.kvr", code).text, "M112\nf.kvr");
}

TEST_F(FileCommandsTest, SaveOfAConfigurationFileAlwaysAsksForTheName) {
    context.drive.files.infoIniPath = path("Info.ini");
    writeFile("Info.ini", "[Setup]\nMLD_flt=1\n");
    commands.updateFilters();
    context.recent.openedName = "a.cfg";
    context.recent.openedFolder = dir.path();
    main.save = true;

    prompter.answerFile(QString());
    commands.saveParameterFile();
    EXPECT_FALSE(QFile::exists(path("a.cfg")));

    prompter.answerFile(path("b.kvr"));
    commands.saveParameterFile();
    EXPECT_TRUE(readFile("b.kvr").startsWith("###"));
    EXPECT_EQ(context.recent.openedName, "b.kvr");
    const auto& d = prompter.fileDialogRecords();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].filterIndex, 3);
    EXPECT_EQ(d[0].fileName, "a.cfg");
}

TEST_F(FileCommandsTest, ConfigurationFileRoundTripThroughTheCommands) {
    context.paths.catalogueIni = path("Inverter.ini");
    writeFile("Inverter.ini", "[Type_Ident_65]\nIdent=0099\nTyp_1=QX100\n[QX100]\n-4037=6\n");
    context.drive.identity.cpuVersion = "V105";
    commands.setCfgNames(CfgFile::catalogueNames(context));
    setValue("0001", "700");
    prompter.answerFile(path("set.cfg"), 1);
    commands.saveParameterFileAs();
    EXPECT_EQ(context.recent.openedName, "set.cfg");

    setValue("0001", "1");
    open("set.cfg");
    EXPECT_EQ(value("0001"), "700");
    EXPECT_EQ(commands.CFG_CNum, (QStringList{"0000", "0001"}));
    EXPECT_EQ(main.caption, "KVR260X QX100-4037 (CPU Ver.V105) M1set.cfg (QX100-4037)");
    EXPECT_TRUE(prompter.boxes().empty());
}

// ---- Code page ------------------------------------------------------------------------

// Files travel in the code page of the language. A comment read and not edited goes back
// with the bytes it came with, in either language; what a Japanese input method types for a
// look-alike the page holds is written as Windows writes it; a typed character the page
// lacks is named before anything is written, and a No writes nothing.
TEST_F(FileCommandsTest, TextsTravelInTheCodePageAndForeignCommentsKeepTheirBytes) {
    const QString savedPage = TextFile::legacyCodePage();
    const QByteArray shiftJis("\x83\x65\x83\x58\x83\x67\x90\xdd\x92\xe8"); // "テスト設定"
    const QString japanese = QString::fromUtf8("テスト設定");
    const struct {
        const char* page;
        QByteArray inFile;  // the comment line of the file opened
        QString typed;      // the comment box after opening (null: as read)
        const char* saveAs; // a ".csv" saves the table
        QStringList rowCells;
        bool yesToUnwritable;
        QByteArray written; // the comment line, or the table's one row
        QString unwritable;
    } cases[] = {
        {"CP1252", shiftJis, {}, "a.kvr", {}, true, shiftJis, {}},
        {"CP932", shiftJis, {}, "a.kvr", {}, true, shiftJis, {}},
        {"CP932", "caf\xE9 \x80", {}, "a.kvr", {}, true, "caf\xE9 \x80", {}},
        {"CP932", japanese.toUtf8(), {}, "a.kvr", {}, true, japanese.toUtf8(), {}}, // read as CP932
        {"CP932", "\xEF\xBB\xBF", japanese, "a.kvr", {}, true, shiftJis, {}},
        {"CP932",
         "x",
         QString::fromUtf8("10〜20 −5"),
         "a.kvr",
         {},
         false,
         "10\x81\x60"
         "20 \x81\x7C"
         "5",
         {}},
        {"CP1252",
         "x",
         QString::fromUtf8("Größe"),
         "a.kvr",
         {},
         true,
         "Gr\xF6\xDF"
         "e",
         {}},
        {"CP1252", "x", QString::fromUtf8("é設定"), "a.kvr", {}, true, "\xE9??", QString::fromUtf8("設定")},
        {"CP1252", "x", QString::fromUtf8("設"), "a.kvr", {}, false, {}, QString::fromUtf8("設")},
        {"CP932",
         "x",
         {},
         "t.csv",
         {"F00", "0000", QString::fromUtf8("周波数"), "60"},
         true,
         "F00,0000,\x8e\xfc\x94\x67\x90\x94,60",
         {}},
        {"CP1252",
         "x",
         {},
         "t.csv",
         {"F00", "0000", QString::fromUtf8("Fréquence"), "60"},
         true,
         "F00,0000,Fr\xE9quence,60",
         {}},
    };
    for (const auto& c : cases) {
        TextFile::setLegacyCodePage(c.page);
        main.events.clear();
        main.acceptUnwritable = c.yesToUnwritable;
        writeFile("in.kvr", kvr("QX100", {"0000,9"}, "@").replace("@", c.inFile));
        QFile::remove(path(c.saveAs));
        open("in.kvr");
        if (!c.typed.isNull())
            main.comment = c.typed;
        main.rows = {c.rowCells};
        prompter.answerFile(path(c.saveAs), 1);
        commands.saveParameterFileAs();
        const QList<QByteArray> lines = readFile(c.saveAs).split('\n');
        const QByteArray got = QString(c.saveAs).endsWith(".csv") ? lines.value(0) : lines.value(5);
        EXPECT_EQ(got.trimmed().toHex(' '), c.written.toHex(' ')) << c.page << " " << c.inFile.toHex().data();
        EXPECT_EQ(main.events.filter("unwritable"),
                  c.unwritable.isEmpty() ? QStringList() : QStringList{"unwritable " + c.unwritable});
    }
    TextFile::setLegacyCodePage(savedPage);
}

// A Japanese comment with a code CP932 holds twice (87 90), an IBM extension read from its
// NEC-selected code (EE EF), a pair without a character (85 40) and half-width katakana whose
// bytes are valid UTF-8 (C3 A9 C3 A8): shown as Windows shows them, nothing invisible among
// them, saved byte for byte until edited, then as Windows writes what is shown.
TEST_F(FileCommandsTest, AJapaneseCommentShowsAsOnWindowsAndIsSavedByteForByte) {
    const QString savedPage = TextFile::legacyCodePage();
    TextFile::setLegacyCodePage("CP932");
    const QByteArray comment("\x87\x90\xEE\xEF \xC3\xA9\xC3\xA8 \x85\x40");
    writeFile("in.kvr", kvr("QX100", {"0000,9"}, "@").replace("@", comment));
    open("in.kvr");
    EXPECT_EQ(main.comment, QString::fromUtf8("≒ⅰ ﾃｩﾃｨ ・"));
    prompter.answerFile(path("out.kvr"), 1);
    commands.saveParameterFileAs();
    EXPECT_EQ(readFile("out.kvr").split('\n').value(5).trimmed().toHex(' '), comment.toHex(' '));
    main.comment += "!";
    commands.saveParameterFile();
    EXPECT_EQ(readFile("out.kvr").split('\n').value(5).trimmed().toHex(' '),
              QByteArray("\x81\xE0\xFA\x40 \xC3\xA9\xC3\xA8 \x81\x45!").toHex(' '));
    EXPECT_TRUE(main.events.filter("unwritable").isEmpty());
    TextFile::setLegacyCodePage(savedPage);
}

// Opened and saved unedited, a file keeps every byte, whatever its comment happens to be
// valid UTF-8 or holds codes the page reads alike.
TEST_F(FileCommandsTest, AnUneditedOpenAndSaveLeavesTheFileAsItWas) {
    const QString savedPage = TextFile::legacyCodePage();
    const struct {
        const char* page;
        QByteArray comment;
    } cases[] = {
        {"CP1252", "\xC3\xA9 \xC2\xB0"}, // "Ã© Â°"
        {"CP932", "\xE3\x82\xA2"},       // 繧｢
        {"CP932", "\x87\x90\xEE\xEF\x85\x40\x80\xA0\xFD \x82"},
    };
    for (const auto& c : cases) {
        TextFile::setLegacyCodePage(c.page);
        const QByteArray file = kvr("QX100", {"0000,9,0,0", "0001,600,0,0"}, "@").replace("@", c.comment);
        writeFile("same.kvr", file);
        open("same.kvr");
        commands.saveParameterFile();
        EXPECT_EQ(readFile("same.kvr").toHex(' '), file.toHex(' ')) << c.page;
    }
    EXPECT_TRUE(main.events.filter("unwritable").isEmpty());
    TextFile::setLegacyCodePage(savedPage);
}

// ---- Damaged files --------------------------------------------------------------------

struct DamagedFileCase {
    const char* name;
    std::function<QByteArray(const QByteArray& good)> damage;
    QString box; // the message heading the refusal
};

class FileCommandsDamagedTest : public FileCommandsTest,
                                public ::testing::WithParamInterface<DamagedFileCase> {};

// Power loss leaves a tail of zero bytes; a stray editor, a megabyte of letters. Either is
// refused at the file's read with a short box, before a value of it reaches the table.
TEST_P(FileCommandsDamagedTest, RefusedWithAShortBoxAndTheTableAsItWas) {
    const DamagedFileCase& c = GetParam();
    writeFile("x.kvr", c.damage(kvr("QX100", {"0000,9", "0001,601"})));
    context.recent.openedName = "prev.kvr";
    open("x.kvr");
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, c.box + "\n" + path("x.kvr"));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(value("0000"), "3");
    EXPECT_EQ(value("0001"), "600");
    EXPECT_EQ(context.recent.openedName, "prev.kvr");
    EXPECT_TRUE(main.events.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileCommandsDamagedTest,
    ::testing::Values(
        DamagedFileCase{
            "MegabyteOfLettersAsAValue",
            [](const QByteArray& good) { return good + "0002," + QByteArray(1 << 20, 'x') + "\r\n"; }, "M95"},
        DamagedFileCase{"MegabyteTailOfZeroBytes",
                        [](const QByteArray& good) { return good + QByteArray(1 << 20, '\0'); }, "M95"},
        DamagedFileCase{"ValueCutByZeroBytes",
                        [](const QByteArray& good) { return good.chopped(2) + QByteArray(1 << 20, '\0'); },
                        "M95"},
        DamagedFileCase{"LargerThanAnyParameterSet",
                        [](const QByteArray& good) {
                            QByteArray big = good;
                            while (big.size() <= ParameterFileChecks::kMaxFileBytes)
                                big += "0002,1\r\n";
                            return big;
                        },
                        "M94"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileCommandsTest, ABadValueTooLongForABoxIsQuotedCutShort) {
    writeFile("x.kvr", kvr("QX100", {"0000,9", "0001," + QString(5000, 'x')}));
    open("x.kvr");
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "'" + QString(BoxText::kQuotedLength - 1, 'x') +
                                            QString::fromUtf8("…") +
                                            "' is not a valid floating point value.");
    EXPECT_EQ(value("0000"), "3"); // nothing of a file stopped part-way is taken
}

TEST_F(FileCommandsTest, ValuesOutsideTheirLimitsAreListedAndMarkedAfterLoading) {
    setParams(
        {{"0000", "3", "0", "0", "400"}, {"0001", "600", "0", "0", "1000"}, {"0002", "0", "0", "0", "9"}});
    writeFile("x.kvr", kvr("QX100", {"0000,401", "0001,700", "0002,-1"}));
    open("x.kvr");
    EXPECT_EQ(prompter.texts(), QStringList{"M97\n0000 : 401  (0 .. 400)\n0002 : -1  (0 .. 9)"});
    EXPECT_EQ(cell("0000", UP_ChangeIndex), "1");
    EXPECT_EQ(cell("0002", UP_ChangeIndex), "1");
    EXPECT_EQ(value("0000"), "401"); // shown as read, for the user to decide
    EXPECT_EQ(context.recent.openedName, "x.kvr");
    EXPECT_EQ(main.events, (QStringList{"refresh", "focus"}));
}

class FileCommandsCfgTest : public FileCommandsTest {
protected:
    void SetUp() override {
        FileCommandsTest::SetUp();
        context.paths.catalogueIni = path("Inverter.ini");
        writeFile("Inverter.ini", "[Type_Ident_65]\nIdent=0099\nTyp_1=QX100\n[QX100]\n-4037=6\n");
        context.drive.identity.cpuVersion = "V105";
        commands.setCfgNames(CfgFile::catalogueNames(context));
        setParams({{"0000", "3", "0", "0", "400"}, {"0001", "600", "0", "0", "1000"}});
        setValue("0000", "7");
        setValue("0001", "700");
        EXPECT_TRUE(CfgFile::WriteConfigurationXml(context, path("set.cfg"), prompter));
        good = readFile("set.cfg");
        ParaFile::resetValuesToDefaults(context);
        context.recent.openedName = "prev.kvr";
    }
    // The file with one byte of a record's value changed: "0001" = 0x2bc (700) becomes 0x1bc (444).
    QByteArray flipped() const {
        QByteArray bytes = good;
        const qsizetype at = bytes.indexOf("000102bc");
        EXPECT_GE(at, 0);
        bytes[at + 5] = '1';
        return bytes;
    }
    QByteArray good;
};

TEST_F(FileCommandsCfgTest, ChecksumMismatchAsksNamingTheFileAndNoLeavesTheTable) {
    writeFile("bad.cfg", flipped());
    const QString caption = main.caption;
    prompter.answer(BoxAnswer::No);
    open("bad.cfg");
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "M96\n" + path("bad.cfg"));
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::YesNoDefaultNo);
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(values(), (QStringList{"3", "600"}));
    EXPECT_EQ(context.recent.openedName, "prev.kvr");
    EXPECT_EQ(main.caption, caption);
    EXPECT_TRUE(main.events.isEmpty());

    prompter.answer(BoxAnswer::Yes);
    open("bad.cfg");
    EXPECT_EQ(values(), (QStringList{"7", "444"}));
    EXPECT_EQ(context.recent.openedName, "bad.cfg");
}

TEST_F(FileCommandsCfgTest, FileCutShortAsksAndAnIntactOneDoesNot) {
    writeFile("cut.cfg", good.left(good.indexOf("</ConfigurationSlot>")));
    prompter.answer(BoxAnswer::No);
    open("cut.cfg");
    EXPECT_EQ(prompter.texts(), QStringList{"M96\n" + path("cut.cfg")});
    EXPECT_EQ(values(), (QStringList{"3", "600"}));

    prompter.clear();
    open("set.cfg");
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(values(), (QStringList{"7", "700"}));
}

// The device identifier is copied as the drive type's Info.ini holds it, in UTF-8 or in the
// Japanese code page, and the file opens again without a checksum question.
TEST_F(FileCommandsCfgTest, TheDeviceIdentifierIsCopiedAsInfoIniHoldsIt) {
    const QString savedPage = TextFile::legacyCodePage();
    TextFile::setLegacyCodePage("CP932");
    context.drive.files.infoIniPath = path("Info.ini");
    for (const QByteArray id : {"\xE8\xA9\xA6\xE9\xA8\x93-1", "\x8E\x8E\x8C\xB1-1"}) { // "試験-1"
        writeFile("Info.ini", "[Setup]\r\nMLD_ID=" + id + " \r\n");
        setValue("0001", "700");
        ASSERT_TRUE(CfgFile::WriteConfigurationXml(context, path("id.cfg"), prompter));
        EXPECT_TRUE(readFile("id.cfg").contains("\n<Device DeviceSlot=\"0\" DeviceID=\"" + id + "\">\n"))
            << id.toHex(' ').toStdString();
        ParaFile::resetValuesToDefaults(context);
        prompter.clear();
        open("id.cfg");
        EXPECT_TRUE(prompter.boxes().empty()) << id.toHex(' ').toStdString();
        EXPECT_EQ(value("0001"), "700");
    }
    TextFile::setLegacyCodePage(savedPage);
}

TEST_F(FileCommandsCfgTest, ValuesOutsideTheirLimitsAreListedAndMarked) {
    QByteArray bytes = good;
    bytes.replace("000102bc", "000107d0"); // 2000, above 1000
    writeFile("high.cfg", bytes);
    prompter.answer(BoxAnswer::Yes); // the changed record breaks the checksum
    open("high.cfg");
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[1].text, "M97\n0001 : 2000  (0 .. 1000)");
    EXPECT_EQ(cell("0001", UP_ChangeIndex), "1");
    EXPECT_EQ(value("0001"), "2000");
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
        context.paths.settingsIni = path("KVR260X.ini");
        main.startup = [this] {
            context.drive.identity.typeName = "QX300";
            context.drive.identity.formName = "-4037";
            context.drive.identity.cpuVersion = "V110";
            context.language.suffix = "Eng";
            context.drive.files.typeFolder = context.drive.files.capacityFolder = generated.typeFolder;
            context.drive.files.infoIniPath = generated.infoIniPath;
        };
        context.tableView.blindOn = true;
        context.tableView.blindCount = 3;
        commands.CommentsChk = true;
        commands.CommentsBuff = "from the start";
        main.save = true;
        options.newSetEndsMaintenance.setChecked(false);
    }
    DriveTypeGenerator::Result generated;
};

TEST_F(NewParaSetTest, NewLoadsTheDriveTypeAndResetsTheFileState) {
    {
        IniFile info(generated.infoIniPath);
        info.writeBool("Setup", "MLD_flt", true);
        ASSERT_TRUE(info.flush());
    }
    options.startWithLastDrive.setChecked(false);
    commands.newParameterSet();
    EXPECT_EQ(main.caption, "KVR260X QX300-4037 (CPU Ver.V110)");
    EXPECT_FALSE(main.save);
    EXPECT_FALSE(context.tableView.blindOn);
    EXPECT_EQ(context.tableView.blindCount, 0);
    EXPECT_FALSE(commands.CommentsChk);
    EXPECT_TRUE(commands.CommentsBuff.isEmpty());
    EXPECT_EQ(context.drive.lastIndex(), 119);
    EXPECT_EQ(context.tableView.lastIndex, context.drive.normalLastIndex);
    EXPECT_EQ(main.events,
              (QStringList{"port", "startup", "comms", "drvchk", "refresh", "monitor", "table", "quick"}));
    EXPECT_EQ(commands.openFilter().split('|').size(), 6);
    EXPECT_EQ(commands.saveFilter().split('|').value(5), "*.cfg");
    options.startWithLastDrive.setChecked(true);
}

TEST_F(NewParaSetTest, MaintenanceStaysUnlockedUnlessReleasedAtNew) {
    store->enterMaintenance(false);
    commands.newParameterSet();
    EXPECT_EQ(context.tableView.lastIndex, context.drive.lastIndex());
    EXPECT_TRUE(store->maintenance());

    options.newSetEndsMaintenance.setChecked(true);
    options.setMastersTabVisible(true);
    commands.newParameterSet();
    EXPECT_FALSE(store->maintenance());
    EXPECT_FALSE(options.mastersTabVisible());
    EXPECT_FALSE(options.showBufferTable.checked());
    EXPECT_EQ(context.tableView.lastIndex, context.drive.normalLastIndex);
    options.newSetEndsMaintenance.setChecked(false);
}

TEST_F(NewParaSetTest, AMissingTypeFileIsAskedForWithTheLanguagesTitleAndFilter) {
    main.chooser = {"Öffnen", "Typ (*.inv)|*.inv|Kapazität (*.cap)|*.cap"};
    ASSERT_TRUE(QFile::remove(generated.typeFolder + "/QX300(Eng).inv"));
    prompter.answerFile(QString()); // cancelled: the program ends
    commands.newParameterSet();
    ASSERT_EQ(prompter.fileDialogRecords().size(), 1u);
    EXPECT_EQ(prompter.fileDialogRecords()[0].title, main.chooser.title);
    EXPECT_EQ(prompter.fileDialogRecords()[0].filter, main.chooser.filter);
}

TEST_F(NewParaSetTest, AbortedStartUpFormEndsTheProgramWithoutLoadersAndKeepsTheFolders) {
    main.startup = [this] { context.startupAborted = true; };
    context.recent.openFolder = "/data/sets";
    commands.newParameterSet();
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
        const DriveTypeGenerator::Result& r = type == "QX300" ? generated : second;
        context.drive.identity.typeName = type;
        context.drive.identity.formName = "-4037";
        context.drive.identity.cpuVersion = "V110";
        context.drive.identity.typeCode = type == "QX300" ? "90" : "91";
        context.drive.identity.formCode = "13";
        context.drive.identity.cpuNumber = "110";
        context.language.suffix = "Eng";
        context.drive.files.typeFolder = context.drive.files.capacityFolder = r.typeFolder;
        context.drive.files.infoIniPath = r.infoIniPath;
    };
    context.paths.catalogueIni = path("dat/Inverter.ini");
    commands.newParameterSet();
    ASSERT_EQ(context.drive.lastIndex(), 119);
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
    commands.saveParameterFileAs();
    setValue(number, "43");
    open("pump.kvr");
    EXPECT_EQ(value(number), "42");
    EXPECT_EQ(main.caption, "KVR260X QX300-4037 (CPU Ver.V110) M1pump.kvr (QX300-4037)");

    prompter.answerFile(path("pump-table"), 2);
    commands.saveParameterFileAs();
    EXPECT_TRUE(QFile::exists(path("pump-table.csv")));
    EXPECT_EQ(context.recent.openedName, "pump.kvr");

    prompter.answerFile(path("pump"), 3);
    commands.saveParameterFileAs();
    EXPECT_EQ(context.recent.openedName, "pump.cfg");
    setValue(number, "43");
    open("pump.cfg");
    EXPECT_EQ(value(number), "42");
    EXPECT_EQ(main.caption, "KVR260X QX300-4037 (CPU Ver.V110) M1pump.cfg (QX300-4037)");
    EXPECT_TRUE(main.save);

    type = "QX400";
    commands.newParameterSet();
    EXPECT_EQ(context.drive.lastIndex(), 79);
    EXPECT_EQ(main.caption, "KVR260X QX400-4037 (CPU Ver.V110)");
    EXPECT_FALSE(main.save);
    for (const auto& box : prompter.boxes())
        EXPECT_NE(box.icon, BoxIcon::Error) << box.text.toStdString();
}

} // namespace
