#pragma once
// The presentation of the readings: the unit texts, the threshold texts, and the complete set
// of texts and colours one redraw writes. Pure functions; the language and the decimal
// separator are arguments. The scaling, decimals and duration rules it uses are shared with
// the archive (text/).
//
// With a language other than 1 and 2 a redraw writes only what does not depend on the language.

#include "live/current_data.h"
#include "text/language.h"
#include "text/scaling.h"

#include <QChar>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace veltra::live {

using text::Language;

enum class Quantity { doseRate, dose };
// The unit label of a scaling step; compact adds the trailing blank of the compact window.
[[nodiscard]] QString unitText(Quantity quantity, int step, Language language,
                               bool compact = false);

// Status panels 4 and 5: " 0.3 мкЗв/ч", " 1.2 мЗв", or " - ".
[[nodiscard]] QString thresholdText(double threshold, Quantity quantity, Language language,
                                    QChar decimalSeparator);
// The threshold in effect: entry `number` (1..3) of the three; nullopt for another number.
[[nodiscard]] std::optional<double> thresholdInEffect(std::int32_t number,
                                                      const std::array<double, 3>& thresholds);

enum class BarColour { unchanged, green, yellow, red };
enum class BoxColour { menuBar, red };

// The thresholds the presentation shows, from the decoded parameter copy.
struct ThresholdsInEffect {
    std::int32_t doseRateThresholdNo = 0;
    std::array<double, 3> doseRateThresholds{};
    std::int32_t doseThresholdNo = 0;
    std::array<double, 3> doseThresholds{};
};

// Everything one redraw writes. A target left unset is left as it was on screen.
struct ReadingsView {
    BoxColour mainValueColour = BoxColour::menuBar; // the reading's box: the thresholds passed
    BoxColour doseColour = BoxColour::menuBar;
    QString measurementCountText;
    QString memoryFillPercentText;
    int memoryFillBar = 0; // the bar's position, 0..100
    BarColour memoryFillBarColour = BarColour::unchanged;
    QString errorPercentText; // the statistical error in percent, "N%"

    std::optional<QString> mainValueCaption; // what the reading is, in the language
    std::optional<QString> mainValueUnit;
    std::optional<int> mainValueUnitLeft; // where the unit stands, in pixels
    std::optional<QString> mainValueText;
    std::optional<QString> compactValueText; // the compact window's reading and unit
    std::optional<QString> compactUnitText;
    std::optional<QString> doseUnit;
    std::optional<QString> doseText;
    std::optional<QString> workingTimeText;
    std::optional<QString> doseAccumulationTimeText;
    std::optional<QString> batteryText;
    std::optional<QString> doseRateThresholdText;
    std::optional<QString> doseThresholdText;
};

[[nodiscard]] ReadingsView presentReadings(const CurrentData& reading,
                                           const ThresholdsInEffect& thresholds, Language language,
                                           QChar decimalSeparator);

// Memory fill in percent as the instrument's count gives it (one eighth of the count).
[[nodiscard]] float memoryFillPercent(std::uint16_t memoryFill);
[[nodiscard]] BarColour memoryFillColour(float percent);

} // namespace veltra::live
