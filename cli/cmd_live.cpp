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

// The texts showReadings puts into the window's targets, with what each is to a user; nullopt
// where it leaves a target as it was.
struct DisplayText {
    const char* control;
    const char* what;
    std::optional<QString> text;
};
std::vector<DisplayText> displayTexts(const live::ReadingsView& v) {
    return {
        {"Label12", "reading caption", v.label12},
        {"Label34", "reading unit", v.label34},
        {"Edit4", "reading", v.edit4},
        {"Label39", "dose unit", v.label39},
        {"Edit10", "dose", v.edit10},
        {"Edit1", "dose time", v.edit1},
        {"Label20", "error", v.label20},
        {"Label21", "memory fill", v.label21},
        {"compactLabel1", "compact window reading", v.compactLabel1},
        {"compactLabel2", "compact window unit", v.compactLabel2},
        {"panel1", "working time panel", v.panel1},
        {"panel2", "battery panel", v.panel2},
        {"panel3", "measurements panel", v.panel3},
        {"panel4", "dose-rate threshold panel", v.panel4},
        {"panel5", "dose threshold panel", v.panel5},
    };
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

// The decoded fields in a fixed order, the clock last, as JSON carries them.
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

// The same fields as a person reads them: what each is, with its unit.
std::vector<std::pair<QString, QString>> readableFields(const live::CurrentData& d) {
    const auto [quantity, unit] = mainQuantity(d.mode);
    const auto withUnit = [](double value, const char* u) {
        return number9(value) + (*u != '\0' ? u' ' + QLatin1String(u) : QString());
    };
    return {
        {QLatin1String(quantity), withUnit(d.mainValue, unit)},
        {QStringLiteral("statistical error"), withUnit(d.errorPercent, "%")},
        {QStringLiteral("dose"), withUnit(d.doseValue, "uSv")},
        {QStringLiteral("dose time"), QStringLiteral("%1 s").arg(d.doseTime)},
        {QStringLiteral("battery"), withUnit(d.batteryVoltage, "V")},
        {QStringLiteral("working time"), QStringLiteral("%1 s").arg(d.workingTime)},
        {QStringLiteral("measurement count"), QString::number(d.measurementCount)},
        {QStringLiteral("archive fill"), QStringLiteral("%1 of 800 records").arg(d.memoryFill)},
        {QStringLiteral("status flags"),
         QStringLiteral("0x%1").arg(d.statusFlags, 4, 16, QLatin1Char('0'))},
        {QStringLiteral("measuring mode"), QStringLiteral("%1 (%2)").arg(d.mode).arg(quantity)},
        {QStringLiteral("instrument clock"), clockText(d.clock)},
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
                  bool json, bool controls, QTextStream& out) {
    if (json) {
        QJsonObject object = jsonObject(fields(d));
        if (view) {
            QJsonObject display;
            for (const auto& t : displayTexts(*view)) {
                display.insert(QLatin1String(t.control),
                               t.text ? QJsonValue(*t.text) : QJsonValue(QJsonValue::Null));
            }
            object.insert(QStringLiteral("display"), display);
        }
        printJson(out, object);
        return;
    }
    auto lines = readableFields(d);
    if (view) {
        for (const auto& t : displayTexts(*view)) {
            if (t.text) {
                lines.emplace_back(controls ? QLatin1String(t.control)
                                            : QStringLiteral("shown: ") + QLatin1String(t.what),
                                   u'[' + *t.text + u']');
            }
        }
    }
    for (const auto& [name, text] : lines) {
        out << name.leftJustified(33) << ' ' << text << '\n';
    }
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
        io.err << "veltra-cli: " << portName(*context) << ": the clock write did not go out ("
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

// One line per new measurement, appended and flushed to the disk as it is written, so a power
// cut loses at most the line being written.
class MeasurementLog {
public:
    bool open(const QString& path, QTextStream& err) {
        if (const app::FileResult opened = app::openRegularFile(
                m_file, path, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
            !opened) {
            err << "veltra-cli: cannot open " << path << ": " << opened.reason << '\n';
            return false;
        }
        m_path = path;
        const bool isNew = m_file.size() == 0;
        if (isNew) {
            if (const app::FileResult w =
                    write("computer_time,instrument_time,measurement_count,main_value,"
                          "quantity,unit,dose_uSv,error_percent,battery_V,status_flags\n");
                !w) {
                err << "veltra-cli: cannot write " << path << ": " << w.reason << '\n';
                return false;
            }
        }
        return true;
    }

    app::FileResult add(const live::CurrentData& d) {
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

    [[nodiscard]] const QString& path() const { return m_path; }

private:
    // Whole or not at all, and on the disk before the next reading.
    app::FileResult write(const QString& line) {
        return app::appendWhole(m_file, line.toUtf8(), true);
    }

    QFile m_file;
    QString m_path;
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
    Context& context = *owned;
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
    const auto stopped = [&io] {
        return io.environment.stopRequested && io.environment.stopRequested();
    };
    for (std::int64_t tick = 0; call.count == 0 || readings < call.count; ++tick) {
        // Once a second, as the program polls.
        if (tick > 0 && !sleepUntil(start + std::chrono::seconds(tick), io.environment)) {
            break; // asked to end: what was read is printed, the file is complete
        }
        bool valid = false;
        // As the polling cycle: a failed open is tried once more at once.
        if (!context.ensurePortOpen() && !context.ensurePortOpen()) {
            if (stopped()) {
                break;
            }
            failure(cannotOpen(context));
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
                if (stopped()) {
                    break; // the signal cut the read short: no failure of the line
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
                if (const app::FileResult w =
                        call.csv.isEmpty() ? app::FileResult{} : log.add(context.currentReading);
                    !w) {
                    failure(QStringLiteral("cannot write %1: %2 (the reading's line was not "
                                           "written)")
                                .arg(log.path(), w.reason));
                    return exitFailure;
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
    if (stopped()) {
        // Until interrupted is how an endless poll is meant to end, once it has read something;
        // a poll that had readings left to take did not do what it was asked.
        return call.count == 0 && readings > 0 ? exitOk : exitInterrupted;
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
        io.err << "veltra-cli: " << portName(*context)
               << ": no valid answer: " << failureText(read.outcome, read.received, read.expected)
               << '\n';
        return failedOrInterrupted(io.environment);
    }
    const auto& bytes = *read.value;
    const QString path = call.arguments[0];
    const auto size = static_cast<qint64>(bytes.size());
    const QByteArray block(reinterpret_cast<const char*>(bytes.data()), size);
    if (const app::FileResult w = app::replaceFile(path, block); !w) {
        io.err << "veltra-cli: cannot write " << path << ": " << w.reason << '\n';
        return exitFailure;
    }
    io.out << "saved " << size << " bytes to " << path << '\n';
    return exitOk;
}

int commandParseCurrent(const Invocation& call, Streams io) {
    const QString path = call.arguments[0];
    QFile file;
    if (const app::FileResult opened = app::openRegularFile(file, path, QIODevice::ReadOnly);
        !opened) {
        io.err << "veltra-cli: cannot read " << path << ": " << opened.reason << '\n';
        return exitFailure;
    }
    const QByteArray data = file.read(live::CurrentData::size + 1);
    if (data.size() != static_cast<qsizetype>(live::CurrentData::size)) {
        io.err << "veltra-cli: " << path << ": not a current-data block ("
               << (data.size() > static_cast<qsizetype>(live::CurrentData::size)
                       ? QString::number(file.size())
                       : QString::number(data.size()))
               << " bytes; a block is " << live::CurrentData::size << ")\n";
        return exitFailure;
    }
    std::array<std::uint8_t, live::CurrentData::size> bytes{};
    std::copy(data.begin(), data.end(), bytes.begin());
    const live::CurrentData reading = live::decodeCurrentData(bytes);
    std::optional<live::ReadingsView> view;
    if (text::isKnown(call.language)) {
        view = live::presentReadings(reading, {}, call.language, userDecimalSeparator());
    }
    printReading(reading, view, call.json, call.controls, io.out);
    return exitOk;
}

} // namespace veltra::cli
