#pragma once

// The program's view of the GeoTIFF component qvegeotiff: its identifiers
// and the interface ICQVEGeoTIFF. The component is a library of its own,
// loaded at run time (QveGeoTiffLibrary.hpp); the core never links it.
//
// Every method returns a result code in the manner of an HRESULT (kS_OK on
// success, negative on failure) and answers through its output arguments.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::geotiff {

using ComResult = std::int32_t;
inline constexpr ComResult kS_OK = 0;

inline constexpr std::string_view kProgIdCQVEGeoTIFF = "qvegeotiff.CQVEGeoTIFF";
inline constexpr std::string_view kClsidCQVEGeoTIFF = "{D812B6FA-8EC2-44E2-8FC6-528EFE8F9370}";
inline constexpr std::string_view kIidICQVEGeoTIFF = "{3CC21172-2ECB-46BD-9391-2A3CBC6921B6}";

/// One GeoTIFF open at a time. Expected order: OpenTIFF; when it answers
/// true, the questions and getProjectedXY; then Close. Releasing the object
/// (destroying it) does not stand in for Close.
class ICQVEGeoTIFF {
public:
    virtual ~ICQVEGeoTIFF() = default;

    /// res: true when the file opened as a TIFF with a GeoTIFF key set.
    virtual ComResult OpenTIFF(const std::string& filename, bool& res) = 0;
    /// Image width and height in pixels; unchanged when the georeferencing
    /// cannot be read.
    virtual ComResult getSize(std::int32_t& x_size, std::int32_t& y_size) = 0;
    virtual ComResult Close() = 0;
    /// Image position (pixel edges from the upper-left corner) to the file's
    /// projected coordinates, in place.
    virtual ComResult getProjectedXY(double& x, double& y) = 0;
    /// A projected Mercator on WGS 84 or Pulkovo 1942 that the export reads
    /// correctly (central meridian 0, scale 1, no false origin, metres), or
    /// the spherical web Mercator.
    virtual ComResult isOrvaneCompatible(bool& res) = 0;
    /// The geographic coordinate system is Pulkovo 1942 (4284).
    virtual ComResult isPulkovo1942(bool& res) = 0;
    /// The projected metres are those of the spherical web Mercator.
    virtual ComResult isWebMercator(bool& res) = 0;
};

} // namespace orvane::geotiff
