#pragma once

// Creating the GeoTIFF component: the library qvegeotiff is loaded at run
// time and asked for an object of the class CCQVEGeoTIFF.
//
// Where the library is looked for:
//  1. `library`, when given (tests pass the freshly built file);
//  2. else the file named by the environment variable ORVANE_QVEGEOTIFF,
//     when set and not empty;
//  3. else libqvegeotiff.so in the running program's folder, and then the
//     dynamic loader's search path (LD_LIBRARY_PATH, the cache, /usr/lib).
// A library once loaded stays loaded for the life of the process: it hooks
// its tags into the libtiff the program shares, which must never point into
// an unloaded library.

#include "geotiff/qvegeotiff_TLB.hpp"

#include <filesystem>
#include <memory>

namespace orvane::geotiff {

inline constexpr const char* kQveGeoTiffLibraryName = "libqvegeotiff.so";
inline constexpr const char* kQveGeoTiffEnvironment = "ORVANE_QVEGEOTIFF";

/// A new component object. Throws Error with the library-load message
/// followed by the reason (the loader's text, a missing entry point, or the
/// factory's result).
std::unique_ptr<ICQVEGeoTIFF> CreateCQVEGeoTIFF(const std::filesystem::path& library = {});

} // namespace orvane::geotiff
