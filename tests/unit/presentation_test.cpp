#include "live/instrument_clock.h"
#include "live/live_chart.h"
#include "live/presentation.h"
#include "text/number_text.h"

#include <gtest/gtest.h>

using namespace veltra::live;
using namespace veltra::text;

namespace {

constexpr QChar dot('.');
constexpr auto russian = Language::russian;
constexpr auto english = Language::english;

std::string s(const QString& q) {
    return q.toStdString();
}

} // namespace

TEST(Scaling, UnitIsChosenBeforeRounding) {
    const struct {
        double value;
        const char* text;
        const char* unit;
    } cases[] = {
        {0.1234, "0.123", "мкЗв/ч"}, {15.678, "15.68", "мкЗв/ч"},  {999.96, "1000.0", "мкЗв/ч"},
        {999.9, "999.9", "мкЗв/ч"},  {1000.0, "1.000", "мЗв/ч"},   {1500, "1.500", "мЗв/ч"},
        {250000, "250.0", "мЗв/ч"},  {999999, "1000.0", "мЗв/ч"},  {1000000, "1.000", "Зв/ч"},
        {2500000, "2.500", "Зв/ч"},  {9.9999, "10.000", "мкЗв/ч"}, {99.999, "100.00", "мкЗв/ч"},
        {-0.5, "-0.500", "мкЗв/ч"},
    };
    for (const auto& c : cases) {
        const Scaled sc = scaleMicro(c.value);
        EXPECT_EQ(s(fixedText(sc.value, readoutDecimals(sc.value), dot)), c.text) << c.value;
        EXPECT_EQ(s(unitText(Quantity::doseRate, sc.step, russian)), c.unit) << c.value;
    }
    EXPECT_EQ(s(unitText(Quantity::dose, 1, english, true)), "mSv ");
}

TEST(ThresholdText, ClassesAndDashes) {
    const struct {
        double value;
        Quantity quantity;
        Language language;
        const char* text;
    } cases[] = {
        {0.3, Quantity::doseRate, russian, " 0.3 мкЗв/ч"},
        {1200, Quantity::doseRate, russian, " 1.2 мЗв/ч"},
        {0, Quantity::doseRate, russian, " - "},
        {0.001, Quantity::doseRate, russian, " - "},
        {0.0011, Quantity::doseRate, russian, " - "},
        {999.99, Quantity::doseRate, russian, " 1000.0 мкЗв/ч"},
        {1000, Quantity::doseRate, russian, " 1.0 мЗв/ч"},
        {2000000, Quantity::doseRate, russian, " 2.0 Зв/ч"},
        {1e9, Quantity::doseRate, russian, " - "},
        {3e9, Quantity::doseRate, russian, " - "},
        {-5, Quantity::dose, russian, " - "},
        {5000, Quantity::dose, english, " 5.0 mSv"},
        {5000, Quantity::dose, russian, " 5.0 мЗв"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s(thresholdText(c.value, c.quantity, c.language, dot)), c.text) << c.value;
    }
}

TEST(MemoryFill, PercentAndColour) {
    const struct {
        std::uint16_t fill;
        const char* text;
        BarColour colour;
    } cases[] = {
        {96, "12%", BarColour::green},   {400, "50%", BarColour::green},
        {640, "80%", BarColour::green},  {680, "85%", BarColour::yellow},
        {759, "95%", BarColour::yellow}, {760, "95%", BarColour::red},
        {784, "98%", BarColour::red},    {0, "0%", BarColour::green},
    };
    for (const auto& c : cases) {
        CurrentData d;
        d.memoryFill = c.fill;
        const auto v = presentReadings(d, {}, Language::none, dot);
        EXPECT_EQ(s(v.memoryFillPercentText), c.text) << c.fill;
        EXPECT_EQ(v.memoryFillBar, c.fill);
        EXPECT_EQ(v.memoryFillBarColour, c.colour) << c.fill;
    }
    CurrentData full;
    full.statusFlags = status::memoryFull;
    const auto v = presentReadings(full, {}, russian, dot);
    EXPECT_EQ(s(v.memoryFillPercentText), "100%");
    EXPECT_EQ(v.memoryFillBar, 800);
    EXPECT_EQ(v.memoryFillBarColour, BarColour::red);
}

namespace {

CurrentData exampleReading() {
    CurrentData d;
    d.mode = 0;
    d.mainValue = 0.142;
    d.doseValue = 1500;
    d.errorPercent = 12.4;
    d.workingTime = 93784;
    d.doseTime = 3700;
    d.batteryVoltage = 3.85;
    d.measurementCount = 517;
    d.statusFlags = 0;
    d.memoryFill = 96;
    return d;
}

ThresholdsInEffect exampleThresholds() {
    return {1, {0.3, 1.0, 10.0}, 2, {1000, 5000, 20000}};
}

} // namespace

