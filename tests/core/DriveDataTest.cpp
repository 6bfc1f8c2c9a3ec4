#include "core/DriveData.h"
#include "core/StoreCells.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "support/ScriptedPrompter.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

const QByteArray kTypeFile = "0000,0,3,Mode,A00,,2,0,0,3,0,0,,,,0\r\n"
                             "0001,0,500,Base,A01,Hz,2,0,0,4000,0,300,#.#,10,,0,1\r\n"
                             "A000,0,0,Memo,B00,,2,0,0,9,0,0,#,1,RAM,1\r\n"
                             "0002,1,0001,Max,A02,Hz,2,0,1,0001,-1,0001,#.#,10,-,0\r\n"
                             "F000,0,7,Mnt,Z00,,2,0,0,99,0,0,#,1,-,0\r\n";

class DriveDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        program.setMessages("msg", 110);
        context.drive.files.typeFolder = tmp.filePath("QX100");
        context.drive.files.capacityFolder = context.drive.files.typeFolder;
        context.drive.files.infoIniPath = context.drive.files.typeFolder + "/Info.ini";
        context.paths.catalogueIni = tmp.filePath("Inverter.ini");
        context.drive.identity.typeName = "QX100";
        context.drive.identity.formName = "-4075";
        context.language.suffix = "Eng";
        writeFile(context.paths.catalogueIni,
                  "[Type]\nQX100=11\nQX200=12\n[QX100]\n-4075=3\n[QX200]\n-4037=5\n");
        info("[Setup]\nDisp=0*\n[Disp CV]\n0001=C\n");
        typeFile(kTypeFile);
        capFile("0001,600\n");
    }
    QString typeFolder() const { return context.drive.files.typeFolder; }
    void info(const QByteArray& text) { writeFile(typeFolder() + "/Info.ini", text); }
    void typeFile(const QByteArray& text) { writeFile(typeFolder() + "/QX100(Eng).inv", text); }
    void capFile(const QByteArray& text) { writeFile(typeFolder() + "/QX100-4075.cap", text); }
    const ParameterDefinition& definition(const char* comNo) const {
        return context.drive.parameters.at(std::size_t(context.drive.indexOfComNo(comNo)));
    }
    QString cell(int col, const char* comNo) const { return definitionText(definition(comNo), col); }
    QStringList row(int index) const {
        QStringList cells;
        for (int c = 0; c < PD_ColCount; ++c)
            cells << definitionText(context.drive.parameters.at(std::size_t(index)), c);
        return cells;
    }
    QString value(int col, const char* comNo) const {
        return StoreCells::work(context, col, context.drive.indexOfComNo(comNo));
    }
    bool loadAll() {
        return LoadTypeTable(context, prompter) && LoadCapacityTable(context, prompter) &&
               InitValueTable(context, prompter);
    }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    TestProgram program;
    ProgramContext& context = program.context;
    ParameterStore& store = program.store;
};

} // namespace

TEST(SplitCsvLine, QuotesGroupFieldsAndBlanksStay) {
    const struct {
        const char* line;
        QStringList plain;
        QStringList driveData;
    } cases[] = {
        {"\"a\"\"b\"", {"a\"b"}, {"a'b"}},
        {"x, y", {"x", " y"}, {"x", " y"}},
        {"", {""}, {""}},
        {"a,\"b,c\",d", {"a", "b,c", "d"}, {"a", "b,c", "d"}},
        {"\"\"", {"\""}, {"'"}},
        {"a, \"b\"\"c\" ,d", {"a", " b\"c ", "d"}, {"a", " b'c ", "d"}},
        {"a,,", {"a", "", ""}, {"a", "", ""}},
        {"\"open,end", {"open,end"}, {"open,end"}},
    };
    for (const auto& c : cases) {
        QStringList fields{"stale"};
        SplitCsvLine(QString::fromUtf8(c.line), fields);
        EXPECT_EQ(fields, c.plain) << c.line;
        SplitDriveDataLine(QString::fromUtf8(c.line), fields);
        EXPECT_EQ(fields, c.driveData) << c.line;
    }
}

TEST(SplitCsvLine, MultiByteCharactersStayWhole) {
    QStringList fields;
    SplitCsvLine(QString::fromUtf8("周波数,\xF0\x9F\x98\x80x,表示"), fields);
    EXPECT_EQ(fields, QStringList({QString::fromUtf8("周波数"), QString::fromUtf8("\xF0\x9F\x98\x80x"),
                                   QString::fromUtf8("表示")}));
}

