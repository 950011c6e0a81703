// The link's transaction sequence against a scripted port: which calls it makes, in which
// order, with which sizes and time-outs.
#include "link/device_link.h"
#include "scripted_port.h"

#include <gtest/gtest.h>

using namespace veltra::link;

namespace {

class DeviceLinkTest : public ::testing::Test {
protected:
    DeviceLinkTest() { shared->openable = {"/dev/ttyUSB0", "/dev/ttyUSB1"}; }

    bool ensurePortOpen() { return link.ensurePortOpen(portNumber); }

    std::shared_ptr<ScriptedPort::Shared> shared = std::make_shared<ScriptedPort::Shared>();
    std::uint8_t portNumber = 1; // the program's selected port
    DeviceLink link{PortCatalog(
                        {},
                        [] {
                            return QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1"};
                        },
                        PortCatalog::Naming::DevicePaths), // on every platform
                    std::make_unique<ScriptedPort>(shared)};
};

} // namespace

TEST_F(DeviceLinkTest, ReadPurgesTwiceSendsTheFrameAndReadsHeaderThenData) {
    ASSERT_TRUE(ensurePortOpen());
    shared->calls.clear();
    const std::vector<std::uint8_t> data(49, 0x42);
    shared->replies = {replyHeader(0x10, 49, 0), withCrc(data)};

    shared->waiting = 3; // an answer nobody asked for: thrown away, and told
    const ReadReport read = link.readBlock(0x10, 49, 0);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.stale, 3U);
    EXPECT_EQ(read.received, 58U);
    EXPECT_EQ(shared->calls,
              (std::vector<std::string>{"purge", "purge", "write 7 within 500",
                                        "read 7 within 1014", "read 51 within 1102"}));
    EXPECT_EQ(shared->written.back(),
              (std::vector<std::uint8_t>{0x10, 0x00, 0x31, 0x00, 0x00, 0xB4, 0x0C}));
    EXPECT_EQ(link.lastTransferCount(), 51U);
    EXPECT_EQ(link.crcLo(), 0);
    EXPECT_EQ(link.crcHi(), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), link.transferBuffer().begin()));
}

TEST_F(DeviceLinkTest, BadReplyHeaderMeansNoSecondRead) {
    ASSERT_TRUE(ensurePortOpen());
    shared->calls.clear();
    auto header = replyHeader(0x10, 49, 0);
    header[5] ^= 0xFF;
    shared->replies = {header, withCrc(std::vector<std::uint8_t>(49, 1))};

    EXPECT_EQ(link.readBlock(0x10, 49, 0).outcome, Outcome::headerCrc);
    EXPECT_EQ(shared->calls.back(), "read 7 within 1014");
    EXPECT_EQ(shared->replies.size(), 1U); // the data were never asked for
    EXPECT_EQ(link.lastTransferCount(), 7U);
}

TEST_F(DeviceLinkTest, ReadFailuresAreTold) {
    ASSERT_TRUE(ensurePortOpen());
    auto badData = withCrc(std::vector<std::uint8_t>(10, 7));
    badData[3] ^= 1;
    const struct {
        std::deque<std::vector<std::uint8_t>> replies;
        Outcome outcome;
        std::uint32_t count;
    } cases[] = {
        {{}, Outcome::noHeader, 0},
        {{{0x25, 0x00}}, Outcome::noHeader, 2},
        {{replyHeader(0x25, 10, 5), {1, 2, 3}}, Outcome::dataShort, 3},
        {{replyHeader(0x25, 10, 5), badData}, Outcome::dataCrc, 12},
        // A reply header and nothing after it: the register run over the header and the
        // cleared bytes behind it ends at 0, 0, yet no data came.
        {{replyHeader(0x25, 10, 5)}, Outcome::dataShort, 0},
    };
    for (const auto& c : cases) {
        std::fill(link.transferBuffer().begin(), link.transferBuffer().end(), std::uint8_t{0});
        shared->replies = c.replies;
        EXPECT_EQ(link.readBlock(0x25, 10, 5).outcome, c.outcome);
        EXPECT_EQ(link.lastTransferCount(), c.count);
    }
}

TEST_F(DeviceLinkTest, TooLongARequestIsRefusedWithoutTouchingThePort) {
    ASSERT_TRUE(ensurePortOpen());
    shared->calls.clear();
    EXPECT_EQ(link.readBlock(0x30, DeviceLink::transferBufferSize - 1, 0).outcome,
              Outcome::refused);
    EXPECT_EQ(link.writeBlock(0x80, 0xFFFF, 0), 0U);
    EXPECT_TRUE(shared->calls.empty());
}

