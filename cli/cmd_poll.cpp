// veltra-cli poll: the instrument's current data once a second, printed, logged to CSV and
// published over MQTT; what a headless station runs (veltra-station@NAME.service).
#include "command.h"

#include "app/text_tables.h"
#include "instrument/transactions.h"
#include "station/measurement_log.h"
#include "station/mqtt_publisher.h"
#include "station/station_settings.h"
#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <thread>

namespace veltra::cli {

namespace {

using Steady = std::chrono::steady_clock;

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

    std::optional<station::MeasurementLog> log;
    if (!call.csv.isEmpty() || !call.csvFolder.isEmpty()) {
        if (!call.csv.isEmpty() && !call.csvFolder.isEmpty()) {
            io.err << "veltra-cli: poll takes --csv or --csv-folder, not both\n";
            return exitUsage;
        }
        const bool folder = !call.csvFolder.isEmpty();
        log.emplace(folder ? call.csvFolder : call.csv,
                    folder ? station::MeasurementLog::Into::folder
                           : station::MeasurementLog::Into::file,
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
    std::unique_ptr<station::MqttPublisher> mqtt;
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

    const auto start = Steady::now();
    auto lastValid = start;
    bool parametersRead = false;
    int readings = 0;
    QString lastMqttError;
    QString lastHistoryError;
    std::optional<std::uint32_t> lastStoredCount;
    std::optional<std::uint32_t> lastPublished;
    // Waits until t, keeping the broker's connection going; false when asked to end.
    const auto waitUntil = [&](Steady::time_point t) {
        while (Steady::now() < t && !stopped(io.environment)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(t - Steady::now());
            const int slice = static_cast<int>(std::min<long long>(left.count(), 50));
            if (mqtt) {
                mqtt->service(slice);
                if (mqtt->lastError() != lastMqttError) {
                    lastMqttError = mqtt->lastError();
                    if (!lastMqttError.isEmpty()) {
                        failure(QStringLiteral("MQTT %1:%2: %3 (%4 readings wait)")
                                    .arg(mqttSettings.host)
                                    .arg(mqttSettings.port)
                                    .arg(lastMqttError)
                                    .arg(mqtt->waiting()));
                    }
                }
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::max(slice, 1)));
            }
        }
        return !stopped(io.environment);
    };

    for (std::int64_t tick = 0; call.count == 0 || readings < call.count; ++tick) {
        // Once a second, as the program polls.
        if (tick > 0 && !waitUntil(start + std::chrono::seconds(tick))) {
            break; // asked to end: what was read is printed, the files are whole
        }
        bool valid = false;
        // As the polling cycle: a failed open is tried once more at once.
        if (!context.ensurePortOpen() && !context.ensurePortOpen()) {
            if (stopped(io.environment)) {
                break;
            }
            failure(cannotOpen(context));
        } else {
            if (!parametersRead) {
                // The thresholds in effect and the model come from the parameters; a failed read
                // leaves them unknown (" - ") and the poll below reports the link.
                QString ignored;
                QTextStream quiet(&ignored);
                parametersRead = readParametersFor(context, quiet, text::userDecimalSeparator());
            }
            const auto read = instrument::readCurrentData(context.link);
            if (!read.ok()) {
                if (stopped(io.environment)) {
                    break; // the signal cut the read short: no failure of the line
                }
                if (context.readingsHistory) {
                    context.readingsHistory->lineChanged();
                }
                failure(QStringLiteral("%1: no valid answer: %2")
                            .arg(port, failureText(read.outcome, read.received, read.expected)));
            } else {
                valid = true;
                context.currentReading = *read.value;
                if (!call.json && readings > 0) {
                    io.out << '\n';
                }
                printReading(context.currentReading, viewFor(context, context.currentReading),
                             call.json, call.controls, io.out);
                ++readings;
                const QString now = text::computerTimeText();
                if (log) {
                    if (const station::FileResult w =
                            log->add(context.currentReading, now, QDate::currentDate());
                        !w) {
                        failure(QStringLiteral("cannot write %1: %2 (the reading's line was not "
                                               "written)")
                                    .arg(log->currentPath(), w.reason));
                        return exitFailure;
                    }
                }
                // A new measurement into the history, as the log takes it; a failure told once
                // while it lasts, not every second.
                if (context.readingsHistory &&
                    context.currentReading.measurementCount != lastStoredCount) {
                    const history::Result r =
                        context.readingsHistory->add(context, context.currentReading, now);
                    if (r) {
                        lastStoredCount = context.currentReading.measurementCount;
                    } else if (r.error != lastHistoryError) {
                        failure(r.error + QStringLiteral(" (readings go to the log only)"));
                    }
                    lastHistoryError = r.error;
                }
                if (!call.mqtt.isEmpty()) {
                    if (!mqtt) {
                        // The topics name the instrument: as the user named it, or by its model
                        // and port, once the parameters told the model.
                        const int type = context.state.parameters.block.deviceType;
                        mqttSettings.model = app::modelCaption(type, text::Language::english)
                                                 .value_or(QStringLiteral("instrument"));
                        mqttSettings.name = station::topicName(
                            !call.name.isEmpty() ? call.name
                                                 : mqttSettings.model + u'-' +
                                                       QFileInfo(context.link.catalog().deviceName(
                                                                     context.state.portNumber))
                                                           .fileName());
                        mqtt = std::make_unique<station::MqttPublisher>(mqttSettings);
                    }
                    // One message per new measurement, as the log has one line.
                    if (context.currentReading.measurementCount != lastPublished) {
                        lastPublished = context.currentReading.measurementCount;
                        mqtt->publish(context.currentReading, now);
                    }
                }
            }
        }
        const auto now = Steady::now();
        if (valid) {
            lastValid = now;
        } else if (now - lastValid >= std::chrono::seconds(call.giveUp_s)) {
            if (call.giveUp_s > 0) {
                failure(QStringLiteral("%1: no valid answer for %2 s; giving up")
                            .arg(port)
                            .arg(call.giveUp_s));
            }
            return exitFailure;
        }
    }
    bool undelivered = false;
    if (mqtt) {
        // What waits goes out before the end, for a second at most.
        for (int i = 0; i < 20 && mqtt->waiting() > 0 && mqtt->connected(); ++i) {
            mqtt->service(50);
        }
        // Readings the broker never took are a failure of the poll, not a quiet loss.
        if (mqtt->waiting() > 0) {
            undelivered = true;
            failure(QStringLiteral("MQTT %1:%2: %3 readings were never delivered%4")
                        .arg(mqttSettings.host)
                        .arg(mqttSettings.port)
                        .arg(mqtt->waiting())
                        .arg(lastMqttError.isEmpty()
                                 ? QString()
                                 : QStringLiteral(" (") + lastMqttError + u')'));
        }
    }
    if (stopped(io.environment)) {
        // Until interrupted is how an endless poll is meant to end, once it has read something;
        // a poll that had readings left to take did not do what it was asked.
        return call.count == 0 && readings > 0 ? exitOk : exitInterrupted;
    }
    return undelivered ? exitFailure : exitOk;
}

} // namespace veltra::cli
