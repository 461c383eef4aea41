#include "conversion/TilePlan.hpp"

#include "geo/MercUtil.hpp"
#include "support/CaseName.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace orvane::conversion {
namespace {

/// A conformal map like a scan calibrated at its four corners: columns
/// linear in longitude, rows linear in the Mercator ordinate.
MapGeometry Conformal(double lonScale, std::int32_t width, std::int32_t height, double centreLat, double centreLon)
{
    constexpr double kPi = 3.14159265358979323846;
    auto merc = [&](double lat) { return std::log(std::tan(kPi / 4 + lat * kPi / 360)); };
    auto invMerc = [&](double m) { return (2 * std::atan(std::exp(m)) - kPi / 2) * 180 / kPi; };
    const double radPerPx = kPi / 180 / lonScale;
    const double mTop = merc(centreLat) + height / 2.0 * radPerPx;
    const double north = invMerc(mTop);
    const double south = invMerc(mTop - height * radPerPx);

    MapGeometry g;
    g.lonScale = lonScale;
    g.latScale = height / (north - south);
    g.width = width;
    g.height = height;
    g.refX = 0;
    g.refY = 0;
    g.refLon = centreLon - width / 2.0 / lonScale;
    g.refLat = north;
    g.verticalFit = [=](std::int32_t level, double& s, double& o) {
        const double rLow = static_cast<double>(geo::LatToPixelY(level, south));
        const double rHigh = static_cast<double>(geo::LatToPixelY(level, north));
        s = (height - 0.0) / (rLow - rHigh);
        o = height - s * rLow;
    };
    return g;
}

struct FitCase {
    const char* name;
    double lonScale;
    std::int32_t mapFit;
    std::int32_t base;
    std::int32_t low;  // with the default four levels
};

const FitCase kFitCases[] = {
    {"ppd1000_fit0", 1000, kFitSmaller, 11, 8},
    {"ppd1000_fit1", 1000, kFitEvenSmaller, 10, 7},
    {"ppd1000_fit2", 1000, kFitGreater, 12, 9},
    {"ppd1450_within_one_percent", 1450, kFitSmaller, 12, 9},
    {"ppd15000_base15", 15000, kFitSmaller, 15, 12},
};

class BaseLevelTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(BaseLevelTest, ChoosesLevels)
{
    const auto& c = GetParam();
    const MapGeometry g = Conformal(c.lonScale, 20000, 20000, 55.75, 37.6);
    PlanOptions o;
    o.mapFit = c.mapFit;
    o.ignoreBorder = false;
    const ConversionPlan plan = PlanConversion(g, o);
    EXPECT_EQ(plan.baseLevel, c.base);
    EXPECT_EQ(plan.lowLevel, c.low);
    ASSERT_EQ(plan.levels.size(), 4u);
    EXPECT_EQ(plan.levels.front().level, c.base);
    EXPECT_EQ(plan.levels.back().level, c.low);
}

INSTANTIATE_TEST_SUITE_P(Rows, BaseLevelTest, ::testing::ValuesIn(kFitCases), test::CaseName{});

TEST(TilePlan, LevelCountOneWritesTheBaseLevelOnly)
{
    PlanOptions o;
    o.levelCount = 1;
    o.ignoreBorder = false;
    const ConversionPlan plan = PlanConversion(Conformal(1000, 4000, 4000, 55.75, 37.6), o);
    EXPECT_EQ(plan.baseLevel, 11);
    EXPECT_EQ(plan.lowLevel, 11);
    EXPECT_EQ(plan.levels.size(), 1u);
}

TEST(TilePlan, QualityRisesPerLevel)
{
    const std::int32_t expected[] = {30, 44, 55, 64, 71, 77};
    std::int32_t q = 30;
    for (std::int32_t e : expected) {
        EXPECT_EQ(q, e);
        q = NextLevelQuality(q);
    }
    EXPECT_EQ(NextLevelQuality(100), 100);
    EXPECT_EQ(NextLevelQuality(0), 21);
}

struct RefusalCase {
    const char* name;
    double lonScale;
    std::int32_t width;
    std::int32_t height;
    std::int32_t levelCount;
    std::int32_t mapFit;
    bool ignoreBorder;
    const char* message;  // exact text, or a prefix when it ends with "*"
};

const RefusalCase kRefusals[] = {
    // P(19) = 186413.5 px/deg: a scan that fine fits level 20 or more.
    {"too_detailed", 200000, 4000, 4000, 4, kFitSmaller, true,
     "Your map is too highly detailed (Zoom >= 20 can not be used). Lower resolution and try again."},
    {"too_detailed_by_fit", 100000, 4000, 4000, 4, kFitGreater, true,
     "Your map is too highly detailed (Zoom >= 20 can not be used). Lower resolution and try again."},
    // 1 px/deg fits level 1: B = 0 does not exist.
    {"coarser_than_level_one", 0.5, 300, 300, 1, kFitSmaller, false,
     "The map's resolution is too low to fit any tile level (level 1 is the whole world in one tile)."},
    // B = 3 with six levels would reach level -2.
    {"lowest_level_below_one", 5, 1800, 800, 6, kFitSmaller, false,
     "Too many levels of scaling: 6 levels from level 3 would go below level 1. Use at most 3 levels for "
     "this map."},
    // 1000 px/deg, base level 11: 1100 px wide spans about 1.5 tiles there.
    {"ignore_border_by_width", 1000, 1100, 20000, 4, kFitSmaller, true,
     "Can not ignore borders - no tiles left (by width)"},
    {"ignore_border_by_height", 1000, 20000, 1100, 4, kFitSmaller, true,
     "Can not ignore borders - no tiles left (by height)"},
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RefusesBeforeCutting)
{
    const auto& c = GetParam();
    PlanOptions o;
    o.levelCount = c.levelCount;
    o.mapFit = c.mapFit;
    o.ignoreBorder = c.ignoreBorder;
    try {
        PlanConversion(Conformal(c.lonScale, c.width, c.height, 10, 20), o);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RefusalTest, ::testing::ValuesIn(kRefusals), test::CaseName{});

TEST(TilePlan, IgnoreBorderNeedsFourColumnsAndTrimsOneEachSide)
{
    // Find a width that spans exactly three tile columns at the base level,
    // then one that spans four.
    const double lonScale = 1000;  // base level 11
    PlanOptions withBorder;
    PlanOptions without;
    without.ignoreBorder = false;
    without.levelCount = withBorder.levelCount = 1;
    for (std::int32_t width = 600; width < 2000; width += 7) {
        const MapGeometry g = Conformal(lonScale, width, 20000, 55.75, 37.6);
        const LevelPlan full = PlanConversion(g, without).levels[0];
        if (full.x1 - full.x0 == 2) {
            try {
                PlanConversion(g, withBorder);
                ADD_FAILURE() << "three columns accepted at width " << width;
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Can not ignore borders - no tiles left (by width)");
            }
        } else if (full.x1 - full.x0 == 3) {
            const LevelPlan trimmed = PlanConversion(g, withBorder).levels[0];
            EXPECT_EQ(trimmed.x0, full.x0 + 1);
            EXPECT_EQ(trimmed.x1, full.x1 - 1);
            EXPECT_EQ(trimmed.y0, full.y0 + 1);
            EXPECT_EQ(trimmed.y1, full.y1 - 1);
            return;
        }
    }
    FAIL() << "no width spanning four columns found";
}

TEST(TilePlan, OffsetsAreBaseLevelPixelsHalvedPerLevel)
{
    // 10000 px/deg: base level 14; dX = 8 and dY = 8 output pixels there.
    const MapGeometry g = Conformal(10000, 12000, 12000, 55.75, 37.6);
    PlanOptions plain;
    plain.levelCount = 3;
    PlanOptions shifted = plain;
    shifted.dx = 8;
    shifted.dy = 8;
    const ConversionPlan plan = PlanConversion(g, plain);
    ASSERT_EQ(plan.baseLevel, 14);
    const double expectedOutputShift[] = {8, 4, 2};
    for (std::size_t i = 0; i < plan.levels.size(); ++i) {
        const LevelPlan& l = plan.levels[i];
        const std::int32_t x = (l.x0 + l.x1) / 2;
        const std::int32_t y = (l.y0 + l.y1) / 2;
        const TileCrop a = CropOfTile(plan, l, g, plain, x, y);
        const TileCrop b = CropOfTile(plan, l, g, shifted, x, y);
        // The content moves east and south: the crop starts further west
        // and north in the source.
        const double eastPx = (a.originX - b.originX) * 256.0 / l.cropWidth;
        const double southPx = (a.originY - b.originY) * 256.0 / a.height;
        EXPECT_NEAR(eastPx, expectedOutputShift[i], 0.5) << "level " << l.level;
        EXPECT_NEAR(southPx, expectedOutputShift[i], 0.5) << "level " << l.level;
        // Cut to whole source pixels.
        EXPECT_EQ(a.originX - b.originX, static_cast<std::int32_t>(l.cropWidth * (8 / std::ldexp(1.0, static_cast<int>(i))) / 256));
    }
}

TEST(TilePlan, CropsTileTheImageWithoutGapsAtTheBaseLevel)
{
    // Neighbouring tiles' crops meet: the next column starts where this one
    // ends, to within a pixel of rounding.
    const MapGeometry g = Conformal(15000, 12000, 9000, 55.75, 37.6);
    PlanOptions o;
    const ConversionPlan plan = PlanConversion(g, o);
    const LevelPlan& l = plan.levels.front();
    for (std::int32_t x = l.x0; x < l.x1; ++x) {
        const TileCrop a = CropOfTile(plan, l, g, o, x, l.y0);
        const TileCrop b = CropOfTile(plan, l, g, o, x + 1, l.y0);
        EXPECT_NEAR(b.originX - a.originX, a.width, 1.0);
    }
    for (std::int32_t y = l.y0; y < l.y1; ++y) {
        const TileCrop a = CropOfTile(plan, l, g, o, l.x0, y);
        const TileCrop b = CropOfTile(plan, l, g, o, l.x0, y + 1);
        EXPECT_NEAR(b.originY - a.originY, a.height, 1.0);
    }
}

} // namespace
} // namespace orvane::conversion