TEST_F(DeviceLinkTest, WritesSendHeaderDataAndCrcInOneWriteWithoutPurgeOrRead) {
    ASSERT_TRUE(ensurePortOpen());
    shared->calls.clear();

    EXPECT_EQ(link.writeBlock(0x50, 0, 0), 9U);
    EXPECT_EQ(shared->written.back(),
              (std::vector<std::uint8_t>{0x50, 0x00, 0x00, 0x00, 0x00, 0xE4, 0x0C, 0xFF, 0xFF}));

    link.transferBuffer()[0] = 0x03;
    EXPECT_EQ(link.writeBlock(0xAA, 1, 0), 10U);
    const auto& dose = shared->written.back();
    ASSERT_EQ(dose.size(), 10U);
    EXPECT_EQ(dose[7], 0x03);
    EXPECT_TRUE(crc16Modbus(std::span(dose).subspan(7)).isZero());
    EXPECT_EQ(link.lastTransferCount(), 10U);

    EXPECT_EQ(shared->calls,
              (std::vector<std::string>{"write 9 within 500", "write 10 within 500"}));
}

TEST_F(DeviceLinkTest, ClockWriteExample) {
    ASSERT_TRUE(ensurePortOpen());
    const std::array<std::uint8_t, 6> clock{0x09, 0x05, 0x14, 0x27, 0x03, 0x24};
    std::copy(clock.begin(), clock.end(), link.transferBuffer().begin());
    ASSERT_EQ(link.writeBlock(0xBB, 6, 0), 15U);
    const auto& sent = shared->written.back();
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 5),
              (std::vector<std::uint8_t>{0xBB, 0x00, 0x06, 0x00, 0x00}));
    EXPECT_TRUE(crc16Modbus(std::span(sent).first(7)).isZero());
    EXPECT_TRUE(std::equal(clock.begin(), clock.end(), sent.begin() + 7));
    EXPECT_TRUE(crc16Modbus(std::span(sent).subspan(7)).isZero());
}

TEST_F(DeviceLinkTest, OpenAppliesTheInstrumentLineSettings) {
    shared->calls.clear();
    ASSERT_TRUE(link.openSelectedPort(portNumber));
    EXPECT_EQ(shared->calls, (std::vector<std::string>{"open /dev/ttyUSB0", "settings 57600 8N1"}));
    EXPECT_EQ(link.openedDevice(), "/dev/ttyUSB0");
}

TEST_F(DeviceLinkTest, EnsurePortOpenRetriesOnceAndNeedsASelectedPort) {
    shared->failOpens = 1;
    EXPECT_TRUE(ensurePortOpen());
    shared->failOpens = 2;
    EXPECT_FALSE(ensurePortOpen());
    EXPECT_FALSE(link.isOpen());

    portNumber = 0;
    shared->calls.clear();
    EXPECT_FALSE(ensurePortOpen());
    EXPECT_TRUE(shared->calls.empty());
}

TEST_F(DeviceLinkTest, NumberWithoutADeviceFailsAtOnce) {
    portNumber = 9;
    shared->calls.clear();
    EXPECT_FALSE(ensurePortOpen());
    EXPECT_TRUE(shared->calls.empty());
}

TEST_F(DeviceLinkTest, OpenSelectedPortOpensTheNumberItIsTold) {
    // Without a selected port the caller passes the number typed in the dialog's box.
    ASSERT_TRUE(link.openSelectedPort(2));
    EXPECT_EQ(link.openedDevice(), "/dev/ttyUSB1");

    for (const int bad : {0, -1, 3, 300}) {
        ASSERT_TRUE(link.openSelectedPort(1));
        EXPECT_FALSE(link.openSelectedPort(bad)) << bad;
        EXPECT_FALSE(link.isOpen()) << bad; // the previous port is closed all the same
    }
}

TEST_F(DeviceLinkTest, OpenPortNumberRecordsItsOutcome) {
    EXPECT_TRUE(link.openPortNumber(2));
    EXPECT_TRUE(link.portOpenedByNumber());
    EXPECT_FALSE(link.openPortNumber(3));
    EXPECT_FALSE(link.portOpenedByNumber());
    EXPECT_FALSE(link.isOpen());
    // openSelectedPort leaves the flag alone
    EXPECT_TRUE(link.openSelectedPort(portNumber));
    EXPECT_FALSE(link.portOpenedByNumber());
}
