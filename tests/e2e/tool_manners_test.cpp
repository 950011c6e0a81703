// veltra-cli as a Unix tool: a signal ends any command within a second with 130 or 143 and
// whole files; a FIFO or a device where a file should be is refused, never waited on; and what
// 'params' prints, 'params save --set' takes back, for every instrument type. The tool runs as
// its own process where a signal or a blocking open is what is tested; every wait is bounded.
#include "cli_run.h"
#include "sim_fixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>

using namespace veltra;
using sim::FaultKind;

namespace {

using e2e::runCli;
using ToolRun = e2e::CliRun;

#ifdef VELTRA_CLI_BINARY
// The tool in a process of its own, in dir; nothing on its standard input.
class Tool {
public:
    Tool(const QStringList& args, const QString& dir) {
        m_process.setWorkingDirectory(dir);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(QStringLiteral(VELTRA_CLI_BINARY), args);
    }
    ~Tool() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool started() { return m_process.waitForStarted(5000); }
    // Waits (bounded) until the tool says something on the channel, then sends the signal.
    bool signalAfterOutput(int signal, QProcess::ProcessChannel channel) {
        m_process.setReadChannel(channel);
        for (int i = 0; i < 150 && m_process.bytesAvailable() == 0; ++i) {
            m_process.waitForReadyRead(100);
        }
        return m_process.bytesAvailable() > 0 &&
               ::kill(static_cast<pid_t>(m_process.processId()), signal) == 0;
    }
    void signalNow(int signal) { ::kill(static_cast<pid_t>(m_process.processId()), signal); }
    // The exit status; -1 when it did not end within the bound.
    int finish() {
        if (!m_process.waitForFinished(10000)) {
            return -1;
        }
        m_out = m_process.readAllStandardOutput();
        m_err = m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    [[nodiscard]] const QByteArray& out() const { return m_out; }
    [[nodiscard]] const QByteArray& err() const { return m_err; }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

class ToolSignals : public e2e::SimFixture {
protected:
    QString path() const { return QString::fromStdString(simulator->devicePath()); }
    QTemporaryDir dir;
};

TEST_F(ToolSignals, EveryCommandEndsWithinASecondWithTheSignalsStatus) {
    // An archive read from an instrument that went silent halfway: Ctrl-C keeps what was
    // proven, whole.
    simulator->server().injectFault({FaultKind::silence, 1000, 0, 300});
    {
        Tool read({"--port", path(), "archive", "read", "image.bin"}, dir.path());
        ASSERT_TRUE(read.started());
        ASSERT_TRUE(
            sim::Simulator::waitFor([&] { return simulator->server().stats().faultsApplied > 0; },
                                    std::chrono::seconds(10)));
        read.signalNow(SIGINT);
        EXPECT_EQ(read.finish(), 130) << read.err().toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("image.bin")));
        QFile partial(dir.filePath("image.bin.partial"));
        ASSERT_TRUE(partial.open(QIODevice::ReadOnly)) << read.err().toStdString();
        const QByteArray kept = partial.readAll();
        ASSERT_GT(kept.size(), 0);
        EXPECT_EQ(kept.size() % 10, 0);
        for (qsizetype i = 0; i < kept.size(); i += 10) {
            const auto want = simulator->model().archiveRecord(static_cast<std::size_t>(i / 10));
            EXPECT_EQ(kept.mid(i, 10), QByteArray(reinterpret_cast<const char*>(want.data()), 10));
        }
    }
    // A command waiting on a silent instrument's parameter read.
    {
        const auto applied = simulator->server().stats().faultsApplied;
        Tool reset({"--port", path(), "dose-reset"}, dir.path());
        ASSERT_TRUE(reset.started());
        ASSERT_TRUE(sim::Simulator::waitFor(
            [&] { return simulator->server().stats().faultsApplied > applied; },
            std::chrono::seconds(10)));
        reset.signalNow(SIGTERM);
        EXPECT_EQ(reset.finish(), 143);
    }
    // A poll that had readings left to take did not do what it was asked; an endless one that
    // never read anything neither.
    simulator->server().clearFaults();
    {
        Tool poll({"--port", path(), "poll", "--count", "5", "--json"}, dir.path());
        ASSERT_TRUE(poll.started());
        ASSERT_TRUE(poll.signalAfterOutput(SIGINT, QProcess::StandardOutput));
        EXPECT_EQ(poll.finish(), 130);
        EXPECT_TRUE(poll.out().endsWith("}\n")); // whole lines only
    }
    simulator->server().injectFault({FaultKind::silence, 1000, 0});
    {
        Tool poll({"--port", path(), "poll", "--count", "0"}, dir.path());
        ASSERT_TRUE(poll.started());
        ASSERT_TRUE(poll.signalAfterOutput(SIGTERM, QProcess::StandardError)); // a failure line
        EXPECT_EQ(poll.finish(), 143);
    }
}

TEST_F(ToolSignals, AFifoIsRefusedAndNeverWaitedOn) {
    for (const char* name : {"prog.ini", "fifo"}) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0600), 0);
    }
    // A FIFO named prog.ini: read as no file at all, the pins with it, and said once.
    Tool ports({"ports"}, dir.path());
    ASSERT_TRUE(ports.started());
    EXPECT_EQ(ports.finish(), 0);
    EXPECT_EQ(ports.err().count("prog.ini was not read (it is a FIFO, not a regular file); going "
                                "on without its port pins\n"),
              1)
        << ports.err().toStdString();

    const QString fifo = dir.filePath("fifo");
    const QList<QStringList> refused = {
        {"archive", "show", "--image", fifo},      {"parse-current", fifo},
        {"--port", path(), "poll", "--csv", fifo}, {"--port", path(), "archive", "read", fifo},
        {"--port", path(), "dump-current", fifo},
    };
    for (const QStringList& args : refused) {
        Tool tool(args, dir.path());
        ASSERT_TRUE(tool.started());
        EXPECT_EQ(tool.finish(), 1) << args.join(' ').toStdString();
        EXPECT_TRUE(tool.err().contains(fifo.toUtf8() + ": it is a FIFO, not a regular file\n"))
            << tool.err().toStdString();
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)); // never replaced
}
#endif

