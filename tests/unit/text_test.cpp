// The rules the live view and the archive share: number texts, scaling, durations, the
// instrument's clock fields and chart time, the language rules and the files' code page.
#include "text/clock_fields.h"
#include "text/duration.h"
#include "text/language.h"
#include "text/number_text.h"
#include "text/scaling.h"
#include "text/windows1251.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace veltra::text;

namespace {

constexpr QChar dot('.');
constexpr QChar comma(',');
constexpr auto russian = Language::russian;
constexpr auto english = Language::english;

std::string s(const QString& q) {
    return q.toStdString();
}

} // namespace

TEST(FixedText, RoundsHalfAwayFromZeroOnTheWrittenDigits) {
    const struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {0.1234, 3, "0.123"},
        {15.678, 2, "15.68"},
        {12.5, 0, "13"},
        {0.5, 0, "1"},
        {-0.5, 0, "-1"},
        {2.5, 0, "3"},
        {0.0045, 3, "0.005"},
        {1.0005, 3, "1.001"},
        {9.9999, 3, "10.000"},
        {99.999, 2, "100.00"},
        {999.96, 1, "1000.0"},
        {-0.5, 3, "-0.500"},
        {-0.0001, 3, "0.000"},
        {0.0, 2, "0.00"},
        {1234.5, 3, "1234.500"},
        {0.0006, 3, "0.001"},
        {0.0006, 2, "0.00"},
        {12345678.4, 1, "12345678.0"},
        {1.23456789, 8, "1.23456790"}, // eight significant digits
        {123456789.0, 1, "1.2345679E+08"},
        {99999999.6, 1, "1.0000000E+08"}, // eight digits round up into a ninth
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s(fixedText(c.value, c.decimals, dot)), c.text) << c.value << " " << c.decimals;
    }
    EXPECT_EQ(s(fixedText(0.142, 3, comma)), "0,142");
    EXPECT_EQ(s(fixedText(99.96, 0, dot, batteryPrecision)), "100");
    // The written digits decide: at ten significant digits 3538942.2845519 is 3538942.285, which
    // shows as .29 with two decimals (a threshold cell's precision, met by the fuzz target).
    EXPECT_EQ(s(fixedText(3538942.284551909, 2, dot, 10)), "3538942.29");
}

TEST(Scaling, StepsAndDecimals) {
    EXPECT_EQ(scaleMicro(999.9), (Scaled{999.9, 0}));
    EXPECT_EQ(scaleMicro(-5000.0), (Scaled{-5000.0, 0}));
    EXPECT_EQ(scaleMicro(1000.0), (Scaled{1.0, 1}));
    EXPECT_EQ(scaleMicro(2500000.0).step, 2);
    EXPECT_EQ(readoutDecimals(-1.0), 3);
    EXPECT_EQ(readoutDecimals(9.99), 3);
    EXPECT_EQ(readoutDecimals(10.0), 2);
    EXPECT_EQ(readoutDecimals(100.0), 1);
}

TEST(MagnitudeClass, Boundaries) {
    const std::pair<std::int32_t, int> cases[] = {
        {-5, 0},      {0, 0},         {999, 0},          {1000, 1},        {999999, 1},
        {1000000, 2}, {999999999, 2}, {1000000000, 255}, {2147483647, 255}};
    for (const auto& [value, cls] : cases) {
        EXPECT_EQ(magnitudeClass(value), cls) << value;
    }
}

TEST(FormatDuration, DaysHoursMinutesWithPluralForms) {
    const struct {
        std::int32_t seconds;
        Language language;
        bool blank;
        const char* text;
    } cases[] = {
        {93784, russian, true, " 1 день 2 ч 3 мин"},
        {93784, english, true, " 1 day 2 h 3 min"},
        {4 * 86400 + 300, russian, true, " 4 дня 0 ч 5 мин"},
        {25 * 86400, russian, true, " 25 дней 0 ч 0 мин"},
        {59, russian, true, " 0 мин"},
        {0, russian, true, " 0 мин"},
        {3599, russian, true, " 59 мин"},
        {3600, russian, true, " 1 ч 0 мин"},
        {86400, russian, true, " 1 день 0 ч 0 мин"},
        {172800, russian, true, " 2 дня 0 ч 0 мин"},
        {432000, russian, true, " 5 дней 0 ч 0 мин"},
        {172800, english, true, " 2 days 0 h 0 min"},
        {7200, english, false, "2 h 0 min"},
        {0, english, false, "0 min"},
        {3700, russian, true, " 1 ч 1 мин"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s(formatDuration(c.seconds, c.language, c.blank)), c.text) << c.seconds;
    }
    EXPECT_EQ(s(dayWord(21, russian)), "дней"); // the rule counts, not the last digit
}

