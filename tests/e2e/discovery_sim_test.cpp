// Finding the instrument: the port scan and veltra-cli scan against several simulated
// instruments on pseudo-terminals, pinned as port numbers. The scan's 2-second waits are counted,
// not slept; the time-out of a silent port is real (about 1 s).
#include "app/connection.h"
#include "cli.h"
#include "simulator.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veltra;
using namespace std::chrono_literals;

namespace {

class ScanRecorder final : public app::Events {
public:
    void showStatus(app::StatusColour, const app::StatusMessage& m) override {
        messages << m.russian;
    }
    void showNoConnection() override { ++noConnection; }
    void setSoftwareVersion(int) override {}
    void clearPortList() override { rows.clear(); }
    void addPortRow(int number) override { rows << QString::number(number); }
    void selectPortRow(int row) override { selected = row < rows.size() ? row : selected; }
    void setScanProgress(int port) override { progress = port; }
    void paintScanProgress() override { ++paints; }
    void portTried(int number, const QString&, PortResult result) override {
        tried.emplace_back(number, result);
    }

    QStringList rows;
    QStringList messages;
    int selected = -1;
    int progress = 0;
    int paints = 0;
    int noConnection = 0;
    std::vector<std::pair<int, PortResult>> tried;
};

std::unique_ptr<sim::Simulator> startSimulator(bool silent = false) {
    sim::SimulatorOptions options;
    options.model.archiveLogging = false;
    auto simulator = std::make_unique<sim::Simulator>(options);
    EXPECT_TRUE(simulator->start()) << simulator->errorText();
    if (silent) {
        // A device that is there but is not the instrument: nothing ever answers.
        simulator->server().injectFault({sim::FaultKind::silence, 1000000, 0});
    }
    return simulator;
}

QString pathOf(const sim::Simulator& s) {
    return QString::fromStdString(s.devicePath());
}

class Discovery : public ::testing::Test {
protected:
    std::unique_ptr<app::AppContext> contextWith(std::map<int, QString> pins) {
        auto context = std::make_unique<app::AppContext>(link::PortCatalog(std::move(pins), {}));
        context->sleep = [this](std::chrono::milliseconds d) { waits.push_back(d); };
        return context;
    }

    std::vector<std::chrono::milliseconds> waits;
    ScanRecorder host;
};

} // namespace

TEST_F(Discovery, AnInstrumentOnPortOneIsFoundAfterOneOpenOneWaitAndOneRead) {
    const auto instrument = startSimulator();
    const auto context = contextWith({{1, pathOf(*instrument)}});
    ASSERT_TRUE(app::scanForInstrument(*context, host, '.'));
    EXPECT_EQ(context->state.portNumber, 1);
    EXPECT_EQ(host.rows, QStringList({"1"}));
    EXPECT_EQ(host.selected, 0);
    EXPECT_EQ(host.progress, 1);
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{2000ms}));
    EXPECT_EQ(instrument->server().stats().reads, 1U); // the parameter read
    EXPECT_TRUE(context->state.parametersRead);
    EXPECT_EQ(context->state.parameters.block.deviceType, 4);
}

TEST_F(Discovery, NumbersWithoutADeviceCostNoWait) {
    const auto instrument = startSimulator();
    const auto context = contextWith({{5, pathOf(*instrument)}});
    ASSERT_TRUE(app::scanForInstrument(*context, host, '.'));
    EXPECT_EQ(context->state.portNumber, 5);
    EXPECT_EQ(waits.size(), 1U); // ports 1..4 stand for nothing and fail at once
    ASSERT_EQ(host.tried.size(), 1U);
    EXPECT_EQ(host.tried[0].first, 5);
    EXPECT_EQ(host.rows, QStringList({"5"}));
}