TEST(PresentReadings, CompleteRussianExample) {
    const auto v = presentReadings(exampleReading(), exampleThresholds(), russian, dot);
    EXPECT_EQ(s(*v.mainValueCaption), "Мощность дозы,");
    EXPECT_EQ(s(*v.mainValueUnit), "мкЗв/ч");
    EXPECT_EQ(*v.mainValueUnitLeft, 170);
    EXPECT_EQ(s(*v.mainValueText), "0.142");
    EXPECT_EQ(v.mainValueColour, BoxColour::menuBar);
    EXPECT_EQ(s(*v.doseUnit), "мЗв");
    EXPECT_EQ(s(*v.doseText), "1.500");
    EXPECT_EQ(v.doseColour, BoxColour::menuBar);
    EXPECT_EQ(s(*v.compactValueText), " 0.14");
    EXPECT_EQ(s(*v.compactUnitText), "мкЗв/ч ");
    EXPECT_EQ(s(v.errorPercentText), "12%");
    EXPECT_EQ(s(*v.workingTimeText), " 1 день 2 ч 3 мин");
    EXPECT_EQ(s(*v.batteryText), " 85%");
    EXPECT_EQ(s(v.measurementCountText), " 517");
    EXPECT_EQ(s(*v.doseRateThresholdText), " 0.3 мкЗв/ч");
    EXPECT_EQ(s(*v.doseThresholdText), " 5.0 мЗв");
    EXPECT_EQ(s(*v.doseAccumulationTimeText), " 1 ч 1 мин");
    EXPECT_EQ(s(v.memoryFillPercentText), "12%");
    EXPECT_EQ(v.memoryFillBar, 96);
    EXPECT_EQ(v.memoryFillBarColour, BarColour::green);
}

TEST(PresentReadings, ModesDecideTheMainReading) {
    auto d = exampleReading();
    const auto thresholds = exampleThresholds();

    d.mode = 2;
    d.mainValue = 1234.5;
    auto v = presentReadings(d, thresholds, russian, dot);
    EXPECT_EQ(s(*v.mainValueText), "1234.500");
    EXPECT_EQ(s(*v.mainValueUnit), "1/(мин*см2)");
    EXPECT_EQ(*v.mainValueUnitLeft, 102);
    EXPECT_EQ(s(*v.mainValueCaption), "Бета,");
    EXPECT_EQ(s(*v.compactValueText), " 1234.50");
    EXPECT_EQ(s(*v.compactUnitText), "1/(мин*см2) ");

    d.mode = 4;
    d.mainValue = -3;
    v = presentReadings(d, thresholds, english, dot);
    EXPECT_EQ(s(*v.mainValueText), "0.000");
    EXPECT_EQ(s(*v.mainValueCaption), "Alpha,");
    EXPECT_EQ(*v.mainValueUnitLeft, 106);
    EXPECT_EQ(s(*v.compactValueText), " 0.00");

    d.mode = 5;
    d.mainValue = 12.3456;
    v = presentReadings(d, thresholds, english, dot);
    EXPECT_EQ(s(*v.mainValueCaption), "Volumetric activity,");
    EXPECT_EQ(s(*v.mainValueUnit), "Bk/g ");
    EXPECT_EQ(*v.mainValueUnitLeft, 206);
    EXPECT_EQ(s(*v.mainValueText), "12.346");
    EXPECT_EQ(s(*v.compactValueText), " 12.35");
    EXPECT_EQ(s(*v.compactUnitText), "Bk/g ");

    // Mode 1: the box shows the dose rate, the compact window the dose with one decimal fewer
    // than its box.
    d.mode = 1;
    d.mainValue = 0.2;
    d.doseValue = 12.345;
    v = presentReadings(d, thresholds, russian, dot);
    EXPECT_EQ(s(*v.mainValueText), "0.200");
    EXPECT_EQ(s(*v.doseText), "12.35");
    EXPECT_EQ(s(*v.compactValueText), " 12.3");
    EXPECT_EQ(s(*v.compactUnitText), "мкЗв ");

    // Mode 7 leaves the main reading alone but still writes the dose.
    d.mode = 7;
    v = presentReadings(d, thresholds, russian, dot);
    EXPECT_FALSE(v.mainValueText || v.mainValueCaption || v.mainValueUnit || v.mainValueUnitLeft ||
                 v.compactValueText);
    EXPECT_EQ(s(*v.doseText), "12.35");

    // English dose-rate unit position.
    d.mode = 3;
    v = presentReadings(d, thresholds, english, dot);
    EXPECT_EQ(*v.mainValueUnitLeft, 130);
    EXPECT_EQ(s(*v.mainValueUnit), "uSv/h");
}

