#include "cli.h"

#include "cli_params.h"

#include "app/app_context.h"
#include "app/settings_file.h"
#include "live/current_data.h"
#include "live/instrument_clock.h"
#include "live/presentation.h"

#include "live/number_text.h"

#include <QLocale>

#include <thread>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

namespace veltra::cli {

namespace {

using live::userDecimalSeparator;

using link::PortCatalog;
using link::ReadOutcome;

struct Options {
    QString command;
    QString port; // number or device path; empty when not given
    int count = 1;
    bool json = false;
    int language = 0;   // 1 Russian, 2 English: add what the window would show
    QString subcommand; // "save" after params
    QStringList edits;  // --set NAME=VALUE
    bool yes = false;
};

QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c.unicode() < 0x20) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out + u'"';
}

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

QString number9(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return QString::fromLatin1(text);
}

QString clockText(const live::InstrumentClock& c) {
    return QStringLiteral("%1-%2-%3T%4:%5:%6")
        .arg(c.year, 4, 10, QLatin1Char('0'))
        .arg(c.month, 2, 10, QLatin1Char('0'))
        .arg(c.day, 2, 10, QLatin1Char('0'))
        .arg(c.hour, 2, 10, QLatin1Char('0'))
        .arg(c.minute, 2, 10, QLatin1Char('0'))
        .arg(c.second, 2, 10, QLatin1Char('0'));
}

// The decoded fields in a fixed order: name and text (numbers as JSON numbers).
std::vector<std::pair<QString, QString>> fields(const live::CurrentData& d) {
    return {
        {"memoryFill", QString::number(d.memoryFill)},
        {"doseTime", QString::number(d.doseTime)},
        {"batteryVoltage", number9(d.batteryVoltage)},
        {"workingTime", QString::number(d.workingTime)},
        {"measurementCount", QString::number(d.measurementCount)},
        {"doseValue", number9(d.doseValue)},
        {"errorPercent", number9(d.errorPercent)},
        {"mainValue", number9(d.mainValue)},
        {"statusFlags", QString::number(d.statusFlags)},
        {"mode", QString::number(d.mode)},
    };
}

void printReading(const live::CurrentData& d, const std::optional<live::ReadingsView>& view,
                  bool json, QTextStream& out) {
    const auto values = fields(d);
    if (json) {
        QString line = QStringLiteral("{");
        for (const auto& [name, value] : values) {
            line += QStringLiteral("\"%1\":%2,").arg(name, value);
        }
        line += QStringLiteral("\"clock\":\"%1\"").arg(clockText(d.clock));
        if (view) {
            QStringList display;
            for (const auto& [target, text] : displayTexts(*view)) {
                display << QStringLiteral("\"%1\":%2")
                               .arg(target, text ? jsonString(*text) : QStringLiteral("null"));
            }
            line += QStringLiteral(",\"display\":{%1}").arg(display.join(u','));
        }
        out << line << "}\n";
    } else {
        for (const auto& [name, value] : values) {
            out << name.leftJustified(18) << value << '\n';
        }
        out << QStringLiteral("clock").leftJustified(18) << clockText(d.clock) << '\n';
        if (view) {
            for (const auto& [target, text] : displayTexts(*view)) {
                if (text) {
                    out << target.leftJustified(18) << '[' << *text << "]\n";
                }
            }
        }
    }
    out.flush();
}

QString failureText(ReadOutcome outcome, std::uint32_t got, std::size_t expected) {
    switch (outcome) {
    case ReadOutcome::noHeader:
        return QStringLiteral("the instrument did not answer");
    case ReadOutcome::headerCrc:
        return QStringLiteral("the reply header failed its CRC check");
    case ReadOutcome::dataShort:
        return QStringLiteral("the reply was cut short (%1 of %2 bytes)").arg(got).arg(expected);
    case ReadOutcome::dataCrc:
        return QStringLiteral("the reply data failed their CRC check");
    case ReadOutcome::refused:
        return QStringLiteral("the request does not fit the transfer buffer");
    case ReadOutcome::ok:
        break;
    }
    return QStringLiteral("the reply was incomplete (%1 of %2 bytes)").arg(got).arg(expected);
}

