#pragma once
// The one object that owns the process-wide state: AppState, the device link and the current
// reading. The windows and the command-line tool are handed a reference to it; nothing here is
// a global.

#include "app/app_state.h"
#include "link/device_link.h"
#include "live/current_data.h"
#include "live/presentation.h"

#include <memory>

namespace veltra::app {

class AppContext {
public:
    explicit AppContext(link::PortCatalog catalog,
                        std::unique_ptr<link::SerialPort> port = link::makeSystemSerialPort())
        : link(state.portNumber, std::move(catalog), std::move(port)) {}

    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    AppState state;
    link::DeviceLink link; // reads state.portNumber; declared after it
    live::CurrentData currentReading;
    // The thresholds in effect, from the last parameter read (none before one).
    live::ThresholdsInEffect thresholdsInEffect;
};

} // namespace veltra::app
