#include "cli.h"

#include "station/file_writes.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace veltra::cli {

namespace {

const QString portLine =
    QStringLiteral("  --port N|PATH    port number 1..255 (see 'ports'), or a "
                   "device path\n"
                   "  --trace FILE     write every byte on the serial line to FILE, "
                   "for a report\n");

const QString historyLine =
    QStringLiteral("  --history FILE   the dose history (default: history.sqlite in the current "
                   "directory)\n");
const QString filterLines =
    QStringLiteral("  --instrument NAME  one instrument only; --from DATE, --to DATE "
                   "(YYYY-MM-DD, inclusive,\n"
                   "                   on the instrument's clock) a range of days\n");

const std::vector<Command>& table() {
    static const std::vector<Command> rows = {
        {{"ports"},
         "ports",
         "list the port numbers and the device each stands for",
         "  A number pinned in prog.ini's [Ports] section (COM3=/dev/rfcomm0) stands for its\n"
         "  device and is marked (prog.ini); the other numbers, from 1 up, go in order to the\n"
         "  serial devices the system lists.\n",
         {},
         0,
         &commandPorts},
        {{"scan"},
         "scan [--json]",
         "find the instrument on the ports and print its port number and device",
         "  Tries the port numbers of 'ports' from 1 up, as the program's start-up does (a pin\n"
         "  in prog.ini decides which device a number stands for, not when it is tried): each\n"
         "  port that opens gets 2 s and a parameter read (about 3 s for a port without the\n"
         "  instrument). One line per port tried goes to stderr.\n"
         "  --json           {\"portNumber\": N, \"device\": \"PATH\"}\n",
         {Option::json},
         0,
         &commandScan},
        {{"poll"},
         "--port N|PATH poll [--count N] [--json] [--language ru|en [--controls]]\n"
         "            [--csv FILE | --csv-folder DIR] [--mqtt URL [--mqtt-credentials FILE]\n"
         "            [--mqtt-ca FILE] [--name NAME]] [--history FILE | --no-history]\n"
         "            [--give-up S] [--config FILE]",
         "read the instrument's current data once a second: print it, log it, publish it",
         portLine +
             "  --count N        readings to print (default 1); 0: until interrupted (Ctrl-C,\n"
             "                   SIGTERM)\n"
             "  --json           one JSON object per reading and line\n"
             "  --language ru|en add the texts the window shows (JSON: a \"display\" object keyed\n"
             "                   by the window's control names)\n"
             "  --controls       name those texts by the window's controls (Label12, Edit4, ...)\n"
             "  --csv FILE       append a line per new measurement to FILE (UTF-8; a header row\n"
             "                   when the file is new), each line whole and on the disk at once\n"
             "  --csv-folder DIR the same into DIR, a file a day (readings-YYYY-MM-DD.csv)\n"
             "  --mqtt URL       publish each new measurement to the broker at mqtt://HOST[:PORT]\n"
             "                   or mqtts://HOST[:PORT] (TLS): veltra/NAME/state (retained JSON),\n"
             "                   veltra/NAME/availability (online, offline as the last will),\n"
             "                   Home Assistant discovery for dose rate, dose and battery; QoS 1;\n"
             "                   readings wait in memory while the broker is away (the latest\n"
             "                   10000) and go out in order when it is back\n"
             "  --mqtt-credentials FILE  the broker's user name and password, a line each (else\n"
             "                   VELTRA_MQTT_USER and VELTRA_MQTT_PASSWORD); never on the line\n"
             "  --mqtt-ca FILE   with mqtts://, the certificate authority (PEM) that signed the\n"
             "                   broker's certificate (default: the system's authorities)\n"
             "  --name NAME      the instrument's name in the topics (default: model and port)\n"
             "  --history FILE   with --csv or --csv-folder, each logged reading is kept in this\n"
             "                   dose history too (default: history.sqlite here), under the\n"
             "                   instrument two identity probes name\n"
             "  --no-history     the log's readings go to the CSV files only\n"
             "  --give-up S      end with status 1 after S seconds without a valid answer\n"
             "                   (default 60; 0: at the first failure)\n"
             "  --config FILE    a station's settings, KEY = VALUE lines: port, csv, csv-folder,\n"
             "                   mqtt, mqtt-credentials, mqtt-ca, name, trace, give-up (the\n"
             "                   command line wins); what veltra-station@NAME.service runs\n"
             "  A failed reading is one timed line on stderr; polling goes on at the next second,\n"
             "  reopening the port as the program does.\n",
         {Option::port, Option::count, Option::json, Option::language, Option::controls,
          Option::csv, Option::csvFolder, Option::mqtt, Option::mqttCredentials, Option::mqttCa,
          Option::name, Option::history, Option::noHistory, Option::giveUp, Option::config},
         0,
         &commandPoll},
        {{"clock-sync"},
         "--port N|PATH clock-sync",
         "set the instrument's clock to this computer's local time",
         portLine,
         {Option::port},
         0,
         &commandClockSync},
        {{"dump-current"},
         "--port N|PATH dump-current FILE",
         "save one raw current-data block (49 bytes) to FILE",
         portLine + "  FILE is replaced only once the whole block is written.\n",
         {Option::port},
         1,
         &commandDumpCurrent},
        {{"parse-current"},
         "parse-current FILE [--json] [--language ru|en [--controls]]",
         "decode a saved current-data block as poll prints it",
         "  --json           one JSON object\n"
         "  --language ru|en add the texts the window would show (thresholds unknown: \" - \")\n"
         "  --controls       name those texts by the window's controls\n",
         {Option::json, Option::language, Option::controls},
         1,
         &commandParseCurrent},
        {{"params"},
         "--port N|PATH params [--json]",
         "read the instrument's parameters and print every field",
         portLine +
             "  --json           one JSON object\n"
             "  Each line: the name, the value, what it is. The settable names and values are\n"
             "  what 'params save --set NAME=VALUE' takes back, in the same units.\n",
         {Option::port, Option::json},
         0,
         &commandParams},
        {{"params", "save"},
         "--port N|PATH params save [--language ru|en] [--set NAME=VALUE]...",
         "write the parameters as the parameters tab's \"Save\" would",
         portLine +
             "  Reads the parameters, fills the tab's state as the window does (the lists from\n"
             "  the Russian tables, or --language en), applies the edits in order and writes the\n"
             "  block the tab stands for; without --set, what \"Save\" sends right after a read.\n"
             "  --set NAME=VALUE an edit, with the names and values 'params' prints:\n"
             "      doseRateThresholdNo, doseThresholdNo  the threshold in effect, 1..3 (0: none)\n"
             "      doseRateThresholds, doseThresholds    three numbers (\"0.3 1.2 12\"), uSv/h\n"
             "                                            and uSv; doseRateThreshold1..3 and\n"
             "                                            doseThreshold1..3 one each; \"-\": none\n"
             "      sound, deviceLanguage, displayView, backlightColour\n"
             "                                            item index (-1: none)\n"
             "      backlightTime                         seconds: 10, 60, 180 (0: off on the\n"
             "                                            instruments that offer it)\n"
             "      bluetoothPeriod                       seconds, 0 (off) or 60..3600, sent in\n"
             "                                            whole minutes\n"
             "      archiveOptions                        the byte, or the checked controls\n"
             "                                            (CheckBox8,RadioButton1,CheckBox6)\n"
             "  Numbers take a point, or your decimal separator. A threshold is stored 0.001\n"
             "  higher than typed, as the instrument's program has always done: a saved 0.30 "
             "reads\n"
             "  back as 0.301.\n",
         {Option::port, Option::language, Option::set},
         0,
         &commandParamsSave},
        {{"dose-reset"},
         "--port N|PATH dose-reset",
         "reset the accumulated dose (after a parameter read)",
         portLine,
         {Option::port},
         0,
         &commandDoseReset},
        {{"factory-reset"},
         "--port N|PATH factory-reset --yes",
         "restore the instrument's factory settings (after a parameter read)",
         portLine + "  --yes            confirms: every setting of the instrument is replaced\n",
         {Option::port, Option::yes},
         0,
         &commandFactoryReset},
        {{"archive", "read"},
         "--port N|PATH archive read [--history FILE | --no-history] [--instrument NAME] FILE",
         "read the instrument's 800 archive records and save their image (8000 bytes) to FILE",
         portLine + historyLine +
             "  Reads as \"Чтение архива\" does (ten faults of the line are retried, the "
             "eleventh\n"
             "  ends the read). FILE is replaced only once wholly written; when the read ends\n"
             "  early, the records read so far go to FILE.partial. Record i is at offset 10*i.\n"
             "  The download is stored in the dose history too (then the parameters are read\n"
             "  once for the instrument's type); NAME names an instrument new to it.\n",
         {Option::port, Option::history, Option::noHistory, Option::instrument},
         1,
         &commandArchiveRead},
        {{"archive", "show"},
         "archive show (--port N|PATH | --image FILE) [--session N] [--language ru|en] [--json]",
         "what the archive tab shows for a session, as if the arrows had stepped there",
         portLine +
             "  --image FILE     an image saved by 'archive read' instead of the instrument\n"
             "  --session N      the session, 1..the session count (default 1)\n"
             "  --language ru|en the tables' language (default ru)\n"
             "  --json           one object: sessionCount, session, box, header, rowCount, rows,\n"
             "                   stats, points ([x, y], x in day serials); null where the tab\n"
             "                   keeps what it showed before\n",
         {Option::port, Option::image, Option::session, Option::language, Option::json},
         0,
         &commandArchiveShow},
        {{"archive", "export"},
         "archive export (--port N|PATH | --image FILE) [--language ru|en] [--sessions]",
         "append the archive's 799 lines to archive.txt (and write every session's file)",
         portLine +
             "  --image FILE     an image saved by 'archive read' instead of the instrument\n"
             "  --sessions       also \"сеанс<N>.txt\" for every session that has a sample\n"
             "  The files go to the current directory, byte for byte as the window writes them.\n",
         {Option::port, Option::image, Option::language, Option::sessions},
         0,
         &commandArchiveExport},
        {{"archive", "csv"},
         "archive csv (--port N|PATH | --image FILE) OUT.csv",
         "every sample as a spreadsheet row, with its date",
         portLine +
             "  --image FILE     an image saved by 'archive read' instead of the instrument\n"
             "  UTF-8, comma-separated, a header row: record,session,time,value,quantity,unit\n"
             "  (time: the instrument's clock, ISO 8601).\n",
         {Option::port, Option::image},
         1,
         &commandArchiveCsv},
        {{"erase-archive"},
         "--port N|PATH erase-archive --yes",
         "erase the instrument's archive",
         portLine + "  --yes            confirms: every record of the archive is lost\n",
         {Option::port, Option::yes},
         0,
         &commandEraseArchive},
        {{"history", "import"},
         "[--history FILE] history import [--instrument NAME] [--json] IMAGE...",
         "store archive images (of \"archive read\", .partial ones too) in the dose history",
         historyLine +
             "  Each image is one download, stored in one transaction; an image already stored\n"
             "  for the instrument is not stored again, and a record that an earlier download\n"
             "  brought is kept once. NAME is the instrument the images are of (made when new);\n"
             "  without it, the history's only instrument.\n",
         {Option::history, Option::instrument, Option::json},
         oneOrMore,
         &commandHistoryImport},
        {{"history", "instruments"},
         "[--history FILE] history instruments [--json]",
         "the instruments in the dose history",
         historyLine,
         {Option::history, Option::json},
         0,
         &commandHistoryInstruments},
        {{"history", "downloads"},
         "[--history FILE] history downloads [--instrument NAME] [--json]",
         "the downloads in the dose history, oldest first",
         historyLine,
         {Option::history, Option::instrument, Option::json},
         0,
         &commandHistoryDownloads},
        {{"history", "records"},
         "[--history FILE] history records [--instrument NAME] [--from DATE] [--to DATE] [--json]",
         "the stored records: instrument, time on its clock, mode, value, unit",
         historyLine + filterLines,
         {Option::history, Option::instrument, Option::from, Option::to, Option::json},
         0,
         &commandHistoryRecords},
        {{"history", "sessions"},
         "[--history FILE] history sessions [--instrument NAME] [--from DATE] [--to DATE] "
         "[--json]",
         "the measuring sessions of the stored records",
         historyLine + filterLines,
         {Option::history, Option::instrument, Option::from, Option::to, Option::json},
         0,
         &commandHistorySessions},
        {{"history", "stats"},
         "[--history FILE] history stats [--by day|month] [--instrument NAME] [--from DATE] "
         "[--to DATE] [--json]",
         "count, minimum, maximum and mean of each mode by day or month",
         historyLine + filterLines,
         {Option::history, Option::by, Option::instrument, Option::from, Option::to, Option::json},
         0,
         &commandHistoryStats},
        {{"history", "export"},
         "[--history FILE] history export (--csv FILE | --n42 FILE) [--instrument NAME] "
         "[--from DATE] [--to DATE]",
         "the stored records as CSV (UTF-8) or as an ANSI N42.42 document",
         historyLine + filterLines +
             "  An N42 file holds one instrument and its dose-rate records (the standard has\n"
             "  no place for flux densities or volumetric activity: they are counted and left\n"
             "  out). FILE is replaced only once wholly written.\n",
         {Option::history, Option::csv, Option::n42, Option::instrument, Option::from, Option::to},
         0,
         &commandHistoryExport},
        {{"history", "verify"},
         "[--history FILE] history verify",
         "check the history file and the SHA-256 of every stored image",
         historyLine + "  Exits 0 when all is well, 1 with a line for each problem.\n",
         {Option::history},
         0,
         &commandHistoryVerify},
        {{"history", "rename"},
         "[--history FILE] history rename OLD NEW",
         "give an instrument of the history another name",
         historyLine,
         {Option::history},
         2,
         &commandHistoryRename},
    };
    return rows;
}

constexpr Option allOptions[] = {
    Option::port,      Option::count,     Option::json,
    Option::language,  Option::set,       Option::yes,
    Option::image,     Option::session,   Option::sessions,
    Option::csv,       Option::giveUp,    Option::controls,
    Option::csvFolder, Option::mqtt,      Option::mqttCredentials,
    Option::mqttCa,    Option::name,      Option::config,
    Option::trace,     Option::history,   Option::instrument,
    Option::from,      Option::to,        Option::by,
    Option::n42,       Option::noHistory,
};

const char* optionName(Option option) {
    switch (option) {
    case Option::port:
        return "--port";
    case Option::count:
        return "--count";
    case Option::json:
        return "--json";
    case Option::language:
        return "--language";
    case Option::set:
        return "--set";
    case Option::yes:
        return "--yes";
    case Option::image:
        return "--image";
    case Option::session:
        return "--session";
    case Option::sessions:
        return "--sessions";
    case Option::csv:
        return "--csv";
    case Option::giveUp:
        return "--give-up";
    case Option::controls:
        return "--controls";
    case Option::csvFolder:
        return "--csv-folder";
    case Option::mqtt:
        return "--mqtt";
    case Option::mqttCredentials:
        return "--mqtt-credentials";
    case Option::mqttCa:
        return "--mqtt-ca";
    case Option::name:
        return "--name";
    case Option::config:
        return "--config";
    case Option::trace:
        return "--trace";
    case Option::history:
        return "--history";
    case Option::instrument:
        return "--instrument";
    case Option::from:
        return "--from";
    case Option::to:
        return "--to";
    case Option::by:
        return "--by";
    case Option::n42:
        return "--n42";
    case Option::noHistory:
        return "--no-history";
    }
    return "";
}

std::optional<Option> optionFor(const QString& arg) {
    for (const Option option : allOptions) {
        if (arg == QLatin1String(optionName(option))) {
            return option;
        }
    }
    return std::nullopt;
}

bool takesValue(Option option) {
    return option != Option::json && option != Option::yes && option != Option::sessions &&
           option != Option::controls && option != Option::noHistory;
}

// The command whose words open the plain words given, the longest first.
const Command* findCommand(const QStringList& words) {
    const Command* best = nullptr;
    for (const Command& command : table()) {
        const auto n = command.words.size();
        if (words.size() >= n && words.mid(0, n) == command.words &&
            (best == nullptr || n > best->words.size())) {
            best = &command;
        }
    }
    return best;
}

// A usage error: one line, and where to look.
int usageError(QTextStream& err, const QString& message, const Command* command = nullptr) {
    err << "veltra-cli: " << message << "; try 'veltra-cli "
        << (command != nullptr ? command->words.join(u' ') + QStringLiteral(" --help")
                               : QStringLiteral("--help"))
        << "'\n";
    return exitUsage;
}

} // namespace

