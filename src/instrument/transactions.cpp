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

// The reply's data, when the link took it.
template <class Record>
ReadResult<Record> readInto(link::DeviceLink& link, const link::ReadReport& read) {
    auto result = resultOf<Record>(read);
    if (read.ok()) {
        Record record{};
        std::copy_n(link.transferBuffer().begin(), record.size(), record.begin());
        result.value = record;
    }
    return result;
}

} // namespace

ReadResult<CurrentDataBlock> readCurrentDataBlock(link::DeviceLink& link) {
    std::fill_n(link.transferBuffer().begin(), pollFillSize, std::uint8_t{0});
    const auto read = link.readBlock(link::command::currentData, link::length::currentData, 0);
    return readInto<CurrentDataBlock>(link, read);
}

ReadResult<live::CurrentData> readCurrentData(link::DeviceLink& link) {
    const auto block = readCurrentDataBlock(link);
    ReadResult<live::CurrentData> result{block, std::nullopt};
    if (block.ok()) {
        result.value = live::decodeCurrentData(*block.value);
    }
    return result;
}

ReadResult<IdentityBlock> probeIdentity(link::DeviceLink& link) {
    const auto read = link.readBlock(link::command::currentData, link::length::identityProbe,
                                     link::identityProbeAddress);
    return readInto<IdentityBlock>(link, read);
}

std::optional<IdentityBlock> identify(link::DeviceLink& link) {
    const auto first = probeIdentity(link);
    if (!first.ok()) {
        return std::nullopt;
    }
    const auto second = probeIdentity(link);
    if (!second.ok() || *second.value != *first.value) {
        return std::nullopt;
    }
    return first.value;
}

WriteResult writeClock(link::DeviceLink& link, const std::tm& localTime) {
    const auto block = live::clockBlock(localTime);
    std::copy(block.begin(), block.end(), link.transferBuffer().begin());
    return sendWrite(link, link::command::setClock, link::length::clock);
}

ReadResult<params::ParameterReadout> readParameterReadout(link::DeviceLink& link) {
    auto buffer = link.transferBuffer();
    for (std::size_t i = 0; i < parameterReadFillSize; ++i) {
        buffer[i] = static_cast<std::uint8_t>(i % 256);
    }
    const auto read = link.readBlock(link::command::parameters, link::length::parameterReadout, 0);
    auto result = resultOf<params::ParameterReadout>(read);
    if (read.ok()) {
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
    const auto read =
        link.readBlock(link::command::archiveRecord, link::length::archiveRecord, number);
    return readInto<archive::RecordBytes>(link, read);
}

WriteResult writeArchiveErase(link::DeviceLink& link) {
    return sendWrite(link, link::command::eraseArchive, 0);
}

} // namespace veltra::instrument
