// veltra-cli poll against the simulated instrument: output, messages and exit status.
#include "cli_run.h"
#include "history/history_store.h"
#include "sim_fixture.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace veltra;
using sim::FaultKind;

namespace {

using e2e::CliRun;
using e2e::runCli;

class CliTest : public e2e::SimFixture {
protected:
    QString path() const { return QString::fromStdString(simulator->devicePath()); }
};

} // namespace

TEST_F(CliTest, PollJsonCarriesTheDecodedFields) {
    simulator->model().pinMeasurementCount(777);
    simulator->model().pinMainValue(0.1);
    simulator->model().pinStatusFlags(0x80);
    simulator->model().setMode(4);

    const CliRun r = runCli({"--port", path(), "poll", "--json", "--count", "2"});
    ASSERT_EQ(r.status, cli::exitOk) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    const auto lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);

    QJsonParseError error{};
    const auto json = QJsonDocument::fromJson(lines[0].toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[0].toStdString();
    QStringList keys = json.keys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"batteryVoltage", "clock", "doseTime", "doseValue", "errorPercent",
                                 "mainValue", "measurementCount", "memoryFill", "mode",
                                 "statusFlags", "workingTime"}));
    EXPECT_EQ(json["measurementCount"].toInteger(), 777);
    // Nine significant digits give back the instrument's single-precision value exactly.
    const double sent = veltra::link::decodeFloat32(veltra::link::encodeFloat32Bytes(0.1));
    EXPECT_EQ(static_cast<float>(json["mainValue"].toDouble()), static_cast<float>(sent));
    EXPECT_EQ(json["statusFlags"].toInt(), 0x80);
    EXPECT_EQ(json["mode"].toInt(), 4);
    EXPECT_EQ(json["memoryFill"].toInt(), static_cast<int>(sim::prefilledRecords));
    EXPECT_TRUE(QDateTime::fromString(json["clock"].toString(), Qt::ISODate).isValid());
    EXPECT_EQ(json["clock"].toString().size(), 19);
}

TEST_F(CliTest, PlainPollPrintsOneFieldPerLine) {
    simulator->model().pinMeasurementCount(5);
    const CliRun r = runCli({"poll", "--port", path()});
    ASSERT_EQ(r.status, cli::exitOk);
    EXPECT_TRUE(r.out.contains(
        QRegularExpression("^measurement count +5$", QRegularExpression::MultilineOption)));
    EXPECT_TRUE(r.out.contains(
        QRegularExpression("^battery +[0-9.]+ V$", QRegularExpression::MultilineOption)));
    EXPECT_EQ(r.out.count('\n'), 11);
}

TEST_F(CliTest, FailuresExitOneWithAClearLine) {
    const struct {
        FaultKind fault;
        const char* says;
    } cases[] = {
        {FaultKind::silence, "did not answer"},
        {FaultKind::badHeaderCrc, "header failed its CRC check"},
        {FaultKind::badDataCrc, "data failed their CRC check"},
        {FaultKind::truncated, "cut short (24 of 51 bytes)"},
    };
    for (const auto& c : cases) {
        // The parameter read before the poll meets the fault too; it only costs the thresholds.
        simulator->server().injectFault({c.fault, 2, 0});
        const CliRun r = runCli({"--port", path(), "poll", "--json", "--give-up", "0"});
        EXPECT_EQ(r.status, cli::exitFailure) << c.says;
        EXPECT_TRUE(r.out.isEmpty()) << c.says;
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }

    const CliRun missing = runCli({"--port", "/nonexistent/tty", "poll", "--give-up", "0"});
    EXPECT_EQ(missing.status, cli::exitFailure);
    // The system's reason follows ("No such file or directory").
    EXPECT_TRUE(missing.err.contains(" veltra-cli: cannot open /nonexistent/tty: "))
        << missing.err.toStdString();
    EXPECT_EQ(missing.err.count('\n'), 1);
    // A number that stands for no device says so.
    const CliRun none = runCli({"--port", "007", "poll", "--give-up", "0"});
    EXPECT_TRUE(none.err.contains("cannot open port 7 (no device; see 'veltra-cli ports')"))
        << none.err.toStdString();
}

