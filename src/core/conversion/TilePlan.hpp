#pragma once

// Planning of a conversion: which level the map fits, which tiles each level
// has, and which source pixels each tile is cut from. Pure arithmetic over
// the calibration's figures; the executor in MakeMap does the pixels.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvane::conversion {

/// Map fit choices of the settings page, in list order.
enum MapFit : int {
    kFitSmaller = 0,     // "to smaller size (GoogleMV)"
    kFitEvenSmaller = 1, // "to even smaller size"
    kFitGreater = 2,     // "to greater size"
};

/// Figures of the calibration the plan is made from.
struct MapGeometry {
    double lonScale = 0;  // image pixels per degree of longitude
    double latScale = 0;  // image pixels per degree of latitude
    double refLat = 0;    // reference point (nearest to the image centre)
    double refLon = 0;
    std::int32_t refX = 0;
    std::int32_t refY = 0;
    std::int32_t width = 0;  // image size in pixels
    std::int32_t height = 0;
    /// Scale s and offset o mapping a world row at a level to an image row.
    std::function<void(std::int32_t level, double& s, double& o)> verticalFit;
};

struct PlanOptions {
    std::int32_t levelCount = 4;  // 1..6 on the settings page
    std::int32_t mapFit = kFitSmaller;
    bool ignoreBorder = true;
    std::int32_t dx = 0;  // output pixels at the base level, east positive
    std::int32_t dy = 0;  // output pixels at the base level, south positive
};

/// The source rectangle of one tile: crop pixel (cx, cy) is image pixel
/// (originX + cx, originY + cy); outside the image is black.
struct TileCrop {
    std::int32_t originX = 0;
    std::int32_t originY = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct LevelPlan {
    std::int32_t level = 0;
    std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // inclusive tile range
    double s = 0, o = 0;                            // vertical fit at this level
    std::int32_t cropWidth = 0;                     // CW
    std::int64_t TileCount() const
    {
        return static_cast<std::int64_t>(y1 - y0 + 1) * static_cast<std::int64_t>(x1 - x0 + 1);
    }
};

struct ConversionPlan {
    std::int32_t fittedLevel = 0;  // L after the map fit
    std::int32_t baseLevel = 0;    // B = L - 1, the most detailed level written
    std::int32_t lowLevel = 0;     // Lo = L - level count, the coarsest
    double westLon = 0;            // E
    double northLat = 0;           // N
    double centreLat = 0;
    double centreLon = 0;
    std::vector<LevelPlan> levels;  // B, B-1, ..., Lo
    std::int64_t TotalTiles() const;
};

/// First level L of 1..24 with lonScale * 1.01 < P(L) (24 when none), then
/// the map fit applied.
std::int32_t FittedLevel(double lonScale, std::int32_t mapFit);

/// Plans the whole run; throws Error with the user's message when the map is
/// too detailed, the lowest level would fall below 1, or Ignore border
/// leaves no tiles at some level.
ConversionPlan PlanConversion(const MapGeometry& geometry, const PlanOptions& options);

/// Source rectangle of tile (x, y) of a level.
TileCrop CropOfTile(const ConversionPlan& plan, const LevelPlan& level, const MapGeometry& geometry,
                    const PlanOptions& options, std::int32_t x, std::int32_t y);

/// JPEG quality of the next coarser level: trunc(q + (100 - q) / 100 * 21).
std::int32_t NextLevelQuality(std::int32_t quality);

/// Round half to even, as the crop height is rounded.
std::int64_t RoundHalfEven(double value);

} // namespace orvane::conversion
