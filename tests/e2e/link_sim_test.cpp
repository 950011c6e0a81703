// The device link through a real pseudo-terminal against the simulated instrument.
#include "sim_fixture.h"

#include "live/current_data.h"

#include <ctime>
#include <unistd.h>

using namespace veltra;
using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;
using veltra::link::Outcome;

namespace {

class LinkSimTest : public e2e::SimFixture {};

} // namespace

TEST_F(LinkSimTest, PollDecodesWhatTheInstrumentSent) {
    simulator->model().pinMeasurementCount(4242);
    simulator->model().pinMainValue(0.1234);
    simulator->model().pinStatusFlags(0x0014);
    simulator->model().setMode(2);

    ASSERT_TRUE(poll());
    EXPECT_EQ(deviceLink().lastTransferCount(), 51U);
    EXPECT_EQ(deviceLink().crcLo(), 0);
    EXPECT_EQ(deviceLink().crcHi(), 0);

    const auto d = *live::decodeCurrentData(deviceLink().transferBuffer());
    EXPECT_EQ(d.measurementCount, 4242U);
    // The instrument's float of 0.1234 (truncated, as the wire encoding does).
    EXPECT_EQ(d.mainValue, veltra::link::decodeFloat32(veltra::link::encodeFloat32Bytes(0.1234)));
    EXPECT_EQ(d.statusFlags, 0x0014);
    EXPECT_EQ(d.mode, 2);
    EXPECT_EQ(d.memoryFill, sim::prefilledRecords);
    EXPECT_NEAR(d.batteryVoltage, 4.05, 0.01);

    // The instrument's clock is the PC's local time.
    std::tm tm{};
    tm.tm_sec = d.clock.second;
    tm.tm_min = d.clock.minute;
    tm.tm_hour = d.clock.hour;
    tm.tm_mday = d.clock.day;
    tm.tm_mon = d.clock.month - 1;
    tm.tm_year = d.clock.year - 1900;
    tm.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::mktime(&tm), std::time(nullptr))), 5.0);
}

TEST_F(LinkSimTest, EveryReadOfTheCommandTableIsAnswered) {
    ASSERT_TRUE(context->ensurePortOpen());
    struct Read {
        std::uint8_t command;
        std::uint16_t length;
        std::uint16_t address;
    };
    for (const Read r : {Read{0x10, 49, 0}, Read{0x10, 20, 0x80}, Read{0x30, 75, 0},
                         Read{0x25, 10, 0}, Read{0x25, 10, 799}}) {
        EXPECT_TRUE(deviceLink().readBlock(r.command, r.length, r.address)) << int(r.command);
        EXPECT_EQ(deviceLink().lastTransferCount(), r.length + 2U);
    }
    // The readout carries the parameter block from offset 20, with the type at block offset 53.
    ASSERT_TRUE(deviceLink().readBlock(0x30, 75, 0));
    EXPECT_EQ(deviceLink().transferBuffer()[20 + 53], 4);
    // Record 0 of the starting archive is a dose-rate sample.
    ASSERT_TRUE(deviceLink().readBlock(0x25, 10, 0));
    EXPECT_GT(veltra::link::decodeFloat32(deviceLink().transferBuffer(), 0), 0.0);
    EXPECT_EQ(deviceLink().transferBuffer()[7] & 0xC0, 0x00);
}

TEST_F(LinkSimTest, BadReplyHeaderLeadsToNoSecondRead) {
    simulator->server().injectFault({FaultKind::badHeaderCrc});
    ASSERT_TRUE(context->ensurePortOpen());
    EXPECT_EQ(instrument::readCurrentData(deviceLink()).outcome, instrument::Outcome::headerCrc);
    // Only the reply header was read: the buffer holds it, not the data that followed.
    EXPECT_EQ(deviceLink().lastTransferCount(), 7U);
    EXPECT_EQ(deviceLink().transferBuffer()[0], 0x10);
    EXPECT_EQ(deviceLink().transferBuffer()[2], 49);
    EXPECT_EQ(deviceLink().transferBuffer()[7], 0);
    // The unread rest is purged before the next request.
    EXPECT_TRUE(poll());
}

TEST_F(LinkSimTest, ReplyFaultsMakeTheReadFail) {
    using instrument::Outcome;
    const struct {
        FaultKind kind;
        Outcome outcome;
        std::uint32_t count;
    } cases[] = {
        {FaultKind::badDataCrc, Outcome::dataCrc, 51}, // complete, yet wrong
        {FaultKind::truncated, Outcome::dataShort, 24},
        {FaultKind::headerOnly, Outcome::dataShort, 0},
        {FaultKind::silence, Outcome::noHeader, 0},
    };
    for (const auto& c : cases) {
        simulator->server().injectFault({c.kind});
        ASSERT_TRUE(context->ensurePortOpen());
        EXPECT_EQ(instrument::readCurrentData(deviceLink()).outcome, c.outcome) << int(c.kind);
        EXPECT_EQ(deviceLink().lastTransferCount(), c.count) << int(c.kind);
        EXPECT_TRUE(poll()) << "after " << int(c.kind);
    }
    simulator->server().injectFault({FaultKind::garbage});
    EXPECT_FALSE(poll());
    EXPECT_TRUE(poll());
}

TEST_F(LinkSimTest, AnswerWithinTheTimeOutIsTaken) {
    simulator->server().injectFault({FaultKind::delay, 1, 300});
    EXPECT_TRUE(poll());
}