// The catalogue for a --port value: a path is pinned as port 1; a number is resolved with the
// pins of prog.ini in the current directory.
std::optional<std::pair<PortCatalog, std::uint8_t>> catalogFor(const QString& port,
                                                               QTextStream& err) {
    bool isNumber = false;
    const int number = port.toInt(&isNumber, 10);
    if (isNumber) {
        if (number < link::firstPortNumber || number > link::lastPortNumber) {
            err << "veltra-cli: port number " << port << " is outside 1..255\n";
            return std::nullopt;
        }
        return std::pair{PortCatalog(app::portPins(app::readIniFile(app::settingsFilePath()))),
                         static_cast<std::uint8_t>(number)};
    }
    return std::pair{PortCatalog({{1, port}}, {}), std::uint8_t{1}};
}

int commandPorts(QTextStream& out, QTextStream& err) {
    const PortCatalog catalog(app::portPins(app::readIniFile(app::settingsFilePath())));
    const auto entries = catalog.entries();
    if (entries.empty()) {
        err << "veltra-cli: no serial ports found\n";
    }
    for (const auto& entry : entries) {
        out << entry.number << '\t' << entry.device << (entry.pinned ? "\t(prog.ini)" : "") << '\n';
    }
    return exitOk;
}

// The program's state with the port of --port selected; nullptr after a usage error.
std::unique_ptr<app::AppContext> contextFor(const Options& options, QTextStream& err) {
    auto catalog = catalogFor(options.port, err);
    if (!catalog) {
        return nullptr;
    }
    auto context = std::make_unique<app::AppContext>(std::move(catalog->first));
    context->state.portNumber = catalog->second;
    context->state.language = options.language;
    return context;
}

QString portName(const app::AppContext& context) {
    return QStringLiteral("port %1 (%2)")
        .arg(context.state.portNumber)
        .arg(context.link.catalog().deviceName(context.state.portNumber));
}

int commandClockSync(const Options& options, QTextStream& out, QTextStream& err) {
    const auto context = contextFor(options, err);
    if (!context) {
        return exitUsage;
    }
    if (!context->link.ensurePortOpen()) {
        err << "veltra-cli: cannot open " << portName(*context) << '\n';
        return exitFailure;
    }
    const std::tm now = live::localTimeOf(std::time(nullptr));
    const std::uint32_t sent = live::writeClock(context->link, now);
    if (sent != live::clockFrameSize) {
        err << "veltra-cli: the clock write did not go out on " << portName(*context) << " ("
            << sent << " of " << live::clockFrameSize << " bytes)\n";
        return exitFailure;
    }
    const live::InstrumentClock set{now.tm_sec,  now.tm_min,     now.tm_hour,
                                    now.tm_mday, now.tm_mon + 1, now.tm_year + 1900};
    out << "clock set to " << clockText(set) << '\n';
    return exitOk;
}

int commandPoll(const Options& options, QTextStream& out, QTextStream& err) {
    const auto owned = contextFor(options, err);
    if (!owned) {
        return exitUsage;
    }
    app::AppContext& context = *owned;
    auto& link = context.link;
    const QString portName = cli::portName(context);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < options.count; ++i) {
        if (i > 0) {
            // Once a second, as the program polls.
            std::this_thread::sleep_until(start + std::chrono::seconds(i));
        }
        if (!link.ensurePortOpen()) {
            err << "veltra-cli: cannot open " << portName << '\n';
            return exitFailure;
        }
        std::fill_n(link.transferBuffer().begin(), 1000, std::uint8_t{0});
        const std::size_t expected = live::CurrentData::size + 2;
        if (i == 0) {
            // The thresholds in effect come from the parameters; a failed read leaves them
            // unknown (" - ") and the poll below reports the link.
            QString ignored;
            QTextStream quiet(&ignored);
            readParametersFor(context, quiet, userDecimalSeparator());
            std::fill_n(link.transferBuffer().begin(), 1000, std::uint8_t{0});
        }
        const bool ok = link.readBlock(link::command::currentData, link::length::currentData, 0);
        if (!ok || link.lastTransferCount() != expected) {
            err << "veltra-cli: no valid answer on " << portName << ": "
                << failureText(link.lastReadOutcome(), link.lastTransferCount(), expected) << '\n';
            return exitFailure;
        }
        context.currentReading = *live::decodeCurrentData(link.transferBuffer());
        if (!options.json && i > 0) {
            out << '\n';
        }
        std::optional<live::ReadingsView> view;
        if (options.language != 0) {
            view = live::presentReadings(context.currentReading, context.thresholdsInEffect(),
                                         options.language, userDecimalSeparator());
        }
        printReading(context.currentReading, view, options.json, out);
    }
    return exitOk;
}

} // namespace

