#include "conversion/TilePlan.hpp"

#include "geo/MercUtil.hpp"
#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <cmath>
#include <limits>

namespace orvane::conversion {

namespace {

constexpr std::int32_t kMaxSearchLevel = 24;
constexpr std::int32_t kFirstRefusedLevel = 20;

/// Truncation toward zero into 32 bits, saturating instead of overflowing.
std::int32_t Trunc32(double v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483647.0) return -2147483647;  // keeps negation defined
    return static_cast<std::int32_t>(v);
}

/// Grid results are 64-bit; the pipeline works with their low 32 bits.
std::int32_t Low32(std::int64_t v)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

} // namespace

std::int64_t ConversionPlan::TotalTiles() const
{
    std::int64_t total = 0;
    for (const auto& l : levels) total += l.TileCount();
    return total;
}

std::int64_t RoundHalfEven(double value)
{
    if (std::isnan(value)) return 0;
    return static_cast<std::int64_t>(std::nearbyint(value));  // default mode: to nearest, ties to even
}

std::int32_t FittedLevel(double lonScale, std::int32_t mapFit)
{
    std::int32_t level = kMaxSearchLevel;
    for (std::int32_t l = 1; l <= kMaxSearchLevel; ++l) {
        if (lonScale * 1.01 < geo::PixelsPerDegree(l)) {
            level = l;
            break;
        }
    }
    if (mapFit == kFitGreater) ++level;
    else if (mapFit == kFitEvenSmaller) --level;
    return level;
}

std::int32_t NextLevelQuality(std::int32_t quality)
{
    const long double q = quality;
    return static_cast<std::int32_t>(q + (100 - q) / 100 * 21);
}

ConversionPlan PlanConversion(const MapGeometry& g, const PlanOptions& options)
{
    ConversionPlan plan;
    plan.fittedLevel = FittedLevel(g.lonScale, options.mapFit);
    if (plan.fittedLevel >= kFirstRefusedLevel) throw Error(std::string(msg::kTooDetailed));
    plan.baseLevel = plan.fittedLevel - 1;
    plan.lowLevel = plan.fittedLevel - options.levelCount;
    // The lowest level must exist: refuse before anything is cut rather than
    // failing on reaching level 0.
    if (plan.baseLevel < 1) throw Error(std::string(msg::kMapTooCoarse));
    if (plan.lowLevel < 1) throw Error(msg::LevelCountTooLarge(options.levelCount, plan.baseLevel));

    plan.westLon = g.refLon - g.refX / g.lonScale;
    plan.northLat = g.refLat + g.refY / g.latScale;
    plan.centreLon = plan.westLon + g.width / g.lonScale / 2;
    plan.centreLat = plan.northLat - g.height / g.latScale / 2;

    const double e = plan.westLon;
    const double n = plan.northLat;
    for (std::int32_t level = plan.baseLevel; level >= plan.lowLevel; --level) {
        LevelPlan lp;
        lp.level = level;
        g.verticalFit(level, lp.s, lp.o);
        lp.x0 = geo::PixelToTile(Low32(geo::LonToPixelX(level, e)));
        lp.y0 = geo::PixelToTile(Low32(geo::LatToPixelY(level, n)));
        lp.x1 = geo::PixelToTile(Low32(geo::LonToPixelX(level, e + g.width / g.lonScale)));
        lp.y1 = geo::PixelToTile(Low32(geo::LatToPixelY(level, n - g.height / g.latScale)));
        if (options.ignoreBorder) {
            if (lp.x1 - lp.x0 <= 2) throw Error(std::string(msg::kNoTilesByWidth));
            ++lp.x0;
            --lp.x1;
            if (lp.y1 - lp.y0 <= 2) throw Error(std::string(msg::kNoTilesByHeight));
            ++lp.y0;
            --lp.y1;
        }
        lp.cropWidth = Trunc32(g.lonScale / geo::PixelsPerDegree(level) * 256);
        plan.levels.push_back(lp);
    }
    return plan;
}

TileCrop CropOfTile(const ConversionPlan& plan, const LevelPlan& lp, const MapGeometry& g,
                    const PlanOptions& options, std::int32_t x, std::int32_t y)
{
    const std::int32_t level = lp.level;
    // Tile rows in the world, each taken through latitude and back.
    const std::int64_t r0 = Low32(geo::LatToPixelY(level, geo::PixelYToLat(256 * y, level)));
    const std::int64_t r1 = Low32(geo::LatToPixelY(level, geo::PixelYToLat(256 * (y + 1), level)));
    const double ch = static_cast<double>(RoundHalfEven(static_cast<double>(r1 - r0) * lp.s));
    const double d = std::ldexp(1.0, plan.baseLevel - level);  // offset divisor 2^(B-L)
    const double cw = lp.cropWidth;

    const double sx = (geo::PixelXToLon(256 * x, level) - plan.westLon) * g.lonScale +
                      std::trunc(cw * (-options.dx / d) / 256);
    const double sy = -(static_cast<double>(r0) * lp.s + lp.o) + std::trunc(ch * (options.dy / d) / 256);

    // The source is drawn into the crop with its top-left corner at
    // (trunc(-sx), trunc(sy)).
    TileCrop crop;
    crop.originX = -Trunc32(-sx);
    crop.originY = -Trunc32(sy);
    crop.width = lp.cropWidth;
    crop.height = Trunc32(ch);
    return crop;
}

} // namespace orvane::conversion
