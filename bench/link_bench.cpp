// Reading the whole archive record by record: 800 readBlock calls of 10-byte records
// (command 0x25, addresses 0..799) over a pseudo-terminal against the simulated instrument.
//
//   ArchiveRead/0  no wire timing: the software cost of a transaction (link, pty, simulator).
//   ArchiveRead/1  57600-baud wire timing: the total against the line's own limit,
//                  800 x 26 bytes x 10 bits / 57600 baud = 3.611 s.
//
// Figures are reported, never asserted.

#include "simulated_instrument.h"

#include <QCoreApplication>

#include <chrono>

#include <benchmark/benchmark.h>

namespace {

void ArchiveRead(benchmark::State& state) {
    const bool wireTiming = state.range(0) != 0;
    const auto instrument = veltra::bench::startSimulatedInstrument(state, wireTiming);
    if (!instrument.context) {
        return;
    }
    veltra::app::AppContext& context = *instrument.context;
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
    if (wireTiming) {
        using veltra::bench::archiveWireLimit_s;
        state.counters["wire_limit_s"] = archiveWireLimit_s;
        state.counters["over_limit_pct"] = 100.0 * (perArchive_s / archiveWireLimit_s - 1.0);
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
