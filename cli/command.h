#pragma once
// veltra-cli's command table and what every command shares: the parsed command line, the
// port argument, number and clock texts, JSON output, and the way failures are told.
//
// Each command is one row of the table (cli.cpp): its words, its usage line, the options it
// takes, a short help text and its handler. The handlers live one file per group:
// cmd_ports.cpp, cmd_live.cpp, cmd_poll.cpp, cmd_params.cpp, cmd_archive.cpp, cmd_history.cpp
// (HACKING.md says how to add one).

#include "app/app_context.h"
#include "app/parameters_tab.h"
#include "instrument/outcome.h"
#include "live/current_data.h"
#include "text/language.h"

#include <QDate>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QTextStream>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltra::cli {

inline constexpr int exitOk = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;
// A signal ended the command before it had done what it was asked: run() returns 128 plus the
// signal's number (130 for SIGINT, 143 for SIGTERM).
inline constexpr int exitInterrupted = -1;

// The options a command may take.
enum class Option {
    port,
    count,
    json,
    language,
    set,
    yes,
    image,
    session,
    sessions,
    csv,
    giveUp,
    controls,
    csvFolder,
    mqtt,
    mqttCredentials,
    mqttCa,
    name,
    config,
    trace,
    history,
    instrument,
    from,
    to,
    by,
    n42,
    noHistory,
};

// One command line, parsed.
struct Invocation {
    QStringList words;        // the command's words ("params", "save")
    QString port;             // number or device path; empty when not given
    int count = 1;            // readings; 0: until interrupted
    QString csv;              // --csv FILE
    int giveUp_s = 60;        // --give-up S: seconds without a valid answer before poll gives up
    bool giveUpGiven = false; // --give-up was on the command line (it wins over --config)
    bool json = false;
    text::Language language = text::Language::none; // none: not given
    QStringList edits;                              // --set NAME=VALUE, in order
    bool yes = false;
    QString image;           // --image FILE: an archive image saved by "archive read"
    int session = 1;         // --session N
    bool sessions = false;   // --sessions
    bool controls = false;   // --controls: the window's texts under its control names
    QString csvFolder;       // --csv-folder DIR: a CSV file a day
    QString mqtt;            // --mqtt URL
    QString mqttCredentials; // --mqtt-credentials FILE: the user's name, then the password
    QString mqttCa;          // --mqtt-ca FILE: the authority that signed the broker's certificate
    QString name;            // --name NAME: the instrument's name in MQTT topics
    QString config;          // --config FILE: a station's settings (see poll --help)
    QString trace;           // --trace FILE: every byte on the serial line
    QString history;         // --history FILE: the dose history (default: history.sqlite here)
    QString instrument;      // --instrument NAME: the instrument in the history
    std::optional<QDate> from, to;      // --from DATE, --to DATE (YYYY-MM-DD, inclusive)
    QString by = QStringLiteral("day"); // --by day|month
    QString n42;                        // --n42 FILE
    bool noHistory = false;             // --no-history: archive read stores nothing in the history
    bool help = false;                  // --help
    QStringList arguments;              // words after the command's own (a file name)
};

// What a run sees of the machine besides its streams: the clocks of the port scan and the
// system's serial devices. Tests count the scan's waits instead of sleeping them and list no
// system device, so they never touch a real port. Empty members: the machine's own.
struct Environment {
    std::function<std::time_t()> wallClock = {};
    std::function<void(std::chrono::milliseconds)> sleep = {};
    std::function<QStringList()> serialDevices = {};
    bool stderrIsTerminal = false; // progress lines are drawn over each other on a terminal
    // True once the run is asked to end (SIGINT, SIGTERM): every command stops between two
    // transactions, and no wait lasts beyond it.
    std::function<bool()> stopRequested = {};
    // The signal that asked (SIGINT 2, SIGTERM 15), 0 for none.
    std::function<int()> stopSignal = {};
};

struct Streams {
    QTextStream& out;
    QTextStream& err;
    const Environment& environment;
};

using Handler = int (*)(const Invocation&, Streams);

inline constexpr int oneOrMore = -1;

struct Command {
    QStringList words;
    QString usage;   // the line after "veltra-cli "
    QString summary; // one line for the overview
    QString help;    // what --help adds
    std::vector<Option> options;
    int arguments = 0; // plain arguments after the words (file names); oneOrMore: at least one
    Handler handler = nullptr;
};

// ---- shared helpers -----------------------------------------------------------------------

// The program's state as one command line uses it: the link is interrupted by a signal, and the
// port keeps the name the user gave it.
class Context : public app::AppContext {
public:
    using app::AppContext::AppContext;
    QString portGiven; // --port as given when it is a device path; empty for a number
};

