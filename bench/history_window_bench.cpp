// What the history window costs over a history of 100 000 records (125 downloads of 800, a record
// every ten minutes, about two years), offscreen at the window's size:
//
//   HistoryChart    the chart of all 100 000 points: the series handed to the chart and a replot
//   HistoryWindow   the whole "Показать": the queries, the sessions, the statistics by day and
//                   the chart
//
// Figures are reported, never asserted.

#include "forms/history_window.h"
#include "history_images.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct History {
    QTemporaryDir dir;
    QString path = dir.filePath("history.sqlite");
    History() {
        veltra::history::HistoryStore store;
        store.open(path, true);
        veltra::history::Result r;
        const auto instrument = *store.instrumentFor(4, QByteArray(20, '\x11'), "bench", r);
        for (long d = 0; d < 125; ++d) {
            const auto image = veltra::bench::imageFrom(d * 800);
            store.store(instrument, veltra::bench::downloadOf(image), r);
        }
    }
};

History& history() {
    static History h;
    return h;
}

void HistoryChart(benchmark::State& state) {
    veltra::forms::HistoryWindow window(history().path, veltra::app::Language::russian);
    window.show();
    window.refresh();
    QCustomPlot* chart = window.chart();
    const veltra::app::HistorySeries& series = window.view().series.front();
    for (auto _ : state) {
        chart->graph(0)->setData(series.keys, series.values, true);
        chart->replot();
    }
    state.counters["points"] = static_cast<double>(chart->graph(0)->dataCount());
}
BENCHMARK(HistoryChart)->Unit(benchmark::kMillisecond)->UseRealTime();

void HistoryWindow(benchmark::State& state) {
    veltra::forms::HistoryWindow window(history().path, veltra::app::Language::russian);
    window.show();
    for (auto _ : state) {
        window.refresh();
    }
    state.counters["records"] = static_cast<double>(window.view().records);
}
BENCHMARK(HistoryWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
