// veltra-cli poll: the instrument's current data once a second, printed, logged to CSV and
// published over MQTT; what a headless station runs (veltra-station@NAME.service).
#include "command.h"

#include "app/measurement_log.h"
#include "app/mqtt_publisher.h"
#include "app/text_tables.h"
#include "instrument/transactions.h"
#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <thread>

namespace veltra::cli {

namespace {

using Steady = std::chrono::steady_clock;

bool stopped(const Environment& environment) {
    return environment.stopRequested && environment.stopRequested();
}

// The MQTT user and password: from the file given (the name, then the password, a line each),
// else from VELTRA_MQTT_USER and VELTRA_MQTT_PASSWORD. Never from the command line, where
// every user of the machine could read them.
bool readCredentials(const Invocation& call, app::MqttSettings& settings, QTextStream& err) {
    if (!call.mqttCredentials.isEmpty()) {
        QFile file;
        if (const app::FileResult opened =
                app::openRegularFile(file, call.mqttCredentials, QIODevice::ReadOnly);
            !opened) {
            err << "veltra-cli: cannot read " << call.mqttCredentials << ": " << opened.reason
                << '\n';
            return false;
        }
        const QStringList lines =
            QString::fromUtf8(file.read(64 * 1024)).split(u'\n', Qt::KeepEmptyParts);
        settings.user = lines.value(0).trimmed();
        settings.password = lines.value(1).trimmed();
        return true;
    }
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    settings.user = environment.value(QStringLiteral("VELTRA_MQTT_USER"));
    settings.password = environment.value(QStringLiteral("VELTRA_MQTT_PASSWORD"));
    return true;
}

} // namespace

bool applyStationConfig(Invocation& call, QTextStream& err) {
    if (call.config.isEmpty()) {
        return true;
    }
    QFile file;
    if (const app::FileResult opened = app::openRegularFile(file, call.config, QIODevice::ReadOnly);
        !opened) {
        err << "veltra-cli: cannot read " << call.config << ": " << opened.reason << '\n';
        return false;
    }
    static const std::pair<QLatin1String, QString Invocation::*> texts[] = {
        {QLatin1String("port"), &Invocation::port},
        {QLatin1String("csv"), &Invocation::csv},
        {QLatin1String("csv-folder"), &Invocation::csvFolder},
        {QLatin1String("mqtt"), &Invocation::mqtt},
        {QLatin1String("mqtt-credentials"), &Invocation::mqttCredentials},
        {QLatin1String("mqtt-ca"), &Invocation::mqttCa},
        {QLatin1String("name"), &Invocation::name},
        {QLatin1String("trace"), &Invocation::trace},
    };
    int number = 0;
    for (const QString& raw : QString::fromUtf8(file.read(1024 * 1024)).split(u'\n')) {
        ++number;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        // What the command line says wins over the file.
        const auto field = std::find_if(std::begin(texts), std::end(texts),
                                        [&key](const auto& t) { return key == t.first; });
        if (eq > 0 && field != std::end(texts)) {
            QString& given = call.*(field->second);
            if (given.isEmpty()) {
                given = value;
            }
            continue;
        }
        if (eq > 0 && key == QLatin1String("give-up")) {
            bool ok = false;
            const int seconds = value.toInt(&ok, 10);
            if (ok && seconds >= 0 && seconds <= 24 * 3600) {
                call.giveUp_s = seconds;
                continue;
            }
        }
        err << "veltra-cli: " << call.config << ", line " << number << ": '" << line
            << "' is not one of port, csv, csv-folder, mqtt, mqtt-credentials, mqtt-ca, name, "
               "trace, give-up = VALUE\n";
        return false;
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

    std::optional<app::MeasurementLog> log;
    if (!call.csv.isEmpty() || !call.csvFolder.isEmpty()) {
        if (!call.csv.isEmpty() && !call.csvFolder.isEmpty()) {
            io.err << "veltra-cli: poll takes --csv or --csv-folder, not both\n";
            return exitUsage;
        }
        const bool folder = !call.csvFolder.isEmpty();
        log.emplace(folder ? call.csvFolder : call.csv,
                    folder ? app::MeasurementLog::Into::folder : app::MeasurementLog::Into::file,
                    true);
        if (const app::FileResult opened = log->open(); !opened) {
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
    std::unique_ptr<app::MqttPublisher> mqtt;
    app::MqttSettings mqttSettings;
    if (!call.mqtt.isEmpty()) {
        if (!app::MqttPublisher::available()) {
            io.err << "veltra-cli: --mqtt: MQTT is not available in this build\n";
            return exitUsage;
        }
        QString why;
        const auto parsed = app::parseMqttUrl(call.mqtt, &why);
        if (!parsed) {
            io.err << "veltra-cli: --mqtt: " << why << '\n';
            return exitUsage;
        }
        mqttSettings = *parsed;
        if (!readCredentials(call, mqttSettings, io.err)) {
            return exitFailure;
        }
        if (!call.mqttCa.isEmpty()) {
            if (!mqttSettings.tls) {
                io.err << "veltra-cli: --mqtt-ca names the authority of a TLS broker: the URL is "
                          "mqtts://HOST[:PORT]\n";
                return exitUsage;
            }
            QFile ca;
            if (const app::FileResult opened =
                    app::openRegularFile(ca, call.mqttCa, QIODevice::ReadOnly);
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
                    if (const app::FileResult w =
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
                        mqttSettings.name = app::topicName(
                            !call.name.isEmpty() ? call.name
                                                 : mqttSettings.model + u'-' +
                                                       QFileInfo(context.link.catalog().deviceName(
                                                                     context.state.portNumber))
                                                           .fileName());
                        mqtt = std::make_unique<app::MqttPublisher>(mqttSettings);
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
