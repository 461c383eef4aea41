#pragma once

// The global Mercator raster: levels, pixels, tiles and tile keys, in the
// two variants the system uses (conversion: pixel containing a point;
// view: pixel nearest to it), and the ellipsoidal Mercator inverse.
//
// Level L has 2^(L-1) x 2^(L-1) tiles of 256 x 256 pixels and equals web
// zoom L-1. Pixel X = 0 is 180 W, Y = 0 the northern edge of the world.

#include <cstdint>
#include <string>

namespace orvane::geo {

// Forward operations truncate toward zero. A sum that the result type cannot
// hold saturates at the type's bounds instead of overflowing: at the poles
// (latitude +-90, where the Mercator ordinate is infinite) the north pole
// gives the minimum and the south pole the maximum of the result type, and
// NaN gives 0. Levels 1 to 23 give exact results in both variants.

// ---- conversion variant ---------------------------------------------------
// 64-bit results; callers use their low 32 bits as signed integers.
std::int64_t TilesPerSide(std::int32_t level);
std::int64_t WorldPixels(std::int32_t level);
std::int64_t HalfWorld(std::int32_t level);
double PixelsPerDegree(std::int32_t level);
double PixelsPerRadian(std::int32_t level);
std::int64_t LonToPixelX(std::int32_t level, double lon);
std::int64_t LatToPixelY(std::int32_t level, double lat);
double PixelXToLon(std::int32_t x, std::int32_t level);
double PixelYToLat(std::int32_t y, std::int32_t level);
std::int32_t PixelToTile(std::int32_t p);

// ---- view variant (32-bit throughout) --------------------------------------
// Level quantities wrap modulo 2^32 past level 23 (no caller goes there).
std::int32_t ViewTilesPerSide(std::int32_t level);
std::int32_t ViewWorldPixels(std::int32_t level);
std::int32_t ViewHalfWorld(std::int32_t level);
double ViewPixelsPerDegree(std::int32_t level);
double ViewPixelsPerRadian(std::int32_t level);
std::int32_t ViewLonToPixelX(std::int32_t level, double lon);
std::int32_t ViewLatToPixelY(std::int32_t level, double lat);
double ViewPixelXToLon(std::int32_t x, std::int32_t level);
double ViewPixelYToLat(std::int32_t y, std::int32_t level);
std::int32_t ViewPixelToTile(std::int32_t p);

// ---- tile keys -------------------------------------------------------------
/// "t" followed by level-1 letters from q, r, t, s (NW, NE, SW, SE).
std::string TileKey(std::int32_t x, std::int32_t y, std::int32_t level);
/// level-1 digits from 0..3 (empty at level 1).
std::string QuadKeyDigits(std::int32_t x, std::int32_t y, std::int32_t level);

// ---- ellipsoidal inverse ----------------------------------------------------
enum EllipsoidKind : std::int32_t {
    kEllipsoidWgs84 = 0,
    kEllipsoidKrassovsky1940 = 1,
};

struct LonLat {
    double lon = 0;
    double lat = 0;
};

/// Easting/northing in metres of a Mercator projection (central meridian 0,
/// scale 1, no false origin) on the given ellipsoid, to degrees.
void MercatorXYToLatLon(double x, double y, EllipsoidKind kind, double& lon, double& lat);
LonLat MercatorXYToLatLon(double x, double y, EllipsoidKind kind);

} // namespace orvane::geo
