// The polling cycle and the start-up sequence of the core, driven through a recording host: no
// window, no pseudo-terminal. The simulated instrument's protocol server answers in-process.
#include "app/polling_cycle.h"
#include "app/startup_sequence.h"
#include "instrument_model.h"
#include "loopback_port.h"
#include "text/clock_fields.h"

#include <gtest/gtest.h>

using namespace veltra;
using app::Language;
using app::StatusColour;
using std::chrono::seconds;

namespace {

// Every call the core makes on its host, as a line of text, in order.
class RecordingHost final : public app::StartupHost {
public:
    std::vector<std::string> calls;
    std::vector<live::ReadingsView> readings;
    std::vector<live::ChartRestart> restarts;
    struct Point {
        double key, y, axisMaximum;
        bool plot;
    };
    std::vector<Point> points;
    bool timer1 = true;

    void showStatus(StatusColour colour, const app::StatusMessage& m) override {
        calls.push_back((colour == StatusColour::red ? "red " : "black ") +
                        m.russian.toStdString() + " / " + m.english.toStdString());
    }
    void showNoConnection() override { calls.emplace_back("no connection"); }
    void setSoftwareVersion(int v) override { calls.push_back("version " + std::to_string(v)); }
    void setTimer1Enabled(bool on) override { timer1 = on; }
    void enforceViewMode() override {}
    void restartLiveChart(const live::ChartRestart& r) override { restarts.push_back(r); }
    void applyReadings(const live::ReadingsView& v) override { readings.push_back(v); }
    void chartPoint(double key, double y, double axisMaximum, bool plot) override {
        points.push_back({key, y, axisMaximum, plot});
    }
    void setCompactVisible(bool v) override {
        calls.push_back(v ? "compact shown" : "compact hidden");
    }
    void setLanguageMarks(Language l) override {
        calls.push_back("marks " + std::to_string(text::languageCode(l)));
    }
    void applyLanguage(Language l) override {
        calls.push_back("tables " + std::to_string(text::languageCode(l)));
    }
    void showParametersTab() override { calls.emplace_back("parameters tab"); }
    void clearLiveChart() override { calls.emplace_back("clear live chart"); }
    void clearArchiveChart() override { calls.emplace_back("clear archive chart"); }
    void showMainWindow() override { calls.emplace_back("main window shown"); }
    void setViewMarks(bool full) override { calls.push_back(full ? "marks full" : "marks short"); }
    void setTransparencySlider(int p) override { calls.push_back("slider " + std::to_string(p)); }
    void setCompactOpacity(int a) override { calls.push_back("opacity " + std::to_string(a)); }
    void showResultsTab() override { calls.emplace_back("results tab"); }
    void startTimer2() override { calls.emplace_back("timer2"); }
    void showSearchLook(bool label, const std::optional<QString>& text) override {
        QString call = QStringLiteral("search look");
        if (label) {
            call += QStringLiteral(" with label");
        }
        if (text) {
            call += u' ' + *text;
        }
        calls.push_back(call.toStdString());
    }
    void hideDialog() override { calls.emplace_back("dialog hidden"); }
    bool chooseConnection() override {
        calls.emplace_back("choice look");
        return autoDetect;
    }
    void clearPortList() override {
        rows.clear();
        calls.emplace_back("rows cleared");
    }
    void addPortRow(int number) override {
        rows.push_back(QString::number(number));
        calls.push_back("row " + std::to_string(number));
    }
    void selectPortRow(int row) override {
        if (row < static_cast<int>(rows.size())) {
            calls.push_back("select " + std::to_string(row));
        }
    }
    void setScanProgress(int port) override { progress = port; }
    void paintScanProgress() override { ++paints; }
    void portTried(int number, const QString& device, PortResult result) override {
        tried.push_back(std::to_string(number) + " " + device.toStdString() + " " +
                        (result == PortResult::found      ? "found"
                         : result == PortResult::noAnswer ? "no answer"
                                                          : "not opened"));
    }

    bool autoDetect = false;
    std::vector<QString> rows;
    std::vector<std::string> tried;
    int progress = 0;
    int paints = 0;

    [[nodiscard]] bool said(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    [[nodiscard]] std::size_t count(const std::string& prefix) const {
        return static_cast<std::size_t>(std::count_if(
            calls.begin(), calls.end(), [&](const auto& c) { return c.rfind(prefix, 0) == 0; }));
    }
};

class CoreCycles : public ::testing::Test {
protected:
    CoreCycles() {
        context.state.portNumber = 1; // as a scan would have found it
        context.state.language = Language::russian;
        context.sleep = [this](std::chrono::milliseconds d) { waits.push_back(d.count()); };
    }

    std::vector<long long> waits;