TEST_F(DriveDataTest, TypeFileFillsTheDefinitionTable) {
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    EXPECT_EQ(context.drive.lastIndex(), 4);
    EXPECT_EQ(context.drive.normalLastIndex, 3);
    EXPECT_EQ(context.drive.comNoList(), "0000,0001,A000,0002,F000,");
    EXPECT_EQ(row(0), QStringList({"0000", "0", "3", "Mode", "A00", "", "2", "0", "0", "3", "0", "0", "#",
                                   "1", "-", "0", "0", "", "0"}));
    EXPECT_EQ(cell(PD_Quick, "0001"), "1");
    EXPECT_EQ(cell(PD_Mul, "0001"), "10");
    EXPECT_EQ(cell(PD_Memory, "A000"), "RAM");
    EXPECT_EQ(cell(PD_No, "F000"), "4");
    EXPECT_EQ(context.drive.files.typeFile, typeFolder() + "/QX100(Eng).inv");
    EXPECT_TRUE(prompter.boxes().empty());

    info("[Setup]\nDisp=F0\n");
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    EXPECT_EQ(context.drive.normalLastIndex, 4) << "numbers beginning with the Disp prefix are ordinary too";
}

TEST_F(DriveDataTest, ShortLineEndsTheTable) {
    typeFile("0000,0,3,Mode,A00,,2,0,0,3,0,0,,,,0\n"
             "0001,0,500,Base,A01,Hz,2,0,0,4000,0,300,#.#,10,,0,1\n"
             "\n"
             "A000,0,0,Memo,B00,,2,0,0,9,0,0,#,1,RAM,1\n");
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    EXPECT_EQ(context.drive.lastIndex(), 1);
    EXPECT_EQ(context.drive.comNoList(), "0000,0001,");
    EXPECT_EQ(context.drive.indexOfComNo("A000"), -1);
}

TEST_F(DriveDataTest, ReloadingLeavesNothingOfThePreviousDriveType) {
    ASSERT_TRUE(loadAll());
    setDefinitionText(context.drive.parameters[std::size_t(1)], PD_Flag, "2");
    // Another drive type: fewer parameters, none ordinary.
    typeFile("F100,0,1,Other,X00,,2,0,0,9,0,0,#.##,100,,1\n"
             "F101,0,2,Other2,X01,,4,0,0,9,0,0,,,,0\n");
    capFile("F101,9\n");
    info("[Setup]\nDisp=0*\n");
    ASSERT_TRUE(loadAll());
    EXPECT_EQ(context.drive.lastIndex(), 1);
    EXPECT_EQ(context.drive.normalLastIndex, 0);
    EXPECT_EQ(store.workingGrid().rowCount(), 3);
    EXPECT_EQ(row(0), QStringList({"F100", "0", "1", "Other", "X00", "", "2", "0", "0", "9", "0", "0", "#.##",
                                   "100", "-", "1", "0", "", "0"}));
    EXPECT_EQ(cell(PD_Default, "F101"), "9");
    EXPECT_TRUE(definition("F101").wide());
    EXPECT_FALSE(definition("F100").wide());
    EXPECT_EQ(context.drive.indexOfComNo("0001"), -1);
    EXPECT_EQ(context.drive.capacityNumbers, QStringList({"F101"}));
    EXPECT_TRUE(context.drive.currentVoltNumbers.isEmpty());
    EXPECT_EQ(cell(PD_CurrentVoltIndex, "F100"), "");
}

