#pragma once
// The polling cycle: one tick a second reopens the selected port and reads the instrument's
// current data, or writes its clock when the last redraw found it more than 300 s off. A new
// measurement (or a requested redraw) is shown and becomes a chart point, and goes to the
// readings log and the dose history when they are kept. The window implements PollingHost; the
// cycle, the mode-change test and the clock check have no widgets. A station (the tool's poll)
// runs the same cycle with its own options and acts on what each tick reports.

#include "app/app_context.h"
#include "app/events.h"
#include "app/status_messages.h"
#include "history/history_store.h"
#include "instrument/outcome.h"
#include "live/live_chart.h"
#include "live/presentation.h"
#include "station/file_writes.h"

#include <ctime>
#include <functional>
#include <optional>

namespace veltra::app {

// What the cycle shows. Each does nothing by default: a host without a window (a station)
// shows nothing.
class PollingHost : public Events {
public:
    virtual void setTimer1Enabled(bool /*enabled*/) {}
    // Shows the windows the view mode asks for (main window or compact window).
    virtual void enforceViewMode() {}
    // What a change of measuring mode does to the live chart: clear its series, put its
    // vertical maximum back to 0.5, set its title (chartMaximum is already reset).
    virtual void restartLiveChart(const live::ChartRestart& /*restart*/) {}
    // The texts and colours of one redraw.
    virtual void applyReadings(const live::ReadingsView& /*view*/) {}
    // Turns the time labels on and sets the vertical maximum; adds the point only when plot.
    // key: the instrument's clock time as the chart counts it (text::chartAxisKey).
    virtual void chartPoint(double /*key*/, double /*y*/, double /*axisMaximum*/, bool /*plot*/) {}
};

// How the cycle polls. The defaults are the window's.
struct PollingOptions {
    // Writes the instrument's clock when a redraw finds it more than 300 s off. A station never
    // writes to the instrument unasked.
    bool keepClock = true;
    // Failed reads in a row after which the line counts as lost: "Ошибка связи" / "Connection
    // error", and the instrument on it is asked who it is again. A station takes every failure
    // as a possible change of instrument.
    int lineLostAfter = 4;
    // Reads the parameters (the thresholds in effect, the model) on the first tick that opens
    // the port, and on every tick after until a read gets them. A failure leaves them unknown
    // and the tick goes on to its reading. The window reads them in its start-up sequence.
    bool readParameters = false;
    // Offers every good reading to the log and the history, not only a new measurement: each
    // takes only what it has not got (the log by its last line's count, the history by the
    // last measurement it stored), so a history write that failed is tried again a tick later.
    bool offerEveryReading = false;

    // A station's: it only reads, tells every failed read and reads the parameters itself.
    [[nodiscard]] static PollingOptions station() {
        return {.keepClock = false,
                .lineLostAfter = 1,
                .readParameters = true,
                .offerEveryReading = true};
    }
};

// What one tick did, for a caller that acts on it (a station); the window needs only what its
// host was told.
struct TickReport {
    enum class Step {
        noPort,        // no port is selected: the timer stops
        portNotOpened, // the selected port did not open
        clockWritten,  // the tick wrote the instrument's clock instead of polling
        readFailed,    // the current-data read failed: failure says how
        read,          // currentReading holds the new reading
    };
    Step step = Step::noPort;
    instrument::ReadFacts failure;
    bool newMeasurement = false;
    // read: the computer's time of the reading (ISO 8601 with the UTC offset), as the log and
    // the history took it.
    QString computerTime;
    // The log's and the history's writes of this reading; fine when there was nothing to write.
    station::FileResult logWrite;
    bool historyTried = false;
    history::Result historyWrite;
};

class PollingCycle {
public:
    using Clock = std::function<std::time_t()>;

    PollingCycle(
        AppContext& context, PollingHost& host, Clock now = [] { return std::time(nullptr); },
        PollingOptions options = {});

    // One tick of Timer1.
    TickReport tick();

    // showReadings: the presentation of currentReading. A change of measuring mode restarts
    // the live chart; the clock check runs; the redraw's texts go to the host.
    void showReadings();

    // Run by every redraw: schedules a clock write when the instrument's clock is more than
    // 300 s off the PC's.
    void checkClock();

    // The PC clock the cycle reads (tests fix it).
    void setClock(Clock now) { m_now = std::move(now); }
    [[nodiscard]] std::time_t now() const { return m_now(); }

    [[nodiscard]] live::PollingState& state() { return m_context.polling; }
    [[nodiscard]] const live::PollingState& state() const { return m_context.polling; }

private:
    void addChartPoint();
    void logReading(bool newMeasurement, TickReport& report);

    AppContext& m_context;
    PollingHost& m_host;
    Clock m_now;
    PollingOptions m_options;
    bool m_parametersRead = false;
    // The last measurement the history took, for offerEveryReading.
    std::optional<std::uint32_t> m_lastStoredCount;
};

} // namespace veltra::app
