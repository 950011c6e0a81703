// The device operations against a scripted port: the buffer each prepares, the checks each
// makes of an answer, and what each reports.
#include "instrument/transactions.h"
#include "scripted_port.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace veltra;
using instrument::Outcome;
using link::replyHeader;
using link::withCrc;

namespace {

class Transactions : public ::testing::Test {
protected:
    Transactions() {
        shared->openable = {"/dev/ttyUSB0"};
        EXPECT_TRUE(device.ensurePortOpen(1));
    }

    std::shared_ptr<link::ScriptedPort::Shared> shared =
        std::make_shared<link::ScriptedPort::Shared>();
    link::DeviceLink device{link::PortCatalog({{1, "/dev/ttyUSB0"}}, {}),
                            std::make_unique<link::ScriptedPort>(shared)};
};

} // namespace

TEST_F(Transactions, TheProbeTakesOnlyAComplete22ByteAnswer) {
    std::vector<std::uint8_t> identity(20);
    for (std::size_t i = 0; i < identity.size(); ++i) {
        identity[i] = static_cast<std::uint8_t>(0x30 + i);
    }
    const auto answer = withCrc(identity);

    shared->replies = {replyHeader(0x10, 20, 0x80), answer};
    const auto complete = instrument::probeIdentity(device);
    EXPECT_TRUE(complete.ok());
    EXPECT_EQ(shared->written.back(),
              (std::vector<std::uint8_t>{0x10, 0x00, 0x14, 0x00, 0x80, 0xA4, 0x67}));

    // One byte short, but the buffer still holds the missing CRC byte from before, so the
    // register ends at 0, 0: still no answer.
    std::copy(answer.begin(), answer.end(), device.transferBuffer().begin());
    shared->replies = {replyHeader(0x10, 20, 0x80), {answer.begin(), answer.end() - 1}};
    const auto shortAnswer = instrument::probeIdentity(device);
    EXPECT_TRUE(device.crcLo() == 0 && device.crcHi() == 0);
    EXPECT_FALSE(shortAnswer.ok());
    EXPECT_EQ(shortAnswer.outcome, Outcome::dataShort);
    EXPECT_EQ(shortAnswer.received, 7U + 21U);

    auto spoiled = answer;
    spoiled.back() ^= 0x01;
    shared->replies = {replyHeader(0x10, 20, 0x80), spoiled};
    EXPECT_EQ(instrument::probeIdentity(device).outcome, Outcome::dataCrc);
    shared->replies = {};
    EXPECT_EQ(instrument::probeIdentity(device).outcome, Outcome::noHeader);
}

TEST_F(Transactions, TheCurrentDataReadClearsTheBufferAndChecksAsAsked) {
    std::fill(device.transferBuffer().begin(), device.transferBuffer().end(), std::uint8_t{0xEE});
    const auto data = withCrc(std::vector<std::uint8_t>(49, 0));
    // A reply cut short after 30 bytes: the block's own CRC was in the buffer before, but the
    // read clears the first 1000 bytes first, so what is left does not check.
    std::copy(data.begin(), data.end(), device.transferBuffer().begin());
    shared->replies = {replyHeader(0x10, 49, 0), {data.begin(), data.begin() + 30}};
    const auto read = instrument::readCurrentData(device);
    EXPECT_FALSE(read.ok());
    EXPECT_EQ(device.transferBuffer()[999], 0);
    EXPECT_EQ(device.transferBuffer()[1000], 0xEE); // the first 1000 bytes only

    shared->replies = {replyHeader(0x10, 49, 0), data};
    const auto good = instrument::readCurrentData(device);
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(good.received, 7U + 51U);
}

TEST_F(Transactions, TheParameterReadFillsZeroOneTwoFirst) {
    shared->replies = {};
    const auto read = instrument::readParameterReadout(device);
    EXPECT_EQ(read.outcome, Outcome::noHeader);
    // The pattern stays beyond what arrived (nothing did).
    EXPECT_EQ(device.transferBuffer()[300], 300 % 256);
    EXPECT_EQ(device.transferBuffer()[999], 999 % 256);
}

TEST_F(Transactions, WritesAreDoneOnlyWhenEveryByteWentOut) {
    std::array<std::uint8_t, params::blockSize> block{};
    block.fill(0x11);
    auto sent = instrument::writeParameterBlock(device, block);
    EXPECT_TRUE(sent.complete());
    EXPECT_EQ(sent.written, 64U);
    EXPECT_EQ(device.transferBuffer()[57], 0xFF); // the 0xFF fill beyond the block and its CRC
    EXPECT_EQ(device.transferBuffer()[99], 0xFF);

    shared->writeLimit = 9;
    sent = instrument::writeParameterBlock(device, block);
    EXPECT_FALSE(sent.complete());
    EXPECT_EQ(sent.outcome(), Outcome::writtenShort);
    EXPECT_FALSE(instrument::writeDoseReset(device).complete());
    EXPECT_TRUE(instrument::writeFactorySettings(device).complete()); // 9 bytes: all of it
    std::tm t{};
    t.tm_mday = 1;
    t.tm_year = 124;
    EXPECT_EQ(instrument::writeClock(device, t).expected, instrument::clockWriteSize);
}
