#pragma once
// The instrument's clock: chart times built from its fields, the check against the PC clock,
// and the 6-byte block that sets it.

#include "live/current_data.h"

#include <array>
#include <cstdint>
#include <ctime>

namespace veltra::live {

// Chart time of a clock reading: days since 1899-12-30 whose fraction is the time of day, built
// from the clock fields themselves, so the value is the time the instrument shows (summer time
// included) and never an hour off. Fields out of range roll over (day 32 is the 1st of the next
// month), as the C library's calendar conversion does.
[[nodiscard]] double chartTime(const InstrumentClock& clock);

// The same wall time as the chart component counts it: seconds since 1970 shown in UTC. Exact
// in whole seconds, so points of one session keep their exact spacing.
[[nodiscard]] double chartAxisKey(const InstrumentClock& clock);
[[nodiscard]] double chartTimeToAxisKey(double days);
[[nodiscard]] double axisKeyToChartTime(double key);

// The instrument's clock as a calendar time: the PC's local time now broken into fields (so the
// daylight-saving flag is that of the PC now) with the clock fields put in, converted back.
[[nodiscard]] std::time_t instrumentTime(const InstrumentClock& clock, std::time_t pcNow);

inline constexpr int clockToleranceSeconds = 300;
// True when the two clocks differ by more than 300 s.
[[nodiscard]] bool clockSyncNeeded(const InstrumentClock& clock, std::time_t pcNow);

// Seconds, minutes, hours, day of month, month 1..12, year - 2000, packed BCD: the data of the
// clock write (command 0xBB, length 6, address 0).
[[nodiscard]] std::array<std::uint8_t, 6> clockBlock(const std::tm& localTime);

// Local time of the PC, thread-safe on every platform.
[[nodiscard]] std::tm localTimeOf(std::time_t t);

} // namespace veltra::live

namespace veltra::link {
class DeviceLink;
}

namespace veltra::live {

// Header, 6 data bytes and their CRC.
inline constexpr std::uint32_t clockFrameSize = 15;

// Sets the instrument's clock to a local time: the block above sent with command 0xBB.
// Returns the bytes written (15 when the whole frame went out). No reply is awaited.
std::uint32_t writeClock(link::DeviceLink& link, const std::tm& localTime);

} // namespace veltra::live
