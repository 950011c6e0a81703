// veltra-cli poll against the simulated instrument: output, messages and exit status.
#include "cli.h"
#include "sim_fixture.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace veltra;
using sim::FaultKind;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList& args) {
    CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = cli::run(args, out, err);
    out.flush();
    err.flush();
    return r;
}

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
        QRegularExpression("^measurementCount +5$", QRegularExpression::MultilineOption)));
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
        simulator->server().injectFault({c.fault});
        const CliRun r = runCli({"--port", path(), "poll", "--json"});
        EXPECT_EQ(r.status, cli::exitFailure) << c.says;
        EXPECT_TRUE(r.out.isEmpty()) << c.says;
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }

    const CliRun missing = runCli({"--port", "/nonexistent/tty", "poll"});
    EXPECT_EQ(missing.status, cli::exitFailure);
    EXPECT_EQ(missing.err, "veltra-cli: cannot open port 1 (/nonexistent/tty)\n");
}

TEST(CliUsage, MistakesExitTwo) {
    const QList<QStringList> mistakes = {
        {},
        {"fly"},
        {"poll"},
        {"--port", "0", "poll"},
        {"--port", "256", "poll"},
        {"--port", "/dev/null", "poll", "--count", "0"},
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