TEST_F(CliTest, AHeadlessPollReportsEachFailureAndGoesOn) {
    // Two ticks fail (the parameter read, tried again on each tick until it succeeds, and the
    // poll); the run still gets its two readings.
    simulator->server().injectFault({FaultKind::badDataCrc, 4, 0});
    const CliRun r = runCli({"--port", path(), "poll", "--json", "--count", "2"});
    ASSERT_EQ(r.status, cli::exitOk) << r.err.toStdString();
    EXPECT_EQ(r.out.count('\n'), 2);
    const QStringList failures = r.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(failures.size(), 2) << r.err.toStdString();
    for (const QString& line : failures) {
        // The computer's time with its UTC offset, then what failed.
        const QString stamp = line.section(' ', 0, 0);
        EXPECT_TRUE(QDateTime::fromString(stamp, Qt::ISODate).isValid()) << stamp.toStdString();
        EXPECT_TRUE(stamp.contains(QRegularExpression("([+-]\\d\\d:\\d\\d|Z)$")));
        EXPECT_TRUE(line.endsWith("the reply data failed their CRC check"));
    }
}

TEST_F(CliTest, APollGivesUpOnlyAfterTheStretchWithoutAValidAnswer) {
    simulator->server().injectFault({FaultKind::silence, 1000, 0});
    const CliRun r = runCli({"--port", path(), "poll", "--give-up", "3"});
    EXPECT_EQ(r.status, cli::exitFailure);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_GE(r.err.count("did not answer"), 2); // each silent tick costs two time-outs
    // Timed like every line before it.
    EXPECT_TRUE(r.err.endsWith(" veltra-cli: " + path() + ": no valid answer for 3 s; giving up\n"))
        << r.err.toStdString();
    const QString last = r.err.section('\n', -2, -2);
    EXPECT_TRUE(QDateTime::fromString(last.section(' ', 0, 0), Qt::ISODate).isValid());
}

TEST_F(CliTest, CountZeroPollsUntilAskedToStop) {
    int asked = 0;
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    const int status = cli::run({"--port", path(), "poll", "--count", "0", "--json"}, o, e,
                                {.serialDevices = [] { return QStringList(); },
                                 .stopRequested = [&asked] { return ++asked > 30; }});
    o.flush();
    EXPECT_EQ(status, cli::exitOk);
    EXPECT_GE(out.count('\n'), 1);
    EXPECT_TRUE(out.endsWith("}\n")); // ends on a whole line
}

TEST_F(CliTest, TheCsvFileGetsALinePerNewMeasurement) {
    QTemporaryDir dir;
    const QString file = dir.filePath("station.csv");
    simulator->model().pinMeasurementCount(41);
    const QString historyFile = dir.filePath("history.sqlite");
    ASSERT_EQ(
        runCli({"--port", path(), "poll", "--count", "2", "--csv", file, "--history", historyFile})
            .status,
        cli::exitOk);
    simulator->model().pinMeasurementCount(42);
    ASSERT_EQ(runCli({"--port", path(), "poll", "--csv", file, "--history", historyFile}).status,
              cli::exitOk);
    // The history has each measurement once too, under the instrument the probes named.
    history::HistoryStore store;
    ASSERT_TRUE(store.open(historyFile, false).ok());
    EXPECT_EQ(store.connection().integer("SELECT count(*) FROM readings"), 2);
    EXPECT_EQ(store.connection().integer("SELECT count(*) FROM readings WHERE instrument_id IS "
                                         "NOT NULL AND measurement_count IN (41, 42)"),
              2);

    QFile csv(file);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << lines.join('|').toStdString(); // one header, one line each
    EXPECT_EQ(lines[0], "computer_time,instrument_time,measurement_count,main_value,quantity,"
                        "unit,dose_uSv,error_percent,battery_V,status_flags");
    const QStringList fields = lines[1].split(',');
    ASSERT_EQ(fields.size(), 10);
    EXPECT_EQ(fields[2], "41");
    EXPECT_EQ(fields[4], "dose rate");
    EXPECT_EQ(fields[5], "uSv/h");
    EXPECT_EQ(lines[2].split(',')[2], "42");
    EXPECT_EQ(
        runCli({"--port", path(), "poll", "--csv", dir.filePath("no/dir/x.csv"), "--no-history"})
            .status,
        cli::exitFailure);
}

#ifdef VELTRA_CLI_BINARY
TEST_F(CliTest, SigtermEndsALongPollCleanly) {
    QProcess tool;
    tool.start(QStringLiteral(VELTRA_CLI_BINARY),
               {"--port", path(), "poll", "--count", "0", "--json"});
    ASSERT_TRUE(tool.waitForStarted(5000));
    ASSERT_TRUE(tool.waitForReadyRead(10000)); // the first reading
    tool.terminate();                          // SIGTERM
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), cli::exitOk);
    const QByteArray out = tool.readAllStandardOutput();
    EXPECT_TRUE(out.endsWith("}\n"));
}
#endif

