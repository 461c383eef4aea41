#pragma once

// Small GeoTIFFs made in code with libgeotiff's writing calls: an RGB image
// with a tiepoint at its upper-left corner, a pixel scale and a chosen set
// of GeoTIFF keys.

#include "image/RgbImage.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace orvane::test {

/// The GeoTIFF keys written. Zero means "key not written".
struct GeoKeys {
    int model = 1;         // GTModelTypeGeoKey: 1 projected, 2 geographic
    int rasterType = 1;    // 1 pixel-is-area, 2 pixel-is-point
    int pcs = 0;           // ProjectedCSTypeGeoKey (an EPSG code or 32767)
    int gcs = 0;           // GeographicTypeGeoKey (an EPSG code or 32767)
    int coordTrans = 0;    // ProjCoordTransGeoKey (CT_Mercator 7, CT_TransverseMercator 1)
    double sphere = 0;     // a user-defined sphere of this radius instead of gcs
    double centralMeridian = 0;
    double scale = 1;
    double falseEasting = 0;
    double falseNorthing = 0;
    int linearUnit = 9001;  // metres; 9002 feet
};

/// Keys of a user-defined Mercator (central meridian 0, scale 1) on a
/// geographic system given by its EPSG code.
GeoKeys UserMercator(int gcs);

struct GeoTiffSheet {
    std::int32_t width = 64;
    std::int32_t height = 48;
    bool writeKeys = true;  // false: a plain TIFF without georeferencing
    GeoKeys keys;
    /// Projected coordinates of the image's upper-left corner.
    double originX = 3000000;
    double originY = 7000000;
    /// Metres per pixel.
    double scaleX = 100;
    double scaleY = 100;
    /// Fills the image; default is a colour pattern.
    std::function<void(image::RgbImage&)> paint;
};

void WriteGeoTiff(const std::filesystem::path& path, const GeoTiffSheet& sheet);

// ---- Mercator forward, for building files whose corners are known ----------
// The ellipsoids as the system's Mercator inverse takes them: semi-minor
// axes rounded to 6356752.3 m and 6356863.0 m.
inline constexpr double kWgs84A = 6378137.0;
inline constexpr double kWgs84B = 6356752.3;
inline constexpr double kKrassovskyA = 6378245.0;
inline constexpr double kKrassovskyB = 6356863.0;

/// Ellipsoidal Mercator (central meridian 0, scale 1): degrees to metres.
double MercatorEasting(double lon, double a);
double MercatorNorthing(double lat, double a, double b);
/// Spherical web Mercator northing (radius 6378137 m).
double WebMercatorNorthing(double lat);

} // namespace orvane::test
