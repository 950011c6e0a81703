#include "app/polling_cycle.h"

#include "live/instrument_clock.h"
#include "live/live_chart.h"

#include <algorithm>

namespace veltra::app {

PollingCycle::PollingCycle(AppContext& context, PollingHost& host, Clock now)
    : m_context(context), m_host(host), m_now(std::move(now)) {}

void PollingCycle::tick() {
    auto& link = m_context.link;
    if (m_context.state.portNumber == 0) {
        // Stays stopped until the connection menu or the start-up sequence restarts it.
        m_host.setTimer1Enabled(false);
        m_host.showStatus(StatusColour::red, status::noInstrument);
        return;
    }
    m_host.setTimer1Enabled(true);
    m_host.enforceViewMode();

    const auto endTick = [&] { m_host.setTimer1Enabled(true); };

    while (!link.ensurePortOpen()) {
        ++state().openFailureCount;
        if (state().openFailureCount != 1) {
            m_host.showStatus(StatusColour::red, status::portOpenError);
            endTick();
            return;
        }
    }

    if (state().clockSyncPending) {
        live::writeClock(link, live::localTimeOf(m_now()));
        state().clockSyncPending = false;
        endTick();
        return;
    }

    state().openFailureCount = 0;
    std::fill_n(link.transferBuffer().begin(), 1000, std::uint8_t{0});
    if (!link.readBlock(link::command::currentData, link::length::currentData, 0)) {
        ++state().readFailureCount;
        if (state().readFailureCount > 3) {
            m_host.showStatus(StatusColour::red, status::connectionError);
        }
        endTick();
        return;
    }

    state().readFailureCount = 0;
    m_host.showStatus(StatusColour::black, status::reading);
    m_context.currentReading = *live::decodeCurrentData(link.transferBuffer());
    const std::uint32_t count = m_context.currentReading.measurementCount;
    const bool newMeasurement = count != state().lastMeasurementCount;
    state().lastMeasurementCount = count;
    if (newMeasurement || state().redrawRequested) {
        m_host.showReadings();
        state().redrawRequested = false;
        addChartPoint();
    }
    endTick();
}

void PollingCycle::addChartPoint() {
    const auto& reading = m_context.currentReading;
    const double key = live::chartAxisKey(reading.clock);
    const double y = reading.mainValue;
    if (y > state().chartMaximum) {
        state().chartMaximum = y;
    }
    m_host.chartPoint(key, y, live::chartAxisMaximum(state().chartMaximum), y > 0.0);
}

void PollingCycle::checkClock() {
    if (live::clockSyncNeeded(m_context.currentReading.clock, m_now())) {
        state().clockSyncPending = true;
    }
}

} // namespace veltra::app
