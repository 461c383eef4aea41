#pragma once

// A GeoTIFF's georeferencing written as an OziExplorer calibration file
// (<name>_QV.MAP beside it), so that the conversion reads a GeoTIFF like any
// other calibrated map. The four calibration points are the image corners;
// their degrees come from the component's projected coordinates through the
// Mercator inverse: ellipsoidal on WGS 84 or Krassovsky 1940 (Pulkovo 1942),
// spherical for the web Mercator, whose degrees are WGS 84.
//
// The file's numbers always use '.' and never depend on the locale; its
// lines end in CR LF; names are written in the system's single-byte code
// page (CP1251) where every character has a place there, else as they are.

#include "geotiff/qvegeotiff_TLB.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace orvane::geotiff {

/// One calibration point: an image position and its degrees (WGS 84, or
/// Pulkovo 1942 when the calibration says so).
struct CalibrationCorner {
    std::int32_t x = 0;
    std::int32_t y = 0;
    double lon = 0;
    double lat = 0;
};

/// Everything the calibration file says.
struct GeoTiffCalibration {
    std::string imageName;  // line 2: file name without folder (bytes as written)
    std::string imagePath;  // line 3: full path (bytes as written)
    bool pulkovo = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    /// (0, 0), (w, 0), (w, h), (0, h).
    std::array<CalibrationCorner, 4> corners{};
};

/// The calibration point line of corner k (1..4).
std::string CalibrationPointLine(int k, const CalibrationCorner& corner);

/// The whole file: 56 lines, each ended by CR LF.
std::string CalibrationText(const GeoTiffCalibration& calibration);

/// The path with the last dot of its file name and what follows replaced
/// by "_QV.MAP" ("_QV.MAP" appended when the name has no dot).
std::filesystem::path CalibrationFileName(const std::filesystem::path& tiffPath);

/// Metres of the spherical web Mercator (radius 6378137 m) to degrees.
void WebMercatorXYToLatLon(double x, double y, double& lon, double& lat);

/// Makes a new component object; throws Error when it cannot.
using ComponentFactory = std::function<std::unique_ptr<ICQVEGeoTIFF>()>;

/// The factory that loads the component library (QveGeoTiffLibrary.hpp);
/// an empty path looks in the usual places.
ComponentFactory LibraryComponentFactory(std::filesystem::path library = {});

/// Writes the calibration file of a GeoTIFF and returns its path. A new
/// component is made for the export and released at its end, and Close is
/// called on every path once the file is open. Throws Error: the library
/// load message, "Can't open TIFF!", the wrong projection or datum message,
/// a corner without a finite position, the component's failure text, or the
/// file system's error. Nothing is written unless every corner is known.
std::filesystem::path ExportGeoTiffCalibration(const std::filesystem::path& tiffPath, const ComponentFactory& create);
std::filesystem::path ExportGeoTiffCalibration(const std::filesystem::path& tiffPath);

/// The conversion's hook for GeoTIFF sources, on the library found in the
/// usual places (MakeMapRequest::geoTiffExporter).
std::function<std::filesystem::path(const std::filesystem::path&)> DefaultGeoTiffExporter();

} // namespace orvane::geotiff
