#pragma once
// Unit scaling and precision of dose-rate and dose readings, shared by the live view and the
// archive: micro units below 1000, milli units up to a million, whole units from a million up;
// three, two or one decimals by the scaled value.

#include <cstdint>

namespace veltra::text {

struct Scaled {
    double value = 0.0;
    int step = 0; // 0 micro, 1 milli, 2 whole unit
    friend bool operator==(const Scaled&, const Scaled&) = default;
};

// The tests are made one after the other on the running value, so a value is scaled at most
// once: below 1000 unchanged (negative values included), 1000 up to a million × 0.001, from a
// million up × 0.000001.
[[nodiscard]] Scaled scaleMicro(double microValue);
// 3 below 10 (negative values included), 2 below 100, 1 from 100 up.
[[nodiscard]] int readoutDecimals(double scaledValue);
// 0 below 1000 (negative included), 1 up to 999 999, 2 up to 999 999 999, 255 from 10^9 up.
[[nodiscard]] std::uint8_t magnitudeClass(std::int32_t value);

} // namespace veltra::text
