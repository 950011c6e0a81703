#pragma once
// Port numbers 1..255 and the devices they stand for.
//
// Windows: number n is "COMn".
// Elsewhere: numbers pinned by the user ([Ports] in prog.ini, "COM3=/dev/rfcomm0") win; the
// other numbers, from 1 up, go in order to the serial devices the system lists, sorted by path,
// skipping the paths already pinned. A number that maps to nothing opens nothing, exactly as an
// absent COM port fails to open.
//
// The catalogue reads no file and asks the system nothing itself: whoever builds it hands it the
// pins and the function that lists the system's serial devices.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace veltra::link {

inline constexpr int firstPortNumber = 1;
inline constexpr int lastPortNumber = 255;

struct PortEntry {
    int number = 0;
    QString device;
    bool pinned = false;

    friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

class PortCatalog {
public:
    using DeviceLister = std::function<QStringList()>;
    enum class Naming { ComNames, DevicePaths };

    // The platform's naming: COM names on Windows, device paths elsewhere.
    static constexpr Naming platformNaming() {
#ifdef _WIN32
        return Naming::ComNames;
#else
        return Naming::DevicePaths;
#endif
    }

    // Only the pinned numbers stand for a device (no lister).
    PortCatalog() = default;
    PortCatalog(std::map<int, QString> pins, DeviceLister lister, Naming naming = platformNaming());

    // The device for a port number; empty when the number stands for nothing.
    [[nodiscard]] QString deviceName(int number) const;

    // Every number that stands for a device, ascending.
    [[nodiscard]] std::vector<PortEntry> entries() const;

    // Asks the system again for its serial devices (an adapter plugged in since).
    void refresh();

    [[nodiscard]] const std::map<int, QString>& pins() const {
        return m_pins;
    }

private:
    std::map<int, QString> m_pins;
    DeviceLister m_lister;
    Naming m_naming = platformNaming();
    std::map<int, QString> m_assigned; // unpinned numbers, from the last listing
};

} // namespace veltra::link
