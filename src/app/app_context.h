#pragma once
// The one object that owns the process-wide state: AppState, the device link and the current
// reading. The windows and the command-line tool are handed a reference to it; nothing here is
// a global.

#include "app/app_state.h"
#include "app/archive_tab.h"
#include "app/history_link.h"
#include "app/parameters_tab.h"
#include "archive/archive_image.h"
#include "link/device_link.h"
#include "live/current_data.h"
#include "live/polling_state.h"
#include "live/presentation.h"
#include "station/measurement_log.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

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
    std::unique_ptr<station::MeasurementLog> readingsLog;
    // The dose history given by --history FILE; empty: history.sqlite beside prog.ini. While
    // the log is kept, its readings go there too.
    QString historyPath;
    std::unique_ptr<ReadingsHistory> readingsHistory;
    // The identity of the instrument on the port lineIdentityPort, as the program last heard it.
    std::optional<instrument::IdentityBlock> lineIdentity;
    std::uint8_t lineIdentityPort = 0;
    // The port numbers the last scan put in the connection dialog's port box, in its order:
    // what the connection menu's auto-detect tries (the box is never read back).
    std::vector<int> scannedPorts;

    // The clocks of the port scan and the connection menu: their 5000-second limits read the
    // wall clock in whole seconds; the scan's 2-second wait after a port opened sleeps. Tests
    // count the waits instead of sleeping them.
    std::function<std::time_t()> wallClock = [] { return std::time(nullptr); };
    std::function<void(std::chrono::milliseconds)> sleep;

    // What a group of transactions is, for the window that runs it: one short transaction
    // (a tick, a parameter read) or one of the long operations that has its own "Отмена".
    enum class DeviceWork { transactions, archiveRead, portScan };
    // Runs a group of transactions. The window hands it to its device worker and keeps its own
    // events going meanwhile (painting and the window system's own; user input and the timers'
    // ticks wait until the group has ended, or, for the long operations, the controls that would
    // start another are disabled), calling tick on its own thread every 50 ms and once at the
    // end. Without a runner (the tool, the core's tests) the work runs where it is called.
    std::function<void(const std::function<void()>& work, const std::function<void()>& tick,
                       DeviceWork kind)>
        deviceWork;
    // Runs fn on the interface thread and waits for it (the window's, for work on its device
    // worker that must show something meanwhile); none: fn runs where it is asked.
    std::function<void(const std::function<void()>& fn)> onInterface;

    // Runs work where deviceWork puts it and returns what it returned. A group asked for from
    // inside another group runs inside it.
    template <class Work>
    std::invoke_result_t<Work&> onDevice(Work&& work, DeviceWork kind = DeviceWork::transactions,
                                         const std::function<void()>& tick = {}) {
        using Result = std::invoke_result_t<Work&>;
        if (!deviceWork || t_onDevice) {
            return work();
        }
        const std::function<void()> ticking = tick ? tick : [] {};
        if constexpr (std::is_void_v<Result>) {
            deviceWork(
                [&] {
                    const DeviceScope scope;
                    work();
                },
                ticking, kind);
        } else {
            std::optional<Result> result;
            deviceWork(
                [&] {
                    const DeviceScope scope;
                    result.emplace(work());
                },
                ticking, kind);
            // A runner that could not take the group (one already holds the port) leaves the
            // result as a failed exchange.
            static_assert(std::is_default_constructible_v<Result>);
            return result ? std::move(*result) : Result{};
        }
    }
    // Runs fn on the interface thread when there is one to go to, else here.
    void showFromDevice(const std::function<void()>& fn) {
        if (onInterface && t_onDevice) {
            onInterface(fn);
        } else {
            fn();
        }
    }

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

private:
    static inline thread_local bool t_onDevice = false;
    struct DeviceScope {
        DeviceScope() { t_onDevice = true; }
        ~DeviceScope() { t_onDevice = false; }
        DeviceScope(const DeviceScope&) = delete;
        DeviceScope& operator=(const DeviceScope&) = delete;
    };
};

} // namespace veltra::app
