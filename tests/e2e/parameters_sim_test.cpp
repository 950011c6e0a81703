// Reading and writing the parameters against the simulated instrument: the core's tab
// operations and veltra-cli's parameter commands send the same bytes.
#include "app/parameters_tab.h"
#include "cli.h"
#include "link/codecs.h"
#include "sim_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace veltra;
using namespace std::chrono_literals;
using app::TabControl;

namespace {

struct RecordingHost final : app::Events {
    void showStatus(app::StatusColour colour, const app::StatusMessage& message) override {
        lastColour = colour;
        last = message.russian;
    }
    void showNoConnection() override { ++noConnection; }
    void setSoftwareVersion(int v) override { version = v; }
    QString last;
    app::StatusColour lastColour = app::StatusColour::black;
    int noConnection = 0;
    int version = 0;
};

class ParametersSimTest : public e2e::SimFixture {
protected:
    void SetUp() override {
        auto options = e2e::quietOptions();
        options.model.deviceType = 7;
        startSimulator(options);
    }

    // The instrument's block with the awkward values of a real one.
    void storeBlock(std::uint8_t archiveOptions) {
        auto p = sim::factoryParameters(7);
        link::encodeFloat32(p, 8, 0.30);
        link::encodeFloat32(p, 12, 0.0);
        link::encodeFloat32(p, 24, 0.0);
        link::encodeFloat32(p, 40, -1.0);
        link::encodeFloat32(p, 48, -3.0);
        link::putWord16(p, 150, 22);
        p[54] = archiveOptions;
        simulator->model().setParameters(p);
    }

    // What the window does at start-up and on "Сохранить параметры" without edits.
    std::vector<std::uint8_t> saveRightAfterARead() {
        RecordingHost host;
        EXPECT_TRUE(app::readParameters(*context, host, false, '.'));
        app::applyLanguageLists(context->parametersTab, text::Language::russian,
                                context->state.parameters.block);
        EXPECT_TRUE(app::readParameters(*context, host, false, '.'));
        const auto writes = simulator->server().stats().writes;
        EXPECT_EQ(app::writeParameters(*context, host, '.'), app::Outcome::ok);
        EXPECT_EQ(host.last, "Записано");
        return lastWrite(writes + 1);
    }

    std::vector<std::uint8_t> lastWrite(std::uint64_t count) {
        EXPECT_TRUE(sim::Simulator::waitFor(
            [&] { return simulator->server().stats().writes >= count; }, 5s));
        return simulator->server().requestLog().back();
    }
};

std::array<std::uint8_t, 4> at(const std::vector<std::uint8_t>& frame, std::size_t offset) {
    const std::size_t b = 7 + offset; // after the request header
    return {frame[b], frame[b + 1], frame[b + 2], frame[b + 3]};
}

} // namespace