TEST(ClockFields, ChartTimeFromTheFields) {
    EXPECT_DOUBLE_EQ(chartTime({0, 0, 0, 30, 12, 1899}), 0.0);
    EXPECT_DOUBLE_EQ(chartTime({0, 0, 0, 1, 1, 1970}), 25569.0);
    EXPECT_DOUBLE_EQ(chartTime({0, 0, 12, 27, 3, 2024}), 45378.5);
    // Day 32 rolls into the next month, month 13 into the next year.
    EXPECT_DOUBLE_EQ(chartTime({0, 0, 0, 32, 1, 2024}), chartTime({0, 0, 0, 1, 2, 2024}));
    EXPECT_DOUBLE_EQ(chartTime({0, 0, 0, 1, 13, 2024}), chartTime({0, 0, 0, 1, 1, 2025}));
    EXPECT_DOUBLE_EQ(axisKeyToChartTime(chartTimeToAxisKey(45378.25)), 45378.25);
}

TEST(ClockFields, SixBcdBytesWithTheDayMasked) {
    const std::array<std::uint8_t, 6> bytes{0x09, 0x05, 0x14, 0x27, 0x03, 0x24};
    EXPECT_EQ(decodeClockFields(bytes), (ClockFields{9, 5, 14, 27, 3, 2024}));
    // In an archive record the top bits of the day byte carry the mode.
    for (const std::uint8_t day : {0x95, 0xD5, 0x55, 0x15}) {
        const std::array<std::uint8_t, 6> record{0, 0, 0, day, 1, 0};
        EXPECT_EQ(decodeClockFields(record).day, 15) << int(day);
    }
    // A live point and an archive point of the same moment get the same key.
    EXPECT_EQ(chartSeconds({9, 5, 14, 27, 3, 2024}), 1711548309);
}

TEST(Language, TheTablesAndTheStatusLineHaveTheirOwnRules) {
    const Bilingual text("Чтение", "Reading");
    EXPECT_EQ(text.in(russian), "Чтение");
    EXPECT_EQ(text.in(english), "Reading");
    EXPECT_EQ(text.in(Language::none), "Чтение"); // the tables: Russian for any other value
    EXPECT_EQ(text.in(languageFromCode(7)), "Чтение");
    EXPECT_EQ(text.shownIn(english), "Reading");
    EXPECT_FALSE(text.shownIn(Language::none)); // the status line: nothing
    EXPECT_FALSE(text.shownIn(languageFromCode(-3)));
    EXPECT_EQ(languageCode(languageFromCode(300)), 300); // the file's value is kept as it is
    EXPECT_EQ(pick(english, "Да", "Yes"), "Yes");
}

TEST(Windows1251, RussianTextRoundTrips) {
    const QString text = QStringLiteral("МЭД, мкЗв/ч ёЁ №");
    const QByteArray bytes = toWindows1251(text);
    EXPECT_EQ(bytes.size(), text.size());
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCC); // М
    EXPECT_EQ(fromWindows1251(bytes), text);
    // Every byte reads as one character and writes back as itself.
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    EXPECT_EQ(toWindows1251(fromWindows1251(all)), all);
    // What the code page cannot hold is a counted '?', never a silent fallback.
    int unmapped = 0;
    EXPECT_EQ(toWindows1251(QStringLiteral("0٫5 мкЗв 😀"), &unmapped),
              QByteArray("0?5 \xEC\xEA\xC7\xE2 ??"));
    EXPECT_EQ(unmapped, 3); // the Arabic separator and the two halves of the emoji
}

TEST(FixedText, IgnoresTheCLocale) {
    // The application object sets the C locale from the environment; a locale with a decimal
    // comma must not change the digits (only the separator argument does).
    const char* comma_locales[] = {"ru_RU.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8"};
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* found = nullptr;
    for (const char* name : comma_locales) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    EXPECT_EQ(s(fixedText(1234.5678, 2, dot)), "1234.57");
    EXPECT_EQ(s(fixedText(0.142, 3, comma)), "0,142");
    std::setlocale(LC_NUMERIC, before.c_str());
}
