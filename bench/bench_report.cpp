// The printed parameter list of a drive type of 2,000 parameters: its rows taken from the
// store, the pages laid out, and every page written to a PDF file (under a second is the
// aim for the whole).
#include "BenchSupport.h"

#include "core/ProgramContext.h"
#include "report/ParamReport.h"
#include "ui/ParamReportFromStore.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

using Fixture = GeneratedDriveType;

Fixture& fixture() {
    static Fixture f;
    return f;
}

report::ReportDocument layOut() {
    report::ParamReportData data;
    const ProgramContext& context = fixture().context;
    data.typeForm = context.drive.identity.typeName + context.drive.identity.formName;
    data.rows = report::buildParamReportRows(paramReportSourceFromStore(context, false, false, false));
    data.printedAt = QDateTime::currentDateTime();
    report::PageSetup setup;
    setup.printShipment = true;
    return report::layoutParamReport(data, setup, report::paramReportFaces(QString()));
}

bool loaded(benchmark::State& state) {
    if (!fixture().ok || !fixture().load()) {
        state.SkipWithError("no drive type");
        return false;
    }
    // Every parameter printed, the maintenance ones too.
    fixture().context.tableView.lastIndex = fixture().context.drive.lastIndex();
    return true;
}

void BM_LayOutParameterList(benchmark::State& state) {
    if (!loaded(state))
        return;
    int pages = 0;
    for (auto _ : state)
        pages = report::ReportPages(layOut()).pageCount();
    state.counters["pages"] = pages;
}
BENCHMARK(BM_LayOutParameterList)->Unit(benchmark::kMillisecond);

void BM_ParameterListToPdf(benchmark::State& state) {
    if (!loaded(state))
        return;
    QTemporaryDir dir;
    for (auto _ : state) {
        const report::ReportPages pages(layOut());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("list.pdf"));
        if (!pages.print(printer)) {
            state.SkipWithError("the PDF could not be written");
            return;
        }
    }
}
BENCHMARK(BM_ParameterListToPdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, nullptr);
}
