#include "common/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace NumberText {

namespace {

// Whether a number of the form [sign] digits [. digits] [e [sign] digits] lies below 1 in size,
// told from the place of its first significant digit and its exponent, so that it holds however
// many digits either part has.
bool isTooSmall(std::string_view number)
{
    const std::size_t e = number.find('e');
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::size_t i = e + 1;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            ++i;
        for (; i < number.size(); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
        if (negative)
            exponent = -exponent;
    }
    const std::string_view mantissa = number.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos)
        return true;
    // The power of ten of the first significant digit: 0 for the units, -1 for the tenths.
    const long long place
        = first < point ? static_cast<long long>(point - first) - 1 : -static_cast<long long>(first - point);
    return place + exponent < 0;
}

} // namespace

double readLeadingNumber(QStringView text, Options options)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;

    std::string number;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        number += static_cast<char>(text[i++].unicode());

    bool digits = false;
    while (i < n && text[i].unicode() >= '0' && text[i].unicode() <= '9') {
        number += static_cast<char>(text[i++].unicode());
        digits = true;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < n && text[i].unicode() >= '0' && text[i].unicode() <= '9') {
            number += static_cast<char>(text[i++].unicode());
            digits = true;
        }
    }
    if (!digits)
        return 0.0;

    if (options.allowExponent && i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            exponent += static_cast<char>(text[j++].unicode());
        bool expDigits = false;
        while (j < n && text[j].unicode() >= '0' && text[j].unicode() <= '9') {
            exponent += static_cast<char>(text[j++].unicode());
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    // from_chars never looks at the locale: the point is always the decimal separator.
    const char* begin = number.c_str();
    if (*begin == '+')
        ++begin;
    double value = 0.0;
    const auto [end, error] = std::from_chars(begin, number.c_str() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Out of range either way: a number too close to zero reads as 0, one too large stays an
        // infinity that no reader can mistake for a value.
        if (isTooSmall(number))
            return 0.0;
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return error == std::errc() ? value : 0.0;
}

double roundHalfEven(double value)
{
    const double down = std::floor(value);
    const double diff = value - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

std::optional<qint16> readInt16(QStringView text)
{
    const double rounded = roundHalfEven(readLeadingNumber(text));
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

} // namespace NumberText
