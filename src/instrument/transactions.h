#pragma once
// The device operations: each prepares the transfer buffer exactly as the instrument's protocol
// asks (the fill pattern and size first, then the data), runs its transaction on the port the
// caller opened, and returns the decoded record or what failed. Nothing is retried here; retry
// policies belong to the callers (the polling cycle, the archive reader).
//
// This floor and link/ are the only code that touches the transfer buffer.

#include "archive/archive_record.h"
#include "instrument/outcome.h"
#include "live/current_data.h"
#include "params/parameter_block.h"

#include <array>
#include <ctime>
#include <optional>

namespace veltra::instrument {

// Fill patterns of the transfer buffer before a transaction.
inline constexpr std::size_t pollFillSize = 1000;            // zeros before a current-data read
inline constexpr std::size_t parameterReadFillSize = 1000;   // 0, 1, 2, ... before the readout
inline constexpr std::size_t parameterWriteFillSize = 100;   // 0xFF before the block is built
inline constexpr std::size_t factorySettingsFillSize = 1000; // 0xFF before the command
inline constexpr std::size_t archiveReadFillSize = 800;      // zeros before an archive read

// Command 0x10, length 49, address 0, after clearing the first 1000 bytes: the block as it
// arrived, and decoded.
using CurrentDataBlock = std::array<std::uint8_t, live::CurrentData::size>;
[[nodiscard]] ReadResult<CurrentDataBlock> readCurrentDataBlock(link::DeviceLink& link);
[[nodiscard]] ReadResult<live::CurrentData> readCurrentData(link::DeviceLink& link);

// The identity probe of the connection menu's auto-detect: command 0x10, length 20, address
// 0x80. It passes only for a complete answer, 20 data bytes and their CRC with the register at
// 0, 0; the contents are not looked at. The archive reader asks it too, to show the line is in
// step: its answer is 29 bytes long, an archive record's 19.
using IdentityBlock = std::array<std::uint8_t, link::length::identityProbe>;
[[nodiscard]] ReadResult<IdentityBlock> probeIdentity(link::DeviceLink& link);
// The instrument's identity, taken only when two probes in a row heard the same 20 bytes: a
// stray or late answer of the right length cannot pass for it.
[[nodiscard]] std::optional<IdentityBlock> identify(link::DeviceLink& link);

// Command 0xBB, length 6, address 0: the PC's local time as packed BCD. 15 bytes go out.
inline constexpr std::uint32_t clockWriteSize = 15;
WriteResult writeClock(link::DeviceLink& link, const std::tm& localTime);

// Command 0x30, length 75, address 0, after filling the first 1000 bytes with 0, 1, 2, ...
[[nodiscard]] ReadResult<params::ParameterReadout> readParameterReadout(link::DeviceLink& link);

// Command 0x80, length 55, address 0: the block as built, after filling bytes 0..99 with 0xFF.
WriteResult writeParameterBlock(link::DeviceLink& link,
                                const std::array<std::uint8_t, params::blockSize>& block);

// Command 0xAA, length 1, address 0, data byte 3: the instrument restarts its dose from 0.
WriteResult writeDoseReset(link::DeviceLink& link);

// Command 0x50, length 0, address 0, after filling the first 1000 bytes with 0xFF.
WriteResult writeFactorySettings(link::DeviceLink& link);

// Before the first record of an archive read: the first 800 bytes cleared.
void prepareArchiveRead(link::DeviceLink& link);
// Command 0x25, length 10, address = the record number 0..799: one archive record.
[[nodiscard]] ReadResult<archive::RecordBytes> readArchiveRecord(link::DeviceLink& link,
                                                                 std::uint16_t number);
// Command 0x55, length 0, address 0: the instrument erases its archive. 9 bytes go out.
WriteResult writeArchiveErase(link::DeviceLink& link);

} // namespace veltra::instrument
