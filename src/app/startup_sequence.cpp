#include "app/startup_sequence.h"

#include "instrument/transactions.h"
#include "text/number_text.h"

namespace veltra::app {

StartupSequence::StartupSequence(AppContext& context, PollingCycle& cycle, StartupHost& host)
    : m_context(context), m_cycle(cycle), m_host(host) {}

void StartupSequence::run() {
    AppState& state = m_context.state;
    m_context.polling.chartMaximum = 0.0;
    m_host.setCompactVisible(false);
    if (text::isKnown(state.language)) {
        m_host.setLanguageMarks(state.language);
    }
    if (state.startupDone) {
        return;
    }

    // No tick may run inside the scan; step 8 starts the cycle again.
    m_host.setTimer1Enabled(false);
    m_host.showSearchLook(true, std::nullopt);
    scanForInstrument(m_context, m_host, text::userDecimalSeparator());
    m_host.hideDialog();
    if (state.portNumber == 0) {
        // In Russian the polling cycle paints "Прибор не обнаружен" at its first tick.
        if (state.language == Language::english) {
            m_host.showStatus(StatusColour::red, status::connectionError);
        }
    } else {
        startupRead();
        m_host.applyLanguage(state.language);
        readParameters(m_context, m_host, false, text::userDecimalSeparator());
        m_host.showParametersTab();
        m_context.polling.readFailureCount = 0;
    }
    m_host.setTimer1Enabled(true);
    m_host.clearLiveChart();
    m_host.clearArchiveChart();

    if (state.viewMode == 1) {
        m_host.setCompactVisible(true); // the first tick hides the main window
        m_host.setViewMarks(false);
    } else {
        m_host.showMainWindow();
        m_host.setCompactVisible(false);
        m_host.setViewMarks(true);
    }
    m_host.setTransparencySlider(state.transparency);
    m_host.setCompactOpacity(state.transparency & 0xFF);
    m_host.showResultsTab();
}

void StartupSequence::startupRead() {
    auto& polling = m_context.polling;
    const auto read =
        m_context.onDevice([&] { return instrument::readCurrentData(m_context.link); });
    if (read.ok()) {
        polling.readFailureCount = 0;
        m_host.showStatus(StatusColour::black, status::reading);
        m_context.currentReading = *read.value;
        m_cycle.showReadings();
    } else if (++polling.readFailureCount > 3) {
        m_host.showStatus(StatusColour::red, status::connectionError);
    }
}

} // namespace veltra::app