QString usageText() {
    return QStringLiteral(
               "usage: veltra-cli ports\n"
               "       veltra-cli --port N|PATH poll [--count N] [--json] [--language ru|en]\n"
               "       veltra-cli --port N|PATH clock-sync\n"
               "       veltra-cli --port N|PATH params [--json] | params save [--set "
               "NAME=VALUE]...\n"
               "       veltra-cli --port N|PATH dose-reset | factory-reset --yes\n"
               "\n"
               "  ports            list the port numbers and the device each stands for\n"
               "  poll             read the instrument's current data once a second and print it\n"
               "  clock-sync       set the instrument's clock to this computer's local time\n"
               "  --port N|PATH    port number 1..255 (see 'ports'), or a device path\n"
               "  --count N        number of readings (default 1)\n"
               "  --json           one JSON object per reading and line\n"
               "  --language ru|en add the texts the window shows (JSON: a \"display\" object);\n"
               "                   for params save, the tables the lists are filled from\n"
               "\n") +
           paramsUsage() +
           QStringLiteral("\nExit status: 0 success, 1 port or instrument failure, 2 usage "
                          "error.\n");
}

int run(const QStringList& args, QTextStream& out, QTextStream& err) {
    Options options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << usageText();
            return exitOk;
        } else if (arg == QLatin1String("--port") && hasValue) {
            options.port = args[++i];
        } else if (arg == QLatin1String("--count") && hasValue) {
            bool ok = false;
            options.count = args[++i].toInt(&ok, 10);
            if (!ok || options.count < 1) {
                err << "veltra-cli: --count takes a whole number of at least 1\n";
                return exitUsage;
            }
        } else if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--set") && hasValue) {
            options.edits << args[++i];
        } else if (arg == QLatin1String("--yes")) {
            options.yes = true;
        } else if (arg == QLatin1String("--language") && hasValue) {
            const QString language = args[++i];
            if (language == QLatin1String("ru")) {
                options.language = app::russian;
            } else if (language == QLatin1String("en")) {
                options.language = app::english;
            } else {
                err << "veltra-cli: --language takes ru or en\n";
                return exitUsage;
            }
        } else if (!arg.startsWith(QLatin1Char('-')) && options.command.isEmpty()) {
            options.command = arg;
        } else if (arg == QLatin1String("save") && options.command == QLatin1String("params") &&
                   options.subcommand.isEmpty()) {
            options.subcommand = arg;
        } else {
            err << "veltra-cli: unexpected argument '" << arg << "'\n" << usageText();
            return exitUsage;
        }
    }

    if (options.command == QLatin1String("ports")) {
        return commandPorts(out, err);
    }
    static const QStringList portCommands = {"poll", "clock-sync", "params", "dose-reset",
                                             "factory-reset"};
    if (portCommands.contains(options.command)) {
        if (options.port.isEmpty()) {
            err << "veltra-cli: " << options.command << " needs --port N|PATH\n";
            return exitUsage;
        }
        if (!options.edits.isEmpty() && options.subcommand != QLatin1String("save")) {
            err << "veltra-cli: --set goes with params save\n";
            return exitUsage;
        }
        if (options.command == QLatin1String("poll")) {
            return commandPoll(options, out, err);
        }
        if (options.command == QLatin1String("clock-sync")) {
            return commandClockSync(options, out, err);
        }
        const auto context = contextFor(options, err);
        if (!context) {
            return exitUsage;
        }
        ParamsOptions params;
        params.json = options.json;
        params.language = options.language == app::english ? app::english : app::russian;
        params.edits = options.edits;
        params.confirmed = options.yes;
        if (options.command == QLatin1String("params")) {
            return options.subcommand.isEmpty() ? commandParams(*context, params, out, err)
                                                : commandParamsSave(*context, params, out, err);
        }
        if (options.command == QLatin1String("dose-reset")) {
            return commandDoseReset(*context, out, err);
        }
        return commandFactoryReset(*context, params, out, err);
    }
    err << (options.command.isEmpty()
                ? QStringLiteral("veltra-cli: no command given\n")
                : QStringLiteral("veltra-cli: unknown command '%1'\n").arg(options.command))
        << usageText();
    return exitUsage;
}

} // namespace veltra::cli
