#include "live/presentation.h"

#include "text/duration.h"
#include "text/number_text.h"

#include <cmath>

namespace veltra::live {

using text::fixedText;
using text::formatDuration;
using text::pick;
using text::readoutDecimals;
using text::Scaled;
using text::scaleMicro;

namespace {

// Horizontal positions of the main reading's unit label.
constexpr int doseRateUnitLeft[] = {170, 130}; // Russian, English
constexpr int betaUnitLeft[] = {102, 100};
constexpr int alphaUnitLeft[] = {112, 106};
constexpr int activityUnitLeft = 206;

int byLanguage(const int (&positions)[2], Language language) {
    return positions[language == Language::english ? 1 : 0];
}

} // namespace

QString unitText(Quantity quantity, int step, Language language, bool compact) {
    static const char* const russianUnits[2][3] = {{"мкЗв/ч", "мЗв/ч", "Зв/ч"},
                                                   {"мкЗв", "мЗв", "Зв"}};
    static const char* const englishUnits[2][3] = {{"uSv/h", "mSv/h", "Sv/h"},
                                                   {"uSv", "mSv", "Sv"}};
    const int q = quantity == Quantity::doseRate ? 0 : 1;
    const int s = step < 0 ? 0 : (step > 2 ? 2 : step);
    QString text = pick(language, russianUnits[q][s], englishUnits[q][s]);
    if (compact) {
        text += u' ';
    }
    return text;
}

std::optional<double> thresholdInEffect(std::int32_t number, const std::array<double, 3>& t) {
    if (number < 1 || number > 3) {
        return std::nullopt;
    }
    return t[static_cast<std::size_t>(number - 1)];
}

QString thresholdText(double t, Quantity quantity, Language language, QChar separator) {
    const QString none = QStringLiteral(" - ");
    // Whole part truncated toward zero; one that does not fit 32 bits is beyond every class.
    if (!std::isfinite(t) || std::trunc(t) >= 2147483648.0 || std::trunc(t) < -2147483648.0) {
        return none;
    }
    const std::uint8_t c = text::magnitudeClass(static_cast<std::int32_t>(std::trunc(t)));
    const auto unit = [&](int step) { return u' ' + unitText(quantity, step, language); };
    switch (c) {
    case 0:
        return t > 0.0011 ? u' ' + fixedText(t, 1, separator) + unit(0) : none;
    case 1:
        return u' ' + fixedText(t * 0.001, 1, separator) + unit(1);
    case 2:
        return u' ' + fixedText(t * 0.000001, 1, separator) + unit(2);
    default:
        return none;
    }
}

float memoryFillPercent(std::uint16_t memoryFill) {
    return static_cast<float>(memoryFill * 0.00125 * 100.0);
}

BarColour memoryFillColour(float p) {
    if (p <= 80.0F) {
        return BarColour::green;
    }
    if (p < 95.0F) {
        return BarColour::yellow;
    }
    return BarColour::red; // 95 % and above; the instrument's own three tests leave 95 open
}

ReadingsView presentReadings(const CurrentData& r, const ThresholdsInEffect& thresholds,
                             Language language, QChar sep) {
    ReadingsView v;
    v.mainValueColour =
        (r.statusFlags & status::doseRateAlarm) != 0 ? BoxColour::red : BoxColour::menuBar;
    v.doseColour = (r.statusFlags & status::doseAlarm) != 0 ? BoxColour::red : BoxColour::menuBar;
    v.measurementCountText = u' ' + QString::number(r.measurementCount);

    if ((r.statusFlags & status::memoryFull) != 0) {
        v.memoryFillPercentText = QStringLiteral("100%");
        v.memoryFillBar = 800;
        v.memoryFillBarColour = BarColour::red;
    } else {
        const float p = memoryFillPercent(r.memoryFill);
        v.memoryFillPercentText = fixedText(p, 0, sep) + u'%';
        v.memoryFillBar = r.memoryFill;
        v.memoryFillBarColour = memoryFillColour(p);
    }
    v.errorPercentText = fixedText(r.errorPercent, 0, sep) + u'%';

    if (!text::isKnown(language)) {
        return v;
    }

    const auto doseRateReadout = [&](bool compact) {
        v.mainValueCaption = pick(language, "Мощность дозы,", "Dose rate,");
        v.mainValueUnitLeft = byLanguage(doseRateUnitLeft, language);
        const Scaled s = scaleMicro(r.mainValue);
        v.mainValueUnit = unitText(Quantity::doseRate, s.step, language);
        const int d = readoutDecimals(s.value);
        v.mainValueText = fixedText(s.value, d, sep);
        if (compact) {
            v.compactValueText = u' ' + fixedText(s.value, d - 1, sep);
            v.compactUnitText = unitText(Quantity::doseRate, s.step, language, true);
        }
    };
    // Beta and alpha flux, and volumetric activity: no unit scaling, negatives shown as 0.
    const auto unscaledReadout = [&](const QString& caption, const QString& unit, int unitLeft,
                                     const QString& compactUnit) {
        const double value = r.mainValue >= 0.0 ? r.mainValue : 0.0;
        v.mainValueText = fixedText(value, 3, sep);
        v.mainValueUnit = unit;
        v.mainValueUnitLeft = unitLeft;
        v.mainValueCaption = caption;
        v.compactValueText = u' ' + fixedText(value, 2, sep);
        v.compactUnitText = compactUnit;
    };
    const QString fluxUnit = pick(language, "1/(мин*см2)", "1/(min*cm2)");

    switch (r.mode) {
    case 0:
    case 3:
    case 6:
        doseRateReadout(true);
        break;
    case 1:
        doseRateReadout(false);
        break;
    case 2:
        unscaledReadout(pick(language, "Бета,", "Beta,"), fluxUnit,
                        byLanguage(betaUnitLeft, language), fluxUnit + u' ');
        break;
    case 4:
        unscaledReadout(pick(language, "Альфа,", "Alpha,"), fluxUnit,
                        byLanguage(alphaUnitLeft, language), fluxUnit + u' ');
        break;
    case 5: {
        const QString unit = pick(language, "Бк/г ", "Bk/g ");
        unscaledReadout(pick(language, "Объемная активность,", "Volumetric activity,"), unit,
                        activityUnitLeft, unit);
        break;
    }
    default:
        break; // an unknown mode leaves the main reading as it was
    }

    const Scaled dose = scaleMicro(r.doseValue);
    const int doseDecimals = readoutDecimals(dose.value);
    v.doseUnit = unitText(Quantity::dose, dose.step, language);
    v.doseText = fixedText(dose.value, doseDecimals, sep);
    if (r.mode == 1) {
        v.compactValueText = u' ' + fixedText(dose.value, doseDecimals - 1, sep);
        v.compactUnitText = unitText(Quantity::dose, dose.step, language, true);
    }

    v.workingTimeText = formatDuration(static_cast<std::int32_t>(r.workingTime), language, true);
    v.doseAccumulationTimeText = formatDuration(static_cast<std::int32_t>(r.doseTime), language,
                                                language == Language::russian);

    if ((r.statusFlags & status::charging) != 0) {
        v.batteryText = pick(language, " Зарядка ", " Charge ");
    } else {
        double p = (r.batteryVoltage - 3.0) * 100.0;
        if (p > 100.0) {
            p = 100.0;
        }
        if (!(p >= 0.0)) {
            p = 0.0;
        }
        v.batteryText = u' ' + fixedText(p, 0, sep, text::batteryPrecision) + u'%';
    }

    const QString none = QStringLiteral(" - ");
    const auto doseRateLimit =
        thresholdInEffect(thresholds.doseRateThresholdNo, thresholds.doseRateThresholds);
    const auto doseLimit = thresholdInEffect(thresholds.doseThresholdNo, thresholds.doseThresholds);
    v.doseRateThresholdText =
        doseRateLimit ? thresholdText(*doseRateLimit, Quantity::doseRate, language, sep) : none;
    v.doseThresholdText =
        doseLimit ? thresholdText(*doseLimit, Quantity::dose, language, sep) : none;
    return v;
}

} // namespace veltra::live
