#include "mapview/RegionSize.hpp"

#include "support/CaseName.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace orvane::mapview {
namespace {

// ---- the size texts --------------------------------------------------------

struct SizeCase {
    const char* name;
    RegionEdges edges;
    std::int32_t level;
    const char* mapDim;
    const char* tileCount;
    std::int64_t firstColumn, lastColumn, firstRow, lastRow;
};

const SizeCase kSizeCases[] = {
    // The region north-east of Moscow's centre: three columns by three rows.
    {"moscow_level_13", {55.80, 37.50, 55.70, 37.70}, 13, "768x768", "9", 2474, 2476, 1279, 1281},
    // One point still covers the tile that holds it.
    {"single_point", {55.75, 37.60, 55.75, 37.60}, 13, "256x256", "1", 2475, 2475, 1280, 1280},
    // The right edge at 180 E lies on the world's east border: its pixel
    // belongs to a column past the world, which the size counts.
    {"whole_world_level_1", {85, -180, -85, 180}, 1, "512x256", "2", 0, 1, 0, 0},
    // Poles and longitudes beyond the antimeridian are clamped first.
    {"poles_clamped", {90, -200, -90, 200}, 1, "512x256", "2", 0, 1, 0, 0},
    // The largest region at the deepest level stays within 64 bits.
    {"whole_world_level_18", {85, -180, -85, 180}, 18, "33554688x33444864", "17123901012", 0, 131072, 214, 130857},
    // Edges typed the wrong way round give a negative size, truncated
    // toward zero like the rest of the arithmetic.
    {"top_below_bottom", {55.70, 37.50, 55.80, 37.70}, 13, "768x-256", "-3", 2474, 2476, 1281, 1279},
};

class UpdateRegionSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(UpdateRegionSizeTest, GivesTextsAndTiles)
{
    const auto& c = GetParam();
    const RegionSize size = UpdateRegionSize(c.edges, c.level);
    EXPECT_EQ(size.mapDimText, c.mapDim);
    EXPECT_EQ(size.tileCountText, c.tileCount);
    EXPECT_EQ(size.firstColumn, c.firstColumn);
    EXPECT_EQ(size.lastColumn, c.lastColumn);
    EXPECT_EQ(size.firstRow, c.firstRow);
    EXPECT_EQ(size.lastRow, c.lastRow);
}

INSTANTIATE_TEST_SUITE_P(Rows, UpdateRegionSizeTest, ::testing::ValuesIn(kSizeCases), test::CaseName{});

// ---- from the edits' texts -------------------------------------------------

struct EditCase {
    const char* name;
    const char* top;
    const char* left;
    const char* bottom;
    const char* right;
    std::int32_t level;
    const char* mapDim;  // nullptr: fails with `error`
    const char* error;
};

const EditCase kEditCases[] = {
    {"numbers_with_blanks", " 55.80000", "37.50000 ", "55.70000", "37.70000", 13, "768x768", ""},
    {"comma_is_not_a_separator", "55,8", "37.5", "55.7", "37.7", 13, nullptr,
     "'55,8' is not a valid floating point value"},
    {"empty_edit", "55.8", "", "55.7", "37.7", 13, nullptr, "'' is not a valid floating point value"},
    {"level_0", "55.8", "37.5", "55.7", "37.7", 0, nullptr, "Region level 0 is outside 1 to 18"},
    {"level_19", "55.8", "37.5", "55.7", "37.7", 19, nullptr, "Region level 19 is outside 1 to 18"},
};

class UpdateRegionSizeTextTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(UpdateRegionSizeTextTest, ParsesOrNamesTheFault)
{
    const auto& c = GetParam();
    if (c.mapDim != nullptr) {
        EXPECT_EQ(UpdateRegionSize(c.top, c.left, c.bottom, c.right, c.level).mapDimText, c.mapDim);
        return;
    }
    try {
        UpdateRegionSize(c.top, c.left, c.bottom, c.right, c.level);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UpdateRegionSizeTextTest, ::testing::ValuesIn(kEditCases), test::CaseName{});

// ---- the record "+" appends ------------------------------------------------

struct AddCase {
    const char* name;
    RegionEdges selected;
    std::int32_t level;
    std::uint8_t mapType;
    RegionEdges stored;   // edges of the record
    const char* caption;  // nullptr: nothing is added (Error)
};

const AddCase kAddCases[] = {
    {"moscow_google_map", {55.8, 37.5, 55.7, 37.7}, 13, 2, {55.8, 37.5, 55.7, 37.7}, "13/9:Google Map"},
    // The edits show five decimals, and the record keeps what they show.
    {"rounded_to_the_edits", {55.123456, 37.000004, 55.0000051, 37.5}, 10, 5, {55.12346, 37.0, 55.00001, 37.5},
     "10/2:VirtualEarth Surface"},
    {"clamped_to_85_and_180", {89.5, -190, -86, 190}, 1, 9, {85, -180, -85, 180}, "1/2:Custom Map 1"},
    {"unknown_map_type_named_by_number", {1, 1, 0, 2}, 3, 12, {1, 1, 0, 2}, "3/2:MT 12"},
    // A press and release without moving marks no region.
    {"point_adds_nothing", {55.75, 37.6, 55.75, 37.6}, 13, 2, {}, nullptr},
    // Both edges north of 85 clamp to the same latitude.
    {"flat_after_clamping", {88, 10, 86, 20}, 5, 2, {}, nullptr},
};

class MakeCompileRegionTest : public ::testing::TestWithParam<AddCase> {};

TEST_P(MakeCompileRegionTest, StoresWhatTheEditsShow)
{
    const auto& c = GetParam();
    if (c.caption == nullptr) {
        EXPECT_FALSE(HasExtent(FillRegionEdits(c.selected)));
        try {
            MakeCompileRegion(c.selected, c.level, c.mapType, LayerName(c.mapType));
            FAIL() << "a region was made";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "The region has no extent: its top and bottom latitude, or its left and right "
                                   "longitude, are equal");
        }
        return;
    }
    const TCompileRegion r = MakeCompileRegion(c.selected, c.level, c.mapType, LayerName(c.mapType));
    EXPECT_EQ((RegionEdges{r.topLat, r.leftLon, r.bottomLat, r.rightLon}), c.stored);
    EXPECT_EQ(r.level, c.level);
    EXPECT_EQ(r.mapType, c.mapType);
    EXPECT_EQ(r.caption, c.caption);
}

INSTANTIATE_TEST_SUITE_P(Rows, MakeCompileRegionTest, ::testing::ValuesIn(kAddCases), test::CaseName{});

TEST(RegionCaption, CutsToTwoHundredFiftyCharactersNotBytes)
{
    // "Карта" is five characters of two bytes each.
    std::string layer;
    for (int i = 0; i < 60; ++i) layer += "Карта";
    const std::string caption = RegionCaption(18, "123456", layer);
    const std::string head = "18/123456:";
    std::string expected = head;
    for (std::size_t i = 0; i < 250 - head.size(); ++i) expected += layer.substr((i % 5) * 2, 2);
    EXPECT_EQ(caption, expected);
}

} // namespace
} // namespace orvane::mapview
