#pragma once
// The instrument's parameter block: 55 bytes, read inside the 75-byte readout of command 0x30
// (after a 20-byte prefix) and written back whole with command 0x80. Integers little-endian,
// floats as wire floats; the signed bytes are item indexes of the tab's selectors, used as they
// are (a value outside a list selects nothing).

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace veltra::params {

inline constexpr std::size_t readoutSize = 75;
inline constexpr std::size_t blockSize = 55;
inline constexpr std::size_t blockOffsetInReadout = 20;

// Offsets within the block.
namespace offset {
inline constexpr std::size_t backlightTime = 0;
inline constexpr std::size_t sound = 1;
inline constexpr std::size_t deviceLanguage = 2;
inline constexpr std::size_t backlightColour = 3;
inline constexpr std::size_t softwareVersion = 4;
inline constexpr std::size_t modeSetting = 5;
inline constexpr std::size_t displayView = 6;
inline constexpr std::size_t doseRateThresholdNo = 7;
inline constexpr std::size_t doseRateThresholds = 8;
inline constexpr std::size_t keptByte = 20;
inline constexpr std::size_t doseThresholdNo = 21;
inline constexpr std::size_t bluetoothPeriod = 22;
inline constexpr std::size_t doseThresholds = 24;
inline constexpr std::size_t keptFloats = 36;
inline constexpr std::size_t keptFloat = 48;
inline constexpr std::size_t deviceFlags = 52;
inline constexpr std::size_t deviceType = 53;
inline constexpr std::size_t archiveOptions = 54;
} // namespace offset

// Bits of deviceFlags.
inline constexpr std::uint8_t aboutSuppressedBit = 0x04;
inline constexpr std::uint8_t bluetoothFittedBit = 0x08;

struct ParameterBlock {
    std::uint8_t backlightTime = 0; // seconds: 0 (long list only), 10, 60, 180
    std::int8_t sound = 0;
    std::int8_t deviceLanguage = 0;
    std::int8_t backlightColour = 0;
    std::int8_t softwareVersion = 0;
    std::int8_t modeSetting = 0;
    std::int8_t displayView = 0;
    std::int8_t doseRateThresholdNo = 0;        // 1..3
    std::array<double, 3> doseRateThresholds{}; // µSv/h
    std::uint8_t keptByte = 0;
    std::int8_t doseThresholdNo = 0;        // 1..3
    std::int32_t bluetoothPeriod = 0;       // s, 0 = Bluetooth not used
    std::array<double, 3> doseThresholds{}; // µSv
    std::array<double, 3> keptFloats{};
    double keptFloat = 0.0;
    std::uint8_t deviceFlags = 0;
    std::int8_t deviceType = 0; // 1..7
    std::uint8_t archiveOptions = 0;
    // The block's bytes as the instrument sent them: a float the encoder cannot write (an
    // exponent of 255, which decodes as a finite number beyond the single-precision range) goes
    // back from here.
    std::array<std::uint8_t, 55> bytes{};

    friend bool operator==(const ParameterBlock&, const ParameterBlock&) = default;
};

struct ParameterReadout {
    std::uint16_t readoutWord0 = 0;
    std::uint32_t readoutValue4 = 0;
    std::uint32_t readoutValue8 = 0;
    std::uint32_t readoutValue12 = 0;
    double readoutFloat16 = 0.0;
    ParameterBlock block;

    [[nodiscard]] bool aboutSuppressed() const {
        return (block.deviceFlags & aboutSuppressedBit) != 0;
    }
    [[nodiscard]] bool bluetoothFitted() const {
        return (block.deviceFlags & bluetoothFittedBit) != 0;
    }

    friend bool operator==(const ParameterReadout&, const ParameterReadout&) = default;
};

[[nodiscard]] ParameterBlock decodeParameterBlock(std::span<const std::uint8_t, blockSize> bytes);
[[nodiscard]] ParameterReadout decodeReadout(const std::array<std::uint8_t, readoutSize>& bytes);
// The same over a longer buffer (the link's transfer buffer); nullopt when it is too short.
[[nodiscard]] std::optional<ParameterReadout> decodeReadout(std::span<const std::uint8_t> buffer);

// What the writer sends: the block's bytes and, for the six thresholds, the values after the
// writer's rule (a threshold that is not finite or too large for the wire float is refused
// earlier, by the writer), or, for a cell the user left as the read showed it, the
// instrument's own bytes when its value is beyond the wire float.
struct BlockToWrite {
    ParameterBlock fields; // thresholds below replace the float fields
    std::array<double, 3> doseRateThresholds{};
    std::array<double, 3> doseThresholds{};
    std::array<bool, 3> doseRateAsSent{}; // write the instrument's bytes back
    std::array<bool, 3> doseAsSent{};
};

// Whether the wire float can hold a value (finite, exponent 1..254 after normalising, or 0).
[[nodiscard]] bool wireFloatHolds(double value);

// The 55 bytes in offset order: every field but the floats as a byte or word; thresholds through
// the truncating wire encoding; keptFloats and keptFloat only when not negative (otherwise their
// bytes stay FF FF FF FF, the fill the instrument reads back as 0.0), and as the instrument sent
// them when the encoder cannot write their value.
[[nodiscard]] std::array<std::uint8_t, blockSize> encodeParameterBlock(const BlockToWrite& block);

} // namespace veltra::params
