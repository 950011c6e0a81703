#pragma once
// State of the polling cycle, kept across ticks for the life of the process.

#include <cstdint>

namespace veltra::live {

struct PollingState {
    std::int32_t openFailureCount = 0; // consecutive ticks whose port open failed
    std::int32_t readFailureCount = 0; // consecutive failed polls
    std::uint32_t lastMeasurementCount = 0;
    bool redrawRequested = false;  // the next good poll redraws even without a new measurement
    bool clockSyncPending = false; // the next tick writes the clock instead of polling
    double chartMaximum = 0.0;     // largest charted reading since the last reset
    std::uint8_t lastShownMode = 0;
};

} // namespace veltra::live
