#pragma once
// The start-up sequence (FormShow), run each time the main window becomes visible: until a view
// command or the transparency slider has set startupDone, it finds the instrument, reads its
// current data once and shows it, applies the language tables, reads the parameters, starts
// the polling cycle and arranges the windows. The decisions live here; the windows implement
// StartupHost.

#include "app/app_context.h"
#include "app/connection.h"
#include "app/parameters_tab.h"
#include "app/polling_cycle.h"

namespace veltra::app {

class StartupHost : public ConnectionMenuHost {
public:
    virtual void setCompactVisible(bool visible) = 0;
    // Checks "Русский" and unchecks "English" for Russian, the reverse for English.
    virtual void setLanguageMarks(Language language) = 0;
    // The text tables of the main window and the connection dialog (applyLanguage).
    virtual void applyLanguage(Language language) = 0;
    // Shows the parameters tab's state in its controls after a read.
    virtual void showParametersTab() = 0;
    virtual void showMainWindow() = 0;
    // "Полный" checked and "Краткий" not (full), or the reverse.
    virtual void setViewMarks(bool full) = 0;
    // TrackBar1; the slider clamps to 40..255, and a change of position runs its change handler
    // as if the user had moved it.
    virtual void setTransparencySlider(int position) = 0;
    // The compact window's opacity, 0..255.
    virtual void setCompactOpacity(int alpha) = 0;
};

class StartupSequence {
public:
    StartupSequence(AppContext& context, PollingCycle& cycle, StartupHost& host);

    // FormShow.
    void run();

    // Step 6: the current-data block over the port the scan left open; only a complete block
    // with its CRC counts.
    void startupRead();

private:
    AppContext& m_context;
    PollingCycle& m_cycle;
    StartupHost& m_host;
};

} // namespace veltra::app
