// Open and save of a 2,000-parameter set in the own format, the configuration file and the
// CSV table (which is only written); reading the settings file when it has grown large.
#include "BenchSupport.h"

#include "core/CfgFile.h"
#include "core/CsvExport.h"
#include "core/ParaFile.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// 2,000 parameters "0000".."0999", "A000".."A499", "C000".."C499" with values in 0..0xFFFF.
struct Set {
    Set() {
        context.drive.identity.typeName = "QX100";
        context.drive.identity.formName = "-4037";
        context.drive.identity.cpuVersion = "V110";
        context.language.name = "English";
        context.drive.identity.typeCode = "65";
        context.drive.identity.formCode = "6";
        context.drive.identity.cpuNumber = "110";
        context.paths.catalogueIni = dir.filePath("Inverter.ini");
        TextFile::writeText(context.paths.catalogueIni,
                            "[Type_Ident_65]\r\nIdent=0099\r\nTyp_1=QX100\r\n[QX100]\r\n-4037=6\r\n");
        const int n = kMaxParams;
        std::vector<ParameterDefinition> definitions(static_cast<std::size_t>(n));
        store.resizeWorking(n);
        for (int i = 0; i < n; ++i) {
            const QString number = i < 1000   ? QString::number(i).rightJustified(4, '0')
                                   : i < 1500 ? "A" + QString::number(i - 1000).rightJustified(3, '0')
                                              : "C" + QString::number(i - 1500).rightJustified(3, '0');
            definitions[std::size_t(i)].comNo = number;
            definitions[std::size_t(i)].defaultText = QString::number(i % 100);
        }
        context.drive.setParameters(std::move(definitions), 0);
        context.store = &store;
        ParaFile::resetValuesToDefaults(context);
        for (int i = 0; i < n; ++i)
            StoreCells::setWork(context, UP_Value, i, QString::number((i * 7919) % 0x10000));
        store.setWorkingText(UP_Value, 998, "1"); // "0998" and "0999" at their normal values
        store.setWorkingText(UP_Value, 999, "2");
        store.setWorkingText(UP_Value, 99, "1"); // "0099" names the type
        for (int r = 0; r <= n; ++r)
            rows << QStringList{"F" + QString::number(r),
                                r == 0 ? QStringLiteral("ComNo")
                                       : context.drive.parameters[std::size_t(r - 1)].comNo,
                                "Parameter name",
                                "   60.00",
                                "0",
                                "400",
                                "Hz",
                                "      "};
    }
    QString path(const char* name) const { return dir.filePath(name); }

    BenchPrompter prompter;
    QTemporaryDir dir;
    ProgramContext context;
    ParameterStore store;
    QList<QStringList> rows;
};

Set& set() {
    static Set s;
    return s;
}

void BM_OwnFormatSave(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ParaFile::WriteParameterFile(set().context, set().path("a.kvr"), "bench",
                                                              false, false, benchAsker()));
}
BENCHMARK(BM_OwnFormatSave)->Unit(benchmark::kMillisecond);

void BM_OwnFormatOpen(benchmark::State& state) {
    ParaFile::WriteParameterFile(set().context, set().path("a.kvr"), "bench", false, false, benchAsker());
    for (auto _ : state) {
        QStringList lines;
        TextFile::readLines(set().path("a.kvr"), lines);
        benchmark::DoNotOptimize(ParaFile::read(set().context, lines, benchAsker()).result);
    }
}
BENCHMARK(BM_OwnFormatOpen)->Unit(benchmark::kMillisecond);

void BM_ConfigurationSave(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            CfgFile::WriteConfigurationXml(set().context, set().path("a.cfg"), benchAsker()));
}
BENCHMARK(BM_ConfigurationSave)->Unit(benchmark::kMillisecond);

void BM_ConfigurationOpen(benchmark::State& state) {
    CfgFile::WriteConfigurationXml(set().context, set().path("a.cfg"), benchAsker());
    const CfgFile::Names names = CfgFile::catalogueNames(set().context);
    for (auto _ : state) {
        QStringList lines, cnum, val;
        TextFile::readLines(set().path("a.cfg"), lines);
        benchmark::DoNotOptimize(
            CfgFile::ReadConfigurationXml(set().context, lines, cnum, val, names, benchAsker()).result);
    }
}
BENCHMARK(BM_ConfigurationOpen)->Unit(benchmark::kMillisecond);

void BM_CsvTableSave(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(CsvExport::WriteParameterTableCsv(set().context, set().path("a.csv"),
                                                                   set().rows, false, benchAsker()));
}
BENCHMARK(BM_CsvTableSave)->Unit(benchmark::kMillisecond);

// A settings file of some 14 MB (400,000 lines of other sections ahead of the
// options, as a damaged or endlessly appended file may hold) and the 120 option keys the
// start reads from it through one object.
struct LargeSettings {
    LargeSettings() {
        QByteArray bytes;
        bytes.reserve(15 << 20);
        for (int s = 0; s < 400; ++s) {
            bytes += "[History" + QByteArray::number(s) + "]\r\n";
            for (int k = 0; k < 1000; ++k)
                bytes += "Entry" + QByteArray::number(k) + "=C:\\Data\\Site " + QByteArray::number(s) +
                         "\\set.kvr\r\n";
        }
        bytes += "[Options]\r\n";
        for (int k = 0; k < kKeys; ++k)
            bytes += "Option" + QByteArray::number(k) + "=" + QByteArray::number(k) + "\r\n";
        TextFile::writeBytes(path(), bytes);
    }
    QString path() const { return dir.filePath("KVR260X.ini"); }
    static constexpr int kKeys = 120;
    QTemporaryDir dir;
};

LargeSettings& largeSettings() {
    static LargeSettings s;
    return s;
}

void BM_LargeSettingsOpen(benchmark::State& state) {
    for (auto _ : state) {
        const IniFile ini(largeSettings().path());
        benchmark::DoNotOptimize(ini.fileExists());
    }
}
BENCHMARK(BM_LargeSettingsOpen)->Unit(benchmark::kMillisecond);

// Should cost about one open: the reads after it come from memory.
void BM_LargeSettingsReadManyKeys(benchmark::State& state) {
    for (auto _ : state) {
        const IniFile ini(largeSettings().path());
        int sum = 0;
        for (int k = 0; k < LargeSettings::kKeys; ++k)
            sum += ini.readInteger(QStringLiteral("Options"), QStringLiteral("Option%1").arg(k), 0);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_LargeSettingsReadManyKeys)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}
