#include "link/port_catalog.h"

#include <algorithm>

namespace veltra::link {

namespace {

bool validNumber(int n) {
    return n >= firstPortNumber && n <= lastPortNumber;
}

} // namespace

PortCatalog::PortCatalog(std::map<int, QString> pins, DeviceLister lister, Naming naming)
    : m_lister(std::move(lister)), m_naming(naming) {
    for (auto& [number, device] : pins) {
        if (validNumber(number) && !device.isEmpty()) {
            m_pins.emplace(number, std::move(device));
        }
    }
    refresh();
}

void PortCatalog::refresh() {
    m_assigned.clear();
    if (m_naming == Naming::ComNames || !m_lister) {
        return;
    }
    QStringList devices = m_lister();
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());

    int next = firstPortNumber;
    for (const QString& device : devices) {
        const bool alreadyPinned = std::any_of(
            m_pins.begin(), m_pins.end(), [&](const auto& pin) { return pin.second == device; });
        if (device.isEmpty() || alreadyPinned) {
            continue;
        }
        while (validNumber(next) && m_pins.contains(next)) {
            ++next;
        }
        if (!validNumber(next)) {
            break;
        }
        m_assigned.emplace(next++, device);
    }
}

QString PortCatalog::deviceName(int number) const {
    if (!validNumber(number)) {
        return {};
    }
    if (const auto pin = m_pins.find(number); pin != m_pins.end()) {
        return pin->second;
    }
    if (m_naming == Naming::ComNames) {
        return QStringLiteral("COM%1").arg(number);
    }
    const auto it = m_assigned.find(number);
    return it != m_assigned.end() ? it->second : QString();
}

std::vector<PortEntry> PortCatalog::entries() const {
    std::vector<PortEntry> out;
    for (int n = firstPortNumber; n <= lastPortNumber; ++n) {
        if (QString device = deviceName(n); !device.isEmpty()) {
            out.push_back({n, std::move(device), m_pins.contains(n)});
        }
    }
    return out;
}

} // namespace veltra::link
