#include "util/NumberText.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct FixedCase {
    const char* name;
    double value;
    int decimals;
    int minInt;
    char sep;
    const char* expected;
};

const FixedCase kFixedCases[] = {
    {"pads_integer_part", 5.5, 3, 2, '.', "05.500"},
    {"three_digits_from_hundred", 123.0, 0, 2, '.', "123"},
    {"tie_rounds_away_from_zero", 0.125, 2, 1, '.', "0.13"},
    {"negative_tie_rounds_away", -0.125, 2, 1, '.', "-0.13"},
    {"below_tie_rounds_down", 0.12499, 2, 1, '.', "0.12"},
    {"carry_into_integer", 59.9999999, 3, 2, '.', "60.000"},
    {"comma_separator", 60.3425, 5, 2, ',', "60.34250"},
    {"no_separator_without_decimals", 7.4, 0, 2, '.', "07"},
    {"negative_zero_after_rounding", -0.0001, 2, 1, '.', "0.00"},
};

class FormatFixedTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixedTest, Formats)
{
    const auto& c = GetParam();
    std::string expected = c.expected;
    if (c.sep != '.')
        for (auto& ch : expected)
            if (ch == '.') ch = c.sep;
    EXPECT_EQ(FormatFixed(c.value, c.decimals, c.minInt, c.sep), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, FormatFixedTest, ::testing::ValuesIn(kFixedCases), test::CaseName{});

TEST(ParseNumbers, AcceptsPointDecimalsAndBlanksOnly)
{
    EXPECT_EQ(ParseDouble("  45.5 "), 45.5);
    EXPECT_EQ(ParseDouble("-0.25"), -0.25);
    EXPECT_EQ(ParseDouble("+3"), 3.0);
    EXPECT_FALSE(ParseDouble("45,5"));
    EXPECT_FALSE(ParseDouble(""));
    EXPECT_FALSE(ParseDouble("12abc"));
    EXPECT_FALSE(ParseDouble("nan"));
    EXPECT_EQ(ParseInt32(" 512"), 512);
    EXPECT_FALSE(ParseInt32("512.0"));
    EXPECT_FALSE(ParseInt32("99999999999"));
}

} // namespace
} // namespace orvane