class ParameterRoundTrip : public ::testing::TestWithParam<int> {};

// The settable names and the values the instrument takes, as 'params --help' lists them.
std::map<QString, QString> settable(const QString& help) {
    std::map<QString, QString> names;
    static const QRegularExpression line(QStringLiteral("^    (\\w+)\\s+(.*)$"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(help); it.hasNext();) {
        const auto m = it.next();
        names[m.captured(1)] = m.captured(2);
    }
    return names;
}

} // namespace

TEST_P(ParameterRoundTrip, WhatParamsPrintsSaveTakesBack) {
    auto options = e2e::quietOptions();
    options.model.deviceType = GetParam();
    options.model.archiveLogging = false;
    sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.start()) << simulator.errorText();
    const QString port = QString::fromStdString(simulator.devicePath());

    const ToolRun help = runCli({"--port", port, "params", "save", "--help", "--language", "en"});
    ASSERT_EQ(help.status, cli::exitOk) << help.err.toStdString();
    const auto names = settable(help.out);
    ASSERT_TRUE(names.contains("backlightTime")) << help.out.toStdString();

    const ToolRun before = runCli({"--port", port, "params", "--json"});
    ASSERT_EQ(before.status, cli::exitOk) << before.err.toStdString();
    const QJsonObject printed = QJsonDocument::fromJson(before.out.toUtf8()).object();

    // Every name the instrument offers, set to the value params printed, as params printed it.
    QStringList args = {"--port", port, "params", "save", "--language", "en"};
    for (const auto& [name, values] : names) {
        if (!printed.contains(name) || values.startsWith("not offered")) {
            continue;
        }
        const QJsonValue v = printed[name];
        const QString text =
            v.isArray()
                ? QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact))
                : QString::number(v.toDouble(), 'g', 9);
        args << "--set" << name + u'=' + text;
    }
    const ToolRun saved = runCli(args);
    ASSERT_EQ(saved.status, cli::exitOk) << args.join(' ').toStdString() << "\n"
                                         << saved.err.toStdString();

    const ToolRun after = runCli({"--port", port, "params", "--json"});
    const QJsonObject reread = QJsonDocument::fromJson(after.out.toUtf8()).object();
    for (const QString& key : printed.keys()) {
        if (key == "doseRateThresholds" || key == "doseThresholds" || key.startsWith("readout")) {
            continue; // a saved threshold gains 0.001; the readout's counters run on
        }
        EXPECT_EQ(reread[key], printed[key]) << key.toStdString();
    }
    for (const char* key : {"doseRateThresholds", "doseThresholds"}) {
        for (int i = 0; i < 3; ++i) {
            const double was = printed[key][i].toDouble();
            EXPECT_NEAR(reread[key][i].toDouble(), was > 0 ? was + 0.001 : was, 1e-4) << key;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(InstrumentTypes, ParameterRoundTrip, ::testing::Range(1, 8));

TEST(ToolUsage, AStationRunsFromItsSettingsFile) {
    sim::Simulator simulator(e2e::quietOptions());
    ASSERT_TRUE(simulator.start());
    QTemporaryDir dir;
    const QString conf = dir.filePath("office.conf");
    QFile file(conf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("# the office\nport = %1\ncsv-folder = %2\ngive-up = 5\n")
                   .arg(QString::fromStdString(simulator.devicePath()), dir.filePath("readings"))
                   .toUtf8());
    file.close();
    const ToolRun run = runCli({"poll", "--json", "--config", conf});
    ASSERT_EQ(run.status, cli::exitOk) << run.err.toStdString();
    QDir readings(dir.filePath("readings"));
    ASSERT_EQ(readings.entryList(QDir::Files).size(), 1);
    QFile csv(readings.filePath(readings.entryList(QDir::Files).front()));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count('\n'), 2); // the header and the reading

    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("colour = red\n");
    file.close();
    const ToolRun bad = runCli({"poll", "--config", conf});
    EXPECT_EQ(bad.status, cli::exitFailure);
    EXPECT_TRUE(bad.err.contains("office.conf, line 5: 'colour = red' is not one of"))
        << bad.err.toStdString();

    // The command line wins over the file, the time to give up too: with the file's day this
    // would poll a missing port until the test's time-out.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("port = /nonexistent/tty\ngive-up = 86400\n");
    file.close();
    const ToolRun now = runCli({"poll", "--give-up", "0", "--config", conf});
    EXPECT_EQ(now.status, cli::exitFailure) << now.err.toStdString();
}

TEST(ToolUsage, OneLineSaysWhatIsWrongAndWhereToLook) {
    const ToolRun unknown = runCli({"--port=/dev/null", "poll", "--colour"});
    EXPECT_EQ(unknown.status, cli::exitUsage);
    EXPECT_EQ(unknown.err, "veltra-cli: unknown option '--colour'; try 'veltra-cli --help'\n");
    const ToolRun both = runCli({"archive", "show", "--port", "1", "--image=x.bin"});
    EXPECT_EQ(both.err, "veltra-cli: archive show takes --port or --image, not both; try "
                        "'veltra-cli archive show --help'\n");
    const ToolRun count = runCli({"--port", "/dev/null", "poll", "--count=x"});
    EXPECT_EQ(count.status, cli::exitUsage);
    EXPECT_EQ(count.err.count('\n'), 1);
    EXPECT_EQ(runCli({"poll", "--json=1"}).status, cli::exitUsage);
    const ToolRun version = runCli({"--version"});
    EXPECT_EQ(version.status, cli::exitOk);
    EXPECT_TRUE(version.out.startsWith("veltra-cli " VELTRA_VERSION));
}
