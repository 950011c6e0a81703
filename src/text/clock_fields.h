#pragma once
// The instrument's clock as its six packed-BCD bytes give it: seconds, minutes, hours, day of
// month (low six bits; the top two bits carry other meanings and are masked off), month 1..12,
// year after 2000. The current-data block (bytes 36..41) and every archive record (bytes 4..9)
// carry them in the same order, and both use the time conversions below.

#include <QString>

#include <array>
#include <cstdint>
#include <ctime>
#include <span>

namespace veltra::text {

struct ClockFields {
    int second = 0;
    int minute = 0;
    int hour = 0;
    int day = 0;
    int month = 0; // 1..12
    int year = 0;  // in full: 2000 + the year byte

    friend bool operator==(const ClockFields&, const ClockFields&) = default;
};

inline constexpr std::size_t clockFieldsSize = 6;

// Decodes the six bytes. Every bit pattern decodes; the day byte loses its top two bits first.
[[nodiscard]] ClockFields decodeClockFields(std::span<const std::uint8_t, clockFieldsSize> bytes);

// Chart time of a clock reading: days since 1899-12-30 whose fraction is the time of day, built
// from the clock fields themselves, so the value is the time the instrument shows (summer time
// included) and never an hour off. Fields out of range roll over (day 32 is the 1st of the next
// month), as the C library's calendar conversion does.
[[nodiscard]] double chartTime(const ClockFields& clock);

// The same wall time as the chart component counts it: seconds since 1970 shown in UTC. Exact
// in whole seconds, so points of one session keep their exact spacing, and a live point and an
// archive point of the same moment get the same key.
[[nodiscard]] std::int64_t chartSeconds(const ClockFields& clock);
[[nodiscard]] double chartAxisKey(const ClockFields& clock);
[[nodiscard]] double chartTimeToAxisKey(double days);
[[nodiscard]] double axisKeyToChartTime(double key);

// The instrument's clock as a calendar time of the PC: the PC's local time now broken into
// fields (so the daylight-saving flag is that of the PC now) with the clock fields put in,
// converted back with the C library.
[[nodiscard]] std::time_t instrumentTime(const ClockFields& clock, std::time_t pcNow);

// Local time of the PC, thread-safe on every platform.
[[nodiscard]] std::tm localTimeOf(std::time_t t);

// "YYYY-MM-DDTHH:MM:SS" of the clock fields, as the instrument shows them.
[[nodiscard]] QString clockText(const ClockFields& clock);
// The computer's time now with its offset from UTC: "2026-12-09T15:20:01+01:00".
[[nodiscard]] QString computerTimeText();

} // namespace veltra::text