TEST_F(Discovery, TheInstrumentBehindSilentPortsIsFoundAndTheSilentOnesClearTheReadings) {
    const auto silent1 = startSimulator(true);
    const auto silent2 = startSimulator(true);
    const auto instrument = startSimulator();
    const auto context =
        contextWith({{1, pathOf(*silent1)}, {2, pathOf(*silent2)}, {3, pathOf(*instrument)}});
    context->state.language = app::Language::russian;
    ASSERT_TRUE(app::scanForInstrument(*context, host, '.'));
    EXPECT_EQ(context->state.portNumber, 3);
    EXPECT_EQ(waits.size(), 3U); // every present port gets its wait
    EXPECT_EQ(host.noConnection, 2);
    EXPECT_EQ(host.messages.count("Ошибка связи"), 2);
    EXPECT_EQ(host.messages.back(), "Прочитано");
    EXPECT_EQ(host.rows, QStringList({"3"})); // only the port found is listed
    using R = app::Events::PortResult;
    EXPECT_EQ(host.tried,
              (std::vector<std::pair<int, R>>{{1, R::noAnswer}, {2, R::noAnswer}, {3, R::found}}));
    EXPECT_EQ(silent1->server().stats().reads, 1U);
    EXPECT_GE(host.paints, 4); // before the first port and after each
}

TEST_F(Discovery, WhenNothingAnswersThePortNumberKeepsItsValue) {
    const auto silent = startSimulator(true);
    const auto context = contextWith({{2, pathOf(*silent)}});
    context->state.portNumber = 9; // an earlier connection
    EXPECT_FALSE(app::scanForInstrument(*context, host, '.'));
    EXPECT_EQ(context->state.portNumber, 9);
    EXPECT_TRUE(host.rows.isEmpty());
    EXPECT_EQ(host.progress, 255);
    EXPECT_FALSE(context->state.parametersRead);
}

TEST_F(Discovery, TheScanGivesUpAfter5000Seconds) {
    const auto silent = startSimulator(true);
    const auto instrument = startSimulator();
    const auto context = contextWith({{1, pathOf(*silent)}, {2, pathOf(*instrument)}});
    std::time_t now = 1'000'000;
    context->wallClock = [&now] { return now; };
    context->sleep = [&now](std::chrono::milliseconds) { now += 5001; }; // a very long wait
    EXPECT_FALSE(app::scanForInstrument(*context, host, '.'));
    EXPECT_EQ(instrument->server().stats().reads, 0U); // port 2 was never tried
}

TEST(CliScan, FindsTheInstrumentBehindASilentPortThroughTheIniPins) {
    const auto silent = startSimulator(true);
    const auto instrument = startSimulator();
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    {
        QFile ini("prog.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[Ports]\r\nCOM1=%1\r\nCOM2=%2\r\n")
                      .arg(pathOf(*silent), pathOf(*instrument))
                      .toUtf8());
    }
    std::vector<std::chrono::milliseconds> waits;
    const cli::Environment environment{
        .sleep = [&waits](std::chrono::milliseconds d) { waits.push_back(d); },
        .serialDevices = [] { return QStringList(); }, // no real port of this machine is touched
    };
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    const int status = cli::run({"scan", "--json"}, o, e, environment);
    o.flush();
    e.flush();
    QDir::setCurrent(old);
    ASSERT_EQ(status, cli::exitOk) << err.toStdString();
    const auto json = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(json["portNumber"].toInt(), 2);
    EXPECT_EQ(json["device"].toString(), pathOf(*instrument));
    EXPECT_EQ(waits.size(), 2U);
    const QStringList lines = err.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("veltra-cli: port 1 (" + pathOf(*silent) + "): opened, no"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("the instrument answered"));
}

TEST(CliScan, NoInstrumentAnywhereExitsOne) {
    const auto silent = startSimulator(true);
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    {
        QFile ini("prog.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(
            ("[Ports]\r\nCOM4=" + pathOf(*silent) + "\r\nCOM5=/nonexistent/tty\r\n").toUtf8());
    }
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    const int status = cli::run(
        {"scan"}, o, e,
        {.sleep = [](std::chrono::milliseconds) {}, .serialDevices = [] { return QStringList(); }});
    e.flush();
    QDir::setCurrent(old);
    EXPECT_EQ(status, cli::exitFailure);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("port 5 (/nonexistent/tty): cannot open")) << err.toStdString();
    EXPECT_TRUE(err.endsWith("no instrument answered on any port (2 tried)\n"))
        << err.toStdString();
}
