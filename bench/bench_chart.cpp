// The monitor chart: a redraw of ten series of 11,000 points into a 1000 x 400 picture and
// on a shown widget, and the cost of filling the sample store as a run does.
#include "monitor/SampleStore.h"
#include "monitor/SampleWindow.h"
#include "ui/ChartWidget.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

// A full store: ten wandering curves, the whole record in the window as a finished run
// leaves it.
struct FullChart {
    FullChart() {
        std::mt19937 rng(5);
        std::normal_distribution<double> step(0.0, 1.5);
        double v[SampleStore::kChannels] = {};
        window.startRun();
        for (int p = 0; p < SampleStore::kCapacity; ++p) {
            store.appendSample(static_cast<quint32>(p) * 50);
            for (int ch = 0; ch < SampleStore::kChannels; ++ch) {
                v[ch] = std::clamp(v[ch] + step(rng), 0.0, 95.0);
                store.setValue(ch, p, v[ch] + ch * 0.5);
            }
            window.pointAdded(p, p);
        }
        window.finishRun();
        chart.setSource(&store, &window);
        chart.resize(1000, 400);
    }
    SampleStore store;
    SampleWindow window;
    ChartWidget chart;
};

void BM_ChartRedrawIntoPicture(benchmark::State& state) {
    FullChart f;
    for (auto _ : state) {
        QImage image = f.chart.renderImage(QSize(1000, 400), false);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations() * SampleStore::kChannels * SampleStore::kCapacity);
}
BENCHMARK(BM_ChartRedrawIntoPicture)->Unit(benchmark::kMillisecond);

void BM_ChartRedrawShown(benchmark::State& state) {
    FullChart f;
    f.chart.show();
    QApplication::processEvents();
    for (auto _ : state)
        f.chart.repaint();
    state.SetItemsProcessed(state.iterations() * SampleStore::kChannels * SampleStore::kCapacity);
}
BENCHMARK(BM_ChartRedrawShown)->Unit(benchmark::kMillisecond);

// While a run scrolls, the window holds 100 samples of the 11,000.
void BM_ChartRedrawScrolling(benchmark::State& state) {
    FullChart f;
    f.window.startRun();
    f.window.pointAdded(SampleStore::kCapacity - 1, SampleStore::kCapacity - 1);
    for (auto _ : state) {
        QImage image = f.chart.renderImage(QSize(1000, 400), false);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ChartRedrawScrolling)->Unit(benchmark::kMillisecond);

void BM_StoreFillTenChannels(benchmark::State& state) {
    auto store = std::make_unique<SampleStore>();
    for (auto _ : state) {
        store->clear();
        for (int p = 0; p < SampleStore::kCapacity; ++p) {
            store->appendSample(static_cast<quint32>(p));
            for (int ch = 0; ch < SampleStore::kChannels; ++ch)
                store->setValue(ch, p, p * 0.01 + ch);
        }
        benchmark::DoNotOptimize(store->lastPoint());
    }
    state.SetItemsProcessed(state.iterations() * SampleStore::kChannels * SampleStore::kCapacity);
}
BENCHMARK(BM_StoreFillTenChannels)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
