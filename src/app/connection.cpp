#include "app/connection.h"

#include "instrument/transactions.h"

#include <algorithm>
#include <vector>

namespace veltra::app {

namespace {

bool pastLimit(const AppContext& context, std::time_t start) {
    return context.wallClock() - start > scanTimeLimitSeconds;
}

// The scan's host as the device worker reaches it: each call runs on the interface thread, in
// the order the scan makes them, and the scan goes on once it has.
class ScanRelay final : public Events {
public:
    ScanRelay(AppContext& context, Events& host) : m_context(context), m_host(host) {}

    void showStatus(StatusColour colour, const StatusMessage& message) override {
        show([&] { m_host.showStatus(colour, message); });
    }
    void showNoConnection() override {
        show([&] { m_host.showNoConnection(); });
    }
    void setSoftwareVersion(int version) override {
        show([&] { m_host.setSoftwareVersion(version); });
    }
    void clearPortList() override {
        show([&] { m_host.clearPortList(); });
    }
    void addPortRow(int number) override {
        show([&] { m_host.addPortRow(number); });
    }
    void selectPortRow(int row) override {
        show([&] { m_host.selectPortRow(row); });
    }
    void setScanProgress(int port) override {
        show([&] { m_host.setScanProgress(port); });
    }
    void paintScanProgress() override {
        show([&] { m_host.paintScanProgress(); });
    }
    void portTried(int number, const QString& device, PortResult result) override {
        show([&] { m_host.portTried(number, device, result); });
    }

private:
    void show(const std::function<void()>& fn) { m_context.showFromDevice(fn); }

    AppContext& m_context;
    Events& m_host;
};

bool scanPorts(AppContext& context, Events& host, QChar separator);

} // namespace

bool scanForInstrument(AppContext& context, Events& host, QChar separator) {
    // The whole scan is one group on the device worker, so that "Отмена" ends it wherever it
    // stands; what it shows meanwhile goes back to the interface thread (without a worker the
    // relay calls the host in place).
    ScanRelay relay(context, host);
    return context.onDevice([&] { return scanPorts(context, relay, separator); },
                            AppContext::DeviceWork::portScan);
}

namespace {

bool scanPorts(AppContext& context, Events& host, QChar separator) {
    host.clearPortList();
    context.scannedPorts.clear();
    const std::time_t start = context.wallClock();
    host.paintScanProgress();
    for (int port = link::firstPortNumber; port <= link::lastPortNumber; ++port) {
        if (pastLimit(context, start) || context.link.interrupted()) {
            break;
        }
        const QString device = context.link.catalog().deviceName(port);
        if (context.link.openPortNumber(static_cast<std::uint8_t>(port))) {
            context.sleep(scanPortWait);
            if (!context.link.interrupted() && readParameters(context, host, true, separator)) {
                host.addPortRow(port);
                context.scannedPorts.push_back(port);
                host.selectPortRow(0);
                host.setScanProgress(port);
                context.state.portNumber = static_cast<std::uint8_t>(port);
                host.portTried(port, device, Events::PortResult::found);
                host.paintScanProgress();
                return true;
            }
            host.portTried(port, device, Events::PortResult::noAnswer);
        } else if (!device.isEmpty()) {
            host.portTried(port, device, Events::PortResult::notOpened);
        }
        host.selectPortRow(0);
        host.setScanProgress(port);
        host.paintScanProgress();
    }
    return false;
}

} // namespace

void runConnectionMenu(AppContext& context, ConnectionMenuHost& host, QChar separator) {
    AppState& state = context.state;
    host.setTimer1Enabled(false);
    host.showSearchLook(false,
                        text::Bilingual("Поиск устройства...", "Searching...").in(state.language));
    scanForInstrument(context, host, separator);
    host.hideDialog();
    const bool autoDetect = host.chooseConnection();
    const std::time_t start = context.wallClock();

    if (state.portNumber == 0) {
        // No instrument was ever found: the polling cycle stays stopped, as it would stop
        // itself at its next tick; say so instead of leaving the window silent.
        host.showStatus(StatusColour::red, status::noInstrument);
        return;
    }
    if (autoDetect) {
        bool passed = false;
        const std::vector<int> rows = context.scannedPorts;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (pastLimit(context, start)) {
                break;
            }
            host.selectPortRow(static_cast<int>(row));
            const int n = rows[row];
            if (n < link::firstPortNumber || n > link::lastPortNumber) {
                continue;
            }
            if (context.onDevice([&] {
                    return context.link.openPortNumber(static_cast<std::uint8_t>(n)) &&
                           instrument::probeIdentity(context.link).ok();
                })) {
                state.portNumber = static_cast<std::uint8_t>(n);
                // The first row with the number, as the box shows it.
                const auto first = std::find(rows.begin(), rows.end(), n);
                host.selectPortRow(static_cast<int>(first - rows.begin()));
                passed = true;
                break;
            }
        }
        if (!passed) {
            state.portNumber = 0;
        }
    } else if (!context.onDevice([&] { return context.link.openSelectedPort(state.portNumber); })) {
        // "ОК" reopens the port already selected, not the one typed in the box.
        host.showStatus(StatusColour::red, status::portOpenError);
        host.showNoConnection();
        host.startTimer2();
        return;
    }

    if (state.portNumber == 0) {
        host.showStatus(StatusColour::red, status::connectionError);
    } else {
        state.parametersRead = false;
        context.polling.readFailureCount = 0;
    }
    host.clearLiveChart();
    host.clearArchiveChart();
    host.showResultsTab();
    host.setTimer1Enabled(true);
}

} // namespace veltra::app

namespace veltra::app {

QString portDeviceLine(const link::PortCatalog& catalog, int number, Language language,
                       const DeviceDescription& describe) {
    if (number == 0) {
        return {};
    }
    if (number < link::firstPortNumber || number > link::lastPortNumber) {
        return text::pick(language, "номер порта: от 1 до 255", "port number: 1 to 255");
    }
    const QString device = catalog.deviceName(number);
    if (device.isEmpty()) {
        return text::pick(language, "нет устройства", "no device");
    }
    QString line = device;
    if (const auto info = describe ? describe(device) : std::nullopt) {
        QStringList details;
        if (!info->description.isEmpty()) {
            details << info->description;
        }
        if (!info->manufacturer.isEmpty() && !info->description.contains(info->manufacturer)) {
            details << info->manufacturer;
        }
        if (!info->serialNumber.isEmpty()) {
            details << QStringLiteral("s/n ") + info->serialNumber;
        }
        if (!details.isEmpty()) {
            line += u'\n' + details.join(QStringLiteral(", "));
        }
    }
    return line;
}

} // namespace veltra::app
