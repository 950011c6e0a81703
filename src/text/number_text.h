#pragma once
// Number texts of the readings: fixed-point with a given number of decimals, the user's decimal
// separator, no thousands separators. The value is first held to a precision of significant
// digits (8 for readings, 3 for the battery); a value with more digits than that before the
// separator comes out in scientific notation instead. Rounding is half away from zero, as a
// person rounds (12.5 gives 13), on the value's shortest exact decimal digits.

#include <QChar>
#include <QString>

namespace veltra::text {

inline constexpr int readingPrecision = 8;
inline constexpr int batteryPrecision = 3;

// The decimal separator of the user's locale settings.
[[nodiscard]] QChar userDecimalSeparator();

[[nodiscard]] QString fixedText(double value, int decimals, QChar decimalSeparator,
                                int precision = readingPrecision);

// A number for files and scripts: nine significant digits (every single-precision value comes
// back exactly), a point, whatever the locale.
[[nodiscard]] QString number9(double value);

} // namespace veltra::text
