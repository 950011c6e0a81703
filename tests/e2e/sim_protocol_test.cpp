// The simulator's own protocol handling, without a terminal in between.
#include "protocol_server.h"

#include "link/codecs.h"
#include "link/frame.h"

#include <gtest/gtest.h>

using namespace veltra;
using sim::FaultKind;

namespace {

std::vector<std::uint8_t> request(std::uint8_t command, std::uint16_t length, std::uint16_t address,
                                  std::vector<std::uint8_t> data = {}) {
    const auto h = veltra::link::Frame{command, length, address}.bytes();
    std::vector<std::uint8_t> out(h.begin(), h.end());
    const bool write =
        command == 0x80 || command == 0xAA || command == 0xBB || command == 0x50 || command == 0x55;
    if (write) {
        const auto crc = veltra::link::crc16Modbus(data);
        out.insert(out.end(), data.begin(), data.end());
        out.push_back(crc.lo);
        out.push_back(crc.hi);
    }
    return out;
}

sim::ModelOptions quiet(int type = 4) {
    sim::ModelOptions o;
    o.deviceType = type;
    o.archiveLogging = false;
    return o;
}

class ProtocolTest : public ::testing::Test {
protected:
    sim::InstrumentModel model{quiet()};
    sim::ProtocolServer server{model};
};

} // namespace

TEST_F(ProtocolTest, ReadIsAnsweredWithHeaderDataAndCrc) {
    const auto req = request(0x25, 10, 3);
    const auto out = server.receive(req);
    ASSERT_EQ(out.size(), 1U);
    const auto& reply = out[0].bytes;
    ASSERT_EQ(reply.size(), 7U + 10U + 2U);
    EXPECT_TRUE(std::equal(req.begin(), req.end(), reply.begin())); // header repeats the request
    EXPECT_TRUE(veltra::link::crc16Modbus(std::span(reply).subspan(7)).isZero());
    const auto record = model.archiveRecord(3);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), reply.begin() + 7));
}

TEST_F(ProtocolTest, BytesMayArriveOneByOneAndAfterNoise) {
    std::vector<std::uint8_t> stream = {0x00, 0x13, 0xFF};
    const auto req = request(0x30, 75, 0);
    stream.insert(stream.end(), req.begin(), req.end());
    std::vector<sim::Response> out;
    for (const std::uint8_t b : stream) {
        for (auto& r : server.receive(std::span(&b, 1))) {
            out.push_back(std::move(r));
        }
    }
    ASSERT_EQ(out.size(), 1U);
    EXPECT_EQ(out[0].bytes.size(), 7U + 75U + 2U);
    EXPECT_EQ(server.stats().rejected, 3U);
}

TEST_F(ProtocolTest, RequestsTheInstrumentDoesNotServeGetNoAnswer) {
    for (const auto& req : {request(0x25, 10, 800), request(0x10, 48, 0), request(0x30, 75, 1),
                            request(0x77, 4, 0), request(0x10, 20, 0x81)}) {
        EXPECT_TRUE(server.receive(req).empty());
    }
    EXPECT_EQ(server.stats().reads, 0U);
}

TEST_F(ProtocolTest, WritesApplyOnlyWhenCompleteAndIntact) {
    auto block = model.parameters();
    block[1] = 0;
    const auto write = request(0x80, 55, 0, {block.begin(), block.end()});

    // Split in two: nothing happens until the last byte.
    EXPECT_TRUE(server.receive(std::span(write).first(30)).empty());
    EXPECT_EQ(server.stats().writes, 0U);
    EXPECT_TRUE(server.receive(std::span(write).subspan(30)).empty()); // not acknowledged
    EXPECT_EQ(server.stats().writes, 1U);
    EXPECT_EQ(model.parameters(), block);

    auto spoiled = request(0xAA, 1, 0, {0x03});
    spoiled.back() ^= 1;
    server.receive(spoiled);
    EXPECT_EQ(model.doseResets(), 0);
    server.receive(request(0xAA, 1, 0, {0x03}));
    EXPECT_EQ(model.doseResets(), 1);
}

TEST_F(ProtocolTest, InstrumentKeepsItsTypeWhateverItIsSent) {
    auto block = model.parameters();
    block[53] = 1;
    server.receive(request(0x80, 55, 0, {block.begin(), block.end()}));
    EXPECT_EQ(model.parameters()[53], 4);
}

TEST_F(ProtocolTest, QueuedFaultsApplyInOrderToReads) {
    server.injectFault({FaultKind::silence, 2, 0});
    server.injectFault({FaultKind::badDataCrc, 1, 0});
    const auto req = request(0x10, 49, 0);
    EXPECT_TRUE(server.receive(req).at(0).bytes.empty());
    EXPECT_TRUE(server.receive(req).at(0).bytes.empty());
    const auto bad = server.receive(req).at(0).bytes;
    ASSERT_EQ(bad.size(), 58U);
    EXPECT_TRUE(veltra::link::crc16Modbus(std::span(bad).first(7)).isZero());
    EXPECT_FALSE(veltra::link::crc16Modbus(std::span(bad).subspan(7)).isZero());
    const auto good = server.receive(req).at(0).bytes;
    EXPECT_TRUE(veltra::link::crc16Modbus(std::span(good).subspan(7)).isZero());
    EXPECT_EQ(server.stats().faultsApplied, 3U);
}

