#pragma once
// The 7-byte request header sent before every transaction, and the commands the instrument
// answers. Length and address are big-endian in the header, although the data words inside
// blocks are little-endian.

#include "link/codecs.h"

#include <array>
#include <cstdint>
#include <optional>

namespace veltra::link {

// Byte 0 command, 1-2 length (data bytes, without their two CRC bytes), 3-4 address,
// 5-6 crcLo/crcHi of bytes 0..4. The instrument's reply header has the same shape.
struct Frame {
    static constexpr std::size_t size = 7;

    std::uint8_t command = 0;
    std::uint16_t length = 0;
    std::uint16_t address = 0;

    [[nodiscard]] std::array<std::uint8_t, size> bytes() const {
        std::array<std::uint8_t, size> b{command,
                                         static_cast<std::uint8_t>(length >> 8),
                                         static_cast<std::uint8_t>(length & 0xFFU),
                                         static_cast<std::uint8_t>(address >> 8),
                                         static_cast<std::uint8_t>(address & 0xFFU),
                                         0,
                                         0};
        const Crc crc = crc16Modbus(std::span<const std::uint8_t>(b).first(5));
        b[5] = crc.lo;
        b[6] = crc.hi;
        return b;
    }

    // Reads a header back; nullopt when the CRC of the 7 bytes does not check.
    [[nodiscard]] static std::optional<Frame> parse(std::span<const std::uint8_t, size> b) {
        if (!crc16Modbus(b).isZero()) {
            return std::nullopt;
        }
        return Frame{b[0], static_cast<std::uint16_t>((b[1] << 8) | b[2]),
                     static_cast<std::uint16_t>((b[3] << 8) | b[4])};
    }
};

// The instrument's command table. Reads answer a reply header and length data bytes with
// their CRC; writes are not acknowledged.
namespace command {
inline constexpr std::uint8_t currentData = 0x10;     // read 49 @ 0; identity probe 20 @ 0x80
inline constexpr std::uint8_t parameters = 0x30;      // read 75 @ 0
inline constexpr std::uint8_t archiveRecord = 0x25;   // read 10 @ record number 0..799
inline constexpr std::uint8_t setClock = 0xBB;        // write 6 @ 0, packed BCD
inline constexpr std::uint8_t writeParameters = 0x80; // write 55 @ 0
inline constexpr std::uint8_t resetDose = 0xAA;       // write 1 @ 0, data byte 3
inline constexpr std::uint8_t factorySettings = 0x50; // write 0 @ 0
inline constexpr std::uint8_t eraseArchive = 0x55;    // write 0 @ 0
} // namespace command

namespace length {
inline constexpr std::uint16_t currentData = 49;
inline constexpr std::uint16_t identityProbe = 20;
inline constexpr std::uint16_t parameterReadout = 75;
inline constexpr std::uint16_t parameterBlock = 55;
inline constexpr std::uint16_t archiveRecord = 10;
inline constexpr std::uint16_t clock = 6;
inline constexpr std::uint16_t resetDose = 1;
} // namespace length

inline constexpr std::uint16_t identityProbeAddress = 0x80;
inline constexpr std::uint16_t archiveRecordCount = 800;
inline constexpr std::uint8_t resetDoseData = 0x03;

} // namespace veltra::link