    // One fixed moment for the PC and the instrument.
    sim::SimClock::time_point now = std::chrono::floor<seconds>(sim::SimClock::now());
    sim::InstrumentModel model{[this] {
        sim::ModelOptions o;
        o.archiveLogging = false;
        o.now = [this] { return now; };
        return o;
    }()};
    sim::ProtocolServer server{model};
    std::shared_ptr<fakes::LoopbackPort::Control> port =
        std::make_shared<fakes::LoopbackPort::Control>();
    app::AppContext context{link::PortCatalog({{1, "/dev/ttySIM0"}}, {}),
                            std::make_unique<fakes::LoopbackPort>(server, port)};
    RecordingHost host;
    app::PollingCycle cycle{context, host, [this] { return sim::SimClock::to_time_t(now); }};
    app::StartupSequence startup{context, cycle, host};
};

} // namespace

TEST_F(CoreCycles, ANewMeasurementIsShownAndCharted) {
    model.pinMeasurementCount(517);
    model.pinMainValue(0.125); // exact in single precision
    cycle.tick();
    ASSERT_EQ(host.readings.size(), 1U);
    EXPECT_EQ(*host.readings[0].mainValueText, "0.125");
    EXPECT_TRUE(host.said("black Чтение / Reading"));
    ASSERT_EQ(host.points.size(), 1U);
    EXPECT_EQ(host.points[0].y, 0.125);
    EXPECT_TRUE(host.points[0].plot);
    // The key is the instrument's clock fields as the chart counts them.
    EXPECT_EQ(host.points[0].key, text::chartAxisKey(context.currentReading.clock));
    EXPECT_TRUE(host.timer1);

    cycle.tick(); // the same count: no redraw, no point
    EXPECT_EQ(host.readings.size(), 1U);
    EXPECT_EQ(host.points.size(), 1U);
    context.polling.redrawRequested = true;
    cycle.tick();
    EXPECT_EQ(host.readings.size(), 2U);
    EXPECT_FALSE(context.polling.redrawRequested);
}

TEST_F(CoreCycles, NoPortStopsTheCycle) {
    context.state.portNumber = 0;
    cycle.tick();
    EXPECT_FALSE(host.timer1);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"red Прибор не обнаружен / Connection error"}));
    EXPECT_EQ(port->opens, 0);
}

TEST_F(CoreCycles, FailuresAreCountedAndToldFromTheFourth) {
    server.injectFault({sim::FaultKind::badDataCrc, 5, 0});
    for (int tick = 1; tick <= 3; ++tick) {
        cycle.tick();
        EXPECT_EQ(host.count("red"), 0U) << tick;
    }
    cycle.tick();
    cycle.tick();
    EXPECT_EQ(host.count("red Ошибка связи"), 2U);
    EXPECT_EQ(context.polling.readFailureCount, 5);
    cycle.tick();
    EXPECT_EQ(context.polling.readFailureCount, 0);
    EXPECT_TRUE(host.timer1);
}

TEST_F(CoreCycles, APortThatWillNotOpenIsRetriedOnceAtOnceThenTold) {
    port->failOpens = 4; // two ensurePortOpen calls of two attempts each
    cycle.tick();
    EXPECT_EQ(port->opens, 4);
    EXPECT_EQ(host.count("red Невозможно открыть порт"), 1U);
    EXPECT_EQ(context.polling.openFailureCount, 2);
    cycle.tick(); // opens again and polls; the count is reset before the poll
    EXPECT_EQ(context.polling.openFailureCount, 0);
    EXPECT_EQ(host.readings.size(), 1U);
}

TEST_F(CoreCycles, AClockMoreThan300SecondsOffIsWrittenInsteadOfTheNextPoll) {
    model.pinMeasurementCount(1);
    model.setClockOffset(seconds(300));
    cycle.tick();
    EXPECT_FALSE(context.polling.clockSyncPending);
    model.pinMeasurementCount(2);
    model.setClockOffset(seconds(-301));
    cycle.tick();
    ASSERT_TRUE(context.polling.clockSyncPending);
    const auto reads = server.stats().reads;
    cycle.tick();
    EXPECT_EQ(server.stats().reads, reads);
    EXPECT_EQ(server.stats().writes, 1U);
    EXPECT_EQ(model.clockOffset(), seconds(0));
    EXPECT_FALSE(context.polling.clockSyncPending);
}

TEST_F(CoreCycles, AStationsCycleReadsTheParametersFirstAndNeverWritesTheClock) {
    app::PollingHost quiet;
    app::PollingCycle station{context, quiet, [this] { return sim::SimClock::to_time_t(now); },
                              app::PollingOptions::station()};
    model.setClockOffset(seconds(-3600));
    server.injectFault({sim::FaultKind::badDataCrc, 1, 0}); // the parameter read fails once
    for (std::uint32_t n = 1; n <= 3; ++n) {
        model.pinMeasurementCount(n);
        const app::TickReport report = station.tick();
        EXPECT_EQ(report.step, app::TickReport::Step::read) << n;
        EXPECT_TRUE(report.newMeasurement);
        EXPECT_FALSE(report.historyTried); // no log, no history
    }
    EXPECT_EQ(server.stats().writes, 0U);
    EXPECT_EQ(model.clockOffset(), seconds(-3600));
    EXPECT_TRUE(context.state.parametersRead); // tried again on the tick after the failure
    EXPECT_EQ(server.stats().reads, 2U + 3U);

    server.injectFault({sim::FaultKind::badDataCrc, 1, 0});
    context.lineIdentity.emplace();
    const app::TickReport failed = station.tick();
    EXPECT_EQ(failed.step, app::TickReport::Step::readFailed);
    EXPECT_EQ(failed.failure.outcome, instrument::Outcome::dataCrc);
    EXPECT_FALSE(context.lineIdentity);            // lost at the first failure
    EXPECT_EQ(server.stats().reads, 2U + 3U + 1U); // the parameters are not read again
}

