#pragma once

// Number text of the edit boxes: fixed-point formatting and parsing with a given decimal
// separator. Kept free of Qt so that every rule can be tested on its own.

#include <optional>
#include <string>
#include <string_view>

namespace NumText {

// The most decimals a box shows; larger counts show this many.
inline constexpr int MaxDecimals = 18;

// The fixed-point form of Value with the given number of Decimals: at most 15 significant
// digits, halves rounded away from zero, the scientific form past 15 integer digits, "INF" and
// "NAN" for values that are not finite. Negative decimals show none.
std::u16string FormatFixed(double Value, int Decimals, char16_t Separator);

// The number that Text shows, or nothing when it is not a number: blanks around it, an
// optional sign, digits with at most one separator, an optional exponent. Magnitudes beyond the
// 80-bit extended range fail; those beyond the double range give an infinity.
std::optional<double> ParseNumber(std::u16string_view Text, char16_t Separator);

} // namespace NumText
