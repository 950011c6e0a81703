// veltra-cli's live commands: poll, clock-sync, and the raw current-data block saved and decoded.
#include "command.h"

#include "app/archive_tab.h"
#include "instrument/transactions.h"
#include "live/presentation.h"
#include "text/number_text.h"

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
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!context->ensurePortOpen()) {
        io.err << "veltra-cli: cannot open " << portName(*context) << '\n';
        return exitFailure;
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

int commandPoll(const Invocation& call, Streams io) {
    const auto owned = contextFor(call, io);
    if (!owned) {
        return exitUsage;
    }
    app::AppContext& context = *owned;
    const QString port = portName(context);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < call.count; ++i) {
        if (i > 0) {
            // Once a second, as the program polls.
            std::this_thread::sleep_until(start + std::chrono::seconds(i));
        }
        if (!context.ensurePortOpen()) {
            io.err << "veltra-cli: cannot open " << port << '\n';
            return exitFailure;
        }
        if (i == 0) {
            // The thresholds in effect come from the parameters; a failed read leaves them
            // unknown (" - ") and the poll below reports the link.
            QString ignored;
            QTextStream quiet(&ignored);
            readParametersFor(context, quiet, userDecimalSeparator());
        }
        const auto read =
            instrument::readCurrentData(context.link, instrument::ReplyCheck::complete);
        if (!read.ok()) {
            io.err << "veltra-cli: no valid answer on " << port << ": "
                   << failureText(read.outcome, read.received, read.expected) << '\n';
            return exitFailure;
        }
        context.currentReading = *read.value;
        if (!call.json && i > 0) {
            io.out << '\n';
        }
        printReading(context.currentReading, viewFor(context, context.currentReading), call.json,
                     io.out);
    }
    return exitOk;
}

int commandDumpCurrent(const Invocation& call, Streams io) {
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    if (!context->ensurePortOpen()) {
        io.err << "veltra-cli: cannot open " << portName(*context) << '\n';
        return exitFailure;
    }
    const auto read =
        instrument::readCurrentDataBlock(context->link, instrument::ReplyCheck::complete);
    if (!read.ok()) {
        io.err << "veltra-cli: no valid answer on " << portName(*context) << ": "
               << failureText(read.outcome, read.received, read.expected) << '\n';
        return exitFailure;
    }
    const auto& bytes = *read.value;
    const QString path = call.arguments[0];
    const auto size = static_cast<qint64>(bytes.size());
    if (!app::replaceFile(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), size))) {
        io.err << "veltra-cli: cannot write " << path << '\n';
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
