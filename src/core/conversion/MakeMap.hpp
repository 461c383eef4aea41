#pragma once

// The conversion pipeline: a calibrated map (OziExplorer .map beside its
// image, or a GeoTIFF through its exported calibration) cut into tiles for
// a package, the GoogleMV cache or a custom layer of the tile cache.

#include "conversion/ConversionProgress.hpp"
#include "conversion/TOziCalibration.hpp"
#include "conversion/TilePlan.hpp"
#include "image/ImageCodecs.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace orvane::conversion {

enum class MakeMapTarget {
    Package,  // .qvm + .qvo through numbered temporary tiles
    Cache,    // tiles straight into a cache folder (GoogleMV or a custom layer)
};

/// The settings page's options (defaults as there).
struct ConversionSettings {
    std::int32_t quality = 30;    // JPEG quality of the base level, 0..100
    std::int32_t levelCount = 4;  // 1..6
    bool png = false;
    std::int32_t mapFit = kFitSmaller;
    bool ignoreBorder = true;
    bool pauseAtBuild = false;
    bool leaveTmpTiles = false;
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    /// Worker threads cutting tiles; 0 means one per processor.
    std::int32_t threads = 0;
    /// Largest source image accepted, in pixels.
    std::uint64_t maxPixels = image::kDefaultMaxPixels;
};

struct MakeMapRequest {
    MakeMapTarget target = MakeMapTarget::Package;
    std::filesystem::path inFile;   // .map or .tif
    std::filesystem::path outFile;  // package name (target Package); its extension is replaced
    std::filesystem::path folder;   // GoogleMV folder (target Cache, customMap 0)
    std::int32_t customMap = 0;     // 1 or 2: custom layer of the tile cache
    std::filesystem::path cacheFolder;  // tile cache root (customMap 1 or 2)
    /// Where a bare image name is looked up; empty means the .map's folder.
    std::filesystem::path imageSearchDir;
    /// Turns a GeoTIFF into a .map and returns its name; unset refuses
    /// GeoTIFF sources.
    std::function<std::filesystem::path(const std::filesystem::path&)> geoTiffExporter;
};

struct MakeMapResult {
    std::int32_t baseLevel = 0;
    std::int32_t lowLevel = 0;
    std::int64_t tilesWritten = 0;
    std::int64_t blankTiles = 0;
    double centreLat = 0;
    double centreLon = 0;
    std::filesystem::path qvmFile;  // target Package
    std::filesystem::path qvoFile;
};

/// Runs a conversion. Throws Error with the user's message on failure and
/// Cancelled when the progress asks to stop.
MakeMapResult MakeMap(const MakeMapRequest& request, const ConversionSettings& settings,
                      ConversionProgress& progress);

/// The figures the plan is made from, for a calibration whose image size
/// is set. The vertical fit refers to `calibration`, which must outlive the
/// result.
MapGeometry GeometryOf(const TOziCalibration& calibration);

/// Name of a numbered temporary tile: at least six digits, zero-padded.
std::string TempTileName(std::int64_t number, bool png);

} // namespace orvane::conversion
