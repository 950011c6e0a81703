#pragma once
// Finding the instrument and reconnecting to it: the port scan (scanForInstrument), which
// recognises the instrument by a successful parameter read, and the connection menu "Связь"
// (N13Click), which scans, lets the user choose between the port found and an auto-detect probe,
// and reopens the port. The scan reports through Events (the window's dialog or the tool); the
// menu through ConnectionMenuHost (the window).

#include "app/app_context.h"
#include "app/events.h"
#include "app/parameters_tab.h"
#include "app/polling_cycle.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace veltra::app {

inline constexpr int scanTimeLimitSeconds = 5000;
inline constexpr std::chrono::milliseconds scanPortWait{2000};

// Scans ports 1..255 in order (numbers that stand for no device fail at once and cost nothing),
// waiting 2 s after each port that opened before the parameter read that tests it. Sets
// portNumber and fills the port box with the number found; when nothing answers, portNumber
// keeps its value. A port that opened but did not answer stays open until the next open.
// Gives up when more than 5000 s have passed (checked before each port). True when found.
bool scanForInstrument(AppContext& context, Events& host, QChar decimalSeparator);

// What the connection menu needs of the window: the connection dialog, and the polling cycle's
// timer and charts, Timer2, the tabs.
class ConnectionMenuHost : public PollingHost {
public:
    // The search look: port box and both buttons hidden, progress bar shown, the dialog shown
    // without modality. The search label is shown when asked (the start-up) and otherwise keeps
    // its visibility; its text is set when one is given.
    virtual void showSearchLook(bool showLabel, const std::optional<QString>& labelText) = 0;
    virtual void hideDialog() = 0;
    // The choice look, modal: port box and buttons shown, progress bar and search label hidden.
    // True when it was closed with "Автоопределение" (autoDetectChosen), false with "ОК".
    virtual bool chooseConnection() = 0;

    virtual void startTimer2() = 0; // Timer1 again 3 s later
    virtual void clearLiveChart() = 0;
    virtual void clearArchiveChart() = 0;
    virtual void showResultsTab() = 0;
};

// N13Click, the menu command "Связь".
void runConnectionMenu(AppContext& context, ConnectionMenuHost& host, QChar decimalSeparator);

// The line the connection dialog shows beside its box for a port number: the device it stands
// for and, where the system tells them, the adapter's description and serial number; "no
// device" for a number that stands for none, nothing for an empty box (number 0), and a hint
// for a text that is no port number (number -1 or outside 1..255).
using DeviceDescription = std::function<std::optional<link::SerialDeviceInfo>(const QString&)>;
[[nodiscard]] QString portDeviceLine(const link::PortCatalog& catalog, int number,
                                     Language language, const DeviceDescription& describe);

} // namespace veltra::app