TEST(PresentReadings, AlarmsChargingAndBattery) {
    auto d = exampleReading();
    d.statusFlags = 0x14;
    auto v = presentReadings(d, {}, russian, dot);
    EXPECT_EQ(v.mainValueColour, BoxColour::red);
    EXPECT_EQ(v.doseColour, BoxColour::menuBar);
    EXPECT_EQ(s(*v.batteryText), " Зарядка ");
    EXPECT_EQ(s(*presentReadings(d, {}, english, dot).batteryText), " Charge ");

    d.statusFlags = 0x20;
    const std::pair<double, const char*> batteries[] = {
        {3.05, " 5%"}, {2.5, " 0%"}, {4.3, " 100%"}, {3.0, " 0%"}, {3.5, " 50%"}};
    for (const auto& [volts, text] : batteries) {
        d.batteryVoltage = volts;
        v = presentReadings(d, {}, russian, dot);
        EXPECT_EQ(v.doseColour, BoxColour::red);
        EXPECT_EQ(s(*v.batteryText), text) << volts;
    }
}

TEST(PresentReadings, OtherLanguagesWriteOnlyLanguageFreeTargets) {
    const auto v = presentReadings(exampleReading(), exampleThresholds(), Language::none, dot);
    EXPECT_EQ(s(v.measurementCountText), " 517");
    EXPECT_EQ(s(v.errorPercentText), "12%");
    EXPECT_FALSE(v.mainValueText || v.doseText || v.workingTimeText || v.batteryText ||
                 v.doseRateThresholdText || v.doseAccumulationTimeText);
}

TEST(PresentReadings, ThresholdNumberOutsideTheListShowsADash) {
    ThresholdsInEffect t = exampleThresholds();
    t.doseRateThresholdNo = 0;
    t.doseThresholdNo = 4;
    const auto v = presentReadings(exampleReading(), t, russian, dot);
    EXPECT_EQ(s(*v.doseRateThresholdText), " - ");
    EXPECT_EQ(s(*v.doseThresholdText), " - ");
    // An empty parameter copy (no read yet) shows dashes too.
    EXPECT_EQ(s(*presentReadings(exampleReading(), {}, russian, dot).doseRateThresholdText), " - ");
}

TEST(LiveChart, RestartByMode) {
    EXPECT_EQ(restartLiveChart(0, russian), ChartRestart{});
    EXPECT_EQ(restartLiveChart(1, russian), ChartRestart{});
    EXPECT_EQ(restartLiveChart(7, russian), ChartRestart{});
    EXPECT_EQ(restartLiveChart(2, russian), (ChartRestart{true, true, "Бета, 1/(мин*см2)"}));
    EXPECT_EQ(restartLiveChart(3, english), (ChartRestart{true, true, "Dose rate, uSv/h"}));
    EXPECT_EQ(restartLiveChart(4, russian), (ChartRestart{true, false, "Альфа, 1/(мин*см2)"}));
    EXPECT_EQ(restartLiveChart(5, russian), (ChartRestart{true, true, "МЭД, мкЗв/ч"}));
    EXPECT_EQ(restartLiveChart(6, Language::none), (ChartRestart{true, true, std::nullopt}));
    EXPECT_DOUBLE_EQ(chartAxisMaximum(3.5), 4.0);
    EXPECT_EQ(chartAxisMaximum(0.0), 0.0);
}

TEST(InstrumentClock, SyncOnlyBeyondThreeHundredSeconds) {
    const std::time_t now = std::time(nullptr);
    const auto clockAt = [](std::time_t t) {
        const std::tm tm = localTimeOf(t);
        return ClockFields{tm.tm_sec,  tm.tm_min,     tm.tm_hour,
                           tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900};
    };
    EXPECT_FALSE(clockSyncNeeded(clockAt(now), now));
    EXPECT_FALSE(clockSyncNeeded(clockAt(now + 300), now));
    EXPECT_FALSE(clockSyncNeeded(clockAt(now - 300), now));
    EXPECT_TRUE(clockSyncNeeded(clockAt(now + 301), now));
    EXPECT_TRUE(clockSyncNeeded(clockAt(now - 301), now));
}

TEST(InstrumentClock, ClockBlockExample) {
    std::tm t{};
    t.tm_sec = 9;
    t.tm_min = 5;
    t.tm_hour = 14;
    t.tm_mday = 27;
    t.tm_mon = 2;
    t.tm_year = 124;
    EXPECT_EQ(clockBlock(t), (std::array<std::uint8_t, 6>{0x09, 0x05, 0x14, 0x27, 0x03, 0x24}));
}
