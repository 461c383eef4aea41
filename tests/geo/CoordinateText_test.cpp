#include "geo/CoordinateText.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

namespace orvane::geo {
namespace {

struct FormatCase {
    const char* name;
    int format;
    bool isLatitude;
    double value;
    char separator;
    const char* expected;
};

constexpr bool kLat = true;
constexpr bool kLon = false;

const FormatCase kFormatCases[] = {
    {"degrees", kFormatDegrees, kLat, 60.3425, '.', "60.34250N"},
    {"degrees_minutes", kFormatDegreesMinutes, kLat, 60.3425, '.', "60 20.550N"},
    {"degrees_minutes_seconds", kFormatDegreesMinutesSeconds, kLat, 60.3425, '.', "60 20 33.0N"},
    {"leading_zero_degrees", kFormatDegreesMinutes, kLon, 5.5, '.', "05 30.000E"},
    {"three_digit_degrees", kFormatDegreesMinutes, kLon, 123.5, '.', "123 30.000E"},
    {"west_without_minus", kFormatDegrees, kLon, -74.0, '.', "74.00000W"},
    {"south_below_one_degree", kFormatDegreesMinutesSeconds, kLat, -0.25, '.', "00 15 00.0S"},
    {"zero_latitude_is_south", kFormatDegrees, kLat, 0.0, '.', "00.00000S"},
    {"zero_longitude_is_west", kFormatDegrees, kLon, 0.0, '.', "00.00000W"},
    {"minutes_not_carried", kFormatDegreesMinutes, kLat, 12.9999999, '.', "12 60.000N"},
    // 10 deg 59 min 59.96 s: the seconds round to 60.0 on their own.
    {"seconds_not_carried", kFormatDegreesMinutesSeconds, kLat, 10 + 59 / 60.0 + 59.96 / 3600, '.',
     "10 59 60.0N"},
    {"comma_degrees", kFormatDegrees, kLat, 60.3425, ',', "60,34250N"},
    {"comma_degrees_minutes", kFormatDegreesMinutes, kLat, 60.3425, ',', "60 20,550N"},
    {"comma_seconds_only", kFormatDegreesMinutesSeconds, kLat, 60.3425, ',', "60 20 33,0N"},
    {"unknown_format_letter_only", 3, kLat, 10.0, '.', "N"},
    {"negative_format_letter_only", -1, kLon, -5.0, '.', "W"},
};

class FormatCoordinateTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatCoordinateTest, Text)
{
    const auto& c = GetParam();
    EXPECT_EQ(FormatCoordinate(c.format, c.isLatitude, c.value, c.separator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, FormatCoordinateTest, ::testing::ValuesIn(kFormatCases), test::CaseName{});

struct DisplayCase {
    const char* name;
    bool isLatitude;
    double latitude;
    double longitude;
    int format;
    int datum;
    char separator;
    const char* expected;
};

const DisplayCase kDisplayCases[] = {
    {"wgs84_latitude_as_is", kLat, 60.333279, 28.997702, kFormatDegrees, kDisplayWgs84, '.', "60.33328N"},
    {"wgs84_longitude_as_is", kLon, 60.333279, 28.997702, kFormatDegrees, kDisplayWgs84, '.', "28.99770E"},
    {"pulkovo_latitude", kLat, 60.333279, 28.997702, kFormatDegrees, kDisplayPulkovo1942, '.', "60.33333N"},
    {"pulkovo_longitude", kLon, 60.333279, 28.997702, kFormatDegrees, kDisplayPulkovo1942, '.', "29.00000E"},
    {"pulkovo_longitude_comma", kLon, 60.333279, 28.997702, kFormatDegrees, kDisplayPulkovo1942, ',',
     "29,00000E"},
    {"pulkovo_minutes", kLat, 60.333279, 28.997702, kFormatDegreesMinutes, kDisplayPulkovo1942, '.',
     "60 20.000N"},
};

class CoordinateTextTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(CoordinateTextTest, Text)
{
    const auto& c = GetParam();
    EXPECT_EQ(CoordinateText(c.isLatitude, c.latitude, c.longitude, c.format, c.datum, c.separator),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, CoordinateTextTest, ::testing::ValuesIn(kDisplayCases), test::CaseName{});

} // namespace
} // namespace orvane::geo
