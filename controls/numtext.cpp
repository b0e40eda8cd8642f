#include "numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace NumText {

namespace {

constexpr int SignificantDigits = 18;  // digits taken from the double before rounding
constexpr int KeptDigits = 15;         // digits that can be shown
constexpr int ShortExponentDigits = 4; // up to this many decimals pad the exponent

// A non-negative number as decimal digits: 0.d1d2d3... × 10^exponent. No digits means zero.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal ExpandDigits(double magnitude)
{
    // Scientific form with 17 digits after the point: "d.ddddddddddddddddde+XX" (at most 24
    // characters), the last digit rounded to nearest.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, SignificantDigits - 1);
    const std::string_view text(buffer, result.ptr);
    const auto e = text.find('e');

    Decimal number;
    number.digits.push_back(text[0]);
    number.digits.append(text.substr(2, e - 2));

    std::string_view exponent = text.substr(e + 1);
    if (exponent.front() == '+')
        exponent.remove_prefix(1);
    int power = 0;
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
    number.exponent = power + 1;
    return number;
}

bool IsZero(const Decimal &number)
{
    return std::all_of(number.digits.begin(), number.digits.end(),
                       [](char digit) { return digit == '0'; });
}

// Keeps the first `count` digits; a dropped 5 or more rounds the kept ones up, away from zero.
void RoundAt(Decimal &number, int count)
{
    if (count < 0) {
        number = Decimal{};
        return;
    }
    const bool roundUp = number.digits[count] >= '5';
    number.digits.resize(count);
    if (!roundUp)
        return;
    int place = count - 1;
    while (place >= 0 && number.digits[place] == '9')
        number.digits[place--] = '0';
    if (place >= 0) {
        ++number.digits[place];
    } else {
        number.digits.insert(number.digits.begin(), '1');
        ++number.exponent;
    }
}

std::u16string Widen(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string ScientificForm(const Decimal &number, bool negative, int decimals,
                              char16_t separator)
{
    std::string digits = number.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    digits.resize(std::min<std::size_t>(digits.size(), KeptDigits));

    std::u16string text = negative ? u"-" : u"";
    text += char16_t(digits.front());
    if (digits.size() > 1) {
        text += separator;
        text += Widen(std::string_view(digits).substr(1));
    }
    text += u'E';
    const int power = number.exponent - 1;
    if (power < 0)
        text += u'-';
    std::string exponent = std::to_string(std::abs(power));
    if (decimals <= ShortExponentDigits && int(exponent.size()) < decimals)
        exponent.insert(0, decimals - exponent.size(), '0');
    return text + Widen(exponent);
}

std::u16string FixedForm(const Decimal &number, bool negative, int decimals, char16_t separator)
{
    auto digitAt = [&](int place) {
        return place >= 0 && place < int(number.digits.size()) ? char16_t(number.digits[place])
                                                               : u'0';
    };
    std::u16string text = negative && !IsZero(number) ? u"-" : u"";
    if (number.exponent > 0) {
        for (int place = 0; place < number.exponent; ++place)
            text += digitAt(place);
    } else {
        text += u'0';
    }
    if (decimals > 0) {
        text += separator;
        for (int place = number.exponent; place < number.exponent + decimals; ++place)
            text += digitAt(place);
    }
    return text;
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The extended type reaches 1.19e4932 and, with subnormals, down to 3.65e-4951.
constexpr long long ExtendedMaxOrder = 4932;
constexpr long long ExtendedMinOrder = -4951;
constexpr long long ExponentLimit = 1'000'000; // far beyond any representable order

// Rounds an extended value to double, giving an infinity past the largest double.
double ToDouble(long double value)
{
    const long double limit =
        std::ldexp(2.0L - std::ldexp(1.0L, -std::numeric_limits<double>::digits), 1023);
    const double sign = std::signbit(value) ? -1.0 : 1.0;
    if (std::fabs(value) >= limit)
        return sign * std::numeric_limits<double>::infinity();
    if (std::fabs(value) > std::numeric_limits<double>::max())
        return sign * std::numeric_limits<double>::max();
    return static_cast<double>(value);
}

} // namespace

std::u16string FormatFixed(double value, int decimals, char16_t separator)
{
    const bool negative = std::signbit(value);
    if (std::isinf(value))
        return negative ? u"-INF" : u"INF";
    if (std::isnan(value))
        return negative ? u"-NAN" : u"NAN";

    decimals = std::clamp(decimals, 0, MaxDecimals);
    Decimal number = ExpandDigits(std::fabs(value));
    RoundAt(number, std::min(number.exponent + decimals, KeptDigits));
    if (number.exponent > KeptDigits)
        return ScientificForm(number, negative, decimals, separator);
    return FixedForm(number, negative, decimals, separator);
}

std::optional<double> ParseNumber(std::u16string_view text, char16_t separator)
{
    std::size_t at = 0;
    auto skipBlanks = [&] {
        while (at < text.size() && text[at] == u' ')
            ++at;
    };
    auto takeSign = [&] {
        const bool minus = at < text.size() && text[at] == u'-';
        if (at < text.size() && (text[at] == u'+' || text[at] == u'-'))
            ++at;
        return minus;
    };

    skipBlanks();
    const bool negative = takeSign();

    std::string mantissa;
    long long fractionDigits = 0;
    bool separatorSeen = false;
    const std::size_t numberStart = at;
    for (; at < text.size(); ++at) {
        if (IsDigit(text[at])) {
            mantissa += char(text[at]);
            fractionDigits += separatorSeen ? 1 : 0;
        } else if (text[at] == separator && !separatorSeen) {
            separatorSeen = true;
        } else {
            break;
        }
    }
    if (at == numberStart)
        return std::nullopt;

    long long exponent = 0;
    if (at < text.size() && (text[at] == u'E' || text[at] == u'e')) {
        ++at;
        const bool exponentNegative = takeSign();
        for (; at < text.size() && IsDigit(text[at]); ++at)
            exponent = std::min(exponent * 10 + (text[at] - u'0'), ExponentLimit);
        if (exponentNegative)
            exponent = -exponent;
    }
    skipBlanks();
    if (at != text.size())
        return std::nullopt;

    const double zero = negative ? -0.0 : 0.0;
    mantissa.erase(0, std::min(mantissa.find_first_not_of('0'), mantissa.size()));
    if (mantissa.empty())
        return zero;

    // The value is mantissa × 10^scale and lies in [10^(order - 1), 10^order).
    const long long scale = exponent - fractionDigits;
    const long long order = (long long)mantissa.size() + scale;
    if (order > ExtendedMaxOrder + 1)
        return std::nullopt;
    if (order < ExtendedMinOrder)
        return zero;

    const std::string number = mantissa + "e" + std::to_string(scale);
    long double magnitude = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), magnitude);
    if (result.ec == std::errc::result_out_of_range)
        return order > 0 ? std::nullopt : std::optional<double>(zero);
    if (result.ec != std::errc{} || result.ptr != number.data() + number.size())
        return std::nullopt;
    return ToDouble(negative ? -magnitude : magnitude);
}

} // namespace NumText
