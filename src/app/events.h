#pragma once
// What an operation tells while it runs, through one interface: a status message, the reset of
// the readings after a failed connection, the software version the parameters brought, the
// scan's ports and progress, the archive read's progress and state, and the one question an
// operation asks (may the archive be erased?). The window implements all of it; the tool and
// the tests only what they use: everything else does nothing, and the question's answer is no.
// The window's own views that the polling cycle, the connection menu and the start-up drive
// are one line of hosts built on this one, each adding what the next needs: PollingHost
// (polling_cycle.h), ConnectionMenuHost (connection.h), StartupHost (startup_sequence.h).

#include "app/status_messages.h"

#include <QString>

namespace veltra::app {

class Events {
public:
    virtual ~Events() = default;

    // The status line.
    virtual void showStatus(StatusColour /*colour*/, const StatusMessage& /*message*/) {}
    // The readings reset after a failed connection.
    virtual void showNoConnection() {}
    // The software version the parameters brought (both About windows show it).
    virtual void setSoftwareVersion(int /*version*/) {}

    // The scan: the connection dialog's port box and progress bar.
    virtual void clearPortList() {}
    virtual void addPortRow(int /*number*/) {} // the number as decimal text
    virtual void selectPortRow(int /*row*/) {} // nothing when there is no such row
    virtual void setScanProgress(int /*port*/) {}
    // Paints the dialog's search label and progress bar now, without handling any input or
    // timer: before the first port and after each port.
    virtual void paintScanProgress() {}
    // A port that stands for a device was tried (for a terminal's progress lines).
    enum class PortResult { notOpened, noAnswer, found };
    virtual void portTried(int /*number*/, const QString& /*device*/, PortResult /*result*/) {}

    // The archive tab: the read's progress indicator with the records read so far (0..800),
    // repainted without running the event loop; -1 hides it.
    virtual void showReadProgress(int /*recordsRead*/) {}
    // The tab's state shown in its controls.
    virtual void showArchiveTab() {}
    // Asked before the instrument's archive is erased; no unless the user says yes.
    [[nodiscard]] virtual bool confirmErase() { return false; }
    // The memory-fill indicator after an erase: "0%", an empty bar, the button-face colour.
    virtual void resetMemoryFill() {}
};

} // namespace veltra::app
