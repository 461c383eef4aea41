#include "mapview/RegionSize.hpp"

#include "geo/MercUtil.hpp"
#include "util/Error.hpp"
#include "util/Messages.hpp"
#include "util/NumberText.hpp"

#include <algorithm>

namespace orvane::mapview {
namespace {

constexpr std::int64_t kTilePixels = 256;

/// Clamps into [-limit, limit]; NaN stays NaN (the grid reads it as 0).
double ClampTo(double value, double limit)
{
    return std::clamp(value, -limit, limit);
}

RegionEdges Clamp(const RegionEdges& e)
{
    return {ClampTo(e.topLat, kMaxRegionLatitude), ClampTo(e.leftLon, kMaxRegionLongitude),
            ClampTo(e.bottomLat, kMaxRegionLatitude), ClampTo(e.rightLon, kMaxRegionLongitude)};
}

double ParseEdit(std::string_view text)
{
    const auto value = ParseDouble(text);
    if (!value) throw Error(msg::NotAFloatingPointValue(text));
    return *value;
}

void CheckLevel(std::int32_t level)
{
    if (level < kMinRegionLevel || level > kMaxRegionLevel) throw Error(msg::RegionLevelOutOfRange(level));
}

} // namespace

std::string RegionEditText(double degrees)
{
    return FormatFixed(degrees, 5);
}

RegionEdges FillRegionEdits(const RegionEdges& selected)
{
    const RegionEdges clamped = Clamp(selected);
    auto viaText = [](double v) { return ParseDouble(RegionEditText(v)).value_or(v); };
    return {viaText(clamped.topLat), viaText(clamped.leftLon), viaText(clamped.bottomLat),
            viaText(clamped.rightLon)};
}

bool HasExtent(const RegionEdges& edges)
{
    return edges.topLat != edges.bottomLat && edges.leftLon != edges.rightLon;
}

RegionSize UpdateRegionSize(const RegionEdges& edges, std::int32_t level)
{
    CheckLevel(level);
    const RegionEdges e = Clamp(edges);
    // Clamped edges keep every pixel within [0, 2^26] at level 18, so the
    // 64-bit sums and the product below cannot overflow.
    const std::int64_t x1 = (geo::LonToPixelX(level, e.leftLon) / kTilePixels) * kTilePixels;
    const std::int64_t x2 = (geo::LonToPixelX(level, e.rightLon) / kTilePixels + 1) * kTilePixels;
    const std::int64_t y1 = (geo::LatToPixelY(level, e.topLat) / kTilePixels) * kTilePixels;
    const std::int64_t y2 = (geo::LatToPixelY(level, e.bottomLat) / kTilePixels + 1) * kTilePixels;

    RegionSize size;
    size.width = x2 - x1;
    size.height = y2 - y1;
    size.tileCount = size.width * size.height / (kTilePixels * kTilePixels);
    size.firstColumn = x1 / kTilePixels;
    size.lastColumn = x2 / kTilePixels - 1;
    size.firstRow = y1 / kTilePixels;
    size.lastRow = y2 / kTilePixels - 1;
    size.mapDimText = std::to_string(size.width) + "x" + std::to_string(size.height);
    size.tileCountText = std::to_string(size.tileCount);
    return size;
}

RegionSize UpdateRegionSize(std::string_view top, std::string_view left, std::string_view bottom,
                            std::string_view right, std::int32_t level)
{
    return UpdateRegionSize(RegionEdges{ParseEdit(top), ParseEdit(left), ParseEdit(bottom), ParseEdit(right)}, level);
}

std::string RegionCaption(std::int32_t level, std::string_view tileCountText, std::string_view layerName)
{
    std::string caption = std::to_string(level) + "/" + std::string(tileCountText) + ":" + std::string(layerName);
    // Cut by characters, never inside a UTF-8 sequence.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if ((static_cast<unsigned char>(caption[i]) & 0xC0) == 0x80) continue;
        if (chars == kMaxCaptionLength) {
            caption.resize(i);
            break;
        }
        ++chars;
    }
    return caption;
}

TCompileRegion MakeCompileRegion(const RegionEdges& selected, std::int32_t level, std::uint8_t mapType,
                                 std::string_view layerName)
{
    const RegionEdges edges = FillRegionEdits(selected);
    const RegionSize size = UpdateRegionSize(edges, level);
    if (!HasExtent(edges)) throw Error(std::string(msg::kRegionWithoutExtent));
    TCompileRegion region;
    region.topLat = edges.topLat;
    region.leftLon = edges.leftLon;
    region.bottomLat = edges.bottomLat;
    region.rightLon = edges.rightLon;
    region.level = level;
    region.mapType = mapType;
    region.caption = RegionCaption(level, size.tileCountText, layerName);
    return region;
}

std::string LayerName(std::uint8_t mapType)
{
    for (const auto& item : kMapTypeItems)
        if (item.mapType == mapType) return std::string(item.caption);
    return "MT " + std::to_string(mapType);
}

} // namespace orvane::mapview
