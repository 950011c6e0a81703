// veltra-cli poll: the instrument's current data once a second, printed, logged to CSV and
// published over MQTT; what a headless station runs (veltra-station@NAME.service). The program's
// polling cycle does each tick, in the station's loop.
#include "command.h"

#include "app/polling_cycle.h"
#include "app/text_tables.h"
#include "station/measurement_log.h"
#include "station/mqtt_publisher.h"
#include "station/station_loop.h"
#include "station/station_settings.h"
#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QFile>
#include <QFileInfo>

#include <ctime>

namespace veltra::cli {

namespace {

bool stopped(const Environment& environment) {
    return environment.stopRequested && environment.stopRequested();
}

} // namespace

bool applyStationConfig(Invocation& call, QTextStream& err) {
    if (call.config.isEmpty()) {
        return true;
    }
    QString why;
    const auto settings = station::readStationSettings(call.config, &why);
    if (!settings) {
        err << "veltra-cli: " << why << '\n';
        return false;
    }
    // What the command line says wins over the file.
    const std::pair<QString Invocation::*, const QString*> fields[] = {
        {&Invocation::port, &settings->port},
        {&Invocation::csv, &settings->csv},
        {&Invocation::csvFolder, &settings->csvFolder},
        {&Invocation::mqtt, &settings->mqtt},
        {&Invocation::mqttCredentials, &settings->mqttCredentials},
        {&Invocation::mqttCa, &settings->mqttCa},
        {&Invocation::name, &settings->name},
        {&Invocation::trace, &settings->trace},
    };
    for (const auto& [given, fromFile] : fields) {
        if ((call.*given).isEmpty()) {
            call.*given = *fromFile;
        }
    }
    if (settings->giveUp_s && !call.giveUpGiven) {
        call.giveUp_s = *settings->giveUp_s;
    }
    return true;
}

int commandPoll(const Invocation& call, Streams io) {
    const auto owned = contextFor(call, io);
    if (!owned) {
        return exitUsage;
    }
    Context& context = *owned;
    const QString port = portName(context);
    const auto failure = [&](const QString& what) {
        io.err << text::computerTimeText() << " veltra-cli: " << what << '\n';
        io.err.flush();
    };

    std::unique_ptr<station::MeasurementLog> log;
    if (!call.csv.isEmpty() || !call.csvFolder.isEmpty()) {
        if (!call.csv.isEmpty() && !call.csvFolder.isEmpty()) {
            io.err << "veltra-cli: poll takes --csv or --csv-folder, not both\n";
            return exitUsage;
        }
        const bool folder = !call.csvFolder.isEmpty();
        log = std::make_unique<station::MeasurementLog>(
            folder ? call.csvFolder : call.csv,
            folder ? station::MeasurementLog::Into::folder : station::MeasurementLog::Into::file,
            true);
        if (const station::FileResult opened = log->open(); !opened) {
            io.err << "veltra-cli: cannot open " << log->currentPath() << ": " << opened.reason
                   << '\n';
            return exitFailure;
        }
    }
    // The log's readings go into the dose history as well.
    if (log && !call.noHistory) {
        context.readingsHistory = std::make_unique<app::ReadingsHistory>(
            call.history.isEmpty() ? history::historyFileName : call.history);
    }
    station::MqttSettings mqttSettings;
    if (!call.mqtt.isEmpty()) {
        if (!station::MqttPublisher::available()) {
            io.err << "veltra-cli: --mqtt: MQTT is not available in this build\n";
            return exitUsage;
        }
        QString why;
        const auto parsed = station::parseMqttUrl(call.mqtt, &why);
        if (!parsed) {
            io.err << "veltra-cli: --mqtt: " << why << '\n';
            return exitUsage;
        }
        mqttSettings = *parsed;
        if (!station::readCredentials(call.mqttCredentials, mqttSettings, &why)) {
            io.err << "veltra-cli: " << why << '\n';
            return exitFailure;
        }
        if (!call.mqttCa.isEmpty()) {
            if (!mqttSettings.tls) {
                io.err << "veltra-cli: --mqtt-ca names the authority of a TLS broker: the URL is "
                          "mqtts://HOST[:PORT]\n";
                return exitUsage;
            }
            QFile ca;
            if (const station::FileResult opened =
                    station::openRegularFile(ca, call.mqttCa, QIODevice::ReadOnly);
                !opened) {
                io.err << "veltra-cli: cannot read " << call.mqttCa << ": " << opened.reason
                       << '\n';
                return exitFailure;
            }
            mqttSettings.caFile = call.mqttCa;
        }
    }

    // A station polls as the window does, with a station's choices.
    app::PollingHost quiet;
    app::PollingCycle cycle(
        context, quiet, [] { return std::time(nullptr); }, app::PollingOptions::station());
    context.readingsLog = std::move(log);

    station::StationLoop::Settings loopSettings;
    loopSettings.count = call.count;
    loopSettings.giveUp_s = call.giveUp_s;
    if (!call.mqtt.isEmpty()) {
        loopSettings.mqtt = mqttSettings;
    }
    station::StationLoop loop(
        loopSettings, [&] { return stopped(io.environment); }, failure);
    QString lastHistoryError;
    const auto tick = [&] {
        using Tick = station::StationLoop::Tick;
        const app::TickReport report = cycle.tick();
        switch (report.step) {
        case app::TickReport::Step::read:
            break;
        case app::TickReport::Step::noPort:
        case app::TickReport::Step::portNotOpened:
            if (loop.stopRequested()) {
                return Tick::stop;
            }
            failure(cannotOpen(context));
            return Tick::noReading;
        case app::TickReport::Step::readFailed:
            if (loop.stopRequested()) {
                return Tick::stop; // the signal cut the read short: no failure of the line
            }
            failure(QStringLiteral("%1: no valid answer: %2")
                        .arg(port, failureText(report.failure.outcome, report.failure.received,
                                               report.failure.expected)));
            return Tick::noReading;
        case app::TickReport::Step::clockWritten: // never, with a station's options
            return Tick::noReading;
        }
        if (!call.json && loop.readings() > 0) {
            io.out << '\n';
        }
        printReading(context.currentReading, viewFor(context, context.currentReading), call.json,
                     call.controls, io.out);
        if (!report.logWrite) {
            failure(QStringLiteral("cannot write %1: %2 (the reading's line was not written)")
                        .arg(context.readingsLog->currentPath(), report.logWrite.reason));
            return Tick::fail;
        }
        // A failure of the history told once while it lasts, not every second.
        if (report.historyTried) {
            if (!report.historyWrite && report.historyWrite.error != lastHistoryError) {
                failure(report.historyWrite.error +
                        QStringLiteral(" (readings go to the log only)"));
            }
            lastHistoryError = report.historyWrite.error;
        }
        if (loopSettings.mqtt) {
            // The topics name the instrument: as the user named it, or by its model and port,
            // once the parameters told the model.
            const int type = context.state.parameters.block.deviceType;
            const QString model = app::modelCaption(type, text::Language::english)
                                      .value_or(QStringLiteral("instrument"));
            const QString name =
                !call.name.isEmpty()
                    ? call.name
                    : model + u'-' +
                          QFileInfo(context.link.catalog().deviceName(context.state.portNumber))
                              .fileName();
            loop.publish(context.currentReading, report.computerTime, station::topicName(name),
                         model);
        }
        return Tick::reading;
    };
    const station::StationLoop::End end = loop.run(tick, port);
    if (end == station::StationLoop::End::failed || end == station::StationLoop::End::gaveUp) {
        return exitFailure;
    }
    if (stopped(io.environment)) {
        // Until interrupted is how an endless poll is meant to end, once it has read something;
        // a poll that had readings left to take did not do what it was asked.
        return call.count == 0 && loop.readings() > 0 ? exitOk : exitInterrupted;
    }
    return end == station::StationLoop::End::undelivered ? exitFailure : exitOk;
}

} // namespace veltra::cli
