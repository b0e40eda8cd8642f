#include "numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using NumText::FormatFixed;
using NumText::ParseNumber;

namespace {

std::string Format(double Value, int Decimals, char16_t Separator = u'.')
{
    const std::u16string text = FormatFixed(Value, Decimals, Separator);
    return std::string(text.begin(), text.end());
}

std::optional<double> Parse(std::string_view Text, char16_t Separator = u'.')
{
    return ParseNumber(std::u16string(Text.begin(), Text.end()), Separator);
}

struct FormatCase {
    double value;
    int decimals;
    const char *text;
};

class FixedForm : public testing::TestWithParam<FormatCase> {};

TEST_P(FixedForm, ShowsTheRoundedNumber)
{
    const FormatCase &example = GetParam();
    EXPECT_EQ(Format(example.value, example.decimals), example.text);
}

// The worked examples; 0.15 is just below a half and 9.96 carries into a new digit.
INSTANTIATE_TEST_SUITE_P(Examples, FixedForm,
                         testing::Values(FormatCase{50, 0, "50"}, FormatCase{0.5, 1, "0.5"},
                                         FormatCase{0.5, 0, "1"}, FormatCase{2.5, 0, "3"},
                                         FormatCase{0.25, 1, "0.3"}, FormatCase{-1.25, 1, "-1.3"},
                                         FormatCase{0, 1, "0.0"}, FormatCase{100.0 / 3.0, 0, "33"},
                                         FormatCase{200.0 / 3.0, 0, "67"},
                                         FormatCase{9.96, 1, "10.0"},
                                         FormatCase{1234.5, 2, "1234.50"}, FormatCase{-0.4, 0, "0"},
                                         FormatCase{0.05, 1, "0.1"}, FormatCase{0.15, 1, "0.1"},
                                         FormatCase{1e16, 0, "1E16"}));

INSTANTIATE_TEST_SUITE_P(
    Edges, FixedForm,
    testing::Values(
        // Halves away from zero in both signs, and no minus on what rounds to zero.
        FormatCase{-2.5, 0, "-3"}, FormatCase{-0.04, 1, "0.0"}, FormatCase{-0.0, 0, "0"},
        FormatCase{0.004, 2, "0.00"}, FormatCase{1e-30, 3, "0.000"},
        // Leading zeros of small fractions; fifteen significant digits at most.
        FormatCase{0.0123, 4, "0.0123"}, FormatCase{1.0 / 3.0, 18, "0.333333333333333000"},
        FormatCase{123456789.123456789, 10, "123456789.1234570000"},
        FormatCase{1234.5, 25, "1234.500000000000000000"}, FormatCase{7, -3, "7"},
        // Past fifteen integer digits: scientific, the exponent padded to the decimals.
        FormatCase{999999999999999.0, 0, "999999999999999"},
        FormatCase{999999999999999.9, 0, "1E15"}, FormatCase{1.5e20, 2, "1.5E20"},
        FormatCase{-1.25e17, 4, "-1.25E0017"}, FormatCase{1e300, 5, "1E300"},
        FormatCase{1.23456789012345678e18, 0, "1.23456789012346E18"},
        FormatCase{std::numeric_limits<double>::infinity(), 2, "INF"},
        FormatCase{-std::numeric_limits<double>::infinity(), 0, "-INF"},
        FormatCase{std::numeric_limits<double>::quiet_NaN(), 1, "NAN"},
        FormatCase{-std::numeric_limits<double>::quiet_NaN(), 1, "-NAN"}));

TEST(FixedFormSeparator, UsesTheGivenCharacter)
{
    EXPECT_EQ(Format(1234.5, 2, u','), "1234,50");
    EXPECT_EQ(Format(1.5e20, 2, u','), "1,5E20");
}

TEST(ParseNumber, AcceptsTheNumberForms)
{
    EXPECT_EQ(Parse("12.5"), 12.5);
    EXPECT_EQ(Parse("  12.5  "), 12.5);
    EXPECT_EQ(Parse("+7"), 7);
    EXPECT_EQ(Parse("-7"), -7);
    EXPECT_EQ(Parse("5."), 5);
    EXPECT_EQ(Parse(".5"), 0.5);
    EXPECT_EQ(Parse("."), 0);
    EXPECT_EQ(Parse("-."), 0);
    EXPECT_EQ(Parse("1.5e3"), 1500);
    EXPECT_EQ(Parse("1.5E-2"), 0.015);
    EXPECT_EQ(Parse("2E+2"), 200);
    EXPECT_EQ(Parse("3E"), 3);
    EXPECT_EQ(Parse("3e-"), 3);
    EXPECT_EQ(Parse("0000012"), 12);
    EXPECT_EQ(Parse("1,5", u','), 1.5);
    EXPECT_EQ(Parse("33"), 33);
}

TEST(ParseNumber, RefusesAnythingElse)
{
    for (const char *text : {"", "   ", "abc", "1.5x", "x1.5", "1.2.3", "1,5", "+", "-", "e5", "E",
                             "1 5", "1.5e3.2", "--1", "1.5 x", "\t1.5", "1.5\n"})
        EXPECT_FALSE(Parse(text).has_value()) << '"' << text << '"';
}

// The extended type reaches about 1.19e4932: within it a number too big for a double is an
// infinity, beyond it the text does not parse. Numbers too small for it read as zero.
TEST(ParseNumber, ChecksTheExtendedRange)
{
    EXPECT_EQ(Parse("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Parse("-1e4932"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(Parse("1.7976931348623157e308"), std::numeric_limits<double>::max());
    EXPECT_FALSE(Parse("1.2e4932").has_value());
    EXPECT_FALSE(Parse("1e999999999999999999").has_value());
    EXPECT_EQ(Parse("1e-400"), 0.0);
    EXPECT_EQ(Parse("1e-99999"), 0.0);
    EXPECT_EQ(Parse("0e99999"), 0.0);
    EXPECT_EQ(Parse("0.000000000000000000000000000000000000001e39"), 1.0);
}

TEST(ParseNumber, ReadsBackWhatWasFormatted)
{
    for (double value : {0.0, 1.0, -3.75, 1234.5, 0.001, 1e15, 12345678.9})
        for (int decimals : {0, 1, 3, 18})
            EXPECT_EQ(Parse(Format(value, decimals)), std::stod(Format(value, decimals)))
                << value << " with " << decimals;
}

} // namespace
