#include "geo/geotrans.hpp"

#include "support/CaseName.hpp"
#include "util/NumberText.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace orvane::geo {
namespace {

// Six decimals, as the figures are published and as the diagnostic button
// shows them.
std::string Six(double v)
{
    return FormatFixed(v, 6);
}

struct ShiftCase {
    const char* name;
    double b;
    double l;
    const char* dbSeconds;
    const char* dlSeconds;
};

const ShiftCase kShiftCases[] = {
    {"north_west_russia", 60.3333333333, 29, "-0.195219", "-8.271344"},
    {"origin", 0, 0, "-2.989461", "-3.739810"},
    {"moscow", 55.75, 37.6167, "0.123075", "-6.734420"},
};

class DatumShiftTest : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(DatumShiftTest, ArcSeconds)
{
    const auto& c = GetParam();
    EXPECT_EQ(Six(DatumShiftLatSeconds(c.b, c.l, 0)), c.dbSeconds);
    EXPECT_EQ(Six(DatumShiftLonSeconds(c.b, c.l, 0)), c.dlSeconds);
}

INSTANTIATE_TEST_SUITE_P(Rows, DatumShiftTest, ::testing::ValuesIn(kShiftCases), test::CaseName{});

struct ConvertCase {
    const char* name;
    double (*convertLat)(double, double, double);
    double (*convertLon)(double, double, double);
    double b;
    double l;
    const char* lat;
    const char* lon;
};

const ConvertCase kConvertCases[] = {
    {"pulkovo_to_wgs", PulkovoToWgsLat, PulkovoToWgsLon, 60.3333333333, 29, "60.333279", "28.997702"},
    {"wgs_to_pulkovo", WgsToPulkovoLat, WgsToPulkovoLon, 60.3333333333, 29, "60.333388", "29.002298"},
};

class DatumConvertTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(DatumConvertTest, SixDecimals)
{
    const auto& c = GetParam();
    EXPECT_EQ(Six(c.convertLat(c.b, c.l, 0)), c.lat);
    EXPECT_EQ(Six(c.convertLon(c.b, c.l, 0)), c.lon);
}

INSTANTIATE_TEST_SUITE_P(Rows, DatumConvertTest, ::testing::ValuesIn(kConvertCases), test::CaseName{});

TEST(DatumConvert, RoundTripStaysBelowAMicrodegree)
{
    // The reverse shift is evaluated at the converted point, so the round trip
    // is not exact, only close. The longitude error grows like 1/cos B: it
    // stays below 1e-6 deg up to 79 deg and reaches 1.05e-6 deg at 80 deg.
    for (const double b : {-80.0, -79.0, -60.0, -30.0, 0.0, 30.0, 60.0, 79.0, 80.0}) {
        const double bound = std::fabs(b) < 80 ? 1e-6 : 1.1e-6;
        for (double l = -180; l <= 180; l += 1) {
            SCOPED_TRACE(std::to_string(b) + " " + std::to_string(l));
            const double wb = PulkovoToWgsLat(b, l, 0);
            const double wl = PulkovoToWgsLon(b, l, 0);
            EXPECT_LT(std::fabs(WgsToPulkovoLat(wb, wl, 0) - b), bound);
            EXPECT_LT(std::fabs(WgsToPulkovoLon(wb, wl, 0) - l), bound);
        }
    }
}

TEST(DatumConvert, PolesGiveFiniteValues)
{
    for (const double b : {90.0, -90.0}) {
        SCOPED_TRACE(b);
        EXPECT_TRUE(std::isfinite(DatumShiftLatSeconds(b, 29, 0)));
        EXPECT_TRUE(std::isfinite(DatumShiftLonSeconds(b, 29, 0)));
        EXPECT_TRUE(std::isfinite(WgsToPulkovoLat(b, 29, 0)));
        EXPECT_TRUE(std::isfinite(WgsToPulkovoLon(b, 29, 0)));
    }
}

} // namespace
} // namespace orvane::geo
