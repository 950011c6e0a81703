#pragma once
// Keeping the instrument's clock right: the check against the PC clock that every redraw runs,
// and the 6-byte block the clock write (command 0xBB) sends.

#include "text/clock_fields.h"

#include <array>
#include <cstdint>
#include <ctime>

namespace veltra::live {

inline constexpr int clockToleranceSeconds = 300;
// True when the two clocks differ by more than 300 s (exactly 300 s is in step).
[[nodiscard]] bool clockSyncNeeded(const text::ClockFields& clock, std::time_t pcNow);

inline constexpr std::size_t clockBlockSize = 6;
// Seconds, minutes, hours, day of month, month 1..12, year - 2000, packed BCD: the data of the
// clock write (command 0xBB, length 6, address 0).
[[nodiscard]] std::array<std::uint8_t, clockBlockSize> clockBlock(const std::tm& localTime);

} // namespace veltra::live