std::span<const Command> commands() {
    return table();
}

QString helpText(const Command& command) {
    return QStringLiteral("usage: veltra-cli %1\n\n  %2\n\n%3")
        .arg(command.usage, command.summary, command.help);
}

QString usageText() {
    QString text = QStringLiteral("usage: veltra-cli COMMAND [OPTIONS]   (veltra-cli COMMAND "
                                  "--help for a command's options)\n\n");
    for (const Command& command : table()) {
        text += QStringLiteral("  veltra-cli %1\n      %2\n").arg(command.usage, command.summary);
    }
    text +=
        QStringLiteral("\nOptions take their value as '--opt value' or '--opt=value'.\n"
                       "Exit status: 0 success; 1 a port, instrument or file failure; 2 a usage "
                       "error;\n130 (Ctrl-C) or 143 (SIGTERM) when a signal ended the command "
                       "before it was done.\n");
    return text;
}

int run(const QStringList& args, QTextStream& out, QTextStream& err,
        const Environment& environment) {
    Invocation call;
    QStringList plain;
    std::vector<Option> given;
    bool help = false;
    // Options before the command are read the same as after it; "--opt=value" is "--opt value".
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> attached;
        if (const qsizetype eq = arg.indexOf(u'='); arg.startsWith(QLatin1String("--")) && eq > 2) {
            attached = arg.mid(eq + 1);
            arg.truncate(eq);
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            help = true;
            continue;
        }
        if (arg == QLatin1String("--version")) {
            out << "veltra-cli " << VELTRA_VERSION << '\n';
            return exitOk;
        }
        const auto option = optionFor(arg);
        if (!option) {
            if (arg.startsWith(u'-') && arg.size() > 1) {
                return usageError(err, QStringLiteral("unknown option '%1'").arg(arg));
            }
            plain << arg;
            continue;
        }
        if (!takesValue(*option) && attached) {
            return usageError(err, QStringLiteral("%1 takes no value").arg(arg));
        }
        if (takesValue(*option) && !attached && i + 1 >= args.size()) {
            return usageError(err, QStringLiteral("%1 needs a value").arg(arg));
        }
        const auto value = [&] { return attached ? *attached : args[++i]; };
        given.push_back(*option);
        switch (*option) {
        case Option::port:
            call.port = value();
            break;
        case Option::count: {
            bool ok = false;
            const QString text = value();
            const qlonglong count = text.toLongLong(&ok, 10);
            if (!ok || count < 0 || count > std::numeric_limits<int>::max()) {
                return usageError(err, QStringLiteral("--count: '%1' is not a whole number from "
                                                      "0 (until interrupted) to %2")
                                           .arg(text)
                                           .arg(std::numeric_limits<int>::max()));
            }
            call.count = static_cast<int>(count);
            break;
        }
        case Option::csv:
            call.csv = value();
            break;
        case Option::giveUp: {
            bool ok = false;
            const QString text = value();
            const qlonglong seconds = text.toLongLong(&ok, 10);
            if (!ok || seconds < 0 || seconds > 24 * 3600) {
                return usageError(
                    err,
                    QStringLiteral("--give-up: '%1' is not seconds from 0 to 86400").arg(text));
            }
            call.giveUp_s = static_cast<int>(seconds);
            call.giveUpGiven = true;
            break;
        }
        case Option::json:
            call.json = true;
            break;
        case Option::controls:
            call.controls = true;
            break;
        case Option::csvFolder:
            call.csvFolder = value();
            break;
        case Option::mqtt:
            call.mqtt = value();
            break;
        case Option::mqttCredentials:
            call.mqttCredentials = value();
            break;
        case Option::mqttCa:
            call.mqttCa = value();
            break;
        case Option::name:
            call.name = value();
            break;
        case Option::config:
            call.config = value();
            break;
        case Option::trace:
            call.trace = value();
            break;
        case Option::history:
            call.history = value();
            break;
        case Option::instrument:
            call.instrument = value();
            break;
        case Option::from:
        case Option::to: {
            const QString text = value();
            const QDate date = QDate::fromString(text, Qt::ISODate);
            if (!date.isValid() || text.size() != 10) {
                return usageError(err, QStringLiteral("%1: '%2' is not a date YYYY-MM-DD")
                                           .arg(optionName(*option), text));
            }
            (*option == Option::from ? call.from : call.to) = date;
            break;
        }
        case Option::by:
            call.by = value();
            if (call.by != QLatin1String("day") && call.by != QLatin1String("month")) {
                return usageError(
                    err, QStringLiteral("--by: '%1' is neither day nor month").arg(call.by));
            }
            break;
        case Option::n42:
            call.n42 = value();
            break;
        case Option::noHistory:
            call.noHistory = true;
            break;
        case Option::language: {
            const QString language = value();
            if (language == QLatin1String("ru")) {
                call.language = text::Language::russian;
            } else if (language == QLatin1String("en")) {
                call.language = text::Language::english;
            } else {
                return usageError(
                    err, QStringLiteral("--language: '%1' is neither ru nor en").arg(language));
            }
            break;
        }
        case Option::set:
            call.edits << value();
            break;
        case Option::yes:
            call.yes = true;
            break;
        case Option::image:
            call.image = value();
            break;
        case Option::session: {
            bool ok = false;
            const QString text = value();
            call.session = text.toInt(&ok, 10);
            if (!ok) {
                return usageError(
                    err, QStringLiteral("--session: '%1' is not a session number").arg(text));
            }
            break;
        }
        case Option::sessions:
            call.sessions = true;
            break;
        }
    }

    const Command* command = findCommand(plain);
    if (command == nullptr) {
        if (help && plain.isEmpty()) {
            out << usageText();
            return exitOk;
        }
        return usageError(err, plain.isEmpty()
                                   ? QStringLiteral("no command given")
                                   : QStringLiteral("unknown command '%1'").arg(plain[0]));
    }
    call.help = help;
    const QString name = command->words.join(u' ');
    const bool usesAPort = command->handler == &commandScan ||
                           std::find(command->options.begin(), command->options.end(),
                                     Option::port) != command->options.end();
    for (const Option option : given) {
        if (option == Option::trace && usesAPort) {
            continue;
        }
        if (std::find(command->options.begin(), command->options.end(), option) ==
            command->options.end()) {
            return usageError(
                err, QStringLiteral("%1 does not take %2").arg(name, optionName(option)), command);
        }
    }
    call.words = command->words;
    call.arguments = plain.mid(command->words.size());
    if (!applyStationConfig(call, err)) {
        return exitFailure;
    }
    if (!call.trace.isEmpty()) {
        QFile trace(call.trace);
        if (const station::FileResult target = station::replaceable(call.trace);
            !target || !trace.open(QIODevice::WriteOnly | QIODevice::Append)) {
            err << "veltra-cli: cannot write the trace " << call.trace << ": "
                << (target ? trace.errorString() : target.reason) << '\n';
            return exitFailure;
        }
    }
    if (help) {
        // The help of a command can say more about the instrument on --port (params).
        if (command->handler == &commandParams || command->handler == &commandParamsSave) {
            return commandParamsHelp(call, {out, err, environment}, helpText(*command));
        }
        out << helpText(*command);
        return exitOk;
    }
    if (command->arguments == oneOrMore ? call.arguments.isEmpty()
                                        : call.arguments.size() != command->arguments) {
        return usageError(
            err,
            command->arguments == 0
                ? QStringLiteral("unexpected argument '%1'").arg(call.arguments[0])
            : call.arguments.isEmpty()
                ? QStringLiteral("%1 needs a file name").arg(name)
                : QStringLiteral("unexpected argument '%1'").arg(call.arguments.last()),
            command);
    }
    const bool needsPort = std::find(command->options.begin(), command->options.end(),
                                     Option::port) != command->options.end();
    const bool takesImage = std::find(command->options.begin(), command->options.end(),
                                      Option::image) != command->options.end();
    if (takesImage && !call.port.isEmpty() && !call.image.isEmpty()) {
        return usageError(err, QStringLiteral("%1 takes --port or --image, not both").arg(name),
                          command);
    }
    if (takesImage && call.port.isEmpty() && call.image.isEmpty()) {
        return usageError(err, QStringLiteral("%1 needs --port N|PATH or --image FILE").arg(name),
                          command);
    }
    if (needsPort && !takesImage && call.port.isEmpty()) {
        return usageError(err, QStringLiteral("%1 needs --port N|PATH").arg(name), command);
    }
    const int status = command->handler(call, {out, err, environment});
    if (status == exitInterrupted) {
        const int signal = environment.stopSignal ? environment.stopSignal() : 0;
        return 128 + (signal != 0 ? signal : 2);
    }
    return status;
}

} // namespace veltra::cli