TEST_F(ParametersSimTest, SavingRightAfterAReadSendsTheReadBlockByTheRules) {
    const std::pair<std::uint8_t, std::uint8_t> options[] = {
        {0x11, 0x10}, {0x0C, 0x04}, {0x00, 0x00}};
    for (const auto& [stored, sent] : options) {
        storeBlock(stored);
        const auto frame = saveRightAfterARead();
        ASSERT_EQ(frame.size(), 7U + 55U + 2U);
        EXPECT_EQ(frame[0], 0x80);
        EXPECT_EQ(at(frame, 8), (std::array<std::uint8_t, 4>{0xAC, 0x1C, 0x9A, 0x3E}));
        EXPECT_EQ(at(frame, 12), (std::array<std::uint8_t, 4>{0x00, 0x00, 0x00, 0x00}));
        EXPECT_EQ(at(frame, 24), (std::array<std::uint8_t, 4>{0x6E, 0x12, 0x83, 0x3A}));
        EXPECT_EQ(at(frame, 40), (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(at(frame, 48), (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(frame[7 + 22], 120);
        EXPECT_EQ(frame[7 + 23], 0);
        EXPECT_EQ(frame[7 + 54], sent) << int(stored);
        EXPECT_EQ(frame[7 + 0], 60); // "1 мин" of the long list
    }
    // What was sent reads back as the tab showed it.
    RecordingHost host;
    ASSERT_TRUE(app::readParameters(*context, host, false, '.'));
    EXPECT_EQ(context->parametersTab.doseRateCells[0], "0.30");
    EXPECT_EQ(context->parametersTab.doseRateCells[1], "-");
    EXPECT_EQ(context->parametersTab.doseCells[0], "-"); // 0.001 truncated is just below it
}

TEST_F(ParametersSimTest, TheToolSendsWhatTheWindowSends) {
    storeBlock(0x0C);
    const auto window = saveRightAfterARead();

    deviceLink().close(); // the port is opened exclusively: one program at a time
    storeBlock(0x0C);     // the same instrument state for the tool
    QString out, err;
    QTextStream o(&out), e(&err);
    const auto writes = simulator->server().stats().writes;
    EXPECT_EQ(
        cli::run({"--port", QString::fromStdString(simulator->devicePath()), "params", "save"}, o,
                 e),
        cli::exitOk)
        << err.toStdString();
    EXPECT_EQ(lastWrite(writes + 1), window);
}

TEST_F(ParametersSimTest, EditsGoThroughTheTabsRules) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const QString port = QString::fromStdString(simulator->devicePath());
    ASSERT_EQ(
        cli::run({"--port", port, "params", "save", "--set", "doseRateThreshold2=2.5", "--set",
                  "sound=0", "--set", "bluetoothPeriod=150", "--set",
                  "archiveOptions=CheckBox8,RadioButton3,CheckBox6", "--set", "doseThresholdNo=3"},
                 o, e),
        cli::exitOk)
        << err.toStdString();
    const auto frame = lastWrite(1);
    EXPECT_EQ(at(frame, 12), link::encodeFloat32Bytes(2.501));
    EXPECT_EQ(frame[7 + 1], 0);
    EXPECT_EQ(frame[7 + 22], 120);
    EXPECT_EQ(frame[7 + 54], 0x09);
    EXPECT_EQ(frame[7 + 21], 3);

    const QStringList bad[] = {
        {"--set", "doseRateThreshold1=abc"},
        {"--set", "sound=2"},
        {"--set", "colour=1"},
        {"--set", "bluetoothPeriod=4000"},
        {"--set", "bluetoothPeriod=30"}, // below a minute: neither off nor a period
        {"--set", "archiveOptions=often"},
        {"--set", "noequals"},
        {"--set", "displayView=0"}, // type 7 has no view selector
    };
    for (const auto& edit : bad) {
        err.clear();
        EXPECT_EQ(cli::run(QStringList{"--port", port, "params", "save"} + edit, o, e),
                  cli::exitUsage)
            << edit.join(' ').toStdString();
        EXPECT_TRUE(err.contains("nothing was sent")) << err.toStdString();
    }
    EXPECT_EQ(simulator->server().stats().writes, 1U);
}

TEST_F(ParametersSimTest, CommandsRefuseBeforeASuccessfulRead) {
    RecordingHost host;
    EXPECT_EQ(app::writeParameters(*context, host, '.'), app::Outcome::noParameters);
    EXPECT_EQ(host.last, "Параметры не прочитаны!");
    EXPECT_EQ(host.lastColour, app::StatusColour::red);
    host.last.clear();
    EXPECT_EQ(app::resetDose(*context, host, app::DoseResetButton::resultsTab),
              app::Outcome::noParameters);
    EXPECT_EQ(host.last, "Параметры не прочитаны!");
    host.last.clear();
    EXPECT_EQ(app::restoreFactorySettings(*context, 0), app::Outcome::noParameters);
    EXPECT_TRUE(host.last.isEmpty()); // the factory command shows nothing
    EXPECT_EQ(simulator->server().stats().writes, 0U);
}

TEST_F(ParametersSimTest, ReadFillsTheTabAndAFailedReadKeepsAllButTheDoseRateCells) {
    RecordingHost host;
    context->state.language = text::Language::russian;
    ASSERT_TRUE(app::readParameters(*context, host, false, '.'));
    app::applyLanguageLists(context->parametersTab, text::Language::russian,
                            context->state.parameters.block);
    ASSERT_TRUE(app::readParameters(*context, host, false, '.'));
    auto& tab = context->parametersTab;
    EXPECT_EQ(host.last, "Прочитано");
    EXPECT_EQ(host.version, 17);
    EXPECT_TRUE(context->state.bluetoothFitted);
    EXPECT_EQ(tab.doseRateCells[0], "0.30");
    EXPECT_EQ(tab.bluetoothPeriodMinutesText(), "10");
    EXPECT_TRUE(tab.checked(TabControl::useBluetooth));
    EXPECT_FALSE(tab.visible(TabControl::viewSelector)); // type 7: no view selector
    EXPECT_TRUE(tab.visible(TabControl::bluetoothPeriodSlider));
    EXPECT_EQ(tab.mode.index, 0); // mode code 0 on a type 7

    simulator->server().injectFault({sim::FaultKind::badDataCrc});
    EXPECT_FALSE(app::readParameters(*context, host, false, '.'));
    EXPECT_EQ(host.last, "Ошибка связи");
    EXPECT_EQ(host.noConnection, 1);
    EXPECT_FALSE(context->state.parametersRead);
    EXPECT_TRUE(tab.doseRateCells[0].isEmpty());
    EXPECT_EQ(tab.doseCells[0], "100.00");
    EXPECT_EQ(context->state.parameters.block.deviceType, 7); // the copy survives
}

TEST_F(ParametersSimTest, DoseResetSendsTenBytesAndAsksForARedraw) {
    RecordingHost host;
    ASSERT_TRUE(app::readParameters(*context, host, false, '.'));
    ASSERT_NE(context->state.parameters.readoutValue12, 0U);
    ASSERT_EQ(app::resetDose(*context, host, app::DoseResetButton::resultsTab), app::Outcome::ok);
    const auto frame = lastWrite(1);
    ASSERT_EQ(frame.size(), 10U);
    EXPECT_EQ(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 5),
              (std::vector<std::uint8_t>{0xAA, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(frame[7], 0x03);
    EXPECT_EQ(context->state.parameters.readoutValue12, 0U);
    EXPECT_TRUE(context->polling.redrawRequested);
    EXPECT_EQ(simulator->model().doseResets(), 1);

    ASSERT_EQ(app::restoreFactorySettings(*context, 0), app::Outcome::ok);
    EXPECT_EQ(lastWrite(2), (std::vector<std::uint8_t>{0x50, 0, 0, 0, 0, 0xE4, 0x0C, 0xFF, 0xFF}));
}

TEST_F(ParametersSimTest, ToolCommandsNeedAReadAndAConfirmation) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const QString port = QString::fromStdString(simulator->devicePath());
    EXPECT_EQ(cli::run({"--port", port, "factory-reset"}, o, e), cli::exitUsage);
    simulator->server().injectFault({sim::FaultKind::silence});
    err.clear();
    EXPECT_EQ(cli::run({"--port", port, "dose-reset"}, o, e), cli::exitFailure);
    EXPECT_TRUE(err.contains(": no valid answer to the parameter read: the instrument did not "
                             "answer"))
        << err.toStdString();
    EXPECT_EQ(simulator->server().stats().writes, 0U);
    EXPECT_EQ(cli::run({"--port", port, "dose-reset"}, o, e), cli::exitOk);
    EXPECT_EQ(cli::run({"--port", port, "factory-reset", "--yes"}, o, e), cli::exitOk);
    EXPECT_TRUE(
        sim::Simulator::waitFor([&] { return simulator->model().factoryResets() == 1; }, 5s));
    EXPECT_EQ(simulator->model().doseResets(), 1);

    out.clear();
    EXPECT_EQ(cli::run({"--port", port, "params", "--json"}, o, e), cli::exitOk);
    EXPECT_TRUE(out.contains("\"deviceType\":7"));
    EXPECT_TRUE(out.contains("\"doseRateThresholds\":[0.299999982,1.19999993,12]"));
}

TEST_F(ParametersSimTest, FloatsTheEncoderCannotHoldGoBackAsTheInstrumentSentThem) {
    // Exponent 255: 00 00 80 7F decodes as the finite 2^128, beyond what an encoder may write.
    const std::array<std::uint8_t, 4> huge{0x00, 0x00, 0x80, 0x7F};
    auto p = sim::factoryParameters(7);
    std::copy(huge.begin(), huge.end(), p.begin() + 12); // dose-rate threshold 2
    std::copy(huge.begin(), huge.end(), p.begin() + 28); // dose threshold 2
    std::copy(huge.begin(), huge.end(), p.begin() + 36); // a kept float
    std::copy(huge.begin(), huge.end(), p.begin() + 48); // the kept double
    simulator->model().setParameters(p);
    const QString port = QString::fromStdString(simulator->devicePath());
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);

    ASSERT_EQ(cli::run({"--port", port, "params", "--json"}, o, e), cli::exitOk);
    o.flush();
    QJsonParseError error{};
    const auto json = QJsonDocument::fromJson(out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
    // Written as the large finite number it decodes to, with nine significant digits.
    EXPECT_NEAR(json["doseRateThresholds"][1].toDouble() / std::ldexp(1.0, 128), 1.0, 1e-8);
    EXPECT_NEAR(json["keptFloat"].toDouble() / std::ldexp(1.0, 128), 1.0, 1e-8);

    for (const QStringList& edits : {QStringList{}, QStringList{"--set", "sound=0"}}) {
        e.flush();
        err.clear();
        const auto writes = simulator->server().stats().writes;
        ASSERT_EQ(cli::run(QStringList{"--port", port, "params", "save"} + edits, o, e),
                  cli::exitOk)
            << err.toStdString();
        const auto frame = lastWrite(writes + 1);
        ASSERT_EQ(frame.size(), 64U);
        for (const std::size_t at : {12U, 28U, 36U, 48U}) {
            EXPECT_TRUE(std::equal(huge.begin(), huge.end(), frame.begin() + 7 + at))
                << "offset " << at << " " << edits.join(' ').toStdString();
        }
    }
    // A value typed into the cell is still refused when the wire float cannot hold it.
    EXPECT_EQ(cli::run({"--port", port, "params", "save", "--set", "doseThreshold2=1e39"}, o, e),
              cli::exitUsage);
}
