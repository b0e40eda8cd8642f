#include "numtext.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
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

Decimal ExpandDigits(double Magnitude)
{
    // Scientific form with 17 digits after the point: "d.ddddddddddddddddde+XX" (at most 24
    // characters), the last digit rounded to nearest.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, Magnitude,
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

bool IsZero(const Decimal &Number)
{
    return std::all_of(Number.digits.begin(), Number.digits.end(),
                       [](char Digit) { return Digit == '0'; });
}

// Keeps the first `Count` digits; a dropped 5 or more rounds the kept ones up, away from zero.
void RoundAt(Decimal &Number, int Count)
{
    if (Count < 0) {
        Number = Decimal{};
        return;
    }
    const bool roundUp = Number.digits[Count] >= '5';
    Number.digits.resize(Count);
    if (!roundUp)
        return;
    int place = Count - 1;
    while (place >= 0 && Number.digits[place] == '9')
        Number.digits[place--] = '0';
    if (place >= 0) {
        ++Number.digits[place];
    } else {
        Number.digits.insert(Number.digits.begin(), '1');
        ++Number.exponent;
    }
}

std::u16string Widen(std::string_view Ascii)
{
    return std::u16string(Ascii.begin(), Ascii.end());
}

std::u16string ScientificForm(const Decimal &Number, bool Negative, int Decimals,
                              char16_t Separator)
{
    std::string digits = Number.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    digits.resize(std::min<std::size_t>(digits.size(), KeptDigits));

    std::u16string text = Negative ? u"-" : u"";
    text += static_cast<char16_t>(digits.front());
    if (digits.size() > 1) {
        text += Separator;
        text += Widen(std::string_view(digits).substr(1));
    }
    text += u'E';
    const int power = Number.exponent - 1;
    if (power < 0)
        text += u'-';
    std::string exponent = std::to_string(std::abs(power));
    if (Decimals <= ShortExponentDigits && static_cast<int>(exponent.size()) < Decimals)
        exponent.insert(0, Decimals - exponent.size(), '0');
    return text + Widen(exponent);
}

std::u16string FixedForm(const Decimal &Number, bool Negative, int Decimals, char16_t Separator)
{
    auto digitAt = [&](int Place) {
        return Place >= 0 && Place < static_cast<int>(Number.digits.size())
                   ? static_cast<char16_t>(Number.digits[Place])
                   : u'0';
    };
    std::u16string text = Negative && !IsZero(Number) ? u"-" : u"";
    if (Number.exponent > 0) {
        for (int place = 0; place < Number.exponent; ++place)
            text += digitAt(place);
    } else {
        text += u'0';
    }
    if (Decimals > 0) {
        text += Separator;
        for (int place = Number.exponent; place < Number.exponent + Decimals; ++place)
            text += digitAt(place);
    }
    return text;
}

bool IsDigit(char16_t C)
{
    return C >= u'0' && C <= u'9';
}

// The extended type reaches 1.19e4932 and, with subnormals, down to 3.65e-4951.
constexpr long long ExtendedMaxOrder = 4932;
constexpr long long ExtendedMinOrder = -4951;
constexpr long long ExponentLimit = 1'000'000; // far beyond any representable order

// Rounds an extended value to double, giving an infinity past the largest double.
double ToDouble(long double Value)
{
    const long double limit =
        std::ldexp(2.0L - std::ldexp(1.0L, -std::numeric_limits<double>::digits), 1023);
    const double sign = std::signbit(Value) ? -1.0 : 1.0;
    if (std::fabs(Value) >= limit)
        return sign * std::numeric_limits<double>::infinity();
    if (std::fabs(Value) > std::numeric_limits<double>::max())
        return sign * std::numeric_limits<double>::max();
    return static_cast<double>(Value);
}

} // namespace

std::u16string FormatFixed(double Value, int Decimals, char16_t Separator)
{
    const bool negative = std::signbit(Value);
    if (std::isinf(Value))
        return negative ? u"-INF" : u"INF";
    if (std::isnan(Value))
        return negative ? u"-NAN" : u"NAN";

    Decimals = std::clamp(Decimals, 0, MaxDecimals);
    Decimal number = ExpandDigits(std::fabs(Value));
    RoundAt(number, std::min(number.exponent + Decimals, KeptDigits));
    if (number.exponent > KeptDigits)
        return ScientificForm(number, negative, Decimals, Separator);
    return FixedForm(number, negative, Decimals, Separator);
}

std::optional<double> ParseNumber(std::u16string_view Text, char16_t Separator)
{
    std::size_t at = 0;
    auto skipBlanks = [&] {
        while (at < Text.size() && Text[at] == u' ')
            ++at;
    };
    auto takeSign = [&] {
        const bool minus = at < Text.size() && Text[at] == u'-';
        if (at < Text.size() && (Text[at] == u'+' || Text[at] == u'-'))
            ++at;
        return minus;
    };

    skipBlanks();
    const bool negative = takeSign();

    std::string mantissa;
    long long fractionDigits = 0;
    bool separatorSeen = false;
    const std::size_t numberStart = at;
    for (; at < Text.size(); ++at) {
        if (IsDigit(Text[at])) {
            mantissa += static_cast<char>(Text[at]);
            fractionDigits += separatorSeen ? 1 : 0;
        } else if (Text[at] == Separator && !separatorSeen) {
            separatorSeen = true;
        } else {
            break;
        }
    }
    if (at == numberStart)
        return std::nullopt;

    long long exponent = 0;
    if (at < Text.size() && (Text[at] == u'E' || Text[at] == u'e')) {
        ++at;
        const bool exponentNegative = takeSign();
        for (; at < Text.size() && IsDigit(Text[at]); ++at)
            exponent = std::min(exponent * 10 + (Text[at] - u'0'), ExponentLimit);
        if (exponentNegative)
            exponent = -exponent;
    }
    skipBlanks();
    if (at != Text.size())
        return std::nullopt;

    const double zero = negative ? -0.0 : 0.0;
    mantissa.erase(0, std::min(mantissa.find_first_not_of('0'), mantissa.size()));
    if (mantissa.empty())
        return zero;

    // The value is mantissa × 10^scale and lies in [10^(order - 1), 10^order).
    const long long scale = exponent - fractionDigits;
    const long long order = static_cast<long long>(mantissa.size()) + scale;
    if (order > ExtendedMaxOrder + 1)
        return std::nullopt;
    if (order < ExtendedMinOrder)
        return zero;

    // strtold, not from_chars: MinGW's from_chars reads long doubles within the range of double
    // only. The text holds digits and an exponent alone, so the locale's decimal point does not
    // come into it.
    const std::string number = mantissa + "e" + std::to_string(scale);
    char *end = nullptr;
    errno = 0;
    const long double magnitude = std::strtold(number.c_str(), &end);
    if (end != number.c_str() + number.size())
        return std::nullopt;
    if (errno == ERANGE)
        return order > 0 ? std::nullopt : std::optional<double>(zero);
    return ToDouble(negative ? -magnitude : magnitude);
}

} // namespace NumText
