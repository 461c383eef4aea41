#pragma once

// Calibrated test maps made in code: an image and its OziExplorer .map,
// calibrated at the four corners of a conformal (Mercator) image, as a
// scanned sheet is.

#include "image/RgbImage.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace orvane::test {

struct MapSheet {
    std::int32_t width = 1200;
    std::int32_t height = 900;
    double ppd = 7000;  // pixels per degree of longitude
    double centreLat = 55.75;
    double centreLon = 37.6;
    std::string imageName = "map.png";  // written as PNG unless it ends in .jpg
    std::string datumLine = "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84";
    std::string projectionLine = "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No";
    /// Fills the image; default is a smooth colour pattern with no black.
    std::function<void(image::RgbImage&)> paint;
};

/// Corner positions of the map: latitude of a pixel row and longitude of a
/// pixel column (pixel edges).
struct MapFrame {
    double north = 0, south = 0, west = 0, east = 0;
    double LatOfRow(double row) const;
    double LonOfColumn(double column) const;
    double ppd = 0;
    double mercTop = 0;  // Mercator ordinate (radians) of row 0
};

MapFrame FrameOf(const MapSheet& sheet);

/// The .map text for the sheet (CR LF line ends).
std::string MapText(const MapSheet& sheet);

/// Writes <dir>/<stem>.map and the image beside it; returns the .map path.
std::filesystem::path WriteMap(const std::filesystem::path& dir, const std::string& stem, const MapSheet& sheet);

/// The default paint: a colour pattern that is nowhere black.
void PaintPattern(image::RgbImage& img);

} // namespace orvane::test
