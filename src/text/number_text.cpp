#include "text/number_text.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <string>

namespace veltra::text {

namespace {

// value = 0.d1 d2 d3 ... x 10^exponent, digits without leading zeros ("" for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal toDecimal(double v) {
    Decimal d;
    d.negative = std::signbit(v);
    char text[40];
    // 17 significant digits hold every double exactly enough to round it as written. to_chars
    // never looks at the C locale (the application object sets it to the user's, whose decimal
    // separator may be a comma).
    const auto written =
        std::to_chars(text, text + sizeof text, std::fabs(v), std::chars_format::scientific, 16);
    const std::string s(text, written.ptr);
    const auto e = s.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (s[i] != '.') {
            d.digits += s[i];
        }
    }
    d.exponent = std::stoi(s.substr(e + 1)) + 1;
    const auto last = d.digits.find_last_not_of('0');
    d.digits = last == std::string::npos ? std::string() : d.digits.substr(0, last + 1);
    if (d.digits.empty()) {
        d.exponent = 0;
    }
    return d;
}

// Keeps `keep` leading digits, rounding half away from zero (keep may be 0 or negative).
void roundDigits(Decimal& d, int keep) {
    if (d.digits.empty() || keep >= static_cast<int>(d.digits.size())) {
        return;
    }
    if (keep < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            d.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits = std::string(1, '1') + d.digits;
            ++d.exponent;
        } else {
            ++d.digits[static_cast<std::size_t>(i)];
        }
    }
    const auto last = d.digits.find_last_not_of('0');
    d.digits = last == std::string::npos ? std::string() : d.digits.substr(0, last + 1);
    if (d.digits.empty()) {
        d.exponent = 0;
    }
}

QString scientific(Decimal d, int precision, QChar separator) {
    roundDigits(d, precision);
    std::string mantissa = d.digits.empty() ? std::string("0") : d.digits;
    mantissa.resize(static_cast<std::size_t>(precision), '0');
    QString out = d.negative ? QStringLiteral("-") : QString();
    out += QChar(mantissa[0]);
    out += separator;
    out += QString::fromStdString(mantissa.substr(1));
    const int e = d.exponent - 1;
    out += QStringLiteral("E%1%2").arg(e < 0 ? '-' : '+').arg(std::abs(e), 2, 10, QChar('0'));
    return out;
}

} // namespace

QChar userDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.front();
}

QString fixedText(double value, int decimals, QChar decimalSeparator, int precision) {
    if (std::isnan(value)) {
        return QStringLiteral("NAN");
    }
    if (std::isinf(value)) {
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    }
    decimals = std::max(0, decimals);
    Decimal d = toDecimal(value);
    roundDigits(d, precision);
    if (d.exponent > precision) {
        return scientific(toDecimal(value), precision, decimalSeparator);
    }
    roundDigits(d, d.exponent + decimals);

    // Lay the digits out around the separator.
    std::string intPart;
    std::string fracPart;
    for (int pos = 0; pos < d.exponent; ++pos) {
        intPart +=
            pos < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(pos)] : '0';
    }
    for (int k = 0; k < decimals; ++k) {
        const int pos = d.exponent + k;
        fracPart += pos >= 0 && pos < static_cast<int>(d.digits.size())
                        ? d.digits[static_cast<std::size_t>(pos)]
                        : '0';
    }
    if (intPart.empty()) {
        intPart.push_back('0');
    }
    QString out = d.negative && !d.digits.empty() ? QStringLiteral("-") : QString();
    out += QString::fromStdString(intPart);
    if (decimals > 0) {
        out += decimalSeparator;
        out += QString::fromStdString(fracPart);
    }
    return out;
}

QString number9(double value) {
    // QString::number is independent of the C locale, as a number for scripts must be.
    return QString::number(value, 'g', 9);
}

} // namespace veltra::text
