// veltra-cli's live commands: poll, clock-sync, and the raw current-data block saved and decoded.
#include "command.h"

#include "app/file_writes.h"
#include "instrument/transactions.h"
#include "live/presentation.h"
#include "text/number_text.h"

#include <QDateTime>
#include <QFile>

#include <chrono>
#include <ctime>
#include <thread>

namespace veltra::cli {

namespace {

using text::userDecimalSeparator;

// The texts showReadings puts into the window's targets; nullopt where it leaves a target as
// it was.
std::vector<std::pair<QString, std::optional<QString>>> displayTexts(const live::ReadingsView& v) {
    return {
        {"Label12", v.label12},
        {"Label34", v.label34},
        {"Edit4", v.edit4},
        {"Label39", v.label39},
        {"Edit10", v.edit10},
        {"Edit1", v.edit1},
        {"Label20", v.label20},
        {"Label21", v.label21},
        {"compactLabel1", v.compactLabel1},
        {"compactLabel2", v.compactLabel2},
        {"panel1", v.panel1},
        {"panel2", v.panel2},
        {"panel3", v.panel3},
        {"panel4", v.panel4},
        {"panel5", v.panel5},
    };
}

// The decoded fields in a fixed order, the clock last.
std::vector<Field> fields(const live::CurrentData& d) {
    const QString clock = clockText(d.clock);
    return {
        integerField("memoryFill", d.memoryFill),
        integerField("doseTime", d.doseTime),
        realField("batteryVoltage", d.batteryVoltage),
        integerField("workingTime", d.workingTime),
        integerField("measurementCount", d.measurementCount),
        realField("doseValue", d.doseValue),
        realField("errorPercent", d.errorPercent),
        realField("mainValue", d.mainValue),
        integerField("statusFlags", d.statusFlags),
        integerField("mode", d.mode),
        {QStringLiteral("clock"), clock, QJsonValue(clock)},
    };
}

std::optional<live::ReadingsView> viewFor(const app::AppContext& context,
                                          const live::CurrentData& reading) {
    if (!text::isKnown(context.state.language)) {
        return std::nullopt;
    }
    return live::presentReadings(reading, context.thresholdsInEffect(), context.state.language,
                                 userDecimalSeparator());
}

} // namespace

void printReading(const live::CurrentData& d, const std::optional<live::ReadingsView>& view,
                  bool json, QTextStream& out) {
    auto values = fields(d);
    if (json) {
        QJsonObject object = jsonObject(values);
        if (view) {
            QJsonObject display;
            for (const auto& [target, text] : displayTexts(*view)) {
                display.insert(target, text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null));
            }
            object.insert(QStringLiteral("display"), display);
        }
        printJson(out, object);
        return;
    }
    if (view) {
        for (const auto& [target, text] : displayTexts(*view)) {
            if (text) {
                values.push_back({target, u'[' + *text + u']', {}});
            }
        }
    }
    printFields(out, values, 18);
    out.flush();
}

int commandClockSync(const Invocation& call, Streams io) {
    int exitCode = exitOk;
    const auto context = openedContextFor(call, io, exitCode);
    if (!context) {
        return exitCode;
    }
    const std::tm now = text::localTimeOf(std::time(nullptr));
    const auto sent = instrument::writeClock(context->link, now);
    if (!sent.complete()) {
        io.err << "veltra-cli: the clock write did not go out on " << portName(*context) << " ("
               << sent.written << " of " << sent.expected << " bytes)\n";
        return exitFailure;
    }
    const text::ClockFields set{now.tm_sec,  now.tm_min,     now.tm_hour,
                                now.tm_mday, now.tm_mon + 1, now.tm_year + 1900};
    io.out << "clock set to " << clockText(set) << '\n';
    return exitOk;
}

namespace {

using Steady = std::chrono::steady_clock;

// The computer's time with its offset from UTC: 2026-12-09T15:20:01+01:00.
QString computerTime() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

// The quantity and unit of the main reading in a measuring mode.
std::pair<const char*, const char*> mainQuantity(std::uint8_t mode) {
    switch (mode) {
    case 2:
        return {"beta flux density", "1/(min*cm2)"};
    case 4:
        return {"alpha flux density", "1/(min*cm2)"};
    case 5:
        return {"volumetric activity", "Bq/g"};
    case 0:
    case 1:
    case 3:
    case 6:
        return {"dose rate", "uSv/h"};
    default:
        return {"unknown", ""};
    }
}

// One line per new measurement, appended and flushed to the disk as it is written, so a power
// cut loses at most the line being written.
class MeasurementLog {
public:
    bool open(const QString& path, QTextStream& err) {
        m_file.setFileName(path);
        const bool isNew = !m_file.exists() || m_file.size() == 0;
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            err << "veltra-cli: cannot open " << path << ": " << m_file.errorString() << '\n';
            return false;
        }
        if (isNew) {
            if (const app::FileWrite w =
                    write("computer_time,instrument_time,measurement_count,main_value,"
                          "quantity,unit,dose_uSv,error_percent,battery_V,status_flags\n");
                !w) {
                err << "veltra-cli: cannot write " << path << ": " << w.reason << '\n';
                return false;
            }
        }
        return true;
    }

    app::FileWrite add(const live::CurrentData& d) {
        if (m_last && *m_last == d.measurementCount) {
            return {}; // not a new measurement
        }
        m_last = d.measurementCount;
        const auto [quantity, unit] = mainQuantity(d.mode);
        return write(QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9,%10\n")
                         .arg(computerTime(), clockText(d.clock))
                         .arg(d.measurementCount)
                         .arg(number9(d.mainValue), QLatin1String(quantity), QLatin1String(unit),
                              number9(d.doseValue), number9(d.errorPercent),
                              number9(d.batteryVoltage))
                         .arg(d.statusFlags));
    }