TEST(ProtocolFaults, RandomFaultsAreReproducibleForASeed) {
    const auto run = [](std::uint32_t seed) {
        sim::InstrumentModel model(quiet());
        sim::ProtocolServer server(model, {seed, 0.5, false});
        std::vector<std::size_t> sizes;
        for (int i = 0; i < 40; ++i) {
            const auto out = server.receive(request(0x25, 10, static_cast<std::uint16_t>(i)));
            sizes.push_back(out.empty() ? 999 : out[0].bytes.size());
        }
        return sizes;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST(SimulatedInstrument, StartingArchiveHasTheAwkwardCases) {
    const auto a = sim::prefilledArchive();
    ASSERT_EQ(a.size(), 8000U);
    const auto record = [&](std::size_t i) { return std::span(a).subspan(i * 10, 10); };
    const auto all = [&](std::size_t i, std::uint8_t v) {
        const auto r = record(i);
        return std::all_of(r.begin(), r.end(), [v](std::uint8_t b) { return b == v; });
    };
    EXPECT_FALSE(all(0, 0));
    EXPECT_TRUE(all(120, 0));                                    // blank separator
    EXPECT_TRUE(all(261, 0xFF));                                 // erased record inside a session
    EXPECT_EQ(veltra::link::decodeFloat32(record(331), 0), 0.0); // a zero reading with a time
    EXPECT_FALSE(all(331, 0));
    EXPECT_TRUE(all(481, 0) && all(482, 0)); // a run of blanks
    EXPECT_TRUE(all(641, 0xFF));
    for (std::size_t i = sim::prefilledRecords; i < 800; ++i) {
        EXPECT_TRUE(all(i, 0)) << i;
    }
    // The clock was set back between records 330 and 332: hour 15 then hour 10, same day.
    EXPECT_EQ(veltra::link::decodeBcd(record(330)[6]), 15);
    EXPECT_EQ(veltra::link::decodeBcd(record(332)[6]), 10);
    EXPECT_EQ(record(332)[7] & 0xC0, 0xC0); // alpha
    EXPECT_EQ(record(121)[7] & 0xC0, 0x80); // beta
    EXPECT_EQ(record(483)[7] & 0xC0, 0x40); // volumetric activity
}

TEST(SimulatedInstrument, ParameterBlockFitsTheType) {
    for (int type = 1; type <= 7; ++type) {
        const auto p = sim::factoryParameters(type);
        EXPECT_EQ(p[53], type);
        const bool bluetooth = type == 2 || type == 7;
        EXPECT_EQ((p[52] & 0x08) != 0, bluetooth) << type;
        EXPECT_EQ(veltra::link::getWord16(p, 22) != 0, bluetooth) << type;
        EXPECT_GE(p[7], 1);
        EXPECT_LE(p[7], 3);
        EXPECT_NEAR(veltra::link::decodeFloat32(p, 8), 0.3, 1e-7);
    }
}

TEST(SimulatedInstrument, MeasurementsAdvanceEveryTwoSecondsOfItsClock) {
    auto now = sim::SimClock::now();
    sim::ModelOptions options = quiet();
    options.now = [&] { return now; };
    sim::InstrumentModel model(options);
    const auto count = [&] { return veltra::link::getWord32(model.currentData(), 16); };
    const auto dose = [&] { return veltra::link::decodeFloat32(model.currentData(), 24); };
    const auto first = count();
    const double dose0 = dose();
    now += std::chrono::seconds(1);
    EXPECT_EQ(count(), first);
    now += std::chrono::seconds(1);
    EXPECT_EQ(count(), first + 1);
    now += std::chrono::hours(1);
    EXPECT_EQ(count(), first + 1 + 1800);
    EXPECT_NEAR(dose() - dose0, 0.12, 0.001); // an hour at the background level
}

TEST(SimulatedInstrument, ArchiveLogsEveryMeasurementWhenAskedTo) {
    auto now = sim::SimClock::now();
    sim::ModelOptions options;
    options.now = [&] { return now; };
    sim::InstrumentModel model(options);
    auto block = model.parameters();
    block[54] = 0x10;
    model.setParameters(block);
    model.eraseArchive();
    now += std::chrono::seconds(6);
    EXPECT_EQ(veltra::link::getWord16(model.currentData(), 0), 3); // three new measurements
    EXPECT_GT(veltra::link::decodeFloat32(model.archiveRecord(2), 0), 0.0);
    EXPECT_EQ(veltra::link::decodeFloat32(model.archiveRecord(3), 0), 0.0);
}
