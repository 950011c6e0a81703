#pragma once
// The polling cycle: one tick a second reopens the selected port and reads the instrument's
// current data, or writes its clock when the last redraw found it more than 300 s off. A new
// measurement (or a requested redraw) is shown and becomes a chart point. The window implements
// PollingHost; the cycle, the mode-change test and the clock check have no widgets.

#include "app/app_context.h"
#include "app/events.h"
#include "app/status_messages.h"
#include "live/live_chart.h"
#include "live/presentation.h"

#include <ctime>
#include <functional>

namespace veltra::app {

class PollingHost : public virtual Events {
public:
    virtual void setTimer1Enabled(bool enabled) = 0;
    // Shows the windows the view mode asks for (main window or compact window).
    virtual void enforceViewMode() = 0;
    // What a change of measuring mode does to the live chart: clear its series, put its
    // vertical maximum back to 0.5, set its title (chartMaximum is already reset).
    virtual void restartLiveChart(const live::ChartRestart& restart) = 0;
    // The texts and colours of one redraw.
    virtual void applyReadings(const live::ReadingsView& view) = 0;
    // Turns the time labels on and sets the vertical maximum; adds the point only when plot.
    // key: the instrument's clock time as the chart counts it (text::chartAxisKey).
    virtual void chartPoint(double key, double y, double axisMaximum, bool plot) = 0;
};

// The cycle also hands every new measurement to the context's readings log, when there is one.
class PollingCycle {
public:
    using Clock = std::function<std::time_t()>;

    PollingCycle(
        AppContext& context, PollingHost& host, Clock now = [] { return std::time(nullptr); });

    // One tick of Timer1.
    void tick();

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
    void logReading();

    AppContext& m_context;
    PollingHost& m_host;
    Clock m_now;
};

} // namespace veltra::app