    [[nodiscard]] QString path() const { return m_file.fileName(); }

private:
    // Whole or not at all, and on the disk before the next reading.
    app::FileWrite write(const QString& line) {
        return app::appendWhole(m_file, line.toUtf8(), true);
    }

    QFile m_file;
    std::optional<std::uint32_t> m_last;
};

// Sleeps until t, waking early when the run is asked to end; false then.
bool sleepUntil(Steady::time_point t, const Environment& environment) {
    while (Steady::now() < t) {
        if (environment.stopRequested && environment.stopRequested()) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<Steady::duration>(t - Steady::now(), std::chrono::milliseconds(50)));
    }
    return !(environment.stopRequested && environment.stopRequested());
}

} // namespace

int commandPoll(const Invocation& call, Streams io) {
    const auto owned = contextFor(call, io);
    if (!owned) {
        return exitUsage;
    }
    app::AppContext& context = *owned;
    const QString port = portName(context);
    MeasurementLog log;
    if (!call.csv.isEmpty() && !log.open(call.csv, io.err)) {
        return exitFailure;
    }
    const auto failure = [&](const QString& what) {
        io.err << computerTime() << " veltra-cli: " << what << '\n';
        io.err.flush();
    };

    const auto start = Steady::now();
    auto lastValid = start;
    bool parametersTried = false;
    int readings = 0;
    for (std::int64_t tick = 0; call.count == 0 || readings < call.count; ++tick) {
        // Once a second, as the program polls.
        if (tick > 0 && !sleepUntil(start + std::chrono::seconds(tick), io.environment)) {
            break; // asked to end: what was read is printed, the file is complete
        }
        bool valid = false;
        // As the polling cycle: a failed open is tried once more at once.
        if (!context.ensurePortOpen() && !context.ensurePortOpen()) {
            const QString why = context.link.openErrorText();
            failure(QStringLiteral("cannot open %1%2")
                        .arg(port, why.isEmpty() ? QString() : ": " + why));
        } else {
            if (!parametersTried) {
                // The thresholds in effect come from the parameters; a failed read leaves them
                // unknown (" - ") and the poll below reports the link.
                QString ignored;
                QTextStream quiet(&ignored);
                parametersTried = readParametersFor(context, quiet, userDecimalSeparator());
            }
            const auto read = instrument::readCurrentData(context.link);
            if (!read.ok()) {
                failure(QStringLiteral("no valid answer on %1: %2")
                            .arg(port, failureText(read.outcome, read.received, read.expected)));
            } else {
                valid = true;
                context.currentReading = *read.value;
                if (!call.json && readings > 0) {
                    io.out << '\n';
                }
                printReading(context.currentReading, viewFor(context, context.currentReading),
                             call.json, io.out);
                ++readings;
                if (const app::FileWrite w =
                        call.csv.isEmpty() ? app::FileWrite{} : log.add(context.currentReading);
                    !w) {
                    io.err << "veltra-cli: cannot write " << log.path() << ": " << w.reason
                           << " (the reading's line was not written)\n";
                    return exitFailure;
                }
            }
        }
        const auto now = Steady::now();
        if (valid) {
            lastValid = now;
        } else if (now - lastValid >= std::chrono::seconds(call.giveUp_s)) {
            if (call.giveUp_s > 0) {
                io.err << "veltra-cli: no valid answer for " << call.giveUp_s << " s; giving up\n";
            }
            return exitFailure;
        }
    }
    return exitOk;
}

int commandDumpCurrent(const Invocation& call, Streams io) {
    int exitCode = exitOk;
    const auto context = openedContextFor(call, io, exitCode);
    if (!context) {
        return exitCode;
    }
    const auto read = instrument::readCurrentDataBlock(context->link);
    if (!read.ok()) {
        io.err << "veltra-cli: no valid answer on " << portName(*context) << ": "
               << failureText(read.outcome, read.received, read.expected) << '\n';
        return exitFailure;
    }
    const auto& bytes = *read.value;
    const QString path = call.arguments[0];
    const auto size = static_cast<qint64>(bytes.size());
    const QByteArray block(reinterpret_cast<const char*>(bytes.data()), size);
    if (const app::FileWrite w = app::replaceFile(path, block); !w) {
        io.err << "veltra-cli: cannot write " << path << ": " << w.reason << '\n';
        return exitFailure;
    }
    io.out << "saved " << size << " bytes to " << path << '\n';
    return exitOk;
}

int commandParseCurrent(const Invocation& call, Streams io) {
    const QString path = call.arguments[0];
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        io.err << "veltra-cli: cannot read " << path << ": " << file.errorString() << '\n';
        return exitFailure;
    }
    const QByteArray data = file.read(live::CurrentData::size + 1);
    if (data.size() != static_cast<qsizetype>(live::CurrentData::size)) {
        io.err << "veltra-cli: " << path << " is not a current-data block (" << data.size()
               << " bytes, not " << live::CurrentData::size << ")\n";
        return exitFailure;
    }
    std::array<std::uint8_t, live::CurrentData::size> bytes{};
    std::copy(data.begin(), data.end(), bytes.begin());
    const live::CurrentData reading = live::decodeCurrentData(bytes);
    std::optional<live::ReadingsView> view;
    if (text::isKnown(call.language)) {
        view = live::presentReadings(reading, {}, call.language, userDecimalSeparator());
    }
    printReading(reading, view, call.json, io.out);
    return exitOk;
}

} // namespace veltra::cli
