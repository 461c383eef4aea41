#pragma once

// The arithmetic of the "Compile" page: the edges of a marked region as the
// region edits hold them, the size texts of lbMapDim and lbTileCount, the
// caption of a compile-list entry, and the record that "+" appends.

#include "mapview/PlanFile.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::mapview {

inline constexpr std::int32_t kMinRegionLevel = 1;
inline constexpr std::int32_t kMaxRegionLevel = 18;
inline constexpr double kMaxRegionLatitude = 85;
inline constexpr double kMaxRegionLongitude = 180;

/// Four edges of a region in degrees, north and east positive.
struct RegionEdges {
    double topLat = 0;
    double leftLon = 0;
    double bottomLat = 0;
    double rightLon = 0;

    bool operator==(const RegionEdges&) const = default;
};

/// The edges as the region edits take them from a selection: latitudes
/// clamped to [-85, 85], longitudes to [-180, 180], each then written with
/// five decimals and read back, as the edits' text is what gets stored.
RegionEdges FillRegionEdits(const RegionEdges& selected);

/// Text of one region edit: the value with five decimals ("0.00000").
std::string RegionEditText(double degrees);

/// A region is valid when its top differs from its bottom and its left
/// from its right.
bool HasExtent(const RegionEdges& edges);

/// The two size texts and the numbers behind them.
struct RegionSize {
    std::int64_t width = 0;     // pixels, whole tiles
    std::int64_t height = 0;
    std::int64_t tileCount = 0; // width * height / 65536
    std::int64_t firstColumn = 0; // tile columns and rows the size covers
    std::int64_t lastColumn = 0;
    std::int64_t firstRow = 0;
    std::int64_t lastRow = 0;
    std::string mapDimText;     // caption of lbMapDim, e.g. "768x768"
    std::string tileCountText;  // caption of lbTileCount, e.g. "9"
};

/// lbMapDim and lbTileCount for a region at `level` (conversion-variant
/// grid): the whole tiles from the one holding the top-left corner to the
/// one holding the bottom-right corner. The edges are clamped as
/// FillRegionEdits does first, so no value of the grid overflows. A level
/// outside 1 to 18 throws Error.
RegionSize UpdateRegionSize(const RegionEdges& edges, std::int32_t level);

/// The same from the texts of edTL, edLL, edBL and edRL; a text that is not
/// a decimal number (with '.') throws Error naming it.
RegionSize UpdateRegionSize(std::string_view top, std::string_view left, std::string_view bottom,
                            std::string_view right, std::int32_t level);

/// Caption of a compile-list entry: level + "/" + tile count text + ":" +
/// layer name, e.g. "10/4:Google Map", cut to 250 characters.
std::string RegionCaption(std::int32_t level, std::string_view tileCountText, std::string_view layerName);

/// What "+" appends for a selection: the edges through FillRegionEdits,
/// the level, the map type and the caption. A selection without extent
/// throws Error (the page adds nothing then); so does a bad level.
TCompileRegion MakeCompileRegion(const RegionEdges& selected, std::int32_t level, std::uint8_t mapType,
                                 std::string_view layerName);

/// The nine items of the view's layer selector with the map type of the
/// built-in catalogue entry of the same position.
struct MapTypeItem {
    std::string_view caption;
    std::uint8_t mapType;
};
inline constexpr std::array<MapTypeItem, 9> kMapTypeItems = {{
    {"VirtualEarth Surface", 5},
    {"VirtualEarth Map", 6},
    {"Google Surface", 1},
    {"Google Map", 2},
    {"OpenStreetMap Mapnik", 21},
    {"OpenStreetMap Osmrender", 22},
    {"Gurtam", 26},
    {"Custom Map 1", 9},
    {"Custom Map 2", 10},
}};

/// The selector caption of the first item showing `mapType`, or "MT " and
/// the number when no item does.
std::string LayerName(std::uint8_t mapType);

} // namespace orvane::mapview