TEST_F(LinkSimTest, WritesGoOutExactlyAsFramed) {
    ASSERT_TRUE(context->ensurePortOpen());
    EXPECT_EQ(deviceLink().writeBlock(0x50, 0, 0), 9U);
    EXPECT_EQ(deviceLink().writeBlock(0x55, 0, 0), 9U);
    deviceLink().transferBuffer()[0] = 0x03;
    EXPECT_EQ(deviceLink().writeBlock(0xAA, 1, 0), 10U);
    ASSERT_TRUE(
        sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 3; }, 5s));

    const auto log = simulator->server().requestLog();
    ASSERT_EQ(log.size(), 3U);
    EXPECT_EQ(log[0], (std::vector<std::uint8_t>{0x50, 0, 0, 0, 0, 0xE4, 0x0C, 0xFF, 0xFF}));
    EXPECT_EQ(log[1], (std::vector<std::uint8_t>{0x55, 0, 0, 0, 0, 0x28, 0x0C, 0xFF, 0xFF}));
    EXPECT_EQ(log[2].size(), 10U);
    EXPECT_EQ(log[2][7], 0x03);
    EXPECT_EQ(simulator->model().factoryResets(), 1);
    EXPECT_EQ(simulator->model().doseResets(), 1);

    // The erase emptied the instrument's archive.
    ASSERT_TRUE(deviceLink().readBlock(0x25, 10, 0));
    EXPECT_TRUE(std::all_of(deviceLink().transferBuffer().begin(),
                            deviceLink().transferBuffer().begin() + 10,
                            [](std::uint8_t b) { return b == 0; }));
}

TEST_F(LinkSimTest, ClockAndParameterWritesAreApplied) {
    simulator->model().setClockOffset(3600s);
    ASSERT_TRUE(context->ensurePortOpen());

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    auto buffer = deviceLink().transferBuffer();
    buffer[0] = veltra::link::encodeBcd(local.tm_sec);
    buffer[1] = veltra::link::encodeBcd(local.tm_min);
    buffer[2] = veltra::link::encodeBcd(local.tm_hour);
    buffer[3] = veltra::link::encodeBcd(local.tm_mday);
    buffer[4] = veltra::link::encodeBcd(local.tm_mon + 1);
    buffer[5] = veltra::link::encodeBcd(local.tm_year - 100);
    EXPECT_EQ(deviceLink().writeBlock(0xBB, 6, 0), 15U);
    // Nothing follows a write at once on the line: the next request waits for the instrument.
    ASSERT_TRUE(
        sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 1; }, 5s));

    ASSERT_TRUE(deviceLink().readBlock(0x30, 75, 0));
    std::array<std::uint8_t, 55> block{};
    std::copy_n(deviceLink().transferBuffer().begin() + 20, 55, block.begin());
    block[1] = 0; // sound off
    veltra::link::encodeFloat32(block, 8, 0.5);
    std::copy(block.begin(), block.end(), deviceLink().transferBuffer().begin());
    EXPECT_EQ(deviceLink().writeBlock(0x80, 55, 0), 64U);

    ASSERT_TRUE(
        sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 2; }, 5s));
    EXPECT_LE(std::abs(simulator->model().clockOffset().count()), 2);
    EXPECT_EQ(simulator->model().parameters(), block);
}

TEST_F(LinkSimTest, JunkAfterAWriteDoesNotDisturbTheNextRead) {
    auto options = e2e::quietOptions();
    options.server.answerWritesWithJunk = true;
    startSimulator(options);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(context->ensurePortOpen());
        const auto sentBefore = simulator->bytesSent();
        deviceLink().transferBuffer()[0] = 0x03;
        ASSERT_EQ(deviceLink().writeBlock(0xAA, 1, 0), 10U);
        // Let the junk arrive before the next request, as it would on the line.
        ASSERT_TRUE(
            sim::Simulator::waitFor([&] { return simulator->bytesSent() > sentBefore; }, 5s));
        EXPECT_TRUE(deviceLink().readBlock(0x10, 49, 0)) << i;
        EXPECT_EQ(deviceLink().lastTransferCount(), 51U);
    }
    EXPECT_EQ(simulator->model().doseResets(), 5);
}

TEST_F(LinkSimTest, DroppedPortCannotBeReopened) {
    simulator->server().injectFault({FaultKind::dropPort});
    EXPECT_FALSE(poll());
    ASSERT_TRUE(sim::Simulator::waitFor([&] { return simulator->dropped(); }, 5s));
    EXPECT_FALSE(context->ensurePortOpen());
    EXPECT_FALSE(deviceLink().isOpen());
    // Where the simulator may keep a dropped terminal's number (as root), a simulator started
    // next gets another one, so a reopen cannot reach a terminal of a test running alongside.
    if (::geteuid() == 0) {
        sim::Simulator next(e2e::quietOptions());
        ASSERT_TRUE(next.start());
        EXPECT_NE(next.devicePath(), simulator->devicePath());
        EXPECT_FALSE(context->ensurePortOpen());
    }
}

TEST_F(LinkSimTest, WireTimedAnswersAreComplete) {
    auto options = e2e::quietOptions();
    options.endpoint.wireTiming = true;
    startSimulator(options);
    ASSERT_TRUE(context->ensurePortOpen());
    for (std::uint16_t record = 0; record < 20; ++record) {
        EXPECT_TRUE(deviceLink().readBlock(0x25, 10, record)) << record;
    }
    EXPECT_TRUE(poll());
}