TEST_F(CoreCycles, AChangeOfModeRestartsTheChartOnce) {
    model.pinMeasurementCount(1);
    model.pinMainValue(0.375);
    cycle.tick();
    EXPECT_TRUE(host.restarts.empty()); // mode 0 at start: no restart
    EXPECT_EQ(context.polling.chartMaximum, 0.375);

    model.setMode(2);
    model.pinMeasurementCount(2);
    model.pinMainValue(6.0);
    cycle.tick();
    ASSERT_EQ(host.restarts.size(), 1U);
    EXPECT_EQ(host.restarts[0], (live::ChartRestart{true, true, "Бета, 1/(мин*см2)"}));
    // Reset by the restart, then raised by the new point.
    EXPECT_EQ(context.polling.chartMaximum, 6.0);
    model.pinMeasurementCount(3);
    cycle.tick();
    EXPECT_EQ(host.restarts.size(), 1U);
}

TEST_F(CoreCycles, StartUpWithAnInstrument) {
    context.state.transparency = 300;
    startup.run();
    const std::vector<std::string> expected = {
        "compact hidden",
        "marks 1",
        "search look with label",
        "rows cleared",
        "black Прочитано / Read OK", // the parameter read that recognises the instrument
        "version 14",
        "row 1",
        "select 0",
        "dialog hidden",
        "black Чтение / Reading",
        "tables 1",
        "black Прочитано / Read OK", // the second read fills the freshly filled lists
        "version 14",
        "parameters tab",
        "clear live chart",
        "clear archive chart",
        "main window shown",
        "compact hidden",
        "marks full",
        "slider 300",
        "opacity 44", // the low byte of 300
        "results tab",
    };
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(context.state.portNumber, 1);
    EXPECT_EQ(waits, (std::vector<long long>{2000})); // one open, one wait, one read
    EXPECT_EQ(host.tried, (std::vector<std::string>{"1 /dev/ttySIM0 found"}));
    EXPECT_EQ(host.progress, 1);
    EXPECT_EQ(host.readings.size(), 1U);
    EXPECT_TRUE(context.state.parametersRead);
    EXPECT_TRUE(host.timer1);
}

TEST_F(CoreCycles, StartUpWithoutALanguageShowsNoMessagesButAppliesTheRussianTables) {
    context.state.portNumber = 0;
    context.state.language = Language::none;
    startup.run();
    EXPECT_EQ(host.count("marks 1") + host.count("marks 2"), 0U);
    EXPECT_TRUE(host.said("tables 0")); // applyLanguage treats 0 as Russian
    EXPECT_TRUE(host.readings.size() == 1U && !host.readings[0].mainValueText);
}

TEST_F(CoreCycles, StartUpWithoutAnInstrument) {
    for (const Language language : {Language::russian, Language::english}) {
        host = RecordingHost{};
        context.state.portNumber = 0;
        context.state.language = language;
        port->devices.clear(); // nothing answers anywhere
        startup.run();
        EXPECT_EQ(host.count("red"), language == Language::english ? 1U : 0U);
        EXPECT_EQ(host.progress, 255); // every number was tried
        EXPECT_TRUE(host.rows.empty());
        EXPECT_EQ(host.count("tables"), 0U);  // the designed texts stay
        EXPECT_EQ(host.count("version"), 0U); // no parameter read
        EXPECT_FALSE(context.state.parametersRead);
        EXPECT_TRUE(host.timer1); // the first tick stops it, saying why
    }
}

TEST_F(CoreCycles, StartUpInTheShortViewAndAfterAViewCommand) {
    context.state.portNumber = 0;
    context.state.viewMode = 1;
    startup.run();
    EXPECT_TRUE(host.said("compact shown"));
    EXPECT_TRUE(host.said("marks short"));
    EXPECT_FALSE(host.said("main window shown"));

    host = RecordingHost{};
    context.state.startupDone = true;
    startup.run();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"compact hidden", "marks 1"}));
}

TEST_F(CoreCycles, AFailedStartUpReadOnlyCountsAndTheParameterReadStillFollows) {
    context.state.portNumber = 0;
    context.polling.readFailureCount = 3;
    // The recognising parameter read is answered (a delay of 0 ms); the current-data read after
    // it is not.
    server.injectFault({sim::FaultKind::delay, 1, 0});
    server.injectFault({sim::FaultKind::silence, 1, 0});
    startup.run();
    EXPECT_TRUE(host.readings.empty());
    // The recognising read reset the count, so this is the first failure in a row: silent.
    EXPECT_EQ(host.count("red"), 0U);
    EXPECT_TRUE(host.said("tables 1"));
    EXPECT_TRUE(context.state.parametersRead);
    EXPECT_EQ(context.polling.readFailureCount, 0);
}
