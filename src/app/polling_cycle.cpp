#include "app/polling_cycle.h"

#include "instrument/transactions.h"
#include "live/instrument_clock.h"
#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QDate>

namespace veltra::app {

PollingCycle::PollingCycle(AppContext& context, PollingHost& host, Clock now,
                           PollingOptions options)
    : m_context(context), m_host(host), m_now(std::move(now)), m_options(options) {}

TickReport PollingCycle::tick() {
    TickReport report;
    if (m_context.state.portNumber == 0) {
        // Stays stopped until the connection menu or the start-up sequence restarts it.
        m_host.setTimer1Enabled(false);
        m_host.showStatus(StatusColour::red, status::noInstrument);
        return report;
    }
    m_host.setTimer1Enabled(true);
    m_host.enforceViewMode();

    const auto endTick = [&](TickReport::Step step) {
        m_host.setTimer1Enabled(true);
        report.step = step;
        return report;
    };

    while (!m_context.onDevice([&] { return m_context.ensurePortOpen(); })) {
        ++state().openFailureCount;
        if (state().openFailureCount != 1) {
            m_host.showStatus(StatusColour::red, status::portOpenError);
            return endTick(TickReport::Step::portNotOpened);
        }
    }

    if (state().clockSyncPending) {
        // No reply is awaited; a clock write that did not go out is tried again by the next
        // redraw's clock check.
        const auto now = text::localTimeOf(m_now());
        m_context.onDevice([&] { instrument::writeClock(m_context.link, now); });
        state().clockSyncPending = false;
        return endTick(TickReport::Step::clockWritten);
    }

    state().openFailureCount = 0;
    if (m_options.readParameters && !m_parametersRead) {
        // The read runs its own transaction on the device; what it tells is not shown.
        Events quiet;
        m_parametersRead = readParameters(m_context, quiet, true, text::userDecimalSeparator());
    }
    const auto read =
        m_context.onDevice([&] { return instrument::readCurrentData(m_context.link); });
    if (!read.ok()) {
        report.failure = read;
        ++state().readFailureCount;
        if (state().readFailureCount >= m_options.lineLostAfter) {
            m_host.showStatus(StatusColour::red, status::connectionError);
            // The cable may come back with another instrument on it.
            m_context.lineIdentity.reset();
            if (m_context.readingsHistory) {
                m_context.readingsHistory->lineChanged();
            }
        }
        return endTick(TickReport::Step::readFailed);
    }

    state().readFailureCount = 0;
    m_host.showStatus(StatusColour::black, status::reading);
    m_context.currentReading = *read.value;
    // The cycle's second is the reading's.
    report.computerTime = text::computerTimeText();
    const std::uint32_t count = m_context.currentReading.measurementCount;
    report.newMeasurement = count != state().lastMeasurementCount;
    state().lastMeasurementCount = count;
    if (report.newMeasurement || state().redrawRequested) {
        showReadings();
        state().redrawRequested = false;
        addChartPoint();
    }
    logReading(report.newMeasurement, report);
    return endTick(TickReport::Step::read);
}

void PollingCycle::logReading(bool newMeasurement, TickReport& report) {
    // The history keeps what the log takes, beside it.
    station::MeasurementLog* log = m_context.readingsLog.get();
    if (log == nullptr || !(newMeasurement || m_options.offerEveryReading)) {
        return;
    }
    const QString& now = report.computerTime;
    report.logWrite = log->add(m_context.currentReading, now, QDate::currentDate());
    if (!report.logWrite) {
        m_host.showStatus(StatusColour::red,
                          status::logNotWritten.arg(log->currentPath(), report.logWrite.reason));
    }
    const std::uint32_t count = m_context.currentReading.measurementCount;
    if (!m_context.readingsHistory || (m_options.offerEveryReading && count == m_lastStoredCount)) {
        return;
    }
    report.historyTried = true;
    report.historyWrite = m_context.readingsHistory->add(m_context, m_context.currentReading, now);
    if (report.historyWrite) {
        m_lastStoredCount = count;
    } else {
        m_host.showStatus(StatusColour::red,
                          status::historyNotWritten.arg(report.historyWrite.error));
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
    if (m_options.keepClock && live::clockSyncNeeded(m_context.currentReading.clock, m_now())) {
        state().clockSyncPending = true;
    }
}

} // namespace veltra::app
