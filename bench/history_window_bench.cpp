// What the history window costs over a history of 100 000 records (125 downloads of 800, a record
// every ten minutes, about two years), offscreen at the window's size:
//
//   HistoryChart    the chart of all 100 000 points: the series handed to the chart and a replot
//   HistoryWindow   the whole "Показать": the queries, the sessions, the statistics by day and
//                   the chart
//
// Figures are reported, never asserted.

#include "forms/history_window.h"
#include "link/codecs.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

std::vector<std::uint8_t> imageFrom(long step) {
    std::vector<std::uint8_t> image(veltra::history::imageSize, 0);
    for (int i = 0; i < 800; ++i) {
        const long t = (step + i) * 600;
        const QDateTime when = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(t);
        std::array<std::uint8_t, 10> r{};
        veltra::link::encodeFloat32(r, 0, 0.08 + 0.0001 * static_cast<double>((step + i) % 500));
        r[4] = veltra::link::encodeBcd(when.time().second());
        r[5] = veltra::link::encodeBcd(when.time().minute());
        r[6] = veltra::link::encodeBcd(when.time().hour());
        r[7] = veltra::link::encodeBcd(when.date().day());
        r[8] = veltra::link::encodeBcd(when.date().month());
        r[9] = veltra::link::encodeBcd(when.date().year() - 2000);
        std::copy(r.begin(), r.end(), image.begin() + i * 10);
    }
    return image;
}

struct History {
    QTemporaryDir dir;
    QString path = dir.filePath("history.sqlite");
    History() {
        veltra::history::HistoryStore store;
        store.open(path, true);
        veltra::history::Result r;
        const auto instrument = *store.instrumentFor(4, QByteArray(20, '\x11'), "bench", r);
        for (long d = 0; d < 125; ++d) {
            const auto image = imageFrom(d * 800);
            veltra::history::Download download;
            download.image = image;
            download.pcTimeUtc = QDateTime::currentDateTimeUtc();
            download.programVersion = QStringLiteral("bench");
            store.store(instrument, download, r);
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