TEST_F(DriveDataTest, CapacityAndWorkingValues) {
    ASSERT_TRUE(loadAll());
    EXPECT_EQ(cell(PD_Default, "0001"), "600");
    EXPECT_EQ(context.drive.capacityNumbers, QStringList({"0001"}));
    EXPECT_TRUE(context.drive.capacityFollowers.isEmpty());
    EXPECT_EQ(context.drive.currentVoltNumbers, QStringList({"0001"}));
    EXPECT_EQ(cell(PD_CurrentVoltIndex, "0001"), "C");
    EXPECT_EQ(cell(PD_CurrentVoltIndex, "0002"), "");
    EXPECT_EQ(store.workingGrid().row(0), uParaColumnNames());
    EXPECT_EQ(store.workingGrid().row(4),
              QStringList({"600", "600", "-600", "0", "0", "0", "0", "0", "0", "0", "3"}));
    EXPECT_EQ(value(UP_Value, "0000"), "3");
    EXPECT_EQ(value(UP_HValue, "0000"), "3");
    EXPECT_EQ(value(UP_LValue, "0000"), "0");
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(DriveDataTest, CapacityFileListsDependentChainsAndIgnoresStrangeLines) {
    capFile("0002,1\n"
            "nocomma\n"
            "9999,5\n"
            "0001,x,700\n"
            "\n"
            "0000,1\n");
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    ASSERT_TRUE(LoadCapacityTable(context, prompter));
    EXPECT_EQ(context.drive.capacityNumbers, QStringList({"0002", "9999", "0001"}));
    EXPECT_EQ(context.drive.capacityFollowers, QStringList({"0002"}));
    EXPECT_EQ(cell(PD_Default, "0001"), "700") << "the last field is the value";
    EXPECT_EQ(cell(PD_Default, "0000"), "3") << "reading stops at the empty line";
}

TEST_F(DriveDataTest, LowLimitUnderMinusOneIsTheNegatedNumber) {
    typeFile("0000,0,-5,Neg,A00,,2,0,0,9,0,0,,,,0\n"
             "0001,0,0,Zero,A01,,2,0,0,9,0,0,,,,0\n"
             "0002,0,1,Ref,A02,,2,0,0,9,-1,0000,,,,0\n"
             "0003,0,1,Ref,A03,,2,0,0,9,-1,0001,,,,0\n"
             "0004,0,1,Ref,A04,,2,0,0,9,1,0000,,,,0\n");
    capFile("0000,-5\n");
    ASSERT_TRUE(loadAll());
    EXPECT_EQ(value(UP_LValue, "0002"), "5");
    EXPECT_EQ(value(UP_LValue, "0003"), "0");
    EXPECT_EQ(value(UP_LValue, "0004"), "-5");
}

TEST_F(DriveDataTest, BadDefaultModesEndAsErrorOrAsAFailedLoad) {
    typeFile("0000,1,0001,Loop,A00,,2,0,0,9,0,0,,,,0\n"
             "0001,1,0000,Loop,A01,,2,0,0,9,0,0,,,,0\n"
             "0002,2,5,Bad,A02,,2,0,0,9,0,0,,,,0\n");
    capFile("0002,5\n");
    ASSERT_TRUE(loadAll());
    EXPECT_EQ(value(UP_Value, "0000"), "Error.");
    EXPECT_EQ(value(UP_Value, "0002"), "Error.");
    EXPECT_EQ(prompter.texts(), QStringList({"msg32", "msg32", "msg32"}));

    prompter.clear();
    typeFile("0000,0,1,Fine,A00,,2,0,0,9,0,0,,,,0\n"
             "0001,x,1,Bad,A01,,2,0,0,9,0,0,,,,0\n");
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    ASSERT_TRUE(LoadCapacityTable(context, prompter));
    EXPECT_FALSE(InitValueTable(context, prompter));
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "msg67");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_FALSE(context.startupAborted) << "the caller shows the start-up form again";
}

