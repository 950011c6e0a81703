// veltra-cli's live commands: poll, clock-sync, and the raw current-data block saved and decoded.
#include "command.h"

#include "instrument/transactions.h"
#include "live/presentation.h"
#include "station/file_writes.h"
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
        {"Label12", "reading caption", v.mainValueCaption},
        {"Label34", "reading unit", v.mainValueUnit},
        {"Edit4", "reading", v.mainValueText},
        {"Label39", "dose unit", v.doseUnit},
        {"Edit10", "dose", v.doseText},
        {"Edit1", "dose time", v.doseAccumulationTimeText},
        {"Label20", "error", v.errorPercentText},
        {"Label21", "memory fill", v.memoryFillPercentText},
        {"compactLabel1", "compact window reading", v.compactValueText},
        {"compactLabel2", "compact window unit", v.compactUnitText},
        {"panel1", "working time panel", v.workingTimeText},
        {"panel2", "battery panel", v.batteryText},
        {"panel3", "measurements panel", v.measurementCountText},
        {"panel4", "dose-rate threshold panel", v.doseRateThresholdText},
        {"panel5", "dose threshold panel", v.doseThresholdText},
    };
}

// The decoded fields in a fixed order, the clock last, as JSON carries them.
std::vector<Field> fields(const live::CurrentData& d) {
    const QString clock = text::clockText(d.clock);
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
    const live::MainQuantity q = live::mainQuantity(d.mode);
    const char* quantity = q.name;
    const char* unit = q.unit;
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
        {QStringLiteral("instrument clock"), text::clockText(d.clock)},
    };
}

} // namespace

std::optional<live::ReadingsView> viewFor(const app::AppContext& context,
                                          const live::CurrentData& reading) {
    if (!text::isKnown(context.state.language)) {
        return std::nullopt;
    }
    return live::presentReadings(reading, context.thresholdsInEffect(), context.state.language,
                                 userDecimalSeparator());
}

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
    io.out << "clock set to " << text::clockText(set) << '\n';
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
    if (const station::FileResult w = station::replaceFile(path, block); !w) {
        io.err << "veltra-cli: cannot write " << path << ": " << w.reason << '\n';
        return exitFailure;
    }
    io.out << "saved " << size << " bytes to " << path << '\n';
    return exitOk;
}

int commandParseCurrent(const Invocation& call, Streams io) {
    const QString path = call.arguments[0];
    QFile file;
    if (const station::FileResult opened =
            station::openRegularFile(file, path, QIODevice::ReadOnly);
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
