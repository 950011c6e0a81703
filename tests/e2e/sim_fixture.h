#pragma once
// A simulated instrument on a pseudo-terminal and the program's core pointed at it as port 1:
// the same serial code path a real instrument uses.

#include "app/app_context.h"
#include "instrument/transactions.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <memory>

namespace veltra::e2e {

inline sim::SimulatorOptions quietOptions() {
    sim::SimulatorOptions options;
    options.model.archiveLogging = false; // the archive stays as it starts
    return options;
}

class SimFixture : public ::testing::Test {
protected:
    void startSimulator(sim::SimulatorOptions options = quietOptions()) {
        simulator = std::make_unique<sim::Simulator>(std::move(options));
        ASSERT_TRUE(simulator->start()) << simulator->errorText();
        context = std::make_unique<app::AppContext>(
            veltra::link::PortCatalog({{1, QString::fromStdString(simulator->devicePath())}}, {}));
        context->state.portNumber = 1;
    }

    void SetUp() override { startSimulator(); }

    veltra::link::DeviceLink& deviceLink() { return context->link; }

    // A poll as the program makes it: reopen, clear the buffer, read.
    bool poll() {
        return context->ensurePortOpen() && instrument::readCurrentData(deviceLink()).ok();
    }

    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<app::AppContext> context;
};

} // namespace veltra::e2e
