#pragma once
// The one object that owns the process-wide state: AppState, the device link and the current
// reading. The windows and the command-line tool are handed a reference to it; nothing here is
// a global.

#include "app/app_state.h"
#include "app/archive_tab.h"
#include "app/history_link.h"
#include "app/measurement_log.h"
#include "app/parameters_tab.h"
#include "archive/archive_image.h"
#include "link/device_link.h"
#include "live/current_data.h"
#include "live/polling_state.h"
#include "live/presentation.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

namespace veltra::app {

class AppContext {
public:
    explicit AppContext(link::PortCatalog catalog,
                        std::unique_ptr<link::SerialPort> port = link::makeSystemSerialPort())
        : link(std::move(catalog), std::move(port)) {
        // The scan's wait ends early when the link is interrupted (a signal), as its reads do.
        sleep = [this](std::chrono::milliseconds d) {
            const auto until = std::chrono::steady_clock::now() + d;
            while (!link.interrupted() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                    until - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
            }
        };
    }

    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    AppState state;
    link::DeviceLink link;
    live::CurrentData currentReading;
    live::PollingState polling;
    ParametersTab parametersTab;   // the parameters tab's state, shared by window and tool
    archive::ArchiveImage archive; // the local copy of the instrument's archive
    ArchiveTab archiveTab;         // the archive tab's state
    // The measurement log the window keeps when asked ("Журнал измерений"); none otherwise.
    std::unique_ptr<MeasurementLog> readingsLog;
    // The dose history given by --history FILE; empty: history.sqlite beside prog.ini. While
    // the log is kept, its readings go there too.
    QString historyPath;
    std::unique_ptr<ReadingsHistory> readingsHistory;
    // The identity of the instrument on the port lineIdentityPort, as the program last heard it.
    std::optional<instrument::IdentityBlock> lineIdentity;
    std::uint8_t lineIdentityPort = 0;

    // The clocks of the port scan and the connection menu: their 5000-second limits read the
    // wall clock in whole seconds; the scan's 2-second wait after a port opened sleeps. Tests
    // count the waits instead of sleeping them.
    std::function<std::time_t()> wallClock = [] { return std::time(nullptr); };
    std::function<void(std::chrono::milliseconds)> sleep;

    // Runs a group of transactions. The window hands it to its device worker and keeps its own
    // events going meanwhile, calling tick on its own thread every 50 ms and once at the end;
    // without a runner (the tool, the core's tests) it runs here and tick is not needed.
    std::function<void(const std::function<void()>& work, const std::function<void()>& tick)>
        deviceWork;

    // Reopens the selected port (state.portNumber), with one retry.
    bool ensurePortOpen() { return link.ensurePortOpen(state.portNumber); }

    // The thresholds in effect, from the decoded parameter copy (none before a read).
    [[nodiscard]] live::ThresholdsInEffect thresholdsInEffect() const {
        const params::ParameterBlock& p = state.parameters.block;
        return {p.doseRateThresholdNo,
                {p.doseRateThresholds[0], p.doseRateThresholds[1], p.doseRateThresholds[2]},
                p.doseThresholdNo,
                {p.doseThresholds[0], p.doseThresholds[1], p.doseThresholds[2]}};
    }
};

} // namespace veltra::app