TEST(CliUsage, MistakesExitTwo) {
    const QList<QStringList> mistakes = {
        {},
        {"fly"},
        {"poll"},
        {"--port", "0", "poll"},
        {"--port", "256", "poll"},
        {"--port", "/dev/null", "poll", "--count", "99999999999"},
        {"--port", "/dev/null", "poll", "--count", "-1"},
        {"--port", "/dev/null", "poll", "--give-up", "x"},
        {"--port", "/dev/null", "poll", "--count", "x"},
        {"poll", "--port"},
        {"ports", "--verbose"},
    };
    for (const auto& args : mistakes) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.status, cli::exitUsage) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_EQ(runCli({"--help"}).status, cli::exitOk);
}

TEST(CliUsage, EveryCommandHasItsHelpAndRefusesOptionsItDoesNotTake) {
    for (const cli::Command& command : cli::commands()) {
        const CliRun r = runCli(command.words + QStringList{"--help"});
        EXPECT_EQ(r.status, cli::exitOk) << command.usage.toStdString();
        EXPECT_TRUE(r.out.startsWith("usage: veltra-cli " + command.usage + "\n"))
            << r.out.toStdString();
        EXPECT_TRUE(runCli({"--help"}).out.contains(command.usage));
    }
    const CliRun refused = runCli({"--port", "/dev/null", "clock-sync", "--json"});
    EXPECT_EQ(refused.status, cli::exitUsage);
    EXPECT_EQ(refused.err, "veltra-cli: clock-sync does not take --json; try 'veltra-cli "
                           "clock-sync --help'\n");
    EXPECT_EQ(runCli({"--port", "/dev/null", "params", "--set", "sound=1"}).status, cli::exitUsage);
    EXPECT_EQ(runCli({"parse-current"}).status, cli::exitUsage); // no file named
    EXPECT_EQ(runCli({"ports", "extra"}).status, cli::exitUsage);
}

TEST_F(CliTest, ADumpedBlockDecodesOfflineAsPollPrintsIt) {
    simulator->model().pinMeasurementCount(4242);
    simulator->model().pinMainValue(0.375);
    QTemporaryDir dir;
    const QString file = dir.filePath("current.bin");
    const CliRun dumped = runCli({"--port", path(), "dump-current", file});
    ASSERT_EQ(dumped.status, cli::exitOk) << dumped.err.toStdString();
    EXPECT_EQ(QFileInfo(file).size(), 49);

    const CliRun parsed = runCli({"parse-current", file, "--json", "--language", "en"});
    ASSERT_EQ(parsed.status, cli::exitOk) << parsed.err.toStdString();
    const auto json = QJsonDocument::fromJson(parsed.out.toUtf8()).object();
    EXPECT_EQ(json["measurementCount"].toInteger(), 4242);
    EXPECT_EQ(json["mainValue"].toDouble(), 0.375);
    EXPECT_EQ(json["display"]["Label34"].toString(), "uSv/h");
    EXPECT_EQ(json["display"]["panel4"].toString(), " - "); // no parameters offline

    QFile shortFile(dir.filePath("short.bin"));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(48, 0));
    shortFile.close();
    const CliRun broken = runCli({"parse-current", shortFile.fileName()});
    EXPECT_EQ(broken.status, cli::exitFailure);
    EXPECT_TRUE(broken.err.contains(": not a current-data block (48 bytes; a block is 49)"))
        << broken.err.toStdString();
    // A file that cannot be written is told, and nothing is left behind.
    const CliRun unwritable =
        runCli({"--port", path(), "dump-current", dir.filePath("no/such/dir/x.bin")});
    EXPECT_EQ(unwritable.status, cli::exitFailure);
}

TEST_F(CliTest, LanguageAddsWhatTheWindowWouldShow) {
    simulator->model().pinMeasurementCount(517);
    simulator->model().pinMainValue(1500);
    simulator->model().pinStatusFlags(0x04); // charging
    simulator->model().setMode(0);

    const CliRun r = runCli({"--port", path(), "poll", "--json", "--language", "en"});
    ASSERT_EQ(r.status, cli::exitOk) << r.err.toStdString();
    const auto json = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const auto display = json["display"].toObject();
    QStringList keys = display.keys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"Edit1", "Edit10", "Edit4", "Label12", "Label20", "Label21",
                                 "Label34", "Label39", "compactLabel1", "compactLabel2", "panel1",
                                 "panel2", "panel3", "panel4", "panel5"}));
    const QChar separator = QLocale::system().decimalPoint().front();
    EXPECT_EQ(display["Label12"].toString(), "Dose rate,");
    EXPECT_EQ(display["Label34"].toString(), "mSv/h");
    EXPECT_EQ(display["Edit4"].toString(), QString("1") + separator + "500");
    EXPECT_EQ(display["compactLabel2"].toString(), "mSv/h ");
    EXPECT_EQ(display["panel2"].toString(), " Charge ");
    EXPECT_EQ(display["panel3"].toString(), " 517");
    // The parameters read before the poll give the thresholds in effect.
    EXPECT_EQ(display["panel4"].toString(), QString(" 0") + separator + "3 uSv/h");
    EXPECT_EQ(display["panel5"].toString(), QString(" 100") + separator + "0 uSv");

    // Mode 7 leaves the main reading as it was: null.
    simulator->model().setMode(7);
    const auto unchanged = QJsonDocument::fromJson(
        runCli({"--port", path(), "poll", "--json", "--language", "ru"}).out.toUtf8());
    EXPECT_TRUE(unchanged["display"]["Edit4"].isNull());
    EXPECT_EQ(unchanged["display"]["Label39"].toString(), "мкЗв");

    EXPECT_EQ(runCli({"--port", path(), "poll", "--language", "de"}).status, cli::exitUsage);
}

