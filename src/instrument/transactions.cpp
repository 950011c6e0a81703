#include "instrument/transactions.h"

#include "live/instrument_clock.h"

#include <algorithm>

namespace veltra::instrument {

namespace {

constexpr std::uint32_t writeFrameSize(std::uint16_t length) {
    return static_cast<std::uint32_t>(link::Frame::size) + length + 2U;
}

WriteResult sendWrite(link::DeviceLink& link, std::uint8_t command, std::uint16_t length) {
    const std::uint32_t written = link.writeBlock(command, length, 0);
    return {written, writeFrameSize(length)};
}

template <class Record>
ReadResult<Record> failedRead(const link::DeviceLink& link, std::uint16_t length) {
    ReadResult<Record> r;
    r.outcome = outcomeOf(link.lastReadOutcome());
    r.received = link.lastTransferCount();
    r.expected = length + 2U;
    return r;
}

// All of the reply arrived (its data and CRC) and its CRC checks.
bool wholeReply(const link::DeviceLink& link, std::uint16_t length) {
    return link.lastTransferCount() == length + 2U && link.crcLo() == 0 && link.crcHi() == 0;
}

} // namespace

ReadResult<CurrentDataBlock> readCurrentDataBlock(link::DeviceLink& link, ReplyCheck check) {
    constexpr std::uint16_t length = link::length::currentData;
    std::fill_n(link.transferBuffer().begin(), pollFillSize, std::uint8_t{0});
    const bool ok = link.readBlock(link::command::currentData, length, 0);
    auto result = failedRead<CurrentDataBlock>(link, length);
    if (!ok) {
        return result;
    }
    if (check == ReplyCheck::complete && !wholeReply(link, length)) {
        result.outcome = Outcome::dataShort;
        return result;
    }
    result.outcome = Outcome::ok;
    CurrentDataBlock block{};
    std::copy_n(link.transferBuffer().begin(), block.size(), block.begin());
    result.value = block;
    return result;
}

ReadResult<live::CurrentData> readCurrentData(link::DeviceLink& link, ReplyCheck check) {
    const auto block = readCurrentDataBlock(link, check);
    ReadResult<live::CurrentData> result{block.outcome, block.received, block.expected, {}};
    if (block.ok()) {
        result.value = live::decodeCurrentData(*block.value);
    }
    return result;
}

ReadResult<IdentityBlock> probeIdentity(link::DeviceLink& link) {
    constexpr std::uint16_t length = link::length::identityProbe;
    const bool ok = link.readBlock(link::command::currentData, length, link::identityProbeAddress);
    auto result = failedRead<IdentityBlock>(link, length);
    if (!ok) {
        return result;
    }
    if (!wholeReply(link, length)) {
        result.outcome = Outcome::dataShort;
        return result;
    }
    result.outcome = Outcome::ok;
    IdentityBlock block{};
    std::copy_n(link.transferBuffer().begin(), block.size(), block.begin());
    result.value = block;
    return result;
}

WriteResult writeClock(link::DeviceLink& link, const std::tm& localTime) {
    const auto block = live::clockBlock(localTime);
    std::copy(block.begin(), block.end(), link.transferBuffer().begin());
    return sendWrite(link, link::command::setClock, link::length::clock);
}

ReadResult<params::ParameterReadout> readParameterReadout(link::DeviceLink& link) {
    constexpr std::uint16_t length = link::length::parameterReadout;
    auto buffer = link.transferBuffer();
    for (std::size_t i = 0; i < parameterReadFillSize; ++i) {
        buffer[i] = static_cast<std::uint8_t>(i % 256);
    }
    const bool ok = link.readBlock(link::command::parameters, length, 0);
    auto result = failedRead<params::ParameterReadout>(link, length);
    if (ok) {
        result.outcome = Outcome::ok;
        result.value = params::decodeReadout(link.transferBuffer());
    }
    return result;
}

WriteResult writeParameterBlock(link::DeviceLink& link,
                                const std::array<std::uint8_t, params::blockSize>& block) {
    auto buffer = link.transferBuffer();
    std::fill_n(buffer.begin(), parameterWriteFillSize, std::uint8_t{0xFF});
    std::copy(block.begin(), block.end(), buffer.begin());
    return sendWrite(link, link::command::writeParameters, link::length::parameterBlock);
}

WriteResult writeDoseReset(link::DeviceLink& link) {
    link.transferBuffer()[0] = link::resetDoseData;
    return sendWrite(link, link::command::resetDose, link::length::resetDose);
}

WriteResult writeFactorySettings(link::DeviceLink& link) {
    std::fill_n(link.transferBuffer().begin(), factorySettingsFillSize, std::uint8_t{0xFF});
    return sendWrite(link, link::command::factorySettings, 0);
}

void prepareArchiveRead(link::DeviceLink& link) {
    std::fill_n(link.transferBuffer().begin(), archiveReadFillSize, std::uint8_t{0});
}

ReadResult<archive::RecordBytes> readArchiveRecord(link::DeviceLink& link, std::uint16_t number) {
    constexpr std::uint16_t length = link::length::archiveRecord;
    const bool ok = link.readBlock(link::command::archiveRecord, length, number);
    auto result = failedRead<archive::RecordBytes>(link, length);
    if (ok) {
        result.outcome = Outcome::ok;
        archive::RecordBytes record{};
        std::copy_n(link.transferBuffer().begin(), record.size(), record.begin());
        result.value = record;
    }
    return result;
}

std::size_t letLineSettle(link::DeviceLink& link) {
    return link.discardPending(settleQuiet_ms);
}

WriteResult writeArchiveErase(link::DeviceLink& link) {
    return sendWrite(link, link::command::eraseArchive, 0);
}

} // namespace veltra::instrument
