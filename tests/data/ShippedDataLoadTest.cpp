// Every shipped drive type, in both languages and with every capacity, through the program's
// own loaders: no box, and every working value inside its working limits.
#include "ShippedDataChecks.h"

#include "core/DriveData.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "platform/IniFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

struct Load {
    QString folder, type, cpu, capacity, suffix;
};

std::vector<Load> everyLoad() {
    std::vector<Load> loads;
    const QDir dat(shippedDataDir() + QStringLiteral("/dat"));
    for (const QString& d : dat.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const qsizetype open = d.lastIndexOf(QLatin1String("(V"));
        const QString type = d.left(open);
        const QString cpu = d.mid(open + 1).chopped(1);
        for (const QString& cap :
             QDir(dat.filePath(d)).entryList({QStringLiteral("*.cap")}, QDir::Files, QDir::Name))
            for (const QString& suffix : {QStringLiteral("Eng"), QStringLiteral("Jap")})
                loads.push_back({dat.filePath(d), type, cpu, cap.mid(type.size()).chopped(4), suffix});
    }
    return loads;
}

} // namespace

TEST(ShippedDataLoad, EveryTypeLanguageAndCapacityLoadsWithValuesWithinTheirLimits) {
    ScriptedPrompter prompter;
    const std::vector<Load> loads = everyLoad();
    ASSERT_FALSE(loads.empty());
    for (const Load& l : loads) {
        const std::string what = (l.type + u'(' + l.cpu + u')' + l.capacity + u' ' + l.suffix).toStdString();
        TestProgram program;
        program.setMessages(QStringLiteral("msg"), 110);
        ProgramContext& context = program.context;
        context.drive.files.typeFolder = context.drive.files.capacityFolder = l.folder;
        context.drive.files.infoIniPath = l.folder + QStringLiteral("/Info.ini");
        context.paths.catalogueIni = shippedDataDir() + QStringLiteral("/dat/Inverter.ini");
        context.drive.identity.typeName = l.type;
        context.drive.identity.formName = l.capacity;
        context.drive.identity.cpuVersion = l.cpu;
        context.language.suffix = l.suffix;
        prompter.clear();
        ASSERT_TRUE(LoadTypeTable(context, prompter)) << what;
        ASSERT_TRUE(LoadCapacityTable(context, prompter)) << what;
        ASSERT_TRUE(InitValueTable(context, prompter)) << what;
        EXPECT_EQ(prompter.texts(), QStringList()) << what;

        QStringList problems;
        const auto rows = DataChecks::readTypeFile(
            l.folder + u'/' + l.type + u'(' + l.suffix + QStringLiteral(").inv"), problems);
        ASSERT_EQ(context.drive.lastIndex() + 1, int(rows.size())) << what;
        // Ordinary parameters end with the last one whose number has the ordinary prefix.
        const QString disp =
            IniFile(context.drive.files.infoIniPath)
                .readString(QStringLiteral("Setup"), QStringLiteral("Disp"), QStringLiteral("0*"));
        int lastOrdinary = 0;
        for (int k = 0; k < int(rows.size()); ++k)
            if (rows[size_t(k)][0].startsWith(u'0') || rows[size_t(k)][0].left(2) == disp)
                lastOrdinary = k;
        EXPECT_EQ(context.drive.normalLastIndex, lastOrdinary) << what;

        for (int k = 0; k <= context.drive.lastIndex(); ++k) {
            bool okV = false, okH = false, okL = false;
            const qint64 v = StoreCells::work(context, UP_Value, k).toLongLong(&okV);
            const qint64 hi = StoreCells::work(context, UP_HValue, k).toLongLong(&okH);
            const qint64 lo = StoreCells::work(context, UP_LValue, k).toLongLong(&okL);
            const std::string com =
                definitionText(context.drive.parameters[std::size_t(k)], PD_ComNo).toStdString();
            ASSERT_TRUE(okV && okH && okL) << what << " " << com;
            EXPECT_LE(lo, v) << what << " " << com;
            EXPECT_LE(v, hi) << what << " " << com;
        }
        for (const QString& key : context.drive.currentVoltNumbers) {
            const int index = context.drive.indexOfComNo(key);
            ASSERT_GE(index, 0) << what << " " << key.toStdString();
            EXPECT_FALSE(
                definitionText(context.drive.parameters[std::size_t(index)], PD_CurrentVoltIndex).isEmpty())
                << what;
        }
    }
}
