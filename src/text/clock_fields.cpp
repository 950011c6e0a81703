#include "text/clock_fields.h"

#include "link/codecs.h"

#include <QDateTime>

namespace veltra::text {

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian), for any month 1..12.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = static_cast<unsigned>(m > 2 ? m - 3 : m + 9);
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr double daysFrom1899To1970 = 25569.0;

} // namespace

ClockFields decodeClockFields(std::span<const std::uint8_t, clockFieldsSize> b) {
    using link::decodeBcd;
    return {decodeBcd(b[0]), decodeBcd(b[1]),
            decodeBcd(b[2]), decodeBcd(static_cast<std::uint8_t>(b[3] & 0x3F)),
            decodeBcd(b[4]), 2000 + decodeBcd(b[5])};
}

std::int64_t chartSeconds(const ClockFields& c) {
    // Months roll into years first, then days and times roll through the calendar.
    std::int64_t year = c.year;
    int month0 = c.month - 1;
    year += month0 >= 0 ? month0 / 12 : -((11 - month0) / 12);
    month0 = ((month0 % 12) + 12) % 12;
    const std::int64_t days = daysFromCivil(year, month0 + 1, 1) + (c.day - 1);
    return days * 86400 + c.hour * 3600LL + c.minute * 60LL + c.second;
}

double chartAxisKey(const ClockFields& c) {
    return static_cast<double>(chartSeconds(c));
}

double chartTime(const ClockFields& c) {
    return axisKeyToChartTime(chartAxisKey(c));
}

double chartTimeToAxisKey(double days) {
    return (days - daysFrom1899To1970) * 86400.0;
}

double axisKeyToChartTime(double key) {
    return key / 86400.0 + daysFrom1899To1970;
}

std::tm localTimeOf(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

std::time_t instrumentTime(const ClockFields& c, std::time_t pcNow) {
    std::tm tm = localTimeOf(pcNow);
    tm.tm_sec = c.second;
    tm.tm_min = c.minute;
    tm.tm_hour = c.hour;
    tm.tm_mday = c.day;
    tm.tm_mon = c.month - 1;
    tm.tm_year = c.year - 1900;
    return std::mktime(&tm);
}

QString clockText(const ClockFields& c) {
    return QStringLiteral("%1-%2-%3T%4:%5:%6")
        .arg(c.year, 4, 10, QLatin1Char('0'))
        .arg(c.month, 2, 10, QLatin1Char('0'))
        .arg(c.day, 2, 10, QLatin1Char('0'))
        .arg(c.hour, 2, 10, QLatin1Char('0'))
        .arg(c.minute, 2, 10, QLatin1Char('0'))
        .arg(c.second, 2, 10, QLatin1Char('0'));
}

QString computerTimeText() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace veltra::text