TEST_F(DriveDataTest, MissingTypeFileOffersTheChooserAndCancelEndsTheStart) {
    QFile::remove(typeFolder() + "/QX100(Eng).inv");
    prompter.answerFile("");
    EXPECT_FALSE(LoadTypeTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg6", "msg85"}));
    EXPECT_EQ(prompter.fileFilters().size(), 1);
    EXPECT_TRUE(context.startupAborted);
    EXPECT_EQ(context.drive.lastIndex(), -1);
    EXPECT_FALSE(LoadCapacityTable(context, prompter)) << "later loaders do nothing";
    EXPECT_FALSE(InitValueTable(context, prompter));
}

TEST_F(DriveDataTest, TypeFileChosenByHandSetsTheDriveIdentity) {
    QFile::remove(typeFolder() + "/QX100(Eng).inv");
    const QString other = tmp.filePath("QX200");
    writeFile(other + "/QX200(Eng).inv", kTypeFile);
    writeFile(other + "/info.ini", "[Info]\nType=QX200\nCpu=V710\n[Setup]\nDisp=F0\n");
    prompter.answerFile(other + "/QX200(Eng).inv");
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg6"}));
    EXPECT_EQ(context.drive.files.typeFolder, other);
    EXPECT_EQ(context.drive.files.typeFile, "QX200(Eng).inv");
    EXPECT_EQ(context.drive.files.infoIniPath, other + "/Info.ini");
    EXPECT_EQ(context.drive.identity.typeName, "QX200");
    EXPECT_EQ(context.drive.identity.cpuVersion, "V710");
    EXPECT_EQ(context.drive.identity.cpuNumber, "710");
    EXPECT_EQ(context.drive.identity.typeCode, "12");
    EXPECT_EQ(context.drive.normalLastIndex, 4) << "Disp read again from the chosen folder";
}

TEST_F(DriveDataTest, UnusableFilesChosenByHandEndTheStart) {
    QFile::remove(typeFolder() + "/QX100(Eng).inv");
    writeFile(tmp.filePath("empty(Eng).inv"), "");
    prompter.answerFile(tmp.filePath("empty(Eng).inv"));
    EXPECT_FALSE(LoadTypeTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg6", "msg85"}));
    EXPECT_TRUE(context.startupAborted);
}

TEST_F(DriveDataTest, CapacityFileChosenByHandMustBelongToTheDriveType) {
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    QFile::remove(typeFolder() + "/QX100-4075.cap");
    writeFile(tmp.filePath("caps/QX200-4037.cap"), "0001,1\n");
    writeFile(tmp.filePath("caps/QX100-4075.cap"), "0001,650\n");
    context.drive.identity.formName = "-9999";

    prompter.answerFile(tmp.filePath("caps/QX200-4037.cap"));
    EXPECT_FALSE(LoadCapacityTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg7", "msg9"}));
    EXPECT_TRUE(context.startupAborted);

    context.startupAborted = false;
    prompter.clear();
    prompter.answerFile(tmp.filePath("caps/QX100-4075.cap"));
    ASSERT_TRUE(LoadCapacityTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg7"}));
    EXPECT_EQ(context.drive.identity.formName, "-4075");
    EXPECT_EQ(context.drive.files.capacityFile, "QX100-4075.cap");
    EXPECT_EQ(context.drive.files.capacityFolder, tmp.filePath("caps"));
    EXPECT_EQ(context.drive.identity.formCode, "3");
    EXPECT_EQ(cell(PD_Default, "0001"), "650");

    context.startupAborted = false;
    prompter.clear();
    QFile::remove(tmp.filePath("caps/QX100-4075.cap"));
    prompter.answerFile("");
    EXPECT_FALSE(LoadCapacityTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg7", "msg85"}));
}

TEST_F(DriveDataTest, BrokenTypeFilesAreRefusedWithoutAHalfTable) {
    const struct {
        const char* name;
        QByteArray text;
        QStringList boxes;
    } cases[] = {
        {"empty file", "", {"msg6", "msg85"}},
        {"only a short line", "0000\n", {"msg6", "msg85"}},
        {"truncated last line",
         kTypeFile + "0003,0,1,Cut,A0",
         {"msg67\nQX100(Eng).inv (6): 0003,0,1,Cut,A0"}},
        {"five-character number",
         "00000,0,3,Mode,A00,,2,0,0,3,0,0,,,,0\n",
         {"msg67\nQX100(Eng).inv (1): 00000,0,3,Mode,A00,,2,0,0,3,0,0,,,,0"}},
        {"comma inside a number",
         "\"0,00\",0,3,Mode,A00,,2,0,0,3,0,0,,,,0\n",
         {"msg67\nQX100(Eng).inv (1): \"0,00\",0,3,Mode,A00,,2,0,0,3,0,0,,,,0"}},
        {"binary garbage", QByteArray("\x00\x01\x02\xff\xfe,,,,,,,,,\n", 15), {}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(loadAll()) << c.name; // a good table first: nothing of it may survive
        context.startupAborted = false;
        prompter.clear();
        typeFile(c.text);
        prompter.answerFile("");
        EXPECT_FALSE(LoadTypeTable(context, prompter)) << c.name;
        if (!c.boxes.isEmpty()) {
            EXPECT_EQ(prompter.texts(), c.boxes) << c.name;
        }
        EXPECT_TRUE(context.startupAborted) << c.name;
        EXPECT_EQ(context.drive.lastIndex(), -1) << c.name;
        EXPECT_EQ(context.drive.comNoList(), "") << c.name;
        EXPECT_EQ(context.drive.indexOfComNo("0000"), -1) << c.name;
        context.startupAborted = false;
        typeFile(kTypeFile);
    }
}

TEST_F(DriveDataTest, MissingOrGarbledInfoFileLeavesTheBuiltInDefaults) {
    const struct {
        const char* name;
        QByteArray text;
    } cases[] = {
        {"empty file", ""},
        {"binary garbage", QByteArray("\x00\xff[Setup\x00]\nDisp\x01=\xfe\n[Disp CV\n0001=C", 32)},
        {"keys outside their sections", "Disp=F0\n0001=C\n[Other]\nDisp=F0\n"},
        {"values of the wrong kind", "[Setup]\nDisp=\n[Disp CV]\n9999=C\n0001\n=V\n"},
    };
    for (const auto& c : cases) {
        info(c.text);
        prompter.clear();
        ASSERT_TRUE(loadAll()) << c.name;
        EXPECT_EQ(context.drive.lastIndex(), 4) << c.name;
        EXPECT_EQ(context.drive.normalLastIndex, 3)
            << c.name << ": only numbers beginning with 0 are ordinary";
        EXPECT_EQ(cell(PD_CurrentVoltIndex, "0001"), "") << c.name;
        EXPECT_TRUE(prompter.boxes().empty()) << c.name;
    }
    QFile::remove(typeFolder() + "/Info.ini");
    ASSERT_TRUE(loadAll());
    EXPECT_EQ(context.drive.normalLastIndex, 3);
    EXPECT_TRUE(context.drive.currentVoltNumbers.isEmpty());
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(DriveDataTest, EmptyCapacityFileIsTreatedAsMissing) {
    capFile("");
    prompter.answerFile("");
    ASSERT_TRUE(LoadTypeTable(context, prompter));
    EXPECT_FALSE(LoadCapacityTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"msg7", "msg85"}));
}

TEST_F(DriveDataTest, AtMostTwoThousandParametersAreLoaded) {
    QByteArray text;
    for (int i = 0; i < 2100; ++i)
        text += QByteArray::number(i, 16).rightJustified(4, '0').toUpper() + ",0,1,P,T,,2,0,0,9,0,0,,,,0\n";
    typeFile(text);
    capFile("0000,1\n");
    ASSERT_TRUE(loadAll());
    EXPECT_EQ(context.drive.lastIndex(), 1999);
    EXPECT_EQ(context.drive.normalLastIndex, 1999);
    EXPECT_EQ(context.drive.indexOfComNo("07CF"), 1999);
    EXPECT_EQ(context.drive.indexOfComNo("07D0"), -1);
    EXPECT_EQ(store.workingGrid().rowCount(), 2001);
}

TEST_F(DriveDataTest, ShippedDriveTypesLoadInEveryLanguageAndCapacity) {
    const QString dat = shippedDataDir() + "/dat";
    QDirIterator it(dat, {"*.inv"}, QDir::Files, QDirIterator::Subdirectories);
    int loaded = 0;
    while (it.hasNext()) {
        const QFileInfo inv(it.next());
        const QString type = inv.fileName().section('(', 0, 0);
        const QString suffix = inv.fileName().section('(', 1).section(')', 0, 0);
        QDirIterator caps(inv.absolutePath(), {type + "-*.cap"}, QDir::Files);
        while (caps.hasNext()) {
            const QFileInfo cap(caps.next());
            ParameterStore shipped;
            shipped.setMessages(store.messages());
            ProgramContext context;
            context.store = &shipped;
            context.drive.files.typeFolder = inv.absolutePath();
            context.drive.files.capacityFolder = cap.absolutePath();
            context.drive.files.infoIniPath = inv.absolutePath() + "/Info.ini";
            context.drive.identity.typeName = type;
            context.drive.identity.formName = cap.completeBaseName().mid(type.size());
            context.language.suffix = suffix;
            prompter.clear();
            const QString what = inv.fileName() + " " + cap.fileName();
            EXPECT_TRUE(LoadTypeTable(context, prompter) && LoadCapacityTable(context, prompter) &&
                        InitValueTable(context, prompter))
                << qPrintable(what);
            EXPECT_GE(context.drive.lastIndex(), 0) << qPrintable(what);
            EXPECT_LE(context.drive.normalLastIndex, context.drive.lastIndex()) << qPrintable(what);
            EXPECT_EQ(prompter.texts(), QStringList()) << qPrintable(what);
            for (int i = 0; i <= context.drive.lastIndex(); ++i) {
                qint64 v = 0;
                EXPECT_TRUE(ValueRules::parseInteger(StoreCells::work(context, UP_Value, i), v))
                    << qPrintable(what) << " " << qPrintable(context.drive.parameters[std::size_t(i)].comNo);
            }
            ++loaded;
        }
    }
    if (loaded == 0)
        GTEST_SKIP() << "no drive types shipped yet";
}
