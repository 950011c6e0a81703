#include "app/polling_cycle.h"

#include "instrument/transactions.h"
#include "live/instrument_clock.h"
#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QDate>

namespace veltra::app {

PollingCycle::PollingCycle(AppContext& context, PollingHost& host, Clock now)
    : m_context(context), m_host(host), m_now(std::move(now)) {}

void PollingCycle::tick() {
    if (m_context.state.portNumber == 0) {
        // Stays stopped until the connection menu or the start-up sequence restarts it.
        m_host.setTimer1Enabled(false);
        m_host.showStatus(StatusColour::red, status::noInstrument);
        return;
    }
    m_host.setTimer1Enabled(true);
    m_host.enforceViewMode();

    const auto endTick = [&] { m_host.setTimer1Enabled(true); };

    while (!m_context.onDevice([&] { return m_context.ensurePortOpen(); })) {
        ++state().openFailureCount;
        if (state().openFailureCount != 1) {
            m_host.showStatus(StatusColour::red, status::portOpenError);
            endTick();
            return;
        }
    }

    if (state().clockSyncPending) {
        // No reply is awaited; a clock write that did not go out is tried again by the next
        // redraw's clock check.
        const auto now = text::localTimeOf(m_now());
        m_context.onDevice([&] { instrument::writeClock(m_context.link, now); });
        state().clockSyncPending = false;
        endTick();
        return;
    }

    state().openFailureCount = 0;
    const auto read =
        m_context.onDevice([&] { return instrument::readCurrentData(m_context.link); });
    if (!read.ok()) {
        ++state().readFailureCount;
        if (state().readFailureCount > 3) {
            m_host.showStatus(StatusColour::red, status::connectionError);
            // The cable may come back with another instrument on it.
            m_context.lineIdentity.reset();
            if (m_context.readingsHistory) {
                m_context.readingsHistory->lineChanged();
            }
        }
        endTick();
        return;
    }

    state().readFailureCount = 0;
    m_host.showStatus(StatusColour::black, status::reading);
    m_context.currentReading = *read.value;
    const std::uint32_t count = m_context.currentReading.measurementCount;
    const bool newMeasurement = count != state().lastMeasurementCount;
    state().lastMeasurementCount = count;
    if (newMeasurement || state().redrawRequested) {
        showReadings();
        state().redrawRequested = false;
        addChartPoint();
    }
    if (newMeasurement && m_context.readingsLog) {
        logReading();
    }
    endTick();
}

void PollingCycle::logReading() {
    station::MeasurementLog& log = *m_context.readingsLog;
    // A line written whole, without waiting for the disk: the cycle's second is the reading's.
    const QString now = text::computerTimeText();
    if (const station::FileResult w = log.add(m_context.currentReading, now, QDate::currentDate());
        !w) {
        m_host.showStatus(StatusColour::red,
                          status::logNotWritten.arg(log.currentPath(), w.reason));
    }
    if (m_context.readingsHistory) {
        if (const history::Result r =
                m_context.readingsHistory->add(m_context, m_context.currentReading, now);
            !r) {
            m_host.showStatus(StatusColour::red, status::historyNotWritten.arg(r.error));
        }
    }
}

void PollingCycle::showReadings() {
    const live::CurrentData& reading = m_context.currentReading;
    const Language language = m_context.state.language;
    if (reading.mode != state().lastShownMode) {
        state().lastShownMode = reading.mode;
        const live::ChartRestart restart = live::restartLiveChart(reading.mode, language);
        if (restart.resetScale) {
            state().chartMaximum = 0.0;
        }
        m_host.restartLiveChart(restart);
    }
    checkClock();
    m_host.applyReadings(live::presentReadings(reading, m_context.thresholdsInEffect(), language,
                                               text::userDecimalSeparator()));
}

void PollingCycle::addChartPoint() {
    const auto& reading = m_context.currentReading;
    const double key = text::chartAxisKey(reading.clock);
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
