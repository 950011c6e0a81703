#pragma once
// The 49-byte current-measurement block the instrument answers to command 0x10, length 49,
// address 0, and its decoded form. Integers little-endian, floats as wire floats, clock bytes
// packed BCD.

#include "text/clock_fields.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace veltra::live {

// Bits of statusFlags.
namespace status {
inline constexpr std::uint16_t charging = 0x04;
inline constexpr std::uint16_t doseRateAlarm = 0x10;
inline constexpr std::uint16_t doseAlarm = 0x20;
inline constexpr std::uint16_t memoryFull = 0x80;
} // namespace status

struct CurrentData {
    static constexpr std::size_t size = 49;

    std::uint16_t memoryFill = 0;       // archive records in use, 800 = full
    std::uint32_t doseTime = 0;         // s
    double batteryVoltage = 0.0;        // V
    std::uint32_t workingTime = 0;      // s
    std::uint32_t measurementCount = 0; // a change means a new measurement
    double reserved20 = 0.0;            // kept, not used
    double doseValue = 0.0;             // µSv
    double errorPercent = 0.0;          // %
    double mainValue = 0.0;             // µSv/h, or 1/(min·cm²) in the flux modes
    text::ClockFields clock;            // bytes 36..41
    std::uint16_t statusFlags = 0;
    double reserved44 = 0.0; // kept, not used
    std::uint8_t mode = 0;

    friend bool operator==(const CurrentData&, const CurrentData&) = default;
};

// Decodes the first 49 bytes of a reply. Every bit pattern decodes; the clock's day byte loses
// its top two bits before its BCD is read.
[[nodiscard]] CurrentData
decodeCurrentData(const std::array<std::uint8_t, CurrentData::size>& bytes);
// The same over a longer buffer (the link's transfer buffer); nullopt when it is too short.
[[nodiscard]] std::optional<CurrentData> decodeCurrentData(std::span<const std::uint8_t> buffer);

// What the main reading is in a measuring mode, for files and messages: the quantity and its
// unit ("dose rate", "uSv/h"), and whether it is a dose rate at all (the flux and activity
// modes are not, and never land under a dose rate's name).
struct MainQuantity {
    const char* name;
    const char* unit;
    bool doseRate;
};
[[nodiscard]] MainQuantity mainQuantity(std::uint8_t mode);

} // namespace veltra::live
