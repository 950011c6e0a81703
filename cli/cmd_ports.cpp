// veltra-cli's port commands: ports (the catalogue) and scan (finding the instrument).
#include "command.h"

#include "app/connection.h"
#include "link/serial_port.h"
#include "text/number_text.h"

#include <QJsonObject>

namespace veltra::cli {

namespace {

// The scan's progress, one line per port that stands for a device, on stderr.
class ScanProgress final : public app::Events {
public:
    ScanProgress(QTextStream& err, const link::DeviceLink& link) : m_err(err), m_link(link) {}

    void portTried(int number, const QString& device, PortResult result) override {
        ++tried;
        m_err << "veltra-cli: port " << number << " (" << device << "): ";
        switch (result) {
        case PortResult::found:
            m_err << "the instrument answered\n";
            break;
        case PortResult::noAnswer:
            m_err << "opened, no instrument answered\n";
            break;
        case PortResult::notOpened: {
            const QString why = m_link.openErrorText();
            m_err << "cannot open" << (why.isEmpty() ? QString() : QStringLiteral(": ") + why)
                  << '\n';
            break;
        }
        }
        m_err.flush();
    }

    int tried = 0;

private:
    QTextStream& m_err;
    const link::DeviceLink& m_link;
};

QString detailsOf(const QString& device) {
    const auto info = link::describeSerialDevice(device);
    if (!info) {
        return {};
    }
    QStringList parts;
    for (const QString& part : {info->description, info->manufacturer}) {
        if (!part.isEmpty() && !parts.join(u' ').contains(part)) {
            parts << part;
        }
    }
    if (!info->serialNumber.isEmpty()) {
        parts << QStringLiteral("s/n ") + info->serialNumber;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

int commandPorts(const Invocation&, Streams io) {
    const auto context = catalogueContext(io);
    const auto entries = context->link.catalog().entries();
    if (entries.empty()) {
        io.err << "veltra-cli: no serial ports found\n";
    }
    for (const auto& entry : entries) {
        const QString details = detailsOf(entry.device);
        io.out << entry.number << '\t' << entry.device
               << (details.isEmpty() ? QString() : u'\t' + details)
               << (entry.pinned ? "\t(prog.ini)" : "") << '\n';
    }
    return exitOk;
}

int commandScan(const Invocation& call, Streams io) {
    const auto context = catalogueContext(io, call.trace);
    if (context->link.catalog().entries().empty()) {
        io.err << "veltra-cli: no serial ports found; pin one in prog.ini's [Ports] section "
                  "(COM1=/dev/ttyUSB0)\n";
        return exitFailure;
    }
    ScanProgress progress(io.err, context->link);
    if (!app::scanForInstrument(*context, progress, text::userDecimalSeparator())) {
        io.err << "veltra-cli: no instrument answered on any port (" << progress.tried
               << " tried)\n";
        return exitFailure;
    }
    const int number = context->state.portNumber;
    const QString device = context->link.catalog().deviceName(number);
    if (call.json) {
        printJson(io.out, QJsonObject{{"portNumber", number}, {"device", device}});
    } else {
        io.out << number << '\t' << device << '\n';
    }
    return exitOk;
}

} // namespace veltra::cli
