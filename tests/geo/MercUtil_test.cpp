#include "geo/MercUtil.hpp"

#include "support/CaseName.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

namespace orvane::geo {
namespace {

// ---- tile keys ----------------------------------------------------------------

struct KeyCase {
    const char* name;
    std::int32_t x;
    std::int32_t y;
    std::int32_t level;
    const char* letters;
    const char* digits;
};

const KeyCase kKeyCases[] = {
    {"whole_world", 0, 0, 1, "t", ""},
    {"level2_north_east", 1, 0, 2, "tr", "1"},
    {"level2_south_east", 1, 1, 2, "ts", "3"},
    {"level3_south_east_then_south_west", 2, 3, 3, "tst", "32"},
    {"level3_north_east_twice", 3, 0, 3, "trr", "11"},
    // The well-known quadkey of tile (3, 5) at web zoom 3.
    {"web_zoom3_tile_3_5", 3, 5, 4, "ttrs", "213"},
    {"negative_column_wraps", -1, 0, 2, "tr", "1"},
    {"column_past_edge_wraps", 5, 0, 2, "tr", "1"},
    {"row_past_edge_does_not_wrap", 0, 2, 2, "tt", "2"},
    {"negative_row_stays_north", 0, -1, 2, "tq", "0"},
    // Halves of 2^32 and more: the column is still taken modulo 2^39.
    {"level40_last_column", -1, 0, 40, "trrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrr",
     "111111111111111111111111111111111111111"},
};

class TileKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(TileKeyTest, NamesTheQuadtreePath)
{
    const auto& c = GetParam();
    EXPECT_EQ(TileKey(c.x, c.y, c.level), c.letters);
    EXPECT_EQ(QuadKeyDigits(c.x, c.y, c.level), c.digits);
}

INSTANTIATE_TEST_SUITE_P(Rows, TileKeyTest, ::testing::ValuesIn(kKeyCases), test::CaseName{});

// ---- level quantities ------------------------------------------------------------

struct LevelCase {
    const char* name;
    std::int32_t level;
    std::int64_t tiles;
    std::int64_t world;
    std::int64_t half;
};

const LevelCase kLevelCases[] = {
    {"level1", 1, 1, 256, 128},
    {"level18", 18, 131072, 33554432, 16777216},
    {"level23", 23, 4194304, 1073741824, 536870912},
};

class LevelQuantityTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelQuantityTest, BothVariantsAgree)
{
    const auto& c = GetParam();
    EXPECT_EQ(TilesPerSide(c.level), c.tiles);
    EXPECT_EQ(WorldPixels(c.level), c.world);
    EXPECT_EQ(HalfWorld(c.level), c.half);
    EXPECT_EQ(ViewTilesPerSide(c.level), c.tiles);
    EXPECT_EQ(ViewWorldPixels(c.level), c.world);
    EXPECT_EQ(ViewHalfWorld(c.level), c.half);
    EXPECT_DOUBLE_EQ(PixelsPerDegree(c.level), static_cast<double>(c.world) / 360.0);
    EXPECT_DOUBLE_EQ(ViewPixelsPerRadian(c.level), static_cast<double>(c.world) / (2 * std::numbers::pi));
}

INSTANTIATE_TEST_SUITE_P(Rows, LevelQuantityTest, ::testing::ValuesIn(kLevelCases), test::CaseName{});

TEST(LevelQuantity, BelowLevelOne)
{
    EXPECT_EQ(TilesPerSide(0), 0);
    EXPECT_EQ(ViewTilesPerSide(0), 1);
}

// ---- forward projection ------------------------------------------------------------

enum class Axis { kLon, kLat };

struct ForwardCase {
    const char* name;
    std::int32_t level;
    Axis axis;
    double degrees;
    std::int64_t conversion; // pixel containing the point
    std::int32_t view;       // pixel nearest to it
};

const ForwardCase kForwardCases[] = {
    {"level1_greenwich", 1, Axis::kLon, 0.0, 128, 128},
    {"level1_equator", 1, Axis::kLat, 0.0, 128, 128},
    {"level1_one_degree_east", 1, Axis::kLon, 1.0, 128, 129},
    {"level1_west_edge", 1, Axis::kLon, -180.0, 0, 0},
    {"level1_east_edge_one_past", 1, Axis::kLon, 180.0, 256, 256},
    {"level18_east_edge_one_past", 18, Axis::kLon, 180.0, 33554432, 33554432},
    {"level18_just_west_of_greenwich", 18, Axis::kLon, -0.0001, 16777206, 16777207},
    {"level18_moscow_longitude", 18, Axis::kLon, 37.6173, 20283402, 20283402},
    {"level18_latitude_60", 18, Axis::kLat, 60.0, 9744195, 9744195},
    {"level18_southern_latitude", 18, Axis::kLat, -33.9, 20139257, 20139258},
    {"level1_northern_edge", 1, Axis::kLat, 85.0511287798, 0, 0},
    {"level18_northern_edge", 18, Axis::kLat, 85.0511287798, 0, 0},
    {"level23_northern_edge", 23, Axis::kLat, 85.0511287798, 0, 0},
    // -8.68 and -8.18: truncated toward zero, not floored.
    {"beyond_northern_edge_negative", 1, Axis::kLat, 86.0, -8, -8},
    {"beyond_southern_edge", 1, Axis::kLat, -86.0, 264, 265},
};

class ForwardTest : public ::testing::TestWithParam<ForwardCase> {};

TEST_P(ForwardTest, Pixel)
{
    const auto& c = GetParam();
    if (c.axis == Axis::kLon) {
        EXPECT_EQ(LonToPixelX(c.level, c.degrees), c.conversion);
        EXPECT_EQ(ViewLonToPixelX(c.level, c.degrees), c.view);
    } else {
        EXPECT_EQ(LatToPixelY(c.level, c.degrees), c.conversion);
        EXPECT_EQ(ViewLatToPixelY(c.level, c.degrees), c.view);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ForwardTest, ::testing::ValuesIn(kForwardCases), test::CaseName{});

// Sums that no integer of the result's width holds (the poles, where the
// ordinate is infinite, and absurd longitudes) saturate; NaN gives 0.
struct SaturateCase {
    const char* name;
    std::int32_t level;
    Axis axis;
    double degrees;
    std::int64_t conversion;
    std::int32_t view;
};

constexpr auto kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr auto kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr auto kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr auto kMax32 = std::numeric_limits<std::int32_t>::max();

const SaturateCase kSaturateCases[] = {
    {"north_pole_level1", 1, Axis::kLat, 90.0, kMin64, kMin32},
    {"south_pole_level1", 1, Axis::kLat, -90.0, kMax64, kMax32},
    {"north_pole_level23", 23, Axis::kLat, 90.0, kMin64, kMin32},
    {"south_pole_level23", 23, Axis::kLat, -90.0, kMax64, kMax32},
    {"huge_east_longitude", 18, Axis::kLon, 1e300, kMax64, kMax32},
    {"huge_west_longitude", 18, Axis::kLon, -1e300, kMin64, kMin32},
    {"infinite_longitude", 18, Axis::kLon, INFINITY, kMax64, kMax32},
    {"nan_longitude", 18, Axis::kLon, NAN, 0, 0},
    {"nan_latitude", 18, Axis::kLat, NAN, 0, 0},
};

class SaturateTest : public ::testing::TestWithParam<SaturateCase> {};

TEST_P(SaturateTest, ClampsInsteadOfOverflowing)
{
    const auto& c = GetParam();
    if (c.axis == Axis::kLon) {
        EXPECT_EQ(LonToPixelX(c.level, c.degrees), c.conversion);
        EXPECT_EQ(ViewLonToPixelX(c.level, c.degrees), c.view);
    } else {
        EXPECT_EQ(LatToPixelY(c.level, c.degrees), c.conversion);
        EXPECT_EQ(ViewLatToPixelY(c.level, c.degrees), c.view);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SaturateTest, ::testing::ValuesIn(kSaturateCases), test::CaseName{});

TEST(Forward, ViewVariantSaturatesNearThePoleAtDeepLevels)
{
    // 2^29 - 2.78e9 does not fit 32 bits: the view clamps, the conversion
    // variant keeps its 64-bit value.
    EXPECT_EQ(ViewLatToPixelY(23, 89.99999), kMin32);
    EXPECT_LT(LatToPixelY(23, 89.99999), std::int64_t{kMin32});
    EXPECT_GT(LatToPixelY(23, 89.99999), std::int64_t{-3000000000});
}

// ---- every level in use ----------------------------------------------------------------

TEST(EveryLevel, EdgesCentreAndInverseHoldFromLevel1To23)
{
    for (std::int32_t level = 1; level <= 23; ++level) {
        SCOPED_TRACE(level);
        const std::int64_t world = WorldPixels(level);
        const std::int64_t half = HalfWorld(level);
        const auto half32 = static_cast<std::int32_t>(half);

        EXPECT_EQ(LonToPixelX(level, -180.0), 0);
        EXPECT_EQ(LonToPixelX(level, 180.0), world);
        EXPECT_EQ(ViewLonToPixelX(level, -180.0), 0);
        EXPECT_EQ(ViewLonToPixelX(level, 180.0), world);
        EXPECT_EQ(LonToPixelX(level, 0.0), half);
        EXPECT_EQ(LatToPixelY(level, 0.0), half);
        EXPECT_EQ(ViewLonToPixelX(level, 0.0), half);
        EXPECT_EQ(ViewLatToPixelY(level, 0.0), half);

        EXPECT_EQ(PixelXToLon(half32, level), 0.0);
        EXPECT_EQ(PixelYToLat(half32, level), 0.0);
        EXPECT_NEAR(ViewPixelXToLon(half32, level), 0.0, 1e-12);
        EXPECT_NEAR(ViewPixelYToLat(half32, level), 0.0, 1e-12);

        EXPECT_DOUBLE_EQ(PixelXToLon(0, level), -180.0);
        EXPECT_NEAR(PixelYToLat(0, level), 85.0511287798, 1e-9);
        EXPECT_NEAR(ViewPixelYToLat(0, level), 85.0511287798, 1e-9);

        // The view variant takes the nearest pixel, so a pixel's own
        // coordinates bring it back exactly.
        for (const std::int64_t p : {std::int64_t{1}, half / 3, half + 7, world - 1}) {
            const auto p32 = static_cast<std::int32_t>(p);
            EXPECT_EQ(ViewLonToPixelX(level, ViewPixelXToLon(p32, level)), p32);
            EXPECT_EQ(ViewLatToPixelY(level, ViewPixelYToLat(p32, level)), p32);
        }
    }
}

// ---- tile of a pixel -----------------------------------------------------------------

struct TileCase {
    const char* name;
    std::int32_t pixel;
    std::int32_t tile;
};

const TileCase kTileCases[] = {
    {"last_pixel_of_first_tile", 255, 0},
    {"first_pixel_of_second_tile", 256, 1},
    {"minus_one_not_floored", -1, 0},
    {"minus_256", -256, -1},
    {"minus_257_not_floored", -257, -1},
    {"int32_minimum", std::numeric_limits<std::int32_t>::min(), -8388608},
};

class PixelToTileTest : public ::testing::TestWithParam<TileCase> {};

TEST_P(PixelToTileTest, TruncatesTowardZero)
{
    const auto& c = GetParam();
    EXPECT_EQ(PixelToTile(c.pixel), c.tile);
    EXPECT_EQ(ViewPixelToTile(c.pixel), c.tile);
}

INSTANTIATE_TEST_SUITE_P(Rows, PixelToTileTest, ::testing::ValuesIn(kTileCases), test::CaseName{});

// ---- ellipsoidal inverse -----------------------------------------------------------------

struct InverseCase {
    const char* name;
    double x;
    double y;
    EllipsoidKind kind;
    double lon;
    double lat;
};

const InverseCase kInverseCases[] = {
    {"origin_wgs84", 0, 0, kEllipsoidWgs84, 0, 0},
    {"origin_krassovsky", 0, 0, kEllipsoidKrassovsky1940, 0, 0},
    {"north_east_wgs84", 3000000, 7000000, kEllipsoidWgs84, 26.949459, 53.276312},
    {"south_east_krassovsky", 3000000, -7000000, kEllipsoidKrassovsky1940, 26.949002, -53.275647},
    {"latitude_60_wgs84", 0, 8362698.5238, kEllipsoidWgs84, 0, 60.000000},
};

class MercatorInverseTest : public ::testing::TestWithParam<InverseCase> {};

TEST_P(MercatorInverseTest, SixDecimals)
{
    const auto& c = GetParam();
    double lon = NAN;
    double lat = NAN;
    MercatorXYToLatLon(c.x, c.y, c.kind, lon, lat);
    EXPECT_NEAR(lon, c.lon, 5e-7);
    EXPECT_NEAR(lat, c.lat, 5e-7);
    const LonLat both = MercatorXYToLatLon(c.x, c.y, c.kind);
    EXPECT_EQ(both.lon, lon);
    EXPECT_EQ(both.lat, lat);
}

INSTANTIATE_TEST_SUITE_P(Rows, MercatorInverseTest, ::testing::ValuesIn(kInverseCases), test::CaseName{});

} // namespace
} // namespace orvane::geo
