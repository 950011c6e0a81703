// Reading the whole archive record by record: 800 readBlock calls of 10-byte records
// (command 0x25, addresses 0..799) over a pseudo-terminal against the simulated instrument.
//
//   ArchiveRead/0  no wire timing: the software cost of a transaction (link, pty, simulator).
//   ArchiveRead/1  57600-baud wire timing: the total against the line's own limit,
//                  800 x 26 bytes x 10 bits / 57600 baud = 3.611 s.
//
// Figures are reported, never asserted.

#include "app/app_context.h"
#include "simulator.h"

#include <QCoreApplication>

#include <chrono>

#include <benchmark/benchmark.h>

namespace {

constexpr double wireLimit_s = 800.0 * 26.0 * 10.0 / 57600.0;

void ArchiveRead(benchmark::State& state) {
    veltra::sim::SimulatorOptions options;
    options.model.archiveLogging = false;
    options.endpoint.wireTiming = state.range(0) != 0;
    veltra::sim::Simulator simulator(options);
    if (!simulator.start()) {
        state.SkipWithError(simulator.errorText().c_str());
        return;
    }
    veltra::app::AppContext context(
        veltra::link::PortCatalog({{1, QString::fromStdString(simulator.devicePath())}}, {}));
    context.state.portNumber = 1;
    auto& link = context.link;
    if (!context.ensurePortOpen()) {
        state.SkipWithError("cannot open the simulator's port");
        return;
    }

    std::int64_t failures = 0;
    double total_s = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::uint16_t address = 0; address < 800; ++address) {
            if (!link.readBlock(0x25, 10, address)) {
                ++failures;
            }
        }
        total_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perArchive_s = total_s / static_cast<double>(state.iterations());
    state.counters["failures"] = static_cast<double>(failures);
    state.counters["per_transaction_us"] = 1e6 * perArchive_s / 800.0;
    if (options.endpoint.wireTiming) {
        state.counters["wire_limit_s"] = wireLimit_s;
        state.counters["over_limit_pct"] = 100.0 * (perArchive_s / wireLimit_s - 1.0);
    }
}

BENCHMARK(ArchiveRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the serial port needs an application object
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