TEST_F(CliTest, ClockSyncWritesThePcTime) {
    simulator->model().setClockOffset(std::chrono::hours(5));
    const CliRun r = runCli({"--port", path(), "clock-sync"});
    ASSERT_EQ(r.status, cli::exitOk) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("clock set to "));
    ASSERT_TRUE(sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 1; },
                                        std::chrono::seconds(5)));
    EXPECT_LE(std::abs(simulator->model().clockOffset().count()), 2);
    const auto frame = simulator->server().requestLog().back();
    ASSERT_EQ(frame.size(), 15U);
    EXPECT_EQ(frame[0], 0xBB);

    EXPECT_EQ(runCli({"--port", "/nonexistent/tty", "clock-sync"}).status, cli::exitFailure);
    EXPECT_EQ(runCli({"clock-sync"}).status, cli::exitUsage);
}

TEST_F(CliTest, TheHistoryKeepsADownloadOnceAndExportsIt) {
    QTemporaryDir dir;
    const QString image = dir.filePath("week1.bin");
    const QString history = dir.filePath("history.sqlite");
    const QStringList at{"--history", history};
    // The read stores its download, under the instrument's type and identity.
    const CliRun read = runCli(
        at + QStringList{"--port", path(), "archive", "read", "--instrument", "Kit A", image});
    ASSERT_EQ(read.status, cli::exitOk) << read.err.toStdString();
    EXPECT_TRUE(read.out.contains("stored in the history " + history +
                                  " as Kit A: 636 records, 636 of them new"))
        << read.out.toStdString();
    // The same image imported later is that download.
    const CliRun again =
        runCli(at + QStringList{"history", "import", "--instrument", "Kit A", image});
    ASSERT_EQ(again.status, cli::exitOk) << again.err.toStdString();
    EXPECT_TRUE(again.out.endsWith("already in the history (download 1)\n"))
        << again.out.toStdString();
    EXPECT_TRUE(runCli(at + QStringList{"history", "instruments"})
                    .out.startsWith("Kit A: type 4, identity "));

    const CliRun records = runCli(at + QStringList{"history", "records", "--json"});
    ASSERT_EQ(records.status, cli::exitOk);
    const QStringList rows = records.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(rows.isEmpty());
    const auto row = QJsonDocument::fromJson(rows[0].toUtf8()).object();
    EXPECT_EQ(row["instrument"].toString(), "Kit A");
    EXPECT_EQ(row["mode"].toString(), "doseRate");
    EXPECT_EQ(row["unit"].toString(), "uSv/h");
    EXPECT_EQ(runCli(at + QStringList{"history", "verify"}).status, cli::exitOk);

    const QString n42 = dir.filePath("kit-a.n42");
    const CliRun exported = runCli(at + QStringList{"history", "export", "--n42", n42});
    ASSERT_EQ(exported.status, cli::exitOk) << exported.err.toStdString();
    EXPECT_TRUE(exported.out.contains("records of other modes left out"))
        << exported.out.toStdString();
    const QString xmllint = QStandardPaths::findExecutable("xmllint");
    if (!xmllint.isEmpty()) {
        QProcess check;
        check.start(xmllint, {"--noout", "--schema", VELTRA_TEST_DATA "/n42/n42.xsd", n42});
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    }

    // Another program's file is refused and left as it was.
    const QString notOurs = dir.filePath("notes.txt");
    QFile file(notOurs);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("shopping list\n");
    file.close();
    const CliRun refused =
        runCli({"--history", notOurs, "history", "import", "--instrument", "Kit A", image});
    EXPECT_EQ(refused.status, cli::exitFailure);
    EXPECT_TRUE(refused.err.contains("not a Veltra history")) << refused.err.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "shopping list\n");
}
