// veltra-cli ports.
#include "command.h"

#include "app/settings_file.h"
#include "link/serial_port.h"

namespace veltra::cli {

int commandPorts(const Invocation&, Streams io) {
    const link::PortCatalog catalog(app::portPins(app::readIniFile(app::settingsFilePath())),
                                    &link::systemSerialDevices);
    const auto entries = catalog.entries();
    if (entries.empty()) {
        io.err << "veltra-cli: no serial ports found\n";
    }
    for (const auto& entry : entries) {
        io.out << entry.number << '\t' << entry.device << (entry.pinned ? "\t(prog.ini)" : "")
               << '\n';
    }
    return exitOk;
}

} // namespace veltra::cli
