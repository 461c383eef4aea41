#pragma once

// The GeoTIFF component's class: one GeoTIFF open at a time, and the
// answers the calibration export needs about it. Everything is delegated to
// libtiff and libgeotiff; the class adds the acceptance rule.
//
// Nothing here prints: libtiff's messages go to handlers of the open file,
// libgeotiff's to a quiet callback, and PROJ's log (used by libgeotiff to
// resolve EPSG codes through proj.db) is switched off for the file's context.

#include <cstdint>

typedef struct tiff TIFF;
typedef struct gtiff GTIF;

namespace orvane::qvegeotiff {

/// The two library handles of an open file; both set or both none.
struct GeoTiffHandle {
    TIFF* tiff = nullptr;
    GTIF* gtif = nullptr;
};

/// How a file's projected metres become degrees.
enum class MercatorKind {
    None,       // not a Mercator this system reads
    Ellipsoid,  // ellipsoidal Mercator on WGS 84 or Pulkovo 1942
    WebSphere,  // spherical web Mercator, radius 6378137 m, on WGS 84
};

class CCQVEGeoTIFF {
public:
    CCQVEGeoTIFF() = default;
    /// Closes a file left open.
    ~CCQVEGeoTIFF();
    CCQVEGeoTIFF(const CCQVEGeoTIFF&) = delete;
    CCQVEGeoTIFF& operator=(const CCQVEGeoTIFF&) = delete;

    /// Opens the TIFF and its GeoTIFF key set; true when both were obtained.
    /// A file still open is closed first. May throw std::bad_alloc.
    bool OpenTIFF(const char* path);
    /// Width and length tags, only when the GeoTIFF definition can be read.
    void getSize(std::int32_t& xSize, std::int32_t& ySize) const;
    void Close();
    /// Image position (pixel edges from the upper-left corner) to projected
    /// coordinates, in place. A file whose raster type is pixel-is-point
    /// ties its coordinates to pixel centres, so its positions are moved by
    /// half a pixel first.
    void getProjectedXY(double& x, double& y) const;
    bool isOrvaneCompatible() const;
    bool isPulkovo1942() const;
    bool isWebMercator() const;

    bool IsOpen() const { return m_handle.tiff != nullptr && m_handle.gtif != nullptr; }

private:
    MercatorKind Kind() const;

    GeoTiffHandle m_handle;
};

} // namespace orvane::qvegeotiff
