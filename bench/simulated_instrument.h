#pragma once
// What the archive benchmarks share: the simulated instrument on a pseudo-terminal, with or
// without 57600-baud wire timing, selected as port 1 of a program state; and the line's own
// limit for reading the whole archive.

#include "app/app_context.h"
#include "simulator.h"

#include <memory>

#include <benchmark/benchmark.h>

namespace veltra::bench {

// 800 records x 26 bytes (request and reply) x 10 bits a byte / 57600 baud = 3.611 s.
inline constexpr double archiveWireLimit_s = 800.0 * 26.0 * 10.0 / 57600.0;

struct SimulatedInstrument {
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<app::AppContext> context;
};

// Empty (and the benchmark skipped with the reason) when the simulator does not start.
inline SimulatedInstrument startSimulatedInstrument(benchmark::State& state, bool wireTiming) {
    sim::SimulatorOptions options;
    options.model.archiveLogging = false;
    options.endpoint.wireTiming = wireTiming;
    SimulatedInstrument instrument;
    instrument.simulator = std::make_unique<sim::Simulator>(options);
    if (!instrument.simulator->start()) {
        state.SkipWithError(instrument.simulator->errorText().c_str());
        return {};
    }
    instrument.context = std::make_unique<app::AppContext>(
        link::PortCatalog({{1, QString::fromStdString(instrument.simulator->devicePath())}}, {}));
    instrument.context->state.portNumber = 1;
    return instrument;
}

} // namespace veltra::bench
