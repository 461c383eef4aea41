// OziExplorer calibration files: the input is the .map text of an image of
// a small fixed size. It goes through the checks, the points and scales,
// and the plan of every level the conversion makes from them, down to the
// source rectangles of the corner tiles of each level.

#include "FuzzSupport.hpp"

#include "conversion/MakeMap.hpp"
#include "conversion/TOziCalibration.hpp"
#include "conversion/TilePlan.hpp"
#include "image/ImageCodecs.hpp"
#include "util/Error.hpp"

#include <array>
#include <cstdlib>

namespace {

using namespace orvane::conversion;

constexpr std::int32_t kImageWidth = 1200;
constexpr std::int32_t kImageHeight = 900;

void PlanLevels(const MapGeometry& geometry, const PlanOptions& options)
{
    try {
        const ConversionPlan plan = PlanConversion(geometry, options);
        (void)plan.TotalTiles();
        for (const LevelPlan& level : plan.levels) {
            const std::array<std::array<std::int32_t, 2>, 4> corners = {
                {{level.x0, level.y0}, {level.x1, level.y0}, {level.x0, level.y1}, {level.x1, level.y1}}};
            for (const auto& [x, y] : corners) (void)CropOfTile(plan, level, geometry, options, x, y);
        }
    } catch (const orvane::Error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = orvane::fuzz::AsText({data, size});
    // The field splitter on its own, on the text as one line.
    (void)SplitFields(text);

    TOziCalibration calibration;
    try {
        calibration.LoadFromText(text, "fuzz.map");
        (void)calibration.ImagePath();
        (void)orvane::image::ImageTypeFromExtension(calibration.ImageBareName());
        calibration.CheckProjection();
    } catch (const orvane::Error&) {
        return 0;
    }
    try {
        calibration.CheckDatum();
        (void)calibration.DatumCaption();
        for (std::size_t i = 0; i < calibration.PointCount(); ++i) (void)calibration.GetPoint(i);
        calibration.SetImageSize(kImageWidth, kImageHeight);

        const MapGeometry geometry = GeometryOf(calibration);

        PlanOptions options;  // the settings page's defaults
        PlanLevels(geometry, options);
        options.levelCount = 6;
        options.mapFit = kFitGreater;
        options.ignoreBorder = false;
        options.dx = -300;
        options.dy = 200;
        PlanLevels(geometry, options);
    } catch (const orvane::Error&) {
    }
    return 0;
}
