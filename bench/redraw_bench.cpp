// The cost of one redraw tick without the port: decode the current-data block, showReadings,
// the chart point and a replot of the live chart (785 x 321, offscreen), with 1 000, 100 000
// and 1 000 000 points already in the series. PlainChart does the same add + replot on a bare
// QCustomPlot graph with its defaults, for comparison.
//
// Figures are reported, never asserted.

#include "forms/program_windows.h"
#include "link/codecs.h"

#include "ui_main_window.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QTemporaryDir>

#include <random>

#include <benchmark/benchmark.h>

namespace {

std::array<std::uint8_t, 49> currentDataBlock(std::uint32_t count, double value) {
    std::array<std::uint8_t, 49> b{};
    for (int i = 0; i < 4; ++i) {
        b[16 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    veltra::link::encodeFloat32(b, 8, 3.9);
    veltra::link::encodeFloat32(b, 24, 12.5);
    veltra::link::encodeFloat32(b, 28, 14.0);
    veltra::link::encodeFloat32(b, 32, value);
    const std::uint8_t clock[] = {0x30, 0x15, 0x10, 0x09, 0x12, 0x26};
    std::copy(std::begin(clock), std::end(clock), b.begin() + 36);
    return b;
}

void RedrawTick(benchmark::State& state) {
    QTemporaryDir dir;
    QDir::setCurrent(dir.path()); // no prog.ini: defaults; language set below
    veltra::app::AppContext context{veltra::link::PortCatalog({}, {})};
    veltra::forms::ProgramWindows windows(context);
    auto& form = *windows.form1;
    form.timer1().stop();
    context.state.language = veltra::text::Language::russian;
    form.show();
    form.timer1().stop();
    form.timer3().stop();

    const auto points = state.range(0);
    const double start = 1.8e9; // an instrument clock time, seconds
    // Readings as an instrument gives them: noise around a background level.
    std::mt19937 rng(1);
    std::normal_distribution<double> reading(0.12, 0.018);
    for (std::int64_t i = 0; i < points; ++i) {
        form.liveSeries().add(start + static_cast<double>(i), reading(rng));
    }
    auto* chart = form.ui().Chart2;
    std::uint32_t count = 1;
    for (auto _ : state) {
        ++count;
        const auto block = currentDataBlock(count, 0.12 + 0.01 * (count % 7));
        context.currentReading = veltra::live::decodeCurrentData(block);
        form.pollingCycle().showReadings();
        form.chartPoint(start + static_cast<double>(points + count),
                        context.currentReading.mainValue, 0.5, true);
        chart->replot(QCustomPlot::rpImmediateRefresh);
    }
    state.counters["points"] = static_cast<double>(form.liveSeries().size());
}

void PlainChart(benchmark::State& state) {
    QCustomPlot chart;
    chart.resize(785, 321);
    chart.xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>::create());
    QCPGraph* graph = chart.addGraph();
    graph->setPen(QPen(Qt::red));
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 7));
    const auto points = state.range(0);
    QVector<double> keys(points);
    QVector<double> values(points);
    std::mt19937 rng(1);
    std::normal_distribution<double> reading(0.12, 0.018);
    for (std::int64_t i = 0; i < points; ++i) {
        keys[i] = static_cast<double>(i);
        values[i] = reading(rng);
    }
    graph->setData(keys, values, true);
    double key = static_cast<double>(points);
    for (auto _ : state) {
        graph->addData(key, 0.12);
        key += 1.0;
        chart.xAxis->rescale();
        chart.replot(QCustomPlot::rpImmediateRefresh);
    }
}

BENCHMARK(RedrawTick)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainChart)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
