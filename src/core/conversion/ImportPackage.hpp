#pragma once

// Import of a package into a custom layer of the tile cache: every tile is
// copied, as stored, to <cache>/MP/SUR (layer 1) or <cache>/MP/MAP (layer 2)
// + <LL>/<TileKey>.png, replacing files of the same name and keeping the
// layer's other tiles.

#include "conversion/MapPackage.hpp"

#include <cstdint>
#include <filesystem>

namespace orvane::conversion {

struct ImportResult {
    std::filesystem::path file;  // the package file read
    PackageLayout layout = PackageLayout::Internal;
    std::uint64_t tilesWritten = 0;
    /// Where the view goes afterwards: the header's centre read unsigned
    /// (degrees + minutes / 60) and its start level.
    double centreLat = 0;
    double centreLon = 0;
    std::int32_t startLevel = 0;
};

/// Imports the package `file` into custom layer `layer` (1 or 2, else
/// std::invalid_argument) below `cacheFolder`. A name ending in ".qvm" (any
/// letter case) is read as an internal map; a name with extension ".qvo"
/// (any letter case) as that external map; any other name as the external
/// map of the same name with extension ".qvo".
///
/// The whole index is checked (lengths, sizes, levels 1 to 32) before the
/// first tile is copied. A failure throws Error whose text says how many
/// tiles were copied; those stay in the cache. A package of no tiles writes
/// nothing, not even a folder.
ImportResult ImportPackage(const std::filesystem::path& file, std::int32_t layer,
                           const std::filesystem::path& cacheFolder);

} // namespace orvane::conversion