// The program's state with the port of --port selected (a number resolved through the
// catalogue of prog.ini's pins and the system's devices, or a device path pinned as port 1);
// nullptr after a message on err when the port argument is not one.
[[nodiscard]] std::unique_ptr<Context> contextFor(const Invocation& call, Streams io);
// contextFor with the port opened: nullptr after a message on err, with exitCode set to what
// the command returns then (a usage error or a port that does not open).
[[nodiscard]] std::unique_ptr<Context> openedContextFor(const Invocation& call, Streams io,
                                                        int& exitCode);
// The program's state over the catalogue of prog.ini's pins and the system's devices, with no
// port selected (the scan selects one).
[[nodiscard]] std::unique_ptr<Context> catalogueContext(Streams io, const QString& trace = {});
// The port as the user knows it: "port 3 (/dev/ttyUSB0)" for a number, the path as given for a
// device path.
[[nodiscard]] QString portName(const Context& context);
// "cannot open PORT: why", for a port that did not open.
[[nodiscard]] QString cannotOpen(const Context& context);

// A number with nine significant digits: every single-precision value comes back exactly.
[[nodiscard]] QString number9(double value);
// The same as a JSON number (non-finite values are written as null).
[[nodiscard]] QJsonValue json9(double value);
// One JSON object on one line.
void printJson(QTextStream& out, const QJsonObject& object);

// A decoded field as a terminal shows it and as JSON carries it.
struct Field {
    QString name;
    QString text;
    QJsonValue json;
};
[[nodiscard]] Field integerField(const char* name, qint64 value);
[[nodiscard]] Field realField(const char* name, double value); // nine significant digits
[[nodiscard]] QJsonObject jsonObject(const std::vector<Field>& fields);
// "name      value" lines, the names padded to width.
void printFields(QTextStream& out, const std::vector<Field>& fields, int width);

// What a failed transaction means, for one line on stderr.
[[nodiscard]] QString failureText(instrument::Outcome outcome, std::uint32_t received,
                                  std::uint32_t expected);

// The parameter operations' events for the tool: none of them is shown, as the tool says its own
// failures from the outcomes and a status line or a reset of the readings means nothing in a
// terminal.
using QuietHost = app::Events;

// Reads the parameters as the program does; false with one line on err when that fails.
bool readParametersFor(Context& context, QTextStream& err, QChar decimalSeparator);
// A command that failed: exitInterrupted when a signal asked the run to end (the failure is its
// doing), else exitFailure.
[[nodiscard]] int failedOrInterrupted(const Environment& environment);

// ---- the handlers --------------------------------------------------------------------------

int commandPorts(const Invocation& call, Streams io);
int commandScan(const Invocation& call, Streams io);
int commandPoll(const Invocation& call, Streams io);
// --config FILE: a station's settings (port, csv, csv-folder, mqtt, mqtt-credentials, name,
// trace, give-up = VALUE lines) for the options the command line does not give; false after a
// message when the file cannot be read or holds something else.
bool applyStationConfig(Invocation& call, QTextStream& err);
int commandClockSync(const Invocation& call, Streams io);
int commandDumpCurrent(const Invocation& call, Streams io);
int commandParseCurrent(const Invocation& call, Streams io);
int commandParams(const Invocation& call, Streams io);
int commandParamsSave(const Invocation& call, Streams io);
int commandDoseReset(const Invocation& call, Streams io);
int commandFactoryReset(const Invocation& call, Streams io);
int commandArchiveRead(const Invocation& call, Streams io);
int commandArchiveShow(const Invocation& call, Streams io);
int commandArchiveExport(const Invocation& call, Streams io);
int commandArchiveCsv(const Invocation& call, Streams io);
int commandEraseArchive(const Invocation& call, Streams io);
int commandHistoryImport(const Invocation& call, Streams io);
// After a read of the instrument's archive (whole, or ended early with proven records): the
// download stored in the history, one line on out (or err, for a read that ended early); false
// when it could not be.
bool storeReadInHistory(const Invocation& call, Streams io, Context& context,
                        const app::ArchiveReadResult& read);
int commandHistoryInstruments(const Invocation& call, Streams io);
int commandHistoryDownloads(const Invocation& call, Streams io);
int commandHistoryRecords(const Invocation& call, Streams io);
int commandHistorySessions(const Invocation& call, Streams io);
int commandHistoryStats(const Invocation& call, Streams io);
int commandHistoryExport(const Invocation& call, Streams io);
int commandHistoryVerify(const Invocation& call, Streams io);
int commandHistoryRename(const Invocation& call, Streams io);
// params --help and params save --help: the help, and with --port every settable name with
// the values the connected instrument takes.
int commandParamsHelp(const Invocation& call, Streams io, const QString& help);

// The window's texts for a reading in the language of the context (none without one).
[[nodiscard]] std::optional<live::ReadingsView> viewFor(const app::AppContext& context,
                                                        const live::CurrentData& reading);

// The texts of poll: the decoded fields, and what the window would show.
void printReading(const live::CurrentData& reading, const std::optional<live::ReadingsView>& view,
                  bool json, bool controls, QTextStream& out);

} // namespace veltra::cli
