// The large drive type written for scale tests must itself be sound data that the loaders
// read like the shipped types.
#include "ShippedDataChecks.h"
#include "support/DriveTypeGenerator.h"
#include "support/TempProgramFolder.h"

#include "core/DriveData.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "platform/IniFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TestProgram.h"

#include <gtest/gtest.h>

TEST(DriveTypeGenerator, WritesTwoThousandSoundParametersBesideTheShippedTypes) {
    TempProgramFolder folder(true);
    DriveTypeGenerator::Result result;
    QString error;
    ASSERT_TRUE(DriveTypeGenerator::write(folder.path(), {}, &result, &error)) << error.toStdString();

    const QStringList problems = DataChecks::checkProgramFolder(folder.path());
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();

    QStringList readProblems;
    const auto eng = DataChecks::readTypeFile(result.englishTypeFile, readProblems);
    const auto jap = DataChecks::readTypeFile(result.japaneseTypeFile, readProblems);
    EXPECT_TRUE(readProblems.isEmpty());
    ASSERT_EQ(eng.size(), 2000u);
    EXPECT_EQ(jap.size(), 2000u);
    ASSERT_EQ(result.comNos.size(), 2000);
    EXPECT_EQ(result.comNos.first(), eng.front()[0]);
    EXPECT_EQ(result.comNos.last(), eng.back()[0]);

    // Ordinary parameters first, then only maintenance ones.
    ASSERT_GT(result.lastOrdinaryIndex, 1000);
    EXPECT_TRUE(result.comNos[result.lastOrdinaryIndex].startsWith(u'0'));
    for (int k = result.lastOrdinaryIndex + 1; k < result.comNos.size(); ++k)
        EXPECT_FALSE(result.comNos[k].startsWith(u'0')) << result.comNos[k].toStdString();

    const IniFile catalogue(folder.filePath(QStringLiteral("dat/Inverter.ini")));
    EXPECT_EQ(catalogue.readString(QStringLiteral("Type"), QStringLiteral("HXZ9")), QStringLiteral("90"));
    EXPECT_EQ(catalogue.readString(QStringLiteral("Type"), QStringLiteral("HXA1")), QStringLiteral("41"));
    EXPECT_EQ(catalogue.readString(QStringLiteral("HXZ9"), QStringLiteral("-4037")), QStringLiteral("13"));
}

TEST(DriveTypeGenerator, NewCpuVersionGoesIntoTheCustomSections) {
    TempProgramFolder folder(true);
    DriveTypeGenerator::Options o;
    o.typeName = QStringLiteral("HXY2");
    o.cpuVersion = QStringLiteral("V705");
    o.parameterCount = 100;
    o.typeCode = 77;
    ASSERT_TRUE(DriveTypeGenerator::write(folder.path(), o));
    const QStringList problems = DataChecks::checkProgramFolder(folder.path());
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
    const IniFile catalogue(folder.filePath(QStringLiteral("dat/Inverter.ini")));
    EXPECT_EQ(catalogue.readString(QStringLiteral("Type_Custom"), QStringLiteral("HXY2")),
              QStringLiteral("77"));
    EXPECT_EQ(catalogue.readString(QStringLiteral("HXY2(V705)"), QStringLiteral("-4037")),
              QStringLiteral("13"));
}

TEST(DriveTypeGenerator, RefusesOptionsThatMakeNoDriveType) {
    TempProgramFolder folder;
    struct Case {
        int count;
        const char* capacity;
        const char* cpu;
    };
    for (const Case c : {Case{10, "-4037", "V100"}, Case{2001, "-4037", "V100"}, Case{500, "4037", "V100"},
                         Case{500, "-4037", "100"}}) {
        DriveTypeGenerator::Options o;
        o.parameterCount = c.count;
        o.capacityName = QLatin1String(c.capacity);
        o.cpuVersion = QLatin1String(c.cpu);
        QString error;
        EXPECT_FALSE(DriveTypeGenerator::write(folder.path(), o, nullptr, &error))
            << c.count << c.capacity << c.cpu;
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(DriveTypeGenerator, TheProgramsLoadersReadAllTwoThousandParameters) {
    TempProgramFolder folder;
    DriveTypeGenerator::Result r;
    ASSERT_TRUE(DriveTypeGenerator::write(folder.path(), {}, &r));
    ScriptedPrompter prompter;
    TestProgram program;
    program.setMessages(QStringLiteral("msg"), 110);
    ProgramContext& context = program.context;
    context.drive.files.typeFolder = context.drive.files.capacityFolder = r.typeFolder;
    context.drive.files.infoIniPath = r.infoIniPath;
    context.drive.identity.typeName = QStringLiteral("HXZ9");
    context.drive.identity.formName = QStringLiteral("-4037");
    context.language.suffix = QStringLiteral("Jap");
    EXPECT_TRUE(LoadTypeTable(context, prompter));
    EXPECT_TRUE(LoadCapacityTable(context, prompter));
    EXPECT_TRUE(InitValueTable(context, prompter));
    EXPECT_EQ(prompter.texts(), QStringList());
    EXPECT_EQ(context.drive.lastIndex(), 1999);
    EXPECT_EQ(context.drive.normalLastIndex, r.lastOrdinaryIndex);
    EXPECT_EQ(context.drive.indexOfComNo(r.comNos.last()), 1999);
    EXPECT_EQ(StoreCells::work(context, UP_Value, context.drive.indexOfComNo(QStringLiteral("0012"))),
              QStringLiteral("880"));
}
