#pragma once
// Value encodings of the instrument's wire: the CRC-16/MODBUS check, the 32-bit float
// (IEEE-754 binary32, little-endian), packed BCD and the 16-bit little-endian word.
// Pure functions: bytes in, values out, no I/O.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace veltra::link {

// The CRC register after a run. crcLo is the low byte of the CRC value and is sent first.
struct Crc {
    std::uint8_t lo = 0xFF;
    std::uint8_t hi = 0xFF;

    [[nodiscard]] bool isZero() const { return lo == 0 && hi == 0; }
    [[nodiscard]] std::uint16_t value() const { return static_cast<std::uint16_t>(lo | (hi << 8)); }
    friend bool operator==(const Crc&, const Crc&) = default;
};

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR), table driven.
// Starts from 0xFF, 0xFF on every call. Run over a block followed by its own two CRC bytes,
// the register ends at 0, 0: that is the check applied to every received block.
[[nodiscard]] Crc crc16Modbus(std::span<const std::uint8_t> bytes);

// The two 256-entry lookup tables the CRC is computed with (exposed for tests).
[[nodiscard]] const std::array<std::uint8_t, 256>& crcHighTable();
[[nodiscard]] const std::array<std::uint8_t, 256>& crcLowTable();

// Decodes a wire float. FF FF FF FF reads as 0.0; an exponent of 0 (zero, negative zero,
// subnormals) reads as 0.0; an exponent of 255 has no special meaning and decodes as a large
// finite number, as the instrument's own firmware treats it.
[[nodiscard]] double decodeFloat32(std::span<const std::uint8_t, 4> bytes);
[[nodiscard]] double decodeFloat32(std::span<const std::uint8_t> buffer, std::size_t offset);

// Encodes x the way the instrument expects it: the mantissa is truncated toward zero, not
// rounded, so 0.1 goes out as CC CC CC 3D. Writes 4 bytes into buffer at offset.
// Returns false and writes nothing when x is not finite or its magnitude falls outside the
// normal binary32 range (exponent outside 1..254), or when the 4 bytes do not fit.
bool encodeFloat32(std::span<std::uint8_t> buffer, std::size_t offset, double x);

// Convenience form of encodeFloat32 for tests and peers: the 4 bytes, or zeros when it fails.
[[nodiscard]] std::array<std::uint8_t, 4> encodeFloat32Bytes(double x);

// Packed BCD: (high nibble) * 10 + (low nibble), for every byte 0x00..0x99.
[[nodiscard]] constexpr int decodeBcd(std::uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

// Packed BCD of 0 <= n <= 99.
[[nodiscard]] constexpr std::uint8_t encodeBcd(int n) {
    return static_cast<std::uint8_t>(((n / 10) << 4) | (n % 10));
}

// Stores value little-endian: low byte at offset, high byte at offset + 1.
// Returns false and writes nothing when the two bytes do not fit.
bool putWord16(std::span<std::uint8_t> buffer, std::uint16_t value, std::size_t offset);

// Little-endian integer reads used by the block decoders.
[[nodiscard]] std::uint16_t getWord16(std::span<const std::uint8_t> buffer, std::size_t offset);
[[nodiscard]] std::uint32_t getWord32(std::span<const std::uint8_t> buffer, std::size_t offset);

} // namespace veltra::link
