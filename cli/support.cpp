#include "command.h"

#include "app/settings_file.h"
#include "link/serial_port.h"
#include "link/traced_serial_port.h"
#include "text/number_text.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cmath>

namespace veltra::cli {

using link::PortCatalog;

namespace {

std::unique_ptr<Context> contextOver(PortCatalog catalog, const Environment& environment,
                                     const QString& trace) {
    std::unique_ptr<link::SerialPort> port = link::makeSystemSerialPort();
    if (!trace.isEmpty()) {
        port = std::make_unique<link::TracedSerialPort>(std::move(port), trace);
    }
    auto context = std::make_unique<Context>(std::move(catalog), std::move(port));
    if (environment.wallClock) {
        context->wallClock = environment.wallClock;
    }
    if (environment.sleep) {
        context->sleep = environment.sleep;
    }
    if (environment.stopRequested) {
        context->link.setInterruption(environment.stopRequested);
    }
    return context;
}

} // namespace

std::unique_ptr<Context> catalogueContext(Streams io, const QString& trace) {
    const auto& lister = io.environment.serialDevices;
    // The settings file gives the port pins; one that cannot be read is said, once a command,
    // and the command goes on without them.
    const QString settings = app::settingsFilePath();
    const app::LoadedIni loaded = app::loadIniFile(settings);
    if (loaded.state == app::IniState::unreadable) {
        io.err << "veltra-cli: " << QDir::toNativeSeparators(settings) << " was not read ("
               << loaded.reason << "); going on without its port pins\n";
    }
    return contextOver(
        PortCatalog(app::portPins(loaded.ini), lister ? lister : &link::systemSerialDevices),
        io.environment, trace);
}

std::unique_ptr<Context> contextFor(const Invocation& call, Streams io) {
    bool isNumber = false;
    const int number = call.port.toInt(&isNumber, 10);
    std::unique_ptr<Context> context;
    if (isNumber) {
        if (number < link::firstPortNumber || number > link::lastPortNumber) {
            io.err << "veltra-cli: --port " << call.port
                   << ": a port number is 1..255 (see 'veltra-cli ports')\n";
            return nullptr;
        }
        context = catalogueContext(io, call.trace);
        context->state.portNumber = static_cast<std::uint8_t>(number);
    } else {
        // A path with a directory in it is the user's, relative to the current directory; a
        // bare name (ttyUSB0, COM3) is the system's own.
        const QString device =
            call.port.contains(u'/') ? QFileInfo(call.port).absoluteFilePath() : call.port;
        context = contextOver(PortCatalog({{1, device}}, {}), io.environment, call.trace);
        context->state.portNumber = 1;
        context->portGiven = call.port;
    }
    context->state.language = call.language;
    return context;
}

std::unique_ptr<Context> openedContextFor(const Invocation& call, Streams io, int& exitCode) {
    auto context = contextFor(call, io);
    if (!context) {
        exitCode = exitUsage;
        return nullptr;
    }
    if (!context->ensurePortOpen()) {
        io.err << "veltra-cli: " << cannotOpen(*context) << '\n';
        exitCode = failedOrInterrupted(io.environment);
        return nullptr;
    }
    return context;
}

QString portName(const Context& context) {
    if (!context.portGiven.isEmpty()) {
        return context.portGiven;
    }
    const QString device = context.link.catalog().deviceName(context.state.portNumber);
    return QStringLiteral("port %1 (%2)")
        .arg(context.state.portNumber)
        .arg(device.isEmpty() ? QStringLiteral("no device; see 'veltra-cli ports'") : device);
}

QString cannotOpen(const Context& context) {
    const QString why = context.link.openErrorText();
    return QStringLiteral("cannot open %1%2")
        .arg(portName(context), why.isEmpty() ? QString() : QStringLiteral(": ") + why);
}

int failedOrInterrupted(const Environment& environment) {
    return environment.stopRequested && environment.stopRequested() ? exitInterrupted : exitFailure;
}

QString number9(double v) {
    return text::number9(v);
}

QJsonValue json9(double v) {
    if (!std::isfinite(v)) {
        return QJsonValue(v); // written as null
    }
    // The double nearest to the nine-digit text prints as that text again.
    return QJsonValue(number9(v).toDouble());
}

void printJson(QTextStream& out, const QJsonObject& object) {
    out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << '\n';
    out.flush();
}

Field integerField(const char* name, qint64 value) {
    return {QString::fromLatin1(name), QString::number(value), QJsonValue(value)};
}

Field realField(const char* name, double value) {
    return {QString::fromLatin1(name), number9(value), json9(value)};
}

QJsonObject jsonObject(const std::vector<Field>& fields) {
    QJsonObject object;
    for (const Field& field : fields) {
        object.insert(field.name, field.json);
    }
    return object;
}

void printFields(QTextStream& out, const std::vector<Field>& fields, int width) {
    for (const Field& field : fields) {
        out << field.name.leftJustified(width) << field.text << '\n';
    }
}

QString failureText(instrument::Outcome outcome, std::uint32_t got, std::uint32_t expected) {
    using instrument::Outcome;
    switch (outcome) {
    case Outcome::portNotOpen:
        return QStringLiteral("the port could not be opened");
    case Outcome::noHeader:
        return QStringLiteral("the instrument did not answer");
    case Outcome::headerCrc:
        return QStringLiteral("the reply header failed its CRC check");
    case Outcome::dataShort: // the header came whole: count the data and their CRC
        return QStringLiteral("the reply was cut short (%1 of %2 bytes)")
            .arg(got - std::min<std::uint32_t>(got, link::Frame::size))
            .arg(expected - std::min<std::uint32_t>(expected, link::Frame::size));
    case Outcome::dataCrc:
        return QStringLiteral("the reply data failed their CRC check");
    case Outcome::refused:
        return QStringLiteral("the request does not fit the transfer buffer");
    case Outcome::writtenShort:
        return QStringLiteral("the request did not go out (%1 of %2 bytes)").arg(got).arg(expected);
    case Outcome::noParameters:
        return QStringLiteral("the parameters have not been read");
    case Outcome::badCell:
        return QStringLiteral("a threshold is not a number");
    case Outcome::declined:
        return QStringLiteral("not confirmed");
    case Outcome::gaveUp:
        return QStringLiteral("the line kept failing");
    case Outcome::interrupted:
        return QStringLiteral("interrupted");
    case Outcome::ok:
        break;
    }
    return QStringLiteral("the reply was incomplete (%1 of %2 bytes)").arg(got).arg(expected);
}

bool readParametersFor(Context& context, QTextStream& err, QChar separator) {
    QuietHost host;
    instrument::ReadFacts failed;
    if (app::readParameters(context, host, false, separator, &failed)) {
        return true;
    }
    if (failed.outcome == instrument::Outcome::portNotOpen) {
        err << "veltra-cli: " << cannotOpen(context) << '\n';
    } else {
        err << "veltra-cli: " << portName(context) << ": no valid answer to the parameter read: "
            << failureText(failed.outcome, failed.received, failed.expected) << '\n';
    }
    return false;
}

} // namespace veltra::cli
